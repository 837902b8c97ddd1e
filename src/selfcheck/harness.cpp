#include "selfcheck/harness.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QLocale>

namespace tandrel {

ScopedRestore::~ScopedRestore() {
  for (const std::function<void()>& restore : restorers_) {
    restore();
  }
}

ScopedRestore& ScopedRestore::environment(const char* name) {
  std::optional<QByteArray> saved;
  if (qEnvironmentVariableIsSet(name)) saved = qgetenv(name);
  restorers_.emplace_back([name = QByteArray(name), saved] {
    if (saved) {
      qputenv(name.constData(), *saved);
    } else {
      qunsetenv(name.constData());
    }
  });
  return *this;
}

ScopedRestore& ScopedRestore::setEnvironment(const char* name, const std::optional<QByteArray>& value) {
  environment(name);
  if (value) {
    qputenv(name, *value);
  } else {
    qunsetenv(name);
  }
  return *this;
}

ScopedRestore& ScopedRestore::defaultsKey(const QString& key, UserDefaults& defaults) {
  restorers_.emplace_back([key, &defaults, saved = defaults.object(key)] {
    if (saved) {
      defaults.set(key, *saved);
    } else {
      defaults.remove(key);
    }
  });
  return *this;
}

QString sentenceWithSeconds(const QString& prefix, double seconds) {
  return prefix + QString::number(seconds, 'g', QLocale::FloatingPointShortest) + QLatin1Char('s');
}

bool waitOnEventLoop(const std::function<bool()>& done, double limitSeconds) {
  const QDeadlineTimer deadline(static_cast<qint64>(limitSeconds * 1000));
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

QString scratchPath(const QString& tempRoot, const QString& name) { return QDir(tempRoot).filePath(name); }

std::optional<QString> freshScratchFolder(const QString& tempRoot, const QString& name) {
  const QString path = scratchPath(tempRoot, name);
  QDir folder(path);
  if (folder.exists() && !folder.removeRecursively()) return std::nullopt;
  if (!QDir().mkpath(path)) return std::nullopt;
  return path;
}

}  // namespace tandrel
