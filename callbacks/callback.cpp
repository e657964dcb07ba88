// callback.cpp: Qm_Callback's own `run`, and the director's delivery of an
// event into its Python self's `run` and of the result back as a QmWord.
#include "callbacks/callback.h"

#include "catalog/type_table.h"
#include "runtime/convert.h"
#include "runtime/errors.h"
#include "runtime/proxy.h"
#include "runtime/reference.h"

namespace {
constexpr char kCallingRun[] = "Error detected when calling 'Qm_Callback.run'";
}  // namespace

QmWord Qm_Callback::run(Qm_Dll_Event_Param *) { return kUnhandled; }

QmWord SwigDirector_Qm_Callback::deliver(Qm_Dll_Event_Param *event) {
  // Declared in this order so that they are released result, then proxy, on
  // return and while an exception leaves; the caller's lock goes after.
  qm::OwnedReference proxy(
      qm::make_proxy(event, qm::type_at(qm::ty::p_Qm_Dll_Event_Param), qm::kBorrowed));
  if (!proxy) throw Swig::DirectorMethodException(kCallingRun);
  // A shadow instance that could not be made falls back to the bare proxy and
  // leaves its error behind; it must not be taken for an error of `run`.
  if (PyErr_Occurred()) PyErr_Clear();
  // PyObject_CallMethod(self, "run", "(O)", proxy) without building the
  // name and parsing the format on every event: same look-up, same call.
  static PyObject *const run_name = PyString_InternFromString("run");  // kept for the process
  qm::OwnedReference result(
      run_name ? PyObject_CallMethodObjArgs(self(), run_name, proxy.get(), nullptr) : nullptr);
  if (!result) throw Swig::DirectorMethodException(kCallingRun);
  unsigned long value = 0;
  int code = qm::as_unsigned(result.get(), &value);
  if (code < 0) {
    throw Swig::DirectorTypeMismatchException(qm::exception_for(code),
                                              "in output value of type 'QmWord'");
  }
  return value;
}

bool SwigDirector_Qm_Callback::get_inner_access(const std::string &method) const {
  auto found = inner_.find(method);
  return found != inner_.end() && found->second;
}

void SwigDirector_Qm_Callback::set_inner_access(const std::string &method, bool flag) {
  inner_[method] = flag;
}
