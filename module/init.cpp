// init.cpp: init_qm_python, the module's only exported symbol. The steps run
// in a fixed order: method-table fix-up, module creation, type-table binding,
// constant table, `cvar` and its variable, the integer constants, the exit
// drain of event deliveries (registered with `atexit`, nothing added to the
// module), and thread support last so the lock exists before any wrapper
// releases it.
#include <cstring>
#include <string>

#include "callbacks/callback_functions.h"
#include "callbacks/lifetime.h"
#include "module/method_table.h"
#include "qmdll/include/qmdll.h"
#include "runtime/proxy.h"
#include "runtime/reference.h"
#include "runtime/types.h"
#include "runtime/varlink.h"

namespace qm {
namespace {

/// A pointer or binary constant of the constant table. The module defines
/// its constants by code, so the table holds only its end entry.
struct ConstantEntry {
  int kind;  ///< 4 pointer, 5 packed binary data, 0 end
  const char *name;
  long lvalue;
  double dvalue;
  void *pvalue;
  TypeDescriptor **ptype;
};
ConstantEntry constant_table[] = {{0, nullptr, 0, 0.0, nullptr, nullptr}};

constexpr char kPointerMarker[] = "swig_ptr: ";

/// Documentation strings that name a pointer constant after "swig_ptr: " get
/// the constant's packed-pointer text. No entry of this module has a
/// documentation string, so this changes nothing; it keeps the protocol.
void fix_up_method_docs(PyMethodDef *methods) {
  const size_t marker_length = std::strlen(kPointerMarker);
  for (PyMethodDef *method = methods; method->ml_name; ++method) {
    const char *doc = method->ml_doc;
    const char *marker = doc ? std::strstr(doc, kPointerMarker) : nullptr;
    if (!marker) continue;
    const char *wanted = marker + marker_length;
    for (ConstantEntry *c = constant_table; c->kind; ++c) {
      if (std::strncmp(c->name, wanted, std::strlen(c->name)) != 0) continue;
      OwnedReference proxy(c->kind == 4 && c->pvalue ? make_proxy(c->pvalue, *c->ptype, kNoShadow)
                                                     : nullptr);
      OwnedReference packed(proxy ? PyObject_Str(proxy.get()) : nullptr);
      if (packed) {
        std::string text(doc, wanted);
        text += PyString_AS_STRING(packed.get());
        method->ml_doc = strdup(text.c_str());  // kept for the process's life
      }
      PyErr_Clear();
      break;
    }
  }
}

void install_constant_table(PyObject *dict) {
  for (ConstantEntry *c = constant_table; c->kind; ++c) {
    OwnedReference value;
    if (c->kind == 4) value = make_proxy(c->pvalue, *c->ptype, kBorrowed);
    if (c->kind == 5) {
      value = c->pvalue ? make_packed(c->pvalue, static_cast<size_t>(c->lvalue), *c->ptype)
                        : (Py_INCREF(Py_None), Py_None);
    }
    if (value) PyDict_SetItemString(dict, c->name, value.get());
  }
}

void define_integer_constant(PyObject *dict, const char *name, long number) {
  OwnedReference value(PyInt_FromLong(number));
  if (value) PyDict_SetItemString(dict, name, value.get());
}

void define_integer_constants(PyObject *dict) {
#define QM_CONSTANT(NAME) define_integer_constant(dict, #NAME, static_cast<long>(NAME));
#include "module/constants.def"
#undef QM_CONSTANT
}

}  // namespace
}  // namespace qm

extern "C" __attribute__((visibility("default"))) void init_qm_python() {
  using namespace qm;
  fix_up_method_docs(module_methods);
  PyObject *module =
      Py_InitModule4("_qm_python", module_methods, nullptr, nullptr, PYTHON_API_VERSION);
  if (!module) return;  // the interpreter's error stands
  PyObject *dict = PyModule_GetDict(module);
  bind_type_table(this_module);
  install_constant_table(dict);
  PyObject *link = link_object();
  PyDict_SetItemString(dict, "cvar", link);
  add_variable(link, "_qm_callback", callback_variable_get, callback_variable_set);
  define_integer_constants(dict);
  lifetime::register_exit_drain();
  PyEval_InitThreads();
}
