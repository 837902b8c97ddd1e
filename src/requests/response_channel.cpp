#include "requests/response_channel.h"

#include "events/bridge_values.h"
#include "events/raw_value_table.h"

namespace tandrel {
namespace {

consteval int K(std::string_view name) { return bridgeKey(name); }

constexpr RawValueTable<ResponseReceiptAction, 5> kActions{{
    {ResponseReceiptAction::approve, "approve"},
    {ResponseReceiptAction::reject, "reject"},
    {ResponseReceiptAction::chooseOption, "choose_option"},
    {ResponseReceiptAction::sendInput, "send_input"},
    {ResponseReceiptAction::ignore, "ignore"},
}};

constexpr RawValueTable<ResponseReceiptStatus, 5> kStatuses{{
    {ResponseReceiptStatus::submitted, "submitted"},
    {ResponseReceiptStatus::accepted, "accepted"},
    {ResponseReceiptStatus::applied, "applied"},
    {ResponseReceiptStatus::failed, "failed"},
    {ResponseReceiptStatus::timedOut, "timed_out"},
}};

}  // namespace

ResponseChannel ResponseChannel::fromBridgeObject(const QJsonObject& channelObject) {
  return fromBridgeFields(BridgeFields(channelObject));
}

ResponseChannel ResponseChannel::fromBridgeFields(const BridgeFields& channel) {
  if (auto path = firstString(channel, {K("response_file"), K("responseFile")})) {
    return responseFile(std::move(*path));
  }
  if (auto command = firstString(channel, {K("response_command"), K("responseCommand")})) {
    return responseCommand(std::move(*command));
  }
  if (auto path = firstString(channel, {K("decision_file"), K("decisionFile")})) {
    return decisionFile(std::move(*path));
  }
  if (auto command = firstString(channel, {K("decision_command"), K("decisionCommand")})) {
    return decisionCommand(std::move(*command));
  }
  if (auto path = firstString(channel, {K("socket_path"), K("socketPath")})) {
    return localSocket(std::move(*path), firstString(channel, {K("protocol")}).value_or(QStringLiteral("line_json")));
  }
  if (auto baseURL = firstString(channel, {K("base_url"), K("baseURL")})) {
    if (auto endpoint = firstString(channel, {K("endpoint")})) {
      return appServer(std::move(*baseURL), std::move(*endpoint));
    }
  }
  return none();
}

QString rawValue(ResponseReceiptAction action) { return rawValueIn(kActions, action); }
QString rawValue(ResponseReceiptStatus status) { return rawValueIn(kStatuses, status); }

std::optional<ResponseReceiptAction> parseResponseReceiptAction(QStringView raw) {
  return parseRawValueIn(kActions, raw);
}

std::optional<ResponseReceiptStatus> parseResponseReceiptStatus(QStringView raw) {
  return parseRawValueIn(kStatuses, raw);
}

std::optional<ResponseReceipt> ResponseReceipt::fromBridgeRecord(const QJsonObject& record,
                                                                  const QString& recordEventID) {
  const auto type = firstString(record, {QLatin1String("event_type"), QLatin1String("type")});
  if (type != QLatin1String("response_receipt")) {
    return std::nullopt;
  }
  const QJsonValue nested = record.value(QLatin1String("receipt"));
  const QJsonObject receipt = nested.isObject() ? nested.toObject() : record;

  auto target = firstString(receipt, {QLatin1String("target_event_id"), QLatin1String("targetEventID"),
                                      QLatin1String("response_event_id"), QLatin1String("responseEventID"),
                                      QLatin1String("event_id")});
  const auto actionText = firstString(receipt, {QLatin1String("action")});
  const auto statusText =
      firstString(receipt, {QLatin1String("receipt_status"), QLatin1String("receiptStatus"), QLatin1String("status")});
  if (!target || !actionText || !statusText) {
    return std::nullopt;
  }
  const auto action = parseResponseReceiptAction(*actionText);
  const auto status = parseResponseReceiptStatus(*statusText);
  if (!action || !status) {
    return std::nullopt;
  }
  auto receivedAt = firstString(receipt, {QLatin1String("received_at"), QLatin1String("receivedAt")});
  if (!receivedAt) {
    receivedAt = firstString(record, {QLatin1String("timestamp")});
  }
  return ResponseReceipt{std::move(*target), *action,           *status, std::move(receivedAt), recordEventID,
                         firstString(receipt, {QLatin1String("error")})};
}

}  // namespace tandrel
