// method_table.cpp: the ordered method table. Each family contributes its
// rows from its own table, so a function is listed where it is described.
#include "module/method_table.h"

#include "bindings/library_calls.h"
#include "callbacks/callback_functions.h"
#include "records/record_functions.h"

namespace qm {
namespace {
// Takes one object and fails without setting an exception; the interpreter
// then raises SystemError. The module gives it no other behaviour.
PyObject *instance_method_new(PyObject *, PyObject *) { return nullptr; }
}  // namespace

PyMethodDef module_methods[] = {
    {"SWIG_PyInstanceMethod_New", instance_method_new, METH_O, nullptr},
#include "callbacks/method_rows.inc"
#include "records/record_method_rows.inc"
#include "bindings/method_rows.inc"
#include "records/array_method_rows.inc"
    {nullptr, nullptr, 0, nullptr}};

// 1 + 7 callback functions + 355 record accessors + 31 library calls + 21 array functions.
static_assert(sizeof(module_methods) / sizeof(module_methods[0]) == 415 + 1,
              "the method table has 415 functions and its end row");

}  // namespace qm
