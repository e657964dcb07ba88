// blocks.h: the memory of records and arrays, in one place: the allocator of
// their blocks, the lengths of the arrays the module made, the string blocks
// that record fields hold, and a block's life from constructor to destructor.
//
// Blocks come from the global allocation operator so that every destructor
// can release any block an owning proxy holds, whoever made it.
//
// String blocks. A string setter frees the field's previous block, but a
// field may hold memory the module never made (a record the library filled)
// or a block that another record shares after a by-value copy (union
// members, `param`, capture-configuration items). So the module remembers,
// per field location, which of its own blocks that field holds, and counts
// the locations per block: a block is freed when the last location that
// holds it lets go (its field is set again, or its record is freed); a
// pointer the module did not make is replaced, never freed.
//
// Every function here that touches a registry must run with the interpreter
// lock held. A failed registry allocation only ever loses track of a block
// (a leak), never frees one early.
#ifndef QM_RECORDS_BLOCKS_H
#define QM_RECORDS_BLOCKS_H

#include <cstddef>
#include <cstring>
#include <new>

#include "catalog/type_table.h"
#include "runtime/literal.h"
#include "runtime/python.h"

namespace qm {

/// A zero-filled block, or nullptr when memory is exhausted.
inline void *allocate_block(std::size_t size) {
  void *block = ::operator new(size ? size : 1, std::nothrow);
  if (block) std::memset(block, 0, size);
  return block;
}

inline void release_block(void *block) { ::operator delete(block); }

namespace records {

/// What a family's constructor and destructor need besides their arguments.
struct BlockFamily {
  int row;                    ///< descriptor of `<Record> *` or `<Array> *`
  const char *delete_format;  ///< "O:delete_<Name>"
  const char *delete_self;    ///< argument-1 message of the destructor
  const char *not_owner;      ///< refusal to free through a proxy that does not own its block
};

/// The BlockFamily of the record or array class NAME, for the tables.
#define QM_BLOCK_FAMILY(NAME)                                                             \
  {::qm::ty::p_##NAME, "O:delete_" #NAME, QM_IN_METHOD("delete_" #NAME, 1, #NAME " *"),   \
   "cannot free through a proxy that does not own its block "                             \
   QM_IN_METHOD("delete_" #NAME, 1, #NAME " *")}

/// A new zero-filled block of `size` bytes held by an owning, unshadowed
/// proxy (lock held); None when memory is exhausted. With `count`, the block
/// is an array of that many elements and its length is remembered.
PyObject *create_block(const BlockFamily &family, std::size_t size, const std::size_t *count);

/// delete_<Name>(proxy): frees the block of an owning proxy (an array whole,
/// a record of `size` bytes); refuses a proxy that does not own its block.
PyObject *delete_block(const BlockFamily &family, std::size_t size, PyObject *args);

/// Frees a block an owning proxy gave up: the strings its fields held let
/// go first (with the lock held), each freed unless a by-value copy in
/// another live record still holds it; then the block goes with the lock
/// released. An array block goes whole, whichever destructor frees it.
void release_owned_block(void *block, std::size_t size);

namespace detail {
/// The array block index_in_range found last, with its count: item accesses
/// mostly go to the array of the access before. Forgotten when that array
/// is freed (a later block at its address may be no array). Lock held.
struct LastArray {
  const void *block;
  std::size_t count;
};
extern LastArray last_array;
/// index_in_range past the cache: the table of arrays the module made.
bool look_up_range(const void *block, unsigned long index);
}  // namespace detail

/// False only for an index at or beyond the count of an array the module
/// made. `block` is not null.
inline bool index_in_range(const void *block, unsigned long index) {
  return block == detail::last_array.block ? index < detail::last_array.count
                                           : detail::look_up_range(block, index);
}

}  // namespace records

namespace strings {

/// A registered copy of `text` (length + 1 bytes) that no field holds yet,
/// or nullptr when memory is exhausted.
char *make_copy(const char *text);

/// The field at `location` now holds `block` (a make_copy block, or null):
/// the block it held before loses that holder.
void hold(char *const *location, char *block);

/// Lets go of every location in [begin, begin + width): their blocks lose
/// one holder and are freed when none is left.
void drop_range(const void *begin, std::size_t width);

/// The memory [begin, begin + width) is new to the module: holders recorded
/// there belong to memory that went away without the module (the library's),
/// so they are forgotten and their blocks left alone (leaked, never freed
/// while something may still point at them).
void forget_range(const void *begin, std::size_t width);

/// Largest by-value copy copy_range follows (a QmChannelData is 104 bytes).
constexpr std::size_t kMaxCopy = 128;

/// After `width` (at most kMaxCopy) bytes were copied from `source` to
/// `target`, `image` being the bytes as copied: the target's previous
/// holders let go, and every block the source held at a location is now
/// also held at the matching target location. Identical ranges are fine.
void copy_range(void *target, const void *source, std::size_t width, const void *image);

}  // namespace strings

/// A copy of a record in a new block, or nullptr when memory is exhausted
/// (lock held). The copy holds no string of the module's yet: by-value
/// copies that share them say so with strings::copy_range.
template <class T>
inline T *copy_record(const T &source) {
  void *block = allocate_block(sizeof(T));
  if (!block) return nullptr;
  std::memcpy(block, &source, sizeof(T));
  strings::forget_range(block, sizeof(T));
  return static_cast<T *>(block);
}

}  // namespace qm

#endif
