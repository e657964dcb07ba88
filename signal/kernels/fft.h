// fft.h: the real transform of a power-of-two number of samples in double
// precision: one complex transform of half the length (even samples as real
// parts, odd ones as imaginary parts) and a pass that separates the halves.
#ifndef QM_SIGNAL_KERNELS_FFT_H
#define QM_SIGNAL_KERNELS_FFT_H

#include <cstddef>
#include <memory>

namespace qs {

/// The longest real transform: 2**22 samples (2**21 complex points, with
/// their tables 100 MB of a 32-bit process).
constexpr size_t kMaxTransform = size_t(1) << 22;

/// The tables of one transform length (twiddles per stage, the separation's
/// factors), immutable and shared between threads.
struct Plan;

/// The plan for real transforms of `n` samples (a power of two, 2 up to
/// kMaxTransform), from a small cache. Throws std::bad_alloc.
std::shared_ptr<const Plan> plan_for(size_t n);

/// Transforms the `n` real samples held in `work` (16-byte aligned, n
/// doubles) with `scratch` (the same size). Returns where the n/2 complex
/// results lie (work or scratch), interleaved real and imaginary parts, for
/// the separating passes below.
const double *transform(const Plan &plan, double *work, double *scratch);

/// X[0] .. X[n/2] of the real samples from transform()'s result:
/// n + 2 doubles, interleaved real and imaginary parts.
void separate(const Plan &plan, const double *z, double *out);

/// |X[k]|^2 * scale for k = 0 .. n/2, the first and last halved (the
/// one-sided mean-square convention): n/2 + 1 doubles.
void separate_power(const Plan &plan, const double *z, double scale, double *power);

}  // namespace qs

#endif
