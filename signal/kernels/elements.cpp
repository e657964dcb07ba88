// elements.cpp: the element table and the widening loops, one template
// instance per row.
#include "signal/kernels/elements.h"

#include <cstring>

namespace qs {
namespace {

// 'l' and 'L' are the C long of a 32-bit target: 4 bytes, as the rows say.
static_assert(sizeof(long) == 4, "the element table is written for a 32-bit target");

const Element kElements[] = {
#define QM_ELEMENT(CODE, TYPE, INTEGRAL) {CODE, int(sizeof(TYPE)), INTEGRAL},
#include "signal/kernels/elements.def"
#undef QM_ELEMENT
};

template <typename From, typename To>
void widen_as(const void *data, size_t count, To *out) {
  const unsigned char *bytes = static_cast<const unsigned char *>(data);
  for (size_t i = 0; i < count; ++i) {
    From value;
    std::memcpy(&value, bytes + i * sizeof(From), sizeof(From));  // any alignment
    out[i] = static_cast<To>(value);
  }
}

}  // namespace

const Element *element_of(char code) {
  for (const Element &e : kElements)
    if (e.code == code) return &e;
  return nullptr;
}

void widen(char code, const void *data, size_t count, double *out) {
  switch (code) {
#define QM_ELEMENT(CODE, TYPE, INTEGRAL) \
  case CODE: return widen_as<TYPE>(data, count, out);
#include "signal/kernels/elements.def"
#undef QM_ELEMENT
  }
}

void widen(char code, const void *data, size_t count, int64_t *out) {
  switch (code) {
#define QM_ELEMENT(CODE, TYPE, INTEGRAL) \
  case CODE: if (INTEGRAL) widen_as<TYPE>(data, count, out); return;
#include "signal/kernels/elements.def"
#undef QM_ELEMENT
  }
}

const double *as_doubles(const Typed &in, std::vector<double> *scratch) {
  if (in.code == 'd' && reinterpret_cast<uintptr_t>(in.data) % alignof(double) == 0)
    return static_cast<const double *>(in.data);
  scratch->resize(in.count);
  widen(in.code, in.data, in.count, scratch->data());
  return scratch->data();
}

bool all_finite(const double *values, size_t count) {
  // x - x is 0 for a finite x and NaN otherwise; NaN spreads through the sums.
  double a = 0.0, b = 0.0;
  size_t i = 0;
  for (; i + 2 <= count; i += 2) {
    a += values[i] - values[i];
    b += values[i + 1] - values[i + 1];
  }
  if (i < count) a += values[i] - values[i];
  return a == 0.0 && b == 0.0;
}

}  // namespace qs
