#pragma once

#include "support/temp_home.h"
#include "usage/scanners/local_files.h"
#include "usage/scanners/local_usage_file_event_cache.h"
#include "usage/usage_dates.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <sys/stat.h>

#include <fcntl.h>

#include <initializer_list>

// Small helpers for the scanner tests: files with a chosen modification time, JSON lines, Claude
// transcripts, and a fixture that keeps the scanners' caches from one test to the next out.

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

// One assistant response of a Claude transcript: its usage under "message".
inline QByteArray claudeResponse(const QDateTime& when, int input, int output, int cacheRead, int cacheCreation) {
  return jsonLine(QJsonObject{
      {"timestamp", formatUsageDate(when)},
      {"type", "assistant"},
      {"message", QJsonObject{{"usage", QJsonObject{{"input_tokens", input},
                                                    {"output_tokens", output},
                                                    {"cache_read_input_tokens", cacheRead},
                                                    {"cache_creation_input_tokens", cacheCreation}}}}}});
}

// A Claude transcript of two responses six hours apart, the newer at `now`. Read, it gives a
// context of "864.2k / 1m", "665 total" tokens (the newer response's), and a five-hour block
// projected to half of the earlier one ("50% left").
inline QByteArray claudeTranscriptSixHoursApart(const QDateTime& now) {
  return claudeResponse(now.addSecs(-6 * 3600), 1178, 152, 270336, 64) + claudeResponse(now, 589, 76, 135168, 32);
}

// Starts and ends every test with the scanners' process-wide caches (discovered files, events
// read per file) empty.
class ScannerCachesClearedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clearLocalUsageFileEventCache();
    clearRecentJSONLDiscoveryCache();
  }
  void TearDown() override { SetUp(); }
};

}  // namespace tandrel::test
