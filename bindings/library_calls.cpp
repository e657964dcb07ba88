// library_calls.cpp: the library-function wrappers, one per row of
// library_calls.def, all made by the one template of library_call.h.
#include "bindings/library_calls.h"

#include "bindings/arguments.h"
#include "bindings/library_call.h"
#include "bindings/outputs.h"
#include "runtime/literal.h"

namespace qm {
namespace wrap {
// Inside this namespace the declared type names (QmWord, ...) are the
// argument kinds; the library's own types and functions are spelled ::name.
#define QM_LIBRARY_CALL(NAME, ARGUMENTS, OUTPUTS)                                            \
  struct NAME##_call {                                                                       \
    static constexpr char format[] = QM_PARSE_FORMAT(NAME, QM_UNPAREN ARGUMENTS);            \
    static constexpr const char *messages[] = QM_ARGUMENT_MESSAGES(NAME, QM_UNPAREN ARGUMENTS); \
    static constexpr auto function = &::NAME;                                                \
    using inputs = std::tuple<QM_UNPAREN ARGUMENTS>;                                         \
    using outputs = std::tuple<QM_UNPAREN OUTPUTS>;                                          \
  };
#include "bindings/library_calls.def"
#undef QM_LIBRARY_CALL
}  // namespace wrap

namespace py {
#define QM_LIBRARY_CALL(NAME, ARGUMENTS, OUTPUTS)                       \
  PyObject *NAME(PyObject *self, PyObject *args) {                      \
    return LibraryCall<wrap::NAME##_call>::call(self, args);            \
  }
#include "bindings/library_calls.def"
#undef QM_LIBRARY_CALL
}  // namespace py
}  // namespace qm
