// Child processes through QProcess, each in a new session so that a time-out kills the whole group.

#include "platform/process_runner.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

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

Result<void> startChildProcessWatchingEarlyExit(const QString& program, const QStringList& arguments,
                                                const QString& workingDirectory, std::chrono::milliseconds window) {
  const QString path = program.contains(QLatin1Char('/')) ? program : QStandardPaths::findExecutable(program);
  if (path.isEmpty()) {
    return Result<void>::failure(program + QStringLiteral(" is not installed"));
  }
  // Everything the child needs is prepared before fork: after it, only async-signal-safe calls.
  std::vector<std::string> words{QFile::encodeName(path).toStdString()};
  for (const QString& argument : arguments) {
    words.push_back(argument.toStdString());
  }
  std::vector<char*> argv;
  for (std::string& word : words) {
    argv.push_back(word.data());
  }
  argv.push_back(nullptr);
  const std::string folder = QFile::encodeName(workingDirectory).toStdString();

  // The child writes its errno here when exec fails; a successful exec closes the pipe unwritten.
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) {
    return Result<void>::failure(QStringLiteral("pipe: ") + QString::fromLocal8Bit(std::strerror(errno)));
  }
  const pid_t pid = ::fork();
  if (pid < 0) {
    const int error = errno;
    ::close(report[0]);
    ::close(report[1]);
    return Result<void>::failure(QStringLiteral("fork: ") + QString::fromLocal8Bit(std::strerror(error)));
  }
  if (pid == 0) {
    ::close(report[0]);
    ::setsid();
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
      ::dup2(null, STDIN_FILENO);
      ::dup2(null, STDOUT_FILENO);
      ::dup2(null, STDERR_FILENO);
    }
    if (folder.empty() || ::chdir(folder.c_str()) == 0) {
      ::execv(argv[0], argv.data());
    }
    const int error = errno;
    (void)!::write(report[1], &error, sizeof error);
    ::_exit(127);
  }
  ::close(report[1]);
  int execError = 0;
  ssize_t got = 0;
  do {
    got = ::read(report[0], &execError, sizeof execError);
  } while (got < 0 && errno == EINTR);
  ::close(report[0]);

  const QDeadlineTimer deadline(window);
  int status = 0;
  pid_t ended = 0;
  for (;;) {
    ended = ::waitpid(pid, &status, WNOHANG);
    if (ended != 0 && !(ended < 0 && errno == EINTR)) {
      break;
    }
    if (got == sizeof execError || deadline.hasExpired()) {
      break;
    }
    ::usleep(20'000);
  }
  if (got == sizeof execError) {
    if (ended == 0) {
      while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
    }
    return Result<void>::failure(program + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(execError)));
  }
  if (ended == 0) {
    // Still running: it stays, and a thread collects its exit status whenever it ends.
    std::thread([pid] {
      int ignored = 0;
      while (::waitpid(pid, &ignored, 0) < 0 && errno == EINTR) {
      }
    }).detach();
    return Result<void>::success();
  }
  if (ended < 0) {
    return Result<void>::failure(QStringLiteral("waitpid: ") + QString::fromLocal8Bit(std::strerror(errno)));
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
    return Result<void>::success();
  }
  return Result<void>::failure(WIFEXITED(status) ? QStringLiteral("exit=%1").arg(WEXITSTATUS(status))
                                                 : QStringLiteral("ended by signal %1").arg(WTERMSIG(status)));
}

}  // namespace tandrel
