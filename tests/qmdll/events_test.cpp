// Event delivery of the stand-in library: its event thread, bursts, and
// events inside calls.
#include <atomic>
#include <chrono>
#include <cstring>

#include "bench.h"

namespace {

using EventTest = Bench;

Qm_Dll_Event_Param message_box(const char *caption, const char *message) {
  Qm_Dll_Event_Param e{};
  e.id = QM_DLL_EVENT_MESSAGE_BOX;
  e.param.message_box.id = QM_MESSAGE_BOX_CONFIRMATION;
  e.param.message_box.Caption = const_cast<char *>(caption);
  e.param.message_box.Message = const_cast<char *>(message);
  e.param.message_box.Enabled = 1;
  return e;
}

TEST_F(EventTest, HotPlugEventsComeInOrderFromTheLibraryThread) {
  ASSERT_EQ(QmSetEventCallback(record_event), 0u);
  EXPECT_EQ(qmsim_receiver(), &record_event);
  open(1);
  ASSERT_EQ(qmsim_plug_dut(1, 0), 0);
  ASSERT_EQ(qmsim_plug_dut(1, 1), 0);
  ASSERT_EQ(qmsim_power(1, 0), 0);
  ASSERT_EQ(qmsim_power(1, 1), 0);
  ASSERT_EQ(qmsim_plug_board(1, 0), 0);
  ASSERT_EQ(qmsim_plug_board(1, 1), 0);
  ASSERT_EQ(qmsim_reload_eeprom(1, 1), 0);
  ASSERT_EQ(qmsim_simulator_loaded(), 0);
  EXPECT_EQ(qmsim_plug_board(7, 0), -1);
  ASSERT_EQ(qmsim_wait_delivered(10000), 1);

  std::vector<Seen> seen = Recorder::take();
  ASSERT_EQ(seen.size(), 8u);
  const Qm_Hw_Change_Id order[] = {QM_HW_CHANGE_DUT_DISCONNECT, QM_HW_CHANGE_DUT_CONNECT,
                                   QM_HW_CHANGE_POWER_OFF,      QM_HW_CHANGE_POWER_ON,
                                   QM_HW_CHANGE_BOARD_DISCONNECT, QM_HW_CHANGE_BOARD_CONNECT};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(seen[i].event.id, QM_DLL_EVENT_HW_CHANGE);
    EXPECT_EQ(seen[i].event.param.hw_change.id, order[i]);
    EXPECT_EQ(seen[i].event.param.hw_change.board_index, 1u);
    EXPECT_EQ(seen[i].event.param.hw_change.dut_index, 0u);
    EXPECT_NE(seen[i].thread, std::this_thread::get_id());
    EXPECT_EQ(seen[i].thread, seen[0].thread);
  }
  EXPECT_EQ(seen[6].event.id, QM_DLL_EVENT_DUT_EEPROM_RELOADED);
  EXPECT_EQ(seen[7].event.id, QM_DLL_EVENT_SIMULATOR_LOADED);
  EXPECT_EQ(qmsim_events_delivered(), 8u);
  EXPECT_EQ(qmsim_receiver_result_sum(), 8u);
  EXPECT_FALSE(qmsim_board_open(1));  // unplugging closed it
}

TEST_F(EventTest, FiredEventsAreCopiedWithTheirTexts) {
  QmSetEventCallback(record_event);
  Recorder::result = 5;
  {
    std::string caption = "Caption", message = "Message text";
    Qm_Dll_Event_Param e = message_box(caption.c_str(), message.c_str());
    qmsim_set_delivery_delay(50);  // delivery after the sender's strings are gone
    ASSERT_EQ(qmsim_fire_event(&e), 0);
    caption.assign(7, 'x');
    message.assign(12, 'y');
  }
  Qm_Dll_Event_Param nulls = message_box(nullptr, nullptr);
  ASSERT_EQ(qmsim_fire_event(&nulls), 0);
  EXPECT_EQ(qmsim_fire_event(nullptr), -1);
  ASSERT_EQ(qmsim_wait_delivered(10000), 1);
  std::vector<Seen> seen = Recorder::take();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].caption, "Caption");
  EXPECT_EQ(seen[0].message, "Message text");
  EXPECT_EQ(seen[0].event.param.message_box.id, QM_MESSAGE_BOX_CONFIRMATION);
  EXPECT_EQ(seen[1].caption, "(null)");
  EXPECT_EQ(qmsim_receiver_result_sum(), 10u);
}

