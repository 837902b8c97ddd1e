#include "catalog/paths.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <atomic>
#include <functional>
#include <limits>

namespace tandrel {

namespace {

std::atomic<bool> gTestEnvironment{false};

QString homeDirectory() { return QDir::homePath(); }

QString joined(const QString& base, const QString& relative) {
  if (relative.isEmpty()) {
    return base;
  }
  if (base.endsWith(QLatin1Char('/'))) {
    return base + relative;
  }
  return base + QLatin1Char('/') + relative;
}

// A path from the environment made absolute against the working directory, without a trailing
// slash.
QString absolutePath(const QString& path) {
  QString absolute = QDir::isAbsolutePath(path) ? path : QDir::current().absoluteFilePath(path);
  while (absolute.size() > 1 && absolute.endsWith(QLatin1Char('/'))) {
    absolute.chop(1);
  }
  return absolute;
}

// An XDG base-directory variable counts only when it holds an absolute path.
std::optional<QString> xdgDirectory(const char* name) {
  auto value = environmentPath(name);
  if (!value || !QDir::isAbsolutePath(*value)) {
    return std::nullopt;
  }
  return absolutePath(*value);
}

QString configHome() {
  return xdgDirectory("XDG_CONFIG_HOME").value_or(tilde(QStringLiteral(".config")));
}

// The rule the five agent roots share.
std::optional<QString> agentRoot(const char* variable, const std::function<QString()>& fallback) {
  if (auto value = environmentPath(variable)) {
    return absolutePath(*value);
  }
  if (isTestEnvironment()) {
    return std::nullopt;
  }
  return fallback();
}

}  // namespace

bool isTestEnvironment() { return gTestEnvironment.load(std::memory_order_relaxed); }

void setTestEnvironment(bool on) { gTestEnvironment.store(on, std::memory_order_relaxed); }

std::optional<QString> environmentPath(const char* name) {
  return nonEmptyString(qEnvironmentVariable(name));
}

QString appSupportDirectory() {
  const QString dataHome =
      xdgDirectory("XDG_DATA_HOME").value_or(tilde(QStringLiteral(".local/share")));
  return joined(dataHome, QStringLiteral("Tandrel"));
}

QString eventFileURL() {
  if (auto value = environmentPath("TANDREL_EVENT_FILE")) {
    // The installed scripts and the OpenCode plug-in expand a leading "~" the same way.
    if (*value == QLatin1String("~") || value->startsWith(QLatin1String("~/"))) {
      return absolutePath(homeDirectory() + value->mid(1));
    }
    return absolutePath(*value);
  }
  return joined(appSupportDirectory(), QStringLiteral("events.jsonl"));
}

QString tandrelHomeURL() {
  if (auto value = environmentPath("TANDREL_HOME")) {
    return absolutePath(*value);
  }
  return tilde(QStringLiteral(".tandrel"));
}

QString resourcesDirectory() {
  if (auto value = environmentPath("TANDREL_RESOURCES_DIR")) {
    return absolutePath(*value);
  }
  return QDir::cleanPath(QCoreApplication::applicationDirPath() +
                         QStringLiteral("/../share/tandrel"));
}

QString codexHomeURL() {
  if (auto value = environmentPath("CODEX_HOME")) {
    return absolutePath(*value);
  }
  return tilde(QStringLiteral(".codex"));
}

std::optional<QString> defaultCodexSessionsRootURL() {
  return agentRoot("TANDREL_CODEX_SESSIONS_DIR",
                   [] { return tilde(QStringLiteral(".codex/sessions")); });
}

std::optional<QString> defaultClaudeProjectsRootURL() {
  return agentRoot("TANDREL_CLAUDE_PROJECTS_DIR",
                   [] { return tilde(QStringLiteral(".claude/projects")); });
}

std::optional<QString> defaultCursorProjectsRootURL() {
  return agentRoot("TANDREL_CURSOR_PROJECTS_DIR",
                   [] { return tilde(QStringLiteral(".cursor/projects")); });
}

std::optional<QString> defaultTraeTrajectoryRootURL() {
  return agentRoot("TANDREL_TRAE_TRAJECTORY_DIR",
                   [] { return joined(tandrelHomeURL(), QStringLiteral("usage/trae-agent")); });
}

std::optional<QString> defaultTraeLogsRootURL() {
  return agentRoot("TANDREL_TRAE_LOGS_DIR", [] { return traeLogsFolderChoice(); });
}

QStringList traeLogsCandidates() {
  const QString base = configHome();
  QStringList candidates;
  for (const char* folder : {"TRAE SOLO CN", "Trae SOLO", "Trae CN", "Trae"}) {
    candidates.append(joined(base, QLatin1String(folder) + QStringLiteral("/logs")));
  }
  return candidates;
}

QString traeLogsFolderChoice() {
  const QStringList candidates = traeLogsCandidates();
  std::optional<QString> best;
  qint64 bestTime = 0;
  for (const QString& candidate : candidates) {
    const QFileInfo info(candidate);
    if (!info.exists()) {
      continue;
    }
    const QDateTime modified = info.fileTime(QFileDevice::FileModificationTime);
    const qint64 time =
        modified.isValid() ? modified.toMSecsSinceEpoch() : std::numeric_limits<qint64>::min();
    // Strictly later only: on equal dates the earlier candidate keeps its place.
    if (!best || time > bestTime) {
      best = candidate;
      bestTime = time;
    }
  }
  return best.value_or(candidates.first());
}

QString opencodeConfigRootURL() {
  if (auto value = environmentPath("OPENCODE_CONFIG_DIR")) {
    return absolutePath(*value);
  }
  if (auto value = environmentPath("XDG_CONFIG_HOME")) {
    return joined(absolutePath(*value), QStringLiteral("opencode"));
  }
  return tilde(QStringLiteral(".config/opencode"));
}

std::optional<QString> nonEmptyString(const QString& value) {
  QString trimmed = value.trimmed();
  if (trimmed.isEmpty()) {
    return std::nullopt;
  }
  return trimmed;
}

std::optional<QString> nonEmptyString(const QJsonValue& value) {
  if (!value.isString()) {
    return std::nullopt;
  }
  return nonEmptyString(value.toString());
}

QString tilde(const QString& relative) { return joined(homeDirectory(), relative); }

QString homeAbbreviated(const QString& path) {
  const QString home = homeDirectory();
  if (home.isEmpty() || home == QLatin1String("/")) {
    return path;
  }
  if (path == home) {
    return QStringLiteral("~");
  }
  if (path.startsWith(home + QLatin1Char('/'))) {
    return QLatin1Char('~') + path.mid(home.size());
  }
  return path;
}

QString basename(const QString& path) {
  QString trimmed = path;
  while (trimmed.size() > 1 && trimmed.endsWith(QLatin1Char('/'))) {
    trimmed.chop(1);
  }
  const QString last = trimmed == QLatin1String("/")
                           ? trimmed
                           : trimmed.mid(trimmed.lastIndexOf(QLatin1Char('/')) + 1);
  return last.isEmpty() ? QStringLiteral("Workspace") : last;
}

quint32 fourCharCode(const QString& text) {
  quint32 code = 0;
  for (const char byte : text.toUtf8()) {
    code = (code << 8) | static_cast<quint8>(byte);
  }
  return code;
}

}  // namespace tandrel
