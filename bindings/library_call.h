// library_call.h: the one wrapper of every library function. A call is
// described by one row (its name, the library function, its arguments'
// declared types and its outputs in packing order); this template runs the
// frame: lock, parse, convert in order (first failure wins), release the lock
// around the one library call, then status and outputs into the result.
#ifndef QM_BINDINGS_LIBRARY_CALL_H
#define QM_BINDINGS_LIBRARY_CALL_H

#include <cstddef>
#include <tuple>
#include <utility>

#include "runtime/convert.h"
#include "runtime/errors.h"
#include "runtime/frame.h"

namespace qm {

template <class Description, class Inputs = typename Description::inputs, class Outputs = typename Description::outputs>
struct LibraryCall;

template <class Description, class... In, class... Out>
struct LibraryCall<Description, std::tuple<In...>, std::tuple<Out...>> {
  static constexpr std::size_t arity = sizeof...(In);
  using Values = std::tuple<typename In::value...>;
  using Storage = std::tuple<typename Out::storage...>;

  static PyObject *call(PyObject *, PyObject *args) {
    Entry<arity> entry(args, Description::format);
    Values values{};
    if (!entry || !convert_all(entry, values, std::index_sequence_for<In...>())) return nullptr;
    Storage outputs{};
    unsigned long status = 0;
    unlocked([&] { status = invoke(values, outputs, std::index_sequence_for<Out...>()); });
    return append_all(from_unsigned(status), outputs, std::index_sequence_for<Out...>());
  }

 private:
  template <std::size_t I>
  static bool convert_one(PyObject *object, Values &values) {
    using Kind = std::tuple_element_t<I, std::tuple<In...>>;
    return converted(Kind::convert(object, &std::get<I>(values)), Description::messages[I]);
  }

  template <std::size_t... I>
  static bool convert_all(const Entry<arity> &entry, Values &values, std::index_sequence<I...>) {
    return (convert_one<I>(entry[I], values) && ...);
  }

  template <std::size_t... J>
  static unsigned long invoke(Values &values, Storage &outputs, std::index_sequence<J...>) {
    return std::apply(Description::function,
                      std::tuple_cat(values, Out::params(std::get<J>(outputs))...));
  }

  template <std::size_t... J>
  static PyObject *append_all(PyObject *result, Storage &outputs, std::index_sequence<J...>) {
    // Stops at the first output that fails; its error stands.
    (void)((result = Out::append(result, std::get<J>(outputs))) && ...);
    return result;
  }
};

}  // namespace qm

#endif
