// proxy.h: pointer proxies (Python type "SwigPyObject") that carry native
// pointers with their type and ownership, and packed-data proxies.
#ifndef QM_RUNTIME_PROXY_H
#define QM_RUNTIME_PROXY_H

#include <cstddef>

#include "runtime/python.h"
#include "runtime/types.h"

namespace qm {

/// Flags of make_proxy.
enum ProxyFlags : int {
  kBorrowed = 0,  ///< a view: the proxy frees nothing, shadowed when a class is registered
  kOwn = 1,       ///< the proxy owns the pointee and destroys it at teardown
  kNoShadow = 2,  ///< never wrap in an instance of the registered class
};
/// Flag of convert_pointer: clear the ownership of the converted proxy.
constexpr int kDisown = 1;

struct ProxyObject {
  PyObject_HEAD
  void *ptr;           ///< never null: null pointers are None
  TypeDescriptor *ty;  ///< type of the pointee
  int own;             ///< 1: teardown destroys the pointee
  PyObject *next;      ///< a further proxy linked by append(), or null
};

PyTypeObject *proxy_type();
/// True for proxies of this module and of any other module of this kind.
bool is_proxy(PyObject *obj);
/// The proxy an object carries (itself, its `this`, through weak proxies).
ProxyObject *find_proxy(PyObject *obj);

namespace detail {
/// The proxy type of this module (proxy_type() readies it).
extern PyTypeObject proxy_type_object;
/// convert_pointer for everything but the common case.
int convert_any_pointer(PyObject *obj, void **out, TypeDescriptor *type, int flags, int *owned);
}  // namespace detail

/// Object to pointer of `type` (null type: any). None gives a null pointer.
/// Returns 0, or kFail with no Python error pending. When `owned` is given it
/// receives the own flag the matching proxy had before any disown (0 for None),
/// so destructors can refuse to free blocks a proxy does not own.
inline int convert_pointer(PyObject *obj, void **out, TypeDescriptor *type, int flags,
                           int *owned = nullptr) {
  // Most arguments are a bare proxy of this module of exactly the requested
  // type, which the general walk would take unchanged: decided here, inline.
  if (obj && Py_TYPE(obj) == &detail::proxy_type_object && type &&
      reinterpret_cast<ProxyObject *>(obj)->ty == type) {
    ProxyObject *proxy = reinterpret_cast<ProxyObject *>(obj);
    if (out) *out = proxy->ptr;
    if (owned) *owned = proxy->own;
    if (flags & kDisown) proxy->own = 0;
    return 0;
  }
  return detail::convert_any_pointer(obj, out, type, flags, owned);
}

/// Typed convenience over convert_pointer.
template <class T>
inline int convert_pointer(PyObject *obj, T **out, TypeDescriptor *type, int flags,
                           int *owned = nullptr) {
  void *raw = nullptr;
  int code = convert_pointer(obj, out ? &raw : nullptr, type, flags, owned);
  if (code >= 0 && out) *out = static_cast<T *>(raw);
  return code;
}

/// The owning proxy of `ptr` while it is calling its class's destroy
/// function from its teardown (else null): that call passes a temporary
/// non-owning proxy, and the destructor must still free the block.
const PyObject *owner_in_teardown(const void *ptr);
inline bool in_owner_teardown(const void *ptr) { return owner_in_teardown(ptr) != nullptr; }

/// Calls `forget` with each proxy of `type` as it dies, after its pointee was
/// destroyed, for a family that keeps bookkeeping per proxy. One watcher.
void watch_teardown(TypeDescriptor *type, void (*forget)(const PyObject *proxy));

/// A new proxy for `ptr` (None for null), shadowed unless kNoShadow or no class.
PyObject *make_proxy(void *ptr, TypeDescriptor *type, int flags);
/// A packed-data proxy ("SwigPyPacked") holding a copy of `size` bytes.
PyObject *make_packed(const void *data, size_t size, TypeDescriptor *type);
PyTypeObject *packed_type();
/// The cached str "this" (borrowed).
PyObject *this_name();
/// Drops the cached "this" (at interpreter teardown); the next use remakes it.
void release_this_name();

/// Writes `size` bytes in memory order as two lower-case hex digits each;
/// gives the end of what was written (no NUL).
char *hex_bytes(char *out, const void *data, size_t size);

/// The packed-pointer text "_<address bytes in memory order, hex><mangled name>"
/// written into `buffer`; false when it does not fit.
bool packed_pointer_text(char *buffer, size_t size, const void *ptr, const char *name);

}  // namespace qm

#endif
