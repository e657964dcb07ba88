// fft.cpp: an iterative self-sorting (Stockham) complex transform, radix 4
// with one radix-2 stage when the number of points is an odd power of two,
// one SSE2 register per complex number; then the real-input separation.
//
// Before each stage the m points hold, row-major, `rows` x `cols` numbers,
// column c being the rows-point transform of the input's x[c::cols]. A
// radix-4 stage joins columns c, c + cols/4, c + cols/2, c + 3 cols/4 into
// transforms four times as long (decimation in time), writing them to the
// other buffer; after the last stage (cols = 1) the results lie in natural
// order. Every stage reads and writes whole runs, which keeps 2**21 points
// (32 MB) moving at the memory's speed. Twiddles are computed once per
// length with cos/sin of exact fractions of a turn, per stage in the order
// the stage reads them.
#include "signal/kernels/fft.h"

#include <cmath>
#include <emmintrin.h>
#include <vector>

#include "signal/kernels/aligned.h"
#include "signal/kernels/cache.h"

#ifndef __SSE2__
#error "the transform is written for SSE2 (compile with -msse2)"
#endif

namespace qs {

struct Plan {
  size_t n = 0;          ///< real samples
  size_t m = 0;          ///< complex points: n / 2
  bool radix2 = false;   ///< the first stage is radix 2 (log2 m odd)
  /// W(4 rows)^(q r) for q = 1, 2, 3 and r < rows of each radix-4 stage in
  /// turn, as (re, im) pairs.
  std::vector<double> twiddles;
  /// W(n)^k for k = 0 .. m/2 as (re, im) pairs: the separation's factors.
  std::vector<double> halves;
};

namespace {

const double kTwoPi = 6.283185307179586476925286766559;

typedef __m128d Complex;  ///< [re, im]

inline Complex load(const double *p) { return _mm_load_pd(p); }
inline void store(double *p, Complex v) { _mm_store_pd(p, v); }

/// A twiddle (re, im) in the two forms complex multiplication takes.
struct Factor {
  explicit Factor(const double *w)
      : real(_mm_set1_pd(w[0])), imag(_mm_set_pd(w[1], -w[1])) {}
  Complex real;  ///< [re, re]
  Complex imag;  ///< [-im, im]
};

/// a * w: [ar wr - ai wi, ai wr + ar wi].
inline Complex times(Complex a, const Factor &w) {
  return _mm_add_pd(_mm_mul_pd(a, w.real), _mm_mul_pd(_mm_shuffle_pd(a, a, 1), w.imag));
}

/// a * -i: [ai, -ar].
inline Complex times_minus_i(Complex a) {
  return _mm_xor_pd(_mm_shuffle_pd(a, a, 1), _mm_set_pd(-0.0, 0.0));
}

/// The first stage when log2 m is odd: rows 1, twiddles 1.
void radix2_stage(const double *x, double *y, size_t m) {
  const size_t half = m / 2;
  for (size_t c = 0; c < half; ++c) {
    Complex a = load(x + 2 * c), b = load(x + 2 * (half + c));
    store(y + 2 * c, _mm_add_pd(a, b));
    store(y + 2 * (half + c), _mm_sub_pd(a, b));
  }
}

void radix4_stage(const double *x, double *y, size_t rows, size_t cols, const double *twiddles) {
  const size_t q = cols / 4;  // the new number of columns
  for (size_t r = 0; r < rows; ++r) {
    const Factor w1(twiddles + 6 * r), w2(twiddles + 6 * r + 2), w3(twiddles + 6 * r + 4);
    const double *in = x + 2 * r * cols;
    double *out0 = y + 2 * r * q, *out1 = y + 2 * (r + rows) * q;
    double *out2 = y + 2 * (r + 2 * rows) * q, *out3 = y + 2 * (r + 3 * rows) * q;
    for (size_t c = 0; c < q; ++c) {
      Complex a0 = load(in + 2 * c);
      Complex a1 = times(load(in + 2 * (q + c)), w1);
      Complex a2 = times(load(in + 2 * (2 * q + c)), w2);
      Complex a3 = times(load(in + 2 * (3 * q + c)), w3);
      Complex b0 = _mm_add_pd(a0, a2), b1 = _mm_sub_pd(a0, a2);
      Complex b2 = _mm_add_pd(a1, a3), b3 = times_minus_i(_mm_sub_pd(a1, a3));
      store(out0 + 2 * c, _mm_add_pd(b0, b2));
      store(out1 + 2 * c, _mm_add_pd(b1, b3));
      store(out2 + 2 * c, _mm_sub_pd(b0, b2));
      store(out3 + 2 * c, _mm_sub_pd(b1, b3));
    }
  }
}

/// exp(-2 pi i k / n) as (re, im).
void unit(size_t k, size_t n, double *out) {
  double angle = kTwoPi * (double(k) / double(n));  // k / n is exact
  out[0] = std::cos(angle);
  out[1] = -std::sin(angle);
}

std::shared_ptr<const Plan> make_plan(size_t n) {
  auto plan = std::make_shared<Plan>();
  plan->n = n;
  plan->m = n / 2;
  int log2m = 0;
  while ((size_t(1) << log2m) < plan->m) ++log2m;
  plan->radix2 = log2m % 2 == 1;
  size_t total = 0;
  for (size_t rows = plan->radix2 ? 2 : 1; rows * 4 <= plan->m; rows *= 4) total += 6 * rows;
  plan->twiddles.resize(total);
  double *t = plan->twiddles.data();
  for (size_t rows = plan->radix2 ? 2 : 1; rows * 4 <= plan->m; rows *= 4) {
    for (size_t r = 0; r < rows; ++r, t += 6) {
      for (size_t q = 1; q <= 3; ++q) unit(q * r, 4 * rows, t + 2 * (q - 1));
    }
  }
  plan->halves.resize(2 * (plan->m / 2 + 1));
  for (size_t k = 0; k <= plan->m / 2; ++k) unit(k, n, &plan->halves[2 * k]);
  return plan;
}

}  // namespace

std::shared_ptr<const Plan> plan_for(size_t n) {
  // Never destroyed: a daemon thread may still compute while the process exits.
  static auto *cache = new Cache<size_t, Plan, 4>();
  return cache->get(n, [n] { return make_plan(n); });
}

const double *transform(const Plan &plan, double *work, double *scratch) {
  double *x = work, *y = scratch;
  const size_t m = plan.m;
  size_t rows = 1;
  if (plan.radix2) {
    radix2_stage(x, y, m);
    std::swap(x, y);
    rows = 2;
  }
  const double *twiddles = plan.twiddles.data();
  for (; rows * 4 <= m; rows *= 4) {
    radix4_stage(x, y, rows, m / rows, twiddles);
    twiddles += 6 * rows;
    std::swap(x, y);
  }
  return x;
}

namespace {

/// X[k] and X[m - k] from Z[k] and Z[m - k] (k = 1 .. m/2): with
/// A = Z[k] + conj Z[m-k], B = Z[k] - conj Z[m-k], t = W(n)^k,
/// X[k] = A/2 - i t B/2 and X[m-k] = conj(A/2 + i t B/2).
template <typename Emit>
void separate_pairs(const Plan &plan, const double *z, Emit emit) {
  const size_t m = plan.m;
  const double *t = plan.halves.data();
  for (size_t k = 1; k <= m / 2; ++k) {
    const double *p = z + 2 * k, *q = z + 2 * (m - k);
    double ar = p[0] + q[0], ai = p[1] - q[1];  // A
    double br = p[0] - q[0], bi = p[1] + q[1];  // B
    double tr = t[2 * k], ti = t[2 * k + 1];
    // i t B / 2 = (i (tr br - ti bi) - (tr bi + ti br)) / 2
    double fr = -0.5 * (tr * bi + ti * br), fi = 0.5 * (tr * br - ti * bi);
    double er = 0.5 * ar, ei = 0.5 * ai;
    emit(k, er - fr, ei - fi, m - k, er + fr, -(ei + fi));
  }
}

}  // namespace

void separate(const Plan &plan, const double *z, double *out) {
  const size_t m = plan.m;
  out[0] = z[0] + z[1];
  out[1] = 0.0;
  out[2 * m] = z[0] - z[1];
  out[2 * m + 1] = 0.0;
  separate_pairs(plan, z, [out](size_t k, double xr, double xi, size_t j, double yr, double yi) {
    out[2 * k] = xr;
    out[2 * k + 1] = xi;
    out[2 * j] = yr;
    out[2 * j + 1] = yi;
  });
}

void separate_power(const Plan &plan, const double *z, double scale, double *power) {
  const size_t m = plan.m;
  double first = z[0] + z[1], last = z[0] - z[1];
  power[0] = 0.5 * scale * first * first;
  power[m] = 0.5 * scale * last * last;
  separate_pairs(plan, z, [power, scale](size_t k, double xr, double xi, size_t j, double yr,
                                         double yi) {
    power[k] = scale * (xr * xr + xi * xi);
    power[j] = scale * (yr * yr + yi * yi);
  });
}

}  // namespace qs
