// signal.cpp: the waveform a capture returns. The converter's input is the
// test tone (a whole number of periods in its coherence record) or, while
// the DAC sources, the DAC's waveform; the components tests add join it, a
// little deterministic noise is added, and the transfer characteristic turns
// the sum into codes that clip at the code limits. Pure functions of the
// board's state and the sample's place (and, with fresh noise, of the
// capture's draw): a capture read twice is the same.
#include "sim.h"

#include <algorithm>
#include <cmath>

namespace sim {
namespace {

const double kPi = 3.14159265358979323846;

// Periods of the test tone in kToneRecord samples: odd, so coprime with it.
QmWord base_cycles(QmWord board, QmWord config) { return 401 + 128 * config + 32 * (board % 4); }

QmWord gcd(QmWord a, QmWord b) {
  while (b) {
    QmWord t = a % b;
    a = b;
    b = t;
  }
  return a;
}

double full_scale(QmWord bits) { return std::ldexp(1.0, int(bits) - 1); }

// The peak amplitude `db` dB above `reference` (-inf: silent).
double amplitude_of(double reference, double db) { return reference * std::pow(10.0, db / 20); }

// -peak..peak LSB, a pure function of where the sample is (and of the
// capture's draw, 0 unless every capture draws fresh noise).
int noise(QmWord board, QmWord config, QmWord channel, QmWord n, QmWord draw, QmWord peak) {
  uint32_t h = n * 2654435761u ^ (board * 40503u + config * 9973u + channel * 7919u +
                                  draw * 2246822519u);
  h ^= h >> 15;
  h *= 2246822519u;
  h ^= h >> 13;
  return int(h % (2 * peak + 1)) - int(peak);
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

// The DAC's sample `n` on `channel` in LSB of the ADC: exact, the scale is a
// power of two.
double dac_input(const Dac &d, QmWord channel, QmWord n, QmWord adc_bits) {
  QmWord ch = d.channels ? d.channels : 1;
  QmWord frames = QmWord(d.samples.size()) / ch;
  if (frames == 0 || (!d.repeat && n >= frames)) return 0;
  long v = decode(d.samples[(n % frames) * ch + channel % ch], d.bits, d.format);
  return std::ldexp(double(v), int(adc_bits) - int(d.bits));
}

// amplitude * sin(order * tone phase + omega * n)
struct Wave {
  double amplitude;  // LSB
  double order;      // multiple of the test tone's phase: a harmonic's order, else 0
  double omega;      // a free tone's own phase step, rad per sample
};

// Everything a run of samples needs, worked out once per read.
struct Plan {
  QmWord board, config, channels, bits, noise, draw;
  QmWord record;      // the test tone repeats every `record` samples
  double step, amplitude;
  const Dac *dac;     // looped back in place of the test tone, or null
  Wave waves[kMaxComponents];
  int wave_count;
  const double *edges;  // transition offsets by code, or null: the ideal converter
  long half;            // 2^(bits - 1)
};

Plan plan(QmWord board, const Board &b, QmWord config, QmWord draw) {
  const DutModel &m = model(b.model);
  Plan p{};
  p.board = board;
  p.config = config;
  p.draw = draw;
  p.channels = m.captures[config].num_channels_returned_to_user;
  p.bits = m.bits;
  p.noise = b.imp.noise;
  QmWord cycles;
  tone_cycles(board, b, config, &cycles, &p.record);
  p.step = 2 * kPi * cycles / p.record;
  p.amplitude = tone_amplitude(b);
  p.dac = b.dac.sourcing && !b.dac.samples.empty() ? &b.dac : nullptr;
  double fs = sample_rate(b, config);
  for (const Component &c : b.imp.components) {
    if (c.order && p.dac) continue;  // harmonics follow the test tone, which the DAC replaced
    Wave &w = p.waves[p.wave_count++];
    w.amplitude = amplitude_of(c.order ? p.amplitude : full_scale(m.bits), c.level);
    w.order = c.order;
    w.omega = c.order ? 0 : 2 * kPi * c.hz / fs;
  }
  p.edges = b.imp.edges.empty() ? nullptr : b.imp.edges.data() + kCodeOffset;
  p.half = 1L << (m.bits - 1);
  return p;
}

// Code q holds the inputs from q + lo + e[q] up to (without) q + 1 + lo + e[q + 1]:
// lo is -1/2 for a rounding quantiser, 0 for a truncating one, e the moves of
// the transitions. `d` is where the input lies from q, as ideal quantising put
// it; thresholds never decrease, so one direction is enough.
long requantise(long q, double d, double lo, const double *e, long half) {
  if (q < -half || q >= half) return q;  // clips whatever the transitions say
  while (q > -half && d < lo + e[q]) {
    --q;
    d += 1;
  }
  while (q < half - 1 && d >= lo + 1 + e[q + 1]) {
    ++q;
    d -= 1;
  }
  return q;
}

// Walks the words of a capture from word k on: the channel, the sample and
// its place in the tone's record, without a division per word.
struct Cursor {
  QmWord ch, n, j;
  Cursor(const Plan &p, QmWord k) : ch(k % p.channels), n(k / p.channels), j(n % p.record) {}
  void next(const Plan &p) {
    if (++ch < p.channels) return;
    ch = 0;
    ++n;
    if (++j == p.record) j = 0;
  }
};

// The code of the cursor's sample. Without components, noise other than the
// default and moved transitions it is exactly what the stand-in always
// returned: the rounded tone (or truncated DAC sample) plus the noise.
// Inlined into both loops: a call per sample costs a tenth of a capture.
inline __attribute__((always_inline)) long code(const Plan &p, const Cursor &at) {
  const QmWord ch = at.ch, n = at.n;
  // Through int, which converts without the x87 stall of an unsigned 32-bit
  // word (both are small); the values are the same.
  double theta = p.step * int(at.j) + int(ch) * kPi / 2;
  double x = p.dac ? dac_input(*p.dac, ch, n, p.bits)
                   : p.amplitude * std::sin(theta);
  for (int i = 0; i < p.wave_count; ++i) {
    const Wave &w = p.waves[i];
    x += w.amplitude * std::sin(w.order * theta + w.omega * int(n));
  }
  // The DAC path reaches the ADC truncated (its codes floor to the ADC's).
  long ideal = p.dac ? long(std::floor(x)) : std::lround(x);
  long q = ideal + noise(p.board, p.config, ch, n, p.draw, p.noise);
  if (p.edges) q = requantise(q, x - double(ideal), p.dac ? 0.0 : -0.5, p.edges, p.half);
  return q < -p.half ? -p.half : q >= p.half ? p.half - 1 : q;
}

}  // namespace

double sample_rate(const Board &b, QmWord config) {
  return model(b.model).fs_hz / decimation(config);
}

double tone_amplitude(const Board &b) {
  QmWord bits = model(b.model).bits;
  return b.imp.tone_level_set ? amplitude_of(full_scale(bits), b.imp.tone_level)
                              : 0.9 * std::ldexp(1.0, int(bits) - 1);
}

// The odd cycle count coprime with the record nearest the default tone's
// frequency (its periods in kToneRecord, scaled), below half the record;
// on a tie the lower. The default record gives the default count itself.
void tone_cycles(QmWord board, const Board &b, QmWord config, QmWord *cycles, QmWord *record) {
  QmWord r = b.imp.record;
  double target = double(base_cycles(board, config)) * r / kToneRecord;
  long c = std::lround(target);
  auto fits = [r](long m) { return m >= 1 && 2 * QmWord(m) < r && m % 2 && gcd(QmWord(m), r) == 1; };
  long m = 1;  // fits every record of 8 samples or more
  for (long d = 0; d < c; ++d) {
    long first = target - (c - d) <= (c + d) - target ? c - d : c + d;
    long second = 2 * c - first;
    if (fits(first) || fits(second)) {
      m = fits(first) ? first : second;
      break;
    }
  }
  *cycles = QmWord(m);
  *record = r;
}

void fill(QmWord board, const Board &b, QmWord *out, QmWord count) {
  const Capture &c = b.cap;
  if (c.histogram) {
    std::copy(c.counts.begin() + c.pos, c.counts.begin() + c.pos + count, out);
    return;
  }
  const Plan p = plan(board, b, c.config, c.draw);
  Cursor at(p, c.pos);
  for (QmWord i = 0; i < count; ++i, at.next(p)) out[i] = encode(code(p, at), p.bits, c.format);
}

void count_codes(QmWord board, const Board &b, QmWord config, QmWord draw, QmWord samples,
                 std::vector<QmWord> &counts) {
  const Plan p = plan(board, b, config, draw);
  QmWord bins = QmWord(counts.size());
  Cursor at(p, 0);
  for (QmWord k = 0; k < samples; ++k, at.next(p)) {
    QmWord bin = QmWord(code(p, at) + p.half);
    if (bin < bins) ++counts[bin];
  }
}

}  // namespace sim
