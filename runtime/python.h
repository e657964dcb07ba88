// python.h: the one include of the interpreter's headers (system headers,
// included before anything else as the interpreter requires).
#ifndef QM_RUNTIME_PYTHON_H
#define QM_RUNTIME_PYTHON_H
#include <Python.h>
#endif
