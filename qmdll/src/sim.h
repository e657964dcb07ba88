// sim.h: the simulated bench behind libqmdll.so, shared by its source files.
// One mutex (World::m) guards everything below; it is never held while the
// event receiver runs, so a receiver may call back into the library.
#ifndef QMDLL_SIM_H
#define QMDLL_SIM_H

#include "qmdll.h"
#include "qmsim.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace sim {

// ---- the 32 library functions, as the call log and forcing know them ----
enum Fn {
  kQmSetEventCallback, kQmBoardDUTEnum, kQmBoardEnum, kQmBoardReadI2CDEVICE,
  kQmBoardWriteI2CDEVICE, kQmBoardLoadFPGA, kQmBoardOpen, kQmBoardReadCypressEEPROM,
  kQmBoardReadDUTEEPROM, kQmBoardReadDUTInfo, kQmBoardReadLastError, kQmBoardReadCaptureData,
  kQmBoardClose, kQmBoardCheckFirmwareActive, kQmBoardReset, kQmBoardWriteCaptureEnd,
  kQmBoardWriteCaptureStart, kQmBoardWriteCypressEEPROM, kQmBoardWriteDUTEEPROM,
  kQmChangeImageDirectory, kQmDebugModuleModify, kQmDebugModuleModifyAll,
  kQmDebugModuleSetOutputFilename, kQmGetSamplingFrequency, kQmGetScriptVerions,
  kQmGetSupportedDuts, kQmNewestHardwareRead, kQmNewestHardwareWrite, kQmSetDut,
  kQmShutdown, kQmDacExecCommand, kQmGetDutEepromType, kFnCount
};
int fn_find(const char *name);  // -1 for a name that is none of the 32

// ---- one argument of a logged call ----
const int kMaxArgs = 9;
struct Arg {
  QmWord word;
  bool null;
  bool text;
  const char *str;
};
inline QmWord addr(const void *p) { return static_cast<QmWord>(reinterpret_cast<uintptr_t>(p)); }
inline Arg W(QmWord w) { return Arg{w, false, false, nullptr}; }
inline Arg P(const void *p) { return Arg{addr(p), p == nullptr, false, nullptr}; }
inline Arg T(const char *s) { return Arg{addr(s), s == nullptr, true, s}; }

struct LogEntry {
  QmWord count = 0;
  int argc = 0;
  QmWord words[kMaxArgs] = {};
  bool nulls[kMaxArgs] = {};
  bool has_text[kMaxArgs] = {};
  std::string texts[kMaxArgs];
};

struct Forced {
  bool has_status = false;
  QmWord status = 0;
  bool has_word = false;
  QmWord word = 0;
  bool null_text = false;
};

// Opens every library function: logs the arguments, snapshots what tests
// forced for it, and delivers events armed for "the next call" on this thread.
class Call {
 public:
  Call(Fn f, std::initializer_list<Arg> args);
  ~Call();
  Call(const Call &) = delete;
  Call &operator=(const Call &) = delete;
  QmWord status(QmWord real) const { return forced_.has_status ? forced_.status : real; }
  QmWord word(QmWord real) const { return forced_.has_word ? forced_.word : real; }
  bool null_text() const { return forced_.null_text; }

 private:
  Fn f_;
  Forced forced_;
};

// ---- events ----
// A deep copy of an event record: message-box texts are owned here so that
// the sender's memory may go away before delivery.
struct Event {
  Qm_Dll_Event_Param rec{};
  std::string caption, message;
  bool has_caption = false, has_message = false;
  Event() = default;
  explicit Event(const Qm_Dll_Event_Param &e);
  Qm_Dll_Event_Param record() const;  // points into this object's texts
};
Event hw_event(Qm_Hw_Change_Id id, QmWord board, QmWord dut);
Event plain_event(Qm_Dll_Event_Id id);
// Calls the receiver on this thread; the world mutex must not be held.
void deliver_now(const Event &e);
// Hands the event to the library's event thread; world mutex held.
void queue_event(const Event &e);

// ---- the bench ----
struct DutModel {
  const char *name;
  const char *details;
  QmWord type;
  QmWord bits;
  double fs_hz;
  const char *revision;
  bool fmc;
  QmWord histogram_bins;  // HistogramInfo: bins of the hardware histogram, 0 for none
  QmVersionNumber script;
  QmChannelData *captures;  // library memory, never freed
  QmWord capture_count;
  Qm_Dac_Download_Configuration *dacs;
  QmWord dac_count;
};
const DutModel &model(int index);
int model_count();
int model_find(const char *name);  // -1 if unknown or null
QmWord decimation(QmWord config);  // sample-rate divider of a capture configuration
const char *supported_duts_text();
const char *supported_duts_details();

const QmWord kCypressEepromSize = 16 * 1024;
const QmWord kDutEepromSize = 8 * 1024;
const QmWord kSpiSize = 0x2000;
const QmWord kSfrBase = 0x80, kSfrSize = 0x80;
const QmWord kPrivateSize = 0x100;
const QmWord kFpgaId = 0x51D50005;   // read-only at QM5_FPGA_REGISTER_ADDR_BASE
const QmWord kNoBoard = 0xFFFFFFFF;  // failures not tied to a board

struct Capture {
  bool active = false;
  QmWord config = 0, transfer = 0, pos = 0;
  QmDataFormat format = QmTwosComplementFormat;
  bool histogram = false;      // reads return `counts`, made when the capture started
  QmWord draw = 0;             // which noise the capture draws: 0, unless noise is fresh
  std::vector<QmWord> counts;
};

