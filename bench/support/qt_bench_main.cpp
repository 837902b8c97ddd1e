// The main of every benchmark: like BENCHMARK_MAIN, with a Qt application object for the code
// that needs an event loop or queued calls.
#include <QCoreApplication>

#include <benchmark/benchmark.h>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
