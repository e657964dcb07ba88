// platform.h: the operating system's part in the callback object's lifetime,
// behind one seam (platform.cpp): a pointer per thread with a hook that runs
// when its thread ends, and a short pause. Nothing else in callbacks/ names a
// thread primitive, so a change of primitives stays in platform.cpp.
#ifndef QM_CALLBACKS_PLATFORM_H
#define QM_CALLBACKS_PLATFORM_H

namespace qm {
namespace platform {

/// Called on a thread that ends while its slot holds `value` (non-null).
using ThreadEndHook = void (*)(void *value);

/// Makes the process's one thread slot with its hook; later calls change
/// nothing. False when the system has no slot left.
bool make_thread_slot(ThreadEndHook hook);
/// This thread's value (null until set, and once the slot could not be made).
void *thread_value();
/// False when the value could not be stored.
bool set_thread_value(void *value);

/// True where the hook may wait for a lock held by another thread. Where it
/// may not (Windows: it runs under the loader lock), the hook must hand its
/// work to another thread instead.
extern const bool kThreadEndMayWait;

/// About a millisecond without the processor.
void pause_briefly();

}  // namespace platform
}  // namespace qm

#endif
