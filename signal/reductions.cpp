// reductions.cpp: the wrappers of the reductions: accumulate, band, argmax,
// argmin, peaks, nth_smallest, count_below, cumsum, extremes. Values are read as doubles (extremes
// reads them in their own type); the bins a reduction reads must be finite.
#include <cstdint>
#include <cstring>
#include <vector>

#include "signal/arguments.h"
#include "signal/buffers.h"
#include "signal/errors.h"
#include "signal/functions.h"
#include "signal/kernels/reduce.h"
#include "signal/released.h"

namespace qs {
namespace py {

using qm::OwnedReference;

namespace {

/// The values, range and mask a reduction reads.
struct Bins {
  Buffer values;
  Buffer mask;
  bool masked = false;
  size_t lo = 0, hi = 0;

  int open(PyObject *object, Py_ssize_t start, PyObject *stop, PyObject *mask_object, bool mark) {
    if (values.open(object, "values", Buffer::kNumbers) < 0) return -1;
    if (range_argument(start, stop, values.count(), &lo, &hi) < 0) return -1;
    masked = mask_object && mask_object != Py_None;
    if (!masked) return 0;
    if (mask.open(mask_object, "mask", Buffer::kBytes, mark ? Buffer::kWrite : Buffer::kRead) < 0)
      return -1;
    if (mask.bytes() != values.count())
      return fail_code(kMaskSize, Py_ssize_t(mask.bytes()), Py_ssize_t(values.count()));
    return 0;
  }
  uint8_t *mask_bytes() const { return masked ? static_cast<uint8_t *>(mask.writable()) : nullptr; }
  /// The values as doubles (lock released); false when a bin of the range is not finite.
  bool read(std::vector<double> *scratch, const double **out) const {
    *out = as_doubles(values.typed(), scratch);
    return all_finite(*out + lo, hi - lo);
  }
};

}  // namespace

PyObject *accumulate(PyObject *, PyObject *args, PyObject *kwargs) {
  static const char *keywords[] = {"total", "values", "weight", nullptr};
  PyObject *total_object, *values_object;
  double weight = 1.0;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OO|d:accumulate", const_cast<char **>(keywords),
                                   &total_object, &values_object, &weight))
    return nullptr;
  if (finite_argument(weight, "weight", false) < 0) return nullptr;
  Buffer total, values;
  if (total.open(total_object, "total", Buffer::kDoubles, Buffer::kWrite) < 0 ||
      values.open(values_object, "values", Buffer::kNumbers) < 0)
    return nullptr;
  if (values.count() != total.count())
    return fail(kSizes, "values", Py_ssize_t(values.count()), "total",
                Py_ssize_t(total.count()));
  bool finite = true;
  if (!released([&] {
        std::vector<double> scratch, sums;
        const double *v = as_doubles(values.typed(), &scratch);
        finite = all_finite(v, values.count());
        if (!finite) return;
        // An output taken in place may be unaligned for doubles: through a copy then.
        double *t = static_cast<double *>(total.writable());
        bool aligned = reinterpret_cast<uintptr_t>(t) % alignof(double) == 0;
        if (!aligned) t = const_cast<double *>(as_doubles(total.typed(), &sums));
        qs::accumulate(t, v, values.count(), weight);
        if (!aligned) std::memcpy(total.writable(), t, total.bytes());
      }))
    return nullptr;
  if (!finite) return fail(kNotFinite, "values");
  if (total.finish() < 0) return nullptr;
  Py_RETURN_NONE;
}

PyObject *band(PyObject *, PyObject *args, PyObject *kwargs) {
  static const char *keywords[] = {"values", "start", "stop", "mask", "mark", nullptr};
  PyObject *values, *stop = nullptr, *mask = nullptr, *mark_object = nullptr;
  Py_ssize_t start;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "On|OOO:band", const_cast<char **>(keywords),
                                   &values, &start, &stop, &mask, &mark_object))
    return nullptr;
  int mark = mark_object ? PyObject_IsTrue(mark_object) : 0;
  if (mark < 0) return nullptr;
  Bins bins;
  if (bins.open(values, start, stop, mask, mark) < 0) return nullptr;
  Band sums;
  bool finite = true;
  if (!released([&] {
        std::vector<double> scratch;
        const double *v;
        finite = bins.read(&scratch, &v);
        if (finite) sums = qs::band(v, bins.lo, bins.hi, bins.mask_bytes(), mark && bins.masked);
      }))
    return nullptr;
  if (!finite) return fail(kNotFinite, "values");
  if (bins.mask.finish() < 0) return nullptr;
  return Py_BuildValue("(ndd)", Py_ssize_t(sums.count), sums.sum, sums.moment);
}

namespace {

/// argmax and argmin: the first extreme untaken value, by `pick`.
PyObject *extreme_bin(PyObject *args, PyObject *kwargs, const char *format,
                      long (*pick)(const double *, size_t, size_t, const uint8_t *)) {
  static const char *keywords[] = {"values", "start", "stop", "mask", nullptr};
  PyObject *values, *stop = nullptr, *mask = nullptr;
  Py_ssize_t start = 0;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, format, const_cast<char **>(keywords), &values,
                                   &start, &stop, &mask))
    return nullptr;
  Bins bins;
  if (bins.open(values, start, stop, mask, false) < 0) return nullptr;
  long best = -1;
  double value = 0.0;
  bool finite = true;
  if (!released([&] {
        std::vector<double> scratch;
        const double *v;
        finite = bins.read(&scratch, &v);
        if (finite) best = pick(v, bins.lo, bins.hi, bins.mask_bytes());
        if (best >= 0) value = v[best];
      }))
    return nullptr;
  if (!finite) return fail(kNotFinite, "values");
  if (best < 0) Py_RETURN_NONE;
  return Py_BuildValue("(ld)", best, value);
}

}  // namespace

