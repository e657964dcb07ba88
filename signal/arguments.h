// arguments.h: the checks that several wrappers share: bit width and data
// format, transform lengths, window names, bin ranges, finite numbers.
// Each returns 0, or -1 with the error set (lock held).
#ifndef QM_SIGNAL_ARGUMENTS_H
#define QM_SIGNAL_ARGUMENTS_H

#include <cstddef>

#include "runtime/python.h"
#include "signal/kernels/windows.h"

namespace qs {

/// `bits` in 1..max_bits and a known data format.
int check_coding(long bits, long format, unsigned max_bits);
/// A power of two from 2 up to kMaxTransform (from 1 with `single`).
int check_length(size_t n, bool single = false);
/// The window called `name`; -1 with ValueError naming the known ones.
int window_argument(const char *name, WindowId *id);
/// [start, stop) clipped to 0..size; `stop` None for size.
int range_argument(Py_ssize_t start, PyObject *stop, size_t size, size_t *lo, size_t *hi);
/// A finite double, positive when `positive`.
int finite_argument(double value, const char *name, bool positive);

}  // namespace qs

#endif
