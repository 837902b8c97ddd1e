#include "inbox/request_endings.h"

#include "attention/event_reminder_policy.h"
#include "inbox/island_message.h"

#include <gtest/gtest.h>

#include <QJsonObject>

namespace tandrel {
namespace {

TandrelEvent record(const QString& id, QJsonObject fields) {
  fields.insert(QStringLiteral("event_id"), id);
  if (!fields.contains(QStringLiteral("source"))) fields.insert(QStringLiteral("source"), QStringLiteral("claude_code"));
  if (!fields.contains(QStringLiteral("session_id"))) fields.insert(QStringLiteral("session_id"), QStringLiteral("s"));
  return TandrelEvent::fromDictionary(fields).value();
}

TandrelEvent permission(const QString& id, const QString& key, const QString& time,
                        const QString& notifyPolicy = QString()) {
  QJsonObject fields{{"event_type", "permission_request"},
                     {"action", QJsonObject{{"kind", "shell"}, {"command", "ls"}}},
                     {"timestamp", time}};
  if (!key.isEmpty()) fields.insert("request_key", key);
  if (!notifyPolicy.isEmpty()) fields.insert("notify_policy", notifyPolicy);
  return record(id, fields);
}

TandrelEvent ending(const QString& key, const QString& words) {
  return record("end-" + key, {{"event_type", kRequestEndedEventType},
                               {"request_key", key},
                               {"message", words},
                               {"notify_policy", "silent"},
                               {"timestamp", "2027-01-15T08:00:30Z"}});
}

TandrelEvent lifecycle(const QString& id, const QString& time, QJsonObject fields = {}) {
  if (!fields.contains("event_type")) fields.insert("event_type", "task_updated");
  fields.insert("timestamp", time);
  return record(id, fields);
}

TEST(RequestEndings, WhichRecordsEndAndHow) {
  const QString t0 = QStringLiteral("2027-01-15T08:00:00Z");
  const QString t1 = QStringLiteral("2027-01-15T08:00:10Z");
  struct Case {
    const char* name;
    std::vector<TandrelEvent> events;  // the request record is the first
    QSet<QString> waitingKeys;
    std::optional<QString> outcome;
  };
  const std::vector<Case> cases = {
      {"a later ending of its key", {permission("p", "k", t0), ending("k", "Denied in Tandrel")}, {}, "Denied in Tandrel"},
      {"the ending of another key", {permission("p", "k", t0), ending("other", "Denied in Tandrel")}, {}, std::nullopt},
      {"an ending before it: the same request asked again",
       {ending("k", "Approved in Tandrel"), permission("p", "k", t1)}, {}, std::nullopt},
      {"its session went on", {permission("p", "k", t0), lifecycle("post", t1)}, {}, kAgentMovedOnOutcome},
      {"its session went on without a key", {permission("p", "", t0), lifecycle("post", t1)}, {}, kAgentMovedOnOutcome},
      {"its session went on while its request waits", {permission("p", "k", t0), lifecycle("post", t1)}, {"k"},
       std::nullopt},
      {"a waiting request still takes its ending",
       {permission("p", "k", t0), ending("k", "Approved in Tandrel")}, {"k"}, "Approved in Tandrel"},
      {"only a usage reading came later",
       {permission("p", "k", t0), lifecycle("usage", t1, {{"notify_policy", "usage_only"}})}, {}, std::nullopt},
      {"another session went on",
       {permission("p", "k", t0), lifecycle("other", t1, {{"session_id", "other"}})}, {}, std::nullopt},
      {"a later record that is older", {permission("p", "k", t1), lifecycle("post", t0)}, {}, std::nullopt},
      {"answered through its decision file, not the socket",
       {record("p", {{"event_type", "permission_request"},
                     {"action", QJsonObject{{"kind", "shell"}, {"decision_file", "/tmp/d.json"}}},
                     {"timestamp", t0}}),
        lifecycle("post", t1)},
       {}, std::nullopt},
      {"a request the agent approves by itself is never a card",
       {permission("p", "k", t0, "silent"), ending("k", "Approved in Tandrel")}, {}, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<TandrelEvent> events = c.events;
    const QString id = QStringLiteral("p");
    applyRequestEndings(events, c.waitingKeys);
    const auto found = std::find_if(events.begin(), events.end(), [&](const TandrelEvent& e) { return e.id == id; });
    ASSERT_NE(found, events.end());
    EXPECT_EQ(found->requestOutcome, c.outcome);
    // An ended request asks for nobody, and its card stays in the inbox as an ordinary message.
    const InboxMessages inbox = buildIslandMessages(events, {}, {}, MessageBuildContext{});
    if (c.outcome) {
      EXPECT_EQ(eventReminderPolicy(*found).kind, EventReminderKind::none);
      ASSERT_EQ(inbox.messages.size(), 1U);
      EXPECT_EQ(inbox.messages.front().outcome, c.outcome);
      EXPECT_EQ(inbox.approvalCount, 0);
    }
    // Deciding again gives the same.
    applyRequestEndings(events, c.waitingKeys);
    EXPECT_EQ(std::find_if(events.begin(), events.end(), [&](const TandrelEvent& e) { return e.id == id; })->requestOutcome,
              c.outcome);
  }
}

TEST(RequestEndings, OutcomeWordsAndTheEndingRecord) {
  PendingAction action;
  action.requestID = QStringLiteral("r");
  action.agent = QStringLiteral("codex");
  action.sessionID = QStringLiteral("s");
  action.payload.extras = QMap<QString, QString>{{QStringLiteral("request_key"), QStringLiteral("k")}};
  using S = PendingActionStatus;
  const struct {
    S status;
    std::optional<QString> decision;
    QString words;
  } cases[] = {
      {S::answered, QStringLiteral("allow"), QStringLiteral("Approved in Tandrel")},
      {S::answered, QStringLiteral("deny"), QStringLiteral("Denied in Tandrel")},
      {S::answered, QStringLiteral("input"), QStringLiteral("Answered in Tandrel")},
      {S::timedOut, QStringLiteral("timed_out"), QStringLiteral("Timed out \u2014 answered in the terminal")},
      {S::agentDied, QStringLiteral("agentDied"), QStringLiteral("The agent exited")},
      {S::superseded, QStringLiteral("superseded"), QStringLiteral("Replaced by a newer request")},
      {S::hookDropped, std::nullopt, QStringLiteral("The agent stopped waiting")},
  };
  const QDateTime now = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.words.toStdString());
    action.status = c.status;
    action.decision = c.decision;
    EXPECT_EQ(requestOutcomeText(action), c.words);
    const std::optional<QJsonObject> written = requestEndingRecord(action, now);
    ASSERT_TRUE(written.has_value());
    const TandrelEvent parsed = TandrelEvent::fromDictionary(*written).value();
    EXPECT_EQ(parsed.eventType, kRequestEndedEventType);
    EXPECT_EQ(parsed.requestKey, QStringLiteral("k"));
    EXPECT_EQ(parsed.message, c.words);
    EXPECT_EQ(parsed.source, QStringLiteral("codex"));
    EXPECT_EQ(parsed.timestamp, now);
    EXPECT_EQ(eventReminderPolicy(parsed).kind, EventReminderKind::none);
  }
  // No record while it waits, nor for a request without a key.
  action.status = S::awaitingUser;
  EXPECT_FALSE(requestEndingRecord(action, now).has_value());
  action.status = S::answered;
  action.payload.extras.reset();
  EXPECT_FALSE(requestEndingRecord(action, now).has_value());
}

}  // namespace
}  // namespace tandrel
