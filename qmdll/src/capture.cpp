// capture.cpp: captures and the waveform they return. Every capture sees a
// coherent test tone (a whole number of periods in 8192 samples) plus a
// little deterministic noise, or the DAC's waveform while it sources.
#include "sim.h"

#include <cmath>

namespace sim {
namespace {

const double kPi = 3.14159265358979323846;
const QmWord kToneRecord = 8192;

QmWord tone_bin(QmWord board, QmWord config) { return 401 + 128 * config + 32 * (board % 4); }

double sample_rate(const Board &b, QmWord config) {
  return model(b.model).fs_hz / decimation(config);
}

double amplitude(QmWord bits) { return 0.9 * std::ldexp(1.0, int(bits) - 1); }

// -2..2 LSB, a pure function of where the sample is.
int noise(QmWord board, QmWord config, QmWord channel, QmWord n) {
  uint32_t h = n * 2654435761u ^ (board * 40503u + config * 9973u + channel * 7919u);
  h ^= h >> 15;
  h *= 2246822519u;
  h ^= h >> 13;
  return int(h % 5) - 2;
}

long decode(QmWord word, QmWord bits, QmDataFormat format) {
  QmWord mask = bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
  QmWord half = 1u << (bits - 1);
  word &= mask;
  switch (format) {
    case QmOffsetBinaryFormat: return long(word) - long(half);
    case QmBinaryFormat: return (word & half) ? -long(word & (half - 1)) : long(word);
    default: return (word & half) ? long(word) - 2 * long(half) : long(word);
  }
}

// Binary is sign and magnitude (MSB set for negative values).
QmWord encode(long v, QmWord bits, QmDataFormat format) {
  long half = 1L << (bits - 1);
  if (v < -half) v = -half;
  if (v > half - 1) v = half - 1;
  QmWord mask = (1u << bits) - 1;
  switch (format) {
    case QmOffsetBinaryFormat: return QmWord(v + half) & mask;
    case QmBinaryFormat: return v < 0 ? QmWord(half) | QmWord(-v < half ? -v : half - 1) : QmWord(v);
    default: return QmWord(v) & mask;
  }
}

long dac_loopback(const Dac &d, QmWord channel, QmWord n, QmWord adc_bits) {
  QmWord ch = d.channels ? d.channels : 1;
  QmWord frames = QmWord(d.samples.size()) / ch;
  if (frames == 0 || (!d.repeat && n >= frames)) return 0;
  long v = decode(d.samples[(n % frames) * ch + channel % ch], d.bits, d.format);
  int shift = int(d.bits) - int(adc_bits);
  return shift >= 0 ? v >> shift : v * (1L << -shift);
}

void fill(QmWord board, const Board &b, QmWord *out, QmWord count) {
  const DutModel &m = model(b.model);
  const Capture &c = b.cap;
  QmWord channels = m.captures[c.config].num_channels_returned_to_user;
  double step = 2 * kPi * tone_bin(board, c.config) / kToneRecord;
  double a = amplitude(m.bits);
  bool loop = b.dac.sourcing && !b.dac.samples.empty();
  for (QmWord i = 0; i < count; ++i) {
    QmWord k = c.pos + i, ch = k % channels, n = k / channels;
    long v = loop ? dac_loopback(b.dac, ch, n, m.bits)
                  : std::lround(a * std::sin(step * (n % kToneRecord) + ch * kPi / 2));
    out[i] = encode(v + noise(board, c.config, ch, n), m.bits, c.format);
  }
}

bool known_format(QmDataFormat f) {
  return f == QmBinaryFormat || f == QmOffsetBinaryFormat || f == QmTwosComplementFormat;
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
      const DutModel &m = model(b->model);
      if (!setup) {
        st = fail(board, "no capture setup given");
      } else if (setup->ChannelDataIndex >= m.capture_count) {
        st = fail(board, "no channel data " + num(setup->ChannelDataIndex) + " on " + m.name);
      } else if (setup->TransferSize < m.captures[setup->ChannelDataIndex].TransferMinSize ||
                 setup->TransferSize > m.captures[setup->ChannelDataIndex].TransferMaxSize) {
        const QmChannelData &cd = m.captures[setup->ChannelDataIndex];
        st = fail(board, "transfer size " + num(setup->TransferSize) + " outside " +
                             num(cd.TransferMinSize) + ".." + num(cd.TransferMaxSize));
      } else if (!known_format(setup->DataFormat)) {
        st = fail(board, "unknown data format " + hex(QmWord(setup->DataFormat)));
      } else {
        index = setup->ChannelDataIndex;
        b->cap.active = true;
        b->cap.config = index;
        b->cap.transfer = setup->TransferSize;
        b->cap.pos = 0;
        b->cap.format = setup->DataFormat;
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
  put(frequency, sample_rate(b, channel_data_index) * tone_bin(board, channel_data_index) /
                     kToneRecord);
  put(amp, amplitude(m.bits));
  return 0;
}

}  // extern "C"
