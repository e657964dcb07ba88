// errors.h: the one place where the signal core sets Python errors, from the
// rows of errors.def. fail() returns nullptr and fail_code() -1, so a
// wrapper writes `return fail(kBits, bits);`. Call them with the lock held.
#ifndef QM_SIGNAL_ERRORS_H
#define QM_SIGNAL_ERRORS_H

#include "runtime/python.h"

namespace qs {

enum Problem {
#define QM_PROBLEM(ID, EXCEPTION, FORMAT) ID,
#include "signal/errors.def"
#undef QM_PROBLEM
};

/// Sets the problem's exception with its message; nullptr.
PyObject *fail(Problem problem, ...);
/// The same for functions that report with -1.
int fail_code(Problem problem, ...);

}  // namespace qs

#endif
