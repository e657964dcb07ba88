// types.h: type descriptors, cast lists, module type tables and the
// process-wide ring of tables shared by every module of this kind through
// the module "swig_runtime_data4". Field order of these records is shared
// with other modules in the process and must not change.
#ifndef QM_RUNTIME_TYPES_H
#define QM_RUNTIME_TYPES_H

#include <cstddef>

#include "runtime/python.h"
#include "runtime/type_names.h"

namespace qm {

struct TypeDescriptor;

/// Converts a source pointer to the target type; may report new memory.
typedef void *(*CastConverter)(void *source, int *new_memory);
typedef TypeDescriptor *(*DownCast)(void **);

/// One type accepted where the owning descriptor is requested.
struct CastEntry {
  TypeDescriptor *type;     ///< the source type
  CastConverter converter;  ///< null: the pointer is used unchanged
  CastEntry *next;
  CastEntry *prev;
};

struct TypeDescriptor {
  const char *name;  ///< mangled name, e.g. "_p_QmVersionNumber"
  const char *str;   ///< readable names separated by '|'
  DownCast dcast;    ///< always null here
  CastEntry *cast;   ///< head of the cast list
  void *clientdata;  ///< the ClassRecord of the registered Python class
  int owndata;       ///< 1 once clientdata is owned by the descriptor
};

struct ModuleTable {
  TypeDescriptor **types;         ///< size descriptors and a null end slot, set by binding
  size_t size;
  ModuleTable *next;              ///< ring of every module table in the process
  TypeDescriptor **type_initial;  ///< the module's static descriptors
  CastEntry **cast_initial;       ///< their static initial cast lists
  void *clientdata;
};

/// What `<Record>_swigregister` learns about a Python class.
struct ClassRecord {
  PyObject *klass;    ///< the class (reference held)
  PyObject *newraw;   ///< its __new__, null for a classic class
  PyObject *newargs;  ///< (klass,) with newraw, klass itself without
  PyObject *destroy;  ///< its __swig_destroy__, or null
  int delargs;        ///< 1: call destroy with a proxy argument
  int implicitconv;
};

/// The table of the module being built; each extension module defines its own.
extern ModuleTable this_module;

/// Binds this_module into the process-wide ring (once; repeats change nothing).
void bind_type_table(ModuleTable &module);

/// Descriptor at a row of this module's bound table.
inline TypeDescriptor *type_at(int row) { return this_module.types[row]; }

TypeDescriptor *find_mangled(ModuleTable *first, ModuleTable *end, const char *name);
TypeDescriptor *find_readable(ModuleTable *first, ModuleTable *end, const char *name);
/// The cast entry of `target` for a source of mangled name `source`, moved to
/// the front of the list; null when that type does not convert.
CastEntry *cast_check(const char *source, TypeDescriptor *target);
/// The text after the last '|' of the readable names (for printed forms).
const char *pretty_name(const TypeDescriptor *type);
/// The `char *` descriptor, looked up once by "_p_char".
TypeDescriptor *char_pointer_type();

/// The body of every `<Record>_swigregister(cls)`.
PyObject *register_class(PyObject *args, TypeDescriptor *type);

}  // namespace qm

#endif
