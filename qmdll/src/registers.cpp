// registers.cpp: single-word register access by access method. Register
// maps per board:
//   MEMORY_MAPPED, PORT_FPGA_REGISTER: FPGA registers at
//     QM5_FPGA_REGISTER_ADDR_BASE (offset 0 ID, 1 image version, 2 status:
//     read-only) and the aux bus at AUXBUS_DATA_ADDR_BASE, 32 bits wide;
//   SPI: the DUT converter (device = chip select 0), 8-bit registers
//     0..0x1FFF, 1 (chip ID) and 2 (resolution) read-only;
//   I2C: device = bus address, address = register of that device;
//   CYPRESS_SFR: 8-bit special function registers 0x80..0xFF;
//   PRIVATE: 256 scratch words.
// width: 8, 16 or 32 bits (0 = the register's own); count: words per
// access, 0 or 1; flags: reserved, ignored.
#include "sim.h"

namespace sim {
namespace {

struct Place {
  QmWord *word = nullptr;          // word registers
  unsigned char *byte = nullptr;   // I2C registers
  bool read_only = false;
  QmWord computed = 0;             // value of a computed register (word == null)
  bool is_computed = false;
  QmWord natural_mask = 0xFFFFFFFF;
};

QmWord fpga_status(const Board &b) {
  return (b.cap.active ? 1u : 0u) | (b.dac.sourcing ? 2u : 0u) | (b.dut_plugged ? 4u : 0u) |
         (b.fpga_image.empty() ? 0u : 8u);
}

bool locate(Board &b, QmWord method, QmWord address, QmWord device, Place *p, std::string *err) {
  switch (method) {
    case QM_DEBUG_ACCESS_MEMORY_MAPPED:
    case QM_DEBUG_ACCESS_PORT_FPGA_REGISTER:
      if (address >= QM5_FPGA_REGISTER_ADDR_BASE &&
          address - QM5_FPGA_REGISTER_ADDR_BASE < QM5_FPGA_REGISTER_ADDR_SIZE) {
        QmWord off = address - QM5_FPGA_REGISTER_ADDR_BASE;
        p->read_only = off <= 2;
        if (off == 2) {
          p->is_computed = true;
          p->computed = fpga_status(b);
        } else {
          p->word = &b.fpga[off];
        }
        return true;
      }
      if (address >= AUXBUS_DATA_ADDR_BASE && address - AUXBUS_DATA_ADDR_BASE < AUXBUS_DATA_ADDR_SIZE) {
        p->word = &b.aux[address - AUXBUS_DATA_ADDR_BASE];
        return true;
      }
      *err = "no FPGA or aux bus register at " + hex(address);
      return false;
    case QM_DEBUG_ACCESS_SPI:
      if (device != 0) {
        *err = "no SPI device on chip select " + num(device);
        return false;
      }
      if (address >= kSpiSize) {
        *err = "no SPI register " + hex(address);
        return false;
      }
      p->word = &b.spi[address];
      p->read_only = address == 1 || address == 2;
      p->natural_mask = 0xFF;
      return true;
    case QM_DEBUG_ACCESS_I2C: {
      auto dev = b.i2c.find(device);
      if (dev == b.i2c.end() || address >= dev->second.size()) {
        *err = "no I2C register " + hex(address) + " at device " + hex(device);
        return false;
      }
      p->byte = &dev->second[address];
      p->read_only = (device == 0x48 && address < 2) || (device == 0x68 && address == 0);
      p->natural_mask = 0xFF;
      return true;
    }
    case QM_DEBUG_ACCESS_CYPRESS_SFR:
      if (address < kSfrBase || address - kSfrBase >= kSfrSize) {
        *err = "no Cypress SFR at " + hex(address);
        return false;
      }
      p->word = &b.sfr[address - kSfrBase];
      p->natural_mask = 0xFF;
      return true;
    case QM_DEBUG_ACCESS_PRIVATE:
      if (address >= kPrivateSize) {
        *err = "no private register " + hex(address);
        return false;
      }
      p->word = &b.priv[address];
      return true;
    default:
      *err = "unsupported access method " + hex(method);
      return false;
  }
}

QmWord read_place(const Place &p) {
  if (p.is_computed) return p.computed;
  return p.byte ? *p.byte : *p.word;
}

bool width_mask(QmWord width, QmWord *mask) {
  switch (width) {
    case 0: case 32: *mask = 0xFFFFFFFF; return true;
    case 16: *mask = 0xFFFF; return true;
    case 8: *mask = 0xFF; return true;
    default: return false;
  }
}

// The shared checks of a hardware access; the place on success.
Board *access(QmWord board, QmWord dut, QmWord method, QmWord address, QmWord device,
              QmWord width, QmWord count, Place *p, QmWord *mask, QmWord *st) {
  unsigned what = kOpen | kPowered | (method == QM_DEBUG_ACCESS_SPI ? kDutPlugged : kDut);
  Board *b = need(board, dut, what, st);
  if (!b) return nullptr;
  std::string err;
  if (!width_mask(width, mask)) {
    *st = fail(board, "unsupported access width " + num(width));
  } else if (count > 1) {
    *st = fail(board, "one word per access, not " + num(count));
  } else if (!locate(*b, method, address, device, p, &err)) {
    *st = fail(board, err);
  } else {
    return b;
  }
  return nullptr;
}

}  // namespace
}  // namespace sim

