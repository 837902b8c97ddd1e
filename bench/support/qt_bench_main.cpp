// The main of every benchmark: like BENCHMARK_MAIN, with a Qt application object for the code
// that needs an event loop or queued calls. A benchmark program may define benchmarkProgramMode
// to take over its command line first (it returns an exit status, or -1 to run the benchmarks).
#include <QCoreApplication>

#include <benchmark/benchmark.h>

int benchmarkProgramMode(int argc, char** argv) __attribute__((weak));

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (benchmarkProgramMode) {
    const int status = benchmarkProgramMode(argc, argv);
    if (status >= 0) {
      return status;
    }
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
