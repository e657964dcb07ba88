// tick_check.cpp: GetTickCount64 as the DLLs of this build call it, through
// the import slot windows/tick_count.cpp defines instead of KERNEL32.dll's
// (tests/windows/wine_run.sh runs it under wine). The counts must be the
// system's own, within what passes between two calls, and never go back
// while threads race for them. Exits 0 when everything held.
#include <windows.h>

#include <cstdio>

// Called as the runtime's objects call it: through __imp__GetTickCount64@0.
extern "C" __declspec(dllimport) ULONGLONG WINAPI GetTickCount64(void);

namespace {

using TickCount64 = ULONGLONG(WINAPI *)();
int failures = 0;

void check(bool ok, const char *what) {
  if (ok) return;
  std::printf("tick_check: FAIL: %s\n", what);
  ++failures;
}

volatile LONG backwards = 0;

DWORD WINAPI race(void *) {
  ULONGLONG last = GetTickCount64();
  for (int i = 0; i < 200000; ++i) {
    const ULONGLONG now = GetTickCount64();
    if (now < last) InterlockedIncrement(&backwards);
    last = now;
  }
  return 0;
}

}  // namespace

int main() {
  auto system = reinterpret_cast<TickCount64>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetTickCount64")));
  check(system != nullptr, "kernel32.dll here has GetTickCount64 to compare with");
  if (system) {
    const ULONGLONG before = system(), ours = GetTickCount64(), after = system();
    check(before <= ours && ours <= after, "the count is the system's own");
  }
  const ULONGLONG start = GetTickCount64();
  Sleep(50);
  check(GetTickCount64() - start >= 40, "the count moves on with time");

  HANDLE threads[4];
  for (HANDLE &thread : threads) thread = CreateThread(nullptr, 0, race, nullptr, 0, nullptr);
  WaitForMultipleObjects(4, threads, TRUE, INFINITE);
  for (HANDLE thread : threads) CloseHandle(thread);
  check(backwards == 0, "no thread saw the count go back");

  std::printf("tick_check: %s\n", failures ? "failed" : "ok");
  return failures ? 1 : 0;
}
