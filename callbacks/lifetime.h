// lifetime.h: the life of callback objects, in one unit: which objects live
// and under which generation, the stored object events go to, the pins that
// keep an object while it is used, its retirement and free, the stamps that
// tell a stale proxy, the interpreter lock a delivery takes (one thread
// state per library thread), and the gate that keeps deliveries out of a
// finalizing interpreter. The receiver, the director's `run` and the Python
// entry points each ask it one question.
//
// === Overview ===
//
// Locks. The interpreter lock guards everything here except two words that
// threads read without it: the stored object's word and the gate's count.
// Tenants (one per live object: its generation, pins, retired flag), stamps,
// the stored word's writes and every pin and unpin happen with the lock
// held. There is no mutex: the receiver needs the lock anyway to run a
// director, so it pins after taking it, and the only thing it does before
// is read the stored word. That word carries the object's kind (a tag bit):
// a plain Qm_Callback answers 1 without the lock and without its object
// being touched, so a plain object needs no pin and no delivery can reach
// freed memory through it. For a director the receiver takes the lock and
// reads the word again (the re-check): whatever it finds is either no
// director, or one that no retirement has finished with, because retiring
// also runs with the lock held and unstores first. The pin is then a plain
// count under the lock; an atomic count would buy nothing.
//
// When an object is freed. delete_Qm_Callback (lock held) unstores it and
// marks it retired; if nothing pins it, it is freed at once, the lock
// released (a disowned director's destructor takes the lock itself).
// Otherwise the last pin frees it: the delivery inside its `run`, a
// Qm_Callback_run, disown_Qm_Callback or qm_set_custom_callback that
// released the lock while holding it. A delivery that waited for the lock
// meanwhile finds it unstored, or retired, and answers 1; so does one whose
// director's Python self is being destroyed (its count already zero). Only
// this unit deletes an object it adopted.
//
// A stale proxy: one of an object that was deleted, through any proxy of it.
// Every proxy of the callback family is stamped with its object's
// generation, which no later object at the same address shares; an entry
// point given a stale proxy refuses it with ValueError instead of reaching
// freed memory or the newer object, and no object is deleted twice. The
// owning proxy's teardown after a delete elsewhere finds nothing to do.
//
// Thread states. A library thread gets one Python thread state, made by its
// first delivery (PyGILState_Ensure) and kept: later deliveries only
// exchange the lock (PyEval_RestoreThread / PyEval_SaveThread). When the
// thread ends, a hook of the platform releases the state: on Linux the
// ending thread takes the lock once more and lets PyGILState_Release delete
// it (which also drops the interpreter's own per-thread key entry, which
// would otherwise outlive the thread and be found by a new thread with the
// same id); on Windows the hook may not wait for the lock (platform.h), so
// it hands the state over and the next delivery or the exit drain deletes
// it, holding the lock (Python keeps its per-thread key in the system's
// per-thread slots there, which go with their thread). A thread the
// interpreter already knows (a Python thread inside a wrapper that released
// the lock) uses its own state with PyGILState_Ensure/Release. So on Linux a
// thread that delivered takes the lock once more as it ends: whoever joins
// it must not hold the lock meanwhile (no wrapper holds it across a library
// call).
//
// At exit. Every delivery, and every release of a thread state, is admitted
// by the gate: it counts itself inside before it reads the closing flag; the
// drain (an `atexit` handler, which Py_Finalize runs after joining the
// non-daemon threads and before tearing anything down) sets the flag before
// it reads the count, and then waits, lock released and at most 5 seconds,
// until no one else is inside. From then on nothing here touches the
// interpreter: deliveries answer 1 and ending threads leave their states to
// the interpreter, which frees every thread state as it finalizes. A handler
// that outlives the wait is left inside a dying interpreter, as Python
// leaves daemon threads.
#ifndef QM_CALLBACKS_LIFETIME_H
#define QM_CALLBACKS_LIFETIME_H

#include "runtime/python.h"

class Qm_Callback;
class SwigDirector_Qm_Callback;

namespace qm {
namespace lifetime {

struct Tenant;

// ---- the Python entry points' questions (lock held) ----

/// new_Qm_Callback: `object` (null: memory ran out) lives from now on, under
/// a new generation; gives its owning stamped proxy, or None. Frees the
/// object and gives null with MemoryError set when the bookkeeping cannot.
PyObject *adopt(Qm_Callback *object, SwigDirector_Qm_Callback *director);

/// delete_Qm_Callback: deletion of `object` through `obj`, which disowns it.
/// False for a stale proxy (the caller refuses it). Otherwise the object is
/// freed now, lock released, or by its last pin; or it was already deleted
/// and this is its owner's teardown, which has nothing left to do.
bool retire(PyObject *obj, Qm_Callback *object);

/// A proxy of `object` (None for null) with make_proxy's `flags`, stamped
/// with its generation; null with the error set.
PyObject *proxy_of(Qm_Callback *object, int flags);

/// The object events go to now, or null.
Qm_Callback *stored();

/// Keeps `object` from being freed while the holder releases the lock: an
/// entry point's question "is this the live object, and may I use it?".
class Hold {
 public:
  /// `obj` converted to `object` (null: None, which holds nothing).
  Hold(PyObject *obj, Qm_Callback *object);
  /// May free a retired object (lock released) whose last pin this was.
  ~Hold();
  /// `obj` is a stale proxy: refuse it; nothing is held.
  bool stale() const { return stale_; }
  /// Events go to the held object from now on (none for None, and none when
  /// it was deleted meanwhile).
  void store() const;

  Hold(const Hold &) = delete;
  Hold &operator=(const Hold &) = delete;

 private:
  Tenant *tenant_ = nullptr;  ///< pinned, or null
  bool stale_ = false;
};

// ---- the director's question (lock held) ----

/// Whether `director` may still call its Python self: not retired, and the
/// self not being destroyed.
bool reachable(const SwigDirector_Qm_Callback *director);

// ---- the receiver's question ----

/// One event's way in, on any thread, lock not held: admitted by the gate,
/// then, for a stored director, the lock taken and the director pinned.
/// director() is null when the event is answered 1 without Python: the gate
/// is shut, nothing or a plain object is stored, or the director was
/// deleted or is dying. Ends in reverse: unpin (freeing a retired object,
/// lock released), the lock given back, the gate left.
class Delivery {
 public:
  Delivery();
  ~Delivery();
  SwigDirector_Qm_Callback *director() const;

  Delivery(const Delivery &) = delete;
  Delivery &operator=(const Delivery &) = delete;

 private:
  bool admitted_ = false;                     ///< counted inside the gate
  int lock_ = 0;                              ///< how the lock was taken (lifetime.cpp), 0: not
  PyGILState_STATE gil_ = PyGILState_LOCKED;  ///< for a lock taken with PyGILState_Ensure
  Tenant *tenant_ = nullptr;                  ///< the pinned director's, or null
};

// ---- exit ----

/// Registers the drain with the `atexit` module (nothing is added to the
/// module's dictionary). Lock held; once per process.
void register_exit_drain();

}  // namespace lifetime
}  // namespace qm

#endif
