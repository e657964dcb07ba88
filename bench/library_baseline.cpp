// library_baseline.cpp: nanoseconds per call of library functions called
// directly from C++, so the benchmarks can tell the library's own time from
// the binding's overhead. Not a test.
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include <vector>

#include "qmsim.h"

namespace {

template <class Call>
double ns_per_call(Call call, int number) {
  double best = 1e30;
  for (int round = 0; round < 9; ++round) {
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < number; ++i) call();
    std::chrono::duration<double, std::nano> spent = std::chrono::steady_clock::now() - start;
    if (spent.count() / number < best) best = spent.count() / number;
  }
  return best;
}

}  // namespace

int main(int argc, char **argv) {
  int number = argc > 1 ? std::atoi(argv[1]) : 100000;
  QmWord handle = 0;
  QmVersionNumber version{};
  QmBoardOpen(0, nullptr, &handle, &version);
  QmWord count = 0;
  QmString *names = nullptr;
  const QmWord address = QM5_FPGA_REGISTER_ADDR_BASE + 0x10;
  std::printf("%-34s %12s\n", "library alone", "ns");
  std::printf("%-34s %12.0f\n", "QmDebugModuleModifyAll(1)",
              ns_per_call([] { QmDebugModuleModifyAll(1); }, number));
  std::printf("%-34s %12.0f\n", "QmBoardReset(0)", ns_per_call([] { QmBoardReset(0); }, number / 10));
  std::printf("%-34s %12.0f\n", "QmNewestHardwareWrite (9 args)", ns_per_call([&] {
                QmNewestHardwareWrite(0, 0, QM_DEBUG_ACCESS_PORT_FPGA_REGISTER, address, 0, 4, 1, 0, 5);
              }, number));
  std::printf("%-34s %12.0f\n", "QmBoardEnum()",
              ns_per_call([&] { QmBoardEnum(&count, &names, &version); }, number));
  // Long captures: the stand-in's own time per sample, plain and with
  // imperfections (two harmonics, a second tone, a missing code), and a
  // hardware histogram over a coherence record of 2^24 samples.
  const QmWord words = 1 << 20;
  std::vector<QmWord> buffer(16384 > words ? 16384 : words);
  auto capture = [&](QmWord size, bool histogram) {
    QmCaptureSetup setup{};
    setup.TransferSize = histogram ? 16384 : size;
    setup.DataFormat = QmTwosComplementFormat;
    setup.HistogramEnable = histogram;
    setup.HistogramMaxBin = 16383;
    setup.num_acqs_per_strm = size;
    QmWord got = 0;
    QmBoardWriteCaptureStart(0, 0, &setup);
    QmBoardReadCaptureData(0, 0, buffer.data(), setup.TransferSize, &got);
    QmBoardWriteCaptureEnd(0, 0);
  };
  std::printf("%-34s %12s\n", "stand-in signal", "ns/sample");
  std::printf("%-34s %12.1f\n", "capture of 2^20, as shipped",
              ns_per_call([&] { capture(words, false); }, 1) / words);
  qmsim_set_harmonic(0, 2, -70);
  qmsim_set_harmonic(0, 3, -75);
  qmsim_add_tone(0, 13e6, -7);
  qmsim_set_code_width(0, 100, -1);
  std::printf("%-34s %12.1f\n", "capture of 2^20, 3 components + code",
              ns_per_call([&] { capture(words, false); }, 1) / words);
  qmsim_clear_imperfections(0);
  qmsim_set_tone_record(0, 1 << 24);
  qmsim_set_code_width(0, 100, -1);
  std::printf("%-34s %12.1f\n", "histogram of 2^24, record 2^24",
              ns_per_call([&] { capture(1 << 24, true); }, 1) / (1 << 24));
  return 0;
}
