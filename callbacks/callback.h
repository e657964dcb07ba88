// callback.h: the callback class the library's events are delivered to, and
// its director, through which a Python subclass implements `run`.
#ifndef QM_CALLBACKS_CALLBACK_H
#define QM_CALLBACKS_CALLBACK_H

#include <map>
#include <string>

#include "callbacks/director.h"
#include "qmdll/include/qmdll.h"
#include "runtime/errors.h"

class Qm_Callback;
namespace qm {
class Pin;
bool retire(Qm_Callback *object);
void store_callback(Qm_Callback *object);
}  // namespace qm

class Qm_Callback {
 public:
  Qm_Callback() = default;
  /// Unstores the object from _qm_callback if it is stored there.
  virtual ~Qm_Callback();
  /// Nobody handles the event: 1.
  virtual QmWord run(Qm_Dll_Event_Param *event);

  Qm_Callback(const Qm_Callback &) = delete;
  Qm_Callback &operator=(const Qm_Callback &) = delete;

 private:
  // Guarded by the receiver's mutex (callbacks/receiver.cpp); retired_ is
  // set holding the interpreter lock as well, so either lock may read it.
  friend class qm::Pin;
  friend class SwigDirector_Qm_Callback;
  friend bool qm::retire(Qm_Callback *object);
  friend void qm::store_callback(Qm_Callback *object);
  int deliveries_ = 0;    ///< deliveries inside `run` right now
  bool retired_ = false;  ///< deleted: the last delivery to leave frees it
};

class SwigDirector_Qm_Callback : public Qm_Callback, public Swig::Director {
 public:
  explicit SwigDirector_Qm_Callback(PyObject *self) : Swig::Director(self) {}
  ~SwigDirector_Qm_Callback() override;
  /// Calls the Python self's `run` with a borrowed proxy of the record; may
  /// throw Swig::DirectorException with the Python error set.
  QmWord run(Qm_Dll_Event_Param *event) override;
  /// False once deleted, or while its Python self is being destroyed (the
  /// last reference gone, its `this` not yet): an event that waited for the
  /// lock meanwhile must not reach it. Lock held.
  bool reachable() const;

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
