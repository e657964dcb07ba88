// duts.cpp: the DUT models the bench knows, and the calls that describe and
// select a board's DUT.
#include "sim.h"

#include <cstring>

namespace sim {

namespace {

struct ConfigShape {
  const char *name;
  QmWord channels, min_size, max_size, decimation;
  QmDataFormat format;
  bool rate_changes;
};

// The same three capture configurations on every model: one channel, two
// interleaved channels, and one channel decimated (its rate differs from the
// converter clock). 2^20 samples a channel: long enough for a code-density
// test from samples.
const ConfigShape kShapes[] = {
    {"Channel A", 1, 64, 1u << 20, 1, QmTwosComplementFormat, false},
    {"Channels A+B interleaved", 2, 128, 1u << 21, 1, QmOffsetBinaryFormat, false},
    {"Channel A decimated by 4", 1, 64, 1u << 18, 4, QmTwosComplementFormat, true},
};
const QmWord kShapeCount = sizeof kShapes / sizeof kShapes[0];

struct Models {
  DutModel m[3];
  QmChannelData captures[3][kShapeCount];
  Qm_Dac_Download_Configuration dacs[3][1];
};

Models *build() {
  Models *all = new Models();  // library memory for good: callers keep pointers
  const struct {
    const char *name, *details, *revision;
    QmWord type, bits;
    double fs;
    bool fmc, histogram;
  } base[3] = {
      {"QMADC-1425", "QMADC-1425: 14-bit 250 MSPS dual ADC, standard DUT EEPROM", "Rev C",
       0x1425, 14, 250e6, false, true},
      {"QMADC-1610", "QMADC-1610: 16-bit 100 MSPS dual ADC, standard DUT EEPROM", "Rev B",
       0x1610, 16, 100e6, false, false},
      {"QMADC-1206FMC", "QMADC-1206FMC: 12-bit 600 MSPS dual ADC on FMC, FMC DUT EEPROM",
       "Rev A", 0x1206, 12, 600e6, true, false},
  };
  for (int i = 0; i < 3; ++i) {
    for (QmWord c = 0; c < kShapeCount; ++c) {
      QmChannelData &d = all->captures[i][c];
      d.Name = const_cast<char *>(kShapes[c].name);
      d.TransferMinSize = kShapes[c].min_size;
      d.TransferMaxSize = kShapes[c].max_size;
      d.num_channels_returned_to_user = kShapes[c].channels;
      d.default_data_format = kShapes[c].format;
      d.BitSize = base[i].bits;
      d.sampling_freq_changes = kShapes[c].rate_changes ? 1 : 0;
    }
    Qm_Dac_Download_Configuration &dac = all->dacs[i][0];
    dac.name = const_cast<char *>("DAC 16-bit");
    dac.bit_width = 16;
    dac.min_freq = 1e6;
    dac.max_freq = 500e6;
    dac.min_transfer_size = 16;
    dac.max_transfer_size = 1u << 20;  // a coherent record as long as a capture
    dac.max_num_channels = 2;
    DutModel &m = all->m[i];
    m.name = base[i].name;
    m.details = base[i].details;
    m.type = base[i].type;
    m.bits = base[i].bits;
    m.fs_hz = base[i].fs;
    m.revision = base[i].revision;
    m.fmc = base[i].fmc;
    // Only the QMADC-1425 counts codes in hardware: one bin per code.
    m.histogram_bins = base[i].histogram ? 1u << base[i].bits : 0;
    m.script = QmVersionNumber{2, 4, 1, base[i].type};
    m.captures = all->captures[i];
    m.capture_count = kShapeCount;
    m.dacs = all->dacs[i];
    m.dac_count = 1;
  }
  return all;
}

Models &models() {
  static Models *all = build();
  return *all;
}

const QmVersionNumber kEngineVersion = {1, 9, 0, 77};

}  // namespace

const DutModel &model(int index) { return models().m[index]; }
int model_count() { return 3; }
QmWord decimation(QmWord config) { return config < kShapeCount ? kShapes[config].decimation : 1; }

int model_find(const char *name) {
  if (!name) return -1;
  for (int i = 0; i < model_count(); ++i)
    if (std::strcmp(model(i).name, name) == 0) return i;
  return -1;
}

const char *supported_duts_text() { return "QMADC-1425;QMADC-1610;QMADC-1206FMC"; }

const char *supported_duts_details() {
  return "QMADC-1425: 14-bit 250 MSPS dual ADC, standard DUT EEPROM\n"
         "QMADC-1610: 16-bit 100 MSPS dual ADC, standard DUT EEPROM\n"
         "QMADC-1206FMC: 12-bit 600 MSPS dual ADC on FMC, FMC DUT EEPROM";
}

}  // namespace sim

using namespace sim;

static QmString *empty_list() {
  static QmString none[1] = {nullptr};
  return none;
}

