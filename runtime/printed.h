// printed.h: the one way the module writes to a file that the interpreter
// hands to a tp_print slot, and the one way it writes to standard output.
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

/// Writes the formatted text to the process's standard output, in order
/// with what Python wrote there before: Python's own buffers (`sys.stdout`,
/// and `sys.__stdout__` when that was replaced) are flushed first, then the
/// text goes out through this module's C library, flushed too. On Windows
/// the interpreter has a C library, and buffers, of its own: without the
/// first step the text would overtake Python's earlier output. Needs the
/// interpreter lock; an exception pending on entry is pending on return.
void write_stdout(const char *format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace qm

#endif
