// reduce.cpp: the reductions, each one pass in index order (sums in the
// order a Python loop would add them).
#include "signal/kernels/reduce.h"

#include <algorithm>
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

void running_sum(const double *values, size_t count, double *out) {
  double total = 0.0;
  for (size_t i = 0; i < count; ++i) out[i] = total += values[i];
}

void accumulate(double *total, const double *values, size_t count, double weight) {
  for (size_t i = 0; i < count; ++i) total[i] += weight * values[i];
}

}  // namespace qs
