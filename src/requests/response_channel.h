#pragma once

#include "events/bridge_fields.h"

#include <QJsonObject>
#include <QString>
#include <QStringView>

#include <optional>
#include <variant>

namespace tandrel {

// How an answer to a bridge event goes back to its agent.
class ResponseChannel {
 public:
  enum class Kind { decisionFile, decisionCommand, responseFile, responseCommand, localSocket, appServer, none };

  struct DecisionFile {
    QString path;
    bool operator==(const DecisionFile&) const = default;
  };
  struct DecisionCommand {
    QString command;
    bool operator==(const DecisionCommand&) const = default;
  };
  struct ResponseFile {
    QString path;
    bool operator==(const ResponseFile&) const = default;
  };
  struct ResponseCommand {
    QString command;
    bool operator==(const ResponseCommand&) const = default;
  };
  struct LocalSocket {
    QString path;
    QString protocolName;
    bool operator==(const LocalSocket&) const = default;
  };
  struct AppServer {
    QString baseURL;
    QString endpoint;
    bool operator==(const AppServer&) const = default;
  };
  struct None {
    bool operator==(const None&) const = default;
  };

  using Value = std::variant<DecisionFile, DecisionCommand, ResponseFile, ResponseCommand, LocalSocket, AppServer, None>;

  ResponseChannel() : value_(None{}) {}
  ResponseChannel(Value value) : value_(std::move(value)) {}  // NOLINT: implicit by design

  static ResponseChannel decisionFile(QString path) { return ResponseChannel(Value(DecisionFile{std::move(path)})); }
  static ResponseChannel decisionCommand(QString command) { return ResponseChannel(Value(DecisionCommand{std::move(command)})); }
  static ResponseChannel responseFile(QString path) { return ResponseChannel(Value(ResponseFile{std::move(path)})); }
  static ResponseChannel responseCommand(QString command) { return ResponseChannel(Value(ResponseCommand{std::move(command)})); }
  static ResponseChannel localSocket(QString path, QString protocolName) {
    return ResponseChannel(Value(LocalSocket{std::move(path), std::move(protocolName)}));
  }
  static ResponseChannel appServer(QString baseURL, QString endpoint) {
    return ResponseChannel(Value(AppServer{std::move(baseURL), std::move(endpoint)}));
  }
  static ResponseChannel none() { return ResponseChannel(Value(None{})); }

  Kind kind() const { return static_cast<Kind>(value_.index()); }
  const Value& value() const { return value_; }
  template <typename Case>
  const Case* as() const {
    return std::get_if<Case>(&value_);
  }

  bool operator==(const ResponseChannel&) const = default;

  // The channel a bridge record names. `channelObject` is the record's "response" object when it
  // has one, else the record itself. The first of these that is present wins: a response file, a
  // response command, a decision file, a decision command, a socket path (protocol "protocol",
  // default "line_json"), a base URL together with an endpoint; otherwise none (also for a base
  // URL without an endpoint). "decision_path" is not a channel key.
  static ResponseChannel fromBridgeObject(const QJsonObject& channelObject);
  static ResponseChannel fromBridgeFields(const BridgeFields& channelObject);

 private:
  Value value_;
};

// What an answer did.
enum class ResponseReceiptAction { approve, reject, chooseOption, sendInput, ignore };

// What became of an answer: the app writes "submitted" and "failed"; agents report the others.
enum class ResponseReceiptStatus { submitted, accepted, applied, failed, timedOut };

QString rawValue(ResponseReceiptAction action);
QString rawValue(ResponseReceiptStatus status);
std::optional<ResponseReceiptAction> parseResponseReceiptAction(QStringView raw);
std::optional<ResponseReceiptStatus> parseResponseReceiptStatus(QStringView raw);

// The record of one answer delivered to, or acknowledged by, an agent.
struct ResponseReceipt {
  QString eventID;  // the answered event
  ResponseReceiptAction action = ResponseReceiptAction::approve;
  ResponseReceiptStatus status = ResponseReceiptStatus::submitted;
  std::optional<QString> receivedAt;     // ISO-8601 time
  std::optional<QString> sourceEventID;  // the bridge record that reported it, if any
  std::optional<QString> error;

  bool operator==(const ResponseReceipt&) const = default;

  // The receipt an agent reports in a bridge record (`record`, whose own id is `recordEventID`):
  // only for records whose "event_type" (else "type") is "response_receipt". The receipt fields
  // come from the record's "receipt" object when it has one, else from the record itself. A
  // missing target, action or status, or an unknown action or status word, gives nothing.
  static std::optional<ResponseReceipt> fromBridgeRecord(const QJsonObject& record, const QString& recordEventID);
};

}  // namespace tandrel
