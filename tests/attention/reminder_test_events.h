#pragma once

#include "events/tandrel_event.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <functional>
#include <optional>

// Small event builders for the reminder-policy, companion and pet-state tests.
namespace tandrel::test {

// A plain event of one type at a given second: "info" severity, status equal to the type, notify
// policy "immediate", no texts, no channel.
inline TandrelEvent reminderEvent(const QString& id, const QString& type, qint64 second = 0) {
  TandrelEvent event;
  event.id = id;
  event.source = QStringLiteral("codex");
  event.eventType = type;
  event.status = type;
  event.severity = QStringLiteral("info");
  event.notifyPolicy = QStringLiteral("immediate");
  event.timestamp = QDateTime::fromSecsSinceEpoch(1'800'000'000 + second, Qt::UTC);
  return event;
}

inline MessageOption choice(const QString& id, const QString& label) {
  MessageOption option;
  option.id = id;
  option.label = label;
  return option;
}

inline TandrelEvent withChange(TandrelEvent event, const std::function<void(TandrelEvent&)>& change) {
  change(event);
  return event;
}

// A permission request the user can answer (it names a decision file).
inline TandrelEvent answerablePermission(const QString& id, qint64 second = 0) {
  TandrelEvent event = reminderEvent(id, QStringLiteral("permission_request"), second);
  event.decisionFile = QStringLiteral("/tmp/decision.json");
  return event;
}

// A completion from a "Stop" hook with a real message.
inline TandrelEvent humanCompletion(const QString& id, qint64 second = 0) {
  TandrelEvent event = reminderEvent(id, QStringLiteral("task_completed"), second);
  event.rawEventName = QStringLiteral("Stop");
  event.message = QStringLiteral("All tests passed");
  return event;
}

inline TandrelEvent workingEvent(const QString& id, qint64 second = 0) {
  return reminderEvent(id, QStringLiteral("task_started"), second);
}

// An event parsed from one bridge record written as JSON text.
inline std::optional<TandrelEvent> parsedEvent(const char* json) {
  return TandrelEvent::fromDictionary(QJsonDocument::fromJson(QByteArray(json)).object());
}

// A usage reading whose rate-limit meter has the given status.
inline UsageSnapshot rateLimitUsage(const QString& status) {
  UsageSnapshot usage;
  usage.rateLimit = UsageMetric{QStringLiteral("Blocked"), QString(), std::nullopt, status};
  return usage;
}

}  // namespace tandrel::test
