// blocks.cpp: block lifecycle, the array-length registry and the registry of
// string blocks held by record fields.
#include "records/blocks.h"

#include <cstdint>
#include <map>
#include <unordered_map>

#include "runtime/errors.h"
#include "runtime/frame.h"
#include "runtime/proxy.h"
#include "runtime/types.h"

namespace qm {
namespace records {
namespace {

struct ArrayBlock {
  std::size_t count;  ///< elements the constructor was asked for
  std::size_t bytes;  ///< size of the block
};

/// The arrays the module made and has not freed, by block address. Never
/// destroyed, like the blocks it describes.
std::unordered_map<const void *, ArrayBlock> &array_blocks() {
  static auto *table = new std::unordered_map<const void *, ArrayBlock>();
  return *table;
}

/// Remembers the element count of an array the module made; false when
/// that bookkeeping cannot be allocated.
bool remember_array(const void *block, std::size_t count, std::size_t bytes) {
  try {
    array_blocks()[block] = ArrayBlock{count, bytes};
  } catch (...) {
    return false;
  }
  return true;
}

}  // namespace

PyObject *create_block(const BlockFamily &family, std::size_t size, const std::size_t *count) {
  void *block = unlocked([&] { return allocate_block(size); });
  if (!block) Py_RETURN_NONE;  // exhausted memory: no proxy to a null block
  // Fresh memory holds no strings: forget holders left by memory freed elsewhere.
  strings::forget_range(block, size);
  if (count && !remember_array(block, *count, size)) {
    release_block(block);
    return PyErr_NoMemory();
  }
  PyObject *proxy = make_proxy(block, type_at(family.row), kOwn | kNoShadow);
  if (!proxy) release_owned_block(block, size);
  return proxy;
}

PyObject *delete_block(const BlockFamily &family, std::size_t size, PyObject *args) {
  Entry<1> entry(args, family.delete_format);
  void *block = nullptr;
  int owned = 0;
  if (!entry ||
      !entry.pointer(0, &block, type_at(family.row), family.delete_self, kDisown, &owned)) {
    return nullptr;
  }
  if (!block) Py_RETURN_NONE;
  if (!owned && !in_owner_teardown(block)) return raise_error(PyExc_ValueError, family.not_owner);
  release_owned_block(block, size);
  Py_RETURN_NONE;
}

void release_owned_block(void *block, std::size_t size) {
  auto array = array_blocks().find(block);
  if (array != array_blocks().end()) {
    if (array->second.bytes > size) size = array->second.bytes;
    if (detail::last_array.block == block) detail::last_array = detail::LastArray{nullptr, 0};
    array_blocks().erase(array);
  }
  // The record's strings go with it, unless another record still holds them.
  strings::drop_range(block, size);
  unlocked([&] { release_block(block); });
}

namespace detail {

LastArray last_array = {nullptr, 0};

bool look_up_range(const void *block, unsigned long index) {
  auto array = array_blocks().find(block);
  if (array == array_blocks().end()) return true;  // not made here: nothing to check against
  last_array = LastArray{block, array->second.count};
  return index < array->second.count;
}

}  // namespace detail

}  // namespace records

namespace strings {
namespace {

typedef std::uintptr_t Address;

/// Every block the module made and not yet freed, with its holder count.
/// Never destroyed: fields may outlive any static destruction order.
std::unordered_map<const char *, std::size_t> &counts() {
  static auto *table = new std::unordered_map<const char *, std::size_t>();
  return *table;
}

/// Field location -> the module block that field was last given, ordered
/// so a record's locations are one range.
std::map<Address, char *> &holders() {
  static auto *table = new std::map<Address, char *>();
  return *table;
}

Address address_of(const void *p) { return reinterpret_cast<Address>(p); }

/// One holder of `block` lets go; the last one frees it.
void let_go(char *block) {
  auto count = counts().find(block);
  if (count == counts().end() || count->second == 0) return;
  if (--count->second == 0) {
    counts().erase(count);
    delete[] block;
  }
}

}  // namespace

char *make_copy(const char *text) {
  std::size_t size = std::strlen(text) + 1;
  char *block = new (std::nothrow) char[size];
  if (!block) return nullptr;
  std::memcpy(block, text, size);
  try {
    counts().emplace(block, 0);
  } catch (...) {
    delete[] block;
    return nullptr;
  }
  return block;
}

void hold(char *const *location, char *block) {
  drop_range(location, sizeof *location);
  if (!block) return;
  auto count = counts().find(block);
  if (count == counts().end()) return;
  ++count->second;
  try {
    holders()[address_of(location)] = block;
  } catch (...) {
    // Unrecorded, the holder never lets go: the block leaks, it is never freed early.
  }
}

void drop_range(const void *begin, std::size_t width) {
  auto &table = holders();
  auto at = table.lower_bound(address_of(begin));
  auto end = table.lower_bound(address_of(begin) + width);
  while (at != end) {
    char *block = at->second;
    at = table.erase(at);
    let_go(block);
  }
}

void forget_range(const void *begin, std::size_t width) {
  auto &table = holders();
  table.erase(table.lower_bound(address_of(begin)), table.lower_bound(address_of(begin) + width));
}

void copy_range(void *target, const void *source, std::size_t width, const void *image) {
  struct Held {
    std::size_t offset;
    char *block;
  };
  Held found[kMaxCopy / sizeof(char *)];
  std::size_t found_count = 0;
  auto &table = holders();
  const Address from = address_of(source);
  for (auto at = table.lower_bound(from); at != table.end() && at->first < from + width; ++at) {
    std::size_t offset = at->first - from;
    if (offset + sizeof(char *) > width || found_count == sizeof found / sizeof *found) break;
    char *copied = nullptr;
    std::memcpy(&copied, static_cast<const char *>(image) + offset, sizeof copied);
    if (copied != at->second) continue;  // the field was overwritten behind the module's back
    found[found_count++] = Held{offset, at->second};
  }
  // Count the new holders first, so letting go of the target's old ones
  // cannot free a block the copy still holds (a record copied onto itself).
  for (std::size_t i = 0; i < found_count; ++i) {
    auto count = counts().find(found[i].block);
    if (count != counts().end()) ++count->second;
  }
  drop_range(target, width);
  const Address to = address_of(target);
  for (std::size_t i = 0; i < found_count; ++i) {
    try {
      table[to + found[i].offset] = found[i].block;
    } catch (...) {
      // As in hold(): an unrecorded holder only leaks its block.
    }
  }
}

}  // namespace strings
}  // namespace qm
