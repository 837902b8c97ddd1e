#include "requests/hook_request.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>
#include <QMetaType>
#include <QVariant>

#include <cmath>
#include <limits>

namespace tandrel {
namespace {

// Where in the record a value sits, for error texts: "payload.options[1].label".
QString joinPath(const QString& base, const QString& key) {
  return base.isEmpty() ? key : base + QLatin1Char('.') + key;
}

QString quoted(const QString& path) { return QLatin1Char('"') + path + QLatin1Char('"'); }

Error keyNotFound(const QString& path) {
  return Error{QStringLiteral("key %1 not found").arg(quoted(path))};
}

Error nullValue(const QString& path, const char* expected) {
  return Error{QStringLiteral("value not found at %1: expected %2 but found null")
                   .arg(quoted(path), QLatin1String(expected))};
}

Error typeMismatch(const QString& path, const char* expected) {
  return Error{QStringLiteral("type mismatch at %1: expected %2")
                   .arg(quoted(path), QLatin1String(expected))};
}

// Reads JSON integers strictly: a number with a fractional part, or out of range, is an error.
std::optional<std::int64_t> integerValue(const QJsonValue& value, std::int64_t min,
                                         std::int64_t max) {
  if (!value.isDouble()) {
    return std::nullopt;
  }
  const QVariant variant = value.toVariant();
  std::int64_t result = 0;
  if (variant.typeId() == QMetaType::LongLong) {
    result = variant.toLongLong();
  } else {
    const double number = value.toDouble();
    // 2^63 is the first double past the int64 range.
    if (!std::isfinite(number) || std::trunc(number) != number || number < -9223372036854775808.0 ||
        number >= 9223372036854775808.0) {
      return std::nullopt;
    }
    result = static_cast<std::int64_t>(number);
  }
  if (result < min || result > max) {
    return std::nullopt;
  }
  return result;
}

// Required members.
Result<QString> requiredString(const QJsonObject& object, const QString& key, const QString& base) {
  const QString path = joinPath(base, key);
  const auto it = object.constFind(key);
  if (it == object.constEnd()) {
    return keyNotFound(path);
  }
  if (it->isNull()) {
    return nullValue(path, "a string");
  }
  if (!it->isString()) {
    return typeMismatch(path, "a string");
  }
  return it->toString();
}

Result<std::int64_t> requiredInteger(const QJsonObject& object, const QString& key,
                                     const QString& base, std::int64_t min, std::int64_t max,
                                     const char* expected) {
  const QString path = joinPath(base, key);
  const auto it = object.constFind(key);
  if (it == object.constEnd()) {
    return keyNotFound(path);
  }
  if (it->isNull()) {
    return nullValue(path, expected);
  }
  const auto number = integerValue(*it, min, max);
  if (!number) {
    return typeMismatch(path, expected);
  }
  return *number;
}

Result<std::int64_t> requiredInt64(const QJsonObject& object, const QString& key,
                                   const QString& base) {
  return requiredInteger(object, key, base, std::numeric_limits<std::int64_t>::min(),
                         std::numeric_limits<std::int64_t>::max(), "an integer");
}

// Optional members: absent and null are both "nothing"; any other wrong type is an error.
Result<std::optional<QString>> optionalString(const QJsonObject& object, const QString& key,
                                              const QString& base) {
  const auto it = object.constFind(key);
  if (it == object.constEnd() || it->isNull()) {
    return std::optional<QString>();
  }
  if (!it->isString()) {
    return typeMismatch(joinPath(base, key), "a string");
  }
  return std::optional<QString>(it->toString());
}

Result<HookRequestOption> optionFromJson(const QJsonObject& object, const QString& base) {
  HookRequestOption option;
  auto id = requiredString(object, QStringLiteral("id"), base);
  if (!id) {
    return Error{id.error()};
  }
  auto label = requiredString(object, QStringLiteral("label"), base);
  if (!label) {
    return Error{label.error()};
  }
  auto detail = optionalString(object, QStringLiteral("detail"), base);
  if (!detail) {
    return Error{detail.error()};
  }
  option.id = std::move(id).value();
  option.label = std::move(label).value();
  option.detail = std::move(detail).value();
  return option;
}

Result<HookRequestPayload> payloadFromJson(const QJsonObject& object, const QString& base) {
  HookRequestPayload payload;
  struct StringField {
    const char* key;
    std::optional<QString> HookRequestPayload::*field;
  };
  static const StringField stringFields[] = {
      {"tool", &HookRequestPayload::tool},
      {"command", &HookRequestPayload::command},
      {"cwd", &HookRequestPayload::cwd},
      {"transcript_path", &HookRequestPayload::transcriptPath},
      {"prompt", &HookRequestPayload::prompt},
  };
  for (const StringField& entry : stringFields) {
    auto value = optionalString(object, QLatin1String(entry.key), base);
    if (!value) {
      return Error{value.error()};
    }
    payload.*entry.field = std::move(value).value();
  }

  const QJsonValue multiline = object.value(QLatin1String("multiline"));
  if (multiline.isBool()) {
    payload.multiline = multiline.toBool();
  } else if (!multiline.isNull() && !multiline.isUndefined()) {
    return typeMismatch(joinPath(base, QStringLiteral("multiline")), "a boolean");
  }

  const QJsonValue options = object.value(QLatin1String("options"));
  if (options.isArray()) {
    QList<HookRequestOption> list;
    const QJsonArray array = options.toArray();
    list.reserve(array.size());
    for (qsizetype i = 0; i < array.size(); ++i) {
      const QString path =
          joinPath(base, QStringLiteral("options[%1]").arg(QString::number(i)));
      if (!array.at(i).isObject()) {
        return array.at(i).isNull() ? nullValue(path, "an object")
                                    : typeMismatch(path, "an object");
      }
      auto option = optionFromJson(array.at(i).toObject(), path);
      if (!option) {
        return Error{option.error()};
      }
      list.append(std::move(option).value());
    }
    payload.options = std::move(list);
  } else if (!options.isNull() && !options.isUndefined()) {
    return typeMismatch(joinPath(base, QStringLiteral("options")), "an array");
  }

  const QJsonValue extras = object.value(QLatin1String("extras"));
  if (extras.isObject()) {
    QMap<QString, QString> map;
    const QJsonObject extrasObject = extras.toObject();
    for (auto it = extrasObject.constBegin(); it != extrasObject.constEnd(); ++it) {
      const QString path = joinPath(joinPath(base, QStringLiteral("extras")), it.key());
      if (it->isNull()) {
        return nullValue(path, "a string");
      }
      if (!it->isString()) {
        return typeMismatch(path, "a string");
      }
      map.insert(it.key(), it->toString());
    }
    payload.extras = std::move(map);
  } else if (!extras.isNull() && !extras.isUndefined()) {
    return typeMismatch(joinPath(base, QStringLiteral("extras")), "an object");
  }
  return payload;
}

// Parses JSON text that must be one object.
Result<QJsonObject> parseObject(const QByteArray& json) {
  QJsonParseError parseError;
  const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
  if (parseError.error != QJsonParseError::NoError) {
    return Error{QStringLiteral("the data is not valid JSON (%1 at offset %2)")
                     .arg(parseError.errorString(), QString::number(parseError.offset))};
  }
  if (!document.isObject()) {
    return Error{QStringLiteral("type mismatch at the top level: expected an object")};
  }
  return document.object();
}

}  // namespace

QJsonObject toJson(const HookRequestOption& option) {
  QJsonObject object{{QStringLiteral("id"), option.id}, {QStringLiteral("label"), option.label}};
  if (option.detail) {
    object.insert(QStringLiteral("detail"), *option.detail);
  }
  return object;
}

QJsonObject toJson(const HookRequestPayload& payload) {
  QJsonObject object;
  const auto putString = [&object](const char* key, const std::optional<QString>& value) {
    if (value) {
      object.insert(QLatin1String(key), *value);
    }
  };
  putString("tool", payload.tool);
  putString("command", payload.command);
  putString("cwd", payload.cwd);
  putString("transcript_path", payload.transcriptPath);
  putString("prompt", payload.prompt);
  if (payload.multiline) {
    object.insert(QStringLiteral("multiline"), *payload.multiline);
  }
  if (payload.options) {
    QJsonArray options;
    for (const HookRequestOption& option : *payload.options) {
      options.append(toJson(option));
    }
    object.insert(QStringLiteral("options"), options);
  }
  if (payload.extras) {
    QJsonObject extras;
    for (auto it = payload.extras->constBegin(); it != payload.extras->constEnd(); ++it) {
      extras.insert(it.key(), it.value());
    }
    object.insert(QStringLiteral("extras"), extras);
  }
  return object;
}

QJsonObject toJson(const HookRequest& request) {
  return QJsonObject{
      {QStringLiteral("v"), static_cast<qint64>(request.v)},
      {QStringLiteral("type"), request.type},
      {QStringLiteral("request_id"), request.requestID},
      {QStringLiteral("agent"), request.agent},
      {QStringLiteral("session_id"), request.sessionID},
      {QStringLiteral("agent_pid"), static_cast<qint64>(request.agentPID)},
      {QStringLiteral("kind"), request.kind},
      {QStringLiteral("timeout_seconds"), static_cast<qint64>(request.timeoutSeconds)},
      {QStringLiteral("payload"), toJson(request.payload)},
  };
}

HookReply noDecisionReply(const QString& requestID, const QString& decision) {
  HookReply reply;
  reply.requestID = requestID;
  reply.decision = decision;
  reply.mode = QStringLiteral("once");
  reply.rawAgentPayload = QStringLiteral("{}");
  return reply;
}

QJsonObject toJson(const HookReply& reply) {
  return QJsonObject{
      {QStringLiteral("v"), static_cast<qint64>(reply.v)},
      {QStringLiteral("type"), reply.type},
      {QStringLiteral("request_id"), reply.requestID},
      {QStringLiteral("decision"), reply.decision},
      {QStringLiteral("mode"), reply.mode},
      {QStringLiteral("raw_agent_payload"), reply.rawAgentPayload},
  };
}

Result<HookRequestOption> hookRequestOptionFromJson(const QJsonObject& object) {
  return optionFromJson(object, QString());
}

Result<HookRequestPayload> hookRequestPayloadFromJson(const QJsonObject& object) {
  return payloadFromJson(object, QString());
}

Result<HookRequest> hookRequestFromJson(const QJsonObject& object) {
  HookRequest request;
  const QString top;
  auto v = requiredInt64(object, QStringLiteral("v"), top);
  if (!v) {
    return Error{v.error()};
  }
  request.v = v.value();

  struct StringField {
    const char* key;
    QString HookRequest::*field;
  };
  static const StringField stringFields[] = {
      {"type", &HookRequest::type},
      {"request_id", &HookRequest::requestID},
      {"agent", &HookRequest::agent},
      {"session_id", &HookRequest::sessionID},
  };
  for (const StringField& entry : stringFields) {
    auto value = requiredString(object, QLatin1String(entry.key), top);
    if (!value) {
      return Error{value.error()};
    }
    request.*entry.field = std::move(value).value();
  }

  auto pid = requiredInteger(object, QStringLiteral("agent_pid"), top,
                             std::numeric_limits<std::int32_t>::min(),
                             std::numeric_limits<std::int32_t>::max(), "a 32-bit integer");
  if (!pid) {
    return Error{pid.error()};
  }
  request.agentPID = static_cast<std::int32_t>(pid.value());

  auto kind = requiredString(object, QStringLiteral("kind"), top);
  if (!kind) {
    return Error{kind.error()};
  }
  request.kind = std::move(kind).value();

  auto timeout = requiredInt64(object, QStringLiteral("timeout_seconds"), top);
  if (!timeout) {
    return Error{timeout.error()};
  }
  request.timeoutSeconds = timeout.value();

  const auto payload = object.constFind(QLatin1String("payload"));
  if (payload == object.constEnd()) {
    return keyNotFound(QStringLiteral("payload"));
  }
  if (payload->isNull()) {
    return nullValue(QStringLiteral("payload"), "an object");
  }
  if (!payload->isObject()) {
    return typeMismatch(QStringLiteral("payload"), "an object");
  }
  auto decoded = payloadFromJson(payload->toObject(), QStringLiteral("payload"));
  if (!decoded) {
    return Error{decoded.error()};
  }
  request.payload = std::move(decoded).value();
  return request;
}

Result<HookReply> hookReplyFromJson(const QJsonObject& object) {
  HookReply reply;
  auto v = requiredInt64(object, QStringLiteral("v"), QString());
  if (!v) {
    return Error{v.error()};
  }
  reply.v = v.value();
  struct StringField {
    const char* key;
    QString HookReply::*field;
  };
  static const StringField stringFields[] = {
      {"type", &HookReply::type},
      {"request_id", &HookReply::requestID},
      {"decision", &HookReply::decision},
      {"mode", &HookReply::mode},
      {"raw_agent_payload", &HookReply::rawAgentPayload},
  };
  for (const StringField& entry : stringFields) {
    auto value = requiredString(object, QLatin1String(entry.key), QString());
    if (!value) {
      return Error{value.error()};
    }
    reply.*entry.field = std::move(value).value();
  }
  return reply;
}

Result<HookRequest> decodeHookRequest(const QByteArray& json) {
  auto object = parseObject(json);
  if (!object) {
    return Error{object.error()};
  }
  return hookRequestFromJson(object.value());
}

Result<HookReply> decodeHookReply(const QByteArray& json) {
  auto object = parseObject(json);
  if (!object) {
    return Error{object.error()};
  }
  return hookReplyFromJson(object.value());
}

}  // namespace tandrel
