#include "support/temp_home.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

namespace tandrel::test {

namespace {

// Tests put sockets below their home, and a Unix socket's path holds at most 107 bytes: a
// temporary folder longer than this (a long TMPDIR) is passed over for /tmp.
constexpr qsizetype kLongestTemporaryFolder = 48;

QString homeTemplate() {
  QString base = QDir::tempPath();
  if (base.toUtf8().size() > kLongestTemporaryFolder) {
    base = QStringLiteral("/tmp");
  }
  const QString name = QCoreApplication::applicationName();
  return base + QLatin1Char('/') + (name.isEmpty() ? QStringLiteral("tandrel-test") : name) + QStringLiteral("-XXXXXX");
}

}  // namespace

TempHome::TempHome() : dir_(homeTemplate()) {
  const QString root = dir_.path();
  setEnv("HOME", root.toUtf8());
  setEnv("TANDREL_HOME", (root + QStringLiteral("/.tandrel")).toUtf8());
  setEnv("XDG_DATA_HOME", (root + QStringLiteral("/.local/share")).toUtf8());
  setEnv("XDG_CONFIG_HOME", (root + QStringLiteral("/.config")).toUtf8());
  setEnv("XDG_CACHE_HOME", (root + QStringLiteral("/.cache")).toUtf8());
  setEnv("XDG_STATE_HOME", (root + QStringLiteral("/.local/state")).toUtf8());
  setEnv("XDG_DATA_DIRS", (root + QStringLiteral("/usr/share")).toUtf8());
  setEnv("XDG_RUNTIME_DIR", (root + QStringLiteral("/run")).toUtf8());
  setEnv("TANDREL_EVENT_FILE",
         (root + QStringLiteral("/.local/share/Tandrel/events.jsonl")).toUtf8());
}

TempHome::~TempHome() {
  for (const auto& [name, value] : saved_) {
    if (value) {
      qputenv(name.constData(), *value);
    } else {
      qunsetenv(name.constData());
    }
  }
}

QString TempHome::file(const QString& relative) const {
  return dir_.path() + QLatin1Char('/') + relative;
}

void TempHome::setEnv(const char* name, const std::optional<QByteArray>& value) {
  const QByteArray key(name);
  if (saved_.find(key) == saved_.end()) {
    saved_[key] = qEnvironmentVariableIsSet(name)
                      ? std::optional<QByteArray>(qgetenv(name))
                      : std::nullopt;
  }
  if (value) {
    qputenv(name, *value);
  } else {
    qunsetenv(name);
  }
}

bool writeFile(const QString& path, const QByteArray& contents) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    return false;
  }
  return file.write(contents) == contents.size();
}

QByteArray readFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    return {};
  }
  return file.readAll();
}

std::vector<QJsonObject> readJsonLines(const QString& path) {
  std::vector<QJsonObject> objects;
  for (const QByteArray& line : readFile(path).split('\n')) {
    if (!line.isEmpty()) {
      objects.push_back(QJsonDocument::fromJson(line).object());
    }
  }
  return objects;
}

}  // namespace tandrel::test
