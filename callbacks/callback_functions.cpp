// callback_functions.cpp: the Python-callable functions of the callback
// family, expanded from callback_functions.def, and the link getter and
// setter of cvar._qm_callback.
//
// Every Qm_Callback made by new_Qm_Callback is listed as live, with a
// generation number of its own, until it is deleted; every proxy this family
// hands out is stamped with the generation of the object it was made for.
// A stale proxy (its object was deleted through another proxy, and another
// object may since live at the same address) is refused with ValueError
// instead of reaching freed memory or the newer object, and no object is
// deleted twice. Both tables are only touched with the lock held.
#include "callbacks/callback_functions.h"

#include <cstdint>
#include <new>
#include <unordered_map>

#include "callbacks/callback.h"
#include "callbacks/receiver.h"
#include "catalog/type_table.h"
#include "runtime/convert.h"
#include "runtime/errors.h"
#include "runtime/frame.h"
#include "runtime/literal.h"
#include "runtime/proxy.h"
#include "runtime/types.h"

namespace qm {
namespace {

constexpr char kDeleted[] = "this Qm_Callback object was already deleted";
constexpr char kInVariable[] = "in variable '_qm_callback' of type 'Qm_Callback *'";

// Each function's parse format and in-method messages, from its row.
#define QM_DECLARED_Qm_Callback_p "Qm_Callback *"
#define QM_DECLARED_Qm_Dll_Event_Param_p "Qm_Dll_Event_Param *"
#define QM_DECLARED_PyObject_p "PyObject *"
#define QM_CALLBACK_FUNCTION(NAME, ARGUMENTS)                                   \
  constexpr char NAME##_format[] = QM_PARSE_FORMAT(NAME, QM_UNPAREN ARGUMENTS); \
  constexpr const char *NAME##_messages[] = QM_ARGUMENT_MESSAGES(NAME, QM_UNPAREN ARGUMENTS);
#define QM_CALLBACK_HOOK(NAME)
#include "callbacks/callback_functions.def"
#undef QM_CALLBACK_FUNCTION
#undef QM_CALLBACK_HOOK

TypeDescriptor *callback_type() { return type_at(ty::p_Qm_Callback); }
TypeDescriptor *event_type() { return type_at(ty::p_Qm_Dll_Event_Param); }

/// Generation numbers: 0 means "not known", so real ones start at 1.
using Generation = std::uint64_t;
Generation last_generation = 0;

/// Live objects and their generations. Never freed (events outlive teardown).
std::unordered_map<const Qm_Callback *, Generation> &live_objects() {
  static auto *live = new std::unordered_map<const Qm_Callback *, Generation>();
  return *live;
}

/// The object and generation each stamped proxy was made for, until it dies.
struct Stamp {
  const void *ptr;
  Generation generation;
};
std::unordered_map<const PyObject *, Stamp> &stamps() {
  static auto *table = new std::unordered_map<const PyObject *, Stamp>();
  return *table;
}

void forget_stamp(const PyObject *proxy) { stamps().erase(proxy); }

/// Stamps the proxy that `made` (a proxy or shadow instance, or None) carries
/// with the generation of the live object it points to. False only when the
/// table cannot grow, with MemoryError set.
bool stamp(PyObject *made) {
  static const bool watching = (watch_teardown(callback_type(), forget_stamp), true);
  (void)watching;
  ProxyObject *proxy = made == Py_None ? nullptr : find_proxy(made);
  if (!proxy) return true;
  auto live = live_objects().find(static_cast<const Qm_Callback *>(proxy->ptr));
  if (live == live_objects().end()) return true;
  try {
    stamps()[reinterpret_cast<PyObject *>(proxy)] = Stamp{proxy->ptr, live->second};
  } catch (const std::bad_alloc &) {
    PyErr_NoMemory();
    return false;
  }
  return true;
}

/// The generation a stamped proxy of `ptr` gives, or 0 when none does.
Generation stamp_of(const PyObject *proxy, const void *ptr) {
  auto found = proxy ? stamps().find(proxy) : stamps().end();
  return found != stamps().end() && found->second.ptr == ptr ? found->second.generation : 0;
}

/// Whether `obj`, converted to `object`, reaches the live object it was made
/// for. A proxy without stamp (another module's, or the stand-in an owner's
/// teardown passes to its destroy function, which then speaks for it) is
/// judged by the object alone.
bool is_current(PyObject *obj, const Qm_Callback *object) {
  auto live = live_objects().find(object);
  if (live == live_objects().end()) return false;
  Generation generation = 0;
  for (ProxyObject *link = find_proxy(obj); link && !generation;
       link = reinterpret_cast<ProxyObject *>(link->next)) {
    generation = stamp_of(reinterpret_cast<PyObject *>(link), object);
  }
  if (!generation) generation = stamp_of(owner_in_teardown(object), object);
  return !generation || generation == live->second;
}

/// `obj` as a live Qm_Callback pointer (None: null); false with the error set.
bool callback_argument(PyObject *obj, Qm_Callback **out, const char *message) {
  return converted(convert_pointer(obj, out, callback_type(), 0), message) &&
         (!*out || is_current(obj, *out) || raise_error(PyExc_ValueError, kDeleted));
}

/// Runs a call that may reach a director's `run`, catching every native
/// exception here, at the boundary: false when it failed, with the Python
/// error set (a director exception has set it already).
template <class Call>
bool guarded(Call call) {
  try {
    call();
    return true;
  } catch (const Swig::DirectorException &) {
    return false;
  } catch (...) {
    run_failed_natively();
    return false;
  }
}

}  // namespace

/// The bodies of the table's functions, each run after its entry's
/// prologue, with the lock held.
namespace body {
namespace {

PyObject *delete_Qm_Callback(const Entry<1> &call) {
  Qm_Callback *object = nullptr;
  if (!call.pointer(0, &object, callback_type(), delete_Qm_Callback_messages[0], kDisown)) {
    return nullptr;
  }
  if (!object) Py_RETURN_NONE;
  if (!is_current(call[0], object)) {
    // The owning proxy's teardown after a delete through another proxy.
    if (in_owner_teardown(object)) Py_RETURN_NONE;
    return raise_error(PyExc_ValueError, kDeleted);
  }
  live_objects().erase(object);
  // A delivery inside its `run` (on another thread, or this very call's
  // caller) frees it when it leaves; later deliveries no longer find it.
  if (retire(object)) unlocked([&] { delete object; });
  Py_RETURN_NONE;
}

PyObject *Qm_Callback_run(const Entry<2> &call) {
  const char *const *messages = Qm_Callback_run_messages;
  Qm_Callback *object = nullptr;
  if (!callback_argument(call[0], &object, messages[0])) return nullptr;
  if (!object) return raise_error(PyExc_ValueError, messages[0]);
  Qm_Dll_Event_Param *event = nullptr;
  if (!call.pointer(1, &event, event_type(), messages[1])) return nullptr;
  // Called with a director's own Python self, this is the Python class
  // reaching its base `run`: answer for the base instead of recursing.
  Swig::Director *director = dynamic_cast<Swig::Director *>(object);
  bool upcall = director && director->self() == call[0];
  QmWord result = 1;
  // The lock stays held: a director's `run` takes it again, which nests.
  // The pin keeps the object while `run` lets other threads delete it.
  Pin pin(object);
  if (!guarded([&] { result = upcall ? object->Qm_Callback::run(event) : object->run(event); })) {
    return nullptr;
  }
  return from_unsigned(result);
}

PyObject *new_Qm_Callback(const Entry<1> &call) {
  PyObject *self = call[0] == Py_None ? nullptr : call[0];
  Qm_Callback *object = nullptr;
  unlocked([&] {
    object = self ? static_cast<Qm_Callback *>(new (std::nothrow) SwigDirector_Qm_Callback(self))
                  : new (std::nothrow) Qm_Callback();
  });
  if (object) {
    try {
      live_objects()[object] = ++last_generation;
    } catch (const std::bad_alloc &) {
      unlocked([&] { delete object; });
      return PyErr_NoMemory();
    }
  }
  PyObject *proxy = make_proxy(object, callback_type(), kOwn | kNoShadow);  // None: no object
  if (proxy && !stamp(proxy)) {
    reinterpret_cast<ProxyObject *>(proxy)->own = 0;  // bare: deleted below, not by its teardown
    Py_CLEAR(proxy);
  }
  if (!proxy && object && live_objects().erase(object)) {
    unlocked([&] { delete object; });
  }
  return proxy;
}

PyObject *disown_Qm_Callback(const Entry<1> &call) {
  Qm_Callback *object = nullptr;
  if (!callback_argument(call[0], &object, disown_Qm_Callback_messages[0])) return nullptr;
  if (Swig::Director *director = dynamic_cast<Swig::Director *>(object)) {
    Pin pin(object);  // another thread may delete it while the lock is released
    unlocked([&] { director->disown(); });
  }
  Py_RETURN_NONE;
}

PyObject *_qm_callback_imp(const Entry<1> &call) {
  Qm_Dll_Event_Param *event = nullptr;
  if (!call.pointer(0, &event, event_type(), _qm_callback_imp_messages[0])) return nullptr;
  // The library's path, except that a failure of `run` is raised here.
  QmWord result = 1;
  bool done = unlocked([&] { return guarded([&] { result = deliver_event(event); }); });
  return done ? from_unsigned(result) : nullptr;
}

PyObject *qm_set_custom_callback(const Entry<1> &call) {
  Qm_Callback *object = nullptr;
  if (!callback_argument(call[0], &object, qm_set_custom_callback_messages[0])) return nullptr;
  Pin pin(object);  // a delete on another thread meanwhile leaves it for the store to see
  unlocked([&] { qm::qm_set_custom_callback(object); });
  Py_RETURN_NONE;
}

}  // namespace
}  // namespace body

PyObject *callback_variable_get() {
  PyObject *proxy =
      make_proxy(_qm_callback.load(std::memory_order_acquire), callback_type(), kBorrowed);
  if (proxy && !stamp(proxy)) Py_CLEAR(proxy);
  return proxy;
}

int callback_variable_set(PyObject *value) {
  Qm_Callback *object = nullptr;
  // Deleting the attribute (no value) is refused like a wrong value.
  if (!value) {
    argument_error(kTypeError, kInVariable);
    return 1;
  }
  if (!callback_argument(value, &object, kInVariable)) return 1;
  store_callback(object);
  return 0;
}

namespace py {
#define QM_CALLBACK_FUNCTION(NAME, ARGUMENTS)                                                \
  PyObject *NAME(PyObject *, PyObject *args) {                                               \
    Entry<sizeof NAME##_messages / sizeof NAME##_messages[0] - 1> call(args, NAME##_format); \
    return call ? body::NAME(call) : nullptr;                                                \
  }
#define QM_CALLBACK_HOOK(NAME) \
  PyObject *NAME(PyObject *, PyObject *args) { return register_class(args, callback_type()); }
#include "callbacks/callback_functions.def"
#undef QM_CALLBACK_FUNCTION
#undef QM_CALLBACK_HOOK
}  // namespace py
}  // namespace qm
