#pragma once

// Runs the built application binary (TANDREL_TEST_BINARY_DIR/bin/tandrel) for tests that drive
// it from outside, with the test's current environment (its TempHome) unless given another.

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace tandrel::test {

inline QString tandrelBinary() {
  return qEnvironmentVariable("TANDREL_TEST_BINARY_DIR") + QStringLiteral("/bin/tandrel");
}

struct BinaryRun {
  bool finished = false;
  int exitCode = -1;
  QByteArray standardOutput;
  QByteArray standardError;
};

// Runs the binary to its end (killing it after `timeoutMs`) with `input` on standard input.
inline BinaryRun runTandrel(const QStringList& arguments, const QByteArray& input = {},
                            const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
                            int timeoutMs = 20000) {
  QProcess process;
  process.setProcessEnvironment(environment);
  process.start(tandrelBinary(), arguments);
  BinaryRun run;
  if (!process.waitForStarted(timeoutMs)) {
    return run;
  }
  process.write(input);
  process.closeWriteChannel();
  run.finished = process.waitForFinished(timeoutMs) && process.exitStatus() == QProcess::NormalExit;
  if (!run.finished) {
    process.kill();
    process.waitForFinished();
  }
  run.exitCode = process.exitCode();
  run.standardOutput = process.readAllStandardOutput();
  run.standardError = process.readAllStandardError();
  return run;
}

}  // namespace tandrel::test
