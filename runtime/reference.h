// reference.h: the holder of an owned Python reference, so a reference that
// leaves a function on more than one path is dropped once, on every path.
// A borrowed reference stays a plain PyObject *: someone else keeps it alive.
#ifndef QM_RUNTIME_REFERENCE_H
#define QM_RUNTIME_REFERENCE_H

#include "runtime/python.h"

namespace qm {

/// Owns one reference to a Python object (or none); touch only with the lock held.
class OwnedReference {
 public:
  OwnedReference() = default;
  /// Takes over a new reference (null allowed: a failed call).
  explicit OwnedReference(PyObject *owned) : object_(owned) {}
  ~OwnedReference() { Py_XDECREF(object_); }
  OwnedReference(const OwnedReference &) = delete;
  OwnedReference &operator=(const OwnedReference &) = delete;

  /// A new reference to a borrowed object, held from now on.
  static OwnedReference to(PyObject *borrowed) {
    Py_XINCREF(borrowed);
    return OwnedReference(borrowed);
  }
  OwnedReference(OwnedReference &&other) noexcept : object_(other.release()) {}

  /// Takes over `owned`, dropping the reference held so far.
  OwnedReference &operator=(PyObject *owned) {
    PyObject *old = object_;
    object_ = owned;
    Py_XDECREF(old);
    return *this;
  }
  PyObject *get() const { return object_; }
  /// Hands the reference to the caller (a function that steals it).
  PyObject *release() {
    PyObject *owned = object_;
    object_ = nullptr;
    return owned;
  }
  explicit operator bool() const { return object_ != nullptr; }

 private:
  PyObject *object_ = nullptr;  ///< owned reference, or null
};

}  // namespace qm

#endif
