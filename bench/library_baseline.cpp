// library_baseline.cpp: nanoseconds per call of library functions called
// directly from C++, so the benchmarks can tell the library's own time from
// the binding's overhead. Not a test.
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "qmdll.h"

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
  return 0;
}
