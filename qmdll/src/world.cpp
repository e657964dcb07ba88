// world.cpp: the bench's state, its factory contents, and the checks and
// error bookkeeping every library function shares.
#include "sim.h"

#include <cstdio>
#include <cstring>

namespace sim {

World &world() {
  // Never destroyed: the event thread and late callers may outlive static
  // destruction at process exit.
  static World *w = [] {
    World *fresh = new World;
    world_reset(*fresh);
    return fresh;
  }();
  return *w;
}

const char *intern(const std::string &text) {
  // Texts handed out stay valid for good: a caller may still be copying one
  // while another thread replaces the last error.
  static std::set<std::string> *pool = new std::set<std::string>;
  return pool->insert(text).first->c_str();
}

std::string num(QmWord v) { return std::to_string(static_cast<unsigned long>(v)); }

std::string hex(QmWord v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%lX", static_cast<unsigned long>(v));
  return buf;
}

void factory_registers(QmWord index, Board &b) {
  b.fpga.assign(QM5_FPGA_REGISTER_ADDR_SIZE, 0);
  b.fpga[0] = kFpgaId;
  const QmVersionNumber &v = b.fpga_version;
  b.fpga[1] = (v.Major & 0xFF) << 24 | (v.Minor & 0xFF) << 16 | (v.Release & 0xFF) << 8 |
              (v.Build & 0xFF);
  b.fpga[3] = index;
  b.aux.assign(AUXBUS_DATA_ADDR_SIZE, 0);
  b.spi.assign(kSpiSize, 0);
  b.spi[0] = 0x18;
  b.spi[1] = model(b.model).type & 0xFF;
  b.spi[2] = model(b.model).bits;
  b.sfr.assign(kSfrSize, 0);
  b.priv.assign(kPrivateSize, 0);
  b.i2c.clear();
  b.i2c[0x20].assign(8, 0);       // GPIO expander
  b.i2c[0x48] = {0x19, 0x00, 0x00, 0x4B};  // temperature sensor: 25 C
  b.i2c[0x50].assign(256, 0xFF);  // board ID EEPROM
  b.i2c[0x68].assign(256, 0);     // clock generator
  b.i2c[0x68][0] = 0x68;
}

static void put_text(std::vector<unsigned char> &mem, size_t at, const std::string &text) {
  std::memcpy(mem.data() + at, text.c_str(), text.size() + 1);
}

void factory(QmWord index, Board &b) {
  b = Board();
  b.model = (index % 2) ? 2 : 0;  // odd slots carry the FMC DUT
  b.cypress.assign(kCypressEepromSize, 0xFF);
  const unsigned char boot[8] = {0xC2, 0xB4, 0x04, 0x13, 0x86, 0x00, 0xA0, 0x40};
  std::memcpy(b.cypress.data(), boot, sizeof boot);
  put_text(b.cypress, 0x10, "QM-EVAL-" + num(index));
  b.dut_eeprom.assign(kDutEepromSize, 0xFF);
  put_text(b.dut_eeprom, 0, "QMDUT");
  put_text(b.dut_eeprom, 0x10, model(b.model).name);
  factory_registers(index, b);
  b.error = intern("no error");
}

void stop_activity(Board &b) {
  b.cap = Capture();
  b.dac.sourcing = false;
}

void set_board_count(World &w, QmWord count) {
  if (count > MAX_BOARD) count = MAX_BOARD;
  for (QmWord i = 0; i < MAX_BOARD; ++i) {
    if (i >= count) {
      w.boards[i].plugged = false;
      w.boards[i].open = false;
      stop_activity(w.boards[i]);
    } else if (i >= w.board_count) {
      factory(i, w.boards[i]);
    }
  }
  w.board_count = count;
}

void world_reset(World &w) {
  w.board_count = 0;
  set_board_count(w, QMSIM_DEFAULT_BOARDS);
  w.global_error = intern("no error");
  for (bool &d : w.debug) d = false;
  w.out_file_set = false;
  w.out_file.clear();
  w.image_dir = ".";
  for (int f = 0; f < kFnCount; ++f) {
    w.log[f] = LogEntry();
    w.forced[f] = Forced();
    w.armed[f].clear();
    w.call_delay_ms[f] = 0;
  }
  w.queue.clear();
  w.delay_ms = 0;
  ++w.generation;
  w.delivered = 0;
  w.result_sum = 0;
  w.idle.notify_all();
}

QmWord fail(QmWord board, const std::string &text, QmWord status) {
  World &w = world();
  const char *t = intern(text);
  if (board < MAX_BOARD)
    w.boards[board].error = t;
  else
    w.global_error = t;
  return status;
}

Board *need(QmWord board, QmWord dut, unsigned what, QmWord *status) {
  World &w = world();
  if (board >= w.board_count || !w.boards[board].plugged) {
    *status = fail(board, "board " + num(board) + " is not attached");
    return nullptr;
  }
  Board &b = w.boards[board];
  if ((what & kOpen) && !b.open) {
    *status = fail(board, "board " + num(board) + " is not open");
    return nullptr;
  }
  if ((what & kPowered) && !b.powered) {
    *status = fail(board, "board " + num(board) + " is powered off");
    return nullptr;
  }
  if ((what & (kDut | kDutPlugged)) && dut >= MAX_DUT) {
    *status = fail(board, "unknown DUT " + num(dut) + " on board " + num(board));
    return nullptr;
  }
  if ((what & kDutPlugged) && !b.dut_plugged) {
    *status = fail(board, "no DUT connected to board " + num(board));
    return nullptr;
  }
  *status = QM_RETURN_OK;
  return &b;
}

}  // namespace sim
