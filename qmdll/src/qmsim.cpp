// qmsim.cpp: test control of the bench: reset, board count, hot-plug and
// power (each announced from the event thread), state readback.
#include "sim.h"

using namespace sim;

extern "C" {

QM_EXPORT void qmsim_reset(void) {
  World &w = world();
  std::lock_guard<std::mutex> lock(w.m);
  world_reset(w);
}

QM_EXPORT void qmsim_set_board_count(QmWord count) {
  World &w = world();
  std::lock_guard<std::mutex> lock(w.m);
  set_board_count(w, count);
}

// Every call announces itself, even when the state does not change: the
// event is the test's proof that the change went through.
QM_EXPORT int qmsim_plug_board(QmWord board, int plugged) {
  World &w = world();
  std::lock_guard<std::mutex> lock(w.m);
  if (board >= w.board_count) return -1;
  Board &b = w.boards[board];
  if (!plugged) {
    b.open = false;
    stop_activity(b);
  } else if (!b.plugged) {
    factory_registers(board, b);  // came back up: logic starts afresh
  }
  b.plugged = plugged != 0;
  queue_event(hw_event(plugged ? QM_HW_CHANGE_BOARD_CONNECT : QM_HW_CHANGE_BOARD_DISCONNECT,
                       board, 0));
  return 0;
}

QM_EXPORT int qmsim_plug_dut(QmWord board, int plugged) {
  World &w = world();
  std::lock_guard<std::mutex> lock(w.m);
  if (board >= w.board_count) return -1;
  Board &b = w.boards[board];
  if (!plugged) stop_activity(b);
  b.dut_plugged = plugged != 0;
  queue_event(hw_event(plugged ? QM_HW_CHANGE_DUT_CONNECT : QM_HW_CHANGE_DUT_DISCONNECT, board, 0));
  return 0;
}

// Power off keeps the board open (the host still holds it) but stops its
// work; power on brings the registers up at their defaults.
QM_EXPORT int qmsim_power(QmWord board, int on) {
  World &w = world();
  std::lock_guard<std::mutex> lock(w.m);
  if (board >= w.board_count) return -1;
  Board &b = w.boards[board];
  if (!on)
    stop_activity(b);
  else if (!b.powered)
    factory_registers(board, b);
  b.powered = on != 0;
  queue_event(hw_event(on ? QM_HW_CHANGE_POWER_ON : QM_HW_CHANGE_POWER_OFF, board, 0));
  return 0;
}

QM_EXPORT int qmsim_board_open(QmWord board) {
  World &w = world();
  std::lock_guard<std::mutex> lock(w.m);
  return board < w.board_count && w.boards[board].open ? 1 : 0;
}

}  // extern "C"
