#include "selfcheck/functional/message_action_functional_tests.h"

#include "events/event_store.h"
#include "requests/message_action_dispatcher.h"
#include "selfcheck/fixture_builders.h"
#include "selfcheck/functional/check_store.h"
#include "selfcheck/harness.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

namespace tandrel {

namespace {

const QString kChoiceOptions[][2] = {{QStringLiteral("a"), QStringLiteral("方案 A")}, {QStringLiteral("b"), QStringLiteral("方案 B")}};

QJsonArray optionList(std::initializer_list<std::pair<QString, QString>> options) {
  QJsonArray list;
  for (const auto& [id, label] : options) list.append(QJsonObject{{QStringLiteral("id"), id}, {QStringLiteral("label"), label}});
  return list;
}

QJsonArray fixtureChoices() {
  return optionList({{kChoiceOptions[0][0], kChoiceOptions[0][1]}, {kChoiceOptions[1][0], kChoiceOptions[1][1]}});
}

QJsonObject responseFile(const QString& path) { return {{QStringLiteral("response_file"), path}}; }

// A file's text; empty when it cannot be read.
QString textOf(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

const IslandMessage* cardOf(const std::vector<IslandMessage>& messages, const QString& eventID) {
  const auto found = std::find_if(messages.begin(), messages.end(),
                                  [&](const IslandMessage& message) { return message.event.id == eventID; });
  return found == messages.end() ? nullptr : &*found;
}

std::optional<MessageOption> optionOf(const IslandMessage& message, const QString& id) {
  for (const MessageOption& option : message.choiceOptions) {
    if (option.id == id) return option;
  }
  return std::nullopt;
}

// Delivers one answer; its result, or nothing when the delivery has not finished when submit
// returns (only commands that run finish later).
std::optional<MessageActionResult> submitNow(MessageActionDispatcher& dispatcher, const QString& eventID,
                                             ResponseReceiptAction action, const ResponseChannel& channel,
                                             const std::optional<MessageOption>& option,
                                             const std::optional<QString>& note, qint64 second) {
  const auto result = std::make_shared<std::optional<MessageActionResult>>();
  dispatcher.submit(eventID, action, channel, option, note, QDateTime::fromSecsSinceEpoch(second, Qt::UTC), QString(),
                    [result](MessageActionResult done) { *result = std::move(done); });
  return *result;
}

std::optional<ActionResult> chooseNow(EventStore& store, const IslandMessage& message, const MessageOption& option,
                                      const QString& note) {
  const auto result = std::make_shared<std::optional<ActionResult>>();
  store.performChoice(message, option, note, [result](ActionResult done) { *result = std::move(done); });
  return *result;
}

bool receiptIs(const ResponseReceiptStore& receipts, const QString& eventID, ResponseReceiptStatus status,
               ResponseReceiptAction action, const std::optional<QString>& error = std::nullopt) {
  const std::optional<ResponseReceipt> receipt = receipts.latestReceipt(eventID);
  return receipt && receipt->status == status && receipt->action == action && (!error || receipt->error == error);
}

}  // namespace

bool messageActionDispatcherFunctionalTest(const QString& tempRoot) {
  const QString choiceFile = scratchPath(tempRoot, QStringLiteral("choice-response.json"));
  const QString decisionFile = scratchPath(tempRoot, QStringLiteral("decision-response.json"));
  const QString marker = scratchPath(tempRoot, QStringLiteral("command-response-ran"));
  QFile::remove(marker);

  ResponseReceiptStore receipts;
  MessageActionDispatcher dispatcher(receipts, false, 10);
  const MessageOption optionA{kChoiceOptions[0][0], kChoiceOptions[0][1], std::nullopt, std::nullopt, std::nullopt};
  const MessageOption optionB{kChoiceOptions[1][0], kChoiceOptions[1][1], std::nullopt, std::nullopt, std::nullopt};
  QString quoted = marker;
  quoted.replace(QStringLiteral("'"), QStringLiteral("'\\''"));
  const QString command = QStringLiteral("/usr/bin/touch '") + quoted + QStringLiteral("'; /usr/bin/true");
  using Action = ResponseReceiptAction;
  using Status = ResponseReceiptStatus;

  const auto choice = submitNow(dispatcher, QStringLiteral("choice-submit"), Action::chooseOption,
                                ResponseChannel::responseFile(choiceFile), optionB,
                                QStringLiteral("ship the normalized model"), 1);
  const auto noChannel = submitNow(dispatcher, QStringLiteral("no-channel-submit"), Action::sendInput,
                                   ResponseChannel::none(), std::nullopt, QStringLiteral("missing channel"), 2);
  const auto decision = submitNow(dispatcher, QStringLiteral("decision-submit"), Action::approve,
                                  ResponseChannel::decisionFile(decisionFile), std::nullopt, std::nullopt, 3);
  const auto refused = submitNow(dispatcher, QStringLiteral("command-submit"), Action::chooseOption,
                                 ResponseChannel::responseCommand(command), optionA, std::nullopt, 4);

  const QString refusal = QStringLiteral("Command response channels require a trusted adapter.");
  const QString choiceText = textOf(choiceFile);
  const QString decisionText = textOf(decisionFile);
  return choice && choice->succeeded && choiceText.contains(QStringLiteral("\"action\":\"choose_option\"")) &&
         choiceText.contains(QStringLiteral("\"option_id\":\"b\"")) &&
         choiceText.contains(QStringLiteral("\"note\":\"ship the normalized model\"")) &&
         receiptIs(receipts, QStringLiteral("choice-submit"), Status::submitted, Action::chooseOption) &&
         noChannel && !noChannel->succeeded &&
         receiptIs(receipts, QStringLiteral("no-channel-submit"), Status::failed, Action::sendInput) && decision &&
         decision->succeeded && decisionText.contains(QStringLiteral("\"action\":\"approve\"")) &&
         decisionText.contains(QStringLiteral("\"decision\":\"allow\"")) &&
         receiptIs(receipts, QStringLiteral("decision-submit"), Status::submitted, Action::approve) && refused &&
         !refused->succeeded && refused->error == refusal &&
         receiptIs(receipts, QStringLiteral("command-submit"), Status::failed, Action::chooseOption, refusal) &&
         !QFileInfo::exists(marker);
}

bool eventStoreChoiceMessageFunctionalTest(const QString& tempRoot) {
  const QString eventFile = scratchPath(tempRoot, QStringLiteral("choice-events.jsonl"));
  const QString response = scratchPath(tempRoot, QStringLiteral("choice-response.json"));
  const std::vector<QJsonObject> records = {
      testEvent(QStringLiteral("choice-store"), QStringLiteral("codex"), QStringLiteral("waiting_input"),
                QStringLiteral("warning"), QStringLiteral("Choose an implementation path"), QStringLiteral("Pick one"),
                std::nullopt, std::nullopt, std::nullopt,
                {{QStringLiteral("options"), fixtureChoices()}, {QStringLiteral("response"), responseFile(response)}}),
      testEvent(QStringLiteral("failed-store"), QStringLiteral("codex"), QStringLiteral("task_failed"),
                QStringLiteral("critical"), QStringLiteral("Codex failed"), QStringLiteral("Tests failed")),
  };
  if (!writeJSONLines(records, eventFile)) return false;
  EventStore store(storeOptionsWithoutAgentFolders(eventFile, scratchPath(tempRoot, QStringLiteral("choice-audit-store.jsonl"))));
  store.reload(false);
  const IslandMessage* card = cardOf(store.allMessages(), QStringLiteral("choice-store"));
  if (!card) return false;
  QStringList labels;
  QStringList roles;
  for (const IslandButton& button : card->buttons) {
    labels << button.label;
    roles << button.role;
  }
  QStringList optionIDs;
  for (const MessageOption& option : card->choiceOptions) optionIDs << option.id;
  return card->normalized && card->normalized->intent == MessageIntent::choiceRequest &&
         labels == QStringList({"Jump", "Ignore"}) && roles == QStringList({"jump", "ignore"}) &&
         optionIDs == QStringList({"a", "b"}) && card->responseChannel == ResponseChannel::responseFile(response) &&
         !cardOf(store.allMessages(), QStringLiteral("failed-store"));
}

bool eventStoreChoiceDispatchFunctionalTest(const QString& tempRoot) {
  const QString eventFile = scratchPath(tempRoot, QStringLiteral("choice-dispatch-events.jsonl"));
  const QString response = scratchPath(tempRoot, QStringLiteral("choice-dispatch-response.json"));
  const QString auditFile = scratchPath(tempRoot, QStringLiteral("choice-audit.jsonl"));
  const std::vector<QJsonObject> records = {
      testEvent(QStringLiteral("choice-dispatch"), QStringLiteral("codex"), QStringLiteral("waiting_input"),
                QStringLiteral("warning"), QStringLiteral("Choose"), QStringLiteral("Pick B"), std::nullopt,
                std::nullopt, std::nullopt,
                {{QStringLiteral("options"), fixtureChoices()}, {QStringLiteral("response"), responseFile(response)}}),
      testEvent(QStringLiteral("choice-dispatch-no-channel"), QStringLiteral("codex"), QStringLiteral("waiting_input"),
                QStringLiteral("warning"), QStringLiteral("Choose without a channel"),
                QStringLiteral("Pick an option without a response channel"), std::nullopt, std::nullopt, std::nullopt,
                {{QStringLiteral("options"), optionList({{QStringLiteral("offline"), QStringLiteral("Offline")},
                                                         {QStringLiteral("defer"), QStringLiteral("Defer")}})}}),
  };
  if (!writeJSONLines(records, eventFile)) return false;
  QFile::remove(response);
  QFile::remove(auditFile);
  EventStore store(storeOptionsWithoutAgentFolders(eventFile, auditFile));
  store.reload(false);
  const std::vector<IslandMessage> messages = store.allMessages();
  const IslandMessage* answered = cardOf(messages, QStringLiteral("choice-dispatch"));
  const IslandMessage* offline = cardOf(messages, QStringLiteral("choice-dispatch-no-channel"));
  const std::optional<MessageOption> optionB = answered ? optionOf(*answered, QStringLiteral("b")) : std::nullopt;
  const std::optional<MessageOption> optionOffline = offline ? optionOf(*offline, QStringLiteral("offline")) : std::nullopt;
  if (!optionB || !optionOffline) return false;

  const std::optional<ActionResult> first = chooseNow(store, *answered, *optionB, QStringLiteral("prefer normalized action model"));
  const qint64 revision = store.revision();
  const std::optional<ActionResult> second = chooseNow(store, *offline, *optionOffline, QString());

  const QString responseText = textOf(response);
  const QString auditText = textOf(auditFile);
  bool failureAudited = false;
  for (const QString& line : auditText.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
    const QJsonObject object = QJsonDocument::fromJson(line.toUtf8()).object();
    if (object.value(QStringLiteral("role")).toString() == u"choose_option_failed" &&
        object.value(QStringLiteral("event_id")).toString() == u"choice-dispatch-no-channel") {
      failureAudited = object.value(QStringLiteral("option_id")) == QJsonValue(QStringLiteral("offline"));
      break;
    }
  }
  return first && first->succeeded && responseText.contains(QStringLiteral("\"option_id\":\"b\"")) &&
         responseText.contains(QStringLiteral("\"note\":\"prefer normalized action model\"")) &&
         auditText.contains(QStringLiteral("\"option_id\":\"b\"")) && auditText.contains(QStringLiteral("\"note_present\":true")) &&
         !cardOf(store.allMessages(), QStringLiteral("choice-dispatch")) &&
         offline->responseChannel == ResponseChannel::none() && second && !second->succeeded &&
         cardOf(store.allMessages(), QStringLiteral("choice-dispatch-no-channel")) && store.revision() == revision &&
         failureAudited;
}

bool responseReceiptIngestionFunctionalTest(const QString& tempRoot) {
  const QString eventFile = scratchPath(tempRoot, QStringLiteral("receipt-events.jsonl"));
  const std::vector<QJsonObject> records = {
      testEvent(QStringLiteral("receipt-choice"), QStringLiteral("codex"), QStringLiteral("waiting_input"),
                QStringLiteral("warning"), QStringLiteral("Choose"), QStringLiteral("Pick one"), std::nullopt,
                std::nullopt, std::nullopt,
                {{QStringLiteral("options"), fixtureChoices()},
                 {QStringLiteral("response"), responseFile(scratchPath(tempRoot, QStringLiteral("receipt-response.json")))}}),
      testEvent(QStringLiteral("receipt-failed-source"), QStringLiteral("codex"), QStringLiteral("response_receipt"),
                QStringLiteral("warning"), QStringLiteral("Receipt failed"), QStringLiteral("Adapter failed"),
                std::nullopt, std::nullopt, QStringLiteral("2026-05-11T13:00:00Z"),
                {{QStringLiteral("target_event_id"), QStringLiteral("receipt-choice")},
                 {QStringLiteral("action"), QStringLiteral("choose_option")},
                 {QStringLiteral("receipt_status"), QStringLiteral("failed")},
                 {QStringLiteral("error"), QStringLiteral("Adapter rejected response")}}),
  };
  if (!writeJSONLines(records, eventFile)) return false;
  EventStore store(storeOptionsWithoutAgentFolders(eventFile, scratchPath(tempRoot, QStringLiteral("receipt-audit.jsonl"))));
  store.reload(false);
  if (!receiptIs(store.responseReceipts(), QStringLiteral("receipt-choice"), ResponseReceiptStatus::failed,
                 ResponseReceiptAction::chooseOption, QStringLiteral("Adapter rejected response"))) {
    return false;
  }
  // The failure is surfaced as an integration notice among the store's events, not as a card.
  const std::vector<TandrelEvent>& events = store.events();
  const bool noticed = std::any_of(events.begin(), events.end(), [](const TandrelEvent& event) {
    return event.eventType == u"integration_notice" && event.message == u"Adapter rejected response";
  });
  const std::vector<IslandMessage>& messages = store.allMessages();
  return noticed && !cardOf(messages, QStringLiteral("receipt-failed-source")) &&
         std::none_of(messages.begin(), messages.end(),
                      [](const IslandMessage& message) { return message.event.eventType == u"integration_notice"; }) &&
         cardOf(messages, QStringLiteral("receipt-choice"));
}

}  // namespace tandrel
