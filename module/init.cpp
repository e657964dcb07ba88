// init.cpp: the module's entry point (being written).
#include "runtime/python.h"

static PyMethodDef methods[] = {{nullptr, nullptr, 0, nullptr}};

extern "C" __attribute__((visibility("default"))) void init_qm_python() {
  Py_InitModule4("_qm_python", methods, nullptr, nullptr, PYTHON_API_VERSION);
}
