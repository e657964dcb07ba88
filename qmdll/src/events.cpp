// events.cpp: the event receiver, the library's event thread, burst threads
// and synchronous delivery inside calls. The world mutex is never held while
// the receiver runs: receivers call back into the library.
#include "sim.h"

#include <chrono>
#include <thread>

namespace sim {

Event::Event(const Qm_Dll_Event_Param &e) : rec(e) {
  if (e.id != QM_DLL_EVENT_MESSAGE_BOX) return;
  const Qm_Message_Box_Param &m = e.param.message_box;
  has_caption = m.Caption != nullptr;
  has_message = m.Message != nullptr;
  if (has_caption) caption = m.Caption;
  if (has_message) message = m.Message;
}

Qm_Dll_Event_Param Event::record() const {
  Qm_Dll_Event_Param r = rec;
  if (r.id == QM_DLL_EVENT_MESSAGE_BOX) {
    r.param.message_box.Caption = has_caption ? const_cast<char *>(caption.c_str()) : nullptr;
    r.param.message_box.Message = has_message ? const_cast<char *>(message.c_str()) : nullptr;
  }
  return r;
}

Event hw_event(Qm_Hw_Change_Id id, QmWord board, QmWord dut) {
  Event e;
  e.rec.id = QM_DLL_EVENT_HW_CHANGE;
  e.rec.param.hw_change.id = id;
  e.rec.param.hw_change.board_index = board;
  e.rec.param.hw_change.dut_index = dut;
  return e;
}

Event plain_event(Qm_Dll_Event_Id id) {
  Event e;
  e.rec.id = id;
  return e;
}

void deliver_now(const Event &e) {
  World &w = world();
  Qm_Event_Receiver receiver;
  {
    std::lock_guard<std::mutex> lock(w.m);
    receiver = w.receiver;
  }
  if (!receiver) return;
  // The record lives in this frame: valid for exactly the receiver's call.
  Qm_Dll_Event_Param rec = e.record();
  QmWord result = receiver(&rec);
  std::lock_guard<std::mutex> lock(w.m);
  ++w.delivered;
  w.result_sum += result;
}

static void event_thread() {
  World &w = world();
  std::unique_lock<std::mutex> lock(w.m);
  for (;;) {
    w.work.wait(lock, [&] { return !w.queue.empty(); });
    if (w.delay_ms > 0) {
      int ms = w.delay_ms;
      lock.unlock();
      std::this_thread::sleep_for(std::chrono::milliseconds(ms));
      lock.lock();
      if (w.queue.empty()) continue;  // a reset emptied it meanwhile
    }
    Event ev = std::move(w.queue.front());
    w.queue.pop_front();
    w.delivering = true;
    lock.unlock();
    deliver_now(ev);
    lock.lock();
    w.delivering = false;
    w.idle.notify_all();
  }
}

void queue_event(const Event &e) {
  World &w = world();
  w.queue.push_back(e);
  if (!w.thread_started) {
    try {
      std::thread(event_thread).detach();
      w.thread_started = true;
    } catch (const std::exception &) {
      // No thread now: the event waits for the next attempt.
    }
  }
  w.work.notify_one();
}

static void burst(Event ev, int count, unsigned generation) {
  World &w = world();
  for (int i = 0; i < count; ++i) {
    {
      std::lock_guard<std::mutex> lock(w.m);
      if (w.generation != generation) break;  // reset: stop early
    }
    deliver_now(ev);
  }
  std::lock_guard<std::mutex> lock(w.m);
  --w.bursts;
  w.idle.notify_all();
}

/// One leg of a relay: delivers, hands the rest to a fresh thread, ends.
static void relay(Event ev, int left, unsigned generation) {
  World &w = world();
  {
    std::lock_guard<std::mutex> lock(w.m);
    if (w.generation != generation) left = 0;  // reset: stop early
  }
  if (left > 0) deliver_now(ev);
  std::lock_guard<std::mutex> lock(w.m);
  if (left > 1) {
    try {
      std::thread(relay, ev, left - 1, generation).detach();
      return;  // the next leg carries this relay's count
    } catch (const std::exception &) {
      // No thread: the relay ends here.
    }
  }
  --w.bursts;
  w.idle.notify_all();
}

}  // namespace sim

