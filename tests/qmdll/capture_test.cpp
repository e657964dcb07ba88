// Captures, the simulated waveform and the DAC of the stand-in library.
#include <cmath>
#include <vector>

#include "bench.h"

namespace {

const double kPi = 3.14159265358979323846;

class CaptureTest : public Bench {
 protected:
  void SetUp() override {
    Bench::SetUp();
    open(0);
  }
  // Starts a capture, reads it whole, ends it.
  static std::vector<QmWord> capture(QmWord size, QmWord index, QmDataFormat format) {
    QmCaptureSetup s = setup(size, index, format);
    EXPECT_EQ(QmBoardWriteCaptureStart(0, 0, &s), 0u);
    std::vector<QmWord> data(size, 0xDEADBEEF);
    QmWord got = 0;
    EXPECT_EQ(QmBoardReadCaptureData(0, 0, data.data(), size, &got), 0u);
    EXPECT_EQ(got, size);
    EXPECT_EQ(QmBoardWriteCaptureEnd(0, 0), 0u);
    return data;
  }
  static long twos(QmWord w, int bits) {
    long half = 1L << (bits - 1);
    return (w & QmWord(half)) ? long(w) - 2 * half : long(w);
  }
  static double dft_magnitude(const std::vector<long> &x, double bin) {
    double re = 0, im = 0;
    for (size_t n = 0; n < x.size(); ++n) {
      re += x[n] * std::cos(2 * kPi * bin * n / x.size());
      im -= x[n] * std::sin(2 * kPi * bin * n / x.size());
    }
    return std::sqrt(re * re + im * im);
  }
};

TEST_F(CaptureTest, ToneHasTheAdvertisedFrequencyAndAmplitude) {
  const QmWord n = 8192;
  std::vector<QmWord> raw = capture(n, 0, QmTwosComplementFormat);
  std::vector<long> x;
  long lo = 0, hi = 0;
  int crossings = 0;
  for (QmWord i = 0; i < n; ++i) {
    ASSERT_LT(raw[i], 1u << 14);  // 14-bit words, nothing above
    x.push_back(twos(raw[i], 14));
    lo = std::min(lo, x.back());
    hi = std::max(hi, x.back());
    if (i && (x[i - 1] < 0) != (x[i] < 0)) ++crossings;
  }
  QmDouble fs = 0, tone = 0, amp = 0;
  ASSERT_EQ(QmGetSamplingFrequency(0, 0, 0, &fs), 0u);
  EXPECT_DOUBLE_EQ(fs, 250e6);
  ASSERT_EQ(qmsim_tone(0, 0, &tone, &amp), 0);
  double measured = crossings / 2.0 * fs / n;
  EXPECT_NEAR(measured, tone, fs / n);
  EXPECT_NEAR(hi, amp, 3);
  EXPECT_NEAR(-lo, amp, 3);

  double bin = tone * n / fs;
  ASSERT_NEAR(bin, std::round(bin), 1e-9);  // coherent: a whole number of periods
  double peak = dft_magnitude(x, bin);
  EXPECT_NEAR(peak / (n / 2), amp, amp * 0.01);
  EXPECT_LT(dft_magnitude(x, bin + 7), peak / 1000);
}

TEST_F(CaptureTest, FormatsEncodeTheSameSamples) {
  std::vector<QmWord> t = capture(256, 0, QmTwosComplementFormat);
  std::vector<QmWord> o = capture(256, 0, QmOffsetBinaryFormat);
  std::vector<QmWord> b = capture(256, 0, QmBinaryFormat);
  bool negative = false;
  for (size_t i = 0; i < t.size(); ++i) {
    long v = twos(t[i], 14);
    negative |= v < 0;
    EXPECT_EQ(long(o[i]) - 8192, v) << i;
    long sm = (b[i] & 0x2000) ? -long(b[i] & 0x1FFF) : long(b[i]);
    EXPECT_EQ(sm, v) << i;
  }
  EXPECT_TRUE(negative);
  EXPECT_EQ(capture(256, 0, QmTwosComplementFormat), t);  // deterministic
}

TEST_F(CaptureTest, InterleavedAndDecimatedConfigurations) {
  QmDouble fs0 = 0, fs2 = 0, tone2 = 0, amp = 0;
  ASSERT_EQ(QmGetSamplingFrequency(0, 0, 0, &fs0), 0u);
  ASSERT_EQ(QmGetSamplingFrequency(0, 0, 2, &fs2), 0u);
  EXPECT_DOUBLE_EQ(fs2, fs0 / 4);
  QmDouble f = 5;
  EXPECT_EQ(QmGetSamplingFrequency(0, 0, 3, &f), 2u);
  EXPECT_EQ(f, 0.0);

  // Two channels in quadrature: where A crosses zero, B is near a peak.
  std::vector<QmWord> d = capture(2 * 4096, 1, QmOffsetBinaryFormat);
  ASSERT_EQ(qmsim_tone(0, 1, &tone2, &amp), 0);
  int checked = 0;
  for (size_t i = 2; i + 1 < d.size(); i += 2) {
    long a0 = long(d[i - 2]) - 8192, a1 = long(d[i]) - 8192, b = long(d[i + 1]) - 8192;
    if ((a0 < 0) != (a1 < 0)) {
      EXPECT_GT(std::labs(b), amp * 0.9) << i;
      ++checked;
    }
  }
  EXPECT_GT(checked, 100);
}

TEST_F(CaptureTest, ReadsContinueAndRefuseBadRequests) {
  QmWord buf[600], got = 77;
  EXPECT_EQ(QmBoardReadCaptureData(0, 0, buf, 10, &got), 2u);  // not started
  EXPECT_EQ(got, 0u);
  EXPECT_NE(last_error(0).find("no capture"), std::string::npos);
  EXPECT_EQ(QmBoardWriteCaptureEnd(0, 0), 2u);

  QmCaptureSetup s = setup(512, 0, QmTwosComplementFormat);
  for (QmCaptureSetup bad : {setup(8, 0, QmTwosComplementFormat),
                             setup((1 << 20) + 1, 0, QmTwosComplementFormat),
                             setup(512, 3, QmTwosComplementFormat),
                             setup(512, 0, QmDataFormat(5))}) {
    EXPECT_EQ(QmBoardWriteCaptureStart(0, 0, &bad), 2u);
  }
  EXPECT_EQ(QmBoardWriteCaptureStart(0, 0, nullptr), 2u);
  EXPECT_EQ(QmBoardWriteCaptureStart(0, 1, &s), 2u);
  EXPECT_EQ(QmBoardReadCaptureData(0, 0, buf, 10, &got), 2u);  // failed starts started nothing

  ASSERT_EQ(QmBoardWriteCaptureStart(0, 0, &s), 0u);
  EXPECT_EQ(QmBoardReadCaptureData(0, 0, nullptr, 10, &got), 2u);
  EXPECT_EQ(QmBoardReadCaptureData(0, 0, buf, 513, &got), 2u);
  std::vector<QmWord> whole = capture(512, 0, QmTwosComplementFormat);
  ASSERT_EQ(QmBoardWriteCaptureStart(0, 0, &s), 0u);
  ASSERT_EQ(QmBoardReadCaptureData(0, 0, buf, 300, &got), 0u);
  EXPECT_EQ(got, 300u);
  ASSERT_EQ(QmBoardReadCaptureData(0, 0, buf + 300, 300, &got), 0u);
  EXPECT_EQ(got, 212u);
  EXPECT_EQ(std::vector<QmWord>(buf, buf + 512), whole);
  EXPECT_EQ(QmBoardReadCaptureData(0, 0, buf, 10, &got), 1u);  // exhausted
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(QmBoardReadCaptureData(0, 0, buf, 0, nullptr), 0u);

  qmsim_plug_dut(0, 0);  // unplugging ends the capture
  qmsim_plug_dut(0, 1);
  EXPECT_EQ(QmBoardReadCaptureData(0, 0, buf, 10, &got), 2u);
}

TEST_F(CaptureTest, LimitedCapturesHandOutChunksAndRunDry) {
  std::vector<QmWord> whole = capture(512, 0, QmTwosComplementFormat);
  EXPECT_EQ(qmsim_limit_capture(9, 1, 1), -1);
  ASSERT_EQ(qmsim_limit_capture(0, 100, 312), 0);
  QmCaptureSetup s = setup(512, 0, QmTwosComplementFormat);
  ASSERT_EQ(QmBoardWriteCaptureStart(0, 0, &s), 0u);
  QmWord buf[512], got = 0, at = 0;
  for (QmWord expected : {100u, 100u, 100u, 12u, 0u, 0u}) {
    ASSERT_EQ(QmBoardReadCaptureData(0, 0, buf + at, 512 - at, &got), 0u);  // dry: still success
    EXPECT_EQ(got, expected);
    at += got;
  }
  EXPECT_EQ(std::vector<QmWord>(buf, buf + 312), std::vector<QmWord>(whole.begin(), whole.begin() + 312));
  EXPECT_EQ(QmBoardWriteCaptureEnd(0, 0), 0u);
  qmsim_reset();
  open(0);
  EXPECT_EQ(capture(512, 0, QmTwosComplementFormat), whole);  // reset lifted the limits
}

TEST_F(CaptureTest, NewChannelDataSelectionFiresOnCallersThread) {
  QmSetEventCallback(record_event);
  capture(256, 0, QmTwosComplementFormat);
  EXPECT_TRUE(Recorder::take().empty());
  capture(256, 2, QmTwosComplementFormat);
  capture(256, 2, QmTwosComplementFormat);
  std::vector<Seen> seen = Recorder::take();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].event.id, QM_DLL_EVENT_CHANNEL_DATA_SELECTION_CHANGED);
  EXPECT_EQ(seen[0].event.param.channel_data_selection_changed.board_index, 0u);
  EXPECT_EQ(seen[0].event.param.channel_data_selection_changed.channel_data_index, 2u);
  EXPECT_EQ(seen[0].thread, std::this_thread::get_id());
  EXPECT_EQ(seen[0].open_board0, 1u);
}

