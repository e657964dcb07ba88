// errors.cpp: the problems' exceptions and messages.
#include "signal/errors.h"

#include <cstdarg>

#include "runtime/reference.h"

namespace qs {
namespace {

struct ProblemRow {
  PyObject **exception;  ///< the interpreter's exception class (a global it defines)
  const char *format;
};

const ProblemRow kProblems[] = {
#define QM_PROBLEM(ID, EXCEPTION, FORMAT) {&EXCEPTION, FORMAT},
#include "signal/errors.def"
#undef QM_PROBLEM
};

void raise(Problem problem, va_list args) {
  const ProblemRow &row = kProblems[problem];
  qm::OwnedReference message(PyString_FromFormatV(row.format, args));
  if (message) PyErr_SetObject(*row.exception, message.get());
}

}  // namespace

PyObject *fail(Problem problem, ...) {
  va_list args;
  va_start(args, problem);
  raise(problem, args);
  va_end(args);
  return nullptr;
}

int fail_code(Problem problem, ...) {
  va_list args;
  va_start(args, problem);
  raise(problem, args);
  va_end(args);
  return -1;
}

}  // namespace qs
