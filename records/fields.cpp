// fields.cpp: the one accessor core of every record field, and the record
// constructor and destructor. Each runs the wrapper frame: lock, parse,
// convert (first failure wins, nothing stored), the field access with the
// lock released, result. Registry bookkeeping happens with the lock held.
#include "records/fields.h"

#include <cstring>

#include "runtime/convert.h"
#include "runtime/errors.h"
#include "runtime/frame.h"
#include "runtime/types.h"

namespace qm {
namespace records {
namespace {

/// A setter's converted value, by kind. A scalar or pointer field is exactly
/// as wide as its member, which starts the union.
union Value {
  unsigned long word;
  int enumeration;
  double real;
  char *text;
  void *pointer;
};

/// Copies a scalar field's bytes; the 4-byte width of most fields as a
/// constant, so that no library call is made for them.
void copy_scalar(void *to, const void *from, std::size_t width) {
  if (width == 4)
    std::memcpy(to, from, 4);
  else
    std::memcpy(to, from, width);
}

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
  Entry<2> entry(args, field.set_format);
  void *record = nullptr;
  Value value{};
  if (!entry || !entry.pointer(0, &record, type_at(field.record_row), field.set_record) ||
      !converted(convert_value(field, entry[1], &value), field.set_value)) {
    return nullptr;
  }

  char *base = static_cast<char *>(record);
  char *at = base + field.offset;
  switch (field.kind) {
    case FieldKind::Word:
    case FieldKind::Enum:
    case FieldKind::Double:
    case FieldKind::Pointer:
      // The field is as wide as the union member it is set from.
      if (base) unlocked([&] { copy_scalar(at, &value, field.width); });
      break;
    case FieldKind::String:
      if (!base) return raise_error(PyExc_ValueError, field.set_record);
      return set_string(field, base, value.text);
    case FieldKind::Words:
      if (!base) return raise_error(PyExc_ValueError, field.set_record);
      if (!value.pointer) return raise_error(PyExc_ValueError, field.null_value);
      unlocked([&] {
        const ::QmWord *source = static_cast<const ::QmWord *>(value.pointer);
        ::QmWord *target = reinterpret_cast<::QmWord *>(at);
        for (std::size_t i = 0; i < field.width / sizeof(::QmWord); ++i) target[i] = source[i];
      });
      break;
    case FieldKind::Record:
      if (!base) break;  // like the scalar setters: nothing to store into
      if (!value.pointer) return raise_error(PyExc_ValueError, field.null_value);
      return set_nested(field, base, value.pointer);
  }
  Py_RETURN_NONE;
}

PyObject *get_field(const FieldEntry &field, PyObject *args) {
  Entry<1> entry(args, field.get_format);
  void *record = nullptr;
  if (!entry || !entry.pointer(0, &record, type_at(field.record_row), field.get_record)) {
    return nullptr;
  }
  if (!record) return raise_error(PyExc_ValueError, field.get_record);

  char *at = static_cast<char *>(record) + field.offset;
  Value value{};
  switch (field.kind) {
    case FieldKind::String:
      // Read and copied with the lock held: a setter on another thread frees
      // the block it replaces, and does so only while holding the lock.
      std::memcpy(&value.text, at, sizeof value.text);
      return from_string(value.text);
    case FieldKind::Words:
    case FieldKind::Record:
      // A view of the field itself: its address is computed, nothing is read.
      return make_proxy(at, type_at(field.value_row), kBorrowed);
    default:
      unlocked([&] { copy_scalar(&value, at, field.width); });
  }
  switch (field.kind) {
    case FieldKind::Word: return from_unsigned(value.word);
    case FieldKind::Enum: return from_int(value.enumeration);
    case FieldKind::Double: return from_double(value.real);
    default: return make_proxy(value.pointer, type_at(field.value_row), kBorrowed);
  }
}

PyObject *new_record(const RecordEntry &record, PyObject *args) {
  Entry<0> entry(args, record.new_format);
  return entry ? create_block(record.block, record.size, nullptr) : nullptr;
}

}  // namespace records
}  // namespace qm
