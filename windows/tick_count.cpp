// tick_count.cpp: GetTickCount64 for Windows XP, which lacks it. Linked into
// every DLL of the Windows build.
//
// winpthreads, the thread support of the C++ runtime linked into each DLL,
// times its waits with GetTickCount64, which KERNEL32.dll exports from Vista
// on; a DLL that imports it fails to load on XP ("DLL load failed"). Calls
// into a DLL go through an import slot, a pointer named __imp__NAME@ARGBYTES
// that the loader fills. This file defines that slot for GetTickCount64
// itself, so the linker takes the name from here and imports nothing: the
// slot holds tick_count_64, which calls the system's own function where
// KERNEL32.dll has one and otherwise extends GetTickCount (tick_count.h).
#include <windows.h>

#include "tick_count.h"

namespace {

using TickCount64 = ULONGLONG(WINAPI *)();

qm_windows::TickState xp_ticks;  ///< zero-initialized: no loader lock order to mind

ULONGLONG WINAPI extended_tick_count() {
  return qm_windows::extend_ticks(xp_ticks, GetTickCount());
}

ULONGLONG WINAPI tick_count_64() {
  // The look-up itself is cheap but runs on every call of the first few; the
  // answer is the same for every thread, so a plain race to store it is fine.
  static TickCount64 chosen = nullptr;
  TickCount64 call = __atomic_load_n(&chosen, __ATOMIC_ACQUIRE);
  if (!call) {
    call = reinterpret_cast<TickCount64>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetTickCount64")));
    if (!call) call = extended_tick_count;
    __atomic_store_n(&chosen, call, __ATOMIC_RELEASE);
  }
  return call();
}

}  // namespace

// The import slot winpthreads' objects name (stdcall, no arguments: "@0").
extern "C" {
extern const TickCount64 qm_get_tick_count_64_slot __asm__("__imp__GetTickCount64@0");
const TickCount64 qm_get_tick_count_64_slot = tick_count_64;
}
