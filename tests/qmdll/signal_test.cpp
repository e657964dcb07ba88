// The stand-in's signal: today's output without imperfections, the known
// imperfections its test control sets, long captures and the hardware
// histogram.
#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
#include <vector>

#include "bench.h"

namespace {

const double kPi = 3.14159265358979323846;
const double kFullScale = 8192;  // a full-scale sine of the 14-bit QMADC-1425, LSB
const double kSilent = -std::numeric_limits<double>::infinity();
const double kToneLevel = 20 * std::log10(0.9);  // the default tone, dBFS

class SignalTest : public Bench {
 protected:
  void SetUp() override {
    Bench::SetUp();
    open(0);
  }
  static std::vector<QmWord> words(QmWord board, QmWord size, QmWord config, QmDataFormat format,
                                   QmWord histogram_samples = 0) {
    QmCaptureSetup s = setup(size, config, format);
    s.HistogramEnable = histogram_samples != 0;
    s.HistogramMaxBin = size - 1;
    s.num_acqs_per_strm = histogram_samples;
    EXPECT_EQ(QmBoardWriteCaptureStart(board, 0, &s), 0u) << last_error(board);
    std::vector<QmWord> data(size, 0xDEADBEEF);
    QmWord got = 0;
    EXPECT_EQ(QmBoardReadCaptureData(board, 0, data.data(), size, &got), 0u);
    EXPECT_EQ(got, size);
    EXPECT_EQ(QmBoardWriteCaptureEnd(board, 0), 0u);
    return data;
  }
  // Board 0's samples as signed 14-bit codes.
  static std::vector<long> codes(QmWord size, QmWord config = 0) {
    std::vector<long> x;
    for (QmWord w : words(0, size, config, QmTwosComplementFormat))
      x.push_back((w & 0x2000) ? long(w) - 0x4000 : long(w));
    return x;
  }
  // Board 0's hardware histogram of `samples` samples, bins 0..bins-1.
  static std::vector<QmWord> histogram(QmWord samples, QmWord bins = 16384, QmWord config = 0) {
    return words(0, bins, config, QmTwosComplementFormat, samples);
  }
  // X[bin] = sum x[n] exp(-2j pi bin n / N), the angle reduced exactly.
  static std::complex<double> dft(const std::vector<long> &x, uint64_t bin) {
    std::complex<double> sum = 0;
    const uint64_t n = x.size();
    for (uint64_t i = 0; i < n; ++i)
      sum += double(x[i]) * std::polar(1.0, -2 * kPi * double(bin * i % n) / double(n));
    return sum;
  }
  static double dbfs_at(const std::vector<long> &x, uint64_t bin) {
    return 20 * std::log10(2 * std::abs(dft(x, bin)) / double(x.size()) / kFullScale);
  }
  static double amplitude(double dbfs) { return kFullScale * std::pow(10, dbfs / 20); }
  // A component of `a` LSB reads within this many dB of its level:
  // quantisation error (1/12 LSB^2) and integer noise uniform over
  // -peak..peak (peak(peak+1)/3 LSB^2) are white enough to put an rms
  // sqrt(N var) into every DFT bin, against N a / 2 for the component; five
  // times that rms is exceeded with probability exp(-25).
  static double tolerance_db(double a, size_t n, int peak) {
    double var = 1.0 / 12 + peak * (peak + 1) / 3.0;
    return 20 * std::log10(1 + 5 * std::sqrt(n * var) / (n / 2.0 * a));
  }
  // Inputs of an A-peak sine at evenly spread phases that fall in [lo, hi).
  static double share(double n, double a, double lo, double hi) {
    auto cdf = [a](double v) { return std::asin(std::max(-1.0, std::min(1.0, v / a))) / kPi; };
    return n * (cdf(hi) - cdf(lo));
  }
  static double tone_amplitude() {
    QmDouble f = 0, a = 0;
    EXPECT_EQ(qmsim_tone(0, 0, &f, &a), 0);
    return a;
  }
  static double bin_frequency(double bin) { return 250e6 * bin / 8192; }
  // Downloads 16-bit words to board 0's DAC and starts sourcing them.
  static void source(std::vector<QmWord> &wave, QmWord channels = 1) {
    Qm_Dac_Cmd_Data cmd{};
    cmd.freq = 100e6;
    cmd.data_format = QmTwosComplementFormat;
    cmd.transfer_size = QmWord(wave.size());
    cmd.num_channels = channels;
    cmd.channel[1] = 1;
    cmd.repeat = 1;
    cmd.data = wave.data();
    ASSERT_EQ(QmDacExecCommand(0, 0, QM_DAC_CMD_DOWNLOAD_DATA, &cmd), 0u) << last_error(0);
    ASSERT_EQ(QmDacExecCommand(0, 0, QM_DAC_CMD_START_SOURCING, nullptr), 0u);
  }
  // FNV-1a of captures in every configuration, format and path: the 14-bit
  // DUT's three configurations, board 1's 12-bit DUT, the 16-bit one, and
  // the DAC looped back (odd 16-bit codes on two channels).
  static std::vector<QmWord> checksums() {
    open(1);
    std::vector<QmWord> h;
    auto add = [&h](QmWord board, QmWord size, QmWord config, QmDataFormat format) {
      QmWord sum = 2166136261u;
      for (QmWord v : words(board, size, config, format))
        for (int i = 0; i < 4; ++i) sum = (sum ^ ((v >> (8 * i)) & 0xFF)) * 16777619u;
      h.push_back(sum);
    };
    add(0, 65536, 0, QmTwosComplementFormat);
    add(0, 131072, 1, QmOffsetBinaryFormat);
    add(0, 16384, 2, QmBinaryFormat);
    add(1, 65536, 0, QmTwosComplementFormat);
    EXPECT_EQ(QmSetDut(0, 0, const_cast<char *>("QMADC-1610")), 0u);
    add(0, 65536, 0, QmTwosComplementFormat);
    EXPECT_EQ(QmSetDut(0, 0, const_cast<char *>("QMADC-1425")), 0u);
    std::vector<QmWord> wave(2 * 1000);
    for (size_t i = 0; i < wave.size(); ++i)
      wave[i] = QmWord(std::lround(30000.3 * std::sin(0.0123 * double(i)))) & 0xFFFF;
    source(wave, 2);
    add(0, 65536, 0, QmTwosComplementFormat);
    add(0, 131072, 1, QmOffsetBinaryFormat);
    EXPECT_EQ(QmDacExecCommand(0, 0, QM_DAC_CMD_STOP_SOURCING, nullptr), 0u);
    return h;
  }
  static void spoil() {
    ASSERT_EQ(qmsim_set_tone_level(0, -3), 0);
    ASSERT_EQ(qmsim_set_tone_record(0, 1 << 16), 0);
    ASSERT_EQ(qmsim_set_noise(0, 0), 0);
    ASSERT_EQ(qmsim_set_harmonic(0, 3, -60), 0);
    ASSERT_EQ(qmsim_add_tone(0, 1e6, -60), 0);
    ASSERT_EQ(qmsim_set_code_width(0, 5, -1), 0);
    ASSERT_EQ(qmsim_set_transition(0, 9, 0.25), 0);
  }
};

// Taken before the signal learned imperfections: without any, every capture
// is bit for bit what it was, and clearing or a reset brings it back.
TEST_F(SignalTest, TodaysOutputWithoutImperfectionsAndAfterClearing) {
  const std::vector<QmWord> today = {0x10888D3Cu, 0x723B13BAu, 0xFA1D03F8u, 0xA56BAD86u,
                                     0x305AF9D2u, 0x5053AC97u, 0xF00148FEu};
  EXPECT_EQ(checksums(), today);
  spoil();
  std::vector<QmWord> spoilt = checksums();
  for (size_t i = 0; i < today.size(); ++i) EXPECT_EQ(spoilt[i] == today[i], i == 3) << i;
  EXPECT_EQ(qmsim_clear_imperfections(0), 0);
  EXPECT_EQ(checksums(), today);
  spoil();
  qmsim_reset();
  open(0);
  EXPECT_EQ(checksums(), today);

  // Silent components change nothing either; refusals leave everything.
  std::vector<long> before = codes(4096);
  for (int i = 0; i < 63; ++i) ASSERT_EQ(qmsim_add_tone(0, 1e6 * i, kSilent), 0);
  ASSERT_EQ(qmsim_set_harmonic(0, 2, kSilent), 0);
  EXPECT_EQ(qmsim_add_tone(0, 1e6, -60), -1);     // 64 components at most
  EXPECT_EQ(qmsim_set_harmonic(0, 3, -60), -1);
  EXPECT_EQ(qmsim_set_harmonic(0, 2, kSilent), 0);  // an order set again replaces
  EXPECT_EQ(qmsim_set_tone_level(0, std::nan("")), -1);
  EXPECT_EQ(qmsim_set_tone_level(0, 20.5), -1);
  EXPECT_EQ(qmsim_set_harmonic(0, 1, -60), -1);
  EXPECT_EQ(qmsim_set_tone_record(0, 7), -1);
  EXPECT_EQ(qmsim_set_code_width(0, 32768, 0.5), -1);
  EXPECT_EQ(qmsim_clear_imperfections(2), -1);  // not attached
  EXPECT_EQ(codes(4096), before);
}

TEST_F(SignalTest, HarmonicsLandFoldedAtTheirLevelsInPhaseWithTheTone) {
  ASSERT_EQ(qmsim_set_noise(0, 0), 0);
  ASSERT_EQ(qmsim_set_tone_level(0, -7), 0);
  // H2..H13 at -50..-61 dBc of the tone at bin 401: from H11 (4411 of 8192) on they fold.
  for (QmWord k = 2; k <= 13; ++k) ASSERT_EQ(qmsim_set_harmonic(0, k, -48.0 - k), 0);
  ASSERT_EQ(qmsim_set_harmonic(0, 5, -70), 0);  // replaces -53
  std::vector<long> x = codes(8192);
  double tone = dbfs_at(x, 401);
  EXPECT_NEAR(tone, -7, tolerance_db(amplitude(-7), 8192, 0));
  for (QmWord k = 2; k <= 13; ++k) {
    double dbc = k == 5 ? -70 : -48.0 - k, a = amplitude(-7 + dbc);
    bool folds = k * 401 > 4096;
    uint64_t bin = folds ? 8192 - k * 401 : k * 401;
    EXPECT_NEAR(dbfs_at(x, bin) - tone, dbc, tolerance_db(a, 8192, 0)) << "H" << k;
    // sin(k theta) is at -90 degrees in its bin, at +90 in the mirror it folds to.
    double phase = std::arg(dft(x, bin)) * (folds ? -1 : 1);
    EXPECT_NEAR(phase, -kPi / 2, 5 * std::sqrt(8192 / 12.0) / (4096 * a)) << "H" << k;
  }
  // A harmonic follows the tone's level; silencing the tone silences it.
  ASSERT_EQ(qmsim_set_tone_level(0, -1), 0);
  EXPECT_NEAR(dbfs_at(codes(8192), 802), -51, tolerance_db(amplitude(-51), 8192, 0));
  ASSERT_EQ(qmsim_set_tone_level(0, kSilent), 0);
  EXPECT_EQ(codes(8192), std::vector<long>(8192, 0));
}

TEST_F(SignalTest, FreeTonesMakeTwoToneProductsAndSpursThatStayPut) {
  // Two tones at -7 dBFS, bins 401 and 433; IMD3 (2f1 - f2, 2f2 - f1) at
  // -67 dBFS, IMD2 (f2 - f1, f1 + f2) at -72; the default noise.
  ASSERT_EQ(qmsim_set_tone_level(0, -7), 0);
  const struct {
    uint64_t bin;
    double level;
  } parts[] = {{401, -7}, {433, -7}, {369, -67}, {465, -67}, {32, -72}, {834, -72}};
  for (size_t i = 1; i < 6; ++i)
    ASSERT_EQ(qmsim_add_tone(0, bin_frequency(double(parts[i].bin)), parts[i].level), 0);
  std::vector<long> x = codes(8192);
  for (const auto &p : parts)
    EXPECT_NEAR(dbfs_at(x, p.bin), p.level, tolerance_db(amplitude(p.level), 8192, 2)) << p.bin;

  // A clock spur stays whatever the tone does, also through the DAC
  // loopback; one above fs/2 aliases as a sampled input does.
  ASSERT_EQ(qmsim_clear_imperfections(0), 0);
  ASSERT_EQ(qmsim_add_tone(0, bin_frequency(1000), -50), 0);
  ASSERT_EQ(qmsim_add_tone(0, bin_frequency(8192 - 1500), -55), 0);
  const double tol = tolerance_db(amplitude(-55), 8192, 2);
  std::vector<QmWord> zeros(64, 0);
  for (int pass = 0; pass < 3; ++pass) {
    if (pass == 1) {
      ASSERT_EQ(qmsim_set_tone_level(0, kSilent), 0);
    } else if (pass == 2) {
      source(zeros);
    }
    x = codes(8192);
    EXPECT_NEAR(dbfs_at(x, 1000), -50, tol) << pass;
    EXPECT_NEAR(dbfs_at(x, 1500), -55, tol) << pass;
    double tone = dbfs_at(x, 401);
    if (pass == 0) {
      EXPECT_NEAR(tone, kToneLevel, tolerance_db(amplitude(kToneLevel), 8192, 2));
    } else {
      EXPECT_LT(tone, -90) << pass;
    }
  }
}

TEST_F(SignalTest, LongCapturesAndACoherenceRecordThatMeetsEveryPhase) {
  QmDUTInfo info{};
  ASSERT_EQ(QmBoardReadDUTInfo(0, 0, &info, nullptr), 0u);
  EXPECT_EQ(info.capture_configs[0].TransferMaxSize, 1u << 20);
  EXPECT_EQ(info.capture_configs[1].TransferMaxSize, 1u << 21);
  EXPECT_EQ(info.dac_configs[0].max_transfer_size, 1u << 20);
  EXPECT_EQ(codes(1 << 21, 1).size(), 1u << 21);

  // The tone's periods in a record: the odd number coprime with it nearest
  // 401 scaled to the record, the lower on a tie.
  QmWord m = 0, r = 0;
  ASSERT_EQ(qmsim_set_tone_record(0, 3 * 8192), 0);
  ASSERT_EQ(qmsim_tone_cycles(0, 0, &m, &r), 0);
  EXPECT_EQ(m, 1201u);  // 3 * 401 shares 3 with the record; 1201 and 1205 tie
  ASSERT_EQ(qmsim_set_tone_record(0, 1 << 20), 0);
  ASSERT_EQ(qmsim_tone_cycles(0, 0, &m, &r), 0);
  EXPECT_EQ(r, 1u << 20);
  EXPECT_EQ(m, 51327u);  // 401 * 128 is even: its odd neighbours tie
  QmDouble f = 0, a = 0;
  ASSERT_EQ(qmsim_tone(0, 0, &f, &a), 0);
  EXPECT_DOUBLE_EQ(f, 250e6 * m / r);
  EXPECT_EQ(qmsim_tone_cycles(0, 3, &m, &r), -1);

  // Without noise the ideal converter then hits each code as often as the
  // sine's density says, within 2: the 2^20 phases are evenly spread, and a
  // code's inputs are two arcs of the circle, each within 1 of its share.
  ASSERT_EQ(qmsim_set_noise(0, 0), 0);
  std::vector<long> x = codes(1 << 20);
  std::vector<QmWord> counts(16384, 0);
  for (long v : x) ++counts[v + 8192];
  int off = 0;
  for (long c = -8192; c < 8192; ++c)
    off += std::fabs(counts[c + 8192] - share(1 << 20, a, c - 0.5, c + 0.5)) >= 2;
  EXPECT_EQ(off, 0);
  EXPECT_NEAR(dbfs_at(x, 51327), kToneLevel, tolerance_db(a, 1 << 20, 0));  // coherent
}

TEST_F(SignalTest, CodeWidthsAndTransitionsMoveTheCodeDensity) {
  // Histograms of 2^22 samples, every phase once, without noise: each code
  // within 2 of its share (see above).
  const QmWord n = 1 << 22;
  ASSERT_EQ(qmsim_set_noise(0, 0), 0);
  ASSERT_EQ(qmsim_set_tone_record(0, n), 0);
  ASSERT_EQ(qmsim_set_code_width(0, 1000, 0.5), 0);
  ASSERT_EQ(qmsim_set_code_width(0, -2000, -1), 0);
  ASSERT_EQ(qmsim_set_transition(0, 3000, 0.3), 0);
  ASSERT_EQ(qmsim_set_transition(0, -4000, -0.2), 0);
  std::vector<QmWord> h = histogram(n);
  const double a = tone_amplitude();
  const struct {
    long code;
    double lo, hi;  // its transitions
  } expect[] = {{999, 998.5, 999.25},     {1000, 999.25, 1000.75},   {1001, 1000.75, 1001.5},
                {-2001, -2001.5, -2000},  {-2000, -2000, -2000},     {-1999, -2000, -1998.5},
                {2999, 2998.5, 2999.8},   {3000, 2999.8, 3000.5},    {-4001, -4001.5, -4000.7},
                {-4000, -4000.7, -3999.5}, {0, -0.5, 0.5}};
  for (const auto &e : expect)
    EXPECT_NEAR(double(h[e.code + 8192]), share(n, a, e.lo, e.hi), 2) << e.code;
  EXPECT_EQ(h[-2000 + 8192], 0u);

  // Settings that would leave a code a negative width are refused and change nothing.
  EXPECT_EQ(qmsim_set_code_width(0, 1000, 2.5), -1);    // 999 would be -0.25 wide
  EXPECT_EQ(qmsim_set_code_width(0, -1999, -0.5), 0);   // 1.5 wide: may lose half
  EXPECT_EQ(qmsim_set_code_width(0, -1999, -1.6), -1);  // but not 1.6
  EXPECT_EQ(qmsim_set_transition(0, 1001, -1.6), -1);   // below 1000's lower transition
  EXPECT_EQ(qmsim_set_code_width(0, 0, std::nan("")), -1);
  EXPECT_EQ(qmsim_set_code_width(0, -1999, 0), 0);      // removed
  EXPECT_EQ(histogram(n), h);
}

TEST_F(SignalTest, OverdriveClipsAtTheCodeLimits) {
  // +1 dBFS without noise over 2^20 phases: the top code takes every input
  // from 8190.5 up, the bottom one every input up to -8191.5 (one arc each,
  // within 1 of its share); nothing lies beyond.
  const QmWord n = 1 << 20;
  ASSERT_EQ(qmsim_set_noise(0, 0), 0);
  ASSERT_EQ(qmsim_set_tone_record(0, n), 0);
  ASSERT_EQ(qmsim_set_tone_level(0, 1), 0);
  const double a = tone_amplitude();
  EXPECT_NEAR(a, amplitude(1), 1e-9);
  std::vector<QmWord> h = histogram(n);
  EXPECT_NEAR(double(h[16383]), share(n, a, 8190.5, a), 1);
  EXPECT_NEAR(double(h[0]), share(n, a, -a, -8191.5), 1);
  EXPECT_GT(h[0], 20000u);  // far more than any code inside
  QmWord sum = 0;
  for (QmWord c : h) sum += c;
  EXPECT_EQ(sum, n);
}

TEST_F(SignalTest, TheDacPathTruncatesThroughTheSameTransitions) {
  // A ramp through every 16-bit code: each 14-bit code takes 4 DAC codes
  // (inputs c, c + 1/4, c + 1/2, c + 3/4). Code 100 missing hands [100, 100.5)
  // down and [100.5, 101) up; code 200 half an LSB wider takes 199.75 up to
  // 201.25, leaving 3 to each neighbour.
  std::vector<QmWord> ramp(65536);
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = QmWord(i);
  source(ramp);
  ASSERT_EQ(qmsim_set_noise(0, 0), 0);
  ASSERT_EQ(qmsim_set_code_width(0, 100, -1), 0);
  ASSERT_EQ(qmsim_set_code_width(0, 200, 0.5), 0);
  ASSERT_EQ(qmsim_set_harmonic(0, 2, 0), 0);  // the DAC replaced the tone: no harmonic
  ASSERT_EQ(qmsim_set_tone_level(0, 0), 0);   // nor its level
  std::vector<QmWord> expect(16384, 4);
  expect[100 + 8192] = 0;
  expect[99 + 8192] = expect[101 + 8192] = expect[200 + 8192] = 6;
  expect[199 + 8192] = expect[201 + 8192] = 3;
  EXPECT_EQ(histogram(65536), expect);
}

// Fresh noise: every capture draws its own, uncorrelated with the last
// one's, within the same -2..2 LSB; off again (or cleared), the captures are
// today's once more.
TEST_F(SignalTest, FreshNoiseIsDrawnAnewByEveryCapture) {
  const QmWord n = 8192;
  const std::vector<long> today = codes(n);
  EXPECT_EQ(codes(n), today);
  const double a = tone_amplitude();
  auto noise_of = [a](const std::vector<long> &x) {
    std::vector<long> e;
    for (size_t i = 0; i < x.size(); ++i)
      e.push_back(x[i] - std::lround(a * std::sin(2 * kPi * 401 * double(i) / 8192)));
    return e;
  };
  ASSERT_EQ(qmsim_set_fresh_noise(0, 1), 0);
  std::vector<long> first = noise_of(codes(n)), second = noise_of(codes(n));
  double cross = 0, power = 0;
  for (size_t i = 0; i < n; ++i) {
    ASSERT_LE(std::abs(first[i]), 2);
    ASSERT_LE(std::abs(second[i]), 2);
    cross += double(first[i] * second[i]);
    power += double(first[i] * first[i]);
  }
  // Independent draws of variance 2: the correlation's standard deviation
  // is 1 / sqrt(n) = 0.011; 0.06 is over five of them. Each draw keeps the
  // variance (within 0.1: its mean's deviation is 0.02).
  EXPECT_LT(std::abs(cross / power), 0.06);
  EXPECT_NEAR(power / n, 2.0, 0.1);
  ASSERT_EQ(qmsim_set_fresh_noise(0, 0), 0);
  EXPECT_EQ(codes(n), today);
  ASSERT_EQ(qmsim_set_fresh_noise(0, 1), 0);
  ASSERT_EQ(qmsim_clear_imperfections(0), 0);
  EXPECT_EQ(codes(n), today);
  EXPECT_EQ(qmsim_set_fresh_noise(2, 1), -1);  // not attached
}

TEST_F(SignalTest, HistogramCountsTheSamplesACaptureReturns) {
  QmDUTInfo info{};
  ASSERT_EQ(QmBoardReadDUTInfo(0, 0, &info, nullptr), 0u);
  EXPECT_EQ(info.HistogramInfo, 16384u);
  ASSERT_EQ(qmsim_set_harmonic(0, 3, -30), 0);
  ASSERT_EQ(qmsim_set_code_width(0, 17, -1), 0);  // missing, even through the noise
  ASSERT_EQ(qmsim_set_tone_level(0, 0.5), 0);     // clips
  for (QmWord config : {0u, 1u}) {
    const QmWord n = config ? 1 << 19 : 1 << 20;
    std::vector<long> x = codes(n, config);
    std::vector<QmWord> mine(16384, 0);
    for (long v : x) ++mine[v + 8192];
    EXPECT_EQ(mine[17 + 8192], 0u);
    // Its neighbours take its share: three codes' worth near mid-scale, of
    // n / (pi A) each.
    EXPECT_GT(mine[16 + 8192] + mine[18 + 8192], 2 * n / (kPi * amplitude(0.5)));
    EXPECT_EQ(histogram(n, 16384, config), mine) << config;
    // Fewer bins return just those; fewer samples, fewer counts.
    EXPECT_EQ(histogram(n, 8192, config), std::vector<QmWord>(mine.begin(), mine.begin() + 8192));
    std::vector<QmWord> few(16384, 0);
    for (size_t i = 0; i < 1000; ++i) ++few[x[i] + 8192];
    EXPECT_EQ(histogram(1000, 16384, config), few);
  }
}

TEST_F(SignalTest, HistogramReadsAndSetupsTheDutCannotServe) {
  auto start = [](QmWord board, QmWord size, QmWord max_bin, QmWord samples) {
    QmCaptureSetup s = setup(size, 0, QmOffsetBinaryFormat);
    s.HistogramEnable = 1;
    s.HistogramMaxBin = max_bin;
    s.num_acqs_per_strm = samples;
    return QmBoardWriteCaptureStart(board, 0, &s);
  };
  // Reads of the counts continue and run out as a capture's do; the next
  // plain capture returns samples again.
  ASSERT_EQ(start(0, 16384, 16383, 5000), 0u);
  std::vector<QmWord> counts(16384);
  QmWord got = 0, sum = 0;
  ASSERT_EQ(QmBoardReadCaptureData(0, 0, counts.data(), 10000, &got), 0u);
  ASSERT_EQ(QmBoardReadCaptureData(0, 0, counts.data() + 10000, 10000, &got), 0u);
  EXPECT_EQ(got, 6384u);
  EXPECT_EQ(QmBoardReadCaptureData(0, 0, counts.data(), 1, &got), 1u);
  for (QmWord c : counts) sum += c;
  EXPECT_EQ(sum, 5000u);
  ASSERT_EQ(QmBoardWriteCaptureEnd(0, 0), 0u);
  std::vector<long> plain = codes(64);
  EXPECT_NE(plain[1], plain[2]);  // samples of a tone, not counts of codes

  EXPECT_EQ(start(0, 16385, 16384, 100), 2u);
  EXPECT_EQ(last_error(0), "histogram bin 16384 beyond the last bin 16383");
  EXPECT_EQ(start(0, 16383, 16383, 100), 2u);
  EXPECT_EQ(last_error(0), "histogram transfer size 16383 is not HistogramMaxBin + 1 = 16384");
  EXPECT_EQ(start(0, 16384, 16383, 0), 2u);
  EXPECT_EQ(last_error(0), "histogram of 0 samples outside 1..16777216");
  EXPECT_EQ(start(0, 16384, 16383, (1 << 24) + 1), 2u);
  EXPECT_EQ(start(0, 1, 0, 1), 0u);  // one bin, below any transfer minimum
  open(1);
  QmDUTInfo info{};
  ASSERT_EQ(QmBoardReadDUTInfo(1, 0, &info, nullptr), 0u);
  EXPECT_EQ(info.HistogramInfo, 0u);
  EXPECT_EQ(start(1, 4096, 4095, 100), 2u);
  EXPECT_EQ(last_error(1), "QMADC-1206FMC has no histogram");
}

}  // namespace
