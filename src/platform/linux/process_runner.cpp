// Child processes through QProcess, each in a new session so that a time-out kills the whole group.

#include "platform/process_runner.h"

#include <QDeadlineTimer>
#include <QProcess>

#include <csignal>
#include <unistd.h>

namespace tandrel {

namespace {

// What a child does between fork and exec: leave our session and process group.
void enterOwnSession() { ::setsid(); }

void configure(QProcess& process, const QString& program, const QStringList& arguments, const QString& workingDirectory) {
  process.setProgram(program);
  process.setArguments(arguments);
  if (!workingDirectory.isEmpty()) {
    process.setWorkingDirectory(workingDirectory);
  }
  process.setStandardInputFile(QProcess::nullDevice());
}

}  // namespace

ChildProcessOutcome runChildProcess(const QString& program, const QStringList& arguments,
                                    const QString& workingDirectory, std::chrono::milliseconds timeout) {
  ChildProcessOutcome outcome;
  QProcess process;
  configure(process, program, arguments, workingDirectory);
  process.setChildProcessModifier(enterOwnSession);

  const QDeadlineTimer deadline(timeout);
  process.start();
  if (!process.waitForStarted(static_cast<int>(deadline.remainingTime()))) {
    outcome.error = process.errorString();
    return outcome;
  }
  outcome.started = true;
  const qint64 pid = process.processId();
  if (!process.waitForFinished(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0)))) {
    if (process.state() != QProcess::NotRunning) {
      // The child's session id is its pid, and so is its process group's.
      ::kill(static_cast<pid_t>(-pid), SIGKILL);
      process.waitForFinished(1000);
      outcome.timedOut = true;
      outcome.error = QStringLiteral("timed out");
    }
  }
  outcome.standardOutput = process.readAllStandardOutput();
  outcome.standardError = process.readAllStandardError();
  if (outcome.timedOut) {
    return outcome;
  }
  if (process.exitStatus() == QProcess::CrashExit) {
    outcome.error = QStringLiteral("crashed");
    return outcome;
  }
  outcome.exitCode = process.exitCode();
  return outcome;
}

Result<void> startDetachedChildProcess(const QString& program, const QStringList& arguments,
                                       const QString& workingDirectory) {
  QProcess process;
  configure(process, program, arguments, workingDirectory);
  process.setStandardOutputFile(QProcess::nullDevice());
  process.setStandardErrorFile(QProcess::nullDevice());
  // startDetached forks twice and starts the program in a session of its own; it reports whether
  // the program could be executed.
  if (!process.startDetached()) {
    return Result<void>::failure(process.errorString());
  }
  return Result<void>::success();
}

}  // namespace tandrel
