#include "events/tandrel_event.h"

#include "events/bridge_values.h"
#include "catalog/tool_catalog.h"
#include "usage/usage_dates.h"

#include <QTextBoundaryFinder>

namespace tandrel {
namespace {

bool isLineBreak(QChar c) {
  switch (c.unicode()) {
    case u'\n':
    case u'\v':
    case u'\f':
    case u'\r':
    case 0x0085:
    case 0x2028:
    case 0x2029:
      return true;
    default:
      return false;
  }
}

// One part of a task key: lowercased, " - " and " · " as one space, trimmed.
QString taskKeyPart(const QString& text) {
  QString part = text.toLower();
  part.replace(QLatin1String(" - "), QLatin1String(" "));
  part.replace(QStringLiteral(" \u00B7 "), QLatin1String(" "));
  return part.trimmed();
}

// Appends the normal form of a part that is ASCII without " - " or surrounding whitespace
// (lowercasing it on the way); false, appending nothing, for any other part.
bool appendSimpleTaskKeyPart(QString& key, const QString& text) {
  const qsizetype size = text.size();
  const char16_t* chars = QStringView(text).utf16();
  for (qsizetype i = 0; i < size; ++i) {
    const char16_t c = chars[i];
    if (c >= 0x80 || (c == u'-' && i > 0 && i + 1 < size && chars[i - 1] == u' ' && chars[i + 1] == u' ')) {
      return false;
    }
  }
  const auto isSpace = [](char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); };
  if (size > 0 && (isSpace(chars[0]) || isSpace(chars[size - 1]))) {
    return false;
  }
  const qsizetype start = key.size();
  key.append(text);
  char16_t* written = reinterpret_cast<char16_t*>(key.data()) + start;
  for (qsizetype i = 0; i < size; ++i) {
    if (written[i] >= u'A' && written[i] <= u'Z') {
      written[i] = static_cast<char16_t>(written[i] + (u'a' - u'A'));
    }
  }
  return true;
}

}  // namespace

QDateTime distantPast() {
  static const QDateTime past(QDate(1, 1, 1), QTime(0, 0), Qt::UTC);
  return past;
}

bool isDistantPast(const QDateTime& date) { return !date.isValid() || date <= distantPast(); }

QString makeTaskKey(const QString& source, const std::optional<QString>& sessionId,
                    const std::optional<QString>& turnId, const QString& cwd, const std::optional<QString>& pid,
                    const QString& project) {
  return makeTaskKeyForTool(toolDisplayName(source), sessionId, turnId, cwd, pid, project);
}

QString makeTaskKeyForTool(const QString& toolDisplayName, const std::optional<QString>& sessionId,
                           const std::optional<QString>& turnId, const QString& cwd,
                           const std::optional<QString>& pid, const QString& project) {
  const QString* parts[3] = {&toolDisplayName, nullptr, nullptr};
  if (sessionId) {
    parts[1] = &*sessionId;
    parts[2] = turnId ? &*turnId : nullptr;
  } else if (turnId) {
    parts[1] = &*turnId;
  } else {
    parts[1] = &cwd;
    parts[2] = pid ? &*pid : &project;
  }
  QString key;
  key.reserve(toolDisplayName.size() + parts[1]->size() + (parts[2] ? parts[2]->size() : 0) + 2);
  for (int i = 0; i < 3 && parts[i]; ++i) {
    const QString* part = parts[i];
    if (i > 0) {
      key.append(QLatin1Char('|'));
    }
    if (!appendSimpleTaskKeyPart(key, *part)) {
      key.append(taskKeyPart(*part));
    }
  }
  return key;
}

QString shortPreviewText(const QString& text, int limit) {
  // Lines trimmed, blank ones dropped, joined by one space ("\r\n" and "\r" count as one break).
  QString joined;
  bool hasBreak = false;
  for (const QChar c : text) {
    if (isLineBreak(c)) {
      hasBreak = true;
      break;
    }
  }
  if (!hasBreak) {
    joined = text.trimmed();
  } else {
    joined.reserve(text.size());
    qsizetype start = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i <= size; ++i) {
      if (i < size && !isLineBreak(text[i])) {
        continue;
      }
      const QStringView piece = QStringView(text).mid(start, i - start).trimmed();
      if (!piece.isEmpty()) {
        if (!joined.isEmpty()) {
          joined.append(QLatin1Char(' '));
        }
        joined.append(piece);
      }
      start = i + 1;
    }
  }
  if (limit < 1) {
    limit = 1;
  }
  // A text of at most `limit` UTF-16 units has at most that many grapheme clusters.
  if (joined.size() <= limit) {
    return joined;
  }
  QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, joined);
  qsizetype cut = -1;
  int count = 0;
  while (finder.toNextBoundary() != -1) {
    ++count;
    if (count == limit - 1) {
      cut = finder.position();
    }
    if (count > limit) {
      break;
    }
  }
  if (count <= limit) {
    return joined;
  }
  return QStringView(joined).left(cut).trimmed().toString() + QChar(0x2026);
}

QString relativeTime(const QString& text, const std::optional<QDateTime>& date) {
  return relativeTime(text, date, QDateTime::currentDateTimeUtc());
}

QString relativeTime(const QString& text, const std::optional<QDateTime>& date, const QDateTime& now) {
  const std::optional<QDateTime> when = date ? date : parseUsageDate(text);
  if (!when || isDistantPast(*when)) {
    return QStringLiteral("now");
  }
  const qint64 seconds = std::max<qint64>(0, when->secsTo(now));
  if (seconds < 60) {
    return QString::number(seconds) + QLatin1String("s ago");
  }
  if (seconds < 3'600) {
    return QString::number(seconds / 60) + QLatin1String("m ago");
  }
  if (seconds < 86'400) {
    return QString::number(seconds / 3'600) + QLatin1String("h ago");
  }
  return QString::number(seconds / 86'400) + QLatin1String("d ago");
}

PetPreviewStateID TandrelEvent::petPreviewStateID() const {
  if (eventType == QLatin1String("permission_request")) {
    return PetPreviewStateID::approval;
  }
  if (eventType == QLatin1String("waiting_input")) {
    return PetPreviewStateID::waitingInput;
  }
  if (eventType == QLatin1String("plan_ready")) {
    return PetPreviewStateID::review;
  }
  if (severity == QLatin1String("critical") || eventType == QLatin1String("task_failed") ||
      status == QLatin1String("failed")) {
    return PetPreviewStateID::error;
  }
  if (eventType == QLatin1String("rate_limited") || status == QLatin1String("usage_limited")) {
    return PetPreviewStateID::rateLimit;
  }
  if (eventType == QLatin1String("task_completed") || status == QLatin1String("completed")) {
    return PetPreviewStateID::review;
  }
  if (eventType == QLatin1String("task_started") || eventType == QLatin1String("task_updated") ||
      eventType == QLatin1String("working")) {
    return PetPreviewStateID::running;
  }
  return PetPreviewStateID::idle;
}

}  // namespace tandrel
