// receiver.cpp: the receiver the board library calls with each event, the
// global object it forwards to, the pins that keep that object alive while
// deliveries run it, and the native registration.
//
// Two ways in: the library calls _qm_callback_imp on its own threads (never
// seen by the interpreter) or on a wrapper's thread while the wrapper has
// released the lock; Python calls deliver_event through its wrapper. Only the
// second may see a Swig::DirectorException: the library knows nothing of C++
// exceptions or Python errors, so the receiver reports a failure of `run` as
// unraisable, clears it and answers 1 ("nobody handled it").
//
// Lifetime: a delivery reads _qm_callback and pins the object in one step
// under `mutex`; deleting the object retires it under the same mutex (and
// unstores it), so a delivery either pinned it first, and the object lives
// until that delivery leaves, or no longer finds it. The mutex is a leaf: it
// is never held while Python runs or while the interpreter lock is asked for.
#include "callbacks/receiver.h"

#include <mutex>
#include <typeinfo>

#include "callbacks/exit_gate.h"
#include "runtime/frame.h"
#include "runtime/reference.h"

namespace qm {

std::atomic<Qm_Callback *> _qm_callback{nullptr};

namespace {
/// Guards _qm_callback's writes and every object's deliveries_ and retired_.
/// Never destroyed: library threads may still deliver during static destruction.
std::mutex &mutex() {
  static std::mutex *const m = new std::mutex;
  return *m;
}
}  // namespace

Pin::Pin() {
  std::lock_guard<std::mutex> lock(mutex());
  object_ = _qm_callback.load(std::memory_order_relaxed);
  if (object_) ++object_->deliveries_;
}

Pin::Pin(Qm_Callback *object) {
  if (!object) return;
  std::lock_guard<std::mutex> lock(mutex());
  if (object->retired_) return;
  object_ = object;
  ++object_->deliveries_;
}

Pin::~Pin() {
  if (!object_) return;
  bool last;
  {
    std::lock_guard<std::mutex> lock(mutex());
    last = --object_->deliveries_ == 0 && object_->retired_;
  }
  if (last) delete object_;  // a disowned director takes the interpreter lock here
}

bool retire(Qm_Callback *object) {
  std::lock_guard<std::mutex> lock(mutex());
  Qm_Callback *expected = object;
  _qm_callback.compare_exchange_strong(expected, nullptr, std::memory_order_relaxed);
  object->retired_ = true;
  return object->deliveries_ == 0;
}

QmWord deliver_event(Qm_Dll_Event_Param *event) {
  Admission admitted;
  if (!admitted) return 1;
  Pin pin;
  return pin.get() ? pin.get()->run(event) : 1;
}

void store_callback(Qm_Callback *object) {
  std::lock_guard<std::mutex> lock(mutex());
  _qm_callback.store(object && !object->retired_ ? object : nullptr, std::memory_order_release);
}

void unstore_callback(const Qm_Callback *object) {
  std::lock_guard<std::mutex> lock(mutex());
  Qm_Callback *expected = const_cast<Qm_Callback *>(object);
  // Only if still stored: another object stored meanwhile stays.
  _qm_callback.compare_exchange_strong(expected, nullptr, std::memory_order_relaxed);
}

void qm_set_custom_callback(Qm_Callback *object) {
  QmSetEventCallback(&_qm_callback_imp);  // its status is of no use here
  store_callback(object);
}

namespace {

/// Reports the error `run` left pending as Python does for errors it cannot
/// raise, then clears it. Lock held.
void report_unraisable(PyObject *context) {
  if (!PyErr_Occurred()) PyErr_SetString(PyExc_RuntimeError, "Qm_Callback.run failed");
  PyErr_WriteUnraisable(context ? context : Py_None);
  PyErr_Clear();
}

}  // namespace

extern "C" QmWord QM_RECEIVER_CALL _qm_callback_imp(Qm_Dll_Event_Param *event) {
  // Released in reverse: the lock, then the pin (which may free a retired
  // object), then the gate, so the drain at exit waits for all of it.
  Admission admitted;
  if (!admitted) return 1;
  Pin pin;
  Qm_Callback *object = pin.get();
  if (!object) return 1;
  // Exactly two classes exist; comparing the dynamic type is cheaper per
  // event than a cross-cast.
  SwigDirector_Qm_Callback *director = typeid(*object) == typeid(SwigDirector_Qm_Callback)
                                           ? static_cast<SwigDirector_Qm_Callback *>(object)
                                           : nullptr;
  if (!director) {
    // A plain object never enters the interpreter.
    try {
      return object->run(event);
    } catch (...) {
      return 1;
    }
  }
  // The lock is held across `run` so that its error survives until reported:
  // on a thread the interpreter never saw, the thread state `run` would make
  // (and with it the pending error) is gone once its lock is released.
  CallFrame lock;
  // Deleted, or its self dying, while this delivery waited for the lock.
  if (!director->reachable()) return 1;
  // `run` may delete the director (the pin defers the free) and drop the
  // last reference to its self.
  OwnedReference context = OwnedReference::to(director->self());
  try {
    return object->run(event);
  } catch (const Swig::DirectorException &) {
  } catch (...) {
    run_failed_natively();
  }
  report_unraisable(context.get());
  return 1;
}

}  // namespace qm
