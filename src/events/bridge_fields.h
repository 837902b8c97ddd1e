#pragma once

#include <QByteArrayView>
#include <QJsonObject>
#include <QList>
#include <QJsonValue>
#include <QString>

#include <array>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <string_view>

#include <QVarLengthArray>

// Bridge records are read under many alternative keys, most of them absent from any one record.
// BridgeFields walks a record once and files the values of the keys we know, so that every later
// look-up is an array read. It is built either from a parsed QJsonObject or straight from the
// JSON text of one bridge line: that is the parser's hot path (every line of the bridge file goes
// through it), and it builds only the values of known keys, skipping everything else unbuilt.

namespace tandrel {

// Every key read from a bridge record or from its "usage" object.
inline constexpr std::string_view kBridgeKeyNames[] = {
    // The record.
    "event_id", "source", "source_type", "cwd", "event_type", "type", "status", "session_id", "sessionId",
    "conversation_id", "thread_id", "thread-id", "turn_id", "turnId", "turn", "nonce", "pid", "process_id",
    "processId", "task_key", "taskKey", "project", "action", "severity", "title", "message", "completion_snippet",
    "completionSnippet", "assistant_message", "assistantMessage", "preview", "user_message", "userMessage",
    "latest_user_question", "latestUserQuestion", "user_question", "userQuestion", "prompt", "agent_message",
    "agentMessage", "agent_response", "agentResponse", "assistant_response", "assistantResponse", "tool_name",
    "timestamp", "terminal", "terminal_id", "terminalId", "transcript_path", "transcriptPath", "jump_target",
    "jumpTarget", "jump", "options", "selection_mode", "response", "note_enabled", "note_placeholder",
    "note_max_length", "phase", "milestone", "notify_policy", "notifyPolicy", "raw_event_name", "rawEventName",
    "hook_event_name", "hookEventName", "usage", "request_key",
    // Response channels (in the "response" object or the record).
    "response_file", "responseFile", "response_command", "responseCommand", "decision_file", "decisionFile",
    "decision_command", "decisionCommand", "socket_path", "socketPath", "protocol", "base_url", "baseURL",
    "endpoint",
    // Usage: context.
    "context_remaining_percent", "contextRemainingPercent", "context_percent", "context_window_percent",
    "context_pct", "contextPercent", "context_remaining", "contextRemaining", "context_used", "context_used_tokens",
    "contextUsed", "context_total", "context_total_tokens", "context_window", "contextWindow", "contextTotal",
    "context_label", "context_window_label",
    // Usage: tokens.
    "input_tokens", "inputTokens", "prompt_tokens", "promptTokens", "output_tokens", "outputTokens",
    "completion_tokens", "completionTokens", "total_tokens", "totalTokens", "token_count", "tokenCount",
    "tokens_total", "cache_read_tokens", "cacheReadTokens", "cache_read_input_tokens", "cached_input_tokens",
    "cache_write_tokens", "cacheWriteTokens", "cache_creation_input_tokens", "reasoning_tokens", "reasoningTokens",
    // Usage: cost.
    "cost_estimate", "costEstimate", "estimate", "estimated", "cost_amount", "costAmount", "cost_usd", "costUSD",
    "total_cost", "totalCost", "amount", "cost", "cost_currency", "costCurrency", "currency",
    // Usage: quotas, with the remaining twins of their percent keys.
    "limit_5h_label", "five_hour_label", "five_hour_limit_label", "fiveHourLabel", "quota_label", "label",
    "limit_5h_percent", "five_hour_percent", "five_hour_limit_percent", "fiveHourPercent", "quota_percent",
    "percent", "limit_5h_remaining_percent", "five_hour_remaining_percent", "five_hour_limit_remaining_percent",
    "fiveHourRemainingPercent", "quota_remaining_percent", "limit_5h_reset", "five_hour_reset", "five_hour_resets",
    "resets", "daily_label", "daily_limit_label", "daily", "daily_percent", "daily_limit_percent",
    "daily_remaining_percent", "daily_limit_remaining_percent", "daily_reset", "daily_resets", "weekly_label",
    "weekly_limit_label", "weekly", "weekly_percent", "weekly_limit_percent", "weekly_remaining_percent",
    "weekly_limit_remaining_percent", "weekly_reset", "weekly_resets", "limit_5h_window_minutes",
    "daily_window_minutes", "weekly_window_minutes",
    // Usage: rate limit and provenance.
    "rate_limit_label", "rateLimitLabel", "rate_label", "rate_limit_reset", "rateLimitReset", "reset_at", "resetAt",
    "rate_limit_blocked", "rateLimitBlocked", "blocked", "rate_limit_warning", "rateLimitWarning", "warning",
    "data_source", "dataSource", "observed_at", "observedAt", "tool_id", "toolId",
    // Nested objects of the record: "action", "preview" and the choice options.
    "risk", "kind", "decision_path", "user", "agent", "assistant", "id", "description", "detail",
    "disabled_reason", "disabledReason",
};

inline constexpr int kBridgeKeyCount = static_cast<int>(std::size(kBridgeKeyNames));

// The index of a known key. A name missing from the table does not compile.
consteval int bridgeKey(std::string_view name) {
  for (int i = 0; i < kBridgeKeyCount; ++i) {
    if (kBridgeKeyNames[i] == name) {
      return i;
    }
  }
  throw "not a known bridge key";
}

class BridgeFields;

// One JSON value of a bridge record: a scalar, or an object or array that is read only on demand.
// Numbers keep what the readers can observe of a QJsonValue: the exact value of an integral number
// that fits 64 bits, else the double.
class BridgeValue {
 public:
  enum class Type : std::uint8_t { undefined, null, boolean, integer, real, string, object, array };

