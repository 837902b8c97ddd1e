#include "inbox/request_endings.h"

#include "attention/event_reminder_policy.h"
#include "usage/usage_dates.h"

#include <QHash>

namespace tandrel {

namespace {

bool isRequestType(const QString& type) {
  return type == u"permission_request" || type == u"waiting_input" || type == u"plan_ready";
}

// A request whose card answers it through a decision file or command waits for that answer, not
// for the socket or the agent's terminal: its session going on does not end it.
bool answeredThroughItsOwnChannel(const TandrelEvent& event) {
  const auto kind = event.responseChannel.kind();
  return event.decisionFile || event.decisionCommand || kind == ResponseChannel::Kind::decisionFile ||
         kind == ResponseChannel::Kind::responseFile || kind == ResponseChannel::Kind::decisionCommand ||
         kind == ResponseChannel::Kind::responseCommand;
}

QString sessionIdentity(const TandrelEvent& event) {
  return event.source + QLatin1Char('|') + event.sessionId.value_or(QString());
}

}  // namespace

QString requestOutcomeText(const PendingAction& ended) {
  switch (ended.status) {
    case PendingActionStatus::awaitingUser:
      return {};
    case PendingActionStatus::answered: {
      const QString decision = ended.decision.value_or(QString());
      if (decision == u"allow") return QStringLiteral("Approved in Tandrel");
      if (decision == u"deny") return QStringLiteral("Denied in Tandrel");
      return QStringLiteral("Answered in Tandrel");
    }
    case PendingActionStatus::timedOut:
      return QStringLiteral("Timed out \u2014 answered in the terminal");
    case PendingActionStatus::agentDied:
      return QStringLiteral("The agent exited");
    case PendingActionStatus::superseded:
      return QStringLiteral("Replaced by a newer request");
    case PendingActionStatus::hookDropped:
      return QStringLiteral("The agent stopped waiting");
    case PendingActionStatus::appliedAfterCrash:
    case PendingActionStatus::droppedOnRestart:
      return QStringLiteral("Tandrel quit before an answer");
  }
  return {};
}

std::optional<QJsonObject> requestEndingRecord(const PendingAction& ended, const QDateTime& now) {
  const QString key = ended.requestKey();
  if (key.isEmpty() || ended.status == PendingActionStatus::awaitingUser) {
    return std::nullopt;
  }
  QJsonObject record{
      {QStringLiteral("event_id"), QStringLiteral("request-ended-") + ended.requestID},
      {QStringLiteral("event_type"), kRequestEndedEventType},
      {QStringLiteral("source"), ended.agent},
      {QStringLiteral("session_id"), ended.sessionID},
      {QStringLiteral("request_key"), key},
      {QStringLiteral("status"), rawValue(ended.status)},
      {QStringLiteral("title"), QStringLiteral("Request ended")},
      {QStringLiteral("message"), requestOutcomeText(ended)},
      {QStringLiteral("notify_policy"), QStringLiteral("silent")},
      {QStringLiteral("timestamp"), formatUsageDate(now)},
  };
  if (ended.payload.cwd && !ended.payload.cwd->isEmpty()) {
    record.insert(QStringLiteral("cwd"), *ended.payload.cwd);
  }
  return record;
}

void applyRequestEndings(std::vector<TandrelEvent>& events, const QSet<QString>& waitingKeys) {
  // Walked from the newest: what lies after a record is known when the record is reached.
  QHash<QString, QString> outcomeByKey;          // the nearest later ending of each key
  QHash<QString, QDateTime> newestLifecycleTime;  // per session, of the later lifecycle records
  for (auto it = events.rbegin(); it != events.rend(); ++it) {
    TandrelEvent& event = *it;
    event.requestOutcome.reset();  // decided afresh: a waiting action may have appeared since
    if (event.eventType == kRequestEndedEventType) {
      if (event.requestKey) outcomeByKey.insert(*event.requestKey, event.message);
      continue;
    }
    const EventReminderPolicy policy = eventReminderPolicy(event);
    if (isRequestType(event.eventType) && policy.isHumanFacing) {
      if (event.requestKey && outcomeByKey.contains(*event.requestKey)) {
        event.requestOutcome = outcomeByKey.value(*event.requestKey);
      } else if (event.eventType == u"permission_request" && event.sessionId && !answeredThroughItsOwnChannel(event) &&
                 !(event.requestKey && waitingKeys.contains(*event.requestKey))) {
        const auto later = newestLifecycleTime.constFind(sessionIdentity(event));
        if (later != newestLifecycleTime.constEnd() && *later >= event.timestamp) {
          event.requestOutcome = kAgentMovedOnOutcome;
        }
      }
    }
    if (policy.kind != EventReminderKind::none && event.sessionId) {
      QDateTime& newest = newestLifecycleTime[sessionIdentity(event)];
      if (!newest.isValid() || event.timestamp > newest) newest = event.timestamp;
    }
  }
}

}  // namespace tandrel
