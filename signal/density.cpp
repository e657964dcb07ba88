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

/// An optional code index: -1 for None, else the index (or -2 with the error set).
Py_ssize_t code_argument(PyObject *object) {
  if (!object || object == Py_None) return -1;
  Py_ssize_t value = PyNumber_AsSsize_t(object, PyExc_OverflowError);
  if (value == -1 && PyErr_Occurred()) return -2;
  return value;
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
  Py_ssize_t first = code_argument(first_object), last = code_argument(last_object);
  if (first == -2 || last == -2) return nullptr;
  Buffer counts;
  if (counts.open(counts_object, "counts", Buffer::kNumbers) < 0) return nullptr;
  const size_t size = counts.count();
  for (Py_ssize_t given : {first, last})
    if (given < -1 || given >= Py_ssize_t(size))
      return fail(kRange, given == first ? "first" : "last", long(given),
                  Py_ssize_t(size) - 1 < 0 ? Py_ssize_t(0) : Py_ssize_t(size) - 1);
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