using namespace sim;

extern "C" {

QM_EXPORT QmWord QM_CALL QmNewestHardwareRead(QmWord board, QmWord dut, Qm_Debug_Access_Method method,
                                             QmWord address, QmWord device, QmWord width,
                                             QmWord count, QmWord flags, QmWord *value) {
  Call call(kQmNewestHardwareRead, {W(board), W(dut), W(QmWord(method)), W(address), W(device),
                                    W(width), W(count), W(flags), P(value)});
  World &w = world();
  QmWord st, v = 0, mask;
  {
    std::lock_guard<std::mutex> lock(w.m);
    Place p;
    if (access(board, dut, QmWord(method), address, device, width, count, &p, &mask, &st))
      v = read_place(p) & mask;
  }
  put(value, call.word(v));
  return call.status(st);
}

QM_EXPORT QmWord QM_CALL QmNewestHardwareWrite(QmWord board, QmWord dut, Qm_Debug_Access_Method method,
                                              QmWord address, QmWord device, QmWord width,
                                              QmWord count, QmWord flags, QmWord value) {
  Call call(kQmNewestHardwareWrite, {W(board), W(dut), W(QmWord(method)), W(address), W(device),
                                     W(width), W(count), W(flags), W(value)});
  World &w = world();
  QmWord st, mask;
  std::lock_guard<std::mutex> lock(w.m);
  Place p;
  if (access(board, dut, QmWord(method), address, device, width, count, &p, &mask, &st)) {
    if (p.read_only) {
      st = fail(board, "register " + hex(address) + " is read-only");
    } else {
      // A narrow write replaces the low bits and keeps the rest.
      QmWord m = mask & p.natural_mask;
      QmWord next = (read_place(p) & ~m) | (value & m);
      if (p.byte)
        *p.byte = static_cast<unsigned char>(next);
      else
        *p.word = next;
    }
  }
  return call.status(st);
}

// I2C registers are addressed as (device << 8) | register here.
QM_EXPORT int qmsim_read_register(QmWord board, Qm_Debug_Access_Method method, QmWord address,
                                  QmWord *value) {
  World &w = world();
  std::lock_guard<std::mutex> lock(w.m);
  put(value, QmWord(0));
  if (board >= w.board_count) return -1;
  QmWord device = 0;
  if (method == QM_DEBUG_ACCESS_I2C) {
    device = address >> 8;
    address &= 0xFF;
  }
  Place p;
  std::string err;
  if (!locate(w.boards[board], QmWord(method), address, device, &p, &err)) return -1;
  put(value, read_place(p));
  return 0;
}

}  // extern "C"
