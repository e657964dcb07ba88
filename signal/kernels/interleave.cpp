// interleave.cpp: one loop per element size.
#include "signal/kernels/interleave.h"

#include <cstdint>
#include <cstring>

namespace qs {
namespace {

template <size_t Size>
void split(const unsigned char *in, size_t frames, size_t channels, void *const *outs) {
  for (size_t c = 0; c < channels; ++c) {
    unsigned char *out = static_cast<unsigned char *>(outs[c]);
    const unsigned char *from = in + c * Size;
    for (size_t i = 0; i < frames; ++i) std::memcpy(out + i * Size, from + i * channels * Size, Size);
  }
}

}  // namespace

void deinterleave(const void *in, size_t frames, size_t channels, size_t size, void *const *outs) {
  const unsigned char *bytes = static_cast<const unsigned char *>(in);
  switch (size) {
    case 1: return split<1>(bytes, frames, channels, outs);
    case 2: return split<2>(bytes, frames, channels, outs);
    case 4: return split<4>(bytes, frames, channels, outs);
    case 8: return split<8>(bytes, frames, channels, outs);
  }
}

}  // namespace qs
