// load_check.cpp: loads a module the way the interpreter does and checks that
// Windows resolved every one of its imports (tests/windows/wine_load.sh runs
// it under wine, against a stand-in for the interpreter's DLL).
//   load_check.exe INTERPRETER_DLL MODULE ENTRY [DLL=ORDINALS...]
// The interpreter's DLL is loaded first, as python.exe has it loaded; then
// MODULE with LoadLibraryEx(LOAD_WITH_ALTERED_SEARCH_PATH), so the DLLs it
// names are looked for in its own directory first. Every slot of its import
// address table must hold what GetProcAddress gives for that entry's name or
// ordinal in the DLL Windows loaded for it; DLL=ORDINALS says how many
// entries that DLL must have by ordinal (qmdll.dll=32). ENTRY (the module's
// init function) must be exported; it is not called. Exits 0 when all held.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int failures = 0;

void fail(const char *format, const char *a, const char *b = "") {
  std::printf("load_check: FAIL: ");
  std::printf(format, a, b);
  std::printf("\n");
  ++failures;
}

template <typename T>
T *at(HMODULE module, DWORD rva) {
  return reinterpret_cast<T *>(reinterpret_cast<unsigned char *>(module) + rva);
}

/// The ordinals DLL must have, from the DLL=ORDINALS arguments; -1 when not given.
int expected_ordinals(int argc, char **argv, const char *dll) {
  for (int i = 4; i < argc; ++i) {
    const char *equals = std::strchr(argv[i], '=');
    if (equals && static_cast<size_t>(equals - argv[i]) == std::strlen(dll) &&
        _strnicmp(argv[i], dll, equals - argv[i]) == 0)
      return std::atoi(equals + 1);
  }
  return -1;
}

}  // namespace

int main(int argc, char **argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  if (argc < 4) {
    std::printf("usage: load_check.exe INTERPRETER_DLL MODULE ENTRY [DLL=ORDINALS...]\n");
    return 2;
  }
  const char *module_path = argv[2];
  if (!LoadLibraryA(argv[1])) {
    fail("%s: the interpreter's DLL was not loaded%s", argv[1]);
    return 1;
  }
  HMODULE module = LoadLibraryExA(module_path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!module) {
    char error[32];
    std::snprintf(error, sizeof error, " (error %lu)", GetLastError());
    fail("%s: not loaded%s", module_path, error);
    return 1;
  }

  auto *dos = reinterpret_cast<IMAGE_DOS_HEADER *>(module);
  auto *nt = at<IMAGE_NT_HEADERS32>(module, dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY &directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  int dlls = 0;
  for (auto *d = at<IMAGE_IMPORT_DESCRIPTOR>(module, directory.VirtualAddress); d->Name; ++d, ++dlls) {
    const char *dll = at<const char>(module, d->Name);
    HMODULE target = GetModuleHandleA(dll);
    if (!target) {
      fail("%s: %s is not loaded", module_path, dll);
      continue;
    }
    auto *entry = at<IMAGE_THUNK_DATA32>(module, d->OriginalFirstThunk ? d->OriginalFirstThunk : d->FirstThunk);
    auto *slot = at<IMAGE_THUNK_DATA32>(module, d->FirstThunk);
    int by_name = 0, by_ordinal = 0;
    for (; entry->u1.AddressOfData; ++entry, ++slot) {
      FARPROC expected;
      char label[96];
      if (IMAGE_SNAP_BY_ORDINAL32(entry->u1.Ordinal)) {
        unsigned ordinal = IMAGE_ORDINAL32(entry->u1.Ordinal);
        std::snprintf(label, sizeof label, "ordinal %u", ordinal);
        expected = GetProcAddress(target, MAKEINTRESOURCEA(ordinal));
        ++by_ordinal;
      } else {
        const char *name = reinterpret_cast<const char *>(
            at<IMAGE_IMPORT_BY_NAME>(module, entry->u1.AddressOfData)->Name);
        std::snprintf(label, sizeof label, "%s", name);
        expected = GetProcAddress(target, name);
        ++by_name;
      }
      if (!expected)
        fail("%s has no %s", dll, label);
      else if (slot->u1.Function != reinterpret_cast<DWORD>(expected))
        fail("%s: the slot of %s does not hold its address", dll, label);
    }
    int ordinals = expected_ordinals(argc, argv, dll);
    if (ordinals >= 0 && ordinals != by_ordinal) {
      char counts[64];
      std::snprintf(counts, sizeof counts, "%d by ordinal, not %d", by_ordinal, ordinals);
      fail("%s: %s", dll, counts);
    }
    std::printf("load_check: %s: %d by name, %d by ordinal\n", dll, by_name, by_ordinal);
  }
  if (!dlls) fail("%s imports nothing%s", module_path);
  if (!GetProcAddress(module, argv[3])) fail("%s does not export %s", module_path, argv[3]);
  std::printf("load_check: %s: %s (%d failed)\n", module_path, failures ? "FAILED" : "every import resolved", failures);
  return failures ? 1 : 0;
}
