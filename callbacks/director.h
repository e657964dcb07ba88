// director.h: the director runtime. A director is a native object whose
// virtual methods are carried out by a Python object (its Python self).
//
// Director code runs on any thread: a library thread the interpreter has
// never seen, a wrapper's thread while it holds the lock, or one that
// released it around a library call. So everything here that touches a
// Python object takes the interpreter lock itself (PyGILState_Ensure nests).
// Failures of the Python side leave as Swig::DirectorException, after the
// Python error has been set; the one who catches it returns to Python or
// reports the error there (callbacks/receiver.cpp).
#ifndef QM_CALLBACKS_DIRECTOR_H
#define QM_CALLBACKS_DIRECTOR_H

#include <string>

#include "runtime/python.h"

namespace Swig {

/// Base of every director class; a director derives from the native class it
/// stands in for first and from Director second.
class Director {
 public:
  /// Takes no reference and calls nothing in the interpreter, so it may run
  /// with the lock released.
  explicit Director(PyObject *self) : self_(self), disowned_(false) {}
  /// Drops the one reference a disowned director holds, under the lock.
  virtual ~Director();
  virtual bool get_inner_access(const std::string &method) const;
  virtual void set_inner_access(const std::string &method, bool flag);

  /// The Python self, borrowed.
  PyObject *self() const { return self_; }
  bool disowned() const { return disowned_; }
  /// From now on the director keeps its Python self alive (one reference,
  /// taken once however often this is called).
  void disown();

  Director(const Director &) = delete;
  Director &operator=(const Director &) = delete;

 private:
  PyObject *self_;  ///< the object whose methods implement the virtual ones
  bool disowned_;   ///< set: self_ is a strong reference owned by the director
};

/// A failure of the Python side of a director method. Constructing one sets
/// the Python error (unless one is already pending, which then stands).
class DirectorException {
 public:
  DirectorException(PyObject *error, const char *header, const char *detail = "");
  const char *getMessage() const { return message_.c_str(); }

 private:
  std::string message_;  ///< header, then " " and the detail when there is one
};

/// The Python method raised: its own exception stays pending.
class DirectorMethodException : public DirectorException {
 public:
  explicit DirectorMethodException(const char *detail = "")
      : DirectorException(PyExc_RuntimeError, "Swig director method error.", detail) {}
};

/// The Python method's result does not convert to the declared type.
class DirectorTypeMismatchException : public DirectorException {
 public:
  DirectorTypeMismatchException(PyObject *error, const char *detail = "")
      : DirectorException(error, "Swig director type mismatch", detail) {}
};

}  // namespace Swig

#endif
