// write_layouts.cpp: a build tool, not part of the module. Writes the Python
// module qm_layouts, the record and array layouts the class layer builds its
// classes from, out of the same tables the module's record and array
// families are expanded from (records.def, arrays.def, the type table's
// readable names), with offsets and sizes taken from the library's own
// declarations. The text depends on nothing but those tables and the
// records' fixed layout, so one file serves every build of the module.
//
//   write_layouts <output file>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "qmdll/include/qmdll.h"

namespace {

// ---- the tables, as plain rows ----

#define QM_LAYOUT_KIND_WORD "word"
#define QM_LAYOUT_KIND_ENUM "enum"
#define QM_LAYOUT_KIND_DOUBLE "double"
#define QM_LAYOUT_KIND_STRING "string"
#define QM_LAYOUT_KIND_WORDS "words"
#define QM_LAYOUT_KIND_POINTER(ROW, OWNERSHIP) "pointer"
#define QM_LAYOUT_KIND_RECORD(INNER) "record"

struct FieldRow {
  const char *record, *name, *kind, *declared;
  std::size_t offset, width;
};

const FieldRow kFields[] = {
#define QM_FIELD(REC, FIELD, KIND, TYPE) \
  {#REC, #FIELD, QM_LAYOUT_KIND_##KIND, TYPE, offsetof(::REC, FIELD), sizeof(::REC::FIELD)},
#define QM_RECORD(REC, SIZE)
#include "records/records.def"
#undef QM_FIELD
#undef QM_RECORD
};

struct RecordRow {
  const char *name;
  std::size_t size;
};

const RecordRow kRecords[] = {
#define QM_FIELD(REC, FIELD, KIND, TYPE)
#define QM_RECORD(REC, SIZE) {#REC, sizeof(::REC)},
#include "records/records.def"
#undef QM_FIELD
#undef QM_RECORD
};

#define QM_LAYOUT_ITEM_RECORD "record"
#define QM_LAYOUT_ITEM_WORD "word"
#define QM_LAYOUT_ITEM_BYTE "byte"

struct ArrayRow {
  const char *name, *element;
  std::size_t element_size;
  const char *item;
};

const ArrayRow kArrays[] = {
#define QM_ARRAY(ARRAY, ELEMENT, ELEMENT_ROW, ITEM, ITEM_TYPE) \
  {#ARRAY, #ELEMENT, sizeof(::ELEMENT), QM_LAYOUT_ITEM_##ITEM},
#include "records/arrays.def"
#undef QM_ARRAY
};

struct TypeRow {
  const char *id, *readable;
};

const TypeRow kTypes[] = {
#define QM_TYPE(ID, MANGLED, READABLE) {#ID, READABLE},
#include "catalog/type_table.def"
#undef QM_TYPE
};

// ---- the record's other names: its descriptor's readable names ----

std::string trimmed(const std::string &text) {
  std::size_t begin = text.find_first_not_of(' '), end = text.find_last_not_of(' ');
  return begin == std::string::npos ? std::string() : text.substr(begin, end - begin + 1);
}

/// The names besides `record` under which the library declares it: the
/// alternatives "<alias> *" of its descriptor row (enumerations have none).
std::vector<std::string> aliases_of(const char *record) {
  std::vector<std::string> aliases;
  const std::string id = std::string("p_") + record;
  for (const TypeRow &type : kTypes) {
    if (id != type.id) continue;
    std::string names = type.readable;
    for (std::size_t at = 0; at <= names.size();) {
      std::size_t bar = names.find('|', at);
      if (bar == std::string::npos) bar = names.size();
      std::string name = trimmed(names.substr(at, bar - at));
      at = bar + 1;
      if (name.size() < 2 || name.compare(name.size() - 1, 1, "*") != 0) continue;
      name = trimmed(name.substr(0, name.size() - 1));
      if (name != record && name.find(' ') == std::string::npos) aliases.push_back(name);
    }
  }
  return aliases;
}

// ---- the Python text ----

/// A Python str literal; names and declared types never need escapes, and
/// a table row that would is refused rather than written wrong.
bool quoted(std::string *out, const std::string &text) {
  if (text.find_first_of("'\\\n") != std::string::npos) return false;
  *out += "'" + text + "'";
  return true;
}

bool write_text(std::string *out) {
  *out +=
      "\"\"\"The layouts of _qm_python's records and array classes, for the class layer\n"
      "qm_python.\n"
      "\n"
      "Written by the build (records/layouts/write_layouts.cpp) from the tables the\n"
      "module's record and array families are made from (records/records.def,\n"
      "records/arrays.def, catalog/type_table.def), with the offsets and sizes of the\n"
      "library's own declarations. Do not edit.\n"
      "\n"
      "RECORDS: (name, size, aliases, fields) per record family, in the module's\n"
      "    table order; fields (name, kind, declared type, offset, width) in layout\n"
      "    order, offsets and widths in bytes. Kinds: 'word', 'enum', 'double',\n"
      "    'string', 'words' (QmWord [N] inline), 'pointer', 'record' (by value).\n"
      "ARRAYS: (name, element type, element size, item kind) per array class; item\n"
      "    kinds: 'record', 'word', 'byte'.\n"
      "\"\"\"\n"
      "\nRECORDS = (\n";
  bool ok = true;
  for (const RecordRow &record : kRecords) {
    *out += "    (";
    ok = ok && quoted(out, record.name);
    *out += ", " + std::to_string(record.size) + ", (";
    for (const std::string &alias : aliases_of(record.name)) {
      ok = ok && quoted(out, alias);
      *out += ", ";
    }
    *out += "), (\n";
    for (const FieldRow &field : kFields) {
      if (std::strcmp(field.record, record.name) != 0) continue;
      *out += "        (";
      ok = ok && quoted(out, field.name);
      *out += ", ";
      ok = ok && quoted(out, field.kind);
      *out += ", ";
      ok = ok && quoted(out, field.declared);
      *out += ", " + std::to_string(field.offset) + ", " + std::to_string(field.width) + "),\n";
    }
    *out += "    )),\n";
  }
  *out += ")\n\nARRAYS = (\n";
  for (const ArrayRow &array : kArrays) {
    *out += "    (";
    ok = ok && quoted(out, array.name);
    *out += ", ";
    ok = ok && quoted(out, array.element);
    *out += ", " + std::to_string(array.element_size) + ", ";
    ok = ok && quoted(out, array.item);
    *out += "),\n";
  }
  *out += ")\n";
  return ok;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: write_layouts <output file>\n");
    return 2;
  }
  std::string text;
  if (!write_text(&text)) {
    std::fprintf(stderr, "write_layouts: a table name needs quoting\n");
    return 1;
  }
  // Written beside the target and renamed, so a failed run leaves no half file.
  const std::string partial = std::string(argv[1]) + ".partial";
  std::FILE *file = std::fopen(partial.c_str(), "wb");
  bool written = file && std::fwrite(text.data(), 1, text.size(), file) == text.size();
  if (file && std::fclose(file) != 0) written = false;
  if (!written || std::rename(partial.c_str(), argv[1]) != 0) {
    std::remove(partial.c_str());
    std::fprintf(stderr, "write_layouts: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
