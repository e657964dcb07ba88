// platform.cpp: the thread slot and its end-of-thread hook, and the pause,
// for Linux (POSIX threads) and 32-bit Windows.
//
// Linux: a pthread key whose destructor is the hook. It runs on the ending
// thread after its start function returned, without any lock held, so it
// may wait for the interpreter lock.
//
// Windows: a TLS slot (TlsAlloc) and the DLL's DLL_THREAD_DETACH notice,
// which mingw-w64's DllMainCRTStartup passes on to DllMain for every thread
// that ends while the module is loaded. Not a fiber-local-storage callback:
// FlsAlloc does not exist on Windows XP, a target of this module, and it
// would run at the same point of a thread's end anyway. The notice comes
// under the loader lock: a thread holding the interpreter lock may be
// waiting for the loader lock (importing an extension module does that), so
// the hook must not wait for the interpreter lock there (kThreadEndMayWait).
#include "callbacks/platform.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>
#include <time.h>
#endif

#include <atomic>

namespace qm {
namespace platform {
namespace {
std::atomic<ThreadEndHook> end_hook{nullptr};
}  // namespace

#ifdef _WIN32

namespace {
/// TLS_OUT_OF_INDEXES until made; written once, before any thread stores.
std::atomic<DWORD> slot{TLS_OUT_OF_INDEXES};
}  // namespace

const bool kThreadEndMayWait = false;

bool make_thread_slot(ThreadEndHook hook) {
  static const bool made = [&] {
    DWORD index = TlsAlloc();
    if (index == TLS_OUT_OF_INDEXES) return false;
    end_hook.store(hook);
    slot.store(index);
    return true;
  }();
  return made;
}

void *thread_value() {
  DWORD index = slot.load(std::memory_order_relaxed);
  if (index == TLS_OUT_OF_INDEXES) return nullptr;
  DWORD error = GetLastError();  // kept for the interpreter's own callers, as Python does
  void *value = TlsGetValue(index);
  SetLastError(error);
  return value;
}

bool set_thread_value(void *value) {
  DWORD index = slot.load(std::memory_order_relaxed);
  return index != TLS_OUT_OF_INDEXES && TlsSetValue(index, value);
}

void pause_briefly() { Sleep(1); }

}  // namespace platform
}  // namespace qm

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_THREAD_DETACH) {
    qm::platform::ThreadEndHook hook = qm::platform::end_hook.load();
    if (void *value = hook ? qm::platform::thread_value() : nullptr) {
      qm::platform::set_thread_value(nullptr);
      hook(value);
    }
  }
  return TRUE;
}

#else

namespace {
pthread_key_t key;
std::atomic<bool> key_made{false};

void run_hook(void *value) {
  if (ThreadEndHook hook = end_hook.load()) hook(value);
}
}  // namespace

const bool kThreadEndMayWait = true;

bool make_thread_slot(ThreadEndHook hook) {
  static const bool made = [&] {
    end_hook.store(hook);
    if (pthread_key_create(&key, run_hook) != 0) return false;
    key_made.store(true);
    return true;
  }();
  return made;
}

void *thread_value() {
  return key_made.load(std::memory_order_relaxed) ? pthread_getspecific(key) : nullptr;
}

bool set_thread_value(void *value) {
  return key_made.load(std::memory_order_relaxed) && pthread_setspecific(key, value) == 0;
}

void pause_briefly() {
  struct timespec millisecond = {0, 1000000};
  nanosleep(&millisecond, nullptr);
}

}  // namespace platform
}  // namespace qm

#endif
