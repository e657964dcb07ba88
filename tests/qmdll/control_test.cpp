// Call log, forced results and concurrency of the stand-in library.
#include <atomic>
#include <cstring>
#include <thread>

#include "bench.h"

namespace {

using ControlTest = Bench;

TEST_F(ControlTest, CallLogKeepsArgumentsByPosition) {
  EXPECT_EQ(qmsim_call_count("QmDebugModuleModify"), 0u);
  QmDebugModuleModify(Qm_Debug_Module(-5), 1);
  EXPECT_EQ(qmsim_last_word("QmDebugModuleModify", 0), 0xFFFFFFFBu);
  EXPECT_EQ(qmsim_last_word("QmDebugModuleModify", 1), 1u);
  EXPECT_EQ(qmsim_call_count("QmDebugModuleModify"), 1u);

  char dir[] = "ab\0cd";
  QmChangeImageDirectory(dir);
  dir[0] = 'X';  // the log copied the bytes during the call
  EXPECT_STREQ(qmsim_last_text("QmChangeImageDirectory", 0), "ab");
  EXPECT_EQ(qmsim_last_word("QmChangeImageDirectory", 0), QmWord(reinterpret_cast<uintptr_t>(dir)));
  EXPECT_EQ(qmsim_last_is_null("QmChangeImageDirectory", 0), 0);
  QmChangeImageDirectory(nullptr);
  EXPECT_EQ(qmsim_last_is_null("QmChangeImageDirectory", 0), 1);
  EXPECT_EQ(qmsim_last_text("QmChangeImageDirectory", 0), nullptr);
  EXPECT_STREQ(qmsim_image_directory(), "ab");  // a copy; null changed nothing

  QmWord v;
  QmNewestHardwareWrite(1, 2, Qm_Debug_Access_Method(3), 4, 5, 6, 7, 8, 9);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(qmsim_last_word("QmNewestHardwareWrite", i), QmWord(i + 1));
  QmNewestHardwareRead(0, 0, QM_DEBUG_ACCESS_SPI, 0, 0, 0, 0, 0, &v);
  EXPECT_EQ(qmsim_last_word("QmNewestHardwareRead", 8), QmWord(reinterpret_cast<uintptr_t>(&v)));
  QmVersionNumber version{};
  QmBoardOpen(0, const_cast<char *>("QM-EVAL-0"), nullptr, &version);
  EXPECT_EQ(qmsim_last_is_null("QmBoardOpen", 2), 1);
  EXPECT_STREQ(qmsim_last_text("QmBoardOpen", 1), "QM-EVAL-0");
  EXPECT_EQ(qmsim_last_text("QmBoardOpen", 0), nullptr);  // not a string argument
  QmShutdown();
  EXPECT_EQ(qmsim_call_count("QmShutdown"), 1u);
  EXPECT_EQ(qmsim_last_word("QmShutdown", 0), 0u);
  EXPECT_EQ(qmsim_call_count("Nonsense"), 0u);

  qmsim_reset();
  EXPECT_EQ(qmsim_call_count("QmDebugModuleModify"), 0u);
  EXPECT_EQ(qmsim_last_text("QmBoardOpen", 1), nullptr);
}

TEST_F(ControlTest, DiagnosticsStateIsKept) {
  EXPECT_EQ(qmsim_debug_output_filename(), nullptr);
  ASSERT_EQ(QmDebugModuleModify(QM_DEBUG_MODULE_CAPTURE, 1), 0u);
  EXPECT_TRUE(qmsim_debug_enabled(QM_DEBUG_MODULE_CAPTURE));
  EXPECT_FALSE(qmsim_debug_enabled(QM_DEBUG_MODULE_USB));
  ASSERT_EQ(QmDebugModuleModifyAll(1), 0u);
  for (int m = 0; m < QM_DEBUG_MODULE_MAX; ++m) EXPECT_TRUE(qmsim_debug_enabled(m));
  EXPECT_EQ(QmDebugModuleModify(QM_DEBUG_MODULE_MAX, 0), 2u);
  ASSERT_EQ(QmDebugModuleModifyAll(0), 0u);
  EXPECT_FALSE(qmsim_debug_enabled(QM_DEBUG_MODULE_GEN));
  ASSERT_EQ(QmDebugModuleSetOutputFilename(const_cast<char *>("qm.log")), 0u);
  EXPECT_STREQ(qmsim_debug_output_filename(), "qm.log");
  EXPECT_EQ(QmDebugModuleSetOutputFilename(nullptr), 2u);
  EXPECT_STREQ(qmsim_debug_output_filename(), "qm.log");
}

TEST_F(ControlTest, ForcedStatusWordAndNullTexts) {
  EXPECT_EQ(qmsim_force_status("QmNope", 1), -1);
  ASSERT_EQ(qmsim_force_status("QmShutdown", 0xFFFFFFFF), 0);
  ASSERT_EQ(qmsim_force_status("QmBoardOpen", 1), 0);
  EXPECT_EQ(QmShutdown(), 0xFFFFFFFFu);
  QmWord h = 0;
  QmVersionNumber v{};
  EXPECT_EQ(QmBoardOpen(0, nullptr, &h, &v), 1u);
  EXPECT_NE(h, 0u);  // the work was done, outputs set

  EXPECT_EQ(qmsim_force_output_word("QmShutdown", 1), -1);
  ASSERT_EQ(qmsim_force_output_word("QmBoardOpen", 0x80000000), 0);
  ASSERT_EQ(qmsim_force_output_word("QmBoardReadCaptureData", 42), 0);
  ASSERT_EQ(qmsim_force_output_word("QmNewestHardwareRead", 43), 0);
  QmBoardOpen(0, nullptr, &h, nullptr);
  EXPECT_EQ(h, 0x80000000u);
  QmWord got = 0, value = 0;
  EXPECT_EQ(QmBoardReadCaptureData(0, 0, nullptr, 1, &got), 2u);
  EXPECT_EQ(got, 42u);
  QmNewestHardwareRead(9, 0, QM_DEBUG_ACCESS_SPI, 0, 0, 0, 0, 0, &value);
  EXPECT_EQ(value, 43u);

  EXPECT_EQ(qmsim_force_null_text("QmBoardReset", 1), -1);
  for (const char *f : {"QmBoardEnum", "QmBoardDUTEnum", "QmBoardReadLastError",
                        "QmGetSupportedDuts", "QmBoardReadDUTInfo"})
    ASSERT_EQ(qmsim_force_null_text(f, 1), 0) << f;
  QmWord count = 9;
  QmString *names = reinterpret_cast<QmString *>(&count);
  QmBoardEnum(&count, &names, nullptr);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(names, nullptr);
  count = 9;
  QmBoardDUTEnum(0, &count, &names);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(names, nullptr);
  QmString a = nullptr, b = nullptr;
  QmBoardReadLastError(0, &a);
  EXPECT_EQ(a, nullptr);
  QmGetSupportedDuts(0, &a, &b);
  EXPECT_TRUE(a == nullptr && b == nullptr);
  QmDUTInfo info{};
  EXPECT_EQ(QmBoardReadDUTInfo(0, 0, &info, nullptr), 0u);
  EXPECT_EQ(info.Revision, nullptr);
  EXPECT_NE(info.capture_configs, nullptr);

  qmsim_clear_forced();
  EXPECT_EQ(QmShutdown(), 0u);
  QmBoardReadLastError(0, &a);
  EXPECT_NE(a, nullptr);
  ASSERT_EQ(qmsim_force_status("QmShutdown", 2), 0);
  qmsim_reset();
  EXPECT_EQ(QmShutdown(), 0u);
}

TEST_F(ControlTest, SlowCallsCanBeWatchedFromAnotherThread) {
  EXPECT_EQ(qmsim_set_call_delay("QmNope", 5), -1);
  ASSERT_EQ(qmsim_set_call_delay("QmBoardReset", 200), 0);
  std::atomic<bool> done(false);
  std::thread call([&] {
    QmBoardReset(0);
    done = true;
  });
  bool seen = false;
  while (!done && !seen) seen = qmsim_in_call("QmBoardReset") == 1;
  // The library stays usable while the slow call is in progress.
  QmWord count = 0;
  QmString *names = nullptr;
  EXPECT_EQ(QmBoardEnum(&count, &names, nullptr), 0u);
  call.join();
  EXPECT_TRUE(seen);
  EXPECT_EQ(qmsim_in_call("QmBoardReset"), 0);
  qmsim_reset();
  EXPECT_EQ(qmsim_in_call("QmBoardReset"), 0);
}

// Several threads drive both boards and the library at once; every call must
// stay consistent and nothing may deadlock with a receiver that calls back.
TEST_F(ControlTest, ConcurrentCallsStayConsistent) {
  QmSetEventCallback(record_event);
  open(0);
  open(1);
  std::atomic<int> failures(0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &failures] {
      QmWord board = QmWord(t % 2);
      for (int i = 0; i < 150; ++i) {
        unsigned char b[8];
        std::memset(b, t, sizeof b);
        QmWord off = QmWord(t * 64);
        if (QmBoardWriteCypressEEPROM(board, off, b, 8) != 0) ++failures;
        unsigned char back[8];
        if (QmBoardReadCypressEEPROM(board, off, back, 8) != 0 || std::memcmp(b, back, 8)) ++failures;
        QmWord v = 0;
        if (QmNewestHardwareWrite(board, 0, QM_DEBUG_ACCESS_PRIVATE, QmWord(t), 0, 32, 1, 0, QmWord(i)) ||
            QmNewestHardwareRead(board, 0, QM_DEBUG_ACCESS_PRIVATE, QmWord(t), 0, 32, 1, 0, &v) ||
            v != QmWord(i))
          ++failures;
        QmWord count;
        QmString *names;
        if (QmBoardEnum(&count, &names, nullptr) || count != 2 || std::strncmp(names[1], "QM-EVAL-", 8))
          ++failures;
        QmString text = nullptr;
        QmBoardReadLastError(board, &text);
        if (!text) ++failures;
        QmBoardReset(5);  // failing calls race on the shared error slot
      }
    });
  }
  Qm_Dll_Event_Param e{};
  e.id = QM_DLL_EVENT_SIMULATOR_LOADED;
  for (int i = 0; i < 50; ++i) qmsim_fire_event(&e);
  for (std::thread &t : threads) t.join();
  ASSERT_EQ(qmsim_wait_delivered(20000), 1);
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(qmsim_events_delivered(), 50u);
  EXPECT_EQ(qmsim_call_count("QmBoardEnum"), 600u);
}

}  // namespace
