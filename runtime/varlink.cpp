// varlink.cpp: the link object "swigvarlink" behind `cvar`, whose attributes
// read and assign native globals through their getters and setters.
#include "runtime/varlink.h"

#include <cstdlib>
#include <cstring>

#include "runtime/printed.h"
#include "runtime/reference.h"

namespace qm {
namespace {

/// One linked global.
struct LinkedVariable {
  char *name;  ///< private copy (malloc)
  VariableGetter get_attr;
  VariableSetter set_attr;
  LinkedVariable *next;
};

struct LinkObject {
  PyObject_HEAD
  LinkedVariable *vars;  ///< newest first
};

LinkObject *as_link(PyObject *obj) { return reinterpret_cast<LinkObject *>(obj); }

PyObject *unknown_variable() {
  if (!PyErr_Occurred()) PyErr_SetString(PyExc_NameError, "Unknown C global variable");
  return nullptr;
}

LinkedVariable *find_variable(PyObject *self, const char *name) {
  for (LinkedVariable *var = as_link(self)->vars; var; var = var->next)
    if (std::strcmp(var->name, name) == 0) return var;
  return nullptr;
}

PyObject *link_getattr(PyObject *self, char *name) {
  LinkedVariable *var = find_variable(self, name);
  if (PyObject *value = var && var->get_attr ? var->get_attr() : nullptr) return value;
  return unknown_variable();
}

int link_setattr(PyObject *self, char *name, PyObject *value) {
  LinkedVariable *var = find_variable(self, name);
  if (var && var->set_attr && var->set_attr(value) == 0) return 0;
  unknown_variable();
  return -1;  // what the interpreter's callers of tp_setattr test for
}

/// "(newest, ..., oldest)".
PyObject *link_str(PyObject *self) {
  PyObject *text = PyString_FromString("(");
  for (LinkedVariable *var = as_link(self)->vars; text && var; var = var->next) {
    PyString_ConcatAndDel(&text, PyString_FromString(var->name));
    if (text && var->next) PyString_ConcatAndDel(&text, PyString_FromString(", "));
  }
  if (text) PyString_ConcatAndDel(&text, PyString_FromString(")"));
  return text;
}

PyObject *link_repr(PyObject *) { return PyString_FromString("<Swig global variables>"); }

int link_print(PyObject *self, FILE *file, int) {
  OwnedReference text(link_str(self));
  if (!text) return -1;
  OwnedReference line(
      PyString_FromFormat("Swig global variables %s\n", PyString_AS_STRING(text.get())));
  return print_text(line.get(), file);
}

void link_dealloc(PyObject *self) {
  LinkedVariable *var = as_link(self)->vars;
  while (var) {
    LinkedVariable *next = var->next;
    std::free(var->name);
    std::free(var);
    var = next;
  }
  PyObject_Free(self);
}

PyTypeObject link_type_object = {
    PyVarObject_HEAD_INIT(nullptr, 0)
    "swigvarlink",           /*tp_name*/
    sizeof(LinkObject),      /*tp_basicsize*/
    0,                       /*tp_itemsize*/
    link_dealloc,            /*tp_dealloc*/
    link_print,              /*tp_print*/
    link_getattr,            /*tp_getattr*/
    link_setattr,            /*tp_setattr*/
    nullptr,                 /*tp_compare*/
    link_repr,               /*tp_repr*/
    nullptr,                 /*tp_as_number*/
    nullptr,                 /*tp_as_sequence*/
    nullptr,                 /*tp_as_mapping*/
    nullptr,                 /*tp_hash*/
    nullptr,                 /*tp_call*/
    link_str,                /*tp_str*/
    nullptr,                 /*tp_getattro*/
    nullptr,                 /*tp_setattro*/
    nullptr,                 /*tp_as_buffer*/
    0,                       /*tp_flags*/
    "Swig var link object",  /*tp_doc*/
    nullptr,                 /*tp_traverse*/
    nullptr,                 /*tp_clear*/
    nullptr,                 /*tp_richcompare*/
    0,                       /*tp_weaklistoffset*/
    nullptr,                 /*tp_iter*/
    nullptr,                 /*tp_iternext*/
    nullptr,                 /*tp_methods*/
    nullptr,                 /*tp_members*/
    nullptr,                 /*tp_getset*/
    nullptr,                 /*tp_base*/
    nullptr,                 /*tp_dict*/
    nullptr,                 /*tp_descr_get*/
    nullptr,                 /*tp_descr_set*/
    0,                       /*tp_dictoffset*/
    nullptr,                 /*tp_init*/
    nullptr,                 /*tp_alloc*/
    nullptr,                 /*tp_new*/
    nullptr,                 /*tp_free*/
    nullptr,                 /*tp_is_gc*/
    nullptr,                 /*tp_bases*/
    nullptr,                 /*tp_mro*/
    nullptr,                 /*tp_cache*/
    nullptr,                 /*tp_subclasses*/
    nullptr,                 /*tp_weaklist*/
    nullptr,                 /*tp_del*/
    0,                       /*tp_version_tag*/
};

/// The module's link object; this variable keeps it for the process's life.
PyObject *the_link = nullptr;

}  // namespace

PyObject *link_object() {
  if (!the_link) {
    if (PyType_Ready(&link_type_object) < 0) return nullptr;
    LinkObject *link = PyObject_NEW(LinkObject, &link_type_object);
    if (!link) return nullptr;
    link->vars = nullptr;
    the_link = reinterpret_cast<PyObject *>(link);
  }
  return the_link;
}

void add_variable(PyObject *link, const char *name, VariableGetter get, VariableSetter set) {
  if (!link || Py_TYPE(link) != &link_type_object) {
    // The function, not the header's macro: the macro calls the private
    // _PyErr_BadInternalCall, the function is the entry point that every
    // interpreter keeps "for existing object code" (errors.c).
    (PyErr_BadInternalCall)();
    return;
  }
  size_t size = std::strlen(name) + 1;
  LinkedVariable *var = static_cast<LinkedVariable *>(std::malloc(sizeof(LinkedVariable)));
  char *copy = static_cast<char *>(std::malloc(size));
  if (!var || !copy) {
    std::free(var);
    std::free(copy);
    PyErr_NoMemory();
    return;
  }
  std::strncpy(copy, name, size);
  var->name = copy;
  var->get_attr = get;
  var->set_attr = set;
  var->next = as_link(link)->vars;
  as_link(link)->vars = var;
}

}  // namespace qm
