// aligned.cpp: the pool of work buffers. It keeps the few most recently
// returned blocks (two threads each using two); a request takes the
// smallest kept block that is large enough.
#include "signal/kernels/aligned.h"

#include <cstdint>
#include <mutex>
#include <vector>

namespace qs {
namespace {

struct Block {
  char *raw;
  size_t capacity;  ///< doubles after alignment
};

constexpr size_t kKept = 4;

std::mutex pool_mutex;
std::vector<Block> &pool() {
  static std::vector<Block> *blocks = [] {  // kept for the process
    auto *made = new std::vector<Block>();
    made->reserve(kKept + 1);  // a block going back never allocates
    return made;
  }();
  return *blocks;
}

double *aligned(char *raw) {
  return reinterpret_cast<double *>((reinterpret_cast<uintptr_t>(raw) + 15) & ~uintptr_t(15));
}

}  // namespace

AlignedDoubles::AlignedDoubles(size_t count) : raw_(nullptr), capacity_(0), data_(nullptr) {
  {
    std::lock_guard<std::mutex> lock(pool_mutex);
    std::vector<Block> &blocks = pool();
    size_t best = blocks.size();
    for (size_t i = 0; i < blocks.size(); ++i)
      if (blocks[i].capacity >= count && (best == blocks.size() || blocks[i].capacity < blocks[best].capacity))
        best = i;
    if (best < blocks.size()) {
      raw_ = blocks[best].raw;
      capacity_ = blocks[best].capacity;
      blocks.erase(blocks.begin() + best);
    }
  }
  if (!raw_) {
    raw_ = new char[count * sizeof(double) + 15];
    capacity_ = count;
  }
  data_ = aligned(raw_);
}

AlignedDoubles::~AlignedDoubles() {
  char *dropped = nullptr;
  {
    std::lock_guard<std::mutex> lock(pool_mutex);
    std::vector<Block> &blocks = pool();
    if (blocks.size() == kKept) {  // the oldest goes
      dropped = blocks.front().raw;
      blocks.erase(blocks.begin());
    }
    blocks.push_back(Block{raw_, capacity_});
  }
  delete[] dropped;
}

}  // namespace qs
