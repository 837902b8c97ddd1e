#pragma once

// Real child processes for tests that watch processes end: started with posix_spawn and reaped
// only when the test says so, so that an exited child stays a zombie until then.

#include <QFile>
#include <QString>

#include <optional>
#include <vector>

#include <csignal>
#include <dirent.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tandrel::test {

class ChildProcess {
 public:
  // Starts `path` with `args` (argv[1]...); pid() is 0 when it could not start.
  explicit ChildProcess(const char* path, std::vector<const char*> args = {}) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path));
    for (const char* arg : args) {
      argv.push_back(const_cast<char*>(arg));
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawn(&pid, path, nullptr, nullptr, argv.data(), environ) == 0) {
      pid_ = pid;
    }
  }
  ~ChildProcess() {
    kill();
    reap();
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }

  void kill() const {
    if (pid_ > 0 && !reaped_) {
      ::kill(pid_, SIGKILL);
    }
  }
  // Collects the exit status (blocks until the child has ended).
  void reap() {
    if (pid_ > 0 && !reaped_) {
      int status = 0;
      ::waitpid(pid_, &status, 0);
      reaped_ = true;
    }
  }

  // The state letter of /proc/<pid>/stat ('S', 'R', 'Z', ...), or nothing once the pid is gone.
  std::optional<char> state() const {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid_));
    if (!stat.open(QIODevice::ReadOnly)) {
      return std::nullopt;
    }
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    if (close < 0 || close + 2 >= line.size()) {
      return std::nullopt;
    }
    return line.at(close + 2);
  }
  bool isZombie() const { return state() == 'Z'; }

 private:
  pid_t pid_ = 0;
  bool reaped_ = false;
};

// Descriptors this process has open now.
inline int openDescriptorCount() {
  int count = 0;
  if (auto* dir = ::opendir("/proc/self/fd")) {
    while (::readdir(dir) != nullptr) {
      ++count;
    }
    ::closedir(dir);
  }
  return count;
}

}  // namespace tandrel::test
