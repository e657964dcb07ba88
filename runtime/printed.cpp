// printed.cpp: writing printed forms to the interpreter's files, and notices
// to standard output.
#include "runtime/printed.h"

#include <cstdarg>

namespace qm {

namespace {

/// Flushes a file object of `sys`, if there is one; errors are dropped (a
/// closed or odd replacement must not stop the notice).
void flush_python_file(PyObject *file) {
  if (!file || file == Py_None) return;
  PyObject *result = PyObject_CallMethod(file, const_cast<char *>("flush"), nullptr);
  if (result)
    Py_DECREF(result);
  else
    PyErr_Clear();
}

}  // namespace

int print_text(PyObject *text, FILE *file) {
  return text ? PyObject_Print(text, file, Py_PRINT_RAW) : -1;
}

void write_stdout(const char *format, ...) {
  PyObject *type, *value, *traceback;
  PyErr_Fetch(&type, &value, &traceback);
  PyObject *out = PySys_GetObject(const_cast<char *>("stdout"));
  PyObject *original = PySys_GetObject(const_cast<char *>("__stdout__"));
  flush_python_file(out);
  if (original != out) flush_python_file(original);
  PyErr_Restore(type, value, traceback);

  std::va_list arguments;
  va_start(arguments, format);
  std::vprintf(format, arguments);
  va_end(arguments);
  std::fflush(stdout);
}

}  // namespace qm
