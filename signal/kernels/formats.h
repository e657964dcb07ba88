// formats.h: sample words to signed values and back, per data format
// (formats.def) and bit width 1..32, and the code histogram. A word is a
// little-endian 32-bit value holding the sample in its low `bits` bits; the
// bits above are ignored. Callers check the format and width first.
#ifndef QM_SIGNAL_KERNELS_FORMATS_H
#define QM_SIGNAL_KERNELS_FORMATS_H

#include <cstddef>
#include <cstdint>

namespace qs {

constexpr unsigned kMaxBits = 32;
/// The widest code a histogram counts: 2**24 counters are 64 MB.
constexpr unsigned kMaxHistogramBits = 24;

/// The name of data format `format` ("binary", ...), or null for an unknown one.
const char *format_name(uint32_t format);

/// The smallest and largest value of `bits`-bit samples in `format`.
int64_t lowest_value(uint32_t format, unsigned bits);
int64_t highest_value(unsigned bits);

/// out[i] = the value of word i * stride of `raw` (`count` results).
void decode(uint32_t format, unsigned bits, const void *raw, size_t count, size_t stride,
            int32_t *out);

/// The words of `count` values of element type `code` (an integral one).
/// Stops at the first value outside the width's range: returns its index
/// (with the value in *bad), or `count` when every value was encoded.
size_t encode(uint32_t format, unsigned bits, char code, const void *values, size_t count,
              uint32_t *out, int64_t *bad);

/// Adds one to counts[rank] for each of `count` words, rank being the code's
/// place in ascending value order: value + 2**(bits-1) for offset binary and
/// two's complement; for sign and magnitude the codes -M..-1, -0, +0, 1..M
/// in that order (-0 at 2**(bits-1) - 1). `counts` holds 2**bits counters.
void histogram(uint32_t format, unsigned bits, const void *raw, size_t count, uint32_t *counts);

}  // namespace qs

#endif
