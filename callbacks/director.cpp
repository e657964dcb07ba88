// director.cpp: Swig::Director's lock and reference rules, and the reporting
// done by constructing a director exception.
#include "callbacks/director.h"

#include "runtime/frame.h"

namespace Swig {

Director::~Director() {
  if (!disowned_) return;  // a borrowed self: nothing to touch
  qm::CallFrame lock;
  Py_DECREF(self_);
}

bool Director::get_inner_access(const std::string &) const { return true; }

void Director::set_inner_access(const std::string &, bool) {}

void Director::disown() {
  if (disowned_) return;
  disowned_ = true;
  qm::CallFrame lock;
  Py_INCREF(self_);
}

DirectorException::DirectorException(PyObject *error, const char *header, const char *detail)
    : message_(header) {
  if (detail && *detail) {
    message_ += ' ';
    message_ += detail;
  }
  qm::CallFrame lock;
  if (!PyErr_Occurred()) PyErr_SetString(error, message_.c_str());
}

}  // namespace Swig
