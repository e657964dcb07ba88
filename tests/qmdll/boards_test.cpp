// Board discovery and lifecycle of the stand-in library.
#include <cstring>

#include "bench.h"

namespace {

using BoardTest = Bench;

TEST_F(BoardTest, EnumeratesAttachedBoardsByName) {
  QmWord count = 99;
  QmString *names = nullptr;
  QmVersionNumber v{};
  ASSERT_EQ(QmBoardEnum(&count, &names, &v), 0u);
  ASSERT_EQ(count, 2u);
  EXPECT_STREQ(names[0], "QM-EVAL-0");
  EXPECT_STREQ(names[1], "QM-EVAL-1");
  EXPECT_NE(v.Major + v.Minor + v.Release + v.Build, 0u);

  qmsim_plug_board(0, 0);
  ASSERT_EQ(QmBoardEnum(&count, &names, &v), 0u);
  ASSERT_EQ(count, 1u);
  EXPECT_STREQ(names[0], "QM-EVAL-1");

  qmsim_set_board_count(0);
  ASSERT_EQ(QmBoardEnum(&count, &names, &v), 0u);
  EXPECT_EQ(count, 0u);
  qmsim_set_board_count(5);
  ASSERT_EQ(QmBoardEnum(&count, &names, &v), 0u);
  ASSERT_EQ(count, 5u);
  EXPECT_STREQ(names[4], "QM-EVAL-4");
  qmsim_reset();
  ASSERT_EQ(QmBoardEnum(&count, &names, &v), 0u);
  EXPECT_EQ(count, QmWord(QMSIM_DEFAULT_BOARDS));
}

TEST_F(BoardTest, OpenMatchesNameAndGivesHandleAndVersion) {
  QmWord h0 = 0, h1 = 0;
  QmVersionNumber v0{}, v1{};
  EXPECT_EQ(QmBoardOpen(0, const_cast<char *>(""), &h0, &v0), 0u);
  EXPECT_EQ(QmBoardOpen(1, const_cast<char *>("QM-EVAL-1"), &h1, &v1), 0u);
  EXPECT_NE(h0, 0u);
  EXPECT_NE(h0, h1);
  EXPECT_NE(v0.Major, 0u);
  EXPECT_TRUE(qmsim_board_open(0) && qmsim_board_open(1));

  QmWord h = 7;
  QmVersionNumber v{9, 9, 9, 9};
  EXPECT_EQ(QmBoardClose(1), 0u);
  EXPECT_EQ(QmBoardOpen(1, const_cast<char *>("QM-EVAL-0"), &h, &v), 2u);
  EXPECT_EQ(h, 0u);  // outputs set on failure too
  EXPECT_EQ(v.Major + v.Minor + v.Release + v.Build, 0u);
  EXPECT_FALSE(qmsim_board_open(1));
  EXPECT_NE(last_error(1).find("QM-EVAL-0"), std::string::npos);

  EXPECT_EQ(QmBoardOpen(2, nullptr, &h, &v), 2u);
  EXPECT_EQ(QmBoardOpen(0xFFFFFFFF, nullptr, nullptr, nullptr), 2u);
  qmsim_power(1, 0);
  EXPECT_EQ(QmBoardOpen(1, nullptr, nullptr, nullptr), 2u);
}

TEST_F(BoardTest, CallsNeedAnOpenBoardAndCloseResetShutdownEndWork) {
  EXPECT_EQ(QmBoardReset(0), 2u);
  EXPECT_EQ(QmBoardClose(0), 2u);
  EXPECT_EQ(QmBoardCheckFirmwareActive(0), 2u);
  EXPECT_NE(last_error(0).find("not open"), std::string::npos);
  open(0);
  open(1);
  EXPECT_EQ(QmBoardCheckFirmwareActive(0), 0u);
  qmsim_power(0, 0);
  EXPECT_EQ(QmBoardCheckFirmwareActive(0), 1u);
  EXPECT_EQ(QmBoardReset(0), 2u);
  qmsim_power(0, 1);

  // Reset restores writable registers and ends a running capture.
  ASSERT_EQ(QmNewestHardwareWrite(0, 0, QM_DEBUG_ACCESS_MEMORY_MAPPED, 0xD010, 0, 32, 1, 0, 55), 0u);
  QmCaptureSetup s = setup(1024, 0, QmTwosComplementFormat);
  ASSERT_EQ(QmBoardWriteCaptureStart(0, 0, &s), 0u);
  EXPECT_EQ(QmBoardReset(0), 0u);
  QmWord value = 1;
  ASSERT_EQ(qmsim_read_register(0, QM_DEBUG_ACCESS_MEMORY_MAPPED, 0xD010, &value), 0);
  EXPECT_EQ(value, 0u);
  QmWord buf[4], got = 9;
  EXPECT_EQ(QmBoardReadCaptureData(0, 0, buf, 4, &got), 2u);
  EXPECT_EQ(got, 0u);

  EXPECT_EQ(QmShutdown(), 0u);
  EXPECT_FALSE(qmsim_board_open(0) || qmsim_board_open(1));
  EXPECT_EQ(QmBoardClose(1), 2u);
}

TEST_F(BoardTest, FpgaImageNameDecidesVersion) {
  QmVersionNumber v{};
  EXPECT_EQ(QmBoardLoadFPGA(0, 0, const_cast<char *>("adc_2_1_0_7.bit"), &v), 2u);  // not open
  open(0);
  ASSERT_EQ(QmBoardLoadFPGA(0, 0, const_cast<char *>("adc_2_1_0_7.bit"), &v), 0u);
  EXPECT_EQ(v.Major, 2u);
  EXPECT_EQ(v.Minor, 1u);
  EXPECT_EQ(v.Release, 0u);
  EXPECT_EQ(v.Build, 7u);
  QmWord reg = 0;
  ASSERT_EQ(qmsim_read_register(0, QM_DEBUG_ACCESS_MEMORY_MAPPED, 0xD001, &reg), 0);
  EXPECT_EQ(reg, 0x02010007u);

  QmVersionNumber a{}, b{};
  ASSERT_EQ(QmBoardLoadFPGA(0, 0, const_cast<char *>("capture.bit"), &a), 0u);
  ASSERT_EQ(QmBoardLoadFPGA(0, 0, const_cast<char *>("capture.bit"), &b), 0u);
  EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0);
  EXPECT_EQ(a.Major, 1u);

