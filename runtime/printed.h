// printed.h: the one way the module writes to a file that the interpreter
// hands to a tp_print slot.
#ifndef QM_RUNTIME_PRINTED_H
#define QM_RUNTIME_PRINTED_H

#include <cstdio>

#include "runtime/python.h"

namespace qm {

/// Writes the string `text` to `file` through the interpreter's own C
/// library (PyObject_Print): the FILE belongs to it, and on Windows the
/// module's C library is another one whose stdio must not touch that FILE.
/// `text` is borrowed; null means its making failed. Returns 0, or -1 with
/// the error set.
int print_text(PyObject *text, FILE *file);

}  // namespace qm

#endif
