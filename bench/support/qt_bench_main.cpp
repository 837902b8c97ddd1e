// The main of every benchmark: like BENCHMARK_MAIN, with a Qt application object for the code
// that needs an event loop or queued calls. A benchmark program may define benchmarkProgramMode
// to take over its command line first (it returns an exit status, or -1 to run the benchmarks),
// and benchmarkNeedsGui to get a widget application (offscreen unless QT_QPA_PLATFORM says
// otherwise) for drawing text and views.
#include <QCoreApplication>
#include <QApplication>

#include <benchmark/benchmark.h>

#include <memory>

int benchmarkProgramMode(int argc, char** argv) __attribute__((weak));
bool benchmarkNeedsGui() __attribute__((weak));

int main(int argc, char** argv) {
  std::unique_ptr<QCoreApplication> app;
  if (benchmarkNeedsGui && benchmarkNeedsGui()) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
      qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    app = std::make_unique<QApplication>(argc, argv);
  } else {
    app = std::make_unique<QCoreApplication>(argc, argv);
  }
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
