// callback_functions.h: the callback family's Python-callable functions and
// the `_qm_callback` variable's link getter and setter.
#ifndef QM_CALLBACKS_CALLBACK_FUNCTIONS_H
#define QM_CALLBACKS_CALLBACK_FUNCTIONS_H

#include "runtime/python.h"

namespace qm {
/// cvar._qm_callback: a borrowed Qm_Callback proxy, or None.
PyObject *callback_variable_get();
/// cvar._qm_callback = value: 0, or 1 with the in-variable error set.
int callback_variable_set(PyObject *value);

namespace py {
#define QM_CALLBACK_FUNCTION(NAME, ARGUMENTS) PyObject *NAME(PyObject *self, PyObject *args);
#define QM_CALLBACK_HOOK(NAME) QM_CALLBACK_FUNCTION(NAME, ())
#include "callbacks/callback_functions.def"
#undef QM_CALLBACK_FUNCTION
#undef QM_CALLBACK_HOOK
}  // namespace py
}  // namespace qm

#endif
