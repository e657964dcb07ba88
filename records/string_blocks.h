// string_blocks.h: the string blocks the module copied into record fields.
//
// A string setter frees the field's previous block, but a field may hold
// memory the module never made (a record the library filled) or a block
// that another record shares after a by-value copy (union members, `param`,
// capture-configuration items). So the module remembers, per field
// location, which of its own blocks that field holds, and counts the
// locations per block: a block is freed when the last location that holds
// it lets go; a pointer the module did not make is replaced, never freed.
//
// Every function here touches the registry and must run with the
// interpreter lock held. A failed registry allocation only ever loses track
// of a block (a leak), never frees one early.
#ifndef QM_RECORDS_STRING_BLOCKS_H
#define QM_RECORDS_STRING_BLOCKS_H

#include <cstddef>

namespace qm {
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

/// The memory [begin, begin + width) goes away with its record: its
/// locations stop holding, but their blocks are not freed (a record's strings
/// outlive it unless the caller clears the fields first).
void forget_range(const void *begin, std::size_t width);

/// Largest by-value copy copy_range follows (a QmChannelData is 104 bytes).
constexpr std::size_t kMaxCopy = 128;

/// After `width` (at most kMaxCopy) bytes were copied from `source` to
/// `target`, `image` being the bytes as copied: the target's previous
/// holders let go, and every block the source held at a location is now
/// also held at the matching target location. Identical ranges are fine.
void copy_range(void *target, const void *source, std::size_t width, const void *image);

}  // namespace strings
}  // namespace qm

#endif
