#pragma once

#include <QDebug>
#include <QDir>
#include <QStringList>

#include <algorithm>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace tandrel::test {

// The highest descriptor this process has open.
inline int highestOpenDescriptor() {
  int highest = 0;
  for (const QString& name : QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System)) {
    highest = std::max(highest, name.toInt());
  }
  return highest;
}

// Leaves this process exactly `free` descriptors, all above those in use (the gaps below the
// highest are filled, and more below the free ones until the limit is at least `minimumLimit`,
// since how many descriptors a test inherits varies), until it goes out of scope.
class DescriptorLimit {
 public:
  explicit DescriptorLimit(int free, int minimumLimit = 0) {
    ::getrlimit(RLIMIT_NOFILE, &saved_);
    const int highest = std::max(highestOpenDescriptor(), minimumLimit - free - 1);
    for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) {
      if (fd > highest) {
        ::close(fd);
        break;
      }
      filler_.push_back(fd);
    }
    rlimit lowered = saved_;
    lowered.rlim_cur = static_cast<rlim_t>(highest + 1 + free);
    ::setrlimit(RLIMIT_NOFILE, &lowered);
  }
  ~DescriptorLimit() {
    for (const int fd : filler_) {
      ::close(fd);
    }
    ::setrlimit(RLIMIT_NOFILE, &saved_);
  }
  DescriptorLimit(const DescriptorLimit&) = delete;
  DescriptorLimit& operator=(const DescriptorLimit&) = delete;

 private:
  rlimit saved_{};
  std::vector<int> filler_;
};

// Lowers this process's descriptor limit to just above the descriptors in use, and fills what is
// left but `leaveFree` descriptors, until it goes out of scope.
class DescriptorsExhausted {
 public:
  explicit DescriptorsExhausted(int leaveFree = 0) {
    // The undefined-behaviour sanitizer checks each dynamic type the first time it meets it, and
    // needs a pipe to do so (without one it reports a false error): log lines, written while
    // descriptors are short, meet theirs here. A test meets the types of the code it tests before.
    {
      QString text;
      QDebug(&text).noquote() << QStringLiteral("types met");
    }
    ::getrlimit(RLIMIT_NOFILE, &saved_);
    rlimit lowered = saved_;
    lowered.rlim_cur = static_cast<rlim_t>(highestOpenDescriptor() + 16);
    ::setrlimit(RLIMIT_NOFILE, &lowered);
    for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) {
      filler_.push_back(fd);
    }
    for (; leaveFree > 0 && !filler_.empty(); --leaveFree) {
      ::close(filler_.back());
      filler_.pop_back();
    }
  }
  ~DescriptorsExhausted() { release(); }
  void release() {
    for (const int fd : filler_) {
      ::close(fd);
    }
    filler_.clear();
    ::setrlimit(RLIMIT_NOFILE, &saved_);
  }

 private:
  rlimit saved_{};
  std::vector<int> filler_;
};

}  // namespace tandrel::test
