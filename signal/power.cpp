// power.cpp: the wrappers of the window and spectrum kernels: window,
// window_gains, rfft, power_spectrum, dbfs.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "signal/arguments.h"
#include "signal/buffers.h"
#include "signal/errors.h"
#include "signal/functions.h"
#include "signal/kernels/power.h"
#include "signal/kernels/windows.h"
#include "signal/released.h"

namespace qs {
namespace py {

using qm::OwnedReference;

namespace {

/// Parses (name, n) of window() and window_gains(); the weights come later.
int window_and_length(PyObject *args, PyObject *kwargs, const char *format, WindowId *id,
                      size_t *n) {
  static const char *keywords[] = {"name", "n", nullptr};
  const char *name;
  Py_ssize_t length;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, format, const_cast<char **>(keywords), &name,
                                   &length))
    return -1;
  if (window_argument(name, id) < 0) return -1;
  if (length < 0) return fail_code(kLength, length);
  *n = size_t(length);
  return check_length(*n, true);
}

/// The samples of a transform: numbers, a power-of-two count.
int transform_input(PyObject *samples, Buffer *in) {
  if (in->open(samples, "samples", Buffer::kNumbers) < 0) return -1;
  return check_length(in->count());
}

}  // namespace

PyObject *window(PyObject *, PyObject *args, PyObject *kwargs) {
  WindowId id = kRectangular;
  size_t n = 0;
  if (window_and_length(args, kwargs, "sn:window", &id, &n) < 0) return nullptr;
  void *out;
  OwnedReference result(new_array('d', n, &out));
  if (!result) return nullptr;
  if (!released([&] {
        std::shared_ptr<const WindowWeights> weights = window_weights(id, n);
        double *w = static_cast<double *>(out);
        for (size_t i = 0; i < n; ++i) w[i] = weights->w.empty() ? 1.0 : weights->w[i];
      }))
    return nullptr;
  return result.release();
}

PyObject *window_gains(PyObject *, PyObject *args, PyObject *kwargs) {
  WindowId id = kRectangular;
  size_t n = 0;
  if (window_and_length(args, kwargs, "sn:window_gains", &id, &n) < 0) return nullptr;
  std::shared_ptr<const WindowWeights> weights;
  if (!released([&] { weights = window_weights(id, n); })) return nullptr;
  double sum = weights->sum, squares = weights->squares;
  return Py_BuildValue("(dddi)", sum / double(n), squares / double(n),
                       double(n) * squares / (sum * sum), window_row(id).term_count);
}

PyObject *rfft(PyObject *, PyObject *args, PyObject *kwargs) {
  static const char *keywords[] = {"samples", nullptr};
  PyObject *samples;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O:rfft", const_cast<char **>(keywords),
                                   &samples))
    return nullptr;
  Buffer in;
  if (transform_input(samples, &in) < 0) return nullptr;
  void *out;
  OwnedReference result(new_array('d', in.count() + 2, &out));
  if (!result) return nullptr;
  bool finite = true;
  if (!released([&] { finite = real_transform(in.typed(), static_cast<double *>(out)); }))
    return nullptr;
  if (!finite) return fail(kNotFinite, "samples");
  return result.release();
}

PyObject *power_spectrum(PyObject *, PyObject *args, PyObject *kwargs) {
  static const char *keywords[] = {"samples", "window", "out", nullptr};
  PyObject *samples, *out_object = nullptr;
  const char *name = "rectangular";
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|sO:power_spectrum",
                                   const_cast<char **>(keywords), &samples, &name, &out_object))
    return nullptr;
  WindowId id;
  if (window_argument(name, &id) < 0) return nullptr;
  Buffer in;
  if (transform_input(samples, &in) < 0) return nullptr;
  size_t bins = in.count() / 2 + 1;
  // Into `out` when given (a spectrum no longer needed: no new memory), else a new array.
  Buffer out;
  OwnedReference result;
  double *power;
  if (out_object && out_object != Py_None) {
    if (out.open(out_object, "out", Buffer::kDoubles, Buffer::kWrite) < 0) return nullptr;
    if (out.count() != bins)
      return fail(kSizes, "out", Py_ssize_t(out.count()), "not", Py_ssize_t(bins));
    Py_INCREF(out_object);
    result = out_object;
    power = static_cast<double *>(out.writable());
  } else {
    void *made;
    result = new_array('d', bins, &made);
    if (!result) return nullptr;
    power = static_cast<double *>(made);
  }
  bool finite = true;
  if (!released([&] {
        // An output taken in place may be unaligned for doubles: through a copy then.
        std::vector<double> aligned;
        bool direct = reinterpret_cast<uintptr_t>(power) % alignof(double) == 0;
        if (!direct) aligned.resize(bins);
        finite = qs::power_spectrum(in.typed(), id, direct ? power : aligned.data());
        if (finite && !direct) std::memcpy(power, aligned.data(), bins * sizeof(double));
      }))
    return nullptr;
  if (!finite) return fail(kNotFinite, "samples");
  if (out.finish() < 0) return nullptr;
  return result.release();
}

PyObject *dbfs(PyObject *, PyObject *args, PyObject *kwargs) {
  static const char *keywords[] = {"power", "full_scale", "scale", "floor", nullptr};
  PyObject *power;
  double full_scale, scale = 1.0, floor = -300.0;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "Od|dd:dbfs", const_cast<char **>(keywords),
                                   &power, &full_scale, &scale, &floor))
    return nullptr;
  if (finite_argument(full_scale, "full_scale", true) < 0 ||
      finite_argument(scale, "scale", true) < 0 || finite_argument(floor, "floor", false) < 0)
    return nullptr;
  Buffer in;
  if (in.open(power, "power", Buffer::kNumbers) < 0) return nullptr;
  const Typed values = in.typed();
  void *out;
  OwnedReference result(new_array('d', values.count, &out));
  if (!result) return nullptr;
  bool finite = true;
  if (!released([&] {
        std::vector<double> scratch;
        const double *p = as_doubles(values, &scratch);
        finite = all_finite(p, values.count);
        if (finite) decibels(p, values.count, full_scale, scale, floor, static_cast<double *>(out));
      }))
    return nullptr;
  if (!finite) return fail(kNotFinite, "power");
  return result.release();
}

}  // namespace py
}  // namespace qs
