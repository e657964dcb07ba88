// exit_gate.h: keeps event deliveries out of an interpreter that is shutting
// down. Every delivery that may enter Python passes the gate; from the moment
// the interpreter starts to finalize the gate stays shut, and finalization
// waits (lock released, bounded) for the deliveries already inside.
#ifndef QM_CALLBACKS_EXIT_GATE_H
#define QM_CALLBACKS_EXIT_GATE_H

namespace qm {

/// One delivery through the gate, from before the lock is asked for until
/// after it is given back. False when the gate is shut: the caller answers 1
/// without touching Python.
class Admission {
 public:
  Admission();
  ~Admission();
  explicit operator bool() const { return admitted_; }

  Admission(const Admission &) = delete;
  Admission &operator=(const Admission &) = delete;

 private:
  bool admitted_;  ///< counted as inside until destroyed
};

/// Registers the drain with the `atexit` module (nothing is added to the
/// module's dictionary). Lock held; once per process.
void register_exit_drain();

}  // namespace qm

#endif
