// The method table against the listed order of the module's functions.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "module/method_table.h"

namespace {

std::vector<std::string> listed_names() {
  std::ifstream file(QM_SOURCE_DIR "/tests/data/method_table.txt");
  std::vector<std::string> names;
  for (std::string line; std::getline(file, line);) {
    if (!line.empty() && line[0] != '#') names.push_back(line);
  }
  return names;
}

std::vector<const PyMethodDef *> table_rows() {
  std::vector<const PyMethodDef *> rows;
  for (const PyMethodDef *row = qm::module_methods; row->ml_name; ++row) rows.push_back(row);
  return rows;
}

TEST(MethodTable, HoldsTheListedFunctionsInOrder) {
  std::vector<std::string> listed = listed_names();
  ASSERT_EQ(listed.size(), 415u);
  std::vector<std::string> actual;
  for (const PyMethodDef *row : table_rows()) actual.push_back(row->ml_name);
  // Until every family exists, what exists must keep the listed order.
  std::vector<std::string> expected;
  std::copy_if(listed.begin(), listed.end(), std::back_inserter(expected), [&](const std::string &n) {
    return std::find(actual.begin(), actual.end(), n) != actual.end();
  });
  EXPECT_EQ(actual, expected) << "a function is missing from the list, or out of order";
  EXPECT_EQ(actual.size(), listed.size()) << "the method table is not complete yet";
}

TEST(MethodTable, ConventionsAndDocs) {
  std::vector<const PyMethodDef *> rows = table_rows();
  ASSERT_FALSE(rows.empty());
  EXPECT_STREQ(rows[0]->ml_name, "SWIG_PyInstanceMethod_New");
  EXPECT_EQ(rows[0]->ml_flags, METH_O);
  for (size_t i = 1; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i]->ml_flags, METH_VARARGS) << rows[i]->ml_name;
  }
  for (const PyMethodDef *row : rows) EXPECT_EQ(row->ml_doc, nullptr) << row->ml_name;
  const PyMethodDef &end = qm::module_methods[rows.size()];
  EXPECT_EQ(end.ml_meth, nullptr);
  EXPECT_EQ(end.ml_flags, 0);
}

}  // namespace
