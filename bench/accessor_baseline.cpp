// accessor_baseline.cpp: `_qm_baseline`, a bench-only module with the two
// record accessors written by hand as short as they can be with the binding's
// lock handling (lock taken, the one-object parse, the lock released around
// the memory access, the result rule, the lock given back), so the benchmarks
// can tell the binding's generic frame from the floor. It accepts only bare
// proxies of exactly the expected type, which `learn` shows it. Not a test.
#include <Python.h>

#include <climits>

#include "qmdll.h"

namespace {

/// The pointer proxy's layout (header, ptr, ty, own, next): shared by every
/// module of this kind.
struct Proxy {
  PyObject_HEAD
  void *ptr;
  void *ty;
  int own;
  PyObject *next;
};

PyTypeObject *proxy_type = nullptr;  ///< the module's "SwigPyObject" type
void *version_type = nullptr;        ///< descriptor of QmVersionNumber *
void *words_type = nullptr;          ///< descriptor of Qm_Word_Array *

/// The pointer of a bare proxy of `type`, or null with TypeError set.
void *pointer_of(PyObject *obj, void *type, const char *message) {
  if (Py_TYPE(obj) == proxy_type && reinterpret_cast<Proxy *>(obj)->ty == type)
    return reinterpret_cast<Proxy *>(obj)->ptr;
  PyErr_SetString(PyExc_TypeError, message);
  return nullptr;
}

PyObject *from_word(unsigned long value) {
  return value > static_cast<unsigned long>(LONG_MAX) ? PyLong_FromUnsignedLong(value)
                                                      : PyInt_FromLong(static_cast<long>(value));
}

PyObject *major_get(PyObject *, PyObject *args) {
  PyGILState_STATE state = PyGILState_Ensure();
  PyObject *obj = nullptr, *result = nullptr;
  if (PyArg_ParseTuple(args, "O:QmVersionNumber_Major_get", &obj)) {
    auto *record = static_cast<QmVersionNumber *>(pointer_of(
        obj, version_type, "in method 'QmVersionNumber_Major_get', argument 1 of type 'QmVersionNumber *'"));
    if (record) {
      QmWord value;
      PyThreadState *saved = PyEval_SaveThread();
      value = record->Major;
      PyEval_RestoreThread(saved);
      result = from_word(value);
    }
  }
  PyGILState_Release(state);
  return result;
}

PyObject *word_getitem(PyObject *, PyObject *args) {
  PyGILState_STATE state = PyGILState_Ensure();
  PyObject *obj = nullptr, *index = nullptr, *result = nullptr;
  if (PyArg_ParseTuple(args, "OO:Qm_Word_Array___getitem__", &obj, &index)) {
    auto *words = static_cast<QmWord *>(pointer_of(
        obj, words_type, "in method 'Qm_Word_Array___getitem__', argument 1 of type 'Qm_Word_Array *'"));
    if (words) {
      if (PyInt_Check(index) && PyInt_AS_LONG(index) >= 0) {
        QmWord value;
        PyThreadState *saved = PyEval_SaveThread();
        value = words[PyInt_AS_LONG(index)];
        PyEval_RestoreThread(saved);
        result = from_word(value);
      } else {
        PyErr_SetString(PyExc_TypeError,
                        "in method 'Qm_Word_Array___getitem__', argument 2 of type 'size_t'");
      }
    }
  }
  PyGILState_Release(state);
  return result;
}

/// learn(version, words): the proxy type and the two descriptors, from a
/// bare QmVersionNumber proxy and a bare Qm_Word_Array proxy.
PyObject *learn(PyObject *, PyObject *args) {
  PyObject *version = nullptr, *words = nullptr;
  if (!PyArg_ParseTuple(args, "OO:learn", &version, &words)) return nullptr;
  proxy_type = Py_TYPE(version);
  version_type = reinterpret_cast<Proxy *>(version)->ty;
  words_type = reinterpret_cast<Proxy *>(words)->ty;
  Py_RETURN_NONE;
}

PyMethodDef methods[] = {
    {"learn", learn, METH_VARARGS, nullptr},
    {"QmVersionNumber_Major_get", major_get, METH_VARARGS, nullptr},
    {"Qm_Word_Array___getitem__", word_getitem, METH_VARARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

extern "C" __attribute__((visibility("default"))) void init_qm_baseline() {
  Py_InitModule("_qm_baseline", methods);
}