PyObject *argmax(PyObject *, PyObject *args, PyObject *kwargs) {
  return extreme_bin(args, kwargs, "O|nOO:argmax", qs::argmax);
}

PyObject *argmin(PyObject *, PyObject *args, PyObject *kwargs) {
  return extreme_bin(args, kwargs, "O|nOO:argmin", qs::argmin);
}

PyObject *peaks(PyObject *, PyObject *args, PyObject *kwargs) {
  static const char *keywords[] = {"values", "count", "start", "stop", "mask", nullptr};
  PyObject *values, *stop = nullptr, *mask = nullptr;
  Py_ssize_t count, start = 0;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "On|nOO:peaks", const_cast<char **>(keywords),
                                   &values, &count, &start, &stop, &mask))
    return nullptr;
  Bins bins;
  if (bins.open(values, start, stop, mask, false) < 0) return nullptr;
  if (count < 0) return fail(kRange, "count", long(count), Py_ssize_t(bins.values.count()));
  std::vector<size_t> found;
  bool finite = true;
  if (!released([&] {
        std::vector<double> scratch;
        const double *v;
        finite = bins.read(&scratch, &v);
        if (finite)
          found = qs::peaks(v, bins.values.count(), bins.lo, bins.hi, bins.mask_bytes(),
                            size_t(count));
      }))
    return nullptr;
  if (!finite) return fail(kNotFinite, "values");
  OwnedReference list(PyList_New(Py_ssize_t(found.size())));
  if (!list) return nullptr;
  for (size_t i = 0; i < found.size(); ++i) {
    PyObject *bin = PyInt_FromSsize_t(Py_ssize_t(found[i]));
    if (!bin) return nullptr;
    PyList_SET_ITEM(list.get(), Py_ssize_t(i), bin);
  }
  return list.release();
}

PyObject *nth_smallest(PyObject *, PyObject *args, PyObject *kwargs) {
  static const char *keywords[] = {"values", "rank", "start", "stop", nullptr};
  PyObject *values, *stop = nullptr;
  Py_ssize_t rank, start = 0;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "On|nO:nth_smallest",
                                   const_cast<char **>(keywords), &values, &rank, &start, &stop))
    return nullptr;
  Bins bins;
  if (bins.open(values, start, stop, nullptr, false) < 0) return nullptr;
  size_t size = bins.hi - bins.lo;
  if (rank < 0 || size_t(rank) >= size)
    return fail(kRank, long(rank), Py_ssize_t(size) - 1);
  double value = 0.0;
  bool finite = true;
  if (!released([&] {
        std::vector<double> scratch, reordered;
        const double *v;
        finite = bins.read(&scratch, &v);
        if (finite) value = qs::nth_smallest(v + bins.lo, size, size_t(rank), &reordered);
      }))
    return nullptr;
  if (!finite) return fail(kNotFinite, "values");
  return PyFloat_FromDouble(value);
}

PyObject *count_below(PyObject *, PyObject *args, PyObject *kwargs) {
  static const char *keywords[] = {"values", "limit", "start", "stop", nullptr};
  PyObject *values, *stop = nullptr;
  double limit;
  Py_ssize_t start = 0;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "Od|nO:count_below",
                                   const_cast<char **>(keywords), &values, &limit, &start, &stop))
    return nullptr;
  if (finite_argument(limit, "limit", false) < 0) return nullptr;
  Bins bins;
  if (bins.open(values, start, stop, nullptr, false) < 0) return nullptr;
  size_t count = 0;
  bool finite = true;
  if (!released([&] {
        std::vector<double> scratch;
        const double *v;
        finite = bins.read(&scratch, &v);
        if (finite) count = qs::count_below(v, bins.lo, bins.hi, limit);
      }))
    return nullptr;
  if (!finite) return fail(kNotFinite, "values");
  return PyInt_FromSsize_t(Py_ssize_t(count));
}

PyObject *cumsum(PyObject *, PyObject *args, PyObject *kwargs) {
  static const char *keywords[] = {"values", nullptr};
  PyObject *values;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O:cumsum", const_cast<char **>(keywords),
                                   &values))
    return nullptr;
  Bins bins;
  if (bins.open(values, 0, nullptr, nullptr, false) < 0) return nullptr;
  void *out;
  OwnedReference result(new_array('d', bins.values.count(), &out));
  if (!result) return nullptr;
  bool finite = true;
  if (!released([&] {
        std::vector<double> scratch;
        const double *v;
        finite = bins.read(&scratch, &v);
        if (finite) running_sum(v, bins.values.count(), static_cast<double *>(out));
      }))
    return nullptr;
  if (!finite) return fail(kNotFinite, "values");
  return result.release();
}

PyObject *extremes(PyObject *, PyObject *args, PyObject *kwargs) {
  static const char *keywords[] = {"values", "start", "stop", nullptr};
  PyObject *values, *stop = nullptr;
  Py_ssize_t start = 0;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|nO:extremes", const_cast<char **>(keywords),
                                   &values, &start, &stop))
    return nullptr;
  Bins bins;
  if (bins.open(values, start, stop, nullptr, false) < 0) return nullptr;
  if (bins.lo == bins.hi) Py_RETURN_NONE;
  double low = 0.0, high = 0.0;
  bool finite = true;
  if (!released([&] { finite = qs::extremes(bins.values.typed(), bins.lo, bins.hi, &low, &high); }))
    return nullptr;
  if (!finite) return fail(kNotFinite, "values");
  return Py_BuildValue("(dd)", low, high);
}

}  // namespace py
}  // namespace qs
