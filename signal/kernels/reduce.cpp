// reduce.cpp: the reductions, each one pass in index order (sums in the
// order a Python loop would add them).
#include "signal/kernels/reduce.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace qs {

Band band(const double *values, size_t start, size_t stop, uint8_t *mask, bool mark) {
  Band b;
  for (size_t k = start; k < stop; ++k) {
    if (mask && mask[k]) continue;
    b.count += 1;
    b.sum += values[k];
    b.moment += double(k) * values[k];
    if (mark) mask[k] = 1;
  }
  return b;
}

long argmax(const double *values, size_t start, size_t stop, const uint8_t *mask) {
  long best = -1;
  for (size_t k = start; k < stop; ++k) {
    if (mask && mask[k]) continue;
    if (best < 0 || values[k] > values[best]) best = long(k);
  }
  return best;
}

long argmin(const double *values, size_t start, size_t stop, const uint8_t *mask) {
  long best = -1;
  for (size_t k = start; k < stop; ++k) {
    if (mask && mask[k]) continue;
    if (best < 0 || values[k] < values[best]) best = long(k);
  }
  return best;
}

std::vector<size_t> peaks(const double *values, size_t size, size_t start, size_t stop,
                          const uint8_t *mask, size_t count) {
  // (value, -index) pairs: the heap's top is the smallest kept, the later
  // index of equal values first.
  typedef std::pair<double, long> Entry;
  std::vector<Entry> heap;
  auto above = [](const Entry &a, const Entry &b) { return a > b; };
  for (size_t k = start; k < stop && count; ++k) {
    if (mask && mask[k]) continue;
    double v = values[k];
    if (k > 0 && !(v > values[k - 1])) continue;
    if (k + 1 < size && v < values[k + 1]) continue;
    Entry e(v, -long(k));
    if (heap.size() < count) {
      heap.push_back(e);
      std::push_heap(heap.begin(), heap.end(), above);
    } else if (above(e, heap.front())) {
      std::pop_heap(heap.begin(), heap.end(), above);
      heap.back() = e;
      std::push_heap(heap.begin(), heap.end(), above);
    }
  }
  std::sort(heap.begin(), heap.end(), above);
  std::vector<size_t> found;
  for (const Entry &e : heap) found.push_back(size_t(-e.second));
  return found;
}

double nth_smallest(const double *values, size_t count, size_t k, std::vector<double> *scratch) {
  scratch->assign(values, values + count);
  std::nth_element(scratch->begin(), scratch->begin() + k, scratch->end());
  return (*scratch)[k];
}

size_t count_below(const double *values, size_t start, size_t stop, double limit) {
  size_t count = 0;
  for (size_t k = start; k < stop; ++k) count += values[k] < limit;
  return count;
}

void running_sum(const double *values, size_t count, double *out) {
  double total = 0.0;
  for (size_t i = 0; i < count; ++i) out[i] = total += values[i];
}

namespace {

template <typename T>
bool extremes_as(const void *data, size_t start, size_t stop, double *low, double *high) {
  const unsigned char *bytes = static_cast<const unsigned char *>(data);
  T first;
  std::memcpy(&first, bytes + start * sizeof(T), sizeof(T));
  T lo = first, hi = first, spread = T(0);
  for (size_t i = start; i < stop; ++i) {
    T v;
    std::memcpy(&v, bytes + i * sizeof(T), sizeof(T));  // any alignment
    lo = v < lo ? v : lo;
    hi = v > hi ? v : hi;
    spread += v - v;  // integers: 0; floating point: NaN once one is not finite
  }
  *low = double(lo);
  *high = double(hi);
  return spread == T(0);
}

}  // namespace

bool extremes(const Typed &in, size_t start, size_t stop, double *low, double *high) {
  switch (in.code) {
#define QM_ELEMENT(CODE, TYPE, INTEGRAL) \
  case CODE: return extremes_as<TYPE>(in.data, start, stop, low, high);
#include "signal/kernels/elements.def"
#undef QM_ELEMENT
  }
  return false;
}

void accumulate(double *total, const double *values, size_t count, double weight) {
  for (size_t i = 0; i < count; ++i) total[i] += weight * values[i];
}

}  // namespace qs
