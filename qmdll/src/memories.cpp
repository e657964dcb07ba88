// memories.cpp: the Cypress EEPROM, the DUT EEPROM and the devices on the
// board's I2C bus. Writes persist until qmsim_reset; a write that does not
// fit changes nothing.
#include "sim.h"

#include <cstring>

namespace sim {
namespace {

// I2C flags word, bit 0: every byte goes to the same register (no
// auto-increment), as for a FIFO register. Other bits are ignored.
const QmWord kI2cNoIncrement = 1;

bool fits(QmWord offset, QmWord length, size_t size) {
  return offset <= size && length <= size - offset;
}

bool i2c_read_only(QmWord device, QmWord reg) {
  return (device == 0x48 && reg < 2) || (device == 0x68 && reg == 0);
}

enum Memory { kCypress, kDutMemory };

QmWord eeprom(Call &call, Memory which, bool write, QmWord board, QmWord offset,
              QmStream buffer, QmWord length) {
  World &w = world();
  QmWord st;
  std::lock_guard<std::mutex> lock(w.m);
  unsigned what = kOpen | kPowered | (which == kDutMemory ? kDutPlugged : 0);
  Board *b = need(board, 0, what, &st);
  if (!b) return call.status(st);
  std::vector<unsigned char> &mem = which == kCypress ? b->cypress : b->dut_eeprom;
  const char *name = which == kCypress ? "Cypress EEPROM" : "DUT EEPROM";
  if (!buffer) {
    st = fail(board, std::string("no buffer given for the ") + name);
  } else if (!fits(offset, length, mem.size())) {
    st = fail(board, std::string(name) + " range " + hex(offset) + "+" + num(length) +
                         " beyond its " + num(QmWord(mem.size())) + " bytes");
  } else if (length) {
    if (write)
      std::memcpy(mem.data() + offset, buffer, length);
    else
      std::memcpy(buffer, mem.data() + offset, length);
  }
  return call.status(st);
}

QmWord i2c(Call &call, bool write, QmWord board, QmWord device, QmWord reg, QmStream buffer,
           QmWord length, QmWord flags) {
  World &w = world();
  QmWord st;
  std::lock_guard<std::mutex> lock(w.m);
  Board *b = need(board, 0, kOpen | kPowered, &st);
  if (!b) return call.status(st);
  auto dev = b->i2c.find(device);
  bool same = (flags & kI2cNoIncrement) != 0;
  QmWord span = same ? (length ? 1 : 0) : length;
  if (!buffer) return call.status(fail(board, "no buffer given for I2C device " + hex(device)));
  if (dev == b->i2c.end())
    return call.status(fail(board, "no I2C device answers at " + hex(device)));
  std::vector<unsigned char> &regs = dev->second;
  if (!fits(reg, span, regs.size()))
    return call.status(fail(board, "I2C device " + hex(device) + " has no registers " + hex(reg) +
                                       "+" + num(length)));
  if (write) {
    for (QmWord i = 0; i < span; ++i)
      if (i2c_read_only(device, reg + i))
        return call.status(fail(board, "I2C register " + hex(reg + i) + " of device " +
                                           hex(device) + " is read-only"));
    for (QmWord i = 0; i < length; ++i) regs[same ? reg : reg + i] = buffer[i];
  } else {
    for (QmWord i = 0; i < length; ++i) buffer[i] = regs[same ? reg : reg + i];
  }
  return call.status(st);
}

int copy_out(bool cypress, QmWord board, QmWord offset, QmStream out, QmWord length) {
  World &w = world();
  std::lock_guard<std::mutex> lock(w.m);
  if (board >= w.board_count || (!out && length)) return -1;
  const std::vector<unsigned char> &mem =
      cypress ? w.boards[board].cypress : w.boards[board].dut_eeprom;
  if (!fits(offset, length, mem.size())) return -1;
  if (length) std::memcpy(out, mem.data() + offset, length);
  return 0;
}

}  // namespace
}  // namespace sim

using namespace sim;

extern "C" {

QM_EXPORT QmWord QM_CALL QmBoardReadCypressEEPROM(QmWord board, QmWord offset, QmStream buffer,
                                                 QmWord length) {
  Call call(kQmBoardReadCypressEEPROM, {W(board), W(offset), P(buffer), W(length)});
  return eeprom(call, kCypress, false, board, offset, buffer, length);
}

QM_EXPORT QmWord QM_CALL QmBoardWriteCypressEEPROM(QmWord board, QmWord offset, QmStream buffer,
                                                  QmWord length) {
  Call call(kQmBoardWriteCypressEEPROM, {W(board), W(offset), P(buffer), W(length)});
  return eeprom(call, kCypress, true, board, offset, buffer, length);
}

QM_EXPORT QmWord QM_CALL QmBoardReadDUTEEPROM(QmWord board, QmWord offset, QmStream buffer,
                                             QmWord length) {
  Call call(kQmBoardReadDUTEEPROM, {W(board), W(offset), P(buffer), W(length)});
  return eeprom(call, kDutMemory, false, board, offset, buffer, length);
}

QM_EXPORT QmWord QM_CALL QmBoardWriteDUTEEPROM(QmWord board, QmWord offset, QmStream buffer,
                                              QmWord length) {
  Call call(kQmBoardWriteDUTEEPROM, {W(board), W(offset), P(buffer), W(length)});
  return eeprom(call, kDutMemory, true, board, offset, buffer, length);
}

// device: 7-bit bus address; reg: first register; length: bytes; flags: see
// kI2cNoIncrement; delay (write only): microseconds the bus would rest after
// the write, accepted and not waited for.
QM_EXPORT QmWord QM_CALL QmBoardReadI2CDEVICE(QmWord board, QmWord device, QmWord reg,
                                             QmStream buffer, QmWord length, QmWord flags) {
  Call call(kQmBoardReadI2CDEVICE,
            {W(board), W(device), W(reg), P(buffer), W(length), W(flags)});
  return i2c(call, false, board, device, reg, buffer, length, flags);
}

QM_EXPORT QmWord QM_CALL QmBoardWriteI2CDEVICE(QmWord board, QmWord device, QmWord reg,
                                              QmStream buffer, QmWord length, QmWord flags,
                                              QmWord delay) {
  Call call(kQmBoardWriteI2CDEVICE,
            {W(board), W(device), W(reg), P(buffer), W(length), W(flags), W(delay)});
  return i2c(call, true, board, device, reg, buffer, length, flags);
}

QM_EXPORT int qmsim_read_cypress_eeprom(QmWord board, QmWord offset, QmStream out, QmWord length) {
  return copy_out(true, board, offset, out, length);
}

QM_EXPORT int qmsim_read_dut_eeprom(QmWord board, QmWord offset, QmStream out, QmWord length) {
  return copy_out(false, board, offset, out, length);
}

QM_EXPORT int qmsim_reload_eeprom(QmWord board, int dut) {
  World &w = world();
  std::lock_guard<std::mutex> lock(w.m);
  if (board >= w.board_count) return -1;
  queue_event(plain_event(dut ? QM_DLL_EVENT_DUT_EEPROM_RELOADED
                              : QM_DLL_EVENT_CYPRESS_EEPROM_RELOADED));
  return 0;
}

}  // extern "C"
