// receiver.h: the global callback object, the receiver the library calls, and
// the native registration.
#ifndef QM_CALLBACKS_RECEIVER_H
#define QM_CALLBACKS_RECEIVER_H

#include <atomic>

#include "callbacks/callback.h"
#include "qmdll/include/qmdll.h"

namespace qm {

/// The object events go to; null when none. The module holds no reference to
/// it. Written under the receiver's mutex; atomic so that a reader holding
/// only the interpreter lock sees the old or the new pointer.
extern std::atomic<Qm_Callback *> _qm_callback;

/// Keeps a callback object from being freed while a delivery is inside its
/// `run`: deleting it meanwhile only retires it, and the last pin to go
/// frees it. Never held across a wait for the interpreter lock's owner.
class Pin {
 public:
  /// Pins the object _qm_callback holds now (nothing when it is null).
  Pin();
  /// Pins `object`, which the caller has found live with the interpreter
  /// lock held (nothing when it is null or already retired).
  explicit Pin(Qm_Callback *object);
  ~Pin();
  Qm_Callback *get() const { return object_; }

  Pin(const Pin &) = delete;
  Pin &operator=(const Pin &) = delete;

 private:
  Qm_Callback *object_ = nullptr;  ///< pinned, or null
};

/// Deletion of `object`, with the interpreter lock held: unstores it and
/// marks it retired. True when no delivery is inside it, so the caller frees
/// it now; otherwise the last delivery to leave frees it.
bool retire(Qm_Callback *object);

/// Forwards an event to the stored object (1 when none, or when the
/// interpreter is finalizing) and lets a Swig::DirectorException pass: for
/// callers that return to Python.
QmWord deliver_event(Qm_Dll_Event_Param *event);

/// Stores `object` (null: none) unless it was retired meanwhile; then null.
void store_callback(Qm_Callback *object);

/// Clears _qm_callback if it still holds `object` (which is being destroyed).
void unstore_callback(const Qm_Callback *object);

/// Registers the receiver with the library, then stores `object`.
void qm_set_custom_callback(Qm_Callback *object);

extern "C" {
/// The receiver given to the library: never lets an exception or a pending
/// Python error out; a failure of the Python side is reported and answered 1.
/// Once the interpreter is finalizing it answers 1 without touching Python.
QmWord QM_RECEIVER_CALL _qm_callback_imp(Qm_Dll_Event_Param *event);
}

}  // namespace qm

#endif
