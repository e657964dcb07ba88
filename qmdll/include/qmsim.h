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
/* Make the captures of `board` hand out at most `per_read` words per
 * QmBoardReadCaptureData and `in_all` words per capture (0: no limit); once a
 * capture has delivered `in_all` words, reads report success with 0 words, as
 * a library that runs dry would. Returns 0, or -1 for an unknown board; reset
 * clears it. */
QM_EXPORT int qmsim_limit_capture(QmWord board, QmWord per_read, QmWord in_all);
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
 * (codes swing about mid-scale by that much, plus the noise: 2 LSB at most
 * unless qmsim_set_noise says otherwise). 0, or -1 for an unknown board or
 * configuration. */
QM_EXPORT int qmsim_tone(QmWord board, QmWord channel_data_index, QmDouble *frequency,
                         QmDouble *amplitude);
/* The same tone as `cycles` whole periods in every `record` samples of one
 * channel (its bin in a DFT of `record` samples): cycles is odd and coprime
 * with record. 0, or -1 (both 0) for an unknown board or configuration. */
QM_EXPORT int qmsim_tone_cycles(QmWord board, QmWord channel_data_index, QmWord *cycles,
                                QmWord *record);

/* ---- the converter's signal and its known imperfections ----
 * A capture of channel data index c on board b samples, at the rate
 * QmGetSamplingFrequency gives, the input
 *     x[n] = tone[n] + sum of the components[n]            (in LSB)
 * where tone[n] is the test tone (A sin(2 pi M n / R + ch pi/2) for channel
 * ch of an interleaved capture, M and R from qmsim_tone_cycles, A 0.9 of full
 * scale) or, while the board's DAC sources, the DAC's sample scaled to the
 * ADC's bits. The converter adds integer noise (-2..2 LSB by default, a pure
 * function of the sample's place) and quantises: code round(x[n]) + noise for
 * the tone, floor(x[n]) + noise for the DAC (its codes truncate to the ADC's),
 * moved by the transitions tests moved, then clipped to the code limits
 * -2^(bits-1) .. 2^(bits-1) - 1: a level at or above 0 dBFS clips as a real
 * converter does. Levels are relative to a full-scale sine (amplitude
 * 2^(bits-1) LSB: 0 dBFS). Codes are the signed values of the samples
 * (two's-complement value; the offset-binary word is code + 2^(bits-1)).
 *
 * Every setting below belongs to one board (not to its DUT model: it stays
 * across QmSetDut, plugging and QmBoardReset) until qmsim_clear_imperfections
 * or qmsim_reset, which clear every board's. Without any, captures are
 * exactly what they always were. Each returns 0, or -1 for an unknown board
 * or a value out of range, changing nothing.
 *
 * Which path each applies to: the tone's level and record and the harmonics
 * shape the test tone only (the DAC's waveform is what was downloaded);
 * free tones, the noise and the transitions act on whatever the converter
 * samples, so on the DAC loopback as well. */

/* The test tone's level in dBFS (default -0.915: 0.9 of full scale); up to
 * +20, -INFINITY silences it (and its harmonics). */
QM_EXPORT int qmsim_set_tone_level(QmWord board, QmDouble level);
/* Make the test tone coherent over `samples` samples (8 .. 2^24, default
 * 8192) instead of 8192: M becomes the odd number coprime with `samples`
 * nearest the default tone's periods scaled to that record (the lower on a
 * tie), so a capture of `samples` samples of one channel meets every phase
 * of the tone once, e.g. for a code-density test (record 2^20: M = 51327 on
 * board 0, configuration 0). qmsim_tone and qmsim_tone_cycles report it. */
QM_EXPORT int qmsim_set_tone_record(QmWord board, QmWord samples);
/* The noise's peak in LSB (0 .. 64, default 2): integers uniform over
 * -peak..peak added before the transitions decide the code; 0: none. */
QM_EXPORT int qmsim_set_noise(QmWord board, QmWord peak);
/* With `on` nonzero every capture of the board (each QmBoardWriteCaptureStart,
 * a histogram's too) draws its noise anew, as a real converter's noise is:
 * the noise then depends on how many captures were started since as well,
 * so averaging the spectra of several captures narrows it. 0 (the default)
 * makes it a pure function of the sample's place again: a capture read twice
 * is the same. */
QM_EXPORT int qmsim_set_fresh_noise(QmWord board, int on);
/* The harmonic of order `order` (2 .. 64) at `level` dBc of the test tone
 * (up to +20; -INFINITY removes it): A 10^(level/20) sin(order theta[n]) with
 * theta[n] the tone's phase, so it is phase-coherent with the tone and lands
 * where a sampled nonlinearity puts it, at order M folded into the first
 * Nyquist zone. Setting an order again replaces its level. Several orders at
 * once; at most 64 components (harmonics and free tones) a board. */
QM_EXPORT int qmsim_set_harmonic(QmWord board, QmWord order, QmDouble level);
/* Adds a free tone of `frequency` Hz (finite, >= 0) at `level` dBFS (up to
 * +20): 2^(bits-1) 10^(level/20) sin(2 pi frequency n / fs), phase 0 at the
 * first sample of every capture, on every channel alike; above fs/2 it
 * aliases as a sampled input does. A second tone, a clock spur, an IMD
 * product at a chosen frequency and level are all free tones. Each call adds
 * one. */
QM_EXPORT int qmsim_add_tone(QmWord board, QmDouble frequency, QmDouble level);
/* The transfer characteristic: code c holds the inputs from t[c] up to t[c+1],
 * ideally t[c] = c - 1/2 (the DAC path: c). qmsim_set_transition moves t[code]
 * (the step from code - 1 up to code) by `offset` LSB: upwards widens code - 1
 * and narrows code. qmsim_set_code_width makes code `code` `error` LSB wider
 * (negative: narrower), t[code] and t[code + 1] each moving by half of it, so
 * its neighbours take the difference; error -1 is a missing code, which never
 * appears. `code` is -32768 .. 32767 (codes outside the DUT's range do
 * nothing); the value must be finite; setting a code again replaces its
 * value, 0 removes it; the settings of different codes add up. -1 and nothing
 * changed when some code would get a negative width. */
QM_EXPORT int qmsim_set_transition(QmWord board, int code, QmDouble offset);
QM_EXPORT int qmsim_set_code_width(QmWord board, int code, QmDouble error);
/* The board's converter back to perfect: every setting above undone. */
QM_EXPORT int qmsim_clear_imperfections(QmWord board);

/* ---- hardware histogram ----
 * QmBoardReadDUTInfo's HistogramInfo is the number of bins of the DUT's
 * hardware histogram, 0 when it has none: 16384 (one per code) for the
 * QMADC-1425, 0 for the others. A capture started with HistogramEnable
 * nonzero counts codes instead of returning samples:
 *   - num_acqs_per_strm: how many samples it counts (1 .. 2^24): the words a
 *     plain capture of that configuration would return from its start
 *     (channels interleaved as such a capture interleaves them);
 *   - HistogramMaxBin: the last bin (below HistogramInfo); TransferSize must
 *     be HistogramMaxBin + 1, TransferMinSize/TransferMaxSize do not apply;
 *   - reads return the counts as words: word i is how often the code
 *     i - 2^(bits-1) came (offset-binary order, whatever DataFormat says;
 *     DataFormat must still be a known one); codes above HistogramMaxBin
 *     are not counted.
 * The counting happens when the capture starts. Every other capture rule
 * (reads continue, exhaustion, QmBoardWriteCaptureEnd) is the same. */

#ifdef __cplusplus
}
#endif

#endif /* QMSIM_H */
