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
// In method-table order.
PyObject *delete_Qm_Callback(PyObject *self, PyObject *args);
PyObject *Qm_Callback_run(PyObject *self, PyObject *args);
PyObject *new_Qm_Callback(PyObject *self, PyObject *args);
PyObject *disown_Qm_Callback(PyObject *self, PyObject *args);
PyObject *Qm_Callback_swigregister(PyObject *self, PyObject *args);
PyObject *_qm_callback_imp(PyObject *self, PyObject *args);
PyObject *qm_set_custom_callback(PyObject *self, PyObject *args);
}  // namespace py
}  // namespace qm

#endif
