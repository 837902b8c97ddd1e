#pragma once

// What this process listens on, for tests of servers that must stay on the loopback address.

#include <QByteArray>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <set>
#include <string>

namespace tandrel::test {

// The local addresses of the TCP sockets this process listens on ("127.0.0.1", "0.0.0.0"; IPv6 ones
// as the kernel's table writes them in hex), from /proc: the system's tables, filtered to the
// socket inodes among our descriptors.
inline std::set<std::string> listeningAddresses() {
  std::set<QByteArray> ours;
  QDirIterator descriptors(QStringLiteral("/proc/self/fd"), QDir::System | QDir::Files | QDir::NoDotAndDotDot);
  while (descriptors.hasNext()) {
    const QString link = QFileInfo(descriptors.next()).symLinkTarget();
    if (link.contains(QLatin1String("socket:["))) {
      ours.insert(link.section(QLatin1Char('['), 1).chopped(1).toLatin1());
    }
  }
  std::set<std::string> addresses;
  for (const char* table : {"/proc/self/net/tcp", "/proc/self/net/tcp6"}) {
    QFile file{QString::fromLatin1(table)};
    if (!file.open(QIODevice::ReadOnly)) continue;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
      const QList<QByteArray> fields = lines[i].simplified().split(' ');
      // sl local_address rem_address st tx:rx tr:when retrnsmt uid timeout inode
      if (fields.size() < 10 || fields[3] != "0A" || ours.count(fields[9]) == 0) continue;
      const QByteArray hex = fields[1].split(':').value(0);
      if (hex.size() == 8) {  // IPv4, little-endian
        const quint32 value = hex.toUInt(nullptr, 16);
        addresses.insert(QStringLiteral("%1.%2.%3.%4")
                             .arg(value & 0xff)
                             .arg((value >> 8) & 0xff)
                             .arg((value >> 16) & 0xff)
                             .arg(value >> 24)
                             .toStdString());
      } else {
        addresses.insert(hex.toStdString());
      }
    }
  }
  return addresses;
}

}  // namespace tandrel::test
