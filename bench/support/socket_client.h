#pragma once

// What the socket benchmarks share: a plain client of the hook socket and percentiles.

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cstring>
#include <vector>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace tandrel::bench {

// A connected descriptor, or -1.
inline int connectTo(const QString& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const QByteArray bytes = path.toUtf8();
  std::memcpy(address.sun_path, bytes.constData(), static_cast<size_t>(bytes.size()));
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

inline bool sendAll(int fd, const QByteArray& bytes) {
  return ::send(fd, bytes.constData(), static_cast<size_t>(bytes.size()), MSG_NOSIGNAL) ==
         bytes.size();
}

inline double percentile(std::vector<double> values, double fraction) {
  if (values.empty()) {
    return 0;
  }
  std::sort(values.begin(), values.end());
  const size_t index = std::min(values.size() - 1, static_cast<size_t>(fraction * values.size()));
  return values[index];
}

}  // namespace tandrel::bench
