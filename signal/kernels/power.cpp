// power.cpp: loading samples into the transform's buffer (widened and
// weighted in one pass), the transforms, decibels.
#include "signal/kernels/power.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <emmintrin.h>

#include "signal/kernels/aligned.h"
#include "signal/kernels/fft.h"

namespace qs {
namespace {

/// work[i] = in[i] * w[i] (w empty: 1). False when a sample is not finite.
bool load(const Typed &in, const WindowWeights &weights, double *work) {
  const int size = element_of(in.code)->size;
  const unsigned char *bytes = static_cast<const unsigned char *>(in.data);
  const double *w = weights.w.empty() ? nullptr : weights.w.data();
  for (size_t start = 0; start < in.count; start += 1024) {
    size_t n = in.count - start < 1024 ? in.count - start : 1024;
    double *out = work + start;
    widen(in.code, bytes + start * size, n, out);
    if (w) {
      for (size_t i = 0; i < n; ++i) out[i] *= w[start + i];
    }
  }
  return element_of(in.code)->integral || all_finite(work, in.count);
}

/// 10 log10(x) for a positive finite x, to within a few units in the last
/// place: the C library's log10 is the x87's fyl2x on 32-bit x86, some
/// 60 ns a bin. x = m 2**e with m in [sqrt(1/2), sqrt(2)); ln m = 2 atanh s,
/// s = (m - 1) / (m + 1), |s| < 0.1716, summed to s**21 (the next term is
/// below 1e-18 of the result).
double ten_log10(double x) {
  // The bits are taken apart in an SSE2 register: a 32-bit target has no
  // 64-bit integer registers, and a trip through memory costs more than the sum.
  const __m128i bits = _mm_castpd_si128(_mm_set_sd(x));
  const int biased = _mm_cvtsi128_si32(_mm_srli_epi64(bits, 52));  // x > 0: no sign bit
  if (biased == 0 || biased == 2047) return 10.0 * std::log10(x);   // subnormal or not finite
  const __m128i fraction = _mm_set_epi32(0, 0, 0x000FFFFF, -1), one = _mm_set_epi32(0, 0, 0x3FF00000, 0);
  double m = _mm_cvtsd_f64(_mm_castsi128_pd(_mm_or_si128(_mm_and_si128(bits, fraction), one)));
  int e = biased - 1023;
  if (m > 1.4142135623730951) {
    m *= 0.5;
    e += 1;
  }
  const double s = (m - 1.0) / (m + 1.0), z = s * s;
  const double series =
      ((((((((((1.0 / 21 * z + 1.0 / 19) * z + 1.0 / 17) * z + 1.0 / 15) * z + 1.0 / 13) * z +
             1.0 / 11) * z + 1.0 / 9) * z + 1.0 / 7) * z + 1.0 / 5) * z + 1.0 / 3) * z + 1.0);
  const double kLn2High = 6.93147180369123816490e-01, kLn2Low = 1.90821492927058770002e-10;
  const double ln = double(e) * kLn2High + (double(e) * kLn2Low + 2.0 * s * series);
  return ln * 4.3429448190325182765;  // 10 / ln 10
}

}  // namespace

bool real_transform(const Typed &in, double *out) {
  std::shared_ptr<const Plan> plan = plan_for(in.count);
  AlignedDoubles work(in.count), scratch(in.count);
  if (!load(in, WindowWeights{{}, 0.0, 0.0}, work.get())) return false;
  separate(*plan, transform(*plan, work.get(), scratch.get()), out);
  return true;
}

bool power_spectrum(const Typed &in, WindowId id, double *power) {
  std::shared_ptr<const Plan> plan = plan_for(in.count);
  std::shared_ptr<const WindowWeights> weights = window_weights(id, in.count);
  AlignedDoubles work(in.count), scratch(in.count);
  if (!load(in, *weights, work.get())) return false;
  double scale = 2.0 / (double(in.count) * weights->squares);
  separate_power(*plan, transform(*plan, work.get(), scratch.get()), scale, power);
  return true;
}

void decibels(const double *power, size_t count, double reference, double scale, double floor,
              double *out) {
  const double factor = scale / reference;  // one division, not one a bin
  for (size_t k = 0; k < count; ++k) {
    double ratio = power[k] * factor;
    double level = ratio > 0.0 ? ten_log10(ratio) : floor;
    out[k] = level > floor ? level : floor;
  }
}

}  // namespace qs
