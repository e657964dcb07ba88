// type_table.h: the catalogue of this module's types: the row number of each
// type descriptor; wrappers find theirs as type_at(ty::p_QmVersionNumber).
#ifndef QM_CATALOG_TYPE_TABLE_H
#define QM_CATALOG_TYPE_TABLE_H

#include "runtime/types.h"

namespace qm {
namespace ty {
enum Row : int {
#define QM_TYPE(id, mangled, readable) id,
#include "catalog/type_table.def"
#undef QM_TYPE
  count
};
static_assert(count == 58, "the module has 58 type descriptors");
}  // namespace ty
}  // namespace qm

#endif
