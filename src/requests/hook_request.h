#pragma once

// The records exchanged on the app's Unix-domain socket: `HookRequest` (a blocking hook asks the
// user something) and `HookReply` (the app's one answer). On the wire each record is one JSON
// object whose keys are the snake_case names given next to the fields below.

#include "base/result.h"

#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>

#include <cstdint>
#include <optional>

namespace tandrel {

// One choice offered by the agent. Wire keys "id" and "label" are required, "detail" optional.
struct HookRequestOption {
  QString id;
  QString label;
  std::optional<QString> detail;

  friend bool operator==(const HookRequestOption&, const HookRequestOption&) = default;
};

// What the agent wants. Every key is optional: an absent key or JSON null decodes as absent, and
// absent fields are left out when encoding.
struct HookRequestPayload {
  std::optional<QString> tool;                          // "tool"
  std::optional<QString> command;                       // "command"
  std::optional<QString> cwd;                           // "cwd"
  std::optional<QString> transcriptPath;                // "transcript_path"
  std::optional<QString> prompt;                        // "prompt"
  std::optional<bool> multiline;                        // "multiline"
  std::optional<QList<HookRequestOption>> options;      // "options"
  std::optional<QMap<QString, QString>> extras;         // "extras" (string to string)

  friend bool operator==(const HookRequestPayload&, const HookRequestPayload&) = default;
};

// A request from a blocking hook. Every key is required when decoding; `v` and `type` are not
// checked on receipt, and an unknown `kind` decodes fine (the request handler refuses it).
struct HookRequest {
  std::int64_t v = 1;                                   // "v"
  QString type = QStringLiteral("hook.request");        // "type"
  QString requestID;                                    // "request_id"
  QString agent;                                        // "agent"
  QString sessionID;                                    // "session_id" (may be empty)
  std::int32_t agentPID = 0;                            // "agent_pid"
  QString kind;                                         // "kind"
  std::int64_t timeoutSeconds = 0;                      // "timeout_seconds"
  HookRequestPayload payload;                           // "payload"

  friend bool operator==(const HookRequest&, const HookRequest&) = default;
};

// The app's answer to one request. Every key is required when decoding and written when encoding.
struct HookReply {
  std::int64_t v = 1;                                   // "v"
  QString type = QStringLiteral("hook.reply");          // "type"
  QString requestID;                                    // "request_id"
  // "allow", "deny", "choice" or "input" for a user's answer; "superseded", "timed_out" or
  // "agentDied" for the automatic endings; "no_decision" when the request is let go without an
  // answer (a finished turn nobody waits on, the text panel cancelled or closed, an empty reply).
  QString decision;                                     // "decision"
  QString mode;                                         // "mode": "once" or "always"
  QString rawAgentPayload;                              // "raw_agent_payload": JSON for the agent

  friend bool operator==(const HookReply&, const HookReply&) = default;
};

// A reply that gives the agent no decision (the payload "{}"), with which it carries on as it
// would without us; `decision` says why: "no_decision" when the request is let go, or the
// automatic ending ("timed_out", "superseded", "agentDied").
HookReply noDecisionReply(const QString& requestID, const QString& decision = QStringLiteral("no_decision"));

// The wire form of each record as a JSON object (write it with canonicalJson / canonicalJsonLine).
QJsonObject toJson(const HookRequestOption& option);
QJsonObject toJson(const HookRequestPayload& payload);
QJsonObject toJson(const HookRequest& request);
QJsonObject toJson(const HookReply& reply);

// Strict decoding from a parsed JSON object: keys in any order, unknown keys ignored, but required
// keys must be present and not null, and strings, integers and booleans must have their JSON type
// (a "v" given as text is an error). The error text describes the first problem found, e.g.
// `key "kind" not found` or `type mismatch at "agent_pid": expected a 32-bit integer`.
Result<HookRequestOption> hookRequestOptionFromJson(const QJsonObject& object);
Result<HookRequestPayload> hookRequestPayloadFromJson(const QJsonObject& object);
Result<HookRequest> hookRequestFromJson(const QJsonObject& object);
Result<HookReply> hookReplyFromJson(const QJsonObject& object);

// The same starting from JSON text: text that is not one JSON object is an error as well.
Result<HookRequest> decodeHookRequest(const QByteArray& json);
Result<HookReply> decodeHookReply(const QByteArray& json);

}  // namespace tandrel
