// receiver.cpp: the ways an event enters the director: the receiver the
// board library calls, deliver_event for an event that Python hands over,
// and the director's virtual `run`. Each asks the lifetime unit one question
// and then lets the director deliver with the lock held.
//
// The library calls _qm_callback_imp on its own threads or on a wrapper's
// thread while the wrapper has released the lock, and knows nothing of C++
// exceptions or Python errors: the receiver reports a failure of `run` as
// unraisable, clears it and answers 1 ("nobody handled it"). The other two
// let the failure pass to a caller that returns it to Python.
#include "callbacks/receiver.h"

#include "callbacks/callback.h"
#include "callbacks/lifetime.h"
#include "runtime/frame.h"
#include "runtime/reference.h"

namespace qm {

namespace {

/// Reports the error `run` left pending as Python does for errors it cannot
/// raise, then clears it. Lock held.
void report_unraisable(PyObject *context) {
  if (!PyErr_Occurred()) PyErr_SetString(PyExc_RuntimeError, "Qm_Callback.run failed");
  PyErr_WriteUnraisable(context ? context : Py_None);
  PyErr_Clear();
}

}  // namespace

QmWord deliver_event(Qm_Dll_Event_Param *event) {
  lifetime::Delivery delivery;
  SwigDirector_Qm_Callback *director = delivery.director();
  return director ? director->deliver(event) : Qm_Callback::kUnhandled;
}

extern "C" QmWord QM_RECEIVER_CALL _qm_callback_imp(Qm_Dll_Event_Param *event) noexcept {
  lifetime::Delivery delivery;
  SwigDirector_Qm_Callback *director = delivery.director();
  if (!director) return Qm_Callback::kUnhandled;
  // The lock is held across `run`, so its error survives until reported.
  // `run` may delete the director (its pin defers the free) and drop the
  // last reference to its self: the report names the self all the same.
  OwnedReference context = OwnedReference::to(director->self());
  try {
    return director->deliver(event);
  } catch (const Swig::DirectorException &) {
  } catch (...) {
    run_failed_natively();
  }
  report_unraisable(context.get());
  return Qm_Callback::kUnhandled;
}

}  // namespace qm

QmWord SwigDirector_Qm_Callback::run(Qm_Dll_Event_Param *event) {
  qm::CallFrame lock;
  if (!qm::lifetime::reachable(this)) return kUnhandled;
  return deliver(event);
}
