// interleave.h: frames of interleaved channels split into one run per channel.
#ifndef QM_SIGNAL_KERNELS_INTERLEAVE_H
#define QM_SIGNAL_KERNELS_INTERLEAVE_H

#include <cstddef>

namespace qs {

/// outs[c][i] = element i * channels + c of `in`, for `frames` frames of
/// `channels` elements of `size` bytes (1, 2, 4 or 8).
void deinterleave(const void *in, size_t frames, size_t channels, size_t size, void *const *outs);

}  // namespace qs

#endif
