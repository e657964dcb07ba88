// capture.cpp: starting, reading and ending captures (their waveform is
// signal.cpp's), hardware histograms, sampling frequencies and the test tone.
#include "sim.h"

namespace sim {
namespace {

bool known_format(QmDataFormat f) {
  return f == QmBinaryFormat || f == QmOffsetBinaryFormat || f == QmTwosComplementFormat;
}

// Checks a capture setup against the DUT; "" when it fits. A histogram
// transfers HistogramMaxBin + 1 counts instead of samples.
std::string setup_problem(const DutModel &m, const QmCaptureSetup &s) {
  if (s.ChannelDataIndex >= m.capture_count)
    return "no channel data " + num(s.ChannelDataIndex) + " on " + m.name;
  const QmChannelData &cd = m.captures[s.ChannelDataIndex];
  bool sized = s.TransferSize >= cd.TransferMinSize && s.TransferSize <= cd.TransferMaxSize;
  if (!s.HistogramEnable && !sized)
    return "transfer size " + num(s.TransferSize) + " outside " + num(cd.TransferMinSize) + ".." +
           num(cd.TransferMaxSize);
  if (!known_format(s.DataFormat)) return "unknown data format " + hex(QmWord(s.DataFormat));
  if (!s.HistogramEnable) return "";
  if (!m.histogram_bins) return std::string(m.name) + " has no histogram";
  if (s.HistogramMaxBin >= m.histogram_bins)
    return "histogram bin " + num(s.HistogramMaxBin) + " beyond the last bin " +
           num(m.histogram_bins - 1);
  if (s.TransferSize != s.HistogramMaxBin + 1)
    return "histogram transfer size " + num(s.TransferSize) + " is not HistogramMaxBin + 1 = " +
           num(s.HistogramMaxBin + 1);
  if (s.num_acqs_per_strm < 1 || s.num_acqs_per_strm > kMaxRecord)
    return "histogram of " + num(s.num_acqs_per_strm) + " samples outside 1.." + num(kMaxRecord);
  return "";
}

}  // namespace
}  // namespace sim

using namespace sim;

