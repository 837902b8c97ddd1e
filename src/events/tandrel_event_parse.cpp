// Reading one bridge record into a TandrelEvent. This runs for every line of the bridge file and
// is the first code that meets what agents write, so it never fails on a value of the wrong type:
// such a value counts as absent and the field takes its default.
#include "events/tandrel_event.h"

#include "events/bridge_fields.h"
#include "events/bridge_line_reader.h"
#include "events/bridge_values.h"
#include "catalog/paths.h"
#include "events/text_memo.h"
#include "catalog/tool_catalog.h"
#include "usage/usage_dates.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonParseError>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>

namespace tandrel {
namespace {

consteval int K(std::string_view name) { return bridgeKey(name); }

// The value under `key` read by `read`, first in `preferred`, then in `fallback`.
template <typename Read>
auto firstIn(const std::optional<BridgeFields>& preferred, const BridgeFields& fallback, int key, Read read)
    -> decltype(read(BridgeValue())) {
  if (preferred) {
    if (auto value = read(preferred->value(key))) {
      return value;
    }
  }
  return read(fallback.value(key));
}

// The preview texts: first the "preview" object's keys, then the top-level ones.
QString previewText(const std::optional<BridgeFields>& preview, std::initializer_list<int> previewKeys,
                    const BridgeFields& record, std::initializer_list<int> recordKeys) {
  std::optional<QString> found;
  if (preview) {
    found = firstString(*preview, previewKeys);
  }
  if (!found) {
    found = firstString(record, recordKeys);
  }
  return found ? shortPreviewText(*found, 240) : QString();
}

// "options": an array of objects; each with both "id" and "label" becomes one option.
QList<MessageOption> readChoiceOptions(const BridgeValue& value) {
  if (!value.isArray()) {
    return {};
  }
  const QList<BridgeValue> elements = value.elements();
  for (const BridgeValue& element : elements) {
    if (!element.isObject()) {
      return {};
    }
  }
  QList<MessageOption> options;
  for (const BridgeValue& element : elements) {
    const BridgeFields object = element.fields();
    auto id = stringValue(object.value(K("id")));
    auto label = stringValue(object.value(K("label")));
    if (!id || !label) {
      continue;
    }
    std::optional<MessageRisk> risk;
    if (const auto riskText = stringValue(object.value(K("risk")))) {
      risk = parseMessageRisk(*riskText);
    }
    options.append(MessageOption{std::move(*id), std::move(*label), firstString(object, {K("description"), K("detail")}),
                                 risk, firstString(object, {K("disabled_reason"), K("disabledReason")})});
  }
  return options;
}

SourceEventClass sourceEventClass(const QString& source, const QString& sourceType) {
  const QString lowerSource = source.toLower();
  const QString lowerType = sourceType.toLower();
  if (lowerType.contains(QLatin1String("loader"))) {
    return SourceEventClass::stableLocalLoader;
  }
  if (lowerType.contains(QLatin1String("remote")) || lowerType.contains(QLatin1String("webhook"))) {
    return SourceEventClass::remoteOptIn;
  }
  // "wrapper" itself contains "app"; only an "app" outside it makes an app source, or no emitter
  // could ever be classed as a wrapper.
  const auto mentionsApp = [](QString text) {
    return text.remove(QLatin1String("wrapper")).contains(QLatin1String("app"));
  };
  if (mentionsApp(lowerSource) || mentionsApp(lowerType)) {
    return SourceEventClass::jumpOnly;
  }
  if (lowerType.contains(QLatin1String("wrapper"))) {
    return SourceEventClass::wrapperExplicit;
  }
  return SourceEventClass::officialPush;
}

QString derivedPhase(const QString& eventType, const QString& status) {
  if (eventType == QLatin1String("task_started")) {
    return QStringLiteral("started");
  }
  if (eventType == QLatin1String("planning") || eventType == QLatin1String("thinking")) {
    return eventType;
  }
  if (eventType == QLatin1String("task_updated") || eventType == QLatin1String("working")) {
    return QStringLiteral("runningTool");
  }
  if (eventType == QLatin1String("waiting_input") || eventType == QLatin1String("permission_request") ||
      eventType == QLatin1String("plan_ready")) {
    return QStringLiteral("waitingHuman");
  }
  if (eventType == QLatin1String("task_completed")) {
    return QStringLiteral("completed");
  }
  if (eventType == QLatin1String("task_failed")) {
    return QStringLiteral("failed");
  }
  if (eventType == QLatin1String("task_cancelled") || eventType == QLatin1String("cancelled")) {
    return QStringLiteral("cancelled");
  }
  return QString(status).remove(QLatin1Char('_'));
}

QString derivedNotifyPolicy(const QString& eventType, const QString& status) {
  if (eventType == QLatin1String("permission_request") || eventType == QLatin1String("waiting_input") ||
      eventType == QLatin1String("plan_ready")) {
    return QStringLiteral("immediate");
  }
  if (eventType == QLatin1String("task_completed") || status == QLatin1String("completed")) {
    return QStringLiteral("milestone");
  }
  return QStringLiteral("silent");
}

// Python's json module writes NaN, Infinity and -Infinity, and a number beyond the range of a
// double ("1e400") is valid JSON that Qt's parser refuses; either would cost the whole record. The
// line with each such number outside strings read as null (an underflow such as "1e-400" as 0), or
// nothing when there is none.
std::optional<QByteArray> withNonFiniteNumbersReplaced(const QByteArray& line) {
  QByteArray out;
  out.reserve(line.size());
  bool changed = false;
  const qsizetype size = line.size();
  qsizetype i = 0;
  while (i < size) {
    const char c = line[i];
    if (c == '"') {
      const qsizetype start = i++;
      while (i < size && line[i] != '"') {
        i += line[i] == '\\' ? 2 : 1;
      }
      i = std::min(i + 1, size);
      out.append(line.constData() + start, i - start);
      continue;
    }
    const bool sign = c == '-' || c == '+';
    const char next = sign && i + 1 < size ? line[i + 1] : c;
    if ((next >= '0' && next <= '9') || next == '.') {
      qsizetype end = i + 1;
      while (end < size && (std::isdigit(static_cast<unsigned char>(line[end])) || line[end] == '.' ||
                            line[end] == 'e' || line[end] == 'E' || line[end] == '-' || line[end] == '+')) {
        ++end;
      }
      const QByteArray token = line.mid(i, end - i);
      double value = 0;
      const char* first = token.constData() + (token.startsWith('+') ? 1 : 0);
      const auto result = std::from_chars(first, token.constData() + token.size(), value);
      if (result.ec == std::errc::result_out_of_range) {
        const qsizetype exponent = std::max(token.indexOf('e'), token.indexOf('E'));
        const bool underflow = exponent >= 0 && token.indexOf('-', exponent) > exponent;
        out.append(underflow ? "0" : "null");
        changed = true;
      } else {
        out.append(token);
      }
      i = end;
      continue;
    }
    bool replaced = false;
    for (const char* word : {"NaN", "Infinity", "-Infinity", "+Infinity"}) {
      const qsizetype length = static_cast<qsizetype>(std::strlen(word));
      if (QByteArrayView(line).sliced(i).startsWith(QByteArrayView(word, length))) {
        out.append("null");
        i += length;
        changed = replaced = true;
        break;
      }
    }
    if (!replaced) {
      out.append(c);
      ++i;
    }
  }
  if (!changed) {
    return std::nullopt;
  }
  return out;
}

// The event of one record whose known keys are filed in `d`. The whole record, which only a
// response receipt needs, is `dictionary` when given, else the JSON text `json`.
std::optional<TandrelEvent> eventFromFields(const BridgeFields& d, const QJsonObject* dictionary, QByteArrayView json,
                                            const std::optional<QDateTime>& now) {
  // 1. Only a text "event_id" is required; it is kept as given.
  const BridgeValue& idValue = d.value(K("event_id"));
  if (d.isEmpty() || !idValue.isString()) {
    return std::nullopt;
  }
  const auto text = [&d](int key) { return stringValue(d.value(key)); };
  const auto first = [&d](std::initializer_list<int> keys) { return firstString(d, keys); };
  TandrelEvent e;
  e.id = idValue.string();

  // 2-10. Identity of the emitter, the task and its folder.
  e.source = text(K("source")).value_or(QStringLiteral("unknown"));
  if (auto cwd = text(K("cwd"))) {
    e.cwd = std::move(*cwd);
    e.hasExplicitCwd = true;
  } else {
    e.cwd = QDir::homePath();
  }
  e.eventType = text(K("event_type")).value_or(QStringLiteral("task_updated"));
  e.status = text(K("status")).value_or(e.eventType);
  e.sessionId = first({K("session_id"), K("sessionId"), K("conversation_id"), K("thread_id"), K("thread-id")});
  e.turnId = first({K("turn_id"), K("turnId"), K("turn"), K("nonce")});
  e.pid = first({K("pid"), K("process_id"), K("processId")});
  std::optional<QString> givenTaskKey = first({K("task_key"), K("taskKey")});
  e.project = text(K("project")).value_or(basename(e.cwd));

  // 11. The "action" object of a request.
  if (const BridgeValue& actionValue = d.value(K("action")); actionValue.isObject()) {
    const BridgeFields action = actionValue.fields();
    const BridgeValue& risk = action.value(K("risk"));
    e.risk = risk.isString() ? risk.string() : QString();
    const BridgeValue& kind = action.value(K("kind"));
    e.actionKind = kind.isString() ? kind.string() : QString();
    for (const int key : {K("decision_file"), K("decisionFile"), K("decision_path")}) {
      if (const BridgeValue& path = action.value(key); path.isString()) {
        if (auto text = nonEmptyString(path.string())) {
          e.decisionFile = std::move(text);
          break;
        }
      }
    }
    e.decisionCommand = firstString(action, {K("decision_command"), K("decisionCommand")});
  }

  // 12-21. Texts of the card.
  e.sourceType = text(K("source_type")).value_or(QStringLiteral("cli_agent"));
  e.severity = text(K("severity")).value_or(QStringLiteral("info"));
  const QString displayName = memoised<&toolDisplayName>(e.source);
  e.title = text(K("title")).value_or(displayName + QLatin1String(" event"));
  e.message = text(K("message")).value_or(QString());
  e.completionSnippet =
      first({K("completion_snippet"), K("completionSnippet"), K("assistant_message"), K("assistantMessage")});
  const BridgeValue& previewValue = d.value(K("preview"));
  const std::optional<BridgeFields> preview =
      previewValue.isObject() ? std::optional<BridgeFields>(previewValue.fields()) : std::nullopt;
  e.preview.user = previewText(preview, {K("user"), K("prompt")}, d,
                               {K("user_message"), K("userMessage"), K("latest_user_question"),
                                K("latestUserQuestion"), K("user_question"), K("userQuestion"), K("prompt")});
  e.preview.agent = previewText(preview, {K("agent"), K("assistant")}, d,
                                {K("agent_message"), K("agentMessage"), K("assistant_message"), K("assistantMessage"),
                                 K("agent_response"), K("agentResponse"), K("assistant_response"),
                                 K("assistantResponse")});
  e.toolName = text(K("tool_name")).value_or(QString());
  e.rawTimestamp = text(K("timestamp")).value_or(QString());
  e.terminal = first({K("terminal"), K("terminal_id"), K("terminalId")});
  e.transcriptPath = first({K("transcript_path"), K("transcriptPath")});

  // 22-23. Where a Jump goes: the first jump key holding an object, and the free-form text.
  for (const int key : {K("jump_target"), K("jumpTarget"), K("jump")}) {
    if (const BridgeValue& object = d.value(key); object.isObject()) {
      e.typedJumpTarget = JumpTarget::fromBridgeObject(object.toObject());
      break;
    }
  }
  e.jumpTarget = first({K("jump_target"), K("jumpTarget")});

  // 24-28. Answers: a reported receipt, the offered choices, the channel and the note.
  if (first({K("event_type"), K("type")}) == QLatin1String("response_receipt")) {
    e.responseReceipt = ResponseReceipt::fromBridgeRecord(
        dictionary ? *dictionary
                   : QJsonDocument::fromJson(QByteArray::fromRawData(json.data(), json.size())).object(),
        e.id);
  }
  e.choiceOptions = readChoiceOptions(d.value(K("options")));
  e.selectionMode = text(K("selection_mode")) == QLatin1String("multiple") ? MessageSelectionMode::multiple
                                                                            : MessageSelectionMode::single;
  const BridgeValue& responseValue = d.value(K("response"));
  std::optional<BridgeFields> response;
  if (responseValue.isObject()) {
    response = responseValue.fields();
  }
  e.responseChannel = ResponseChannel::fromBridgeFields(response ? *response : d);
  const auto boolOf = [](const BridgeValue& value) { return boolValue(value); };
  const auto stringOf = [](const BridgeValue& value) { return stringValue(value); };
  const auto intOf = [](const BridgeValue& value) { return intValue(value); };
  e.noteEnabled = firstIn(response, d, K("note_enabled"), boolOf).value_or(!e.choiceOptions.isEmpty());
  e.notePlaceholder =
      firstIn(response, d, K("note_placeholder"), stringOf).value_or(QStringLiteral("Add context"));
  e.noteMaxLength = firstIn(response, d, K("note_max_length"), intOf).value_or(500);

  // 29-30. What the emitter is and can do.
  e.sourceClass = sourceEventClass(e.source, e.sourceType);
  e.sourceCapabilities.append(SourceCapability::messages);
  const BridgeValue& usageValue = d.value(K("usage"));
  if (usageValue.isObject()) {
    e.sourceCapabilities.append(SourceCapability::usage);
  }
  if (e.decisionFile || e.decisionCommand) {
    e.sourceCapabilities.append(SourceCapability::approval);
  }
  const auto channelKind = e.responseChannel.kind();
  if ((channelKind == ResponseChannel::Kind::decisionFile || channelKind == ResponseChannel::Kind::responseFile) &&
      !e.choiceOptions.isEmpty()) {
    e.sourceCapabilities.append(SourceCapability::choice);
  }
  if (e.eventType == QLatin1String("waiting_input") || e.eventType == QLatin1String("plan_ready")) {
    e.sourceCapabilities.append(SourceCapability::input);
  }
  if (e.typedJumpTarget || e.jumpTarget || e.transcriptPath || e.hasExplicitCwd) {
    e.sourceCapabilities.append(SourceCapability::jump);
  }

  // 31-35. Lifecycle and grouping.
  e.phase = text(K("phase")).value_or(QString());
  if (e.phase.isEmpty()) {
    e.phase = derivedPhase(e.eventType, e.status);
  }
  e.milestone = text(K("milestone"));
  e.notifyPolicy =
      first({K("notify_policy"), K("notifyPolicy")}).value_or(derivedNotifyPolicy(e.eventType, e.status));
  e.rawEventName = first({K("raw_event_name"), K("rawEventName"), K("hook_event_name"), K("hookEventName")});
  e.requestKey = first({K("request_key")});
  e.taskKey = givenTaskKey ? std::move(*givenTaskKey)
                           : makeTaskKeyForTool(displayName, e.sessionId, e.turnId, e.cwd, e.pid, e.project);

  // 36-37. Usage and time.
  const std::optional<QDateTime> date = parseUsageDate(e.rawTimestamp);
  if (usageValue.isObject()) {
    e.usage = makeUsageSnapshot(usageValue.fields(), displayName, e.source, e.rawTimestamp, date, now);
  }
  e.timestamp = date.value_or(distantPast());
  return e;
}

}  // namespace

DirectBridgeLine readBridgeLineDirectly(QByteArrayView line, const std::optional<QDateTime>& now) {
  bool malformed = false;
  const std::optional<BridgeFields> fields = BridgeFields::fromJsonText(line, &malformed);
  if (!fields) {
    return {false, std::nullopt, malformed};
  }
  return {true, eventFromFields(*fields, nullptr, line, now), false};
}

std::optional<TandrelEvent> readBridgeLineThroughDocument(const QByteArray& line,
                                                          const std::optional<QDateTime>& now) {
  QJsonParseError error{};
  QJsonDocument document = QJsonDocument::fromJson(line, &error);
  if (error.error == QJsonParseError::IllegalNumber || error.error == QJsonParseError::IllegalValue) {
    if (const auto repaired = withNonFiniteNumbersReplaced(line)) {
      document = QJsonDocument::fromJson(*repaired, &error);
    }
  }
  if (error.error != QJsonParseError::NoError || !document.isObject()) {
    return std::nullopt;
  }
  const QJsonObject dictionary = document.object();
  return eventFromFields(BridgeFields(dictionary), &dictionary, {}, now);
}

std::optional<TandrelEvent> TandrelEvent::fromBridgeLine(const QByteArray& line) {
  DirectBridgeLine direct = readBridgeLineDirectly(line);
  if (direct.read || direct.malformed) {
    return std::move(direct.event);  // junk costs one parse, like a good line
  }
  return readBridgeLineThroughDocument(line);
}

std::optional<TandrelEvent> TandrelEvent::fromDictionary(const QJsonObject& dictionary) {
  return eventFromFields(BridgeFields(dictionary), &dictionary, {}, std::nullopt);
}

}  // namespace tandrel
