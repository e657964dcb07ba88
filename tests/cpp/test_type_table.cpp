// The type table, name look-ups and comparisons, and cast lists.
#include <gtest/gtest.h>

#include <algorithm>

#include <cstring>
#include <string>
#include <vector>

#include "catalog/type_table.h"
#include "runtime/proxy.h"
#include "runtime/types.h"

namespace {

using qm::CastEntry;
using qm::ModuleTable;
using qm::TypeDescriptor;
namespace ty = qm::ty;

/// An interpreter with this module's table bound, shared by every test here.
class BoundTable : public ::testing::Environment {
 public:
  void SetUp() override {
    Py_Initialize();
    qm::bind_type_table(qm::this_module);
  }
};
const ::testing::Environment *const bound_table =
    ::testing::AddGlobalTestEnvironment(new BoundTable);

ModuleTable *self() { return &qm::this_module; }
TypeDescriptor *row(int r) { return qm::this_module.types[r]; }
TypeDescriptor *mangled(const char *name) { return qm::find_mangled(self(), self(), name); }
TypeDescriptor *readable(const char *name) { return qm::find_readable(self(), self(), name); }

std::vector<std::string> cast_sources(const TypeDescriptor *type) {
  std::vector<std::string> names;
  for (const CastEntry *e = type->cast; e; e = e->next) names.push_back(e->type->name);
  return names;
}

/// The cast sources that are this module's own types (other tables joined
/// to the ring by other tests may add theirs).
std::vector<std::string> own_cast_sources(const TypeDescriptor *type) {
  std::vector<std::string> names;
  for (const std::string &name : cast_sources(type)) {
    for (size_t i = 0; i < qm::this_module.size; ++i) {
      if (name == qm::this_module.type_initial[i]->name) names.push_back(name);
    }
  }
  return names;
}

/// Every link's prev points back, and the head has none.
void expect_linked(const TypeDescriptor *type) {
  ASSERT_NE(type->cast, nullptr);
  EXPECT_EQ(type->cast->prev, nullptr);
  for (const CastEntry *e = type->cast; e->next; e = e->next) EXPECT_EQ(e->next->prev, e);
}

int compare(const std::string &a, const std::string &b) {
  return qm::name_compare(a.data(), a.data() + a.size(), b.data(), b.data() + b.size());
}

TEST(TypeTable, RowsStandInByteOrderWithNullEnd) {
  ASSERT_EQ(self()->size, 58u);
  for (size_t i = 0; i < self()->size; ++i) {
    const char *name = self()->type_initial[i]->name;
    EXPECT_EQ(std::strncmp(name, "_p_", 3), 0) << name;
    EXPECT_STREQ(row(i)->name, name) << "bound row " << i;
    if (i > 0) {
      EXPECT_LT(std::strcmp(self()->type_initial[i - 1]->name, name), 0) << name;
    }
  }
  EXPECT_EQ(self()->types[58], nullptr);
  EXPECT_STREQ(row(ty::p_QmVersionNumber)->name, "_p_QmVersionNumber");
  EXPECT_STREQ(row(ty::p_QmVersionNumber)->str, "QmVersionNumber *|Qm_Version_Number *");
  EXPECT_STREQ(row(ty::p_unsigned_short)->name, "_p_unsigned_short");
  for (size_t i = 0; i < self()->size; ++i) EXPECT_EQ(row(i)->dcast, nullptr);
}

TEST(TypeTable, OnlyChannelDataAcceptsAnotherType) {
  for (size_t i = 0; i < self()->size; ++i) {
    expect_linked(row(i));
    std::vector<std::string> expected{row(i)->name};
    if (i == ty::p_QmChannelData) expected.push_back("_p_Qm_Capture_Configuration_Array");
    EXPECT_EQ(own_cast_sources(row(i)), expected) << row(i)->name;
  }
  CastEntry *hit = qm::cast_check("_p_Qm_Capture_Configuration_Array", row(ty::p_QmChannelData));
  ASSERT_NE(hit, nullptr);
  ASSERT_NE(hit->converter, nullptr);
  int new_memory = 0;
  int block[4];
  EXPECT_EQ(hit->converter(block, &new_memory), static_cast<void *>(block));
  EXPECT_EQ(new_memory, 0);
  EXPECT_EQ(qm::cast_check("_p_QmChannelData", row(ty::p_Qm_Capture_Configuration_Array)), nullptr);
  // Move back so the list reads as binding left it.
  qm::cast_check("_p_QmChannelData", row(ty::p_QmChannelData));
}

TEST(CastCheck, MovesTheHitToTheFront) {
  TypeDescriptor *channel = row(ty::p_QmChannelData);
  const std::vector<std::string> bound{"_p_QmChannelData", "_p_Qm_Capture_Configuration_Array"};
  ASSERT_EQ(cast_sources(channel), bound);

  EXPECT_EQ(qm::cast_check("_p_QmDUTInfo", channel), nullptr);
  EXPECT_EQ(cast_sources(channel), bound) << "a miss moves nothing";

  CastEntry *array = qm::cast_check("_p_Qm_Capture_Configuration_Array", channel);
  EXPECT_EQ(channel->cast, array);
  EXPECT_EQ(cast_sources(channel),
            (std::vector<std::string>{"_p_Qm_Capture_Configuration_Array", "_p_QmChannelData"}));
  expect_linked(channel);
  EXPECT_EQ(channel->cast->next->next, nullptr);

  EXPECT_EQ(qm::cast_check("_p_Qm_Capture_Configuration_Array", channel), array) << "already head";
  qm::cast_check("_p_QmChannelData", channel);
  EXPECT_EQ(cast_sources(channel), bound);
  expect_linked(channel);

  EXPECT_EQ(qm::cast_check("_p_QmChannelData", nullptr), nullptr);
}

TEST(Lookup, MangledNamesFindTheirRowsOnly) {
  for (size_t i = 0; i < self()->size; ++i) EXPECT_EQ(mangled(row(i)->name), row(i)) << i;
  // Before row 0, after row 57, between rows, prefixes and extensions of names.
  for (const char *absent : {"", "_", "_p_", "_p_A", "_p_QmBitSiz", "ZZZ", "_p_QmBitSizf",
                             "_p_QmVersionNumbe", "_p_QmVersionNumberX", "_p_unsigned_shorts",
                             "_p_zzz", "\x7f", "\xff", "_p_qmversionnumber", "_p_Qm Return"})
    EXPECT_EQ(mangled(absent), nullptr) << absent;
}

TEST(Lookup, EmptyAndOneRowTablesEndTheSearch) {
  TypeDescriptor only = {"_p_M", "M *", nullptr, nullptr, nullptr, 0};
  TypeDescriptor *one_slot[] = {&only, nullptr};
  ModuleTable one = {one_slot, 1, nullptr, nullptr, nullptr, nullptr};
  one.next = &one;
  ModuleTable empty = {nullptr, 0, nullptr, nullptr, nullptr, nullptr};
  empty.next = &empty;
  EXPECT_EQ(qm::find_mangled(&one, &one, "_p_M"), &only);
  EXPECT_EQ(qm::find_mangled(&one, &one, "_p_A"), nullptr);  // smaller than row 0
  EXPECT_EQ(qm::find_mangled(&one, &one, "_p_Z"), nullptr);
  EXPECT_EQ(qm::find_mangled(&empty, &empty, "_p_M"), nullptr);
  EXPECT_EQ(qm::find_readable(&empty, &empty, "M *"), nullptr);
  EXPECT_EQ(qm::find_readable(&one, &one, "M*"), &only);
}

TEST(Lookup, ReadableNamesIgnoreSpacesAndKeepCase) {
  TypeDescriptor *version = row(ty::p_QmVersionNumber);
  EXPECT_EQ(readable("QmVersionNumber *"), version);
  EXPECT_EQ(readable("Qm_Version_Number *"), version);
  EXPECT_EQ(readable("QmVersionNumber*"), version);
  EXPECT_EQ(readable(" Qm Version Number *"), version);
  EXPECT_EQ(readable("qmversionnumber *"), nullptr);
  EXPECT_EQ(readable("QMVERSIONNUMBER *"), nullptr);
  EXPECT_EQ(readable("QmVersionNumber"), nullptr);
  EXPECT_EQ(readable("QmVersionNumber **"), nullptr);
  EXPECT_EQ(readable(""), nullptr);
  EXPECT_EQ(readable("QmStream"), row(ty::p_unsigned_char));
  EXPECT_EQ(readable("QmWord *"), row(ty::p_unsigned_long));
  EXPECT_EQ(readable("char *"), row(ty::p_char));
  EXPECT_EQ(readable("char **"), row(ty::p_p_char));
  EXPECT_EQ(readable("LPTSTR *"), row(ty::p_p_char)) << "last alternative";
  EXPECT_EQ(readable("_p_char"), row(ty::p_char)) << "the mangled name is tried first";
  EXPECT_EQ(qm::char_pointer_type(), row(ty::p_char));
}

TEST(NameCompare, SkipsSpacesComparesSignedAndByLength) {
  EXPECT_EQ(compare("char *", "char*"), 0);
  EXPECT_EQ(compare("char *", " c h a r * "), -1) << "trailing space is left over";
  EXPECT_EQ(compare("", ""), 0);
  EXPECT_GT(compare("char **", "char *"), 0);
  EXPECT_LT(compare("char *", "char **"), 0);
  EXPECT_EQ(compare("b", "a"), 1);
  EXPECT_EQ(compare("a", "b"), -1);
  EXPECT_EQ(compare("Word", "word"), -1);
  EXPECT_EQ(compare("\x80", "a"), -1) << "characters compare as signed bytes";
  EXPECT_EQ(compare("a", "\x80"), 1);
  EXPECT_EQ(compare("abc", "ab"), 1);
  // Ranges end where told, not at a NUL: only "char *" of each is compared.
  const char *first = "char *|QmString *";
  const char *second = "char*XYZ";
  EXPECT_EQ(qm::name_compare(first, first + 6, second, second + 5), 0);
  const char spaces[] = {'a', ' ', ' '};
  const char plain[] = {'a'};
  EXPECT_EQ(qm::name_compare(plain, plain + 1, spaces, spaces + 3), -2);
  EXPECT_EQ(qm::name_compare(spaces + 1, spaces + 3, plain, plain), 2);
}

TEST(NameEquivalent, MatchesAWholeAlternative) {
  const char *list = "QmBool *|DWORD *|unsigned long *";
  EXPECT_EQ(qm::name_equivalent(list, "QmBool *"), 1);
  EXPECT_EQ(qm::name_equivalent(list, "DWORD*"), 1);
  EXPECT_EQ(qm::name_equivalent(list, "unsigned long *"), 1);
  EXPECT_EQ(qm::name_equivalent(list, "unsignedlong*"), 1);
  EXPECT_EQ(qm::name_equivalent(list, "unsigned long"), 0);
  EXPECT_EQ(qm::name_equivalent(list, "DWORD *|unsigned long *"), 0);
  EXPECT_EQ(qm::name_equivalent(list, "QmBool"), 0);
  EXPECT_EQ(qm::name_equivalent(list, ""), 0);
  EXPECT_EQ(qm::name_equivalent("X *", "X *"), 1);
  EXPECT_EQ(qm::name_equivalent("", ""), 1);
}

TEST(PrettyName, IsTheLastAlternative) {
  EXPECT_STREQ(qm::pretty_name(row(ty::p_QmVersionNumber)), "Qm_Version_Number *");
  EXPECT_STREQ(qm::pretty_name(row(ty::p_QmButtonDefinition)), "QmButtonDefinition *");
  EXPECT_STREQ(qm::pretty_name(row(ty::p_unsigned_char)), "QmStream");
  TypeDescriptor nameless = {"_p_X", nullptr, nullptr, nullptr, nullptr, 0};
  EXPECT_STREQ(qm::pretty_name(&nameless), "_p_X");
  EXPECT_EQ(qm::pretty_name(nullptr), nullptr);
}

TEST(Binding, IsPublishedOnceAndRepeatsChangeNothing) {
  void *published = PyCObject_Import(const_cast<char *>("swig_runtime_data4"),
                                     const_cast<char *>("type_pointer"));
  ASSERT_FALSE(PyErr_Occurred());
  EXPECT_EQ(published, self());
  std::vector<TypeDescriptor *> before(self()->types, self()->types + 59);
  std::vector<std::string> channel = cast_sources(row(ty::p_QmChannelData));
  ModuleTable *next = self()->next;
  qm::bind_type_table(qm::this_module);
  EXPECT_EQ(std::vector<TypeDescriptor *>(self()->types, self()->types + 59), before);
  EXPECT_EQ(cast_sources(row(ty::p_QmChannelData)), channel);
  EXPECT_EQ(self()->next, next);
}

// A second table joining the ring: shared names use the first table's
// descriptors, its own names stay its own, and its casts into a shared type
// join the shared descriptor's list once.
TypeDescriptor other_types[] = {
    {"_p_AnotherOnly", "AnotherOnly *", nullptr, nullptr, nullptr, 0},
    {"_p_QmDUTInfo", "QmDUTInfo *|Qm_Dut_Info *", nullptr, nullptr, nullptr, 0},
    {"_p_QmDUTInfoView", "QmDUTInfoView *", nullptr, nullptr, nullptr, 0},
};
CastEntry other_only[] = {{&other_types[0], nullptr, nullptr, nullptr}, {}};
CastEntry other_info[] = {{&other_types[2], nullptr, nullptr, nullptr},
                          {&other_types[1], nullptr, nullptr, nullptr}, {}};
CastEntry other_view[] = {{&other_types[2], nullptr, nullptr, nullptr}, {}};
TypeDescriptor *other_initial[] = {&other_types[0], &other_types[1], &other_types[2]};
CastEntry *other_casts[] = {other_only, other_info, other_view};
TypeDescriptor *other_slots[4];
ModuleTable other = {other_slots, 3, nullptr, other_initial, other_casts, nullptr};

TEST(Binding, ASecondTableSharesDescriptorsByName) {
  qm::bind_type_table(other);
  ASSERT_NE(self()->next, self());
  EXPECT_EQ(other.types[1], row(ty::p_QmDUTInfo));
  EXPECT_EQ(other.types[0], &other_types[0]);
  EXPECT_EQ(other.types[2], &other_types[2]);
  EXPECT_EQ(other.types[3], nullptr);
  // The view joined the shared descriptor's list, once (its position depends
  // on which look-ups moved entries to the front before).
  std::vector<std::string> sources = cast_sources(row(ty::p_QmDUTInfo));
  std::sort(sources.begin(), sources.end());
  EXPECT_EQ(sources, (std::vector<std::string>{"_p_QmDUTInfo", "_p_QmDUTInfoView"}));
  expect_linked(row(ty::p_QmDUTInfo));
  // Either table finds the other's names through the ring.
  EXPECT_EQ(qm::find_mangled(self()->next, self()->next, "_p_AnotherOnly"), &other_types[0]);
  // From a table round to itself is the whole ring; up to a table excludes it.
  EXPECT_EQ(qm::find_mangled(&other, &other, "_p_Qm_Stream"), row(ty::p_Qm_Stream));
  EXPECT_EQ(qm::find_mangled(other.next, &other, "_p_Qm_Stream"), row(ty::p_Qm_Stream));
  EXPECT_EQ(qm::find_mangled(other.next, &other, "_p_AnotherOnly"), nullptr);
  EXPECT_EQ(qm::find_readable(other.next, other.next, "AnotherOnly*"), &other_types[0]);
  qm::bind_type_table(other);
  EXPECT_EQ(cast_sources(row(ty::p_QmDUTInfo)).size(), 2u) << "a repeated binding adds nothing";
}

TEST(Proxy, ConversionFollowsTheSharedCastList) {
  int block = 0;
  PyObject *view = qm::make_proxy(&block, &other_types[2], qm::kOwn | qm::kNoShadow);
  ASSERT_NE(view, nullptr);
  void *out = nullptr;
  int owned = -1;
  qm::bind_type_table(other);
  EXPECT_EQ(qm::convert_pointer(view, &out, row(ty::p_QmDUTInfo), qm::kDisown, &owned), 0);
  EXPECT_EQ(out, &block);
  EXPECT_EQ(owned, 1);
  EXPECT_EQ(reinterpret_cast<qm::ProxyObject *>(view)->own, 0);
  EXPECT_EQ(qm::convert_pointer(view, &out, row(ty::p_QmChannelData), 0), -1);
  EXPECT_FALSE(PyErr_Occurred());
  Py_DECREF(view);
}

}  // namespace