extern "C" {

QM_EXPORT QmWord QM_CALL QmBoardWriteCaptureStart(QmWord board, QmWord dut, QmCaptureSetup *setup) {
  Call call(kQmBoardWriteCaptureStart, {W(board), W(dut), P(setup)});
  World &w = world();
  QmWord st;
  bool changed = false;
  QmWord index = 0;
  {
    std::lock_guard<std::mutex> lock(w.m);
    if (Board *b = need(board, dut, kOpen | kPowered | kDutPlugged, &st)) {
      std::string problem = setup ? setup_problem(model(b->model), *setup) : "no capture setup given";
      if (!problem.empty()) {
        st = fail(board, problem);
      } else {
        index = setup->ChannelDataIndex;
        Capture c;
        c.active = true;
        c.config = index;
        c.transfer = setup->TransferSize;
        c.format = setup->DataFormat;
        if (b->imp.fresh_noise) c.draw = ++b->imp.draws;
        if (setup->HistogramEnable) {
          // The hardware counts as it acquires: the counts are ready at the start.
          c.histogram = true;
          c.counts.assign(setup->HistogramMaxBin + 1, 0);
          count_codes(board, *b, index, c.draw, setup->num_acqs_per_strm, c.counts);
        }
        b->cap = std::move(c);
        changed = index != b->last_channel;
        b->last_channel = index;
      }
    }
  }
  if (changed) {
    Event e;
    e.rec.id = QM_DLL_EVENT_CHANNEL_DATA_SELECTION_CHANGED;
    e.rec.param.channel_data_selection_changed.board_index = board;
    e.rec.param.channel_data_selection_changed.dut_index = dut;
    e.rec.param.channel_data_selection_changed.channel_data_index = index;
    deliver_now(e);
  }
  return call.status(st);
}

QM_EXPORT QmWord QM_CALL QmBoardReadCaptureData(QmWord board, QmWord dut, QmWord *buffer,
                                               QmWord length, QmWord *words_read) {
  Call call(kQmBoardReadCaptureData, {W(board), W(dut), P(buffer), W(length), P(words_read)});
  World &w = world();
  QmWord st, got = 0;
  {
    std::lock_guard<std::mutex> lock(w.m);
    if (Board *b = need(board, dut, kOpen | kPowered | kDutPlugged, &st)) {
      if (!b->cap.active) {
        st = fail(board, "no capture started on board " + num(board));
      } else if (!buffer) {
        st = fail(board, "no capture buffer given");
      } else if (length > b->cap.transfer) {
        st = fail(board, "read of " + num(length) + " words beyond the transfer size " +
                             num(b->cap.transfer));
      } else {
        // Reads continue where the last one stopped, up to the transfer size
        // (or the test control's limits: a library that runs dry reports
        // success with no words).
        QmWord end = b->cap.transfer;
        bool dry = b->capture_limit != 0 && b->capture_limit < end;
        if (dry) end = b->capture_limit;
        QmWord left = b->cap.pos < end ? end - b->cap.pos : 0;
        got = length < left ? length : left;
        if (b->read_limit != 0 && got > b->read_limit) got = b->read_limit;
        if (got == 0 && length > 0 && !dry) {
          st = fail(board, "capture data exhausted", QM_RETURN_ERROR_NON_FATAL);
        } else {
          fill(board, *b, buffer, got);
          b->cap.pos += got;
        }
      }
    }
  }
  put(words_read, call.word(got));
  return call.status(st);
}

QM_EXPORT QmWord QM_CALL QmBoardWriteCaptureEnd(QmWord board, QmWord dut) {
  Call call(kQmBoardWriteCaptureEnd, {W(board), W(dut)});
  World &w = world();
  QmWord st;
  std::lock_guard<std::mutex> lock(w.m);
  if (Board *b = need(board, dut, kOpen | kDut, &st)) {
    if (!b->cap.active)
      st = fail(board, "no capture started on board " + num(board));
    else
      b->cap = Capture();
  }
  return call.status(st);
}

QM_EXPORT QmWord QM_CALL QmGetSamplingFrequency(QmWord board, QmWord dut, QmWord channel_data_index,
                                               QmDouble *frequency) {
  Call call(kQmGetSamplingFrequency, {W(board), W(dut), W(channel_data_index), P(frequency)});
  World &w = world();
  QmWord st;
  QmDouble f = 0.0;
  {
    std::lock_guard<std::mutex> lock(w.m);
    if (Board *b = need(board, dut, kOpen | kDutPlugged, &st)) {
      if (channel_data_index >= model(b->model).capture_count)
        st = fail(board, "no channel data " + num(channel_data_index));
      else
        f = sample_rate(*b, channel_data_index);
    }
  }
  put(frequency, f);
  return call.status(st);
}

QM_EXPORT int qmsim_limit_capture(QmWord board, QmWord per_read, QmWord in_all) {
  World &w = world();
  std::lock_guard<std::mutex> lock(w.m);
  if (board >= w.board_count) return -1;
  w.boards[board].read_limit = per_read;
  w.boards[board].capture_limit = in_all;
  return 0;
}

QM_EXPORT int qmsim_tone(QmWord board, QmWord channel_data_index, QmDouble *frequency,
                         QmDouble *amp) {
  World &w = world();
  std::lock_guard<std::mutex> lock(w.m);
  put(frequency, 0.0);
  put(amp, 0.0);
  if (board >= w.board_count) return -1;
  const Board &b = w.boards[board];
  const DutModel &m = model(b.model);
  if (channel_data_index >= m.capture_count) return -1;
  QmWord cycles, record;
  tone_cycles(board, b, channel_data_index, &cycles, &record);
  put(frequency, sample_rate(b, channel_data_index) * cycles / record);
  put(amp, tone_amplitude(b));
  return 0;
}

QM_EXPORT int qmsim_tone_cycles(QmWord board, QmWord channel_data_index, QmWord *cycles,
                                QmWord *record) {
  World &w = world();
  std::lock_guard<std::mutex> lock(w.m);
  put(cycles, QmWord(0));
  put(record, QmWord(0));
  if (board >= w.board_count) return -1;
  const Board &b = w.boards[board];
  if (channel_data_index >= model(b.model).capture_count) return -1;
  QmWord c, r;
  tone_cycles(board, b, channel_data_index, &c, &r);
  put(cycles, c);
  put(record, r);
  return 0;
}

}  // extern "C"
