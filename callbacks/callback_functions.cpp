// callback_functions.cpp: the Python-callable functions of the callback
// family and the link getter and setter of cvar._qm_callback.
//
// Every Qm_Callback made by new_Qm_Callback is listed as live until it is
// destroyed, so a stale proxy (the object was deleted through another proxy)
// is refused with ValueError instead of reaching freed memory, and no object
// is destroyed twice. The list is only touched with the lock held.
#include "callbacks/callback_functions.h"

#include <new>
#include <unordered_set>

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

TypeDescriptor *callback_type() { return type_at(ty::p_Qm_Callback); }
TypeDescriptor *event_type() { return type_at(ty::p_Qm_Dll_Event_Param); }

std::unordered_set<const Qm_Callback *> &live_objects() {
  static auto *live = new std::unordered_set<const Qm_Callback *>();  // never freed
  return *live;
}
bool is_live(const Qm_Callback *object) { return live_objects().count(object) != 0; }

/// Argument `obj` as a live Qm_Callback pointer (None: null); false with the
/// error set.
bool callback_argument(PyObject *obj, Qm_Callback **out, const char *message) {
  int code = convert_pointer(obj, out, callback_type(), 0);
  if (code < 0) {
    argument_error(code, message);
    return false;
  }
  if (*out && !is_live(*out)) {
    set_error_with_lock(PyExc_ValueError, kDeleted);
    return false;
  }
  return true;
}

bool event_argument(PyObject *obj, Qm_Dll_Event_Param **out, const char *message) {
  int code = convert_pointer(obj, out, event_type(), 0);
  if (code < 0) argument_error(code, message);
  return code >= 0;
}

/// Inside a catch: a native exception other than a director exception
/// becomes a Python error, unless one is pending. Takes the lock itself.
void native_failure() {
  PyObject *type = PyExc_RuntimeError;
  const char *message = "unexpected native exception in Qm_Callback.run";
  try {
    throw;
  } catch (const std::bad_alloc &) {
    type = PyExc_MemoryError;
    message = "out of memory in Qm_Callback.run";
  } catch (...) {
  }
  CallFrame lock;
  if (!PyErr_Occurred()) PyErr_SetString(type, message);
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
    native_failure();
    return false;
  }
}

}  // namespace

PyObject *callback_variable_get() {
  return make_proxy(_qm_callback.load(std::memory_order_acquire), callback_type(), kBorrowed);
}

int callback_variable_set(PyObject *value) {
  Qm_Callback *object = nullptr;
  // Deleting the attribute (no value) is refused like a wrong value.
  int code = value ? convert_pointer(value, &object, callback_type(), 0) : kTypeError;
  if (code < 0) {
    set_error_with_lock(exception_for(code == kFail ? kTypeError : code), kInVariable);
    return 1;
  }
  if (object && !is_live(object)) {
    set_error_with_lock(PyExc_ValueError, kDeleted);
    return 1;
  }
  _qm_callback.store(object, std::memory_order_release);
  return 0;
}

