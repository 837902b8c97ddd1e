#include "attention/outdated_session_records.h"

#include "attention/event_reminder_policy.h"

#include <QHash>
#include <QString>

namespace tandrel {

namespace {

// The session an event belongs to, or an empty key when it names none.
QString sessionKey(const TandrelEvent& event) {
  if (!event.sessionId || event.sessionId->isEmpty()) return QString();
  return event.source + QChar(u'\x1f') + *event.sessionId;
}

bool speaksForSession(const TandrelEvent& event) {
  return !event.responseReceipt && !eventReminderSuppressesOrdinaryStatus(event);
}

}  // namespace

std::vector<bool> outdatedSessionRecords(std::span<const TandrelEvent> events) {
  QHash<QString, std::size_t> newest;
  for (std::size_t i = 0; i < events.size(); ++i) {
    const TandrelEvent& event = events[i];
    if (!speaksForSession(event)) continue;
    const QString key = sessionKey(event);
    if (key.isEmpty()) continue;
    const auto found = newest.find(key);
    if (found == newest.end()) {
      newest.insert(key, i);
    } else if (events[*found].timestamp <= event.timestamp) {
      *found = i;
    }
  }
  std::vector<bool> outdated(events.size(), false);
  for (std::size_t i = 0; i < events.size(); ++i) {
    const TandrelEvent& event = events[i];
    const EventReminderKind kind = eventReminderPolicy(event).kind;
    if (kind != EventReminderKind::working && kind != EventReminderKind::failure) continue;
    const QString key = sessionKey(event);
    if (key.isEmpty()) continue;
    const auto found = newest.constFind(key);
    outdated[i] = found != newest.constEnd() && *found != i;
  }
  return outdated;
}

}  // namespace tandrel
