#pragma once

// Pet packages written into a scratch folder for the pet tests.

#include <QByteArray>
#include <QDir>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include "support/temp_home.h"

namespace tandrel::test {

// A picture of `width` × `height` in `format` ("PNG" or "WEBP") at `path`, whatever its name.
// Filled with `color` so tests can tell files apart.
inline bool writePicture(const QString& path, int width, int height, const char* format = "PNG",
                         QColor color = Qt::transparent) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QImage image(width, height, QImage::Format_ARGB32);
  image.fill(color);
  return image.save(path, format);
}

// A package folder `folder` with `manifestName` holding `manifest` and a sheet of the given size
// at "spritesheet.webp" (PNG bytes).
inline bool writePetPackage(const QString& folder, const QJsonObject& manifest,
                            const QString& manifestName = QStringLiteral("pet.json"), int width = 1536,
                            int height = 1872) {
  return writeFile(folder + QLatin1Char('/') + manifestName, QJsonDocument(manifest).toJson()) &&
         writePicture(folder + QStringLiteral("/spritesheet.webp"), width, height);
}

// Two bridge lines: a Claude Code tool run (working) and, newer, a failed Codex task (error).
inline QByteArray workingAndFailedEventLines() {
  return R"({"event_id":"w","source":"claude_code","event_type":"task_updated","status":"running_tool","notify_policy":"silent","timestamp":"2027-01-15T07:00:00Z"})"
         "\n"
         R"({"event_id":"f","source":"codex","event_type":"task_failed","severity":"error","title":"Failed","timestamp":"2027-01-15T07:05:00Z"})"
         "\n";
}

}  // namespace tandrel::test
