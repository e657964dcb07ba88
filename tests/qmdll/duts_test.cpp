// DUT description and selection in the stand-in library.
#include <cstring>

#include "bench.h"

namespace {

using DutTest = Bench;

TEST_F(DutTest, ReadDutInfoDescribesCapturesAndDacInLibraryMemory) {
  open(0);
  QmDUTInfo info;
  std::memset(&info, 0xAB, sizeof info);
  QmVersionNumber v{};
  ASSERT_EQ(QmBoardReadDUTInfo(0, 0, &info, &v), 0u);
  ASSERT_GE(info.capture_config_count, 2u);
  ASSERT_NE(info.capture_configs, nullptr);
  ASSERT_GE(info.dac_config_count, 1u);
  ASSERT_NE(info.dac_configs, nullptr);
  ASSERT_NE(info.Revision, nullptr);
  EXPECT_GT(std::strlen(info.Revision), 0u);
  for (QmWord i = 0; i < info.capture_config_count; ++i) {
    const QmChannelData &c = info.capture_configs[i];
    ASSERT_NE(c.Name, nullptr);
    EXPECT_GT(std::strlen(c.Name), 0u);
    EXPECT_LE(c.TransferMinSize, c.TransferMaxSize);
    EXPECT_GE(c.num_channels_returned_to_user, 1u);
    EXPECT_EQ(c.BitSize, 14u);
    EXPECT_TRUE(c.default_data_format >= QmBinaryFormat &&
                c.default_data_format <= QmTwosComplementFormat);
  }
  EXPECT_EQ(info.capture_configs[1].num_channels_returned_to_user, 2u);
  const Qm_Dac_Download_Configuration &d = info.dac_configs[0];
  EXPECT_GT(d.bit_width, 0u);
  EXPECT_LT(d.min_freq, d.max_freq);
  EXPECT_LE(d.min_transfer_size, d.max_transfer_size);

  // The pointers stay valid and stable across calls.
  QmDUTInfo again{};
  ASSERT_EQ(QmBoardReadDUTInfo(0, 0, &again, nullptr), 0u);
  EXPECT_EQ(again.capture_configs, info.capture_configs);

  std::memset(&info, 0xAB, sizeof info);
  EXPECT_EQ(QmBoardReadDUTInfo(0, 1, &info, &v), 2u);
  EXPECT_EQ(info.capture_config_count, 0u);
  EXPECT_EQ(info.capture_configs, nullptr);
  EXPECT_EQ(v.Major, 0u);
  qmsim_plug_dut(0, 0);
  EXPECT_EQ(QmBoardReadDUTInfo(0, 0, &info, &v), 2u);
  EXPECT_NE(last_error(0).find("no DUT"), std::string::npos);
}

TEST_F(DutTest, EnumSelectAndEepromTypePerBoard) {
  open(0);
  open(1);
  QmWord count = 0;
  QmString *names = nullptr;
  ASSERT_EQ(QmBoardDUTEnum(0, &count, &names), 0u);
  ASSERT_EQ(count, 1u);
  EXPECT_STREQ(names[0], "QMADC-1425");

  Qm_Dut_Eeprom_Type t0 = QM_DUT_EEPROM_FMC, t1 = QM_DUT_EEPROM_STANDARD;
  EXPECT_EQ(QmGetDutEepromType(0, 0, &t0), 0u);
  EXPECT_EQ(QmGetDutEepromType(1, 0, &t1), 0u);
  EXPECT_EQ(t0, QM_DUT_EEPROM_STANDARD);
  EXPECT_EQ(t1, QM_DUT_EEPROM_FMC);

  QmString duts = nullptr, details = nullptr;
  ASSERT_EQ(QmGetSupportedDuts(0, &duts, &details), 0u);
  ASSERT_TRUE(duts && details);
  EXPECT_NE(std::strstr(duts, "QMADC-1610"), nullptr);

  ASSERT_EQ(QmSetDut(0, 0, const_cast<char *>("QMADC-1610")), 0u);
  ASSERT_EQ(QmBoardDUTEnum(0, &count, &names), 0u);
  EXPECT_STREQ(names[0], "QMADC-1610");
  QmDUTInfo info{};
  ASSERT_EQ(QmBoardReadDUTInfo(0, 0, &info, nullptr), 0u);
  EXPECT_EQ(info.capture_configs[0].BitSize, 16u);

  EXPECT_EQ(QmSetDut(0, 0, const_cast<char *>("QMADC-9999")), 2u);
  EXPECT_EQ(QmSetDut(0, 0, nullptr), 2u);
  EXPECT_NE(last_error(0).find("unknown DUT"), std::string::npos);
  ASSERT_EQ(QmBoardDUTEnum(0, &count, &names), 0u);
  EXPECT_STREQ(names[0], "QMADC-1610");  // failed selection changed nothing

  qmsim_plug_dut(0, 0);
  count = 5;
  ASSERT_EQ(QmBoardDUTEnum(0, &count, &names), 0u);
  EXPECT_EQ(count, 0u);
  ASSERT_NE(names, nullptr);
}

TEST_F(DutTest, ScriptVersionsAndFailuresClearOutputs) {
  QmVersionNumber s{1, 1, 1, 1}, e{1, 1, 1, 1};
  EXPECT_EQ(QmGetScriptVerions(0, 0, &s, &e), 2u);
  EXPECT_EQ(s.Major + e.Major, 0u);
  QmString duts = nullptr, details = nullptr;
  EXPECT_EQ(QmGetSupportedDuts(0, &duts, &details), 2u);
  ASSERT_TRUE(duts && details);  // never null, empty on failure
  EXPECT_STREQ(duts, "");
  open(0);
  ASSERT_EQ(QmGetScriptVerions(0, 0, &s, &e), 0u);
  EXPECT_NE(s.Major, 0u);
  EXPECT_NE(e.Major, 0u);
  EXPECT_EQ(QmGetScriptVerions(0, 0, nullptr, nullptr), 0u);
  EXPECT_EQ(QmGetDutEepromType(0, 0, nullptr), 0u);
}

}  // namespace