using namespace sim;

extern "C" {

QM_EXPORT QmWord QM_CALL QmSetEventCallback(Qm_Event_Receiver receiver) {
  Arg a{static_cast<QmWord>(reinterpret_cast<uintptr_t>(receiver)), receiver == nullptr, false,
        nullptr};
  Call call(kQmSetEventCallback, {a});
  World &w = world();
  std::lock_guard<std::mutex> lock(w.m);
  w.receiver = receiver;
  return call.status(QM_RETURN_OK);
}

QM_EXPORT Qm_Event_Receiver qmsim_receiver(void) {
  World &w = world();
  std::lock_guard<std::mutex> lock(w.m);
  return w.receiver;
}

QM_EXPORT int qmsim_fire_event(const Qm_Dll_Event_Param *event) {
  if (!event) return -1;
  Event ev(*event);
  World &w = world();
  std::lock_guard<std::mutex> lock(w.m);
  queue_event(ev);
  return 0;
}

QM_EXPORT int qmsim_fire_during(const char *function, const Qm_Dll_Event_Param *event) {
  int f = fn_find(function);
  if (f < 0 || !event) return -1;
  Event ev(*event);
  World &w = world();
  std::lock_guard<std::mutex> lock(w.m);
  w.armed[f].push_back(ev);
  return 0;
}

QM_EXPORT int qmsim_pending_during(const char *function) {
  int f = fn_find(function);
  if (f < 0) return 0;
  World &w = world();
  std::lock_guard<std::mutex> lock(w.m);
  return w.armed[f].empty() ? 0 : 1;
}

// Starts `threads` detached threads running `work` (burst or relay) over
// `count` events; -1 for bad arguments or a thread that could not start.
static int start_threads(void (*work)(Event, int, unsigned), int threads, int count,
                         const Qm_Dll_Event_Param *event) {
  if (!event || threads <= 0 || count < 0) return -1;
  Event ev(*event);
  World &w = world();
  std::lock_guard<std::mutex> lock(w.m);
  for (int i = 0; i < threads; ++i) {
    ++w.bursts;
    try {
      std::thread(work, ev, count, w.generation).detach();
    } catch (const std::exception &) {
      --w.bursts;
      return -1;
    }
  }
  return 0;
}

QM_EXPORT int qmsim_fire_burst(int threads, int count, const Qm_Dll_Event_Param *event) {
  return start_threads(burst, threads, count, event);
}

QM_EXPORT int qmsim_fire_relay(int threads, int count, const Qm_Dll_Event_Param *event) {
  return start_threads(relay, threads, count, event);
}

QM_EXPORT int qmsim_wait_delivered(int timeout_ms) {
  World &w = world();
  std::unique_lock<std::mutex> lock(w.m);
  bool done = w.idle.wait_for(lock, std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms),
                              [&] { return w.queue.empty() && !w.delivering && w.bursts == 0; });
  return done ? 1 : 0;
}

QM_EXPORT QmWord qmsim_events_delivered(void) {
  World &w = world();
  std::lock_guard<std::mutex> lock(w.m);
  return w.delivered;
}

QM_EXPORT QmWord qmsim_receiver_result_sum(void) {
  World &w = world();
  std::lock_guard<std::mutex> lock(w.m);
  return w.result_sum;
}

QM_EXPORT void qmsim_set_delivery_delay(int ms) {
  World &w = world();
  std::lock_guard<std::mutex> lock(w.m);
  w.delay_ms = ms < 0 ? 0 : ms;
}

QM_EXPORT int qmsim_simulator_loaded(void) {
  World &w = world();
  std::lock_guard<std::mutex> lock(w.m);
  queue_event(plain_event(QM_DLL_EVENT_SIMULATOR_LOADED));
  return 0;
}

}  // extern "C"
