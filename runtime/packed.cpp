// packed.cpp: the packed-data proxy "SwigPyPacked", which carries a private
// copy of a small memory block with its type.
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "runtime/printed.h"
#include "runtime/proxy.h"
#include "runtime/reference.h"

namespace qm {
namespace {

struct PackedObject {
  PyObject_HEAD
  void *pack;          ///< private copy of the data (malloc)
  TypeDescriptor *ty;  ///< type of the data
  size_t size;         ///< bytes in pack
};

// Packed objects of other modules of this kind are read with this layout.
static_assert(offsetof(PackedObject, pack) == sizeof(PyObject) &&
                  offsetof(PackedObject, size) == sizeof(PyObject) + 2 * sizeof(void *) &&
                  sizeof(PackedObject) == sizeof(PyObject) + 3 * sizeof(void *),
              "packed layout: header, pack, ty, size");

PackedObject *as_packed(PyObject *obj) { return reinterpret_cast<PackedObject *>(obj); }

bool is_packed(PyObject *obj) {
  PyTypeObject *type = Py_TYPE(obj);
  return type == packed_type() || (!(type->tp_flags & Py_TPFLAGS_HEAPTYPE) &&
                                   std::strcmp(type->tp_name, "SwigPyPacked") == 0);
}

const char *mangled(const PackedObject *packed) {
  return packed->ty && packed->ty->name ? packed->ty->name : "";
}

/// "_" and the bytes as hex into a 1024-byte buffer; false when they do not fit.
bool packed_text(const PackedObject *packed, char (&buffer)[1024]) {
  if (packed->size > (sizeof buffer - 2) / 2) return false;
  buffer[0] = '_';
  *hex_bytes(buffer + 1, packed->pack, packed->size) = '\0';
  return true;
}

PyObject *packed_repr(PyObject *self) {
  char text[1024];
  PackedObject *packed = as_packed(self);
  if (packed_text(packed, text))
    return PyString_FromFormat("<Swig Packed at %s%s>", text, mangled(packed));
  return PyString_FromFormat("<Swig Packed %s>", mangled(packed));
}

PyObject *packed_str(PyObject *self) {
  char text[1024];
  PackedObject *packed = as_packed(self);
  if (packed_text(packed, text)) return PyString_FromFormat("%s%s", text, mangled(packed));
  return PyString_FromString(mangled(packed));
}

int packed_print(PyObject *self, FILE *file, int) {
  char text[1024];
  PackedObject *packed = as_packed(self);
  bool has_text = packed_text(packed, text);
  OwnedReference line(PyString_FromFormat("<Swig Packed %s%s%s>", has_text ? "at " : "",
                                          has_text ? text : "", mangled(packed)));
  return print_text(line.get(), file);
}

int packed_compare(PyObject *v, PyObject *w) {
  if (!is_packed(v) || !is_packed(w)) return v < w ? -1 : (v > w ? 1 : 0);
  size_t i = as_packed(v)->size, j = as_packed(w)->size;
  if (i != j) return i < j ? -1 : 1;
  int order = std::strncmp(static_cast<const char *>(as_packed(v)->pack),
                           static_cast<const char *>(as_packed(w)->pack), i);
  return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

void packed_dealloc(PyObject *self) {
  if (is_packed(self)) std::free(as_packed(self)->pack);
  PyObject_Free(self);
}

PyTypeObject packed_type_object = {
    PyVarObject_HEAD_INIT(nullptr, 0)
    "SwigPyPacked",                                  /*tp_name*/
    sizeof(PackedObject),                            /*tp_basicsize*/
    0,                                               /*tp_itemsize*/
    packed_dealloc,                                  /*tp_dealloc*/
    packed_print,                                    /*tp_print*/
    nullptr,                                         /*tp_getattr*/
    nullptr,                                         /*tp_setattr*/
    packed_compare,                                  /*tp_compare*/
    packed_repr,                                     /*tp_repr*/
    nullptr,                                         /*tp_as_number*/
    nullptr,                                         /*tp_as_sequence*/
    nullptr,                                         /*tp_as_mapping*/
    nullptr,                                         /*tp_hash*/
    nullptr,                                         /*tp_call*/
    packed_str,                                      /*tp_str*/
    PyObject_GenericGetAttr,                         /*tp_getattro*/
    nullptr,                                         /*tp_setattro*/
    nullptr,                                         /*tp_as_buffer*/
    Py_TPFLAGS_DEFAULT,                              /*tp_flags*/
    "Swig object carries a C/C++ instance pointer",  /*tp_doc*/
    nullptr,                                         /*tp_traverse*/
    nullptr,                                         /*tp_clear*/
    nullptr,                                         /*tp_richcompare*/
    0,                                               /*tp_weaklistoffset*/
    nullptr,                                         /*tp_iter*/
    nullptr,                                         /*tp_iternext*/
    nullptr,                                         /*tp_methods*/
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

}  // namespace

PyTypeObject *packed_type() {
  static bool ready = false;
  if (!ready) {
    if (PyType_Ready(&packed_type_object) < 0) return nullptr;
    ready = true;
  }
  return &packed_type_object;
}

PyObject *make_packed(const void *data, size_t size, TypeDescriptor *type) {
  PyTypeObject *packed_class = packed_type();
  if (!packed_class) return nullptr;
  PackedObject *packed = PyObject_NEW(PackedObject, packed_class);
  if (!packed) return nullptr;
  packed->ty = type;
  packed->size = size;
  packed->pack = std::malloc(size ? size : 1);
  if (!packed->pack) {
    Py_DECREF(packed);
    return PyErr_NoMemory();
  }
  if (size) std::memcpy(packed->pack, data, size);
  return reinterpret_cast<PyObject *>(packed);
}

}  // namespace qm
