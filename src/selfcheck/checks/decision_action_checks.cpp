#include "selfcheck/checks/decision_action_checks.h"

#include "events/event_store.h"

#include <QFile>
#include <QStringList>

#include <algorithm>
#include <memory>
#include <optional>

namespace tandrel {

namespace {

std::optional<IslandMessage> messageOf(EventStore& store, const char* eventID) {
  const std::vector<IslandMessage>& messages = store.allMessages();
  const auto found = std::find_if(messages.begin(), messages.end(), [eventID](const IslandMessage& message) {
    return message.event.id == QLatin1String(eventID);
  });
  if (found == messages.end()) return std::nullopt;
  return *found;
}

bool inInbox(EventStore& store, const char* eventID) {
  store.ensureMessageCache();
  const std::vector<IslandMessage>& messages = store.cachedAllMessages();
  return std::any_of(messages.begin(), messages.end(),
                     [eventID](const IslandMessage& message) { return message.event.id == QLatin1String(eventID); });
}

QStringList buttonLabels(const IslandMessage& message) {
  QStringList labels;
  for (const IslandButton& button : message.buttons) labels << button.label;
  return labels;
}

// Runs the card action; its result, or nothing when the action has not finished when perform
// returns (answers over decision files and refusals finish before).
std::optional<ActionResult> authorize(EventStore& store, const IslandMessage& message) {
  const auto result = std::make_shared<std::optional<ActionResult>>();
  store.perform(QStringLiteral("authorize"), message, [result](ActionResult done) { *result = std::move(done); });
  return *result;
}

}  // namespace

void runDecisionActionChecks(SelfCheckFailures& failures, EventStore& store) {
  const auto check = [&](bool condition, const char* message) { failures.check(condition, QString::fromUtf8(message)); };

  store.ensureMessageCache();
  check(store.cachedAllMessages().size() > 3, "event store should load fixture messages");

  if (const std::optional<IslandMessage> jumpOnly = messageOf(store, "jump-only")) {
    check(buttonLabels(*jumpOnly) == QStringList({"Jump", "Ignore"}),
          "permission without decision channel must hide Authorize/Reject");
  } else {
    check(false, "jump-only message missing");
  }

  if (const std::optional<IslandMessage> decisionFile = messageOf(store, "decision-file")) {
    check(buttonLabels(*decisionFile).contains(QStringLiteral("Authorize")), "decision_file should expose Authorize");
    const std::optional<ActionResult> result = authorize(store, *decisionFile);
    check(result && result->succeeded, "decision_file authorize should succeed");
    QFile file(decisionFile->event.decisionFile.value_or(QString()));
    const QString written = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    check(written.contains(QStringLiteral("\"decision\":\"allow\"")), "decision_file should receive allow payload");
    const std::optional<ResponseReceipt> receipt = store.responseReceipts().latestReceipt(QStringLiteral("decision-file"));
    check(receipt && receipt->action == ResponseReceiptAction::approve,
          "decision_file authorize should record an approve receipt");
    check(receipt && receipt->status == ResponseReceiptStatus::submitted,
          "decision_file authorize should record submitted receipt status");
    check(!inInbox(store, "decision-file"), "successful decision should hide the message");
  } else {
    check(false, "decision-file message missing");
  }

  if (const std::optional<IslandMessage> decisionFail = messageOf(store, "decision-fail")) {
    const std::optional<ActionResult> result = authorize(store, *decisionFail);
    const bool failed = result && !result->succeeded;
    check(failed, "failing decision command should report failure");
    check(failed && result->text && result->text->contains(QStringLiteral("trusted adapter")),
          "decision_command should be blocked without a trusted adapter");
    const std::optional<ResponseReceipt> receipt = store.responseReceipts().latestReceipt(QStringLiteral("decision-fail"));
    check(receipt && receipt->status == ResponseReceiptStatus::failed,
          "failed decision command should record failed receipt status");
    check(inInbox(store, "decision-fail"), "failing decision should keep the message visible");
  } else {
    check(false, "decision-fail message missing");
  }
}

}  // namespace tandrel
