// blocks.h: the one allocator of record and array blocks. Blocks come from
// the global allocation operator so that every destructor can release any
// block an owning proxy holds, whoever made it.
#ifndef QM_RUNTIME_BLOCKS_H
#define QM_RUNTIME_BLOCKS_H

#include <cstddef>
#include <cstring>
#include <new>

namespace qm {

/// A zero-filled block, or nullptr when memory is exhausted.
inline void *allocate_block(std::size_t size) {
  void *block = ::operator new(size ? size : 1, std::nothrow);
  if (block) std::memset(block, 0, size);
  return block;
}

inline void release_block(void *block) { ::operator delete(block); }

/// A zero-filled copy of a record, or nullptr when memory is exhausted.
template <class T>
inline T *copy_record(const T &source) {
  void *block = allocate_block(sizeof(T));
  if (block) std::memcpy(block, &source, sizeof(T));
  return static_cast<T *>(block);
}

}  // namespace qm

#endif
