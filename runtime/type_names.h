// type_names.h: the one rule by which a type name matches a descriptor's
// readable names: '|' separates alternatives, spaces are ignored, case is
// kept. constexpr, so the same rule serves the look-ups at run time and the
// compile-time checks of the type table's rows.
#ifndef QM_RUNTIME_TYPE_NAMES_H
#define QM_RUNTIME_TYPE_NAMES_H

namespace qm {

/// Compares two ranges ignoring spaces: negative, 0 or positive.
constexpr int name_compare(const char *begin1, const char *end1, const char *begin2,
                           const char *end2) {
  while (begin1 != end1 && begin2 != end2) {
    while (begin1 != end1 && *begin1 == ' ') ++begin1;
    while (begin2 != end2 && *begin2 == ' ') ++begin2;
    if (begin1 == end1 || begin2 == end2) break;  // never read past a range
    signed char c1 = static_cast<signed char>(*begin1);
    signed char c2 = static_cast<signed char>(*begin2);
    if (c1 != c2) return c1 > c2 ? 1 : -1;
    ++begin1;
    ++begin2;
  }
  return static_cast<int>((end1 - begin1) - (end2 - begin2));
}

/// The end of `text` up to (not including) its first `stop` or its NUL.
constexpr const char *part_end(const char *text, char stop = '\0') {
  while (*text && *text != stop) ++text;
  return text;
}

/// 1 when `name` equals one of the '|'-separated alternatives of `list`.
constexpr int name_equivalent(const char *list, const char *name) {
  const char *name_end = part_end(name);
  for (const char *begin = list;;) {
    const char *end = part_end(begin, '|');
    if (name_compare(name, name_end, begin, end) == 0) return 1;
    if (*end == '\0') return 0;
    begin = end + 1;
  }
}

}  // namespace qm

#endif