extern "C" {

QM_EXPORT QmWord QM_CALL QmBoardDUTEnum(QmWord board, QmWord *count, QmString **names) {
  Call call(kQmBoardDUTEnum, {W(board), P(count), P(names)});
  World &w = world();
  QmWord st;
  QmWord n = 0;
  QmString *list = empty_list();
  {
    std::lock_guard<std::mutex> lock(w.m);
    if (Board *b = need(board, 0, kOpen, &st)) {
      if (b->dut_plugged) {
        static QmString lists[3][1] = {{const_cast<char *>(model(0).name)},
                                       {const_cast<char *>(model(1).name)},
                                       {const_cast<char *>(model(2).name)}};
        n = 1;
        list = lists[b->model];
      }
    }
  }
  put_names(call, count, names, n, list);
  return call.status(st);
}

QM_EXPORT QmWord QM_CALL QmBoardReadDUTInfo(QmWord board, QmWord dut, QmDUTInfo *info,
                                           QmVersionNumber *version) {
  Call call(kQmBoardReadDUTInfo, {W(board), W(dut), P(info), P(version)});
  World &w = world();
  QmWord st;
  QmDUTInfo out;
  std::memset(&out, 0, sizeof out);
  QmVersionNumber v{};
  {
    std::lock_guard<std::mutex> lock(w.m);
    if (Board *b = need(board, dut, kOpen | kPowered | kDutPlugged, &st)) {
      const DutModel &m = model(b->model);
      out.Type = m.type;
      out.HistogramInfo = m.histogram_bins;
      out.capture_config_count = m.capture_count;
      out.capture_configs = m.captures;
      out.Revision = const_cast<char *>(m.revision);
      out.dac_config_count = m.dac_count;
      out.dac_configs = m.dacs;
      v = QmVersionNumber{1, 2, 0, m.type};
    }
  }
  if (call.null_text()) out.Revision = nullptr;
  put(info, out);
  put(version, v);
  return call.status(st);
}

QM_EXPORT QmWord QM_CALL QmGetSupportedDuts(QmWord board, QmString *duts, QmString *details) {
  Call call(kQmGetSupportedDuts, {W(board), P(duts), P(details)});
  World &w = world();
  QmWord st;
  const char *names = "", *text = "";
  {
    std::lock_guard<std::mutex> lock(w.m);
    if (need(board, 0, kOpen, &st)) {
      names = supported_duts_text();
      text = supported_duts_details();
    }
  }
  if (call.null_text()) names = text = nullptr;
  put(duts, const_cast<QmString>(names));
  put(details, const_cast<QmString>(text));
  return call.status(st);
}

QM_EXPORT QmWord QM_CALL QmSetDut(QmWord board, QmWord dut, QmString name) {
  Call call(kQmSetDut, {W(board), W(dut), T(name)});
  World &w = world();
  QmWord st;
  std::lock_guard<std::mutex> lock(w.m);
  if (Board *b = need(board, dut, kOpen | kDut, &st)) {
    int m = model_find(name);
    if (m < 0) {
      st = fail(board, std::string("unknown DUT '") + (name ? name : "(null)") + "'");
    } else if (m != b->model) {
      // A different converter: its capture setup and SPI map start afresh.
      b->cap = Capture();
      b->model = m;
      b->spi[1] = model(m).type & 0xFF;
      b->spi[2] = model(m).bits;
    }
  }
  return call.status(st);
}

QM_EXPORT QmWord QM_CALL QmGetDutEepromType(QmWord board, QmWord dut, Qm_Dut_Eeprom_Type *type) {
  Call call(kQmGetDutEepromType, {W(board), W(dut), P(type)});
  World &w = world();
  QmWord st;
  Qm_Dut_Eeprom_Type t = QM_DUT_EEPROM_STANDARD;
  {
    std::lock_guard<std::mutex> lock(w.m);
    if (Board *b = need(board, dut, kOpen | kDutPlugged, &st))
      t = model(b->model).fmc ? QM_DUT_EEPROM_FMC : QM_DUT_EEPROM_STANDARD;
  }
  put(type, t);
  return call.status(st);
}

QM_EXPORT QmWord QM_CALL QmGetScriptVerions(QmWord board, QmWord dut, QmVersionNumber *script,
                                           QmVersionNumber *engine) {
  Call call(kQmGetScriptVerions, {W(board), W(dut), P(script), P(engine)});
  World &w = world();
  QmWord st;
  QmVersionNumber s{}, e{};
  {
    std::lock_guard<std::mutex> lock(w.m);
    if (Board *b = need(board, dut, kOpen | kDutPlugged, &st)) {
      s = model(b->model).script;
      e = kEngineVersion;
    }
  }
  put(script, s);
  put(engine, e);
  return call.status(st);
}

}  // extern "C"
