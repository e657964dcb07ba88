// type_names.h: compile-time view of the type table's readable names, so a
// wrapper's declared pointer type can be checked against the descriptor row
// it uses (static_assert(row_names(ty::p_QmCaptureSetup, "QmCaptureSetup *"))),
// by the same rule the run-time look-ups use.
#ifndef QM_CATALOG_TYPE_NAMES_H
#define QM_CATALOG_TYPE_NAMES_H

#include "catalog/type_table.h"
#include "runtime/type_names.h"

namespace qm {
namespace ty {

constexpr const char *readable_names[] = {
#define QM_TYPE(id, mangled, readable) readable,
#include "catalog/type_table.def"
#undef QM_TYPE
};

/// Whether the descriptor at `row` names `name` among its readable names.
constexpr bool row_names(int row, const char *name) {
  return name_equivalent(readable_names[row], name) != 0;
}

static_assert(row_names(p_QmVersionNumber, "Qm_Version_Number *"), "alias names match");
static_assert(row_names(p_char, "char*"), "spaces are ignored");
static_assert(!row_names(p_QmVersionNumber, "qmversionnumber *"), "case is kept");
static_assert(row_names(p_p_char, "LPTSTR *"), "the last alternative counts");
static_assert(!row_names(p_char, "char * "), "a space left over at the end counts, as at run time");

}  // namespace ty
}  // namespace qm

#endif
