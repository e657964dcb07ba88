// bench.h: fixture and event recorder shared by the stand-in library's tests.
#ifndef QMDLL_TESTS_BENCH_H
#define QMDLL_TESTS_BENCH_H

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "qmsim.h"

// What a receiver saw of one event, copied while the record was valid.
struct Seen {
  Qm_Dll_Event_Param event;
  std::string caption, message;
  std::thread::id thread;
  QmWord open_board0;  // qmsim_board_open(0) from inside the receiver
};

struct Recorder {
  static std::mutex m;
  static std::vector<Seen> seen;
  static QmWord result;
  static std::vector<Seen> take() {
    std::lock_guard<std::mutex> lock(m);
    return seen;
  }
  static void clear() {
    std::lock_guard<std::mutex> lock(m);
    seen.clear();
    result = 1;
  }
};

extern "C" QmWord QM_RECEIVER_CALL record_event(Qm_Dll_Event_Param *event);

class Bench : public ::testing::Test {
 protected:
  void SetUp() override {
    QmSetEventCallback(nullptr);
    qmsim_reset();
    Recorder::clear();
  }
  void TearDown() override {
    EXPECT_EQ(qmsim_wait_delivered(10000), 1);
    QmSetEventCallback(nullptr);
    qmsim_reset();
  }
  static void open(QmWord board) {
    QmWord handle = 0;
    QmVersionNumber v{};
    ASSERT_EQ(QmBoardOpen(board, nullptr, &handle, &v), QmWord(QM_RETURN_OK));
  }
  static std::string last_error(QmWord board) {
    QmString text = nullptr;
    QmBoardReadLastError(board, &text);
    return text ? text : "(null)";
  }
  static QmCaptureSetup setup(QmWord size, QmWord index, QmDataFormat format) {
    QmCaptureSetup s{};
    s.TransferSize = size;
    s.ChannelDataIndex = index;
    s.DataFormat = format;
    return s;
  }
};

#endif  // QMDLL_TESTS_BENCH_H