TEST_F(CaptureTest, DacDownloadSourceAndLoopBack) {
  std::vector<QmWord> wave(64);
  for (size_t i = 0; i < wave.size(); ++i) wave[i] = QmWord(long(i) * 512 - 16384) & 0xFFFF;
  Qm_Dac_Cmd_Data cmd{};
  cmd.configuration = 0;
  cmd.freq = 100e6;
  cmd.data_format = QmTwosComplementFormat;
  cmd.transfer_size = QmWord(wave.size());
  cmd.num_channels = 1;
  cmd.repeat = 1;
  cmd.data = wave.data();

  EXPECT_EQ(QmDacExecCommand(0, 0, QM_DAC_CMD_START_SOURCING, nullptr), 2u);  // nothing loaded
  EXPECT_EQ(QmDacExecCommand(0, 0, QM_DAC_CMD_DOWNLOAD_DATA, nullptr), 2u);
  Qm_Dac_Cmd_Data bad = cmd;
  bad.transfer_size = (1 << 20) + 1;
  EXPECT_EQ(QmDacExecCommand(0, 0, QM_DAC_CMD_DOWNLOAD_DATA, &bad), 2u);
  bad = cmd;
  bad.data = nullptr;
  EXPECT_EQ(QmDacExecCommand(0, 0, QM_DAC_CMD_DOWNLOAD_DATA, &bad), 2u);
  bad = cmd;
  bad.num_channels = 3;
  EXPECT_EQ(QmDacExecCommand(0, 0, QM_DAC_CMD_DOWNLOAD_DATA, &bad), 2u);
  EXPECT_EQ(qmsim_dac_samples(0, nullptr, 0), 0u);
  EXPECT_EQ(QmDacExecCommand(0, 0, Qm_Dac_Cmd(7), &cmd), 2u);

  ASSERT_EQ(QmDacExecCommand(0, 0, QM_DAC_CMD_DOWNLOAD_DATA, &cmd), 0u);
  std::vector<QmWord> kept(64);
  ASSERT_EQ(qmsim_dac_samples(0, kept.data(), 64), 64u);
  EXPECT_EQ(kept, wave);
  EXPECT_FALSE(qmsim_dac_sourcing(0));
  ASSERT_EQ(QmDacExecCommand(0, 0, QM_DAC_CMD_START_SOURCING, nullptr), 0u);
  EXPECT_TRUE(qmsim_dac_sourcing(0));

  // 16-bit DAC into the 14-bit ADC: the ramp comes back scaled by 4, repeating.
  std::vector<QmWord> d = capture(256, 0, QmTwosComplementFormat);
  for (size_t i = 0; i < d.size(); ++i) {
    long expect = (long(i % 64) * 512 - 16384) / 4;
    EXPECT_NEAR(twos(d[i], 14), expect, 2) << i;
  }
  ASSERT_EQ(QmDacExecCommand(0, 0, QM_DAC_CMD_STOP_SOURCING, nullptr), 0u);
  EXPECT_FALSE(qmsim_dac_sourcing(0));
  EXPECT_NE(capture(256, 0, QmTwosComplementFormat), d);
}

}  // namespace
