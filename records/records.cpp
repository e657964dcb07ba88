// records.cpp: the 23 record families, expanded from records.def. Each field
// row becomes a FieldEntry with its literal messages and two one-line
// accessors; each record row adds constructor, destructor and class hook.
#include <cstddef>

#include "records/fields.h"
#include "records/record_functions.h"
#include "runtime/literal.h"
#include "runtime/types.h"

namespace qm {
namespace records {
namespace {

#define QM_FIELD(REC, FIELD, KIND, TYPE)                                                      \
  static_assert(fits<QM_KIND_##KIND, decltype(::REC::FIELD)>(TYPE),                           \
                #REC "." #FIELD ": kind or declared type does not match the library's");     \
  static_assert(sizeof(::REC::FIELD) <= strings::kMaxCopy, #REC "." #FIELD " is too wide");  \
  constexpr FieldEntry REC##_##FIELD##_field = {                                               \
      QM_KIND_##KIND::kind,                                                                   \
      ty::p_##REC,                                                                            \
      offsetof(::REC, FIELD),                                                                 \
      sizeof(::REC::FIELD),                                                                   \
      QM_KIND_##KIND::row,                                                                    \
      QM_KIND_##KIND::flags,                                                                  \
      "OO:" #REC "_" #FIELD "_set",                                                           \
      "O:" #REC "_" #FIELD "_get",                                                            \
      QM_IN_METHOD(#REC "_" #FIELD "_set", 1, #REC " *"),                                     \
      QM_IN_METHOD(#REC "_" #FIELD "_get", 1, #REC " *"),                                     \
      QM_IN_METHOD(#REC "_" #FIELD "_set", 2, TYPE),                                          \
      "invalid null reference in variable '" #FIELD "' of type '" TYPE "'"};
#define QM_RECORD(REC, SIZE)                                                                  \
  static_assert(sizeof(::REC) == (SIZE), #REC " must be " #SIZE " bytes");                    \
  constexpr RecordEntry REC##_record = {                                                       \
      QM_BLOCK_FAMILY(REC),                                                                   \
      sizeof(::REC),                                                                          \
      ":new_" #REC};
#include "records/records.def"
#undef QM_FIELD
#undef QM_RECORD

#define QM_FIELD(...) +1
#define QM_RECORD(...)
constexpr int kFieldCount = 0
#include "records/records.def"
    ;
#undef QM_FIELD
#undef QM_RECORD
#define QM_FIELD(...)
#define QM_RECORD(...) +1
constexpr int kRecordCount = 0
#include "records/records.def"
    ;
#undef QM_FIELD
#undef QM_RECORD
static_assert(kFieldCount == 143, "the record families have 143 fields");
static_assert(kRecordCount == 23, "there are 23 record families");
static_assert(2 * kFieldCount + 3 * kRecordCount == 355, "the record families fill 355 rows");

}  // namespace
}  // namespace records

namespace py {

#define QM_FIELD(REC, FIELD, KIND, TYPE)                                  \
  PyObject *REC##_##FIELD##_set(PyObject *, PyObject *args) {             \
    return records::set_field(records::REC##_##FIELD##_field, args);      \
  }                                                                       \
  PyObject *REC##_##FIELD##_get(PyObject *, PyObject *args) {             \
    return records::get<QM_KIND_##KIND::kind>(records::REC##_##FIELD##_field, args); \
  }
#define QM_RECORD(REC, SIZE)                                              \
  PyObject *new_##REC(PyObject *, PyObject *args) {                       \
    return records::new_record(records::REC##_record, args);              \
  }                                                                       \
  PyObject *delete_##REC(PyObject *, PyObject *args) {                    \
    const records::RecordEntry &record = records::REC##_record;           \
    return records::delete_block(record.block, record.size, args);        \
  }                                                                       \
  PyObject *REC##_swigregister(PyObject *, PyObject *args) {              \
    return register_class(args, type_at(ty::p_##REC));                    \
  }
#include "records/records.def"
#undef QM_FIELD
#undef QM_RECORD

}  // namespace py
}  // namespace qm
