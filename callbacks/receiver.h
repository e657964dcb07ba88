// receiver.h: the receiver the library calls with each event, and the same
// way in for an event that Python hands over.
#ifndef QM_CALLBACKS_RECEIVER_H
#define QM_CALLBACKS_RECEIVER_H

#include "qmdll/include/qmdll.h"

namespace qm {

/// The receiver's path, lock not held, for callers that return to Python: a
/// failure of `run` leaves as Swig::DirectorException with the error set.
QmWord deliver_event(Qm_Dll_Event_Param *event);

extern "C" {
/// The receiver given to the library: 1 when nothing, or a plain object, is
/// stored, or once the interpreter is finalizing, without touching Python;
/// otherwise the stored director's answer. Lets no exception and no pending
/// Python error out: a failure of `run` is reported as unraisable and
/// answered 1. An exception escaping all the same ends the process cleanly
/// (std::terminate) instead of entering a library that knows none.
QmWord QM_RECEIVER_CALL _qm_callback_imp(Qm_Dll_Event_Param *event) noexcept;
}

}  // namespace qm

#endif
