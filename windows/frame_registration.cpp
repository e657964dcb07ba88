// frame_registration.cpp: this DLL's unwind tables known to the unwinder the
// DLL itself throws with, whatever else the process has loaded. Linked into
// every DLL of the Windows build.
//
// The language runtimes are linked in statically, so a throw in this DLL is
// unwound by the DLL's own copy of libgcc, which finds frames only in the
// tables registered with it. crtbegin registers the DLL's .eh_frame at load
// (a priority-0 constructor) but asks first whether libgcc_s_dw2-1.dll is in
// the process, as it is once any module built with the shared libgcc has been
// loaded; if so it registers the tables there instead, and the first exception
// of this DLL (a director's, when a Python `run` raises) finds no handler and
// ends in std::terminate. So after crtbegin, this looks one of the DLL's own
// functions up in its own unwinder and, when that knows nothing, registers the
// .eh_frame with it too (libgcc_s_dw2-1.dll keeps its copy: crtbegin takes it
// back at unload).
#include <windows.h>

extern "C" {
// libgcc's frame registry, the static one linked into this DLL.
void __register_frame(void *begin);
void __deregister_frame(void *begin);
struct UnwindBases {
  void *tbase, *dbase, *func;
};
const void *_Unwind_Find_FDE(void *pc, UnwindBases *bases);
// The linker's symbol for the start of this image.
extern IMAGE_DOS_HEADER __ImageBase;
}

namespace {

// crtbegin's own label for the tables is private to it. This zero-sized
// array lies in the same output section, which the image's section table then
// gives from its start: records from its first byte to crtend's terminator.
__attribute__((section(".eh_frame"), used, aligned(4))) const char in_eh_frame[] = {};

/// The start of this image's .eh_frame: the section that holds `in_eh_frame`.
void *eh_frame_start() {
  auto *base = reinterpret_cast<unsigned char *>(&__ImageBase);
  auto *nt = reinterpret_cast<IMAGE_NT_HEADERS *>(base + __ImageBase.e_lfanew);
  const IMAGE_SECTION_HEADER *section = IMAGE_FIRST_SECTION(nt);
  const auto *marker = reinterpret_cast<const unsigned char *>(in_eh_frame);
  for (unsigned i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
    unsigned char *start = base + section->VirtualAddress;
    if (marker >= start && marker < start + section->Misc.VirtualSize) return start;
  }
  return nullptr;
}

/// A function that certainly has an entry in the tables: it has a cleanup to
/// run when the call it makes throws.
struct Cleanup {
  volatile int *counter;
  ~Cleanup() { ++*counter; }
};
__attribute__((noinline)) void with_cleanup(void (*call)(), volatile int *counter) {
  Cleanup cleanup{counter};
  call();
}

void *registered = nullptr;  ///< what this file registered, for the unload

__attribute__((constructor(101))) void register_own_frames() {
  UnwindBases bases;
  if (_Unwind_Find_FDE(reinterpret_cast<void *>(&with_cleanup), &bases)) return;
  registered = eh_frame_start();
  if (registered) __register_frame(registered);
}

__attribute__((destructor(101))) void deregister_own_frames() {
  if (registered) __deregister_frame(registered);
  registered = nullptr;
}

}  // namespace
