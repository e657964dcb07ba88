// density.cpp: the code-density test, one pass over the counts between the
// end codes.
#include "signal/kernels/density.h"

#include <cmath>

namespace qs {

namespace {
const double kPi = 3.14159265358979323846;
}

bool density_ends(const double *counts, size_t count, size_t *first, size_t *last) {
  size_t lo = 0;
  while (lo < count && counts[lo] == 0) ++lo;
  if (lo == count) return false;
  size_t hi = count - 1;
  while (counts[hi] == 0) --hi;
  *first = lo;
  *last = hi;
  return true;
}

bool code_density(const double *counts, size_t first, size_t last, double *dnl, double *inl,
                  Density *out) {
  double total = 0.0;  // whole counts: exact in doubles up to 2**53
  for (size_t k = first; k <= last; ++k) total += counts[k];
  // Whole counts: the difference is exact. With some between the ends,
  // their shares a and b add up to less than 1 and cos(pi a) + cos(pi b) > 0.
  if (!(total - counts[first] - counts[last] > 0)) return false;
  const double low = std::cos(kPi * counts[first] / total);
  const double high = std::cos(kPi * counts[last] / total);
  // T[first + 1] = first + 1/2 and T[last] = last - 1/2.
  const double a = double(last - first - 1) / (low + high);
  const double c = double(first) + 0.5 + a * low;
  out->amplitude = a;
  out->offset = c;
  out->missing.clear();
  // One cosine per transition: T is some thousands of LSB, known to 1e-12
  // of an LSB in doubles, so the widths as differences lose nothing that matters.
  double below = counts[first], lower = double(first) + 0.5;  // T[first + 1]
  for (size_t k = first + 1, i = 0; k < last; ++k, ++i) {
    below += counts[k];
    const double upper = c - a * std::cos(kPi * below / total);  // T[k + 1]
    dnl[i] = upper - lower - 1;
    inl[i] = upper - (double(k) + 0.5);
    if (counts[k] == 0) out->missing.push_back(k);
    lower = upper;
  }
  return true;
}

}  // namespace qs
