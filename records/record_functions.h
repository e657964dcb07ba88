// record_functions.h: the record and array families' Python-callable
// functions, qm::py::<Python name>, declared from their tables.
#ifndef QM_RECORDS_RECORD_FUNCTIONS_H
#define QM_RECORDS_RECORD_FUNCTIONS_H

#include "runtime/python.h"

namespace qm {
namespace py {

#define QM_FIELD(REC, FIELD, KIND, TYPE)                    \
  PyObject *REC##_##FIELD##_set(PyObject *, PyObject *);    \
  PyObject *REC##_##FIELD##_get(PyObject *, PyObject *);
#define QM_RECORD(REC, SIZE)                                \
  PyObject *new_##REC(PyObject *, PyObject *);              \
  PyObject *delete_##REC(PyObject *, PyObject *);           \
  PyObject *REC##_swigregister(PyObject *, PyObject *);
#include "records/records.def"
#undef QM_FIELD
#undef QM_RECORD

#define QM_ARRAY(ARRAY, ELEMENT, ELEMENT_ROW, ITEM, ITEM_TYPE) \
  PyObject *new_##ARRAY(PyObject *, PyObject *);              \
  PyObject *delete_##ARRAY(PyObject *, PyObject *);           \
  PyObject *ARRAY##___getitem__(PyObject *, PyObject *);      \
  PyObject *ARRAY##___setitem__(PyObject *, PyObject *);      \
  PyObject *ARRAY##_cast(PyObject *, PyObject *);             \
  PyObject *ARRAY##_frompointer(PyObject *, PyObject *);      \
  PyObject *ARRAY##_swigregister(PyObject *, PyObject *);
#include "records/arrays.def"
#undef QM_ARRAY

}  // namespace py
}  // namespace qm

#endif
