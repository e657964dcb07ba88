// method_table.h: the module's ordered method table.
#ifndef QM_MODULE_METHOD_TABLE_H
#define QM_MODULE_METHOD_TABLE_H

#include "runtime/python.h"

namespace qm {
/// Every Python-callable function, in table order, then an all-zero end row.
extern PyMethodDef module_methods[416];
}  // namespace qm

#endif
