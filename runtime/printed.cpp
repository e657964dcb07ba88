// printed.cpp: writing printed forms to the interpreter's files.
#include "runtime/printed.h"

namespace qm {

int print_text(PyObject *text, FILE *file) {
  return text ? PyObject_Print(text, file, Py_PRINT_RAW) : -1;
}

}  // namespace qm
