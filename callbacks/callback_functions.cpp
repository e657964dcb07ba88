// callback_functions.cpp: the Python-callable functions of the callback
// family, expanded from callback_functions.def, and the link getter and
// setter of cvar._qm_callback. Which objects live, and what a stale proxy
// is, the lifetime unit decides (callbacks/lifetime.h): each body asks it.
#include "callbacks/callback_functions.h"

#include <new>

#include "callbacks/callback.h"
#include "callbacks/lifetime.h"
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
  // A delivery inside its `run` (on another thread, or this very call's
  // caller) frees it when it leaves; later deliveries no longer find it.
  if (object && !lifetime::retire(call[0], object)) return raise_error(PyExc_ValueError, kDeleted);
  Py_RETURN_NONE;
}

PyObject *Qm_Callback_run(const Entry<2> &call) {
  const char *const *messages = Qm_Callback_run_messages;
  Qm_Callback *object = nullptr;
  if (!call.pointer(0, &object, callback_type(), messages[0])) return nullptr;
  if (!object) return raise_error(PyExc_ValueError, messages[0]);
  // Held while `run` lets other threads run, and delete it.
  lifetime::Hold held(call[0], object);
  if (held.stale()) return raise_error(PyExc_ValueError, kDeleted);
  Qm_Dll_Event_Param *event = nullptr;
  if (!call.pointer(1, &event, event_type(), messages[1])) return nullptr;
  // Called with a director's own Python self, this is the Python class
  // reaching its base `run`: answer for the base instead of recursing.
  Swig::Director *director = dynamic_cast<Swig::Director *>(object);
  bool upcall = director && director->self() == call[0];
  QmWord result = 1;
  // The lock stays held: a director's `run` takes it again, which nests.
  if (!guarded([&] { result = upcall ? object->Qm_Callback::run(event) : object->run(event); })) {
    return nullptr;
  }
  return from_unsigned(result);
}

PyObject *new_Qm_Callback(const Entry<1> &call) {
  PyObject *self = call[0] == Py_None ? nullptr : call[0];
  SwigDirector_Qm_Callback *director = nullptr;
  Qm_Callback *object = nullptr;
  unlocked([&] {
    if (self)
      object = director = new (std::nothrow) SwigDirector_Qm_Callback(self);
    else
      object = new (std::nothrow) Qm_Callback();
  });
  return lifetime::adopt(object, director);  // None: no object
}

PyObject *disown_Qm_Callback(const Entry<1> &call) {
  Qm_Callback *object = nullptr;
  if (!call.pointer(0, &object, callback_type(), disown_Qm_Callback_messages[0])) return nullptr;
  lifetime::Hold held(call[0], object);  // another thread may delete it while the lock is released
  if (held.stale()) return raise_error(PyExc_ValueError, kDeleted);
  if (Swig::Director *director = dynamic_cast<Swig::Director *>(object)) {
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
  if (!call.pointer(0, &object, callback_type(), qm_set_custom_callback_messages[0])) {
    return nullptr;
  }
  // Held while the lock is released: a delete on another thread meanwhile
  // leaves it for the store to see, and no newer object can take its address.
  lifetime::Hold held(call[0], object);
  if (held.stale()) return raise_error(PyExc_ValueError, kDeleted);
  // Registers, then stores: an event in between goes to the object stored before.
  unlocked([] { QmSetEventCallback(&::qm::_qm_callback_imp); });  // its status is of no use here
  held.store();
  Py_RETURN_NONE;
}

}  // namespace
}  // namespace body

PyObject *callback_variable_get() { return lifetime::proxy_of(lifetime::stored(), kBorrowed); }

int callback_variable_set(PyObject *value) {
  Qm_Callback *object = nullptr;
  // Deleting the attribute (no value) is refused like a wrong value.
  int code = value ? convert_pointer(value, &object, callback_type(), 0) : kTypeError;
  if (!converted(code, kInVariable)) return 1;
  lifetime::Hold held(value, object);
  if (held.stale()) {
    raise_error(PyExc_ValueError, kDeleted);
    return 1;
  }
  held.store();
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
