// ordinal_smoke.cpp: a Windows console test of qmdll.dll as the module meets
// it (tests/windows/wine_run.sh runs it under wine beside the stand-in). It
// links the module's import library, so the 32 functions are imported by
// ordinal alone, and calls some of them through their __stdcall declarations;
// after each call the stack pointer must be where it was, since a callee that
// removes other than its declared bytes moves it. Then one hot-plug event goes
// to a __cdecl receiver from the library's event thread. The stand-in's test
// control (qmsim_) is looked up by name. Exits 0 when everything held.
#include "qmsim.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

#define QM_ORDINAL(NAME, ORDINAL) #NAME,
const char *const functions[] = {
#include "qmdll_ordinals.def"
};
#undef QM_ORDINAL
const int kFunctions = sizeof functions / sizeof *functions;

QmWord made[kFunctions];  // calls made here, per function of the table
int calls = 0;
int failures = 0;

void check(bool ok, const char *what) {
  if (ok) return;
  std::printf("ordinal_smoke: FAIL: %s\n", what);
  ++failures;
}

void count_call(const char *name) {
  ++calls;
  for (int i = 0; i < kFunctions; ++i) made[i] += std::strcmp(functions[i], name) == 0;
}

// Calls NAME ARGS, expecting status OK and the stack pointer unchanged (read
// in this frame; the build keeps -O0 -fno-defer-pop, so nothing else moves it).
#define CHECKED(NAME, ARGS)                                    \
  do {                                                         \
    unsigned before_, after_;                                  \
    __asm__ volatile("movl %%esp, %0" : "=r"(before_));        \
    QmWord status_ = NAME ARGS;                                \
    __asm__ volatile("movl %%esp, %0" : "=r"(after_));         \
    count_call(#NAME);                                         \
    check(before_ == after_, #NAME ": stack pointer moved");   \
    check(status_ == QM_RETURN_OK, #NAME ": status not OK");   \
  } while (0)

template <typename F>
F control(const char *name) {
  FARPROC address = GetProcAddress(GetModuleHandleA("qmdll.dll"), name);
  if (!address) {
    std::printf("ordinal_smoke: FAIL: qmdll.dll has no %s\n", name);
    std::exit(1);
  }
  return reinterpret_cast<F>(reinterpret_cast<void *>(address));
}
#define CONTROL(NAME) control<decltype(&NAME)>(#NAME)

Qm_Dll_Event_Param seen;
volatile LONG received = 0;

QmWord QM_RECEIVER_CALL receive(Qm_Dll_Event_Param *event) {
  seen = *event;
  InterlockedIncrement(&received);
  return 7;
}

}  // namespace

int main() {
  std::setvbuf(stdout, nullptr, _IONBF, 0);  // every line out before a crash
  CONTROL(qmsim_reset)();
  QmWord count = 0, handle = 0;
  QmString *names = nullptr;
  QmVersionNumber version;
  CHECKED(QmBoardEnum, (&count, &names, &version));
  check(count == QMSIM_DEFAULT_BOARDS && names && std::strcmp(names[0], "QM-EVAL-0") == 0,
        "QmBoardEnum: the two boards");
  CHECKED(QmBoardOpen, (0, names[0], &handle, &version));
  check(CONTROL(qmsim_board_open)(0) == 1, "QmBoardOpen: board 0 open");

  // Nine-word calls, many times: a wrong byte count would add up.
  const QmWord rounds = 100, base = 0x5A000000;
  for (QmWord i = 0; i < rounds; ++i) {
    QmWord value = 0;
    CHECKED(QmNewestHardwareWrite, (0, 0, QM_DEBUG_ACCESS_PRIVATE, i, 0, 32, 1, 0xF1A6 + i, base + i));
    CHECKED(QmNewestHardwareRead, (0, 0, QM_DEBUG_ACCESS_PRIVATE, i, 0, 32, 1, 0, &value));
    check(value == base + i, "register write/read round trip");
  }
  const QmWord last[9] = {0, 0, QM_DEBUG_ACCESS_PRIVATE, rounds - 1, 0, 32, 1, 0xF1A6 + rounds - 1,
                          base + rounds - 1};
  auto last_word = CONTROL(qmsim_last_word);
  for (int i = 0; i < 9; ++i) {
    check(last_word("QmNewestHardwareWrite", i) == last[i], "QmNewestHardwareWrite: the nine words");
  }

  CHECKED(QmSetEventCallback, (receive));
  check(CONTROL(qmsim_plug_dut)(1, 1) == 0 && CONTROL(qmsim_wait_delivered)(10000) == 1,
        "the DUT event was delivered");
  check(received == 1 && seen.id == QM_DLL_EVENT_HW_CHANGE &&
            seen.param.hw_change.id == QM_HW_CHANGE_DUT_CONNECT &&
            seen.param.hw_change.board_index == 1 && seen.param.hw_change.dut_index == 0,
        "the receiver saw board 1's DUT connect");
  check(CONTROL(qmsim_events_delivered)() == 1 && CONTROL(qmsim_receiver_result_sum)() == 7,
        "the library saw the receiver's result");

  CHECKED(QmBoardClose, (0));
  check(CONTROL(qmsim_board_open)(0) == 0, "QmBoardClose: board 0 closed");

  // Each call reached its own function, whatever ordinal the table gave it.
  auto call_count = CONTROL(qmsim_call_count);
  for (int i = 0; i < kFunctions; ++i) {
    if (call_count(functions[i]) != made[i]) {
      std::printf("ordinal_smoke: FAIL: %s called %lu times, not %lu\n", functions[i],
                  call_count(functions[i]), made[i]);
      ++failures;
    }
  }
  std::printf("ordinal_smoke: %d calls by ordinal with the stack pointer checked, 1 event to the "
              "__cdecl receiver: %s (%d failed)\n", calls, failures ? "FAILED" : "ok", failures);
  return failures ? 1 : 0;
}
