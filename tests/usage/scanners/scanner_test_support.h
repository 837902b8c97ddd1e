#pragma once

#include "support/temp_home.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <sys/stat.h>

#include <fcntl.h>

#include <initializer_list>

// Small helpers for the scanner tests: files with a chosen modification time, and JSON lines.

namespace tandrel::test {

// Sets the file's modification time (to the millisecond).
inline bool setModified(const QString& path, const QDateTime& when) {
  const qint64 ms = when.toMSecsSinceEpoch();
  const struct timespec times[2] = {{ms / 1000, (ms % 1000) * 1'000'000}, {ms / 1000, (ms % 1000) * 1'000'000}};
  return ::utimensat(AT_FDCWD, path.toLocal8Bit().constData(), times, 0) == 0;
}

inline bool writeFileAt(const QString& path, const QByteArray& contents, const QDateTime& when) {
  return writeFile(path, contents) && setModified(path, when);
}

inline QByteArray jsonLine(const QJsonObject& object) {
  return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

inline QByteArray jsonLines(std::initializer_list<QJsonObject> objects) {
  QByteArray text;
  for (const auto& object : objects) {
    text += jsonLine(object);
  }
  return text;
}

inline QDateTime utcAt(const char* iso) { return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODateWithMs); }

}  // namespace tandrel::test
