#pragma once

#include "events/event_vocabulary.h"
#include "events/message_option.h"
#include "events/pet_preview_state.h"
#include "jump/jump_target.h"
#include "requests/response_channel.h"
#include "usage/usage_snapshot.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

namespace tandrel {

// One agent event, built from one JSON object of the bridge file (or from a record a local
// scanner builds in the same form). Writers differ, so most fields are read under several keys,
// values are coerced from strings, numbers and booleans, and every field but the identifier has a
// default: nothing in a record is an error except a missing or non-text "event_id".
struct TandrelEvent {
  QString id;
  QString source;      // agent tool that emitted the event; "unknown" by default
  QString sourceType;  // kind of emitter; "cli_agent" by default
  QString project;
  QString cwd;
  bool hasExplicitCwd = false;  // the record carried "cwd" itself
  QString eventType;            // "task_completed", "permission_request", ...
  QString severity;             // "info", "critical", ...
  QString title;
  QString message;
  std::optional<QString> completionSnippet;
  MessagePreview preview;
  QString toolName;
  QString status;
  QString risk;        // from the "action" object
  QString actionKind;  // from the "action" object
  std::optional<QString> decisionFile;
  std::optional<QString> decisionCommand;
  QDateTime timestamp;   // distantPast() when the record's time is missing or unreadable
  QString rawTimestamp;  // the timestamp text as given
  std::optional<UsageSnapshot> usage;
  std::optional<QString> sessionId;
  std::optional<QString> turnId;
  QString taskKey;
  QString phase;
  std::optional<QString> milestone;
  QString notifyPolicy;  // "immediate", "milestone", "silent", "usage_only", ...
  std::optional<QString> rawEventName;
  std::optional<QString> pid;
  std::optional<QString> terminal;
  std::optional<QString> transcriptPath;
  std::optional<QString> jumpTarget;  // free-form jump hint
  std::optional<JumpTarget> typedJumpTarget;
  std::optional<ResponseReceipt> responseReceipt;
  ResponseChannel responseChannel;
  QList<MessageOption> choiceOptions;
  MessageSelectionMode selectionMode = MessageSelectionMode::single;
  bool noteEnabled = false;
  QString notePlaceholder;
  qint64 noteMaxLength = 500;
  QList<SourceCapability> sourceCapabilities;
  SourceEventClass sourceClass = SourceEventClass::officialPush;
  // The key the hook scripts derive from the agent's payload for a request that may also block
  // on the app's socket ("request_key"); the ending record of that request carries it too.
  std::optional<QString> requestKey;
  // Set by the store, never read from a record: how the request this record asked has ended
  // ("Approved in Tandrel", "Timed out — answered in the terminal", …). An ended request waits
  // for nobody: its card stays as an ordinary message saying so.
  std::optional<QString> requestOutcome;

  bool operator==(const TandrelEvent&) const = default;

  // The event of one bridge record, or nothing when the record is empty or its "event_id" is
  // missing or not a string.
  static std::optional<TandrelEvent> fromDictionary(const QJsonObject& dictionary);
  // The same for one line of the bridge file; nothing for a line that is not a JSON object. The
  // line is read straight from its text, without building a JSON document, unless it holds
  // something only QJsonDocument can decide (see bridge_line_reader.h); the event is the same.
  static std::optional<TandrelEvent> fromBridgeLine(const QByteArray& line);

  // The pet pose this event suggests (never `sleeping`).
  PetPreviewStateID petPreviewStateID() const;
};

// The time of events whose record carries no readable time; earlier than any real time.
QDateTime distantPast();
bool isDistantPast(const QDateTime& date);

// The key that events of one task share: the normalised tool display name with the session (and
// turn), or the turn, or the cwd and process id, or the cwd and project, joined by "|".
QString makeTaskKey(const QString& source, const std::optional<QString>& sessionId,
                    const std::optional<QString>& turnId, const QString& cwd, const std::optional<QString>& pid,
                    const QString& project);
// The same for a source whose display name is known already.
QString makeTaskKeyForTool(const QString& toolDisplayName, const std::optional<QString>& sessionId,
                           const std::optional<QString>& turnId, const QString& cwd,
                           const std::optional<QString>& pid, const QString& project);

// Lines joined by single spaces, blank lines dropped; longer than `limit` characters (grapheme
// clusters), it is cut to limit - 1 characters, trimmed, and "…" is appended.
QString shortPreviewText(const QString& text, int limit = 240);

// A short age: "now" without a date (or for the distant past), else "<n>s ago", "<n>m ago",
// "<n>h ago" or "<n>d ago" in whole units; a future time counts as 0 seconds. Without `date`,
// `text` is read with parseUsageDate.
QString relativeTime(const QString& text, const std::optional<QDateTime>& date);
QString relativeTime(const QString& text, const std::optional<QDateTime>& date, const QDateTime& now);

}  // namespace tandrel
