// outputs.h: the library's output parameters. Each names the storage the
// call fills (zeroed before the call, so an output the library leaves unset
// reads as zero or null), the parameters it passes, and how it joins the
// result: list form for plain words and doubles, tuple form for the rest.
#ifndef QM_BINDINGS_OUTPUTS_H
#define QM_BINDINGS_OUTPUTS_H

#include <tuple>

#include "catalog/type_table.h"
#include "qmdll/include/qmdll.h"
#include "records/blocks.h"
#include "runtime/convert.h"
#include "runtime/proxy.h"
#include "runtime/reference.h"

namespace qm {
namespace wrap {

/// A QmWord output: [status, word].
struct word_list {
  struct storage { ::QmWord value; };
  static auto params(storage &s) { return std::make_tuple(&s.value); }
  static PyObject *append(PyObject *result, storage &s) {
    return append_list(result, from_unsigned(s.value));
  }
};

/// A QmDouble output: [status, float].
struct double_list {
  struct storage { ::QmDouble value; };
  static auto params(storage &s) { return std::make_tuple(&s.value); }
  static PyObject *append(PyObject *result, storage &s) {
    return append_list(result, from_double(s.value));
  }
};

/// A count and the library's array of names: a list of str copies in order
/// (a null name becomes None; a null array reads as no names).
struct name_list {
  struct storage {
    ::QmWord count;
    ::QmString *names;
  };
  static auto params(storage &s) { return std::make_tuple(&s.count, &s.names); }
  static PyObject *append(PyObject *result, storage &s) {
    OwnedReference list(PyList_New(0));
    for (::QmWord i = 0; list && s.names && i < s.count; ++i) {
      OwnedReference name(from_string(s.names[i]));
      if (!name || PyList_Append(list.get(), name.get()) < 0) list = nullptr;
    }
    return append_tuple(result, list.release());
  }
};

/// A text the library keeps: a str copy (None for a null pointer).
struct text {
  struct storage { ::QmString value; };
  static auto params(storage &s) { return std::make_tuple(&s.value); }
  static PyObject *append(PyObject *result, storage &s) {
    return append_tuple(result, from_string(s.value));
  }
};

/// A record the library fills: an owning proxy of a zero-filled copy,
/// shadowed when the class is registered.
template <class Record, int Row>
struct record_copy {
  struct storage { Record value; };
  static auto params(storage &s) { return std::make_tuple(&s.value); }
  static PyObject *append(PyObject *result, storage &s) {
    Record *copy = copy_record(s.value);
    PyObject *proxy = copy ? make_proxy(copy, type_at(Row), kOwn) : PyErr_NoMemory();
    if (copy && !proxy) release_block(copy);
    return append_tuple(result, proxy);
  }
};
using version = record_copy<::QmVersionNumber, ty::p_QmVersionNumber>;
using dut_info = record_copy<::QmDUTInfo, ty::p_QmDUTInfo>;

/// The DUT's EEPROM kind, always a Python long.
struct eeprom_type {
  struct storage { ::Qm_Dut_Eeprom_Type value; };
  static auto params(storage &s) { return std::make_tuple(&s.value); }
  static PyObject *append(PyObject *result, storage &s) {
    return append_tuple(result, PyLong_FromLong(s.value));
  }
};

}  // namespace wrap
}  // namespace qm

#endif
