// density.cpp: the wrapper of the code-density test.
#include <vector>

#include "signal/buffers.h"
#include "signal/errors.h"
#include "signal/functions.h"
#include "signal/kernels/density.h"
#include "signal/released.h"

namespace qs {
namespace py {

using qm::OwnedReference;

namespace {

/// An optional index into `size` counts in *out, -1 for None; false with the error set.
bool code_argument(PyObject *object, const char *name, size_t size, Py_ssize_t *out) {
  *out = -1;
  if (!object || object == Py_None) return true;
  Py_ssize_t value = PyNumber_AsSsize_t(object, PyExc_OverflowError);
  if (value == -1 && PyErr_Occurred()) return false;
  if (value < 0 || size_t(value) >= size) {
    fail(kRange, name, long(value), size ? Py_ssize_t(size) - 1 : Py_ssize_t(0));
    return false;
  }
  *out = value;
  return true;
}

PyObject *missing_list(const std::vector<size_t> &codes) {
  OwnedReference list(PyList_New(Py_ssize_t(codes.size())));
  if (!list) return nullptr;
  for (size_t i = 0; i < codes.size(); ++i) {
    PyObject *code = PyInt_FromSsize_t(Py_ssize_t(codes[i]));
    if (!code) return nullptr;
    PyList_SET_ITEM(list.get(), Py_ssize_t(i), code);
  }
  return list.release();
}

}  // namespace

PyObject *code_density(PyObject *, PyObject *args, PyObject *kwargs) {
  static const char *keywords[] = {"counts", "first", "last", nullptr};
  PyObject *counts_object, *first_object = nullptr, *last_object = nullptr;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|OO:code_density",
                                   const_cast<char **>(keywords), &counts_object, &first_object,
                                   &last_object))
    return nullptr;
  Buffer counts;
  if (counts.open(counts_object, "counts", Buffer::kNumbers) < 0) return nullptr;
  const size_t size = counts.count();
  Py_ssize_t first, last;
  if (!code_argument(first_object, "first", size, &first) ||
      !code_argument(last_object, "last", size, &last))
    return nullptr;
  enum { kDone, kInfinite, kNegativeCount, kEmpty, kEnds, kEmptyBetween } outcome = kDone;
  std::vector<double> scratch;
  const double *v = nullptr;
  size_t lo = 0, hi = 0;
  // The result arrays need the ends: found with the lock released, then
  // the arrays made with it, then the test without it again.
  if (!released([&] {
        v = as_doubles(counts.typed(), &scratch);
        if (!all_finite(v, size)) {
          outcome = kInfinite;
          return;
        }
        for (size_t k = 0; k < size; ++k)
          if (v[k] < 0) {
            outcome = kNegativeCount;
            return;
          }
        size_t nonzero_lo = 0, nonzero_hi = 0;
        if (!density_ends(v, size, &nonzero_lo, &nonzero_hi)) {
          outcome = kEmpty;
          return;
        }
        lo = first >= 0 ? size_t(first) : nonzero_lo;
        hi = last >= 0 ? size_t(last) : nonzero_hi;
        if (lo + 1 >= hi) outcome = kEnds;
      }))
    return nullptr;
  switch (outcome) {
    case kInfinite: return fail(kNotFinite, "counts");
    case kNegativeCount: return fail(kNegative, "counts");
    case kEmpty: return fail(kNoCounts);
    case kEnds: return fail(kEndCodes, Py_ssize_t(lo), Py_ssize_t(hi), Py_ssize_t(size));
    default: break;
  }
  const size_t inner = hi - lo - 1;
  void *dnl, *inl;
  OwnedReference dnl_array(new_array('d', inner, &dnl));
  if (!dnl_array) return nullptr;
  OwnedReference inl_array(new_array('d', inner, &inl));
  if (!inl_array) return nullptr;
  Density found;
  if (!released([&] {
        if (!qs::code_density(v, lo, hi, static_cast<double *>(dnl), static_cast<double *>(inl),
                              &found))
          outcome = kEmptyBetween;
      }))
    return nullptr;
  if (outcome == kEmptyBetween) return fail(kNothingBetween, Py_ssize_t(lo), Py_ssize_t(hi));
  OwnedReference missing(missing_list(found.missing));
  if (!missing) return nullptr;
  return Py_BuildValue("(OOddO)", dnl_array.get(), inl_array.get(), found.offset, found.amplitude,
                       missing.get());
}

}  // namespace py
}  // namespace qs
