// lifetime.cpp: tenants and generations, the stored word, pins, stamps,
// thread states and the exit gate (the rules are in lifetime.h).
#include "callbacks/lifetime.h"

#include <atomic>
#include <cstdint>
#include <new>
#include <unordered_map>

#include "callbacks/callback.h"
#include "callbacks/platform.h"
#include "catalog/type_table.h"
#include "runtime/errors.h"
#include "runtime/frame.h"
#include "runtime/proxy.h"
#include "runtime/reference.h"

namespace qm {
namespace lifetime {

/// A live object, or a retired one that a pin still keeps.
struct Tenant {
  Qm_Callback *object;
  SwigDirector_Qm_Callback *director;  ///< the object as a director; null for a plain one
  std::uint64_t generation;            ///< never shared with a later object at its address
  int pins;                            ///< users that may release the lock while using it
  bool retired;                        ///< deleted: the last pin frees it
};

namespace {

// ---- tenants and the stored word (lock held, except where said) ----

/// Never destroyed: library threads outlive static destruction.
std::unordered_map<const Qm_Callback *, Tenant> &tenants() {
  static auto *table = new std::unordered_map<const Qm_Callback *, Tenant>();
  return *table;
}

std::uint64_t last_generation = 0;  ///< 0 means "no stamp"; generations start at 1

/// The stored object's tenant, with kDirector set for a director; 0: none.
/// Written with the lock held; read without it only for the tag.
constexpr std::uintptr_t kDirector = 1;
static_assert(alignof(Tenant) > kDirector, "the tag bit is free in a tenant's address");
std::atomic<std::uintptr_t> stored_word{0};

Tenant *tenant_in(std::uintptr_t word) { return reinterpret_cast<Tenant *>(word & ~kDirector); }

std::uintptr_t word_of(Tenant *tenant) {
  if (!tenant || tenant->retired) return 0;
  return reinterpret_cast<std::uintptr_t>(tenant) | (tenant->director ? kDirector : 0);
}

Tenant *find(const Qm_Callback *object) {
  auto found = object ? tenants().find(object) : tenants().end();
  return found == tenants().end() ? nullptr : &found->second;
}

/// Frees an object nothing uses any more; lock held on entry and return.
void free_unlocked(Qm_Callback *object) {
  tenants().erase(object);
  unlocked([&] { delete object; });
}

/// Drops one pin; the retired object whose last pin this was, which the
/// caller frees with the lock released (its tenant is gone already).
Qm_Callback *unpin(Tenant *tenant) {
  if (--tenant->pins > 0 || !tenant->retired) return nullptr;
  Qm_Callback *object = tenant->object;
  tenants().erase(object);
  return object;
}

bool reachable(const Tenant &tenant) {
  return !tenant.retired && Py_REFCNT(tenant.director->self()) > 0;
}

// ---- stamps ----

/// The object and generation each stamped proxy was made for, until it dies.
struct Stamp {
  const void *ptr;
  std::uint64_t generation;
};
std::unordered_map<const PyObject *, Stamp> &stamps() {
  static auto *table = new std::unordered_map<const PyObject *, Stamp>();
  return *table;
}

void forget_stamp(const PyObject *proxy) { stamps().erase(proxy); }

TypeDescriptor *callback_type() { return type_at(ty::p_Qm_Callback); }

/// Stamps the proxy that `made` (a proxy or shadow instance, or None)
/// carries. False only when the table cannot grow, with MemoryError set.
bool stamp(PyObject *made) {
  static const bool watching = (watch_teardown(callback_type(), forget_stamp), true);
  (void)watching;
  ProxyObject *proxy = made == Py_None ? nullptr : find_proxy(made);
  Tenant *tenant = proxy ? find(static_cast<const Qm_Callback *>(proxy->ptr)) : nullptr;
  if (!tenant) return true;
  try {
    stamps()[reinterpret_cast<PyObject *>(proxy)] = Stamp{proxy->ptr, tenant->generation};
  } catch (const std::bad_alloc &) {
    PyErr_NoMemory();
    return false;
  }
  return true;
}

/// The generation a stamped proxy of `ptr` gives, or 0 when none does.
std::uint64_t stamp_of(const PyObject *proxy, const void *ptr) {
  auto found = proxy ? stamps().find(proxy) : stamps().end();
  return found != stamps().end() && found->second.ptr == ptr ? found->second.generation : 0;
}

/// The live tenant that `obj`, converted to `object`, was made for; null for
/// a stale proxy. A proxy without stamp (another module's, or the stand-in
/// an owner's teardown passes to its destroy function, which then speaks
/// for it) is judged by the object alone.
Tenant *current(PyObject *obj, const Qm_Callback *object) {
  Tenant *tenant = find(object);
  if (!tenant || tenant->retired) return nullptr;
  std::uint64_t generation = 0;
  for (ProxyObject *link = find_proxy(obj); link && !generation;
       link = reinterpret_cast<ProxyObject *>(link->next)) {
    generation = stamp_of(reinterpret_cast<PyObject *>(link), object);
  }
  if (!generation) generation = stamp_of(owner_in_teardown(object), object);
  return !generation || generation == tenant->generation ? tenant : nullptr;
}

// ---- the exit gate ----

std::atomic<int> inside{0};        ///< admitted, or counted for an instant while backing out
std::atomic<bool> closing{false};  ///< set once, by the drain
constexpr int kDrainLimitMs = 5000;

/// Deliveries on this thread with a state of Python's own: the drain, run
/// by such a thread, does not wait for those under it.
thread_local int python_depth = 0;

bool admit() {
  inside.fetch_add(1);  // before the flag is read: see the overview
  if (!closing.load()) return true;
  inside.fetch_sub(1);
  return false;
}

void leave() { inside.fetch_sub(1); }

// ---- thread states ----

/// A library thread's own thread state, from its first delivery to its end.
struct LibraryThread {
  PyThreadState *state;
  LibraryThread *next;  ///< in `ended`
};

/// How a delivery took the lock.
enum LockKind : int {
  kNotTaken = 0,
  kOwnState,     ///< this library thread's kept state
  kPythonState,  ///< a thread of Python's, through PyGILState_Ensure
  kOneOff,       ///< a library thread whose state could not be kept: made and deleted per event
};

/// States of threads that ended where the hook may not wait for the lock:
/// deleted by the next holder of the lock here.
std::atomic<LibraryThread *> ended{nullptr};

/// Lock held, interpreter whole.
void delete_ended_states() {
  if (!ended.load(std::memory_order_relaxed)) return;
  for (LibraryThread *thread = ended.exchange(nullptr); thread;) {
    LibraryThread *next = thread->next;
    PyThreadState_Clear(thread->state);
    PyThreadState_Delete(thread->state);
    delete thread;
    thread = next;
  }
}

/// The platform's hook on a library thread that ends.
void thread_ends(void *value) {
  auto *thread = static_cast<LibraryThread *>(value);
  if (!platform::kThreadEndMayWait) {
    thread->next = ended.load();
    while (!ended.compare_exchange_weak(thread->next, thread)) {
    }
    return;
  }
  if (admit()) {
    PyEval_RestoreThread(thread->state);
    // Its count is 1 (the first delivery's Ensure): clears the state,
    // deletes it and its key entry, gives the lock back.
    PyGILState_Release(PyGILState_UNLOCKED);
    leave();
  }  // else the finalizing interpreter frees the state itself
  delete thread;
}

int take_lock(PyGILState_STATE *gil) {
  if (auto *thread = static_cast<LibraryThread *>(platform::thread_value())) {
    PyEval_RestoreThread(thread->state);
    return kOwnState;
  }
  if (PyGILState_GetThisThreadState()) {
    *gil = PyGILState_Ensure();
    ++python_depth;
    return kPythonState;
  }
  *gil = PyGILState_Ensure();  // makes this thread's state, which it keeps
  if (platform::make_thread_slot(thread_ends)) {
    if (auto *thread = new (std::nothrow) LibraryThread{PyThreadState_Get(), nullptr}) {
      if (platform::set_thread_value(thread)) return kOwnState;
      delete thread;
    }
  }
  return kOneOff;
}

void give_lock(int kind, PyGILState_STATE gil) {
  switch (kind) {
    case kOwnState: PyEval_SaveThread(); break;
    case kPythonState: --python_depth; PyGILState_Release(gil); break;
    case kOneOff: PyGILState_Release(gil); break;
    default: break;
  }
}

// ---- the drain ----

/// The atexit handler. Lock held on entry and on return.
PyObject *drain(PyObject *, PyObject *) {
  closing.store(true);
  const int own = python_depth;
  unlocked([&] {
    for (int waited = 0; inside.load() > own && waited < kDrainLimitMs; ++waited)
      platform::pause_briefly();
  });
  delete_ended_states();
  Py_RETURN_NONE;
}

PyMethodDef drain_method = {"drain_event_deliveries", drain, METH_NOARGS, nullptr};

}  // namespace

// ---- entry points ----

PyObject *adopt(Qm_Callback *object, SwigDirector_Qm_Callback *director) {
  if (!object) Py_RETURN_NONE;  // memory ran out: no proxy to a null object
  try {
    tenants()[object] = Tenant{object, director, ++last_generation, 0, false};
  } catch (const std::bad_alloc &) {
    unlocked([&] { delete object; });
    return PyErr_NoMemory();
  }
  PyObject *proxy = proxy_of(object, kOwn | kNoShadow);
  if (!proxy) free_unlocked(object);
  return proxy;
}

bool retire(PyObject *obj, Qm_Callback *object) {
  Tenant *tenant = current(obj, object);
  // Not current: the owning proxy's teardown after a delete through another
  // proxy has nothing left to do; anyone else has a stale proxy.
  if (!tenant) return in_owner_teardown(object);
  if (tenant_in(stored_word.load(std::memory_order_relaxed)) == tenant) stored_word.store(0);
  tenant->retired = true;
  if (tenant->pins == 0) free_unlocked(object);
  return true;
}

PyObject *proxy_of(Qm_Callback *object, int flags) {
  PyObject *proxy = make_proxy(object, callback_type(), flags);
  if (proxy && !stamp(proxy)) {
    reinterpret_cast<ProxyObject *>(find_proxy(proxy))->own = 0;  // its caller frees the object
    Py_CLEAR(proxy);
  }
  return proxy;
}

Qm_Callback *stored() {
  Tenant *tenant = tenant_in(stored_word.load(std::memory_order_relaxed));
  return tenant ? tenant->object : nullptr;
}

Hold::Hold(PyObject *obj, Qm_Callback *object) {
  if (!object) return;
  tenant_ = current(obj, object);
  stale_ = !tenant_;
  if (tenant_) ++tenant_->pins;
}

Hold::~Hold() {
  if (Qm_Callback *object = tenant_ ? unpin(tenant_) : nullptr) unlocked([&] { delete object; });
}

void Hold::store() const { stored_word.store(word_of(tenant_)); }

bool reachable(const SwigDirector_Qm_Callback *director) {
  Tenant *tenant = find(director);
  return tenant ? reachable(*tenant) : Py_REFCNT(director->self()) > 0;
}

Delivery::Delivery() {
  if (!admit()) return;
  admitted_ = true;
  // Without the lock the word is only looked at, never followed.
  if (!(stored_word.load(std::memory_order_relaxed) & kDirector)) return;
  lock_ = take_lock(&gil_);
  delete_ended_states();
  // Again, with the lock: it may have changed while this delivery waited.
  std::uintptr_t word = stored_word.load(std::memory_order_relaxed);
  Tenant *tenant = tenant_in(word);
  if (!(word & kDirector) || !reachable(*tenant)) return;
  ++tenant->pins;
  tenant_ = tenant;
}

Delivery::~Delivery() {
  if (!admitted_) return;
  Qm_Callback *freed = tenant_ ? unpin(tenant_) : nullptr;
  give_lock(lock_, gil_);
  delete freed;  // lock released; a disowned director takes it to drop its self
  leave();
}

SwigDirector_Qm_Callback *Delivery::director() const {
  return tenant_ ? tenant_->director : nullptr;
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

}  // namespace lifetime
}  // namespace qm
