// types.cpp: binding of a module's type table into the process-wide ring,
// name look-ups and comparisons, the cast check, and the ring's teardown.
#include "runtime/types.h"

#include <cstddef>
#include <cstring>

#include "runtime/proxy.h"

namespace qm {

// Other modules of this kind read these records through the ring: the
// layout is fixed, field by field, for the 32-bit build.
static_assert(sizeof(void *) != 4 || (offsetof(TypeDescriptor, cast) == 12 &&
                                      offsetof(TypeDescriptor, owndata) == 20 &&
                                      sizeof(TypeDescriptor) == 24),
              "type descriptor layout");
static_assert(sizeof(void *) != 4 || (offsetof(CastEntry, prev) == 12 && sizeof(CastEntry) == 16),
              "cast entry layout");
static_assert(sizeof(void *) != 4 || (offsetof(ModuleTable, next) == 8 &&
                                      offsetof(ModuleTable, clientdata) == 20 &&
                                      sizeof(ModuleTable) == 24),
              "module table layout");
static_assert(sizeof(void *) != 4 || (offsetof(ClassRecord, destroy) == 12 &&
                                      offsetof(ClassRecord, implicitconv) == 20 &&
                                      sizeof(ClassRecord) == 24),
              "class record layout");

namespace {

/// The published head of the ring, once found or published (never freed).
ModuleTable *published_ring = nullptr;

/// Runs when the interpreter destroys "type_pointer": releases what the
/// class records of the published table hold. The records and descriptors
/// stay, with null references, because proxies may still be torn down later.
void release_ring(void *head) {
  ModuleTable *table = static_cast<ModuleTable *>(head);
  if (table != published_ring) return;  // an object that was never published
  for (size_t i = 0; i < table->size; ++i) {
    TypeDescriptor *type = table->types[i];
    if (!type || type->owndata != 1 || !type->clientdata) continue;
    ClassRecord *record = static_cast<ClassRecord *>(type->clientdata);
    Py_CLEAR(record->newraw);
    Py_CLEAR(record->newargs);
    Py_CLEAR(record->destroy);
  }
  release_this_name();
  published_ring = nullptr;
}

ModuleTable *find_published_ring() {
  if (!published_ring) {
    void *head = PyCObject_Import(const_cast<char *>("swig_runtime_data4"),
                                  const_cast<char *>("type_pointer"));
    if (PyErr_Occurred()) {
      // No module of this kind has published yet: not an error.
      PyErr_Clear();
      head = nullptr;
    }
    published_ring = static_cast<ModuleTable *>(head);
  }
  return published_ring;
}

PyMethodDef no_methods[] = {{nullptr, nullptr, 0, nullptr}};

void publish_ring(ModuleTable *table) {
  PyObject *runtime = Py_InitModule4("swig_runtime_data4", no_methods, nullptr, nullptr,
                                     PYTHON_API_VERSION);  // borrowed
  PyObject *pointer = PyCObject_FromVoidPtr(table, release_ring);
  if (runtime && pointer && PyModule_AddObject(runtime, "type_pointer", pointer) == 0) {
    published_ring = table;  // AddObject took the reference
    return;
  }
  Py_XDECREF(pointer);
  PyErr_Clear();
}

bool in_ring(ModuleTable *head, ModuleTable *table) {
  ModuleTable *iter = head;
  do {
    if (iter == table) return true;
    iter = iter->next;
  } while (iter && iter != head);
  return false;
}

/// Binary search of one table; its descriptors stand in byte order of name.
TypeDescriptor *search_table(const ModuleTable *table, const char *name) {
  if (table->size == 0) return nullptr;
  size_t low = 0, high = table->size - 1;
  while (low <= high) {
    size_t probe = low + (high - low) / 2;
    const TypeDescriptor *type = table->types[probe];
    if (!type || !type->name) break;
    int order = std::strcmp(name, type->name);
    if (order == 0) return table->types[probe];
    if (order < 0) {
      if (probe == 0) break;
      high = probe - 1;
    } else {
      low = probe + 1;
    }
  }
  return nullptr;
}

}  // namespace

void bind_type_table(ModuleTable &module) {
  ModuleTable *self = &module;
  const bool first_binding = self->next == nullptr;
  if (first_binding) self->next = self;

  ModuleTable *head = find_published_ring();
  if (!head) {
    publish_ring(self);
  } else {
    if (in_ring(head, self)) return;
    self->next = head->next;
    head->next = self;
  }
  if (!first_binding) return;

  for (size_t i = 0; i < self->size; ++i) {
    TypeDescriptor *initial = self->type_initial[i];
    const bool others = self->next != self;
    TypeDescriptor *chosen = initial;
    if (others) {
      if (TypeDescriptor *found = find_mangled(self->next, self, initial->name)) {
        if (initial->clientdata) found->clientdata = initial->clientdata;
        chosen = found;
      }
    }
    for (CastEntry *entry = self->cast_initial[i]; entry->type; ++entry) {
      TypeDescriptor *source = others ? find_mangled(self->next, self, entry->type->name) : nullptr;
      if (source) {
        if (chosen == initial)
          entry->type = source;
        else if (cast_check(source->name, chosen))
          continue;  // the shared descriptor already accepts this source
      }
      entry->prev = nullptr;
      entry->next = chosen->cast;
      if (chosen->cast) chosen->cast->prev = entry;
      chosen->cast = entry;
    }
    self->types[i] = chosen;
  }
  self->types[self->size] = nullptr;
}

TypeDescriptor *find_mangled(ModuleTable *first, ModuleTable *end, const char *name) {
  if (!first || !name) return nullptr;
  ModuleTable *iter = first;
  do {
    if (TypeDescriptor *type = search_table(iter, name)) return type;
    iter = iter->next;
  } while (iter && iter != end);
  return nullptr;
}

TypeDescriptor *find_readable(ModuleTable *first, ModuleTable *end, const char *name) {
  if (TypeDescriptor *type = find_mangled(first, end, name)) return type;
  if (!first || !name) return nullptr;
  ModuleTable *iter = first;
  do {
    for (size_t i = 0; i < iter->size; ++i) {
      TypeDescriptor *type = iter->types[i];
      if (type && type->str && name_equivalent(type->str, name)) return type;
    }
    iter = iter->next;
  } while (iter && iter != end);
  return nullptr;
}

CastEntry *cast_check(const char *source, TypeDescriptor *target) {
  if (!target || !source) return nullptr;
  CastEntry *head = target->cast;
  for (CastEntry *entry = head; entry; entry = entry->next) {
    if (!entry->type || !entry->type->name || std::strcmp(entry->type->name, source) != 0) continue;
    if (entry != head) {
      // Move to front: the type converted last is found first next time.
      entry->prev->next = entry->next;
      if (entry->next) entry->next->prev = entry->prev;
      entry->next = head;
      entry->prev = nullptr;
      head->prev = entry;
      target->cast = entry;
    }
    return entry;
  }
  return nullptr;
}

const char *pretty_name(const TypeDescriptor *type) {
  if (!type) return nullptr;
  if (!type->str) return type->name;
  const char *last = std::strrchr(type->str, '|');
  return last ? last + 1 : type->str;
}

TypeDescriptor *char_pointer_type() {
  static TypeDescriptor *cached = nullptr;
  if (!cached) cached = find_readable(&this_module, &this_module, "_p_char");
  return cached;
}

}  // namespace qm
