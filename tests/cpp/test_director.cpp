// The director runtime: how its exceptions report to Python, and the
// reference rules between a director and its Python self, from threads that
// hold the interpreter lock, released it, or were never seen by it.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "callbacks/callback.h"
#include "callbacks/director.h"
#include "tests/cpp/interpreter.h"

namespace {

class Director : public InterpreterTest {};

constexpr char kMismatch[] = "Swig director type mismatch in output value of type 'QmWord'";

TEST_F(Director, ExceptionSetsItsErrorWhenNonePending) {
  try {
    throw Swig::DirectorTypeMismatchException(PyExc_TypeError, "in output value of type 'QmWord'");
  } catch (const Swig::DirectorException &e) {
    EXPECT_STREQ(e.getMessage(), kMismatch);
  }
  auto error = take_error();
  EXPECT_EQ(error.first, PyExc_TypeError);
  EXPECT_EQ(error.second, kMismatch);

  try {
    throw Swig::DirectorMethodException("Error detected when calling 'Qm_Callback.run'");
  } catch (const Swig::DirectorException &e) {
    EXPECT_STREQ(e.getMessage(),
                 "Swig director method error. Error detected when calling 'Qm_Callback.run'");
  }
  EXPECT_EQ(take_error().first, PyExc_RuntimeError);
}

TEST_F(Director, EmptyDetailGivesTheHeaderAlone) {
  EXPECT_STREQ(Swig::DirectorMethodException().getMessage(), "Swig director method error.");
  EXPECT_EQ(take_error().second, "Swig director method error.");
  EXPECT_STREQ(Swig::DirectorTypeMismatchException(PyExc_OverflowError).getMessage(),
               "Swig director type mismatch");
  EXPECT_EQ(take_error().first, PyExc_OverflowError);
  EXPECT_STREQ(Swig::DirectorException(PyExc_IOError, "own header", "x").getMessage(),
               "own header x");
  EXPECT_EQ(take_error().first, PyExc_IOError);
}

TEST_F(Director, PendingErrorIsNeverOverwritten) {
  PyErr_SetString(PyExc_ValueError, "first");
  Swig::DirectorTypeMismatchException(PyExc_TypeError, "in output value of type 'QmWord'");
  Swig::DirectorMethodException("detail");
  Swig::DirectorException(PyExc_KeyError, "header", "detail");
  auto error = take_error();
  EXPECT_EQ(error.first, PyExc_ValueError);
  EXPECT_EQ(error.second, "first");
}

TEST_F(Director, ReportsFromAThreadWithoutTheLock) {
  std::string message;
  PyThreadState *saved = PyEval_SaveThread();
  std::thread([&] {
    // The error lands in this thread's own state, which lives only while
    // the lock is held here.
    PyGILState_STATE state = PyGILState_Ensure();
    message = Swig::DirectorMethodException("x").getMessage();
    EXPECT_TRUE(PyErr_ExceptionMatches(PyExc_RuntimeError));
    PyErr_Clear();
    PyGILState_Release(state);
  }).join();
  PyEval_RestoreThread(saved);
  EXPECT_EQ(message, "Swig director method error. x");
  EXPECT_EQ(PyErr_Occurred(), nullptr);
}

TEST_F(Director, SelfReferencesAcrossDisownAndDestruction) {
  PyObject *self = PyList_New(0);
  const Py_ssize_t base = Py_REFCNT(self);

  delete new SwigDirector_Qm_Callback(self);
  EXPECT_EQ(Py_REFCNT(self), base) << "never disowned: nothing to drop";

  auto *director = new SwigDirector_Qm_Callback(self);
  EXPECT_EQ(director->self(), self);
  director->disown();
  director->disown();
  EXPECT_EQ(Py_REFCNT(self), base + 1) << "one reference, however often disowned";
  delete director;
  EXPECT_EQ(Py_REFCNT(self), base);

  // Construction, disown and destruction on threads without the lock,
  // one of them never seen by the interpreter.
  PyThreadState *saved = PyEval_SaveThread();
  director = new SwigDirector_Qm_Callback(self);
  std::thread([director] { director->disown(); }).join();
  Py_ssize_t held = Py_REFCNT(self);  // read only: the object is not touched
  delete director;
  PyEval_RestoreThread(saved);
  EXPECT_EQ(held, base + 1);
  EXPECT_EQ(Py_REFCNT(self), base);
  Py_DECREF(self);
}

TEST_F(Director, InnerAccessTables) {
  SwigDirector_Qm_Callback director(Py_None);
  Swig::Director &base = director;
  EXPECT_FALSE(base.get_inner_access("run"));
  base.set_inner_access("run", true);
  EXPECT_TRUE(base.get_inner_access("run"));
  base.set_inner_access("run", false);
  EXPECT_FALSE(base.get_inner_access("run"));

  struct Bare : Swig::Director {
    Bare() : Swig::Director(Py_None) {}
  } bare;
  bare.set_inner_access("run", false);
  EXPECT_TRUE(bare.get_inner_access("run"));
}

TEST_F(Director, PlainCallbackAnswersOne) {
  Qm_Callback plain;
  Qm_Callback *as_plain = &plain;
  EXPECT_EQ(as_plain->run(nullptr), 1u);
  SwigDirector_Qm_Callback director(Py_None);
  Qm_Callback *as_base = &director;
  EXPECT_NE(dynamic_cast<Swig::Director *>(as_base), nullptr);
  EXPECT_EQ(dynamic_cast<Swig::Director *>(as_plain), nullptr);
}

}  // namespace
