// arguments.cpp: the shared checks.
#include "signal/arguments.h"

#include <cmath>
#include <string>

#include "signal/errors.h"
#include "signal/kernels/fft.h"
#include "signal/kernels/formats.h"

namespace qs {

int check_coding(long bits, long format, unsigned max_bits) {
  if (!format_name(static_cast<uint32_t>(format)) || format < 0)
    return fail_code(kFormat, static_cast<unsigned>(format));
  if (bits < 1 || bits > long(max_bits))
    return fail_code(max_bits == kMaxBits ? kBits : kHistogramBits, bits);
  return 0;
}

int check_length(size_t n, bool single) {
  if (n == 0 || (n & (n - 1))) return fail_code(kLength, Py_ssize_t(n));
  if (n == 1 && !single) return fail_code(kShortTransform);
  if (n > kMaxTransform) return fail_code(kLongTransform, Py_ssize_t(n), Py_ssize_t(kMaxTransform));
  return 0;
}

int window_argument(const char *name, WindowId *id) {
  *id = window_named(name);
  if (*id != kWindowCount) return 0;
  std::string known;
  for (int i = 0; i < kWindowCount; ++i) {
    known += i ? ", '" : "'";
    known += window_row(WindowId(i)).name;
    known += "'";
  }
  return fail_code(kWindow, name, known.c_str());
}

int range_argument(Py_ssize_t start, PyObject *stop, size_t size, size_t *lo, size_t *hi) {
  Py_ssize_t end = Py_ssize_t(size);
  if (stop && stop != Py_None) {
    end = PyNumber_AsSsize_t(stop, PyExc_OverflowError);
    if (end == -1 && PyErr_Occurred()) return -1;
  }
  auto clip = [size](Py_ssize_t v) { return v < 0 ? size_t(0) : size_t(v) > size ? size : size_t(v); };
  *lo = clip(start);
  *hi = clip(end);
  if (*hi < *lo) *hi = *lo;
  return 0;
}

int finite_argument(double value, const char *name, bool positive) {
  if (!std::isfinite(value)) return fail_code(positive ? kNotPositive : kNotFiniteNumber, name);
  if (positive && !(value > 0.0)) return fail_code(kNotPositive, name);
  return 0;
}

}  // namespace qs
