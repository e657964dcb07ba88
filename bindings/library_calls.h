// library_calls.h: the Python-callable wrappers of the library functions,
// qm::py::<library function name>.
#ifndef QM_BINDINGS_LIBRARY_CALLS_H
#define QM_BINDINGS_LIBRARY_CALLS_H

#include "runtime/python.h"

namespace qm {
namespace py {
#define QM_LIBRARY_CALL(NAME, ARGUMENTS, OUTPUTS) PyObject *NAME(PyObject *, PyObject *);
#include "bindings/library_calls.def"
#undef QM_LIBRARY_CALL
}  // namespace py
}  // namespace qm

#endif
