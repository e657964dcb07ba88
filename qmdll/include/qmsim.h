/* qmsim.h: test control of the stand-in board library (libqmdll.so).
 * Not part of the board library's interface: tests reach it through ctypes
 * (Python) or by linking (C++). Every function is safe to call from any
 * thread. Functions are named by their C name ("QmBoardOpen"). */
#ifndef QMSIM_H
#define QMSIM_H

#include "qmdll.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- world ---- */
/* Boards attached after a reset, named "QM-EVAL-0", "QM-EVAL-1", ... */
#define QMSIM_DEFAULT_BOARDS 2
/* Back to the initial world: QMSIM_DEFAULT_BOARDS boards attached, all closed,
 * EEPROMs and registers at factory contents, no forced statuses, call log
 * and event counters cleared. The registered receiver is kept. */
QM_EXPORT void qmsim_reset(void);
/* Number of boards attached at reset (1..MAX_BOARD); takes effect now:
 * boards beyond it are detached, new ones come attached as shipped. Also
 * takes 0 (nothing attached); larger counts are taken as MAX_BOARD. */
QM_EXPORT void qmsim_set_board_count(QmWord count);
/* Plug or unplug a board or its DUT, switch its power. Each change fires the
 * matching hot-plug event from the library's own event thread. Returns 0, or
 * -1 for an unknown board. Every call fires its event, even when the state
 * stays as it was. Unplugging a board closes it; unplugging a DUT or
 * switching power off ends its capture and DAC sourcing. */
QM_EXPORT int qmsim_plug_board(QmWord board, int plugged);
QM_EXPORT int qmsim_plug_dut(QmWord board, int plugged);
QM_EXPORT int qmsim_power(QmWord board, int on);

/* ---- forced results and the call log ---- */
/* Make every later call of `function` return `status` (outputs are still set)
 * until cleared. Returns 0, or -1 for an unknown function name. */
QM_EXPORT int qmsim_force_status(const char *function, QmWord status);
QM_EXPORT void qmsim_clear_forced(void);
/* Make the word output of QmBoardOpen, QmBoardReadCaptureData or
 * QmNewestHardwareRead be `value` until cleared. */
QM_EXPORT int qmsim_force_output_word(const char *function, QmWord value);
/* Make the text outputs (names, error text, DUT texts) of `function` null
 * pointers, and its name counts 0, until cleared. */
QM_EXPORT int qmsim_force_null_text(const char *function, int on);
/* Make every later call of `function` take `ms` longer (0: no delay; reset
 * clears it). The delay runs without the library's lock. -1 for an unknown
 * name. */
QM_EXPORT int qmsim_set_call_delay(const char *function, int ms);
/* How many calls of `function` are in progress right now. */
QM_EXPORT int qmsim_in_call(const char *function);
/* How often `function` was called since the last reset. */
QM_EXPORT QmWord qmsim_call_count(const char *function);
/* The arguments of the last call, by 0-based position: the argument as a
 * word (pointers as their address, doubles truncated), whether it was a null
 * pointer, and for string arguments the bytes it pointed to during the call
 * (NULL when the pointer was null or the argument is not a string). */
QM_EXPORT QmWord qmsim_last_word(const char *function, int position);
QM_EXPORT int qmsim_last_is_null(const char *function, int position);
QM_EXPORT const char *qmsim_last_text(const char *function, int position);

/* ---- events ---- */
/* The receiver last given to QmSetEventCallback (NULL if none). */
QM_EXPORT Qm_Event_Receiver qmsim_receiver(void);
/* Deliver `event` (copied) to the receiver from the library's event thread. */
QM_EXPORT int qmsim_fire_event(const Qm_Dll_Event_Param *event);
/* Deliver `event` to the receiver during the next call of `function`, on the
 * caller's thread, while that call runs. */
QM_EXPORT int qmsim_fire_during(const char *function, const Qm_Dll_Event_Param *event);
/* Start `threads` fresh library threads that each deliver `count` copies of
 * `event` as fast as they can. */
QM_EXPORT int qmsim_fire_burst(int threads, int count, const Qm_Dll_Event_Param *event);
/* Like qmsim_fire_burst, but every event comes on a fresh thread: each of
 * `threads` relays delivers one copy of `event`, starts the thread for the
 * next copy and ends, `count` times. So `threads` deliveries are under way
 * at once, and threads start and end all the time. */
QM_EXPORT int qmsim_fire_relay(int threads, int count, const Qm_Dll_Event_Param *event);
/* Wait until every queued or bursting event was delivered: 1 when done, 0
 * after timeout_ms. Never call it from inside the receiver. */
QM_EXPORT int qmsim_wait_delivered(int timeout_ms);
/* Events delivered since reset, and the sum of the receiver's results. */
QM_EXPORT QmWord qmsim_events_delivered(void);
QM_EXPORT QmWord qmsim_receiver_result_sum(void);

/* From the event thread, as the library does after re-reading a memory or
 * loading its simulator: qmsim_reload_eeprom fires DUT_EEPROM_RELOADED
 * (dut != 0) or CYPRESS_EEPROM_RELOADED (dut == 0), -1 for an unknown board;
 * qmsim_simulator_loaded fires SIMULATOR_LOADED. These events carry no
 * parameters. */
QM_EXPORT int qmsim_reload_eeprom(QmWord board, int dut);
QM_EXPORT int qmsim_simulator_loaded(void);
/* 1 while an event given to qmsim_fire_during still waits for its call. */
QM_EXPORT int qmsim_pending_during(const char *function);
/* Make the event thread wait `ms` before each delivery (0: no wait), to
 * hold events in the queue; reset clears it. */
QM_EXPORT void qmsim_set_delivery_delay(int ms);

/* ---- state readback ---- */
QM_EXPORT int qmsim_debug_enabled(int module);
QM_EXPORT const char *qmsim_debug_output_filename(void); /* NULL if never set */
QM_EXPORT const char *qmsim_image_directory(void);
QM_EXPORT int qmsim_board_open(QmWord board);
/* Copy `length` bytes of a board's memory out: 0 on success, -1 on a bad
 * board or range. */
QM_EXPORT int qmsim_read_cypress_eeprom(QmWord board, QmWord offset, QmStream out, QmWord length);
QM_EXPORT int qmsim_read_dut_eeprom(QmWord board, QmWord offset, QmStream out, QmWord length);
/* A hardware register as QmNewestHardwareRead would see it; -1 on error.
 * I2C registers are addressed as (device << 8) | register, SPI ones on chip
 * select 0. */
QM_EXPORT int qmsim_read_register(QmWord board, Qm_Debug_Access_Method method, QmWord address,
                                  QmWord *value);
/* DAC: whether sourcing, and the samples last downloaded (count returned). */
QM_EXPORT int qmsim_dac_sourcing(QmWord board);
QM_EXPORT QmWord qmsim_dac_samples(QmWord board, QmWord *out, QmWord max);
/* The test tone a capture of `channel_data_index` sees on `board` while the
 * DAC does not loop back: its frequency in Hz and its peak amplitude in LSB
 * (codes swing about mid-scale by that much, plus up to 2 LSB of noise).
 * 0, or -1 for an unknown board or configuration. */
QM_EXPORT int qmsim_tone(QmWord board, QmWord channel_data_index, QmDouble *frequency,
                         QmDouble *amplitude);

#ifdef __cplusplus
}
#endif

#endif /* QMSIM_H */
