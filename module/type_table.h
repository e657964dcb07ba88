// type_table.h: row numbers of this module's type descriptors; wrappers find
// their descriptor as type_at(ty::p_QmVersionNumber).
#ifndef QM_MODULE_TYPE_TABLE_H
#define QM_MODULE_TYPE_TABLE_H

#include "runtime/types.h"

namespace qm {
namespace ty {
enum Row : int {
#define QM_TYPE(id, mangled, readable) id,
#include "module/type_table.def"
#undef QM_TYPE
  count
};
static_assert(count == 58, "the module has 58 type descriptors");
}  // namespace ty
}  // namespace qm

#endif
