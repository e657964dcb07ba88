// interpreter.h: the fixture of the C++ suites that drive the runtime through
// an embedded interpreter: started once, its lock held by the test thread,
// and no error left pending between cases.
#ifndef QM_TESTS_INTERPRETER_H
#define QM_TESTS_INTERPRETER_H

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "runtime/python.h"

class InterpreterTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!Py_IsInitialized()) Py_Initialize();
    PyEval_InitThreads();  // the test thread now holds the lock
  }
  void SetUp() override { PyErr_Clear(); }
  void TearDown() override { PyErr_Clear(); }

  /// The pending error's class and text; clears it.
  static std::pair<PyObject *, std::string> take_error() {
    PyObject *type = nullptr, *value = nullptr, *trace = nullptr;
    PyErr_Fetch(&type, &value, &trace);
    PyErr_NormalizeException(&type, &value, &trace);
    std::string text;
    if (PyObject *s = value ? PyObject_Str(value) : nullptr) {
      text = PyString_AsString(s);
      Py_DECREF(s);
    }
    Py_XDECREF(value);
    Py_XDECREF(trace);
    Py_XDECREF(type);  // the classes are static: the pointer stays comparable
    return {type, text};
  }
};

#endif
