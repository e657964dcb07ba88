// receiver.h: the global callback object, the receiver the library calls, and
// the native registration.
#ifndef QM_CALLBACKS_RECEIVER_H
#define QM_CALLBACKS_RECEIVER_H

#include <atomic>

#include "callbacks/callback.h"
#include "qmdll/include/qmdll.h"

namespace qm {

/// The object events go to; null when none. The module holds no reference to
/// it. Atomic only so that concurrent readers see the old or the new pointer.
extern std::atomic<Qm_Callback *> _qm_callback;

/// Forwards an event to the stored object (1 when none) and lets a
/// Swig::DirectorException pass: for callers that return to Python.
QmWord deliver_event(Qm_Dll_Event_Param *event);

/// Clears _qm_callback if it still holds `object` (which is being destroyed).
void unstore_callback(const Qm_Callback *object);

/// Registers the receiver with the library, then stores `object`.
void qm_set_custom_callback(Qm_Callback *object);

extern "C" {
/// The receiver given to the library: never lets an exception or a pending
/// Python error out; a failure of the Python side is reported and answered 1.
QmWord QM_RECEIVER_CALL _qm_callback_imp(Qm_Dll_Event_Param *event);
}

}  // namespace qm

#endif
