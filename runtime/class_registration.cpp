// class_registration.cpp: `<Record>_swigregister`, which ties a Python class
// to a type descriptor so proxies of that type come back as its instances.
#include <new>

#include "runtime/types.h"

namespace qm {
namespace {

/// The callable to keep as a class's destroy function. A plain Python
/// function stored on a new-style class reads back as an unbound method
/// that would refuse a proxy argument; its function is what was meant.
PyObject *destroy_function_of(PyObject *klass) {
  PyObject *destroy = PyObject_GetAttrString(klass, "__swig_destroy__");
  if (!destroy) {
    PyErr_Clear();
    return nullptr;
  }
  if (PyMethod_Check(destroy) && !PyMethod_GET_SELF(destroy)) {
    PyObject *function = PyMethod_GET_FUNCTION(destroy);
    Py_INCREF(function);
    Py_DECREF(destroy);
    destroy = function;
  }
  return destroy;
}

/// 1 when destroy takes a proxy argument through a call; 0 only for a
/// built-in function declared METH_O. Flags are read from built-ins alone.
int destroy_takes_args(PyObject *destroy) {
  if (destroy && PyCFunction_Check(destroy))
    return (PyCFunction_GET_FLAGS(destroy) & METH_O) ? 0 : 1;
  return destroy ? 1 : 0;
}

ClassRecord *make_record(PyObject *klass) {
  ClassRecord *record = new (std::nothrow) ClassRecord();
  if (!record) {
    PyErr_NoMemory();
    return nullptr;
  }
  Py_INCREF(klass);
  record->klass = klass;
  if (PyClass_Check(klass)) {
    record->newraw = nullptr;
  } else {
    record->newraw = PyObject_GetAttrString(klass, "__new__");
    if (!record->newraw) PyErr_Clear();
  }
  if (record->newraw) {
    record->newargs = PyTuple_Pack(1, klass);
    if (!record->newargs) {
      // Without (klass,) the record cannot call __new__.
      PyErr_Clear();
      Py_CLEAR(record->newraw);
    }
  }
  if (!record->newargs) {
    Py_INCREF(klass);
    record->newargs = klass;
  }
  record->destroy = destroy_function_of(klass);
  record->delargs = destroy_takes_args(record->destroy);
  record->implicitconv = 0;
  return record;
}

/// Attaches the record to `type` and to every source type that converts to it
/// unchanged and has no class of its own yet.
void attach(TypeDescriptor *type, ClassRecord *record) {
  type->clientdata = record;
  for (CastEntry *entry = type->cast; entry; entry = entry->next) {
    if (!entry->converter && entry->type && !entry->type->clientdata) attach(entry->type, record);
  }
}

}  // namespace

PyObject *register_class(PyObject *args, TypeDescriptor *type) {
  PyObject *klass = nullptr;
  if (!PyArg_ParseTuple(args, "O:swigregister", &klass)) return nullptr;
  ClassRecord *record = make_record(klass);
  if (!record) return nullptr;
  // An earlier record of this type stays allocated: proxies made before may
  // still be torn down through it.
  attach(type, record);
  type->owndata = 1;
  Py_RETURN_NONE;
}

}  // namespace qm
