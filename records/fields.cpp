// fields.cpp: the one accessor core of every record field, and the record
// constructor and destructor. Each runs the wrapper frame: lock, parse,
// convert (first failure wins, nothing stored), the field access with the
// lock released, result. Registry bookkeeping happens with the lock held.
#include "records/fields.h"

#include <cstring>
#include <unordered_map>

#include "records/string_blocks.h"
#include "runtime/blocks.h"
#include "runtime/convert.h"
#include "runtime/errors.h"
#include "runtime/frame.h"
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

/// A setter's converted value, by kind.
union Value {
  unsigned long word;
  int enumeration;
  double real;
  char *text;
  void *pointer;
};

int convert_value(const FieldEntry &field, PyObject *obj, Value *value) {
  switch (field.kind) {
    case FieldKind::Word: return as_unsigned(obj, &value->word);
    case FieldKind::Enum: return as_int(obj, &value->enumeration);
    case FieldKind::Double: return as_double(obj, &value->real);
    case FieldKind::String: {
      int marker = 0;  // never copied here: the setter makes the record's own copy
      return as_string(obj, &value->text, nullptr, &marker);
    }
    case FieldKind::Words:
    case FieldKind::Pointer:
    case FieldKind::Record:
      return convert_pointer(obj, &value->pointer, type_at(field.value_row), field.value_flags);
  }
  return kFail;
}

/// Null-record refusal of the operations that reach into the record.
PyObject *null_record(const char *message) {
  PyErr_SetString(PyExc_ValueError, message);
  return nullptr;
}

PyObject *set_string(const FieldEntry &field, char *base, const char *text) {
  char *copy = nullptr;
  if (text) {
    copy = strings::make_copy(text);
    if (!copy) return PyErr_NoMemory();  // the field keeps its value
  }
  char **location = reinterpret_cast<char **>(base + field.offset);
  // Stored with the lock held, in one step with the registry: two threads
  // setting one field could otherwise leave the registry owning the copy
  // that lost and free the one the field holds.
  *location = copy;
  strings::hold(location, copy);  // frees the previous block if it was ours and its last
  Py_RETURN_NONE;
}

PyObject *set_nested(const FieldEntry &field, char *base, const void *source) {
  unsigned char image[strings::kMaxCopy];
  char *target = base + field.offset;
  unlocked([&] {
    std::memcpy(image, source, field.width);
    std::memcpy(target, image, field.width);
  });
  strings::copy_range(target, source, field.width, image);
  Py_RETURN_NONE;
}

}  // namespace

PyObject *set_field(const FieldEntry &field, PyObject *args) {
  CallFrame frame;
  PyObject *objects[2] = {};
  if (!parse_args<2>(args, field.set_format, objects)) return nullptr;
  void *record = nullptr;
  int code = convert_pointer(objects[0], &record, type_at(field.record_row), 0);
  if (code < 0) return argument_error(code, field.set_record);
  Value value{};
  code = convert_value(field, objects[1], &value);
  if (code < 0) return argument_error(code, field.set_value);

  char *base = static_cast<char *>(record);
  char *at = base + field.offset;
  switch (field.kind) {
    case FieldKind::Word:
      if (base) unlocked([&] { std::memcpy(at, &value.word, sizeof value.word); });
      break;
    case FieldKind::Enum:
      if (base) unlocked([&] { std::memcpy(at, &value.enumeration, sizeof value.enumeration); });
      break;
    case FieldKind::Double:
      if (base) unlocked([&] { std::memcpy(at, &value.real, sizeof value.real); });
      break;
    case FieldKind::Pointer:
      if (base) unlocked([&] { std::memcpy(at, &value.pointer, sizeof value.pointer); });
      break;
    case FieldKind::String:
      if (!base) return null_record(field.set_record);
      return set_string(field, base, value.text);
    case FieldKind::Words:
      if (!base) return null_record(field.set_record);
      if (!value.pointer) {
        PyErr_SetString(PyExc_ValueError, field.null_value);
        return nullptr;
      }
      unlocked([&] {
        const ::QmWord *source = static_cast<const ::QmWord *>(value.pointer);
        ::QmWord *target = reinterpret_cast<::QmWord *>(at);
        for (std::size_t i = 0; i < field.width / sizeof(::QmWord); ++i) target[i] = source[i];
      });
      break;
    case FieldKind::Record:
      if (!base) break;  // like the scalar setters: nothing to store into
      if (!value.pointer) {
        PyErr_SetString(PyExc_ValueError, field.null_value);
        return nullptr;
      }
      return set_nested(field, base, value.pointer);
  }
  Py_RETURN_NONE;
}