// ---- the converter's input and transfer characteristic (signal.cpp) ----
const QmWord kToneRecord = 8192;       // the test tone is coherent over this many samples
const QmWord kMaxRecord = 1u << 24;    // longest coherence record, most histogram samples
const int kMaxComponents = 64;
const int kCodeOffset = 32768;         // code c's lower transition is edges[c + kCodeOffset]
const int kEdgeCount = 2 * kCodeOffset + 1;

// One sinusoid beside the test tone: a harmonic follows the tone's phase,
// a free tone has its own frequency.
struct Component {
  QmWord order = 0;  // k >= 2: k-th harmonic of the test tone; 0: a free tone
  double hz = 0;     // a free tone's frequency
  double level = 0;  // dBc of the test tone (harmonic) or dBFS (free tone)
};

// What the tests made imperfect about one board's converter; a Board()
// is the perfect converter of today.
struct Imperfections {
  bool tone_level_set = false;
  double tone_level = 0;            // dBFS; unset: 0.9 of full scale
  QmWord record = kToneRecord;      // coherence record of the test tone
  QmWord noise = 2;                 // peak of the integer noise, LSB
  bool fresh_noise = false;         // every capture draws its own noise
  QmWord draws = 0;                 // captures started since, with fresh noise
  std::vector<Component> components;
  std::map<int, double> widths;       // code -> width error, LSB
  std::map<int, double> transitions;  // code -> move of its lower transition, LSB
  std::vector<double> edges;          // transition offsets, LSB; empty: ideal
};

struct Dac {
  std::vector<QmWord> samples;
  bool sourcing = false, repeat = true;
  QmDataFormat format = QmTwosComplementFormat;
  QmWord bits = 16, config = 0, channels = 1;
  double freq = 0;
};

struct Board {
  bool plugged = true, dut_plugged = true, powered = true, open = false;
  int model = 0;
  std::string fpga_image;
  QmVersionNumber fpga_version{};
  QmWord last_channel = 0;  // ChannelDataIndex of the last capture start
  Capture cap;
  QmWord read_limit = 0;     // words one read hands out at most (0: no limit)
  QmWord capture_limit = 0;  // words a capture delivers in all (0: the transfer size)
  Imperfections imp;
  Dac dac;
  std::vector<unsigned char> cypress, dut_eeprom;
  std::vector<QmWord> fpga, aux, spi, sfr, priv;
  std::map<QmWord, std::vector<unsigned char>> i2c;  // device address -> registers
  const char *error = nullptr;
};

struct World {
  std::mutex m;
  QmWord board_count = 0;
  Board boards[MAX_BOARD];
  const char *global_error = nullptr;
  bool debug[QM_DEBUG_MODULE_MAX] = {};
  bool out_file_set = false;
  std::string out_file, image_dir;

  LogEntry log[kFnCount];
  Forced forced[kFnCount];
  std::vector<Event> armed[kFnCount];
  int call_delay_ms[kFnCount] = {};
  int running[kFnCount] = {};  // calls in progress; survives reset

  Qm_Event_Receiver receiver = nullptr;
  std::deque<Event> queue;
  bool delivering = false, thread_started = false;
  int bursts = 0, delay_ms = 0;
  unsigned generation = 0;  // bumped by reset: stale bursts stop
  std::condition_variable work, idle;
  QmWord delivered = 0, result_sum = 0;

  std::map<unsigned, std::vector<QmString>> enum_lists;
};
World &world();

// Everything below expects the world mutex held.
const char *intern(const std::string &text);
void factory(QmWord index, Board &b);     // a board as shipped
void factory_registers(QmWord index, Board &b);
void world_reset(World &w);
void set_board_count(World &w, QmWord count);
void stop_activity(Board &b);             // ends the capture, stops the DAC
// Records `text` as the last error of `board` (board-independent slot for
// numbers beyond MAX_BOARD) and returns `status`.
QmWord fail(QmWord board, const std::string &text, QmWord status = QM_RETURN_ERROR);
enum Need { kOpen = 1, kPowered = 2, kDut = 4, kDutPlugged = 8 };
// The board a call works on, or nullptr after fail() set *status.
Board *need(QmWord board, QmWord dut, unsigned what, QmWord *status);
std::string num(QmWord v);
std::string hex(QmWord v);

// ---- the waveform a capture returns (signal.cpp) ----
double sample_rate(const Board &b, QmWord config);
double tone_amplitude(const Board &b);  // peak, LSB
// The test tone makes `cycles` periods (odd, coprime with `record`) in
// every `record` samples of a capture of configuration `config`.
void tone_cycles(QmWord board, const Board &b, QmWord config, QmWord *cycles, QmWord *record);
// The next `count` words of the board's running capture, in its format.
void fill(QmWord board, const Board &b, QmWord *out, QmWord count);
// Adds to `counts` the codes of the first `samples` words a plain capture of
// configuration `config` would return with noise `draw` (Capture::draw):
// counts[i] counts the code i - 2^(bits-1); codes beyond counts.size() - 1
// are not counted.
void count_codes(QmWord board, const Board &b, QmWord config, QmWord draw, QmWord samples,
                 std::vector<QmWord> &counts);

template <class T>
inline void put(T *out, const T &value) {
  if (out) *out = value;
}

/// Hands out a name list; a forced null text makes it no names at all.
inline void put_names(const Call &call, QmWord *count, QmString **names, QmWord n,
                      QmString *list) {
  put(count, call.null_text() ? 0 : n);
  put(names, call.null_text() ? nullptr : list);
}

}  // namespace sim

#endif  // QMDLL_SIM_H