namespace py {

PyObject *delete_Qm_Callback(PyObject *, PyObject *args) {
  CallFrame frame;
  PyObject *obj[1] = {};
  if (!parse_args<1>(args, "O:delete_Qm_Callback", obj)) return nullptr;
  Qm_Callback *object = nullptr;
  int code = convert_pointer(obj[0], &object, callback_type(), kDisown);
  if (code < 0) return argument_error(code, QM_IN_METHOD("delete_Qm_Callback", 1, "Qm_Callback *"));
  if (object && live_objects().erase(object) == 0) {
    // The owning proxy's teardown after a delete through another proxy.
    if (in_owner_teardown(object)) Py_RETURN_NONE;
    set_error_with_lock(PyExc_ValueError, kDeleted);
    return nullptr;
  }
  unlocked([&] { delete object; });
  Py_RETURN_NONE;
}

PyObject *Qm_Callback_run(PyObject *, PyObject *args) {
  CallFrame frame;
  PyObject *obj[2] = {};
  if (!parse_args<2>(args, "OO:Qm_Callback_run", obj)) return nullptr;
  Qm_Callback *object = nullptr;
  if (!callback_argument(obj[0], &object, QM_IN_METHOD("Qm_Callback_run", 1, "Qm_Callback *"))) return nullptr;
  if (!object) {
    set_error_with_lock(PyExc_ValueError, QM_IN_METHOD("Qm_Callback_run", 1, "Qm_Callback *"));
    return nullptr;
  }
  Qm_Dll_Event_Param *event = nullptr;
  if (!event_argument(obj[1], &event, QM_IN_METHOD("Qm_Callback_run", 2, "Qm_Dll_Event_Param *"))) return nullptr;
  // Called with a director's own Python self, this is the Python class
  // reaching its base `run`: answer for the base instead of recursing.
  Swig::Director *director = dynamic_cast<Swig::Director *>(object);
  bool upcall = director && director->self() == obj[0];
  QmWord result = 1;
  // The lock stays held: a director's `run` takes it again, which nests.
  if (!guarded([&] { result = upcall ? object->Qm_Callback::run(event) : object->run(event); })) {
    return nullptr;
  }
  return from_unsigned(result);
}

PyObject *new_Qm_Callback(PyObject *, PyObject *args) {
  CallFrame frame;
  PyObject *obj[1] = {};
  if (!parse_args<1>(args, "O:new_Qm_Callback", obj)) return nullptr;
  PyObject *self = obj[0] == Py_None ? nullptr : obj[0];
  Qm_Callback *object = nullptr;
  unlocked([&] {
    object = self ? static_cast<Qm_Callback *>(new (std::nothrow) SwigDirector_Qm_Callback(self))
                  : new (std::nothrow) Qm_Callback();
  });
  if (object) {
    try {
      live_objects().insert(object);
    } catch (const std::bad_alloc &) {
      unlocked([&] { delete object; });
      return PyErr_NoMemory();
    }
  }
  PyObject *proxy = make_proxy(object, callback_type(), kOwn | kNoShadow);  // None: no object
  if (!proxy && object) {
    live_objects().erase(object);
    unlocked([&] { delete object; });
  }
  return proxy;
}

PyObject *disown_Qm_Callback(PyObject *, PyObject *args) {
  CallFrame frame;
  PyObject *obj[1] = {};
  if (!parse_args<1>(args, "O:disown_Qm_Callback", obj)) return nullptr;
  Qm_Callback *object = nullptr;
  if (!callback_argument(obj[0], &object, QM_IN_METHOD("disown_Qm_Callback", 1, "Qm_Callback *"))) return nullptr;
  if (Swig::Director *director = dynamic_cast<Swig::Director *>(object)) {
    unlocked([&] { director->disown(); });
  }
  Py_RETURN_NONE;
}

PyObject *Qm_Callback_swigregister(PyObject *, PyObject *args) {
  return register_class(args, callback_type());
}

PyObject *_qm_callback_imp(PyObject *, PyObject *args) {
  CallFrame frame;
  PyObject *obj[1] = {};
  if (!parse_args<1>(args, "O:_qm_callback_imp", obj)) return nullptr;
  Qm_Dll_Event_Param *event = nullptr;
  if (!event_argument(obj[0], &event, QM_IN_METHOD("_qm_callback_imp", 1, "Qm_Dll_Event_Param *"))) return nullptr;
  // The library's path, except that a failure of `run` is raised here.
  QmWord result = 1;
  bool done = false;
  unlocked([&] { done = guarded([&] { result = deliver_event(event); }); });
  return done ? from_unsigned(result) : nullptr;
}

PyObject *qm_set_custom_callback(PyObject *, PyObject *args) {
  CallFrame frame;
  PyObject *obj[1] = {};
  if (!parse_args<1>(args, "O:qm_set_custom_callback", obj)) return nullptr;
  Qm_Callback *object = nullptr;
  if (!callback_argument(obj[0], &object, QM_IN_METHOD("qm_set_custom_callback", 1, "Qm_Callback *"))) return nullptr;
  unlocked([&] { qm::qm_set_custom_callback(object); });
  Py_RETURN_NONE;
}

}  // namespace py
}  // namespace qm