  v = QmVersionNumber{1, 1, 1, 1};
  EXPECT_EQ(QmBoardLoadFPGA(0, 0, const_cast<char *>(""), &v), 2u);
  EXPECT_EQ(v.Major + v.Build, 0u);
  EXPECT_EQ(QmBoardLoadFPGA(0, 0, nullptr, &v), 2u);
  EXPECT_EQ(QmBoardLoadFPGA(0, 1, const_cast<char *>("x.bit"), &v), 2u);  // one DUT per board
}

TEST_F(BoardTest, MissingImageWarnsOnCallersThreadAndFails) {
  QmSetEventCallback(record_event);
  open(0);
  ASSERT_EQ(QmChangeImageDirectory(const_cast<char *>("/images")), 0u);
  QmVersionNumber v{};
  EXPECT_EQ(QmBoardLoadFPGA(0, 0, const_cast<char *>("missing.bit"), &v), 2u);
  // Delivered before the call returned, on this thread.
  std::vector<Seen> seen = Recorder::take();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].thread, std::this_thread::get_id());
  EXPECT_EQ(seen[0].event.id, QM_DLL_EVENT_MESSAGE_BOX);
  EXPECT_EQ(seen[0].event.param.message_box.id, QM_MESSAGE_BOX_WARNING);
  EXPECT_NE(seen[0].message.find("/images/missing.bit"), std::string::npos);
  EXPECT_FALSE(seen[0].caption.empty());
  EXPECT_NE(last_error(0).find("missing.bit"), std::string::npos);
}

TEST_F(BoardTest, LastErrorIsPerBoardAndKeptUntilTheNextFailure) {
  open(0);
  EXPECT_EQ(last_error(0), "no error");
  EXPECT_EQ(QmBoardReset(1), 2u);
  std::string e1 = last_error(1);
  EXPECT_NE(e1.find("board 1"), std::string::npos);
  EXPECT_EQ(last_error(0), "no error");
  EXPECT_EQ(QmBoardReset(0), 0u);  // success leaves it
  EXPECT_EQ(last_error(1), e1);
  EXPECT_EQ(QmBoardClose(1), 2u);
  EXPECT_EQ(last_error(1), e1);  // same reason, same text

  // Bad board numbers and board-less calls go to the board-independent slot.
  EXPECT_EQ(QmBoardReset(1000), 2u);
  EXPECT_NE(last_error(1000).find("1000"), std::string::npos);
  EXPECT_EQ(QmDebugModuleModify(Qm_Debug_Module(-5), 1), 2u);
  EXPECT_NE(last_error(MAX_BOARD).find("debug module"), std::string::npos);
  EXPECT_EQ(QmBoardReadLastError(0, nullptr), 0u);
}

}  // namespace
