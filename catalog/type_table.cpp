// type_table.cpp: this module's type descriptors, their initial cast lists
// and the module table that binds them into the process-wide ring.
#include "catalog/type_table.h"

namespace qm {
namespace {

/// The static descriptors, one per row of type_table.def.
TypeDescriptor descriptors[ty::count] = {
#define QM_TYPE(id, mangled, readable) {mangled, readable, nullptr, nullptr, nullptr, 0},
#include "catalog/type_table.def"
#undef QM_TYPE
};

void *same_address(void *source, int *) { return source; }

/// A pair of distinct types that convert: `source` pointers are accepted
/// where `target` is requested.
struct Conversion {
  ty::Row target;
  ty::Row source;
  CastConverter converter;
};

/// A Qm_Capture_Configuration_Array is a bare block of QmChannelData, so its
/// pointer is a QmChannelData pointer; the reverse does not hold.
constexpr Conversion conversions[] = {
    {ty::p_QmChannelData, ty::p_Qm_Capture_Configuration_Array, same_address},
};

/// An initial cast list: at most one converting source, the row itself, the null end.
struct CastList {
  CastEntry entries[3];
};

constexpr CastList initial_list(ty::Row row) {
  for (const Conversion &c : conversions)
    if (c.target == row)
      return CastList{{{&descriptors[c.source], c.converter, nullptr, nullptr},
                       {&descriptors[row], nullptr, nullptr, nullptr},
                       {nullptr, nullptr, nullptr, nullptr}}};
  return CastList{{{&descriptors[row], nullptr, nullptr, nullptr},
                   {nullptr, nullptr, nullptr, nullptr},
                   {nullptr, nullptr, nullptr, nullptr}}};
}

constexpr int conversions_into(ty::Row row) {
  int n = 0;
  for (const Conversion &c : conversions) n += c.target == row;
  return n;
}
#define QM_TYPE(id, mangled, readable) \
  static_assert(conversions_into(ty::id) <= 1, "a cast list has room for one converting source");
#include "catalog/type_table.def"
#undef QM_TYPE

CastList cast_lists[ty::count] = {
#define QM_TYPE(id, mangled, readable) initial_list(ty::id),
#include "catalog/type_table.def"
#undef QM_TYPE
};

TypeDescriptor *initial_types[ty::count] = {
#define QM_TYPE(id, mangled, readable) &descriptors[ty::id],
#include "catalog/type_table.def"
#undef QM_TYPE
};

CastEntry *initial_casts[ty::count] = {
#define QM_TYPE(id, mangled, readable) cast_lists[ty::id].entries,
#include "catalog/type_table.def"
#undef QM_TYPE
};

/// Filled by binding: the descriptor in use for each row, then a null end.
TypeDescriptor *bound_types[ty::count + 1];

}  // namespace

ModuleTable this_module = {
    bound_types,    /*types*/
    ty::count,      /*size*/
    nullptr,        /*next*/
    initial_types,  /*type_initial*/
    initial_casts,  /*cast_initial*/
    nullptr,        /*clientdata*/
};

}  // namespace qm