  BridgeValue() = default;
  static BridgeValue fromJson(const QJsonValue& value);
  static BridgeValue null();
  static BridgeValue boolean(bool value);
  static BridgeValue integer(qint64 value);
  static BridgeValue real(double value);
  static BridgeValue string(QString text);
  // An object or array given as its JSON text, which must be valid for BridgeFields::fromJsonText.
  static BridgeValue objectText(QByteArrayView json);
  static BridgeValue arrayText(QByteArrayView json);

  Type type() const { return type_; }
  bool isUndefined() const { return type_ == Type::undefined; }
  bool isBool() const { return type_ == Type::boolean; }
  bool isNumber() const { return type_ == Type::integer || type_ == Type::real; }
  bool isString() const { return type_ == Type::string; }
  bool isObject() const { return type_ == Type::object; }
  bool isArray() const { return type_ == Type::array; }

  bool toBool() const { return type_ == Type::boolean && number_.boolean; }
  // A number as a double (an integer converted); 0 for anything else.
  double toDouble() const;
  // The exact value of an integral number that fits 64 bits; nothing for anything else.
  std::optional<qint64> integral() const;
  // The text of a string; empty for anything else.
  const QString& string() const { return text_; }

  // The known keys of an object (none for anything else).
  BridgeFields fields() const;
  // The whole object, for readers that need every key; empty for anything else.
  QJsonObject toObject() const;
  // The elements of an array; empty for anything else.
  QList<BridgeValue> elements() const;

 private:
  Type type_ = Type::undefined;
  union {
    bool boolean;
    qint64 integer;
    double real;
  } number_{};
  QString text_;
  QByteArrayView json_;  // the text of an object or array read from a line
  std::optional<QJsonValue> parsed_;  // an object or array that was parsed already
};

// The values of the known keys of one JSON object. A key the object holds more than once counts
// with its last value, as in QJsonDocument.
class BridgeFields {
 public:
  BridgeFields();
  explicit BridgeFields(const QJsonObject& object);

  // The known keys of the JSON object `json` (one bridge line). Nothing when the text is not such
  // an object, or when it holds anything that QJsonDocument might read differently from this
  // reader (escaped keys, numbers beyond a double's normal range or Qt's integer range, non-JSON
  // number forms, unusual escapes, control characters, deep nesting, a byte-order mark): callers
  // then read the line through QJsonDocument. BridgeValue texts point into `json`, which must
  // outlive the fields. When given, `malformed` tells, for a text that was not read, whether it
  // certainly is no JSON object for QJsonDocument either (it starts with something else, ends
  // before the object does, or goes on after it), so that it need not be parsed again.
  static std::optional<BridgeFields> fromJsonText(QByteArrayView json, bool* malformed = nullptr);

  // The value under a key, or an undefined value when the object does not have it.
  const BridgeValue& value(int key) const;
  bool contains(int key) const { return slots_[static_cast<std::size_t>(key)] >= 0; }
  bool isEmpty() const { return empty_; }

 private:
  friend class BridgeFieldsBuilder;
  void set(int key, BridgeValue value);

  std::array<std::int16_t, kBridgeKeyCount> slots_;
  QVarLengthArray<BridgeValue, 24> values_;
  bool empty_ = true;
};

// The stringValue of the first key, in order, whose value converts.
std::optional<QString> firstString(const BridgeFields& fields, std::initializer_list<int> keys);

}  // namespace tandrel
