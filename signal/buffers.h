// buffers.h: the one rule by which kernels take buffers, and the result
// arrays they write into.
//
// A kernel computes with the interpreter lock released, so the memory it
// reads and writes must stay put meanwhile, whatever other threads do:
// - an object with the new buffer protocol (str, bytearray, memoryview, a
//   ctypes array such as a view of the capture buffer) is used in place
//   through a view held for the call: a str never changes, a bytearray
//   refuses to resize while viewed, and the memory behind a ctypes view of
//   a library buffer is the caller's to keep, as for any library call;
// - an object with only the old protocol (array.array, an old buffer
//   object) can be resized or freed by another thread at any moment: its
//   bytes are copied in before the lock is released and, for an output,
//   copied back after it is re-taken, if its size did not change.
// Result arrays are made here before the lock is released and handed to
// Python only after: nobody else can reach them while the kernel writes.
#ifndef QM_SIGNAL_BUFFERS_H
#define QM_SIGNAL_BUFFERS_H

#include <cstddef>
#include <vector>

#include "runtime/python.h"
#include "runtime/reference.h"
#include "signal/kernels/elements.h"

namespace qs {

/// One buffer argument of a kernel. Open, finish and destroy it with the lock held.
class Buffer {
 public:
  enum Access { kRead, kWrite };
  /// What the elements must be.
  enum Need {
    kBytes,     ///< any bytes (a type, where the buffer has one, is kept)
    kWords,     ///< 32-bit words: bytes, or a buffer of 4-byte integers
    kNumbers,   ///< a typed buffer of numbers (not str or bytearray)
    kIntegers,  ///< a typed buffer of integers
    kDoubles,   ///< a typed buffer of doubles ('d'), for outputs written in place
  };

  Buffer() = default;
  ~Buffer();
  Buffer(const Buffer &) = delete;
  Buffer &operator=(const Buffer &) = delete;

  /// Takes `object` as the argument `name` (for messages). 0, or -1 with the error set.
  int open(PyObject *object, const char *name, Need need, Access access = kRead);
  /// After the kernel, lock held: an output taken by copy goes back to its
  /// object. 0, or -1 with the error set.
  int finish();

  const void *data() const { return data_; }
  void *writable() const { return data_; }
  size_t bytes() const { return bytes_; }
  char code() const { return code_; }  ///< typecode, 'B' for untyped bytes
  size_t count() const;                ///< elements
  Typed typed() const { return Typed{code_, data_, count()}; }

 private:
  PyObject *object_ = nullptr;  ///< borrowed: the caller's argument tuple holds it
  const char *name_ = nullptr;
  Py_buffer view_;              ///< the new-protocol view, while held
  bool viewing_ = false;        ///< whether view_ must be released
  bool copied_ = false;         ///< old protocol: data_ points into copy_
  Access access_ = kRead;
  std::vector<unsigned char> copy_;
  void *data_ = nullptr;
  size_t bytes_ = 0;
  char code_ = 'B';
};

/// A new array.array of `count` elements of type `code`, not yet
/// initialised, with its memory in *data: for kernels to fill with the lock
/// released before it is returned. Null with the error set.
PyObject *new_array(char code, size_t count, void **data);

/// Imports what the buffer rule needs (the array type); at module start.
bool init_buffers();

}  // namespace qs

#endif
