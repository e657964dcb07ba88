// kinds.h: argument kinds. Each names its native value type and converts a
// Python object by its rule; the declared type names that messages quote
// belong to the tables that use the kinds (see bindings/arguments.h).
#ifndef QM_RUNTIME_KINDS_H
#define QM_RUNTIME_KINDS_H

#include "runtime/convert.h"
#include "runtime/proxy.h"
#include "runtime/types.h"

namespace qm {
namespace kind {

struct Unsigned {
  using value = unsigned long;
  static int convert(PyObject *obj, value *out) { return as_unsigned(obj, out); }
};

template <class Enum>
struct Enumeration {
  using value = Enum;
  static int convert(PyObject *obj, value *out) {
    int raw = 0;
    int code = as_int(obj, &raw);
    if (code >= 0) *out = static_cast<Enum>(raw);
    return code;
  }
};

struct Double {
  using value = double;
  static int convert(PyObject *obj, value *out) { return as_double(obj, out); }
};

struct Byte {
  using value = unsigned char;
  static int convert(PyObject *obj, value *out) { return as_byte(obj, out); }
};

/// A str is never copied: the library sees its buffer during the call only.
struct String {
  using value = char *;
  static int convert(PyObject *obj, value *out) {
    int marker = 0;
    return as_string(obj, out, nullptr, &marker);
  }
};

/// A pointer of the type at `Row` of the module's type table.
template <class T, int Row, int Flags = 0>
struct Pointer {
  using value = T *;
  static int convert(PyObject *obj, value *out) {
    return convert_pointer(obj, out, type_at(Row), Flags);
  }
};

}  // namespace kind
}  // namespace qm

#endif
