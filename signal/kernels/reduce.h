// reduce.h: reductions over spectra (and any doubles) for the figure code:
// sums over bin ranges outside a mask of taken bins, the largest (and smallest) bin and the
// largest local peaks outside it, order statistics, running sums, and the
// accumulation of spectra; and the extremes of samples in their own type. Ranges are [start, stop) clipped to the values;
// a mask holds one byte per value, nonzero for a taken one.
#ifndef QM_SIGNAL_KERNELS_REDUCE_H
#define QM_SIGNAL_KERNELS_REDUCE_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "signal/kernels/elements.h"

namespace qs {

struct Band {
  size_t count = 0;     ///< values summed
  double sum = 0.0;     ///< their sum
  double moment = 0.0;  ///< the sum of index * value
};

/// The untaken values of [start, stop); with `mark`, they become taken.
Band band(const double *values, size_t start, size_t stop, uint8_t *mask, bool mark);

/// The index of the first largest untaken value of [start, stop), or -1.
long argmax(const double *values, size_t start, size_t stop, const uint8_t *mask);
/// The index of the first smallest untaken value of [start, stop), or -1.
long argmin(const double *values, size_t start, size_t stop, const uint8_t *mask);

/// The indices of the `count` largest local peaks among the untaken values
/// of [start, stop), largest first (equal ones by index). A peak is above
/// its left neighbour and not below its right one (neighbours taken or not;
/// beyond the ends counts as lower).
std::vector<size_t> peaks(const double *values, size_t size, size_t start, size_t stop,
                          const uint8_t *mask, size_t count);

/// The value of rank k (0: the smallest) among `count` values; reorders
/// a copy in `scratch`. Throws std::bad_alloc.
double nth_smallest(const double *values, size_t count, size_t k, std::vector<double> *scratch);

/// How many of values[start, stop) lie below `limit`: the rank `limit`
/// would take among them (so nth_smallest(k) >= limit exactly when it is at
/// most k), in one pass without a copy.
size_t count_below(const double *values, size_t start, size_t stop, double limit);

/// out[i] = values[0] + ... + values[i].
void running_sum(const double *values, size_t count, double *out);

/// The smallest and largest of elements [start, stop) of `in` (start <
/// stop), read in their own type: one pass, no widened copy. False when a
/// floating-point one is not finite.
bool extremes(const Typed &in, size_t start, size_t stop, double *low, double *high);

/// total[i] += weight * values[i].
void accumulate(double *total, const double *values, size_t count, double weight);

}  // namespace qs

#endif
