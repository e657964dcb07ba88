// proxy.cpp: the pointer proxy "SwigPyObject": its Python type, conversion
// of Python objects to pointers, making proxies and shadow instances, and
// the teardown that destroys owned pointees.
#include "runtime/proxy.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "runtime/errors.h"
#include "runtime/printed.h"
#include "runtime/reference.h"

namespace qm {

// Proxies of other modules of this kind are read with this layout.
static_assert(offsetof(ProxyObject, ptr) == sizeof(PyObject) &&
                  offsetof(ProxyObject, next) == sizeof(PyObject) + 3 * sizeof(void *) &&
                  sizeof(ProxyObject) == sizeof(PyObject) + 4 * sizeof(void *),
              "proxy layout: header, ptr, ty, own, next");

namespace {

/// How far `this` may lead from object to object before we give up: a
/// class whose `this` leads back to itself must not hang a conversion.
constexpr int kMaxThisDepth = 64;

PyObject *cached_this = nullptr;

/// Parks a computed `this` (a property result nobody else holds) so the
/// borrowed result of find_proxy stays valid until the next such one.
PyObject *parked_proxy = nullptr;

ProxyObject *as_proxy(PyObject *obj) { return reinterpret_cast<ProxyObject *>(obj); }

PyObject *new_bare(void *ptr, TypeDescriptor *type, int own) {
  PyTypeObject *proxy_class = proxy_type();
  if (!proxy_class) return nullptr;
  ProxyObject *proxy = PyObject_NEW(ProxyObject, proxy_class);
  if (!proxy) return nullptr;
  proxy->ptr = ptr;
  proxy->ty = type;
  proxy->own = own;
  proxy->next = nullptr;
  return reinterpret_cast<PyObject *>(proxy);
}

/// The proxy `obj` carries, as a new reference, or null. Leaves no error pending.
PyObject *carried_proxy(PyObject *obj) {
  PyObject *key = this_name();
  if (!key) {
    PyErr_Clear();
    return nullptr;
  }
  OwnedReference current = OwnedReference::to(obj);
  for (int depth = 0; depth < kMaxThisDepth; ++depth) {
    PyObject *at = current.get();
    if (is_proxy(at)) return current.release();
    PyObject *value = nullptr;  // a new reference, or null
    if (PyInstance_Check(at)) {
      value = _PyInstance_Lookup(at, key);
      Py_XINCREF(value);
    } else if (PyObject **dict = _PyObject_GetDictPtr(at)) {
      if (*dict) value = PyDict_GetItem(*dict, key);
      Py_XINCREF(value);
    } else if (PyWeakref_CheckProxy(at)) {
      value = PyWeakref_GET_OBJECT(at);
      if (value == Py_None) value = nullptr;  // the referent is gone
      Py_XINCREF(value);
    } else {
      value = PyObject_GetAttr(at, key);
      if (!value) PyErr_Clear();
    }
    current = value;
    if (!current) return nullptr;
  }
  return nullptr;
}

// ---- printed forms ----

const char *printed_type_name(const ProxyObject *proxy) {
  const char *name = pretty_name(proxy->ty);
  return name ? name : "unknown";
}

/// The representation of one link, without its chain.
PyObject *link_repr(const ProxyObject *proxy) {
  return PyString_FromFormat("<Swig Object of type '%s' at %p>", printed_type_name(proxy),
                             proxy->ptr);
}

/// Walks the chain instead of recursing, so a long chain cannot exhaust the stack.
PyObject *proxy_repr(PyObject *self) {
  PyObject *text = link_repr(as_proxy(self));
  for (PyObject *link = as_proxy(self)->next; text && link; link = as_proxy(link)->next) {
    if (Py_TYPE(link) != Py_TYPE(self)) {
      // Another module's proxy prints itself and its own chain.
      PyString_ConcatAndDel(&text, PyObject_Repr(link));
      break;
    }
    PyString_ConcatAndDel(&text, link_repr(as_proxy(link)));
  }
  return text;
}

int proxy_print(PyObject *self, FILE *file, int) {
  OwnedReference text(proxy_repr(self));
  if (!text) return 1;
  return print_text(text.get(), file);
}

PyObject *proxy_str(PyObject *self) {
  char buffer[1024];
  ProxyObject *proxy = as_proxy(self);
  if (!proxy->ty || !packed_pointer_text(buffer, sizeof buffer, proxy->ptr, proxy->ty->name)) {
    return raise_error(PyExc_ValueError, proxy->ty
                                             ? "the type name does not fit the packed pointer text"
                                             : "a proxy without type has no packed pointer text");
  }
  return PyString_FromString(buffer);
}

// ---- number protocol: the address as a number ----

PyObject *proxy_long(PyObject *self) { return PyLong_FromVoidPtr(as_proxy(self)->ptr); }

PyObject *format_address(PyObject *self, const char *format) {
  OwnedReference address(proxy_long(self));
  OwnedReference args(address ? PyTuple_Pack(1, address.get()) : nullptr);
  OwnedReference pattern(args ? PyString_FromString(format) : nullptr);
  return pattern ? PyString_Format(pattern.get(), args.get()) : nullptr;
}

PyObject *proxy_oct(PyObject *self) { return format_address(self, "%o"); }
PyObject *proxy_hex(PyObject *self) { return format_address(self, "%x"); }

// ---- comparison and hashing: by address, whatever the types ----

int compare_addresses(const void *a, const void *b) {
  std::uintptr_t x = reinterpret_cast<std::uintptr_t>(a), y = reinterpret_cast<std::uintptr_t>(b);
  return x < y ? -1 : (x > y ? 1 : 0);
}

int proxy_compare(PyObject *v, PyObject *w) {
  // Only proxies are read as proxies; anything else orders by identity.
  if (!is_proxy(v) || !is_proxy(w)) return compare_addresses(v, w);
  return compare_addresses(as_proxy(v)->ptr, as_proxy(w)->ptr);
}

PyObject *proxy_richcompare(PyObject *v, PyObject *w, int op) {
  if ((op != Py_EQ && op != Py_NE) || !is_proxy(v) || !is_proxy(w)) {
    Py_INCREF(Py_NotImplemented);
    return Py_NotImplemented;
  }
  bool equal = compare_addresses(as_proxy(v)->ptr, as_proxy(w)->ptr) == 0;
  return PyBool_FromLong(equal == (op == Py_EQ));
}

/// Equal proxies have equal addresses, so the address is a consistent hash.
long proxy_hash(PyObject *self) {
  long hash = static_cast<long>(reinterpret_cast<std::uintptr_t>(as_proxy(self)->ptr));
  return hash == -1 ? -2 : hash;
}

// ---- teardown ----

/// The pointers whose owners are calling their destroy function right now,
/// innermost first (teardowns nest when a destroy drops further proxies).
/// One list per thread: a destroy function may release the lock, and a
/// teardown on another thread meanwhile must neither hide this thread's
/// frames nor be left pointing into them.
struct TeardownFrame {
  const void *ptr;
  const PyObject *owner;
  const TeardownFrame *outer;
};
thread_local const TeardownFrame *teardowns = nullptr;

TypeDescriptor *watched_type = nullptr;
void (*teardown_watcher)(const PyObject *proxy) = nullptr;

/// Destroys an owned pointee through the registered class's destroy
/// function, or reports the leak when there is none.
void destroy_pointee(ProxyObject *proxy) {
  ClassRecord *record = proxy->ty ? static_cast<ClassRecord *>(proxy->ty->clientdata) : nullptr;
  PyObject *destroy = record ? record->destroy : nullptr;
  // A finalizing interpreter releases the class records (their references go
  // null, newargs included, which a live record always has) before the last
  // proxies die, such as those a daemon thread still holds. Their blocks go
  // with the process, without a notice: freeing them now would release the
  // lock inside a dying interpreter.
  if (!destroy && record && !record->newargs && !Py_IsInitialized()) return;
  if (!destroy) {
    write_stdout("swig/python detected a memory leak of type '%s', no destructor found.\n",
                 printed_type_name(proxy));
    return;
  }
  // The dying proxy is never handed to Python code: a stand-in that owns
  // nothing carries the pointer to the destroy function.
  Py_INCREF(destroy);  // a re-registration during the call must not free it
  PyObject *stand_in = new_bare(proxy->ptr, proxy->ty, 0);
  PyObject *result = nullptr;
  if (stand_in) {
    TeardownFrame frame = {proxy->ptr, reinterpret_cast<PyObject *>(proxy), teardowns};
    teardowns = &frame;
    if (record->delargs == 0 && PyCFunction_Check(destroy))
      result = PyCFunction_GET_FUNCTION(destroy)(PyCFunction_GET_SELF(destroy), stand_in);
    else
      result = PyObject_CallFunctionObjArgs(destroy, stand_in, nullptr);
    teardowns = frame.outer;
    Py_DECREF(stand_in);
  }
  // Teardown has no caller to raise to. A destroy function may fail without
  // setting an exception: then there is nothing to report.
  if (result)
    Py_DECREF(result);
  else if (PyErr_Occurred())
    PyErr_WriteUnraisable(destroy);
  Py_DECREF(destroy);
}

/// Drops the chain behind `proxy` link by link rather than recursively.
void release_chain(ProxyObject *proxy) {
  PyObject *link = proxy->next;
  proxy->next = nullptr;
  while (link && Py_REFCNT(link) == 1 && Py_TYPE(link) == Py_TYPE(reinterpret_cast<PyObject *>(proxy))) {
    PyObject *after = as_proxy(link)->next;
    as_proxy(link)->next = nullptr;
    Py_DECREF(link);
    link = after;
  }
  Py_XDECREF(link);
}

void proxy_dealloc(PyObject *self) {
  ProxyObject *proxy = as_proxy(self);
  // An exception pending when the proxy dies belongs to someone else.
  PyObject *type, *value, *traceback;
  PyErr_Fetch(&type, &value, &traceback);
  if (proxy->own == 1) destroy_pointee(proxy);
  release_chain(proxy);
  if (teardown_watcher && proxy->ty == watched_type) teardown_watcher(self);
  PyErr_Restore(type, value, traceback);
  PyObject_Free(self);
}

// ---- methods ----

PyObject *proxy_disown(PyObject *self, PyObject *) {
  as_proxy(self)->own = 0;
  Py_RETURN_NONE;
}

PyObject *proxy_acquire(PyObject *self, PyObject *) {
  as_proxy(self)->own = 1;
  Py_RETURN_NONE;
}

PyObject *proxy_own(PyObject *self, PyObject *args) {
  PyObject *value = nullptr;
  if (!PyArg_UnpackTuple(args, "own", 0, 1, &value)) return nullptr;
  ProxyObject *proxy = as_proxy(self);
  int before = proxy->own;
  if (value) {
    int truth = PyObject_IsTrue(value);
    if (truth < 0) return nullptr;
    proxy->own = truth ? 1 : 0;
  }
  return PyBool_FromLong(before);
}

PyObject *proxy_append(PyObject *self, PyObject *other) {
  if (!is_proxy(other))
    return raise_error(PyExc_SystemError, "append() argument must be a SwigPyObject");
  // Conversion walks the chain to its end: a cycle would never end.
  for (PyObject *link = other; link; link = as_proxy(link)->next) {
    if (link == self) return raise_error(PyExc_ValueError, "append() would link the proxy into a cycle");
  }
  ProxyObject *proxy = as_proxy(self);
  PyObject *old = proxy->next;
  Py_INCREF(other);
  proxy->next = other;
  Py_XDECREF(old);
  Py_RETURN_NONE;
}

PyObject *proxy_next(PyObject *self, PyObject *) {
  PyObject *next = as_proxy(self)->next;
  if (!next) next = Py_None;
  Py_INCREF(next);
  return next;
}

PyObject *proxy_repr_method(PyObject *self, PyObject *) { return proxy_repr(self); }

PyMethodDef proxy_methods[] = {
    {"disown", proxy_disown, METH_NOARGS, "releases ownership of the pointer"},
    {"acquire", proxy_acquire, METH_NOARGS, "aquires ownership of the pointer"},
    {"own", proxy_own, METH_VARARGS, "returns/sets ownership of the pointer"},
    {"append", proxy_append, METH_O, "appends another 'this' object"},
    {"next", proxy_next, METH_NOARGS, "returns the next 'this' object"},
    // COEXIST: the type's own __repr__ slot wrapper would otherwise hide this entry.
    {"__repr__", proxy_repr_method, METH_NOARGS | METH_COEXIST, "returns object representation"},
    {nullptr, nullptr, 0, nullptr},
};

PyNumberMethods proxy_as_number = {
    nullptr,     /*nb_add*/
    nullptr,     /*nb_subtract*/
    nullptr,     /*nb_multiply*/
    nullptr,     /*nb_divide*/
    nullptr,     /*nb_remainder*/
    nullptr,     /*nb_divmod*/
    nullptr,     /*nb_power*/
    nullptr,     /*nb_negative*/
    nullptr,     /*nb_positive*/
    nullptr,     /*nb_absolute*/
    nullptr,     /*nb_nonzero*/
    nullptr,     /*nb_invert*/
    nullptr,     /*nb_lshift*/
    nullptr,     /*nb_rshift*/
    nullptr,     /*nb_and*/
    nullptr,     /*nb_xor*/
    nullptr,     /*nb_or*/
    nullptr,     /*nb_coerce*/
    proxy_long,  /*nb_int*/
    proxy_long,  /*nb_long*/
    nullptr,     /*nb_float*/
    proxy_oct,   /*nb_oct*/
    proxy_hex,   /*nb_hex*/
    nullptr,     /*nb_inplace_add*/
    nullptr,     /*nb_inplace_subtract*/
    nullptr,     /*nb_inplace_multiply*/
    nullptr,     /*nb_inplace_divide*/
    nullptr,     /*nb_inplace_remainder*/
    nullptr,     /*nb_inplace_power*/
    nullptr,     /*nb_inplace_lshift*/
    nullptr,     /*nb_inplace_rshift*/
    nullptr,     /*nb_inplace_and*/
    nullptr,     /*nb_inplace_xor*/
    nullptr,     /*nb_inplace_or*/
    nullptr,     /*nb_floor_divide*/
    nullptr,     /*nb_true_divide*/
    nullptr,     /*nb_inplace_floor_divide*/
    nullptr,     /*nb_inplace_true_divide*/
    nullptr,     /*nb_index*/
};

}  // namespace

namespace detail {
PyTypeObject proxy_type_object = {
    PyVarObject_HEAD_INIT(nullptr, 0)
    "SwigPyObject",                                  /*tp_name*/
    sizeof(ProxyObject),                             /*tp_basicsize*/
    0,                                               /*tp_itemsize*/
    proxy_dealloc,                                   /*tp_dealloc*/
    proxy_print,                                     /*tp_print*/
    nullptr,                                         /*tp_getattr*/
    nullptr,                                         /*tp_setattr*/
    proxy_compare,                                   /*tp_compare*/
    proxy_repr,                                      /*tp_repr*/
    &proxy_as_number,                                /*tp_as_number*/
    nullptr,                                         /*tp_as_sequence*/
    nullptr,                                         /*tp_as_mapping*/
    proxy_hash,                                      /*tp_hash*/
    nullptr,                                         /*tp_call*/
    proxy_str,                                       /*tp_str*/
    PyObject_GenericGetAttr,                         /*tp_getattro*/
    nullptr,                                         /*tp_setattro*/
    nullptr,                                         /*tp_as_buffer*/
    Py_TPFLAGS_DEFAULT,                              /*tp_flags*/
    "Swig object carries a C/C++ instance pointer",  /*tp_doc*/
    nullptr,                                         /*tp_traverse*/
    nullptr,                                         /*tp_clear*/
    proxy_richcompare,                               /*tp_richcompare*/
    0,                                               /*tp_weaklistoffset*/
    nullptr,                                         /*tp_iter*/
    nullptr,                                         /*tp_iternext*/
    proxy_methods,                                   /*tp_methods*/
    nullptr,                                         /*tp_members*/
    nullptr,                                         /*tp_getset*/
    nullptr,                                         /*tp_base*/
    nullptr,                                         /*tp_dict*/
    nullptr,                                         /*tp_descr_get*/
    nullptr,                                         /*tp_descr_set*/
    0,                                               /*tp_dictoffset*/
    nullptr,                                         /*tp_init*/
    nullptr,                                         /*tp_alloc*/
    nullptr,                                         /*tp_new*/
    nullptr,                                         /*tp_free*/
    nullptr,                                         /*tp_is_gc*/
    nullptr,                                         /*tp_bases*/
    nullptr,                                         /*tp_mro*/
    nullptr,                                         /*tp_cache*/
    nullptr,                                         /*tp_subclasses*/
    nullptr,                                         /*tp_weaklist*/
    nullptr,                                         /*tp_del*/
    0,                                               /*tp_version_tag*/
};
}  // namespace detail

namespace {
using detail::proxy_type_object;

/// A shadow instance of the registered class holding `proxy` as "this";
/// null with an error pending when the class cannot make one.
PyObject *make_shadow(ClassRecord *record, PyObject *proxy) {
  PyObject *key = this_name();
  if (!key) return nullptr;
  if (record->newraw) {
    // __new__ alone: the class's __init__ would try to allocate again.
    OwnedReference instance(PyObject_Call(record->newraw, record->newargs, nullptr));
    if (!instance) return nullptr;
    PyObject **dict = _PyObject_GetDictPtr(instance.get());
    if (dict && !*dict) {
      *dict = PyDict_New();
      if (!*dict || PyDict_SetItem(*dict, key, proxy) < 0) return nullptr;
    }
    return instance.release();
  }
  OwnedReference dict(PyDict_New());
  if (!dict || PyDict_SetItem(dict.get(), key, proxy) < 0) return nullptr;
  return PyInstance_NewRaw(record->klass, dict.get());
}

}  // namespace

PyTypeObject *proxy_type() {
  static bool ready = false;
  if (!ready) {
    if (PyType_Ready(&proxy_type_object) < 0) return nullptr;
    ready = true;
  }
  return &proxy_type_object;
}

bool is_proxy(PyObject *obj) {
  if (!obj) return false;
  PyTypeObject *type = Py_TYPE(obj);
  if (type == &proxy_type_object) return true;
  // Another module's proxy type has this name too. A Python class of that
  // name is a heap type and carries no pointer.
  return !(type->tp_flags & Py_TPFLAGS_HEAPTYPE) &&
         type->tp_basicsize >= static_cast<Py_ssize_t>(sizeof(ProxyObject)) &&
         std::strcmp(type->tp_name, "SwigPyObject") == 0;
}

ProxyObject *find_proxy(PyObject *obj) {
  PyObject *found = obj ? carried_proxy(obj) : nullptr;
  if (!found) return nullptr;
  if (Py_REFCNT(found) > 1) {
    Py_DECREF(found);  // its holder keeps it alive
  } else {
    PyObject *old = parked_proxy;
    parked_proxy = found;
    Py_XDECREF(old);
  }
  return as_proxy(found);
}

const PyObject *owner_in_teardown(const void *ptr) {
  for (const TeardownFrame *frame = teardowns; frame; frame = frame->outer)
    if (frame->ptr == ptr) return frame->owner;
  return nullptr;
}

void watch_teardown(TypeDescriptor *type, void (*forget)(const PyObject *proxy)) {
  watched_type = type;
  teardown_watcher = forget;
}

namespace detail {

int convert_any_pointer(PyObject *obj, void **out, TypeDescriptor *type, int flags, int *owned) {
  if (!obj) return kFail;
  if (obj == Py_None) {
    if (out) *out = nullptr;
    if (owned) *owned = 0;
    return kOk;
  }
  PyObject *carried = carried_proxy(obj);
  int code = kFail;
  for (PyObject *link = carried; link && is_proxy(link); link = as_proxy(link)->next) {
    ProxyObject *proxy = as_proxy(link);
    void *ptr = proxy->ptr;
    if (type && proxy->ty != type) {
      CastEntry *hit = proxy->ty ? cast_check(proxy->ty->name, type) : nullptr;
      if (!hit) continue;
      int new_memory = 0;  // no converter of ours allocates
      if (hit->converter) ptr = hit->converter(ptr, &new_memory);
    }
    if (out) *out = ptr;
    if (owned) *owned = proxy->own;
    if (flags & kDisown) proxy->own = 0;
    code = kOk;
    break;
  }
  Py_XDECREF(carried);
  return code;
}

}  // namespace detail

PyObject *make_proxy(void *ptr, TypeDescriptor *type, int flags) {
  if (!ptr) Py_RETURN_NONE;
  PyObject *proxy = new_bare(ptr, type, flags & kOwn);
  if (!proxy) return nullptr;
  ClassRecord *record = type ? static_cast<ClassRecord *>(type->clientdata) : nullptr;
  if (record && !(flags & kNoShadow)) {
    if (PyObject *instance = make_shadow(record, proxy)) {
      Py_DECREF(proxy);  // the instance holds it
      return instance;
    }
    PyErr_Clear();  // a class that cannot make instances still gets its pointer
  }
  return proxy;
}

PyObject *this_name() {
  if (!cached_this) cached_this = PyString_FromString("this");
  return cached_this;
}

void release_this_name() { Py_CLEAR(cached_this); }

char *hex_bytes(char *out, const void *data, size_t size) {
  static const char digits[] = "0123456789abcdef";
  const unsigned char *bytes = static_cast<const unsigned char *>(data);
  for (size_t i = 0; i < size; ++i) {
    *out++ = digits[bytes[i] >> 4];
    *out++ = digits[bytes[i] & 0xf];
  }
  return out;
}

bool packed_pointer_text(char *buffer, size_t size, const void *ptr, const char *name) {
  if (!name || size < 2 * sizeof ptr + 2) return false;
  size_t name_size = std::strlen(name) + 1;
  if (name_size > size - (2 * sizeof ptr + 1)) return false;
  buffer[0] = '_';
  // The pointer's bytes in memory order: least significant first here.
  std::memcpy(hex_bytes(buffer + 1, &ptr, sizeof ptr), name, name_size);
  return true;
}

}  // namespace qm
