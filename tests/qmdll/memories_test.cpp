// EEPROMs, I2C devices and registers of the stand-in library.
#include <cstring>
#include <vector>

#include "bench.h"

namespace {

class MemoryTest : public Bench {
 protected:
  void SetUp() override {
    Bench::SetUp();
    open(0);
  }
};

TEST_F(MemoryTest, EepromWritesPersistAndRangesAreChecked) {
  typedef QmWord (*Rw)(QmWord, QmWord, QmStream, QmWord);
  struct Case {
    Rw read, write;
    int (*peek)(QmWord, QmWord, QmStream, QmWord);
    QmWord size;
  } cases[] = {{QmBoardReadCypressEEPROM, QmBoardWriteCypressEEPROM, qmsim_read_cypress_eeprom, 16384},
               {QmBoardReadDUTEEPROM, QmBoardWriteDUTEEPROM, qmsim_read_dut_eeprom, 8192}};
  for (const Case &c : cases) {
    unsigned char data[16], back[16] = {}, peek[16] = {};
    for (int i = 0; i < 16; ++i) data[i] = static_cast<unsigned char>(0x30 + i);
    ASSERT_EQ(c.write(0, c.size - 16, data, 16), 0u);
    ASSERT_EQ(c.read(0, c.size - 16, back, 16), 0u);
    EXPECT_EQ(std::memcmp(back, data, 16), 0);
    ASSERT_EQ(c.peek(0, c.size - 16, peek, 16), 0);
    EXPECT_EQ(std::memcmp(peek, data, 16), 0);
    // Survives close and reopen; board 1 is separate.
    ASSERT_EQ(QmBoardClose(0), 0u);
    open(0);
    ASSERT_EQ(c.read(0, c.size - 16, back, 16), 0u);
    EXPECT_EQ(std::memcmp(back, data, 16), 0);
    ASSERT_EQ(c.peek(1, c.size - 16, peek, 16), 0);
    EXPECT_NE(std::memcmp(peek, data, 16), 0);

    unsigned char junk[16];
    std::memset(junk, 0xEE, sizeof junk);
    EXPECT_EQ(c.write(0, c.size - 8, junk, 16), 2u);  // would run past the end
    EXPECT_EQ(c.write(0, 0xFFFFFFF8, junk, 16), 2u);  // offset + length wraps
    EXPECT_EQ(c.write(0, 0, nullptr, 16), 2u);
    EXPECT_EQ(c.read(0, 0, nullptr, 4), 2u);
    EXPECT_EQ(c.write(1, 0, junk, 4), 2u);  // board 1 not open
    ASSERT_EQ(c.peek(0, c.size - 16, peek, 16), 0);
    EXPECT_EQ(std::memcmp(peek, data, 16), 0);  // nothing half-written
    EXPECT_EQ(c.peek(0, c.size, peek, 1), -1);
  }
  unsigned char head[5];
  ASSERT_EQ(qmsim_read_dut_eeprom(0, 0, head, 5), 0);
  EXPECT_EQ(std::memcmp(head, "QMDUT", 5), 0);
  qmsim_reset();
  open(0);
  unsigned char tail[16];
  ASSERT_EQ(QmBoardReadDUTEEPROM(0, 8192 - 16, tail, 16), 0u);
  EXPECT_EQ(tail[0], 0xFF);  // back at factory contents
  qmsim_plug_dut(0, 0);
  EXPECT_EQ(QmBoardReadDUTEEPROM(0, 0, tail, 1), 2u);
}

TEST_F(MemoryTest, I2cDevicesHaveRegisterSpaces) {
  unsigned char buf[4] = {1, 2, 3, 4}, back[4] = {};
  ASSERT_EQ(QmBoardWriteI2CDEVICE(0, 0x68, 0x10, buf, 4, 0, 100), 0u);
  ASSERT_EQ(QmBoardReadI2CDEVICE(0, 0x68, 0x10, back, 4, 0), 0u);
  EXPECT_EQ(std::memcmp(buf, back, 4), 0);
  QmWord reg = 0;
  ASSERT_EQ(qmsim_read_register(0, QM_DEBUG_ACCESS_I2C, 0x6812, &reg), 0);
  EXPECT_EQ(reg, 3u);

  unsigned char temp[2] = {};
  ASSERT_EQ(QmBoardReadI2CDEVICE(0, 0x48, 0, temp, 2, 0), 0u);
  EXPECT_EQ(temp[0], 25);
  EXPECT_EQ(QmBoardWriteI2CDEVICE(0, 0x48, 1, buf, 2, 0, 0), 2u);  // temperature is read-only
  ASSERT_EQ(QmBoardReadI2CDEVICE(0, 0x48, 2, back, 1, 0), 0u);
  EXPECT_EQ(back[0], 0u);  // the refused write left its neighbour alone

  // Flag bit 0: every byte to one register.
  ASSERT_EQ(QmBoardWriteI2CDEVICE(0, 0x20, 7, buf, 4, 1, 0), 0u);
  ASSERT_EQ(QmBoardReadI2CDEVICE(0, 0x20, 7, back, 1, 0), 0u);
  EXPECT_EQ(back[0], 4);

  EXPECT_EQ(QmBoardReadI2CDEVICE(0, 0x33, 0, back, 1, 0), 2u);
  EXPECT_NE(last_error(0).find("0x33"), std::string::npos);
  EXPECT_EQ(QmBoardReadI2CDEVICE(0, 0x20, 6, back, 4, 0), 2u);
  EXPECT_EQ(QmBoardReadI2CDEVICE(0, 0x20, 0, nullptr, 1, 0), 2u);
}

TEST_F(MemoryTest, RegistersByAccessMethod) {
  QmWord v = 0;
  ASSERT_EQ(QmNewestHardwareRead(0, 0, QM_DEBUG_ACCESS_MEMORY_MAPPED, QM5_FPGA_REGISTER_ADDR_BASE,
                                 0, 32, 1, 0, &v), 0u);
  EXPECT_EQ(v, 0x51D50005u);
  EXPECT_EQ(QmNewestHardwareWrite(0, 0, QM_DEBUG_ACCESS_MEMORY_MAPPED, QM5_FPGA_REGISTER_ADDR_BASE,
                                  0, 32, 1, 0, 1), 2u);
  EXPECT_NE(last_error(0).find("read-only"), std::string::npos);
  ASSERT_EQ(QmNewestHardwareRead(0, 0, QM_DEBUG_ACCESS_PORT_FPGA_REGISTER,
                                 QM5_FPGA_REGISTER_ADDR_BASE, 0, 0, 0, 0, &v), 0u);
  EXPECT_EQ(v, 0x51D50005u);

  struct Where {
    Qm_Debug_Access_Method method;
    QmWord address, device, written, read_back;
  } places[] = {
      {QM_DEBUG_ACCESS_MEMORY_MAPPED, QM5_FPGA_REGISTER_ADDR_BASE + 0xFFF, 0, 0x12345678, 0x12345678},
      {QM_DEBUG_ACCESS_MEMORY_MAPPED, AUXBUS_DATA_ADDR_BASE + 5, 0, 0xCAFEF00D, 0xCAFEF00D},
      {QM_DEBUG_ACCESS_SPI, 0x100, 0, 0x1A5, 0xA5},  // 8-bit registers
      {QM_DEBUG_ACCESS_I2C, 5, 0x20, 0x77, 0x77},
      {QM_DEBUG_ACCESS_CYPRESS_SFR, 0x90, 0, 0x3C, 0x3C},
      {QM_DEBUG_ACCESS_PRIVATE, 0xFF, 0, 0xFFFFFFFF, 0xFFFFFFFF},
  };
  for (const Where &p : places) {
    ASSERT_EQ(QmNewestHardwareWrite(0, 0, p.method, p.address, p.device, 0, 1, 0, p.written), 0u)
        << p.method << " " << p.address;
    v = 0;
    ASSERT_EQ(QmNewestHardwareRead(0, 0, p.method, p.address, p.device, 0, 1, 0, &v), 0u);
    EXPECT_EQ(v, p.read_back);
  }
  // A 16-bit write changes the low half only; a 8-bit read masks.
  QmWord fpga = QM5_FPGA_REGISTER_ADDR_BASE + 0xFFF;
  ASSERT_EQ(QmNewestHardwareWrite(0, 0, QM_DEBUG_ACCESS_MEMORY_MAPPED, fpga, 0, 16, 1, 0, 0xABCD), 0u);
  ASSERT_EQ(qmsim_read_register(0, QM_DEBUG_ACCESS_MEMORY_MAPPED, fpga, &v), 0);
  EXPECT_EQ(v, 0x1234ABCDu);
  ASSERT_EQ(QmNewestHardwareRead(0, 0, QM_DEBUG_ACCESS_MEMORY_MAPPED, fpga, 0, 8, 1, 0, &v), 0u);
  EXPECT_EQ(v, 0xCDu);

  for (const Where &p : {Where{QM_DEBUG_ACCESS_MEMORY_MAPPED, 0x1000, 0, 0, 0},
                         Where{QM_DEBUG_ACCESS_MEMORY_MAPPED, QM5_FPGA_REGISTER_ADDR_BASE + 0x1000, 0, 0, 0},
                         Where{QM_DEBUG_ACCESS_SPI, 1, 0, 0, 0},  // chip ID is read-only
                         Where{QM_DEBUG_ACCESS_SPI, 0, 3, 0, 0},
                         Where{QM_DEBUG_ACCESS_I2C, 0, 0x48, 0, 0},
                         Where{QM_DEBUG_ACCESS_CYPRESS_SFR, 0x10, 0, 0, 0},
                         Where{QM_DEBUG_ACCESS_MAX, 0, 0, 0, 0},
                         Where{Qm_Debug_Access_Method(0), 0, 0, 0, 0}}) {
    EXPECT_EQ(QmNewestHardwareWrite(0, 0, p.method, p.address, p.device, 0, 1, 0, 1), 2u)
        << p.method << " " << p.address;
  }
  v = 5;
  EXPECT_EQ(QmNewestHardwareRead(0, 0, QM_DEBUG_ACCESS_PRIVATE, 0, 0, 12, 1, 0, &v), 2u);
  EXPECT_EQ(v, 0u);
  EXPECT_EQ(QmNewestHardwareRead(0, 0, QM_DEBUG_ACCESS_PRIVATE, 0, 0, 32, 2, 0, &v), 2u);
  EXPECT_EQ(QmNewestHardwareRead(0, 1, QM_DEBUG_ACCESS_PRIVATE, 0, 0, 32, 1, 0, &v), 2u);
  EXPECT_EQ(QmNewestHardwareRead(0, 0, QM_DEBUG_ACCESS_PRIVATE, 0, 0, 32, 1, 0, nullptr), 0u);

  // The status register follows the board.
  QmCaptureSetup s = setup(256, 0, QmTwosComplementFormat);
  ASSERT_EQ(QmBoardWriteCaptureStart(0, 0, &s), 0u);
  ASSERT_EQ(qmsim_read_register(0, QM_DEBUG_ACCESS_MEMORY_MAPPED, QM5_FPGA_REGISTER_ADDR_BASE + 2, &v), 0);
  EXPECT_EQ(v & 1, 1u);
}

}  // namespace
