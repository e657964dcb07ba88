// type_names.h: compile-time view of the type table's readable names, so a
// wrapper's declared pointer type can be checked against the descriptor row
// it uses (static_assert(row_names(ty::p_QmCaptureSetup, "QmCaptureSetup *"))).
#ifndef QM_MODULE_TYPE_NAMES_H
#define QM_MODULE_TYPE_NAMES_H

#include "module/type_table.h"

namespace qm {
namespace ty {

constexpr const char *readable_names[] = {
#define QM_TYPE(id, mangled, readable) readable,
#include "module/type_table.def"
#undef QM_TYPE
};

/// Whether `name` equals the alternative of `list` that starts at `at`
/// (up to '|' or the end), ignoring spaces as name comparison does.
constexpr bool alternative_is(const char *list, int at, const char *name) {
  int i = at, j = 0;
  for (;;) {
    while (list[i] == ' ') ++i;
    while (name[j] == ' ') ++j;
    bool list_done = list[i] == '\0' || list[i] == '|';
    bool name_done = name[j] == '\0';
    if (list_done || name_done) return list_done && name_done;
    if (list[i] != name[j]) return false;
    ++i;
    ++j;
  }
}

/// Whether the descriptor at `row` names `name` among its readable names.
constexpr bool row_names(int row, const char *name) {
  const char *list = readable_names[row];
  for (int at = 0;;) {
    if (alternative_is(list, at, name)) return true;
    while (list[at] != '\0' && list[at] != '|') ++at;
    if (list[at] == '\0') return false;
    ++at;
  }
}

static_assert(row_names(p_QmVersionNumber, "Qm_Version_Number *"), "alias names match");
static_assert(row_names(p_char, "char*"), "spaces are ignored");
static_assert(!row_names(p_QmVersionNumber, "qmversionnumber *"), "case is kept");

}  // namespace ty
}  // namespace qm

#endif
