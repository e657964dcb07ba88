// convert.h: the value rules between Python objects and the library's scalar
// and string kinds, and the two ways outputs are packed into one result.
#ifndef QM_RUNTIME_CONVERT_H
#define QM_RUNTIME_CONVERT_H

#include <cstddef>

#include "runtime/errors.h"
#include "runtime/python.h"

namespace qm {

// Argument rules. Each takes a borrowed object and an optional out-pointer
// (nullptr validates only), returns 0 or a negative code of errors.h, and
// never leaves a Python error pending.

/// QmWord, QmBool, size_t: int >= 0 (bool included) or long in 0..2^32-1.
inline int as_unsigned(PyObject *obj, unsigned long *out);
/// Enumerations: any int, or a long in the signed 32-bit range.
inline int as_int(PyObject *obj, int *out);
/// QmDouble: float (or subtype), int, or long that fits a double.
int as_double(PyObject *obj, double *out);
/// QmStreamElement: the unsigned rule, then at most 255.
int as_byte(PyObject *obj, unsigned char *out);

/// Allocation marker of as_string: the text was copied with new[] and the
/// caller frees it with delete[].
constexpr int kNewObject = 0x200;
/// QmString / char *: a str (its own buffer, or a new[] copy when *alloc is
/// kNewObject on entry), a `char *` proxy, or None (null). Unicode is refused.
/// *size receives length + 1.
int as_string(PyObject *obj, char **out, size_t *size = nullptr, int *alloc = nullptr);

// Result rules (new references).
inline PyObject *from_unsigned(unsigned long value);  ///< int up to 0x7FFFFFFF, long above
PyObject *from_int(long value);
PyObject *from_double(double value);
PyObject *from_byte(unsigned char value);
PyObject *from_string(const char *text);  ///< str up to the first NUL; None for null

// Output packing. Both steal the reference to `obj`.
/// List form: result, then [result, obj], then appends.
PyObject *append_list(PyObject *result, PyObject *obj);
/// Tuple form: (result, obj), then concatenation. A missing result raises
/// ValueError "Expected to be called from non-void." and gives nullptr.
PyObject *append_tuple(PyObject *result, PyObject *obj);

// The two integer rules run once per argument of nearly every call, and the
// unsigned result once per result: inline.
namespace detail {
int long_as_unsigned(PyObject *obj, unsigned long *out);
int long_as_int(PyObject *obj, int *out);
}  // namespace detail

inline int as_unsigned(PyObject *obj, unsigned long *out) {
  if (PyType_HasFeature(Py_TYPE(obj), Py_TPFLAGS_INT_SUBCLASS)) {
    long v = PyInt_AS_LONG(obj);
    if (v < 0) return kOverflowError;
    if (out) *out = static_cast<unsigned long>(v);
    return 0;
  }
  return detail::long_as_unsigned(obj, out);
}

inline PyObject *from_unsigned(unsigned long value) {
  return value > 0x7FFFFFFFul ? PyLong_FromUnsignedLong(value)
                              : PyInt_FromLong(static_cast<long>(value));
}

inline int as_int(PyObject *obj, int *out) {
  if (PyType_HasFeature(Py_TYPE(obj), Py_TPFLAGS_INT_SUBCLASS)) {
    if (out) *out = static_cast<int>(PyInt_AS_LONG(obj));
    return 0;
  }
  return detail::long_as_int(obj, out);
}

}  // namespace qm

#endif
