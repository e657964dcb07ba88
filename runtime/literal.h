// literal.h: the wording of the wrappers' fixed texts. Only the preprocessor
// turns names into strings, so every message and parse format is a string
// literal in the binary, made once from a table row, never built per call.
#ifndef QM_RUNTIME_LITERAL_H
#define QM_RUNTIME_LITERAL_H

/// "in method 'FUNCTION', argument POSITION of type 'TYPE'":
/// QM_IN_METHOD("delete_" #REC, 1, #REC " *").
#define QM_IN_METHOD(FUNCTION, POSITION, TYPE) \
  "in method '" FUNCTION "', argument " #POSITION " of type '" TYPE "'"

/// QM_EACH(M, X, a, b) expands to M(X, 1, a) M(X, 2, b): up to nine items,
/// with their 1-based positions; no items, nothing.
#define QM_EACH(M, X, ...) __VA_OPT__(QM_EACH_N(QM_COUNT(__VA_ARGS__), M, X, __VA_ARGS__))
#define QM_COUNT(...) QM_COUNT_(__VA_ARGS__, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0)
#define QM_COUNT_(a, b, c, d, e, f, g, h, i, N, ...) N
#define QM_EACH_N(N, M, X, ...) QM_EACH_JOIN(QM_EACH_, N)(M, X, __VA_ARGS__)
#define QM_EACH_JOIN(A, B) A##B
#define QM_EACH_1(M, X, a) M(X, 1, a)
#define QM_EACH_2(M, X, a, b) QM_EACH_1(M, X, a) M(X, 2, b)
#define QM_EACH_3(M, X, a, b, c) QM_EACH_2(M, X, a, b) M(X, 3, c)
#define QM_EACH_4(M, X, a, b, c, d) QM_EACH_3(M, X, a, b, c) M(X, 4, d)
#define QM_EACH_5(M, X, a, b, c, d, e) QM_EACH_4(M, X, a, b, c, d) M(X, 5, e)
#define QM_EACH_6(M, X, a, b, c, d, e, f) QM_EACH_5(M, X, a, b, c, d, e) M(X, 6, f)
#define QM_EACH_7(M, X, a, b, c, d, e, f, g) QM_EACH_6(M, X, a, b, c, d, e, f) M(X, 7, g)
#define QM_EACH_8(M, X, a, b, c, d, e, f, g, h) QM_EACH_7(M, X, a, b, c, d, e, f, g) M(X, 8, h)
#define QM_EACH_9(M, X, a, b, c, d, e, f, g, h, i) \
  QM_EACH_8(M, X, a, b, c, d, e, f, g, h) M(X, 9, i)

/// The fixed texts of an entry point whose arguments are declared types
/// ARGUMENTS, each with a QM_DECLARED_<type> string: its parse format
/// ("OO:name") and its in-method messages in argument order (a null end).
#define QM_PARSE_FORMAT(NAME, ...) QM_EACH(QM_PARSE_OBJECT, _, __VA_ARGS__) ":" #NAME
#define QM_PARSE_OBJECT(X, I, TYPE) "O"
#define QM_ARGUMENT_MESSAGES(NAME, ...) {QM_EACH(QM_ARGUMENT_MESSAGE, #NAME, __VA_ARGS__) nullptr}
#define QM_ARGUMENT_MESSAGE(FUNCTION, I, TYPE) QM_IN_METHOD(FUNCTION, I, QM_DECLARED_##TYPE),

#define QM_UNPAREN(...) __VA_ARGS__

#endif
