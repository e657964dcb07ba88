// frames_thrower.cpp: a DLL that throws and catches a C++ exception of its
// own (tests/windows/frames_check.cpp calls it). Linked three ways by
// programs.cmake: with the shared libgcc, and statically like the modules,
// with and without windows/frame_registration.cpp.
#include <stdexcept>

namespace {
volatile int depth = 3;

__attribute__((noinline)) void descend(int level) {
  if (level == 0) throw std::runtime_error("from frames_thrower");
  descend(level - 1);
}
}  // namespace

/// 1 when the exception thrown three frames down reached this handler; a
/// DLL whose own unwinder knows none of its frames ends in std::terminate.
extern "C" __declspec(dllexport) int frames_throw_and_catch() {
  try {
    descend(depth);
  } catch (const std::runtime_error &) {
    return 1;
  }
  return 0;
}
