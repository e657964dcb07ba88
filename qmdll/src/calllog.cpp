// calllog.cpp: what each library function was last called with, and the
// results tests force on it.
#include "sim.h"

#include <chrono>
#include <cstring>
#include <thread>

namespace sim {

static const char *const kNames[kFnCount] = {
    "QmSetEventCallback", "QmBoardDUTEnum", "QmBoardEnum", "QmBoardReadI2CDEVICE",
    "QmBoardWriteI2CDEVICE", "QmBoardLoadFPGA", "QmBoardOpen", "QmBoardReadCypressEEPROM",
    "QmBoardReadDUTEEPROM", "QmBoardReadDUTInfo", "QmBoardReadLastError",
    "QmBoardReadCaptureData", "QmBoardClose", "QmBoardCheckFirmwareActive", "QmBoardReset",
    "QmBoardWriteCaptureEnd", "QmBoardWriteCaptureStart", "QmBoardWriteCypressEEPROM",
    "QmBoardWriteDUTEEPROM", "QmChangeImageDirectory", "QmDebugModuleModify",
    "QmDebugModuleModifyAll", "QmDebugModuleSetOutputFilename", "QmGetSamplingFrequency",
    "QmGetScriptVerions", "QmGetSupportedDuts", "QmNewestHardwareRead",
    "QmNewestHardwareWrite", "QmSetDut", "QmShutdown", "QmDacExecCommand",
    "QmGetDutEepromType"};

int fn_find(const char *name) {
  if (!name) return -1;
  for (int f = 0; f < kFnCount; ++f)
    if (std::strcmp(kNames[f], name) == 0) return f;
  return -1;
}

Call::Call(Fn f, std::initializer_list<Arg> args) : f_(f) {
  World &w = world();
  std::vector<Event> armed;
  int delay;
  {
    std::lock_guard<std::mutex> lock(w.m);
    LogEntry &e = w.log[f];
    ++e.count;
    e.argc = 0;
    for (const Arg &a : args) {
      if (e.argc == kMaxArgs) break;
      int i = e.argc++;
      e.words[i] = a.word;
      e.nulls[i] = a.null;
      e.has_text[i] = a.text && a.str;
      // Copied now: the caller's bytes are only ours during the call.
      if (e.has_text[i])
        e.texts[i].assign(a.str);
      else
        e.texts[i].clear();
    }
    forced_ = w.forced[f];
    armed.swap(w.armed[f]);
    ++w.running[f];
    delay = w.call_delay_ms[f];
  }
  for (const Event &ev : armed) deliver_now(ev);
  // A slow call, so tests can watch what happens while one is in progress.
  if (delay > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
}

Call::~Call() {
  World &w = world();
  std::lock_guard<std::mutex> lock(w.m);
  --w.running[f_];
}

}  // namespace sim

using namespace sim;

static bool has_word_output(int f) {
  return f == kQmBoardOpen || f == kQmBoardReadCaptureData || f == kQmNewestHardwareRead;
}

static bool has_text_output(int f) {
  return f == kQmBoardEnum || f == kQmBoardDUTEnum || f == kQmBoardReadLastError ||
         f == kQmGetSupportedDuts || f == kQmBoardReadDUTInfo;
}

extern "C" {

QM_EXPORT int qmsim_force_status(const char *function, QmWord status) {
  int f = fn_find(function);
  if (f < 0) return -1;
  World &w = world();
  std::lock_guard<std::mutex> lock(w.m);
  w.forced[f].has_status = true;
  w.forced[f].status = status;
  return 0;
}

QM_EXPORT void qmsim_clear_forced(void) {
  World &w = world();
  std::lock_guard<std::mutex> lock(w.m);
  for (Forced &f : w.forced) f = Forced();
}

QM_EXPORT int qmsim_force_output_word(const char *function, QmWord value) {
  int f = fn_find(function);
  if (f < 0 || !has_word_output(f)) return -1;
  World &w = world();
  std::lock_guard<std::mutex> lock(w.m);
  w.forced[f].has_word = true;
  w.forced[f].word = value;
  return 0;
}

QM_EXPORT int qmsim_force_null_text(const char *function, int on) {
  int f = fn_find(function);
  if (f < 0 || !has_text_output(f)) return -1;
  World &w = world();
  std::lock_guard<std::mutex> lock(w.m);
  w.forced[f].null_text = on != 0;
  return 0;
}

QM_EXPORT int qmsim_set_call_delay(const char *function, int ms) {
  int f = fn_find(function);
  if (f < 0) return -1;
  World &w = world();
  std::lock_guard<std::mutex> lock(w.m);
  w.call_delay_ms[f] = ms < 0 ? 0 : ms;
  return 0;
}

QM_EXPORT int qmsim_in_call(const char *function) {
  int f = fn_find(function);
  if (f < 0) return 0;
  World &w = world();
  std::lock_guard<std::mutex> lock(w.m);
  return w.running[f];
}

QM_EXPORT QmWord qmsim_call_count(const char *function) {
  int f = fn_find(function);
  if (f < 0) return 0;
  World &w = world();
  std::lock_guard<std::mutex> lock(w.m);
  return w.log[f].count;
}

QM_EXPORT QmWord qmsim_last_word(const char *function, int position) {
  int f = fn_find(function);
  if (f < 0) return 0;
  World &w = world();
  std::lock_guard<std::mutex> lock(w.m);
  const LogEntry &e = w.log[f];
  return position >= 0 && position < e.argc ? e.words[position] : 0;
}

QM_EXPORT int qmsim_last_is_null(const char *function, int position) {
  int f = fn_find(function);
  if (f < 0) return 0;
  World &w = world();
  std::lock_guard<std::mutex> lock(w.m);
  const LogEntry &e = w.log[f];
  return position >= 0 && position < e.argc && e.nulls[position] ? 1 : 0;
}

QM_EXPORT const char *qmsim_last_text(const char *function, int position) {
  int f = fn_find(function);
  if (f < 0) return nullptr;
  World &w = world();
  std::lock_guard<std::mutex> lock(w.m);
  const LogEntry &e = w.log[f];
  if (position < 0 || position >= e.argc || !e.has_text[position]) return nullptr;
  // Interned so the pointer outlives later calls of the function.
  return intern(e.texts[position]);
}

}  // extern "C"
