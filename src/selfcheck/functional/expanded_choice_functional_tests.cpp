#include "selfcheck/functional/expanded_choice_functional_tests.h"

#include "island/tandrel_view.h"
#include "selfcheck/fixture_builders.h"
#include "selfcheck/functional/check_store.h"
#include "selfcheck/functional/jump_check_support.h"
#include "selfcheck/harness.h"

#include <QJsonArray>

#include <cmath>
#include <map>
#include <memory>

namespace tandrel {
namespace {

// A choice's store and the island over it.
struct ChoiceFixture {
  std::unique_ptr<EventStore> store;
  std::unique_ptr<TandrelView> view;
  IslandMessage choice;
};

// A question from Codex with the options "方案 A" and "方案 B", answered through a response file.
QJsonObject choiceEvent(const QString& tempRoot, const QString& prefix, const QString& id, const QString& title,
                        const QString& message, const std::optional<QString>& timestamp = std::nullopt,
                        QJsonObject extra = {}) {
  extra.insert(QStringLiteral("options"),
               QJsonArray{QJsonObject{{"id", "a"}, {"label", QStringLiteral("方案 A")}},
                          QJsonObject{{"id", "b"}, {"label", QStringLiteral("方案 B")}}});
  extra.insert(QStringLiteral("response"),
               QJsonObject{{"response_file", scratchPath(tempRoot, prefix + QStringLiteral("-response.json"))}});
  return testEvent(id, "codex", "waiting_input", "warning", title, message, std::nullopt, std::nullopt, timestamp, extra);
}

// Writes `records` to <prefix>-events.jsonl, reads them with a store of their own and makes the
// island over it (as high as for five cards), expanded when asked; the choice is the message with
// `choiceID`, else the first with options. Nothing when the records cannot be written or there is
// no such message.
std::optional<ChoiceFixture> choiceFixture(const QString& tempRoot, const QString& prefix,
                                           const std::vector<QJsonObject>& records, bool expanded,
                                           const std::optional<QString>& choiceID = std::nullopt) {
  const QString eventFile = scratchPath(tempRoot, prefix + QStringLiteral("-events.jsonl"));
  if (!writeJSONLines(records, eventFile)) {
    return std::nullopt;
  }
  ChoiceFixture fixture;
  fixture.store = std::make_unique<EventStore>(
      storeOptionsWithoutAgentFolders(eventFile, scratchPath(tempRoot, prefix + QStringLiteral("-audit.jsonl"))));
  fixture.store->reload(false);
  fixture.store->ensureMessageCache();
  std::optional<IslandMessage> choice;
  for (const IslandMessage& message : fixture.store->cachedAllMessages()) {
    if (choiceID ? message.event.id == *choiceID : !message.choiceOptions.isEmpty()) {
      choice = message;
      break;
    }
  }
  if (!choice) {
    return std::nullopt;
  }
  fixture.choice = *choice;
  fixture.view = std::make_unique<TandrelView>(
      QSize(static_cast<int>(island::kExpandedWidth), static_cast<int>(std::ceil(expandedOverlayHeight(5)))),
      *fixture.store);
  if (expanded) {
    fixture.view->setMode(OverlayMode::expanded);
  }
  return fixture;
}

// Opens the choice card and, as the controller does, makes the island taller by its body.
void openChoiceAndGrow(ChoiceFixture& fixture) {
  TandrelView& view = *fixture.view;
  view.setExpandedChoiceMessageForTests(fixture.choice.event.id);
  const int count = static_cast<int>(fixture.store->allMessages().size());
  view.resize(view.width(), static_cast<int>(std::ceil(expandedOverlayHeight(count, view.openChoiceExtent()))));
}

bool inside(const QRectF& inner, const QRectF& outer) {
  return inner.left() >= outer.left() && inner.right() <= outer.right() && inner.top() >= outer.top() &&
         inner.bottom() <= outer.bottom();
}

bool inlineStateCleared(const TandrelView& view) {
  return !view.expandedChoiceMessageID && !view.choiceNoteFocusedMessageID && view.activeChoiceNote.isEmpty();
}

// Opens the choice on an expanded island and types "z" into its note.
std::optional<ChoiceFixture> typedIntoNote(const QString& tempRoot, const QString& prefix, const QString& title,
                                           const QString& message, std::vector<QJsonObject> after = {}) {
  std::vector<QJsonObject> records{choiceEvent(tempRoot, prefix, prefix, title, message)};
  records.insert(records.end(), after.begin(), after.end());
  std::optional<ChoiceFixture> fixture = choiceFixture(tempRoot, prefix, records, true);
  if (!fixture) {
    return std::nullopt;
  }
  fixture->view->setExpandedChoiceMessageForTests(fixture->choice.event.id);
  fixture->view->keyPressed(Qt::Key_Z, Qt::NoModifier, QStringLiteral("z"));
  if (fixture->view->activeChoiceNote != QStringLiteral("z")) {
    return std::nullopt;
  }
  return fixture;
}

}  // namespace

bool expandedChoiceHitTargetsFunctionalTest(const QString& tempRoot) {
  const QString prefix = QStringLiteral("choice-ui");
  std::optional<ChoiceFixture> fixture = choiceFixture(
      tempRoot, prefix,
      {choiceEvent(tempRoot, prefix, prefix, QStringLiteral("Choose message layout"),
                   QStringLiteral("Pick a compact interaction")),
       testEvent("choice-ui-next", "codex", "task_completed", "info", "Next message", "Should move below expanded choice",
                 std::nullopt, std::nullopt, std::nullopt, {{"session_id", "choice-ui-next-session"}}),
       testEvent("choice-ui-third", "codex", "task_completed", "info", "Overflow guard",
                 "Should move to a later page while choice is expanded", std::nullopt, std::nullopt, std::nullopt,
                 {{"session_id", "choice-ui-third-session"}})},
      false);
  if (!fixture) {
    return false;
  }
  const qreal closedHeight = fixture->view->height();
  openChoiceAndGrow(*fixture);
  TandrelView& view = *fixture->view;
  const QString id = fixture->choice.event.id;
  const std::map<QString, QRectF> options = view.choiceOptionRectsForTests(id);
  const std::optional<QRectF> note = view.choiceNoteRectForTests(id);
  const std::optional<QRectF> body = view.choiceBodyRectForTests(id);
  const std::map<QString, QRectF> cards = view.messageRectsForTests();
  const qreal height = view.height();

  if (static_cast<qsizetype>(options.size()) != fixture->choice.choiceOptions.size() || !note || !body) {
    return false;
  }
  for (const auto& [option, rect] : options) {
    if (rect.width() <= 180 || rect.height() < 20 || std::abs(rect.height() - 22) > 0.001 || !inside(rect, *body)) {
      return false;
    }
  }
  const auto card = [&cards](const char* name) -> std::optional<QRectF> {
    const auto found = cards.find(QString::fromLatin1(name));
    return found == cards.end() ? std::nullopt : std::optional(found->second);
  };
  const std::optional<QRectF> choiceCard = card("choice-ui");
  const std::optional<QRectF> next = card("choice-ui-next");
  const std::optional<QRectF> third = card("choice-ui-third");
  // The island grows by the open body instead of paging: the third card stays, below the next.
  return choiceCard && next && choiceCard->bottom() < body->top() && inside(*note, *body) &&
         body->bottom() < next->top() && next->bottom() <= height - 30 && height > closedHeight && third &&
         next->bottom() < third->top() && third->bottom() <= height - 30 && choiceCard->bottom() < note->top();
}

bool expandedChoiceLowerPageMessageStaysVisibleFunctionalTest(const QString& tempRoot) {
  const QString prefix = QStringLiteral("choice-ui-lower");
  const QJsonObject lowRisk{{"kind", "shell"}, {"risk", "low"}};
  std::optional<ChoiceFixture> fixture = choiceFixture(
      tempRoot, prefix,
      {testEvent("choice-ui-lower-first", "codex", "permission_request", "warning", "First message",
                 "This may move to a previous page", lowRisk, std::nullopt, QStringLiteral("2026-05-11T10:03:00Z"),
                 {{"session_id", "choice-ui-lower-first-session"}}),
       testEvent("choice-ui-lower-second", "codex", "permission_request", "warning", "Second message",
                 "This can stay as context", lowRisk, std::nullopt, QStringLiteral("2026-05-11T10:02:00Z"),
                 {{"session_id", "choice-ui-lower-second-session"}}),
       choiceEvent(tempRoot, prefix, QStringLiteral("choice-ui-lower-choice"), QStringLiteral("Lower choice"),
                   QStringLiteral("Expanding this lower-page message should keep it visible"),
                   QStringLiteral("2026-05-11T10:01:00Z"))},
      false, QStringLiteral("choice-ui-lower-choice"));
  if (!fixture) {
    return false;
  }
  openChoiceAndGrow(*fixture);
  TandrelView& view = *fixture->view;
  const std::map<QString, QRectF> cards = view.messageRectsForTests();
  const std::optional<QRectF> body = view.choiceBodyRectForTests(QStringLiteral("choice-ui-lower-choice"));
  const auto first = cards.find(QStringLiteral("choice-ui-lower-first"));
  const auto second = cards.find(QStringLiteral("choice-ui-lower-second"));
  const auto choice = cards.find(QStringLiteral("choice-ui-lower-choice"));
  if (!body || first == cards.end() || second == cards.end() || choice == cards.end()) {
    return false;
  }
  // The oldest card opened: the island grows by its body, and the newer cards stay above it.
  return first->second.bottom() < second->second.top() && second->second.bottom() < choice->second.top() &&
         choice->second.bottom() < body->top() && body->bottom() <= view.height() - 30;
}

bool expandedChoiceEscClearsInlineStateFunctionalTest(const QString& tempRoot) {
  std::optional<ChoiceFixture> fixture =
      typedIntoNote(tempRoot, QStringLiteral("choice-ui-esc"), QStringLiteral("Choose with note"),
                    QStringLiteral("Type a note and cancel inline state"));
  if (!fixture) {
    return false;
  }
  fixture->view->keyPressed(Qt::Key_Escape, Qt::NoModifier, QStringLiteral("\x1b"));
  return inlineStateCleared(*fixture->view) && fixture->view->mode() == OverlayMode::expanded;
}

bool expandedChoiceNoteDisabledFunctionalTest(const QString& tempRoot) {
  const QString prefix = QStringLiteral("choice-ui-note-disabled");
  std::optional<ChoiceFixture> fixture = choiceFixture(
      tempRoot, prefix,
      {choiceEvent(tempRoot, prefix, prefix, QStringLiteral("Choose without note"),
                   QStringLiteral("Note input should stay disabled"), std::nullopt, {{"note_enabled", false}})},
      true);
  if (!fixture) {
    return false;
  }
  TandrelView& view = *fixture->view;
  view.setExpandedChoiceMessageForTests(prefix);
  view.keyPressed(Qt::Key_Z, Qt::NoModifier, QStringLiteral("z"));
  return view.choiceBodyRectForTests(prefix) && !view.choiceNoteRectForTests(prefix) &&
         !view.choiceNoteFocusedMessageID && view.activeChoiceNote.isEmpty();
}

bool expandedChoiceModeExitClearsStateFunctionalTest(const QString& tempRoot) {
  std::optional<ChoiceFixture> fixture =
      typedIntoNote(tempRoot, QStringLiteral("choice-ui-mode-exit"), QStringLiteral("Choose before settings"),
                    QStringLiteral("Inline state should clear when leaving expanded mode"));
  if (!fixture) {
    return false;
  }
  fixture->view->setMode(OverlayMode::settings);
  return inlineStateCleared(*fixture->view);
}

bool expandedChoiceHiddenMessageClearsStateFunctionalTest(const QString& tempRoot) {
  std::optional<ChoiceFixture> fixture = typedIntoNote(
      tempRoot, QStringLiteral("choice-ui-hidden"), QStringLiteral("Choose then hide"),
      QStringLiteral("Inline state should not outlive the message"),
      {testEvent("choice-ui-hidden-next", "codex", "task_started", "info", "Next message",
                 "Keep a visible message after hiding the choice")});
  if (!fixture) {
    return false;
  }
  const std::optional<ActionResult> ignored = performAndWait(*fixture->store, QStringLiteral("ignore"), fixture->choice);
  if (!ignored || !ignored->succeeded) {
    return false;
  }
  fixture->view->messageRectsForTests();  // refreshes the view's page from the store
  fixture->store->ensureMessageCache();
  for (const IslandMessage& message : fixture->store->cachedAllMessages()) {
    if (message.event.id == fixture->choice.event.id) {
      return false;
    }
  }
  return inlineStateCleared(*fixture->view);
}

}  // namespace tandrel
