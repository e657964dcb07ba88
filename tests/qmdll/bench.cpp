// bench.cpp: the recording event receiver.
#include "bench.h"

std::mutex Recorder::m;
std::vector<Seen> Recorder::seen;
QmWord Recorder::result = 1;

extern "C" QmWord QM_RECEIVER_CALL record_event(Qm_Dll_Event_Param *event) {
  Seen s{};
  s.event = *event;
  if (event->id == QM_DLL_EVENT_MESSAGE_BOX) {
    const Qm_Message_Box_Param &m = event->param.message_box;
    s.caption = m.Caption ? m.Caption : "(null)";
    s.message = m.Message ? m.Message : "(null)";
  }
  s.thread = std::this_thread::get_id();
  // Calling back into the library from the receiver must not deadlock.
  s.open_board0 = QmWord(qmsim_board_open(0));
  QmString text = nullptr;
  QmBoardReadLastError(0, &text);
  std::lock_guard<std::mutex> lock(Recorder::m);
  Recorder::seen.push_back(s);
  return Recorder::result;
}
