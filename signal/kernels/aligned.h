// aligned.h: work buffers of doubles on a 16-byte boundary (for the SSE2
// loads of the transform; 32-bit Windows' allocator gives 8), lent from a
// small pool: a block above the allocator's mapping threshold (512 KB on a
// 32-bit Linux) would otherwise come fresh from the system on every call and
// cost a page fault per 4 KB, as much as the transform of 2**20 samples.
#ifndef QM_SIGNAL_KERNELS_ALIGNED_H
#define QM_SIGNAL_KERNELS_ALIGNED_H

#include <cstddef>

namespace qs {

/// A work buffer of at least `count` doubles, uninitialised, for one call;
/// goes back to the pool when destroyed. Throws std::bad_alloc.
class AlignedDoubles {
 public:
  explicit AlignedDoubles(size_t count);
  ~AlignedDoubles();
  AlignedDoubles(const AlignedDoubles &) = delete;
  AlignedDoubles &operator=(const AlignedDoubles &) = delete;
  double *get() const { return data_; }

 private:
  char *raw_;         ///< the allocation (owned while lent)
  size_t capacity_;   ///< doubles it holds from data_
  double *data_;      ///< raw_ rounded up to 16 bytes
};

}  // namespace qs

#endif
