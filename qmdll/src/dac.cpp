// dac.cpp: downloading a waveform to the DUT's DAC and sourcing it. While it
// sources, captures on the same board see the waveform looped back.
#include "sim.h"

namespace sim {
namespace {

bool known_format(QmDataFormat f) {
  return f == QmBinaryFormat || f == QmOffsetBinaryFormat || f == QmTwosComplementFormat;
}

// Checks a download against the configuration it names; "" when it fits.
std::string download_problem(const DutModel &m, const Qm_Dac_Cmd_Data &d) {
  if (d.configuration >= m.dac_count) return "no DAC configuration " + num(d.configuration);
  const Qm_Dac_Download_Configuration &c = m.dacs[d.configuration];
  if (d.transfer_size < c.min_transfer_size || d.transfer_size > c.max_transfer_size)
    return "DAC transfer size " + num(d.transfer_size) + " outside " + num(c.min_transfer_size) +
           ".." + num(c.max_transfer_size);
  if (d.num_channels < 1 || d.num_channels > c.max_num_channels)
    return "DAC channel count " + num(d.num_channels) + " outside 1.." + num(c.max_num_channels);
  for (QmWord i = 0; i < d.num_channels; ++i)
    if (d.channel[i] >= c.max_num_channels) return "no DAC channel " + num(d.channel[i]);
  if (d.transfer_size % d.num_channels) return "DAC transfer size not a whole number of frames";
  if (!(d.freq >= c.min_freq && d.freq <= c.max_freq)) return "DAC update rate out of range";
  if (!known_format(d.data_format)) return "unknown DAC data format";
  if (!d.data) return "no DAC samples given";
  return "";
}

}  // namespace
}  // namespace sim

using namespace sim;

extern "C" {

QM_EXPORT QmWord QM_CALL QmDacExecCommand(QmWord board, QmWord dut, Qm_Dac_Cmd cmd,
                                         Qm_Dac_Cmd_Data *data) {
  Call call(kQmDacExecCommand, {W(board), W(dut), W(QmWord(cmd)), P(data)});
  World &w = world();
  QmWord st;
  std::lock_guard<std::mutex> lock(w.m);
  Board *b = need(board, dut, kOpen | kPowered | kDutPlugged, &st);
  if (!b) return call.status(st);
  switch (cmd) {
    case QM_DAC_CMD_DOWNLOAD_DATA: {
      if (!data) {
        st = fail(board, "no DAC command data given");
        break;
      }
      const DutModel &m = model(b->model);
      std::string problem = download_problem(m, *data);
      if (!problem.empty()) {
        st = fail(board, problem);
        break;
      }
      Dac &d = b->dac;
      d.samples.assign(data->data, data->data + data->transfer_size);
      d.format = data->data_format;
      d.bits = m.dacs[data->configuration].bit_width;
      d.config = data->configuration;
      d.channels = data->num_channels;
      d.repeat = data->repeat != 0;
      d.freq = data->freq;
      break;
    }
    case QM_DAC_CMD_START_SOURCING:
      if (b->dac.samples.empty())
        st = fail(board, "no DAC waveform downloaded");
      else
        b->dac.sourcing = true;
      break;
    case QM_DAC_CMD_STOP_SOURCING:
      b->dac.sourcing = false;
      break;
    default:
      st = fail(board, "unknown DAC command " + num(QmWord(cmd)));
  }
  return call.status(st);
}

QM_EXPORT int qmsim_dac_sourcing(QmWord board) {
  World &w = world();
  std::lock_guard<std::mutex> lock(w.m);
  return board < w.board_count && w.boards[board].dac.sourcing ? 1 : 0;
}

QM_EXPORT QmWord qmsim_dac_samples(QmWord board, QmWord *out, QmWord max) {
  World &w = world();
  std::lock_guard<std::mutex> lock(w.m);
  if (board >= w.board_count) return 0;
  const std::vector<QmWord> &s = w.boards[board].dac.samples;
  for (QmWord i = 0; out && i < max && i < s.size(); ++i) out[i] = s[i];
  return QmWord(s.size());
}

}  // extern "C"
