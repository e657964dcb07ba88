// fields.h: the record families' data. A record is a table of fields
// (records.def); every field row becomes one FieldEntry holding its place,
// its kind and its fixed messages, and every accessor is one call of the
// shared cores below, which switch on the kind.
#ifndef QM_RECORDS_FIELDS_H
#define QM_RECORDS_FIELDS_H

#include <cstddef>
#include <cstring>
#include <type_traits>

#include "catalog/type_table.h"
#include "qmdll/include/qmdll.h"
#include "records/blocks.h"
#include "runtime/convert.h"
#include "runtime/errors.h"
#include "runtime/frame.h"
#include "runtime/proxy.h"
#include "runtime/python.h"

namespace qm {
namespace records {

enum class FieldKind : unsigned char {
  Word,     ///< QmWord / QmBool: unsigned rule, int or long result
  Enum,     ///< 32-bit enumeration: int rule, int result
  Double,   ///< QmDouble, 8 bytes at any multiple of 4
  String,   ///< QmString the record owns: the setter stores a copy
  Words,    ///< QmWord [N] inline: copied from a QmWord *, read as a borrowed QmWord *
  Pointer,  ///< a pointer to memory outside the record, stored as given
  Record,   ///< another record by value: copied in, read as a borrowed view
};

/// The kinds as the tables spell them: WORD, POINTER(p_QmChannelData, DISOWN), ...
namespace field_kind {
template <FieldKind K, int Row = -1, int Flags = 0>
struct Kind {
  static constexpr FieldKind kind = K;
  static constexpr int row = Row;      ///< descriptor of a pointer, word-array or record value
  static constexpr int flags = Flags;  ///< conversion flags of the setter's value
};
constexpr int DISOWN = kDisown;  ///< the setter takes the block over from the passed proxy
constexpr int KEEP = 0;          ///< the passed proxy keeps its ownership
using Word = Kind<FieldKind::Word>;
using Enum = Kind<FieldKind::Enum>;
using Double = Kind<FieldKind::Double>;
using String = Kind<FieldKind::String>;
using Words = Kind<FieldKind::Words, ty::p_unsigned_long>;
template <int Row, int Flags>
using Pointer = Kind<FieldKind::Pointer, Row, Flags>;
template <class Inner, int Row>
struct Record : Kind<FieldKind::Record, Row> {
  using inner = Inner;
};
}  // namespace field_kind

#define QM_KIND_WORD ::qm::records::field_kind::Word
#define QM_KIND_ENUM ::qm::records::field_kind::Enum
#define QM_KIND_DOUBLE ::qm::records::field_kind::Double
#define QM_KIND_STRING ::qm::records::field_kind::String
#define QM_KIND_WORDS ::qm::records::field_kind::Words
#define QM_KIND_POINTER(ROW, OWNERSHIP) \
  ::qm::records::field_kind::Pointer<::qm::ty::ROW, ::qm::records::field_kind::OWNERSHIP>
#define QM_KIND_RECORD(INNER) ::qm::records::field_kind::Record<::INNER, ::qm::ty::p_##INNER>

// ---- compile-time agreement of a table row with the library's declaration ----

constexpr bool same_text(const char *a, const char *b) {
  while (*a && *a == *b) ++a, ++b;
  return *a == *b;
}

constexpr bool ends_with_star(const char *text) {
  const char *last = text;
  while (*text) last = text++;
  return *last == '*';
}

/// N of a declared "QmWord [N]".
constexpr std::size_t declared_count(const char *text) {
  while (*text && *text != '[') ++text;
  std::size_t count = 0;
  if (*text) ++text;
  while (*text >= '0' && *text <= '9') count = count * 10 + static_cast<std::size_t>(*text++ - '0');
  return count;
}

/// True when a row's kind and declared type name fit the member's C++ type.
template <class Kind, class Member>
constexpr bool fits(const char *declared) {
  if constexpr (Kind::kind == FieldKind::Word)
    return std::is_same<Member, ::QmWord>::value &&
           (same_text(declared, "QmWord") || same_text(declared, "QmBool"));
  else if constexpr (Kind::kind == FieldKind::Enum)
    return std::is_enum<Member>::value && sizeof(Member) == 4 && !ends_with_star(declared);
  else if constexpr (Kind::kind == FieldKind::Double)
    return std::is_same<Member, ::QmDouble>::value && same_text(declared, "QmDouble");
  else if constexpr (Kind::kind == FieldKind::String)
    return std::is_same<Member, ::QmString>::value && same_text(declared, "QmString");
  else if constexpr (Kind::kind == FieldKind::Words)
    return std::is_same<typename std::remove_extent<Member>::type, ::QmWord>::value &&
           std::extent<Member>::value == declared_count(declared);
  else if constexpr (Kind::kind == FieldKind::Pointer)
    return std::is_pointer<Member>::value && ends_with_star(declared);
  else
    return std::is_same<Member, typename Kind::inner>::value && ends_with_star(declared);
}

// ---- the tables' runtime form ----

/// One field of one record, with the fixed texts of its two accessors.
struct FieldEntry {
  FieldKind kind;
  int record_row;           ///< descriptor of the containing record
  std::size_t offset;       ///< bytes from the start of the record
  std::size_t width;        ///< bytes the field occupies
  int value_row;            ///< descriptor of a pointer, word-array or record value
  int value_flags;          ///< conversion flags of the setter's value (kDisown)
  const char *set_format;   ///< "OO:<Record>_<field>_set"
  const char *get_format;   ///< "O:<Record>_<field>_get"
  const char *set_record;   ///< argument-1 message of the setter
  const char *get_record;   ///< argument-1 message of the getter
  const char *set_value;    ///< argument-2 message of the setter
  const char *null_value;   ///< "invalid null reference in variable ..." (words, records)
};

/// One record family's constructor and destructor.
struct RecordEntry {
  BlockFamily block;       ///< descriptor and destructor texts
  std::size_t size;        ///< bytes of one record
  const char *new_format;  ///< ":new_<Record>"
};

PyObject *set_field(const FieldEntry &field, PyObject *args);
PyObject *get_field(const FieldEntry &field, PyObject *args);

/// get_field for a word field, expanded inline in that field's getter: the
/// most frequent read, kept at the cost of a hand-written accessor. The same
/// frame and texts as get_field.
inline PyObject *get_word_field(const FieldEntry &field, PyObject *args) {
  Entry<1> entry(args, field.get_format);
  void *record = nullptr;
  if (!entry || !entry.pointer(0, &record, type_at(field.record_row), field.get_record)) {
    return nullptr;
  }
  if (!record) return raise_error(PyExc_ValueError, field.get_record);
  ::QmWord word;
  unlocked([&] { std::memcpy(&word, static_cast<char *>(record) + field.offset, sizeof word); });
  return from_unsigned(word);
}

/// The getter of a field of kind K.
template <FieldKind K>
inline PyObject *get(const FieldEntry &field, PyObject *args) {
  if constexpr (K == FieldKind::Word)
    return get_word_field(field, args);
  else
    return get_field(field, args);
}
PyObject *new_record(const RecordEntry &record, PyObject *args);

}  // namespace records
}  // namespace qm

#endif
