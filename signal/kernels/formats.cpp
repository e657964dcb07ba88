// formats.cpp: the three codings as small structs of inline rules, and one
// loop per operation instantiated for each row of formats.def.
#include "signal/kernels/formats.h"

#include <cstring>

#include "qmdll/include/qmdll.h"
#include "signal/kernels/elements.h"

namespace qs {
namespace {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "capture words are little-endian and read as they lie in memory");

/// What every rule needs to know of a bit width.
struct Width {
  explicit Width(unsigned b)
      : bits(b), shift(32 - b), mask(0xFFFFFFFFu >> shift), half(1u << (b - 1)) {}
  unsigned bits;
  unsigned shift;  ///< 32 - bits: moves the sample's top bit to bit 31
  uint32_t mask;   ///< the sample's bits
  uint32_t half;   ///< 2**(bits-1): the top bit of the sample
};

/// Sign-extends the low `w.bits` bits of `field`.
inline int32_t extend(uint32_t field, const Width &w) {
  return static_cast<int32_t>(field << w.shift) >> w.shift;
}

struct TwosComplement {
  static int32_t value(uint32_t word, const Width &w) { return extend(word, w); }
  static uint32_t word(int64_t v, const Width &w) { return static_cast<uint32_t>(v) & w.mask; }
  static int64_t lowest(const Width &w) { return -int64_t(w.half); }
  static uint32_t rank(uint32_t word, const Width &w) { return (word ^ w.half) & w.mask; }
};

/// The value plus 2**(bits-1): two's complement with the top bit flipped.
struct OffsetBinary {
  static int32_t value(uint32_t word, const Width &w) { return extend(word ^ w.half, w); }
  static uint32_t word(int64_t v, const Width &w) {
    return (static_cast<uint32_t>(v) + w.half) & w.mask;
  }
  static int64_t lowest(const Width &w) { return -int64_t(w.half); }
  static uint32_t rank(uint32_t word, const Width &w) { return word & w.mask; }
};

/// The top bit is the sign, the bits below the magnitude (two zeros).
struct SignMagnitude {
  static int32_t value(uint32_t word, const Width &w) {
    int32_t magnitude = static_cast<int32_t>(word & (w.half - 1));
    int32_t sign = -static_cast<int32_t>((word >> (w.bits - 1)) & 1);  // 0 or -1
    return (magnitude ^ sign) - sign;
  }
  static uint32_t word(int64_t v, const Width &w) {
    return v < 0 ? w.half | static_cast<uint32_t>(-v) : static_cast<uint32_t>(v);
  }
  static int64_t lowest(const Width &w) { return 1 - int64_t(w.half); }
  static uint32_t rank(uint32_t word, const Width &w) {
    uint32_t magnitude = word & (w.half - 1);
    return (word & w.half) ? w.half - 1 - magnitude : w.half + magnitude;
  }
};

/// Calls `f` with the coding of `format` (a known one).
template <typename F>
void with_coding(uint32_t format, F &&f) {
  switch (format) {
#define QM_FORMAT(ID, CODING, NAME, CONSTANT) \
  case ID: f(CODING()); return;
#include "signal/kernels/formats.def"
#undef QM_FORMAT
  }
}

inline uint32_t word_at(const unsigned char *raw, size_t index) {
  uint32_t word;
  std::memcpy(&word, raw + 4 * index, 4);  // any alignment
  return word;
}

}  // namespace

const char *format_name(uint32_t format) {
  switch (format) {
#define QM_FORMAT(ID, CODING, NAME, CONSTANT) \
  case ID: return NAME;
#include "signal/kernels/formats.def"
#undef QM_FORMAT
  }
  return nullptr;
}

int64_t lowest_value(uint32_t format, unsigned bits) {
  int64_t low = 0;
  with_coding(format, [&](auto coding) { low = decltype(coding)::lowest(Width(bits)); });
  return low;
}

int64_t highest_value(unsigned bits) { return (int64_t(1) << (bits - 1)) - 1; }

void decode(uint32_t format, unsigned bits, const void *raw, size_t count, size_t stride,
            int32_t *out) {
  const unsigned char *bytes = static_cast<const unsigned char *>(raw);
  const Width w(bits);
  with_coding(format, [&](auto coding) {
    using Coding = decltype(coding);
    if (stride == 1) {
      for (size_t i = 0; i < count; ++i) out[i] = Coding::value(word_at(bytes, i), w);
    } else {
      for (size_t i = 0; i < count; ++i) out[i] = Coding::value(word_at(bytes, i * stride), w);
    }
  });
}

size_t encode(uint32_t format, unsigned bits, char code, const void *values, size_t count,
              uint32_t *out, int64_t *bad) {
  const Width w(bits);
  const int64_t high = highest_value(bits), low = lowest_value(format, bits);
  const size_t size = static_cast<size_t>(element_of(code)->size);
  const unsigned char *bytes = static_cast<const unsigned char *>(values);
  size_t done = count;
  with_coding(format, [&](auto coding) {
    int64_t block[1024];  // widened a block at a time: no scratch as long as the input
    for (size_t start = 0; start < count; start += 1024) {
      size_t n = count - start < 1024 ? count - start : 1024;
      widen(code, bytes + start * size, n, block);
      for (size_t i = 0; i < n; ++i) {
        if (block[i] < low || block[i] > high) {
          *bad = block[i];
          done = start + i;
          return;
        }
        out[start + i] = decltype(coding)::word(block[i], w);
      }
    }
  });
  return done;
}

void histogram(uint32_t format, unsigned bits, const void *raw, size_t count, uint32_t *counts) {
  const unsigned char *bytes = static_cast<const unsigned char *>(raw);
  const Width w(bits);
  with_coding(format, [&](auto coding) {
    for (size_t i = 0; i < count; ++i) ++counts[decltype(coding)::rank(word_at(bytes, i), w)];
  });
}

}  // namespace qs
