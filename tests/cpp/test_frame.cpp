// The wrapper frame's parts: the released section that re-takes the lock on
// every exit, the entry prologue, the error helpers and the one translation
// of native exceptions, and the owned-reference holder.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>
#include <utility>

#include "catalog/type_table.h"
#include "runtime/errors.h"
#include "runtime/frame.h"
#include "runtime/reference.h"
#include "tests/cpp/interpreter.h"

namespace {

class Frame : public InterpreterTest {
 protected:
  static void SetUpTestSuite() {
    InterpreterTest::SetUpTestSuite();
    qm::bind_type_table(qm::this_module);
  }
  static bool holds_lock() { return _PyThreadState_Current != nullptr; }
};

TEST_F(Frame, UnlockedReleasesAndRetakesTheLockOnEveryExit) {
  bool released = false;
  int result = qm::unlocked([&] {
    released = !holds_lock();
    return 7;
  });
  EXPECT_TRUE(released);
  EXPECT_EQ(result, 7) << "the work's result comes back";
  EXPECT_TRUE(holds_lock());

  EXPECT_THROW(qm::unlocked([] { throw std::runtime_error("inside"); }), std::runtime_error);
  ASSERT_TRUE(holds_lock()) << "an exception leaving the section re-takes the lock";
  EXPECT_EQ(PyInt_AsLong(qm::OwnedReference(PyInt_FromLong(3)).get()), 3);
}

TEST_F(Frame, EntryParsesThenConvertsPointersWithTheFixedMessage) {
  qm::OwnedReference args(Py_BuildValue("(Oi)", Py_None, 5));
  qm::Entry<2> entry(args.get(), "OO:probe");
  ASSERT_TRUE(static_cast<bool>(entry));
  EXPECT_EQ(PyInt_AsLong(entry[1]), 5);
  void *pointer = &pointer;
  EXPECT_TRUE(entry.pointer(0, &pointer, qm::type_at(qm::ty::p_QmVersionNumber), "unused"));
  EXPECT_EQ(pointer, nullptr) << "None is the null pointer";
  EXPECT_FALSE(entry.pointer(1, &pointer, qm::type_at(qm::ty::p_QmVersionNumber), "in probe"));
  auto error = take_error();
  EXPECT_EQ(error.first, PyExc_TypeError) << "a pointer mismatch is reported as a type error";
  EXPECT_EQ(error.second, "in probe");

  qm::OwnedReference one(Py_BuildValue("(i)", 1));
  EXPECT_FALSE(static_cast<bool>(qm::Entry<2>(one.get(), "OO:probe")));
  EXPECT_EQ(take_error().first, PyExc_TypeError) << "the interpreter's own parse error";
}

TEST_F(Frame, ErrorHelpersReturnNullAndSetTheFixedText) {
  EXPECT_EQ(qm::raise_error(PyExc_ValueError, "fixed"), nullptr);
  EXPECT_EQ(take_error(), std::make_pair(PyExc_ValueError, std::string("fixed")));
  EXPECT_TRUE(qm::converted(qm::kOk, "unused"));
  EXPECT_FALSE(PyErr_Occurred());
  EXPECT_FALSE(qm::converted(qm::kOverflowError, "too big"));
  EXPECT_EQ(take_error(), std::make_pair(PyExc_OverflowError, std::string("too big")));
}

TEST_F(Frame, NativeExceptionsTranslateOnceWithOrWithoutTheLock) {
  try {
    throw std::bad_alloc();
  } catch (...) {
    EXPECT_EQ(qm::raise_native_exception("no memory", "other"), nullptr);
  }
  EXPECT_EQ(take_error(), std::make_pair(PyExc_MemoryError, std::string("no memory")));

  qm::unlocked([] {
    try {
      throw 42;
    } catch (...) {
      qm::raise_native_exception("no memory", "other");  // takes the lock itself
    }
  });
  EXPECT_EQ(take_error(), std::make_pair(PyExc_RuntimeError, std::string("other")));

  PyErr_SetString(PyExc_KeyError, "pending");
  try {
    throw std::bad_alloc();
  } catch (...) {
    qm::raise_native_exception("no memory", "other");
  }
  EXPECT_EQ(take_error().first, PyExc_KeyError) << "an error already pending stands";
}

TEST_F(Frame, OwnedReferenceDropsOnceOnEveryPath) {
  PyObject *object = PyList_New(0);
  ASSERT_NE(object, nullptr);
  {
    qm::OwnedReference held = qm::OwnedReference::to(object);
    EXPECT_EQ(Py_REFCNT(object), 2);
    qm::OwnedReference moved(std::move(held));
    EXPECT_FALSE(static_cast<bool>(held));
    EXPECT_EQ(Py_REFCNT(object), 2) << "a move hands the reference on";
  }
  EXPECT_EQ(Py_REFCNT(object), 1);
  {
    qm::OwnedReference held = qm::OwnedReference::to(object);
    held = PyList_New(0);  // the old reference goes, the new one is held
    EXPECT_EQ(Py_REFCNT(object), 1);
    qm::OwnedReference again = qm::OwnedReference::to(object);
    PyObject *handed = again.release();
    EXPECT_EQ(Py_REFCNT(object), 2) << "release hands the reference to the caller";
    Py_DECREF(handed);
  }
  EXPECT_EQ(Py_REFCNT(object), 1);
  Py_DECREF(object);
}

}  // namespace
