// power.h: samples to spectra: the real transform, the one-sided
// mean-square power spectrum of windowed samples, levels in decibels.
#ifndef QM_SIGNAL_KERNELS_POWER_H
#define QM_SIGNAL_KERNELS_POWER_H

#include <cstddef>

#include "signal/kernels/elements.h"
#include "signal/kernels/windows.h"

namespace qs {

/// X[0] .. X[n/2] of the n real samples `in` (a power of two, 2 up to
/// kMaxTransform) as n + 2 doubles (re, im). False when a sample is not finite.
bool real_transform(const Typed &in, double *out);

/// The mean-square power of bins 0 .. n/2 of `in` weighted by window `id`:
/// 2 |X[k]|^2 / (n sum w^2), bins 0 and n/2 halved, so that a sine of
/// amplitude A sums to A^2/2 over its bins and the bins of any signal sum to
/// its mean square (rectangular window). False when a sample is not finite.
bool power_spectrum(const Typed &in, WindowId id, double *power);

/// out[k] = 10 log10(power[k] * scale / reference), at least `floor` (also
/// where the ratio is not positive).
void decibels(const double *power, size_t count, double reference, double scale, double floor,
              double *out);

}  // namespace qs

#endif
