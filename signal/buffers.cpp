// buffers.cpp: viewing, copying and making buffers (see buffers.h).
#include "signal/buffers.h"

#include <cstring>

#include "signal/errors.h"

namespace qs {
namespace {

PyObject *array_type = nullptr;  ///< array.array, for the whole process

/// The typecode a buffer format names ("d", "<d", "=L"), or 0: native byte
/// order only, one element per item.
char format_code(const char *format, Py_ssize_t itemsize) {
  if (!format) return 'B';
  if (*format == '@' || *format == '=' || *format == '<') ++format;
  if (format[0] == 'c' && !format[1]) return 'B';  // ctypes' char: bytes
  const Element *e = (format[0] && !format[1]) ? element_of(format[0]) : nullptr;
  return e && e->size == itemsize ? e->code : 0;
}

/// The typecode of an array.array, or 0.
char array_code(PyObject *object) {
  qm::OwnedReference code(PyObject_GetAttrString(object, "typecode"));
  if (!code || !PyString_Check(code.get()) || PyString_GET_SIZE(code.get()) != 1) {
    PyErr_Clear();
    return 0;
  }
  return PyString_AS_STRING(code.get())[0];
}

}  // namespace

bool init_buffers() {
  qm::OwnedReference module(PyImport_ImportModule("array"));
  if (!module) return false;
  array_type = PyObject_GetAttrString(module.get(), "array");  // kept for the process
  return array_type != nullptr;
}

Buffer::~Buffer() {
  if (viewing_) PyBuffer_Release(&view_);
}

size_t Buffer::count() const {
  const Element *e = element_of(code_);
  return bytes_ / size_t(e ? e->size : 1);
}

int Buffer::open(PyObject *object, const char *name, Need need, Access access) {
  object_ = object;
  name_ = name;
  access_ = access;
  const char *type_name = Py_TYPE(object)->tp_name;
  if ((need == kNumbers || need == kIntegers || need == kDoubles) &&
      (PyString_Check(object) || PyByteArray_Check(object)))
    return fail_code(kNotNumbers, name, type_name);
  bool typed = false;
  char code = 0;
  if (PyObject_CheckBuffer(object) && !PyBuffer_Check(object)) {
    int flags = PyBUF_FORMAT | (access == kWrite ? PyBUF_WRITABLE : 0);
    if (PyObject_GetBuffer(object, &view_, flags) < 0) {
      if (access == kWrite && PyObject_GetBuffer(object, &view_, PyBUF_FORMAT) == 0) {
        PyBuffer_Release(&view_);
        PyErr_Clear();
        return fail_code(kReadOnly, name);
      }
      PyErr_Clear();
      return fail_code(kNotBuffer, name, type_name);
    }
    viewing_ = true;
    data_ = view_.buf;
    bytes_ = size_t(view_.len);
    typed = !(PyString_Check(object) || PyByteArray_Check(object)) && view_.format;
    code = format_code(view_.format, view_.itemsize);
    if (typed && !code) return fail_code(kElementType, name, view_.format);
  } else if (PyObject_CheckReadBuffer(object)) {
    const void *memory = nullptr;
    Py_ssize_t length = 0;
    if (access == kWrite) {
      void *writable = nullptr;
      if (PyObject_AsWriteBuffer(object, &writable, &length) < 0) {
        PyErr_Clear();
        return fail_code(kReadOnly, name);
      }
      memory = writable;
    } else if (PyObject_AsReadBuffer(object, &memory, &length) < 0) {
      PyErr_Clear();
      return fail_code(kNotBuffer, name, type_name);
    }
    copy_.assign(static_cast<const unsigned char *>(memory),
                 static_cast<const unsigned char *>(memory) + length);
    copied_ = true;
    data_ = copy_.data();
    bytes_ = size_t(length);
    typed = PyObject_TypeCheck(object, reinterpret_cast<PyTypeObject *>(array_type));
    code = typed ? array_code(object) : 'B';
    if (typed && !element_of(code)) {
      char text[2] = {code, 0};
      return fail_code(kElementType, name, text);
    }
  } else {
    return fail_code(kNotBuffer, name, type_name);
  }
  code_ = typed ? code : 'B';
  const Element *e = element_of(code_);
  switch (need) {
    case kBytes:
      break;
    case kWords:
      if (typed && e->size == 1) typed = false;  // bytes of any kind
      if (typed && (e->size != 4 || !e->integral)) return fail_code(kNotWords, name, code_);
      if (bytes_ % 4) return fail_code(kPartialWord, Py_ssize_t(bytes_));
      if (!typed) code_ = 'I';
      break;
    case kNumbers:
      if (!typed) return fail_code(kNotNumbers, name, type_name);
      break;
    case kIntegers:
      if (!typed) return fail_code(kNotNumbers, name, type_name);
      if (!e->integral) return fail_code(kNotIntegers, name, code_);
      break;
    case kDoubles:
      if (!typed || code_ != 'd') return fail_code(kNotNumbers, name, type_name);
      break;
  }
  return 0;
}

int Buffer::finish() {
  if (!copied_ || access_ != kWrite) return 0;
  void *memory = nullptr;
  Py_ssize_t length = 0;
  if (PyObject_AsWriteBuffer(object_, &memory, &length) < 0) return -1;
  if (size_t(length) != bytes_) return fail_code(kChangedSize, name_);
  std::memcpy(memory, copy_.data(), bytes_);
  return 0;
}

PyObject *new_array(char code, size_t count, void **data) {
  const Element *e = element_of(code);
  size_t bytes = count * size_t(e->size);
  // A block of zeros, repeated: the array's memory is allocated and written
  // once. (array(code, str) of a fresh str of the whole size would read the
  // str's fresh pages too: above the allocator's mapping threshold, 512 KB
  // on a 32-bit Linux, another page fault per 4 KB, which at 2**20 values
  // costs as much as the kernel's own work.)
  static const char zeros[4096] = {};
  static_assert(sizeof zeros % 8 == 0, "the block holds whole elements of every type");
  size_t block = bytes < sizeof zeros ? bytes : sizeof zeros;
  qm::OwnedReference text(PyString_FromStringAndSize(zeros, Py_ssize_t(block)));
  if (!text) return nullptr;
  char type[2] = {code, 0};
  qm::OwnedReference made(PyObject_CallFunction(array_type, const_cast<char *>("sO"), type,
                                                text.get()));
  if (!made) return nullptr;
  if (bytes > block) {
    made = PySequence_Repeat(made.get(), Py_ssize_t(bytes / block));
    if (!made) return nullptr;
    if (size_t rest = bytes % block) {
      qm::OwnedReference tail(PyObject_CallMethod(made.get(), const_cast<char *>("fromstring"),
                                                  const_cast<char *>("s#"), zeros,
                                                  Py_ssize_t(rest)));
      if (!tail) return nullptr;
    }
  }
  Py_ssize_t length = 0;
  *data = nullptr;
  if (bytes && PyObject_AsWriteBuffer(made.get(), data, &length) < 0) return nullptr;
  return made.release();
}

}  // namespace qs
