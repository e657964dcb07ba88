// receiver.cpp: the receiver the board library calls with each event, the
// global object it forwards to, and the native registration.
//
// Two ways in: the library calls _qm_callback_imp on its own threads (never
// seen by the interpreter) or on a wrapper's thread while the wrapper has
// released the lock; Python calls deliver_event through its wrapper. Only the
// second may see a Swig::DirectorException: the library knows nothing of C++
// exceptions or Python errors, so the receiver reports a failure of `run` as
// unraisable, clears it and answers 1 ("nobody handled it").
#include "callbacks/receiver.h"

#include <new>
#include <typeinfo>

#include "runtime/frame.h"

namespace qm {

std::atomic<Qm_Callback *> _qm_callback{nullptr};

QmWord deliver_event(Qm_Dll_Event_Param *event) {
  Qm_Callback *object = _qm_callback.load(std::memory_order_acquire);
  return object ? object->run(event) : 1;
}

void unstore_callback(const Qm_Callback *object) {
  Qm_Callback *expected = const_cast<Qm_Callback *>(object);
  // Only if still stored: another object stored meanwhile stays.
  _qm_callback.compare_exchange_strong(expected, nullptr, std::memory_order_acq_rel);
}

void qm_set_custom_callback(Qm_Callback *object) {
  QmSetEventCallback(&_qm_callback_imp);  // its status is of no use here
  _qm_callback.store(object, std::memory_order_release);
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
  Qm_Callback *object = _qm_callback.load(std::memory_order_acquire);
  if (!object) return 1;
  // Exactly two classes exist; comparing the dynamic type is cheaper per
  // event than a cross-cast.
  Swig::Director *director = typeid(*object) == typeid(SwigDirector_Qm_Callback)
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
  // `run` may delete the director (and drop the last reference to its self).
  Swig::OwnedReference context((Py_INCREF(director->self()), director->self()));
  try {
    return object->run(event);
  } catch (const Swig::DirectorException &) {
    report_unraisable(context.get());
  } catch (const std::bad_alloc &) {
    PyErr_NoMemory();
    report_unraisable(context.get());
  } catch (...) {
    report_unraisable(context.get());
  }
  return 1;
}

}  // namespace qm
