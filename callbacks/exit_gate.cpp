// exit_gate.cpp: the gate between the library's threads and a finalizing
// interpreter.
//
// === Why ===
// Library threads keep delivering events while the main thread leaves with
// sys.exit(). Py_Finalize neither waits for nor stops foreign threads: one
// that asks for the lock (PyGILState_Ensure) or runs Python code while the
// interpreter is torn down touches freed state. So the interpreter must not
// be entered by a delivery once finalization has begun.
//
// === How ===
// A delivery counts itself inside *before* it reads the closing flag; the
// drain sets the flag *before* it reads the count (all sequentially
// consistent). Either the drain sees the delivery counted, and waits for it,
// or the delivery sees the flag, and backs out without touching Python.
// A delivery that passed the flag check but still waits for the lock inside
// PyGILState_Ensure is counted too: the drain releases the lock while it
// waits, so that delivery gets in, finishes and leaves. After the drain the
// count only rises for an instant (a delivery seeing the flag and backing
// out), so no receiver thread enters the interpreter again.
//
// The drain runs from `atexit`, which Py_Finalize calls first, after joining
// non-daemon threads and before any module is torn down. The wait is bounded
// (kDrainLimit): a `run` that never returns must not hang the exit; such a
// handler is then left inside a dying interpreter, as Python leaves daemon
// threads.
#include "callbacks/exit_gate.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "runtime/frame.h"
#include "runtime/reference.h"

namespace qm {
namespace {

constexpr auto kDrainLimit = std::chrono::seconds(5);

struct Gate {
  std::atomic<int> inside{0};        ///< deliveries counted in, admitted or backing out
  std::atomic<bool> closing{false};  ///< set once, by the drain
  std::mutex mutex;                  ///< only for `left`
  std::condition_variable left;      ///< a delivery left while closing
};

/// Never destroyed: library threads still pass the gate while the process's
/// static objects are destroyed.
Gate &gate() {
  static Gate *const g = new Gate;
  return *g;
}

/// Deliveries this thread is inside: the drain does not wait for its own.
thread_local int depth = 0;

void leave(Gate &g) {
  g.inside.fetch_sub(1);
  if (g.closing.load()) {
    std::lock_guard<std::mutex> lock(g.mutex);  // so the drain cannot miss the wake-up
    g.left.notify_all();
  }
}

/// The atexit handler. Lock held on entry and on return.
PyObject *drain(PyObject *, PyObject *) {
  Gate &g = gate();
  g.closing.store(true);
  const int own = depth;
  unlocked([&] {
    std::unique_lock<std::mutex> lock(g.mutex);
    g.left.wait_for(lock, kDrainLimit, [&] { return g.inside.load() <= own; });
  });
  Py_RETURN_NONE;
}

PyMethodDef drain_method = {"drain_event_deliveries", drain, METH_NOARGS, nullptr};

}  // namespace

Admission::Admission() : admitted_(false) {
  Gate &g = gate();
  g.inside.fetch_add(1);
  if (g.closing.load()) {
    leave(g);
    return;
  }
  admitted_ = true;
  ++depth;
}

Admission::~Admission() {
  if (!admitted_) return;
  --depth;
  leave(gate());
}

void register_exit_drain() {
  static bool registered = false;
  if (registered) return;
  OwnedReference atexit(PyImport_ImportModule("atexit"));
  OwnedReference handler(atexit ? PyCFunction_NewEx(&drain_method, nullptr, nullptr) : nullptr);
  OwnedReference result(handler ? PyObject_CallMethod(atexit.get(), const_cast<char *>("register"),
                                                      const_cast<char *>("(O)"), handler.get())
                                : nullptr);
  registered = static_cast<bool>(result);
  if (!result) PyErr_Clear();  // events then work as before, without the drain
}

}  // namespace qm
