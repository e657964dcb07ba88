// literal.h: compile-time joining of string literals, so that every fixed
// message and parse format is a constant in the binary, not built per call.
#ifndef QM_RUNTIME_LITERAL_H
#define QM_RUNTIME_LITERAL_H

#include <cstddef>

namespace qm {

template <std::size_t N>
struct Literal {
  char text[N] = {};
};

/// concat("in method '", name, "'") -> Literal holding the joined text.
template <std::size_t... N>
constexpr Literal<(N + ... + 0) - sizeof...(N) + 1> concat(const char (&... parts)[N]) {
  Literal<(N + ... + 0) - sizeof...(N) + 1> out{};
  std::size_t at = 0;
  auto add = [&](const char *part, std::size_t size) {
    for (std::size_t i = 0; i + 1 < size; ++i) out.text[at++] = part[i];
  };
  (add(parts, N), ...);
  return out;
}

/// "1".."9": argument positions in messages.
template <std::size_t I>
struct Position {
  static_assert(I >= 1 && I <= 9, "wrappers take at most nine arguments");
  static constexpr char text[2] = {static_cast<char>('0' + I), '\0'};
};

/// N letters 'O': the object-per-argument part of a parse format.
template <std::size_t N>
constexpr Literal<N + 1> objects() {
  Literal<N + 1> out{};
  for (std::size_t i = 0; i < N; ++i) out.text[i] = 'O';
  return out;
}

/// The parse format "OO:name" of a wrapper with N arguments.
template <std::size_t N, const auto &Name>
struct ParseFormat {
  static constexpr Literal<N + 1> letters = objects<N>();
  static constexpr auto value = concat(letters.text, ":", Name);
};

/// The in-method message as a string literal, for tables the preprocessor
/// expands: QM_IN_METHOD("delete_" #REC, 1, #REC " *"). Same wording as InMethod.
#define QM_IN_METHOD(FUNCTION, POSITION, TYPE) \
  "in method '" FUNCTION "', argument " #POSITION " of type '" TYPE "'"

/// "in method 'name', argument I of type 'Type'".
template <const auto &Name, std::size_t I, const auto &Type>
struct InMethod {
  static constexpr auto value =
      concat("in method '", Name, "', argument ", Position<I>::text, " of type '", Type, "'");
};

}  // namespace qm

#endif
