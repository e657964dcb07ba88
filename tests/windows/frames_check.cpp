// frames_check.cpp: loads DLLs into a process where another DLL has already
// registered its unwind tables with libgcc_s_dw2-1.dll, and has each DLL that
// exports frames_throw_and_catch throw and catch its own exception
// (tests/windows/wine_frames.sh runs it under wine).
//   frames_check.exe [--shared-libgcc-first] DLL...
// --shared-libgcc-first loads frames_shared_libgcc.dll first: built with the
// shared libgcc, it brings libgcc_s_dw2-1.dll into the process and registers
// its frames there, as some extension modules do. The DLLs are then loaded
// as the interpreter loads a module and unloaded again at the end. Exits 0
// when every exception was caught; an uncaught one ends in std::terminate.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

typedef int (*Thrower)();

int failures = 0;

void fail(const char *what, const char *dll) {
  std::printf("frames_check: FAIL: %s: %s\n", dll, what);
  ++failures;
}

/// Calls the DLL's thrower, if it has one; a failure unless it caught.
void throw_in(HMODULE module, const char *dll) {
  FARPROC address = GetProcAddress(module, "frames_throw_and_catch");
  if (!address) return;
  std::printf("frames_check: %s throws...\n", dll);
  if (reinterpret_cast<Thrower>(reinterpret_cast<void *>(address))() != 1)
    fail("its exception was not caught", dll);
  else
    std::printf("frames_check: %s caught its own exception\n", dll);
}

}  // namespace

int main(int argc, char **argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);  // every line out before a terminate
  int first = 1;
  if (argc > 1 && std::strcmp(argv[1], "--shared-libgcc-first") == 0) {
    first = 2;
    HMODULE shared = LoadLibraryA("frames_shared_libgcc.dll");
    if (!shared || !GetModuleHandleA("libgcc_s_dw2-1.dll")) {
      std::printf("frames_check: FAIL: frames_shared_libgcc.dll did not bring libgcc_s_dw2-1.dll\n");
      return 1;
    }
    throw_in(shared, "frames_shared_libgcc.dll");
  }
  HMODULE loaded[64];
  const char *names[64];
  int count = 0;
  for (int i = first; i < argc && count < 64; ++i) {
    HMODULE module = LoadLibraryExA(argv[i], nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!module) {
      std::printf("frames_check: FAIL: %s: not loaded (error %lu)\n", argv[i], GetLastError());
      ++failures;
      continue;
    }
    std::printf("frames_check: %s loaded\n", argv[i]);
    names[count] = argv[i];
    loaded[count++] = module;
    throw_in(module, argv[i]);
  }
  // Unloading runs each DLL's deregistrations: crtbegin's with
  // libgcc_s_dw2-1.dll and frame_registration.cpp's with its own unwinder.
  while (count > 0) {
    --count;
    if (!FreeLibrary(loaded[count]))
      fail("not unloaded", names[count]);
    else
      std::printf("frames_check: %s unloaded\n", names[count]);
  }
  std::printf("frames_check: %s (%d failed)\n", failures ? "FAILED" : "ok", failures);
  return failures ? 1 : 0;
}
