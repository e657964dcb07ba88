// callback.h: the callback class the library's events are delivered to, and
// its director, through which a Python subclass implements `run`. Their
// lives (who frees them, and when) belong to callbacks/lifetime.h.
#ifndef QM_CALLBACKS_CALLBACK_H
#define QM_CALLBACKS_CALLBACK_H

#include <map>
#include <string>

#include "callbacks/director.h"
#include "qmdll/include/qmdll.h"
#include "runtime/errors.h"

class Qm_Callback {
 public:
  /// What `run` answers when nobody handles the event.
  static constexpr QmWord kUnhandled = 1;

  Qm_Callback() = default;
  virtual ~Qm_Callback() = default;
  /// Nobody handles the event: kUnhandled, without looking at it.
  virtual QmWord run(Qm_Dll_Event_Param *event);

  Qm_Callback(const Qm_Callback &) = delete;
  Qm_Callback &operator=(const Qm_Callback &) = delete;
};

class SwigDirector_Qm_Callback : public Qm_Callback, public Swig::Director {
 public:
  explicit SwigDirector_Qm_Callback(PyObject *self) : Swig::Director(self) {}
  /// Takes the lock and delivers, unless the director can no longer be
  /// reached (deleted, or its Python self being destroyed): then 1. Defined
  /// with the receiver (callbacks/receiver.cpp), which asks the lifetime.
  QmWord run(Qm_Dll_Event_Param *event) override;
  /// With the lock held: calls the Python self's `run` with a borrowed proxy
  /// of the record and gives its result as a QmWord; throws
  /// Swig::DirectorException with the Python error set when it cannot.
  QmWord deliver(Qm_Dll_Event_Param *event);

  bool get_inner_access(const std::string &method) const override;
  void set_inner_access(const std::string &method, bool flag) override;

 private:
  std::map<std::string, bool> inner_;  ///< per-method flags; unused by the module
};

namespace qm {
/// Inside a catch block: a native exception other than a director exception
/// out of `run` becomes the Python error (unless one is pending). Takes the
/// lock itself.
inline void run_failed_natively() {
  raise_native_exception("out of memory in Qm_Callback.run",
                         "unexpected native exception in Qm_Callback.run");
}
}  // namespace qm

#endif
