// library_decorations.cpp: takes the address of every function of the
// ordinal table. Compiled for Windows, this object's undefined symbols are the
// compiler's own names for those functions, "_QmNewestHardwareWrite@36"
// (__stdcall, 36 bytes of arguments), from which windows/qmdll_def.sh writes
// qmdll.dll's definition files. Nothing links this object.
#include "qmdll.h"

#include <cstddef>

namespace {

#define QM_ORDINAL(NAME, ORDINAL) reinterpret_cast<const void *>(&NAME),
const void *const functions[] = {
#include "qmdll_ordinals.def"
};
#undef QM_ORDINAL

#define QM_ORDINAL(NAME, ORDINAL) ORDINAL,
constexpr int ordinals[] = {
#include "qmdll_ordinals.def"
};
#undef QM_ORDINAL

constexpr bool distinct_and_ascending() {
  for (std::size_t i = 1; i < sizeof ordinals / sizeof *ordinals; ++i) {
    if (ordinals[i] <= ordinals[i - 1]) return false;
  }
  return true;
}

static_assert(sizeof ordinals / sizeof *ordinals == 32, "the library has 32 functions");
static_assert(distinct_and_ascending(), "ordinals are distinct and in ascending order");

}  // namespace

// Keeps the table, and so every reference, in the object.
extern "C" const void *const *qm_library_functions() { return functions; }
