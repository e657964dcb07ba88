// second_module.cpp: `_qm_second`, a test-only module of the same kind as
// _qm_python. It has its own type table, partly overlapping _qm_python's, and
// functions that let Python tests drive the shared runtime directly.
#include <cstring>
#include <new>

#include "runtime/errors.h"
#include "runtime/proxy.h"
#include "runtime/types.h"
#include "runtime/varlink.h"

namespace qm {
namespace {

// Sorted by mangled name; three names are shared with _qm_python.
#define SECOND_TYPES(X)                                                                       \
  X(p_QmChannelData, "_p_QmChannelData", "QmChannelData *|Qm_Capture_Configuration *")        \
  X(p_QmVersionNumber, "_p_QmVersionNumber", "QmVersionNumber *|Qm_Version_Number *")         \
  X(p_SecondBase, "_p_SecondBase", "SecondBase *")                                            \
  X(p_SecondDerived, "_p_SecondDerived", "SecondDerived *")                                   \
  X(p_SecondRecord, "_p_SecondRecord", "SecondRecord *|Second_Record *")                      \
  X(p_SecondVersionAlias, "_p_SecondVersionAlias", "SecondVersionAlias *")                    \
  X(p_char, "_p_char", "CHAR *|TCHAR *|char *|CCHAR *")                                       \
  X(p_unsigned_long, "_p_unsigned_long",                                                      \
    "QmBool *|HANDLE_PTR *|DWORD *|QmWord *|ULONG_PTR *|DWORD_PTR *|FLONG *|unsigned long *|" \
    "ULONG *|SIZE_T *|LCID *")

enum Row : int {
#define ROW(id, mangled, readable) id,
  SECOND_TYPES(ROW)
#undef ROW
  row_count
};

TypeDescriptor descriptors[row_count] = {
#define DESCRIPTOR(id, mangled, readable) {mangled, readable, nullptr, nullptr, nullptr, 0},
    SECOND_TYPES(DESCRIPTOR)
#undef DESCRIPTOR
};

/// A SecondDerived holds its SecondBase 4 bytes in.
void *base_of_derived(void *p, int *) { return static_cast<char *>(p) + 4; }

#define SELF(row) {&descriptors[row], nullptr, nullptr, nullptr}
#define END {nullptr, nullptr, nullptr, nullptr}
CastEntry casts_channel[] = {SELF(p_QmChannelData), END};
// An alias converts unchanged (no converter); a derived type with an offset.
CastEntry casts_version[] = {SELF(p_SecondVersionAlias), SELF(p_QmVersionNumber), END};
CastEntry casts_base[] = {{&descriptors[p_SecondDerived], base_of_derived, nullptr, nullptr},
                          SELF(p_SecondBase), END};
CastEntry casts_derived[] = {SELF(p_SecondDerived), END};
CastEntry casts_record[] = {SELF(p_SecondRecord), END};
CastEntry casts_alias[] = {SELF(p_SecondVersionAlias), END};
CastEntry casts_char[] = {SELF(p_char), END};
CastEntry casts_ulong[] = {SELF(p_unsigned_long), END};
#undef SELF
#undef END

TypeDescriptor *initial_types[row_count] = {
#define ADDRESS(id, mangled, readable) &descriptors[id],
    SECOND_TYPES(ADDRESS)
#undef ADDRESS
};
CastEntry *initial_casts[row_count] = {casts_channel, casts_version, casts_base, casts_derived,
                                       casts_record,  casts_alias,   casts_char, casts_ulong};
TypeDescriptor *bound_types[row_count + 1];

// ---- helpers ----

/// The descriptor of a mangled name, this module's table first (None: no type).
bool type_argument(PyObject *name, TypeDescriptor **type) {
  *type = nullptr;
  if (name == Py_None) return true;
  if (!PyString_Check(name)) {
    PyErr_SetString(PyExc_TypeError, "type name must be a str or None");
    return false;
  }
  *type = find_mangled(&this_module, &this_module, PyString_AS_STRING(name));
  if (!*type) PyErr_Format(PyExc_ValueError, "no type %s in the ring", PyString_AS_STRING(name));
  return *type != nullptr;
}

PyObject *address_object(void *ptr) {
  if (!ptr) Py_RETURN_NONE;
  return PyLong_FromVoidPtr(ptr);
}

// ---- proxies ----

/// make(address, type name or None, flags) -> make_proxy
PyObject *make(PyObject *, PyObject *args) {
  PyObject *address, *name;
  int flags;
  if (!PyArg_ParseTuple(args, "OOi:make", &address, &name, &flags)) return nullptr;
  TypeDescriptor *type;
  if (!type_argument(name, &type)) return nullptr;
  void *ptr = PyLong_AsVoidPtr(address);
  if (PyErr_Occurred()) return nullptr;
  return make_proxy(ptr, type, flags);
}

/// address(obj, type name or None[, flags]) -> the converted pointer as a number
PyObject *address(PyObject *, PyObject *args) {
  PyObject *obj, *name;
  int flags = 0;
  if (!PyArg_ParseTuple(args, "OO|i:address", &obj, &name, &flags)) return nullptr;
  TypeDescriptor *type;
  if (!type_argument(name, &type)) return nullptr;
  void *ptr = nullptr;
  int code = convert_pointer(obj, &ptr, type, flags);
  if (PyErr_Occurred()) return nullptr;  // conversion must leave none: the tests see it
  if (code != kOk) {
    PyErr_Format(PyExc_TypeError, "no pointer of type %s", type ? type->name : "any");
    return nullptr;
  }
  return address_object(ptr);
}

/// find(obj) -> the proxy obj carries, or None
PyObject *find(PyObject *, PyObject *obj) {
  PyObject *proxy = reinterpret_cast<PyObject *>(find_proxy(obj));
  if (PyErr_Occurred()) return nullptr;
  if (!proxy) proxy = Py_None;
  Py_INCREF(proxy);
  return proxy;
}

PyObject *packed(PyObject *, PyObject *args) {
  const char *data;
  int size;
  PyObject *name;
  if (!PyArg_ParseTuple(args, "s#O:packed", &data, &size, &name)) return nullptr;
  TypeDescriptor *type;
  if (!type_argument(name, &type)) return nullptr;
  return make_packed(data, static_cast<size_t>(size), type);
}

// ---- a record family of this module ----

long live_records = 0;
long deleted_records = 0;

/// new_SecondRecord([flags]) -> an owning proxy of a fresh 8-byte block
PyObject *new_record(PyObject *, PyObject *args) {
  int flags = kOwn | kNoShadow;
  if (!PyArg_ParseTuple(args, "|i:new_SecondRecord", &flags)) return nullptr;
  unsigned long *block = new unsigned long[2]{0x5ec0, 0};
  ++live_records;
  return make_proxy(block, bound_types[p_SecondRecord], flags);
}

/// Frees the block of an owning proxy, or of a proxy standing in for one in
/// its teardown; a borrowed proxy frees nothing.
PyObject *delete_block(PyObject *obj, const char *message) {
  unsigned long *block = nullptr;
  int owned = 0;
  if (convert_pointer(obj, &block, bound_types[p_SecondRecord], kDisown, &owned) != kOk) {
    PyErr_SetString(PyExc_TypeError, message);
    return nullptr;
  }
  if (block && (owned || in_owner_teardown(block))) {
    delete[] block;
    --live_records;
    ++deleted_records;
  }
  Py_RETURN_NONE;
}

PyObject *delete_record(PyObject *, PyObject *args) {
  PyObject *obj;
  if (!PyArg_ParseTuple(args, "O:delete_SecondRecord", &obj)) return nullptr;
  return delete_block(obj, "in method 'delete_SecondRecord', argument 1 of type 'SecondRecord *'");
}

/// The same destructor declared METH_O, for classes that name it.
PyObject *delete_record_o(PyObject *, PyObject *obj) {
  return delete_block(obj, "in method 'delete_SecondRecord_o', argument 1 of type 'SecondRecord *'");
}

PyObject *counters(PyObject *, PyObject *) { return Py_BuildValue("(ll)", live_records, deleted_records); }

PyObject *record_swigregister(PyObject *, PyObject *args) {
  return register_class(args, bound_types[p_SecondRecord]);
}

/// drop_with_error(flags): makes an owning record, sets KeyError("pending")
/// and drops the record while that error is pending.
PyObject *drop_with_error(PyObject *self, PyObject *args) {
  PyObject *record = new_record(self, args);
  if (!record) return nullptr;
  PyErr_SetString(PyExc_KeyError, "pending");
  Py_DECREF(record);
  return nullptr;
}

// ---- type table introspection ----

/// register(type name, *args): the registration body for any type of this module.
PyObject *register_any(PyObject *, PyObject *args) {
  if (PyTuple_GET_SIZE(args) < 1) {
    PyErr_SetString(PyExc_TypeError, "register() needs a type name");
    return nullptr;
  }
  TypeDescriptor *type;
  if (!type_argument(PyTuple_GET_ITEM(args, 0), &type)) return nullptr;
  if (!type) {
    PyErr_SetString(PyExc_ValueError, "register() needs a type");
    return nullptr;
  }
  PyObject *rest = PyTuple_GetSlice(args, 1, PyTuple_GET_SIZE(args));
  if (!rest) return nullptr;
  PyObject *result = register_class(rest, type);
  Py_DECREF(rest);
  return result;
}

TypeDescriptor *required_type(PyObject *args, const char *format) {
  PyObject *name;
  TypeDescriptor *type;
  if (!PyArg_ParseTuple(args, format, &name) || !type_argument(name, &type)) return nullptr;
  if (!type) PyErr_SetString(PyExc_ValueError, "a type is required");
  return type;
}

/// registered(name) -> (klass, newraw is set, destroy, delargs) or None
PyObject *registered(PyObject *, PyObject *args) {
  TypeDescriptor *type = required_type(args, "O:registered");
  if (!type) return nullptr;
  ClassRecord *record = static_cast<ClassRecord *>(type->clientdata);
  if (!record) Py_RETURN_NONE;
  return Py_BuildValue("(OiOii)", record->klass, record->newraw != nullptr,
                       record->destroy ? record->destroy : Py_None, record->delargs, type->owndata);
}

/// cast_sources(name) -> mangled names of the cast list, head first
PyObject *cast_sources(PyObject *, PyObject *args) {
  TypeDescriptor *type = required_type(args, "O:cast_sources");
  if (!type) return nullptr;
  PyObject *names = PyList_New(0);
  for (CastEntry *entry = type->cast; names && entry; entry = entry->next) {
    PyObject *name = PyString_FromString(entry->type->name);
    if (!name || PyList_Append(names, name) < 0) Py_CLEAR(names);
    Py_XDECREF(name);
  }
  return names;
}

/// is_own(name) -> True when this module's row holds its own static descriptor
PyObject *is_own(PyObject *, PyObject *args) {
  TypeDescriptor *type = required_type(args, "O:is_own");
  if (!type) return nullptr;
  for (int row = 0; row < row_count; ++row)
    if (bound_types[row] == type) return PyBool_FromLong(type == &descriptors[row]);
  Py_RETURN_FALSE;
}

/// ring_sizes() -> sizes of the tables in the ring, starting with this one
PyObject *ring_sizes(PyObject *, PyObject *) {
  PyObject *sizes = PyList_New(0);
  ModuleTable *table = &this_module;
  do {
    PyObject *size = PyInt_FromSize_t(table->size);
    if (!size || PyList_Append(sizes, size) < 0) Py_CLEAR(sizes);
    Py_XDECREF(size);
    table = table->next;
  } while (sizes && table && table != &this_module);
  return sizes;
}

/// ring_readable(name) -> readable names of the type with this mangled or
/// readable name anywhere in the ring, or None
PyObject *ring_readable(PyObject *, PyObject *args) {
  const char *name;
  if (!PyArg_ParseTuple(args, "s:ring_readable", &name)) return nullptr;
  TypeDescriptor *type = find_readable(this_module.next, this_module.next, name);
  if (!type) Py_RETURN_NONE;
  return PyString_FromString(type->str);
}

PyObject *pretty(PyObject *, PyObject *args) {
  TypeDescriptor *type = required_type(args, "O:pretty");
  if (!type) return nullptr;
  return PyString_FromString(pretty_name(type));
}

PyObject *char_type(PyObject *, PyObject *) {
  TypeDescriptor *type = char_pointer_type();
  if (!type) Py_RETURN_NONE;
  return PyString_FromString(type->name);
}

PyObject *rebind(PyObject *, PyObject *) {
  bind_type_table(this_module);
  Py_RETURN_NONE;
}

// ---- linked variables ----

long counter_value = 0;

PyObject *get_counter() { return PyInt_FromLong(counter_value); }

int set_counter(PyObject *value) {
  if (!value || !PyInt_Check(value)) {
    PyErr_SetString(PyExc_TypeError, "in variable 'counter' of type 'int'");
    return 1;
  }
  counter_value = PyInt_AS_LONG(value);
  return 0;
}

/// A variable whose getter and setter fail without saying why.
PyObject *get_broken() { return nullptr; }
int set_broken(PyObject *) { return 1; }

PyObject *get_label() { return PyString_FromString("second"); }
int set_label(PyObject *) {
  PyErr_SetString(PyExc_AttributeError, "label is read-only");
  return 1;
}

PyObject *get_minus_one() { return PyInt_FromLong(-1); }

/// relink_counter(): adds a second "counter" in front, reading -1.
PyObject *relink_counter(PyObject *, PyObject *) {
  add_variable(link_object(), "counter", get_minus_one, set_counter);
  Py_RETURN_NONE;
}

PyMethodDef methods[] = {
    {"make", make, METH_VARARGS, nullptr},
    {"address", address, METH_VARARGS, nullptr},
    {"find", find, METH_O, nullptr},
    {"packed", packed, METH_VARARGS, nullptr},
    {"new_SecondRecord", new_record, METH_VARARGS, nullptr},
    {"delete_SecondRecord", delete_record, METH_VARARGS, nullptr},
    {"delete_SecondRecord_o", delete_record_o, METH_O, nullptr},
    {"SecondRecord_swigregister", record_swigregister, METH_VARARGS, nullptr},
    {"counters", counters, METH_NOARGS, nullptr},
    {"drop_with_error", drop_with_error, METH_VARARGS, nullptr},
    {"register", register_any, METH_VARARGS, nullptr},
    {"registered", registered, METH_VARARGS, nullptr},
    {"cast_sources", cast_sources, METH_VARARGS, nullptr},
    {"is_own", is_own, METH_VARARGS, nullptr},
    {"ring_sizes", ring_sizes, METH_NOARGS, nullptr},
    {"ring_readable", ring_readable, METH_VARARGS, nullptr},
    {"pretty", pretty, METH_VARARGS, nullptr},
    {"char_type", char_type, METH_NOARGS, nullptr},
    {"rebind", rebind, METH_NOARGS, nullptr},
    {"relink_counter", relink_counter, METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

ModuleTable this_module = {
    bound_types,    /*types*/
    row_count,      /*size*/
    nullptr,        /*next*/
    initial_types,  /*type_initial*/
    initial_casts,  /*cast_initial*/
    nullptr,        /*clientdata*/
};

}  // namespace qm

extern "C" __attribute__((visibility("default"))) void init_qm_second() {
  PyObject *module = Py_InitModule4("_qm_second", qm::methods, nullptr, nullptr, PYTHON_API_VERSION);
  if (!module) return;
  qm::bind_type_table(qm::this_module);
  PyObject *link = qm::link_object();
  if (!link) return;
  Py_INCREF(link);
  if (PyModule_AddObject(module, "cvar", link) < 0) return;
  qm::add_variable(link, "counter", qm::get_counter, qm::set_counter);
  qm::add_variable(link, "broken", qm::get_broken, qm::set_broken);
  qm::add_variable(link, "label", qm::get_label, qm::set_label);
}
