// elements.h: the element types of typed buffers (elements.def) and the one
// loop that widens any of them to doubles or 64-bit integers.
#ifndef QM_SIGNAL_KERNELS_ELEMENTS_H
#define QM_SIGNAL_KERNELS_ELEMENTS_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qs {

/// One row of elements.def.
struct Element {
  char code;      ///< the array.array typecode
  int size;       ///< bytes per element
  bool integral;  ///< integers (true) or floating point
};

/// Elements of a buffer as a kernel reads them: type, address, count.
struct Typed {
  char code;         ///< a typecode of elements.def
  const void *data;  ///< any alignment
  size_t count;      ///< elements
};

/// The row of typecode `code`, or null for a type this module does not read.
const Element *element_of(char code);

/// Widens `count` elements of type `code` at `data` (any alignment) to doubles.
void widen(char code, const void *data, size_t count, double *out);
/// Widens `count` integral elements of type `code` to 64-bit integers.
void widen(char code, const void *data, size_t count, int64_t *out);

/// The elements as doubles: in place when they are 8-byte aligned doubles,
/// otherwise widened into `scratch`. Throws std::bad_alloc.
const double *as_doubles(const Typed &in, std::vector<double> *scratch);

/// Whether `count` doubles are all finite (no NaN, no infinity).
bool all_finite(const double *values, size_t count);

}  // namespace qs

#endif
