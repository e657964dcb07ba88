// arrays.cpp: the array classes, expanded from arrays.def. An array is a
// bare run of elements; the module additionally remembers the length of the
// arrays it made (keyed by block address, forgotten at delete) so their
// items can be range-checked. Arrays over foreign memory (_frompointer of
// a pointer the module did not make) cannot be checked.
#include <cstring>

#include "catalog/type_table.h"
#include "qmdll/include/qmdll.h"
#include "records/blocks.h"
#include "records/record_functions.h"
#include "runtime/literal.h"
#include "runtime/convert.h"
#include "runtime/errors.h"
#include "runtime/frame.h"
#include "runtime/types.h"

namespace qm {
namespace records {
namespace {

enum class ItemKind : unsigned char {
  Record,  ///< QmChannelData items: copied out into a new owned record, copied in by value
  Word,    ///< QmWord items
  Byte,    ///< QmStreamElement items
};
#define QM_ITEM_RECORD ::qm::records::ItemKind::Record
#define QM_ITEM_WORD ::qm::records::ItemKind::Word
#define QM_ITEM_BYTE ::qm::records::ItemKind::Byte

/// The fixed texts of __getitem__ or __setitem__ that concern the array and index.
struct ItemTexts {
  const char *format;  ///< "OO:<Array>___getitem__", "OOO:<Array>___setitem__"
  const char *array;   ///< argument-1 message, also the null-array refusal
  const char *index;   ///< argument-2 message
  const char *range;   ///< index beyond the length of an array the module made
};

/// One array class, with the fixed texts of its seven functions.
struct ArrayEntry {
  ItemKind item;
  BlockFamily block;         ///< descriptor of `<Array> *` and destructor texts
  int element_row;           ///< descriptor of the element pointer type
  std::size_t element_size;  ///< bytes of one element
  const char *new_format, *new_count, *new_too_large;
  ItemTexts get, set;
  const char *set_value, *set_null;
  const char *cast_format, *cast_array;
  const char *from_format, *from_pointer;
};

PyObject *new_array(const ArrayEntry &entry, PyObject *args) {
  Entry<1> call(args, entry.new_format);
  unsigned long count = 0;
  if (!call || !converted(as_unsigned(call[0], &count), entry.new_count)) return nullptr;
  // The block size must not wrap in 32 bits: a short block would be a lie.
  const unsigned long long bytes = static_cast<unsigned long long>(count) * entry.element_size;
  if (bytes > 0xFFFFFFFFull) return raise_error(PyExc_MemoryError, entry.new_too_large);
  const std::size_t elements = count;
  return create_block(entry.block, static_cast<std::size_t>(bytes), &elements);
}

/// The prologue of __getitem__ and __setitem__: the entry's, then the array
/// and the index (arguments 1 and 2). `ok` false: the error is set.
template <std::size_t N>
struct ItemCall : Entry<N> {
  void *array = nullptr;
  unsigned long index = 0;
  bool ok;
  ItemCall(const ArrayEntry &entry, const ItemTexts &texts, PyObject *args)
      : Entry<N>(args, texts.format),
        ok(*this && this->pointer(0, &array, type_at(entry.block.row), texts.array) &&
           converted(as_unsigned((*this)[1], &index), texts.index)) {}
};

/// Why element_at refused: a null array, or an index beyond the length of an
/// array the module made. Sets the error; null.
char *refuse_item(const ItemTexts &texts, const void *array) {
  if (array)
    raise_error(PyExc_IndexError, texts.range);
  else
    raise_error(PyExc_ValueError, texts.array);
  return nullptr;
}

/// The element at `index`; null with the error set for a null array or an
/// index beyond the length of an array the module made. Small, so that the
/// accessors take it inline.
inline char *element_at(const ArrayEntry &entry, const ItemTexts &texts, void *array,
                        unsigned long index) {
  if (array && index_in_range(array, index))
    return static_cast<char *>(array) + index * entry.element_size;
  return refuse_item(texts, array);
}

PyObject *get_item(const ArrayEntry &entry, PyObject *args) {
  ItemCall<2> call(entry, entry.get, args);
  char *element = call.ok ? element_at(entry, entry.get, call.array, call.index) : nullptr;
  if (!element) return nullptr;
  switch (entry.item) {
    case ItemKind::Word: {
      ::QmWord word = 0;
      unlocked([&] { std::memcpy(&word, element, sizeof word); });
      return from_unsigned(word);
    }
    case ItemKind::Byte: {
      ::QmStreamElement byte = 0;
      unlocked([&] { byte = *reinterpret_cast<::QmStreamElement *>(element); });
      return from_byte(byte);
    }
    case ItemKind::Record: {
      ::QmChannelData image;
      unlocked([&] { std::memcpy(&image, element, sizeof image); });
      ::QmChannelData *copy = copy_record(image);
      if (!copy) Py_RETURN_NONE;
      strings::copy_range(copy, element, sizeof image, &image);  // the copy shares Name
      PyObject *proxy = make_proxy(copy, type_at(entry.element_row), kOwn);
      if (!proxy) release_owned_block(copy, sizeof image);
      return proxy;
    }
  }
  return nullptr;
}

/// get_item for a word array, expanded inline in its __getitem__: the most
/// frequent item read, kept at the cost of a hand-written accessor. The same
/// frame and texts as get_item.
inline PyObject *get_word_item(const ArrayEntry &entry, PyObject *args) {
  ItemCall<2> call(entry, entry.get, args);
  char *element = call.ok ? element_at(entry, entry.get, call.array, call.index) : nullptr;
  if (!element) return nullptr;
  ::QmWord word;
  unlocked([&] { std::memcpy(&word, element, sizeof word); });
  return from_unsigned(word);
}

/// The __getitem__ of an array of items of kind K.
template <ItemKind K>
inline PyObject *get(const ArrayEntry &entry, PyObject *args) {
  if constexpr (K == ItemKind::Word)
    return get_word_item(entry, args);
  else
    return get_item(entry, args);
}

PyObject *set_item(const ArrayEntry &entry, PyObject *args) {
  ItemCall<3> call(entry, entry.set, args);
  if (!call.ok) return nullptr;
  unsigned long word = 0;
  unsigned char byte = 0;
  void *record = nullptr;
  int code = kOk;
  switch (entry.item) {
    case ItemKind::Word: code = as_unsigned(call[2], &word); break;
    case ItemKind::Byte: code = as_byte(call[2], &byte); break;
    case ItemKind::Record:
      code = convert_pointer(call[2], &record, type_at(entry.element_row), 0);
      if (code >= 0 && !record) return raise_error(PyExc_ValueError, entry.set_null);
      break;
  }
  if (!converted(code, entry.set_value)) return nullptr;
  char *element = element_at(entry, entry.set, call.array, call.index);
  if (!element) return nullptr;
  switch (entry.item) {
    case ItemKind::Word:
      unlocked([&] { std::memcpy(element, &word, sizeof(::QmWord)); });
      break;
    case ItemKind::Byte:
      unlocked([&] { *reinterpret_cast<::QmStreamElement *>(element) = byte; });
      break;
    case ItemKind::Record: {
      unsigned char image[sizeof(::QmChannelData)];
      std::memcpy(image, record, sizeof image);
      unlocked([&] { std::memcpy(element, image, sizeof image); });
      strings::copy_range(element, record, sizeof image, image);  // the element shares Name
      break;
    }
  }
  Py_RETURN_NONE;
}

/// _cast and _frompointer: the same address under the other type, borrowed.
PyObject *view(PyObject *args, const char *format, int from_row, const char *message,
               int to_row) {
  Entry<1> call(args, format);
  void *pointer = nullptr;
  if (!call || !call.pointer(0, &pointer, type_at(from_row), message)) return nullptr;
  return make_proxy(pointer, type_at(to_row), kBorrowed);
}

static_assert(sizeof(::QmChannelData) <= strings::kMaxCopy, "item copies are followed whole");

#define QM_ITEM_TEXTS(OBJECTS, ARRAY, FUNCTION)                                                \
  {OBJECTS #ARRAY FUNCTION, QM_IN_METHOD(#ARRAY FUNCTION, 1, #ARRAY " *"),                        \
   QM_IN_METHOD(#ARRAY FUNCTION, 2, "size_t"),                                                   \
   "index out of range " QM_IN_METHOD(#ARRAY FUNCTION, 2, "size_t")}
#define QM_ARRAY(ARRAY, ELEMENT, ELEMENT_ROW, ITEM, ITEM_TYPE)                                   \
  constexpr ArrayEntry ARRAY##_array = {                                                          \
      QM_ITEM_##ITEM,                                                                            \
      QM_BLOCK_FAMILY(ARRAY),                                                                    \
      ty::ELEMENT_ROW,                                                                           \
      sizeof(::ELEMENT),                                                                         \
      "O:new_" #ARRAY,                                                                           \
      QM_IN_METHOD("new_" #ARRAY, 1, "size_t"),                                                  \
      "too many elements for one block " QM_IN_METHOD("new_" #ARRAY, 1, "size_t"),               \
      QM_ITEM_TEXTS("OO:", ARRAY, "___getitem__"),                                               \
      QM_ITEM_TEXTS("OOO:", ARRAY, "___setitem__"),                                              \
      QM_IN_METHOD(#ARRAY "___setitem__", 3, ITEM_TYPE),                                         \
      "invalid null reference " QM_IN_METHOD(#ARRAY "___setitem__", 3, ITEM_TYPE),               \
      "O:" #ARRAY "_cast",                                                                       \
      QM_IN_METHOD(#ARRAY "_cast", 1, #ARRAY " *"),                                              \
      "O:" #ARRAY "_frompointer",                                                                \
      QM_IN_METHOD(#ARRAY "_frompointer", 1, #ELEMENT " *")};
#include "records/arrays.def"
#undef QM_ARRAY
#undef QM_ITEM_TEXTS

#define QM_ARRAY(...) +1
constexpr int kArrayCount = 0
#include "records/arrays.def"
    ;
#undef QM_ARRAY
static_assert(7 * kArrayCount == 21, "the array classes fill 21 rows");

}  // namespace
}  // namespace records

namespace py {

#define QM_ARRAY(ARRAY, ELEMENT, ELEMENT_ROW, ITEM, ITEM_TYPE)                            \
  PyObject *new_##ARRAY(PyObject *, PyObject *args) {                                     \
    return records::new_array(records::ARRAY##_array, args);                              \
  }                                                                                       \
  PyObject *delete_##ARRAY(PyObject *, PyObject *args) {                                  \
    return records::delete_block(records::ARRAY##_array.block, 0, args);                   \
  }                                                                                       \
  PyObject *ARRAY##___getitem__(PyObject *, PyObject *args) {                             \
    return records::get<QM_ITEM_##ITEM>(records::ARRAY##_array, args);                    \
  }                                                                                       \
  PyObject *ARRAY##___setitem__(PyObject *, PyObject *args) {                             \
    return records::set_item(records::ARRAY##_array, args);                               \
  }                                                                                       \
  PyObject *ARRAY##_cast(PyObject *, PyObject *args) {                                    \
    const records::ArrayEntry &entry = records::ARRAY##_array;                              \
    return records::view(args, entry.cast_format, entry.block.row, entry.cast_array,         \
                         entry.element_row);                                               \
  }                                                                                       \
  PyObject *ARRAY##_frompointer(PyObject *, PyObject *args) {                             \
    const records::ArrayEntry &entry = records::ARRAY##_array;                              \
    return records::view(args, entry.from_format, entry.element_row, entry.from_pointer,     \
                         entry.block.row);                                                 \
  }                                                                                       \
  PyObject *ARRAY##_swigregister(PyObject *, PyObject *args) {                            \
    return register_class(args, type_at(ty::p_##ARRAY));                                  \
  }
#include "records/arrays.def"
#undef QM_ARRAY

}  // namespace py
}  // namespace qm
