// module.cpp: init_qm_signal, the entry point of _qm_signal, the native
// signal core of the bench API. It is a module of its own, beside the
// binding _qm_python and not linked with it; it knows the library only by
// its data-format values (qmdll.h).
//
// === Overview ===
// kernels/ holds the arithmetic in plain C++ (no Python): data formats
// (decode, encode, histogram), de-interleaving, windows, the real transform
// and power spectrum, reductions over spectra, the code-density test. Each
// Python function is one wrapper (samples.cpp, power.cpp, reductions.cpp,
// density.cpp; rows in
// functions.def) that, with the lock held, checks its arguments
// (arguments.h), takes its buffers by the one rule of buffers.h and makes
// its result arrays; then runs the kernel with the lock released
// (released.h), touching no Python object; then, with the lock back,
// reports what the kernel found (errors.h) or returns the result. So two
// Python threads analysing two captures compute on two cores. The tables
// the kernels share (transform plans, window weights) are immutable once
// made and live in small locked caches (kernels/cache.h).
#include "signal/buffers.h"
#include "signal/functions.h"
#include "signal/kernels/fft.h"
#include "signal/kernels/formats.h"
#include "signal/kernels/windows.h"
#include "qmdll/include/qmdll.h"
#include "runtime/reference.h"

#ifdef _WIN32
#define QM_SIGNAL_ENTRY extern "C"  // exported by windows/_qm_signal.def
#else
#define QM_SIGNAL_ENTRY extern "C" __attribute__((visibility("default")))
#endif

namespace qs {
namespace {

PyMethodDef methods[] = {
#define QM_FUNCTION(NAME, DOC)                                                         \
  {#NAME, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(py::NAME)), \
   METH_VARARGS | METH_KEYWORDS, DOC},
#include "signal/functions.def"
#undef QM_FUNCTION
    {nullptr, nullptr, 0, nullptr}};

constexpr int kFunctionCount = sizeof(methods) / sizeof(methods[0]) - 1;
static_assert(kFunctionCount == 19, "functions.def has a row per function");

const char kDoc[] =
    "_qm_signal: the native signal core of the bench API.\n\n"
    "Kernels on buffers (str, bytearray, array.array, ctypes arrays such as a\n"
    "view of the capture buffer), computed with the interpreter lock released:\n"
    "decode/encode of sample words, deinterleave, windows and their gains, the\n"
    "real transform and power spectrum, decibels, and the reductions the\n"
    "figures are made of (band sums outside a mask of taken bins, argmax and\n"
    "argmin, peaks, order statistics and ranks, running sums, accumulation of\n"
    "spectra, the extremes of samples), and the code-density test of a\n"
    "sine's histogram. An array.array argument is copied\n"
    "for the call (another thread could resize it meanwhile); other buffers\n"
    "are read in place.";

bool add_int(PyObject *module, const char *name, long value) {
  return PyModule_AddIntConstant(module, name, value) == 0;
}

bool add_constants(PyObject *module) {
#define QM_FORMAT(ID, CODING, NAME, CONSTANT) \
  if (!add_int(module, #CONSTANT, long(ID))) return false;
#include "signal/kernels/formats.def"
#undef QM_FORMAT
  qm::OwnedReference names(PyTuple_New(kWindowCount));
  if (!names) return false;
  for (int i = 0; i < kWindowCount; ++i) {
    PyObject *name = PyString_FromString(window_row(WindowId(i)).name);
    if (!name) return false;
    PyTuple_SET_ITEM(names.get(), i, name);
  }
  return PyModule_AddObject(module, "WINDOWS", names.release()) == 0 &&
         add_int(module, "MAX_TRANSFORM", long(kMaxTransform)) &&
         add_int(module, "MAX_HISTOGRAM_BITS", long(kMaxHistogramBits));
}

}  // namespace
}  // namespace qs

QM_SIGNAL_ENTRY void init_qm_signal() {
  PyObject *module = Py_InitModule4("_qm_signal", qs::methods, qs::kDoc, nullptr,
                                    PYTHON_API_VERSION);
  if (!module || !qs::init_buffers() || !qs::add_constants(module)) return;
  PyEval_InitThreads();  // the kernels release the lock
}
