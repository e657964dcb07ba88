// varlink.h: the link object ("swigvarlink") through which Python reads and
// assigns native globals as attributes of the module's `cvar`.
#ifndef QM_RUNTIME_VARLINK_H
#define QM_RUNTIME_VARLINK_H

#include "runtime/python.h"

namespace qm {

typedef PyObject *(*VariableGetter)();       ///< new reference, or null with an error set
typedef int (*VariableSetter)(PyObject *);   ///< 0 on success, 1 on failure with an error set

/// The module's one link object, made on first request (borrowed).
PyObject *link_object();
/// Adds a variable in front of the link's list.
void add_variable(PyObject *link, const char *name, VariableGetter get, VariableSetter set);

}  // namespace qm

#endif
