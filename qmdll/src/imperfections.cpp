// imperfections.cpp: test control of the known imperfections of a board's
// converter (the test tone's level and coherence record, the noise, extra
// sinusoids, moved code transitions). signal.cpp applies them; a board as
// shipped has none.
#include "sim.h"

#include <cmath>

namespace sim {
namespace {

const double kMaxLevel = 20;  // dB: ten times full scale, far into clipping
const QmWord kMinRecord = 8;
const QmWord kMaxNoise = 64;
const QmWord kMaxOrder = 64;

// Any level up to kMaxLevel; -inf silences.
bool level_fits(double db) { return !std::isnan(db) && db <= kMaxLevel; }

bool code_fits(int code) { return code >= -kCodeOffset && code < kCodeOffset; }

// The board a setter works on (world mutex held), or null.
Board *attached(QmWord board) {
  World &w = world();
  return board < w.board_count ? &w.boards[board] : nullptr;
}

// edges[c + kCodeOffset] moves the transition below code c: by the moves set
// for it, and by half of each width error of the codes on either side of it.
bool rebuild_edges(Imperfections &imp) {
  if (imp.widths.empty() && imp.transitions.empty()) {
    std::vector<double>().swap(imp.edges);
    return true;
  }
  std::vector<double> e(kEdgeCount, 0.0);
  for (const auto &t : imp.transitions) e[t.first + kCodeOffset] += t.second;
  for (const auto &w : imp.widths) {
    e[w.first + kCodeOffset] -= w.second / 2;
    e[w.first + kCodeOffset + 1] += w.second / 2;
  }
  for (int i = 0; i + 1 < kEdgeCount; ++i)
    if (1 + e[i + 1] - e[i] < 0) return false;
  imp.edges.swap(e);
  return true;
}

// Sets (or, for 0, removes) the entry of `code` and rebuilds the transitions;
// -1 and nothing changed when a code would get a negative width.
int set_code_entry(QmWord board, std::map<int, double> Imperfections::*entries, int code,
                   double lsb) {
  std::lock_guard<std::mutex> lock(world().m);
  Board *b = attached(board);
  if (!b || !code_fits(code) || !std::isfinite(lsb)) return -1;
  std::map<int, double> &map = b->imp.*entries;
  const std::map<int, double> kept = map;
  if (lsb == 0)
    map.erase(code);
  else
    map[code] = lsb;
  if (rebuild_edges(b->imp)) return 0;
  map = kept;
  return -1;
}

}  // namespace
}  // namespace sim

using namespace sim;

extern "C" {

QM_EXPORT int qmsim_set_tone_level(QmWord board, QmDouble level) {
  std::lock_guard<std::mutex> lock(world().m);
  Board *b = attached(board);
  if (!b || !level_fits(level)) return -1;
  b->imp.tone_level_set = true;
  b->imp.tone_level = level;
  return 0;
}

QM_EXPORT int qmsim_set_tone_record(QmWord board, QmWord samples) {
  std::lock_guard<std::mutex> lock(world().m);
  Board *b = attached(board);
  if (!b || samples < kMinRecord || samples > kMaxRecord) return -1;
  b->imp.record = samples;
  return 0;
}

QM_EXPORT int qmsim_set_noise(QmWord board, QmWord peak) {
  std::lock_guard<std::mutex> lock(world().m);
  Board *b = attached(board);
  if (!b || peak > kMaxNoise) return -1;
  b->imp.noise = peak;
  return 0;
}

QM_EXPORT int qmsim_set_fresh_noise(QmWord board, int on) {
  std::lock_guard<std::mutex> lock(world().m);
  Board *b = attached(board);
  if (!b) return -1;
  b->imp.fresh_noise = on != 0;
  return 0;
}

QM_EXPORT int qmsim_set_harmonic(QmWord board, QmWord order, QmDouble level) {
  std::lock_guard<std::mutex> lock(world().m);
  Board *b = attached(board);
  if (!b || order < 2 || order > kMaxOrder || !level_fits(level)) return -1;
  std::vector<Component> &all = b->imp.components;
  for (Component &c : all) {
    if (c.order == order) {
      c.level = level;
      return 0;
    }
  }
  if (all.size() >= size_t(kMaxComponents)) return -1;
  Component c;
  c.order = order;
  c.level = level;
  all.push_back(c);
  return 0;
}

QM_EXPORT int qmsim_add_tone(QmWord board, QmDouble frequency, QmDouble level) {
  std::lock_guard<std::mutex> lock(world().m);
  Board *b = attached(board);
  if (!b || !(frequency >= 0) || !std::isfinite(frequency) || !level_fits(level) ||
      b->imp.components.size() >= size_t(kMaxComponents))
    return -1;
  Component c;
  c.hz = frequency;
  c.level = level;
  b->imp.components.push_back(c);
  return 0;
}

QM_EXPORT int qmsim_set_code_width(QmWord board, int code, QmDouble error) {
  return set_code_entry(board, &Imperfections::widths, code, error);
}

QM_EXPORT int qmsim_set_transition(QmWord board, int code, QmDouble offset) {
  return set_code_entry(board, &Imperfections::transitions, code, offset);
}

QM_EXPORT int qmsim_clear_imperfections(QmWord board) {
  std::lock_guard<std::mutex> lock(world().m);
  Board *b = attached(board);
  if (!b) return -1;
  b->imp = Imperfections();
  return 0;
}

}  // extern "C"
