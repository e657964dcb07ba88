// functions.h: the wrappers of functions.def, for the method table.
#ifndef QM_SIGNAL_FUNCTIONS_H
#define QM_SIGNAL_FUNCTIONS_H

#include "runtime/python.h"

namespace qs {
namespace py {

#define QM_FUNCTION(NAME, DOC) PyObject *NAME(PyObject *self, PyObject *args, PyObject *kwargs);
#include "signal/functions.def"
#undef QM_FUNCTION

}  // namespace py
}  // namespace qs

#endif