PyObject *get_field(const FieldEntry &field, PyObject *args) {
  CallFrame frame;
  PyObject *objects[1] = {};
  if (!parse_args<1>(args, field.get_format, objects)) return nullptr;
  void *record = nullptr;
  int code = convert_pointer(objects[0], &record, type_at(field.record_row), 0);
  if (code < 0) return argument_error(code, field.get_record);
  if (!record) return null_record(field.get_record);

  char *at = static_cast<char *>(record) + field.offset;
  Value value{};
  switch (field.kind) {
    case FieldKind::Word:
      unlocked([&] { std::memcpy(&value.word, at, sizeof value.word); });
      return from_unsigned(value.word);
    case FieldKind::Enum:
      unlocked([&] { std::memcpy(&value.enumeration, at, sizeof value.enumeration); });
      return from_int(value.enumeration);
    case FieldKind::Double:
      unlocked([&] { std::memcpy(&value.real, at, sizeof value.real); });
      return from_double(value.real);
    case FieldKind::String:
      // Read and copied with the lock held: a setter on another thread frees
      // the block it replaces, and does so only while holding the lock.
      std::memcpy(&value.text, at, sizeof value.text);
      return from_string(value.text);
    case FieldKind::Pointer:
      unlocked([&] { std::memcpy(&value.pointer, at, sizeof value.pointer); });
      return make_proxy(value.pointer, type_at(field.value_row), kBorrowed);
    case FieldKind::Words:
    case FieldKind::Record:
      // A view of the field itself: its address is computed, nothing is read.
      return make_proxy(at, type_at(field.value_row), kBorrowed);
  }
  return nullptr;
}

PyObject *new_record(const RecordEntry &record, PyObject *args) {
  CallFrame frame;
  if (!parse_args<0>(args, record.new_format, nullptr)) return nullptr;
  void *block = nullptr;
  unlocked([&] { block = allocate_block(record.size); });
  if (!block) Py_RETURN_NONE;  // exhausted memory: no proxy to a null block
  // Fresh memory holds no strings: forget holders left by memory freed elsewhere.
  strings::forget_range(block, record.size);
  PyObject *proxy = make_proxy(block, type_at(record.row), kOwn | kNoShadow);
  if (!proxy) release_block(block);
  return proxy;
}

PyObject *delete_record(const RecordEntry &record, PyObject *args) {
  CallFrame frame;
  PyObject *objects[1] = {};
  if (!parse_args<1>(args, record.delete_format, objects)) return nullptr;
  void *block = nullptr;
  int owned = 0;
  int code = convert_pointer(objects[0], &block, type_at(record.row), kDisown, &owned);
  if (code < 0) return argument_error(code, record.delete_record);
  if (!block) Py_RETURN_NONE;
  if (!owned && !in_owner_teardown(block)) {
    PyErr_SetString(PyExc_ValueError, record.not_owner);
    return nullptr;
  }
  release_owned_block(block, record.size);
  Py_RETURN_NONE;
}

void release_owned_block(void *block, std::size_t size) {
  auto array = array_blocks().find(block);
  if (array != array_blocks().end()) {
    if (array->second.bytes > size) size = array->second.bytes;
    array_blocks().erase(array);
  }
  strings::forget_range(block, size);
  unlocked([&] { release_block(block); });
}

bool remember_array(const void *block, std::size_t count, std::size_t bytes) {
  try {
    array_blocks()[block] = ArrayBlock{count, bytes};
  } catch (...) {
    return false;
  }
  return true;
}

bool index_in_range(const void *block, unsigned long index) {
  auto array = array_blocks().find(block);
  return array == array_blocks().end() || index < array->second.count;
}

}  // namespace records
}  // namespace qm