TEST_F(EventTest, WaitTimesOutWhileEventsAreHeldAndResetDropsThem) {
  QmSetEventCallback(record_event);
  qmsim_set_delivery_delay(300);
  Qm_Dll_Event_Param e = message_box("a", "b");
  for (int i = 0; i < 3; ++i) ASSERT_EQ(qmsim_fire_event(&e), 0);
  EXPECT_EQ(qmsim_wait_delivered(20), 0);
  qmsim_reset();  // nothing is being delivered yet: the queue goes
  ASSERT_EQ(qmsim_wait_delivered(10000), 1);
  EXPECT_TRUE(Recorder::take().empty());
  EXPECT_EQ(qmsim_events_delivered(), 0u);
  EXPECT_EQ(qmsim_receiver(), &record_event);  // reset keeps the receiver
}

TEST_F(EventTest, FireDuringDeliversInsideTheNextCallOnly) {
  QmSetEventCallback(record_event);
  Qm_Dll_Event_Param e{};
  e.id = QM_DLL_EVENT_CHANNEL_DATA_SELECTION_CHANGED;
  e.param.channel_data_selection_changed.channel_data_index = 4;
  EXPECT_EQ(qmsim_fire_during("QmNoSuchFunction", &e), -1);
  ASSERT_EQ(qmsim_fire_during("QmBoardOpen", &e), 0);
  EXPECT_EQ(qmsim_pending_during("QmBoardOpen"), 1);
  QmBoardClose(0);
  EXPECT_TRUE(Recorder::take().empty());
  open(0);
  EXPECT_EQ(qmsim_pending_during("QmBoardOpen"), 0);
  open(0);
  std::vector<Seen> seen = Recorder::take();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].thread, std::this_thread::get_id());
  EXPECT_EQ(seen[0].event.param.channel_data_selection_changed.channel_data_index, 4u);
}

TEST_F(EventTest, BurstsDeliverFromManyThreadsWhileCallsGoOn) {
  QmSetEventCallback(record_event);
  Qm_Dll_Event_Param e{};
  e.id = QM_DLL_EVENT_SIMULATOR_LOADED;
  EXPECT_EQ(qmsim_fire_burst(0, 5, &e), -1);
  ASSERT_EQ(qmsim_fire_burst(4, 250, &e), 0);
  for (int i = 0; i < 200; ++i) {
    QmWord count;
    QmString *names;
    QmBoardEnum(&count, &names, nullptr);
  }
  ASSERT_EQ(qmsim_wait_delivered(20000), 1);
  std::vector<Seen> seen = Recorder::take();
  EXPECT_EQ(seen.size(), 1000u);
  EXPECT_EQ(qmsim_events_delivered(), 1000u);
  std::vector<std::thread::id> threads;
  for (const Seen &s : seen)
    if (std::find(threads.begin(), threads.end(), s.thread) == threads.end())
      threads.push_back(s.thread);
  EXPECT_GE(threads.size(), 2u);
  EXPECT_EQ(std::find(threads.begin(), threads.end(), std::this_thread::get_id()), threads.end());
}

TEST_F(EventTest, RelaysDeliverEachEventOnAFreshThread) {
  QmSetEventCallback(record_event);
  Qm_Dll_Event_Param e{};
  e.id = QM_DLL_EVENT_SIMULATOR_LOADED;
  EXPECT_EQ(qmsim_fire_relay(0, 5, &e), -1);
  EXPECT_EQ(qmsim_fire_relay(1, -1, &e), -1);
  ASSERT_EQ(qmsim_fire_relay(2, 0, &e), 0);
  ASSERT_EQ(qmsim_fire_relay(3, 40, &e), 0);
  ASSERT_EQ(qmsim_wait_delivered(20000), 1);
  std::vector<Seen> seen = Recorder::take();
  EXPECT_EQ(seen.size(), 120u);
  std::vector<std::thread::id> threads;
  for (const Seen &s : seen)
    if (std::find(threads.begin(), threads.end(), s.thread) == threads.end())
      threads.push_back(s.thread);
  // A thread's id may be reused once it ended; one at a time, never the caller's.
  EXPECT_GE(threads.size(), 3u);
  EXPECT_EQ(std::find(threads.begin(), threads.end(), std::this_thread::get_id()), threads.end());
}

TEST_F(EventTest, WithoutReceiverEventsAreDropped) {
  Qm_Dll_Event_Param e{};
  e.id = QM_DLL_EVENT_SIMULATOR_LOADED;
  ASSERT_EQ(qmsim_fire_event(&e), 0);
  ASSERT_EQ(qmsim_fire_burst(2, 10, &e), 0);
  ASSERT_EQ(qmsim_wait_delivered(10000), 1);
  EXPECT_EQ(qmsim_events_delivered(), 0u);
}

}  // namespace
