#include "selfcheck/functional/message_functional_tests.h"

#include "ui/overlay_settings.h"
#include "events/event_store.h"
#include "inbox/message_normalizer.h"
#include "selfcheck/fixture_builders.h"
#include "selfcheck/functional/check_store.h"
#include "selfcheck/harness.h"

#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>
#include <optional>
#include <vector>

namespace tandrel {

namespace {

QJsonObject stringObject(std::initializer_list<std::pair<const char*, const char*>> entries) {
  QJsonObject object;
  for (const auto& [key, value] : entries) object.insert(QString::fromLatin1(key), QString::fromUtf8(value));
  return object;
}

QJsonArray twoChoices(const char* first, const char* firstLabel, const char* second, const char* secondLabel) {
  return {stringObject({{"id", first}, {"label", firstLabel}}), stringObject({{"id", second}, {"label", secondLabel}})};
}

std::vector<MessageActionRole> rolesOf(const UserFacingMessage& message) {
  std::vector<MessageActionRole> roles;
  for (const MessageActionSpec& action : message.actions) roles.push_back(action.role);
  return roles;
}

const MessageNote& noteOf(const MessageInteraction& interaction) {
  if (const auto* choice = std::get_if<MessageChoice>(&interaction)) return choice->note;
  return std::get<MessageTextInput>(interaction).note;
}

}  // namespace

bool messageEventParsingFunctionalTest() {
  QJsonArray options = twoChoices("a", "方案 A", "b", "方案 B");
  options[0] = stringObject({{"id", "a"}, {"label", "方案 A"}, {"description", "Small patch"}});
  options[1] = stringObject({{"id", "b"}, {"label", "方案 B"}, {"description", "Normalized model"}});
  const std::optional<TandrelEvent> event = TandrelEvent::fromDictionary(testEvent(
      QStringLiteral("choice-event"), QStringLiteral("codex"), QStringLiteral("waiting_input"), QStringLiteral("warning"),
      QStringLiteral("Choose an implementation path"), QStringLiteral("Pick one option"), std::nullopt, std::nullopt,
      std::nullopt,
      {{QStringLiteral("completion_snippet"), QStringLiteral("Local completion summary")},
       {QStringLiteral("options"), options},
       {QStringLiteral("response"), QJsonObject{{QStringLiteral("response_file"), QStringLiteral("/tmp/tandrel-choice-response.json")},
                                                {QStringLiteral("note_enabled"), true},
                                                {QStringLiteral("note_placeholder"), QStringLiteral("Add context")}}},
       {QStringLiteral("preview"), stringObject({{"user", "How should the message choices render?"},
                                                 {"agent", "Use normalized choices with a response file."}})},
       {QStringLiteral("jump_target"), QStringLiteral("/tmp/tandrel")}}));
  return event && event->choiceOptions.size() == 2 && event->choiceOptions[1].id == u"b" &&
         event->responseChannel == ResponseChannel::responseFile(QStringLiteral("/tmp/tandrel-choice-response.json")) &&
         event->noteEnabled && event->notePlaceholder == u"Add context" &&
         event->completionSnippet == QStringLiteral("Local completion summary") &&
         event->preview.user == u"How should the message choices render?" &&
         event->preview.agent == u"Use normalized choices with a response file." &&
         event->jumpTarget == QStringLiteral("/tmp/tandrel");
}

bool messagePetStateRuntimeMappingFunctionalTest(const QString& tempRoot) {
  const QJsonObject silentTool{{QStringLiteral("status"), QStringLiteral("running_tool")},
                               {QStringLiteral("notify_policy"), QStringLiteral("silent")}};
  // The pet each event shows, or (for the plan) the pose itself.
  const struct {
    const char* id;
    const char* source;
    const char* type;
    const char* title;
    const char* message;
    QJsonObject extra;
    std::optional<PetState> pet;
    std::optional<PetPreviewStateID> pose;
  } rows[] = {
      {"pet-state-started", "codex", "task_started", "Codex started", "Planning", {}, PetState::working, {}},
      {"pet-state-tool", "claude_code", "task_updated", "Claude Code running tool", "Bash", silentTool, PetState::working, {}},
      {"pet-state-limited", "codex", "task_updated", "Codex usage limited", "Paused",
       {{QStringLiteral("status"), QStringLiteral("usage_limited")}}, PetState::tired, {}},
      {"pet-state-review", "codex", "task_completed", "Codex completed", "Done", {}, PetState::done, {}},
      {"pet-state-plan-ready", "codex", "plan_ready", "Codex ready for review", "Review plan", {}, {},
       PetPreviewStateID::review},
  };
  for (const auto& row : rows) {
    const std::optional<TandrelEvent> event = TandrelEvent::fromDictionary(
        testEvent(QString::fromLatin1(row.id), QString::fromLatin1(row.source), QString::fromLatin1(row.type),
                  QStringLiteral("info"), QString::fromLatin1(row.title), QString::fromLatin1(row.message), std::nullopt,
                  std::nullopt, std::nullopt, row.extra));
    if (!event) return false;
    const PetPreviewStateID pose = event->petPreviewStateID();
    if (row.pet ? previewStateStyle(pose).petState != *row.pet : pose != *row.pose) return false;
  }

  const QString eventFile = scratchPath(tempRoot, QStringLiteral("pet-state-runtime-events.jsonl"));
  if (!writeJSONLines({testEvent(QStringLiteral("pet-store-silent-running"), QStringLiteral("claude_code"),
                                 QStringLiteral("task_updated"), QStringLiteral("info"),
                                 QStringLiteral("Claude Code running tool"), QStringLiteral("Bash"), std::nullopt,
                                 std::nullopt, std::nullopt, silentTool)},
                      eventFile)) {
    return false;
  }
  EventStore store(storeOptionsWithoutAgentFolders(eventFile, scratchPath(tempRoot, QStringLiteral("pet-state-runtime-audit.jsonl"))));
  store.reload(false);
  store.ensureMessageCache();
  return store.allMessages().empty() && store.petState() == PetState::working;
}

bool messageNormalizerFunctionalTest() {
  const auto record = [](const char* id, const char* source, const char* type, const char* title, const char* message,
                         const std::optional<QJsonObject>& action, const QJsonObject& extra) {
    return TandrelEvent::fromDictionary(testEvent(QString::fromLatin1(id), QString::fromLatin1(source),
                                                  QString::fromLatin1(type), QStringLiteral("warning"),
                                                  QString::fromLatin1(title), QString::fromLatin1(message), action,
                                                  std::nullopt, std::nullopt, extra));
  };
  const QJsonArray paths = twoChoices("x", "Path X", "y", "Path Y");
  const std::optional<TandrelEvent> events[] = {
      record("choice-normalize", "codex", "waiting_input", "Choose a layout", "Pick one", std::nullopt,
             {{QStringLiteral("options"), twoChoices("a", "方案 A", "b", "方案 B")},
              {QStringLiteral("response"), stringObject({{"response_file", "/tmp/choice.json"}})},
              {QStringLiteral("preview"), stringObject({{"user", "Please choose the compact message layout"},
                                                        {"agent", "I can implement either inline or modal choices."}})}}),
      record("permission-normalize", "claude_code", "permission_request", "Run tests", "npm test",
             stringObject({{"kind", "shell"}, {"risk", "low"}, {"decision_file", "/tmp/decision.json"}}), {}),
      record("jump-normalize", "cline", "permission_request", "Run command", "npm run build",
             stringObject({{"kind", "shell"}, {"risk", "medium"}}), {}),
      record("input-normalize", "codex", "waiting_input", "Need context", "What should I call this?", std::nullopt,
             {{QStringLiteral("response"), stringObject({{"response_file", "/tmp/input.json"}})}}),
      record("decision-choice-normalize", "codex", "waiting_input", "Choose a path", "Pick a branch", std::nullopt,
             {{QStringLiteral("options"), paths}, {QStringLiteral("decision_file"), QStringLiteral("/tmp/not-a-response.json")}}),
      record("socket-choice-normalize", "cmux", "waiting_input", "Choose over socket",
             "Socket channel is not implemented in this build", std::nullopt,
             {{QStringLiteral("options"), paths},
              {QStringLiteral("response"), stringObject({{"socket_path", "/tmp/tandrel.sock"}, {"protocol", "tandrel"}})}}),
      record("cancelled-normalize", "codex", "task_cancelled", "Task cancelled", "Stopped by user", std::nullopt, {}),
  };
  std::vector<UserFacingMessage> messages;
  for (const std::optional<TandrelEvent>& event : events) {
    if (!event) return false;
    std::optional<UserFacingMessage> message = MessageNormalizer::normalize({*event});
    if (!message) return false;
    messages.push_back(std::move(*message));
  }
  using Role = MessageActionRole;
  const std::vector<Role> jumpAndIgnore{Role::jump, Role::ignore};
  const UserFacingMessage& choice = messages[0];
  const auto* choiceInteraction = choice.interaction ? std::get_if<MessageChoice>(&*choice.interaction) : nullptr;
  const bool choiceHolds =
      choice.intent == MessageIntent::choiceRequest && choiceInteraction && choiceInteraction->options.size() == 2 &&
      choice.preview.user == u"Please choose the compact message layout" &&
      choice.preview.agent == u"I can implement either inline or modal choices." &&
      std::any_of(choice.actions.begin(), choice.actions.end(), [](const MessageActionSpec& action) {
        return action.role == Role::chooseOption && action.placement == MessageActionPlacement::expandedBody;
      });
  const std::vector<Role> permissionRoles = rolesOf(messages[1]);
  const std::vector<Role> jumpOnlyRoles = rolesOf(messages[2]);
  const bool approvalsHold = permissionRoles == std::vector<Role>{Role::approve, Role::reject, Role::ignore, Role::jump} &&
                             std::find(jumpOnlyRoles.begin(), jumpOnlyRoles.end(), Role::approve) == jumpOnlyRoles.end() &&
                             jumpOnlyRoles == jumpAndIgnore;
  const UserFacingMessage& input = messages[3];
  const bool inputHolds = !events[3]->noteEnabled && input.intent == MessageIntent::inputRequest && input.interaction &&
                          noteOf(*input.interaction).enabled;
  // Choices over a channel that carries no chosen option here: the request stays a choice, its
  // options stay offered (an answer then fails and says why), and the answer would go nowhere
  // else: not into the decision file, which carries approvals, and only to the declared socket.
  const auto choiceOver = [&](std::size_t i, const ResponseChannel& channel) {
    return messages[i].intent == MessageIntent::choiceRequest && messages[i].interaction &&
           std::holds_alternative<MessageChoice>(*messages[i].interaction) &&
           submitBehavior(*messages[i].interaction).channel == channel &&
           rolesOf(messages[i]) == std::vector<Role>{Role::chooseOption, Role::chooseOption, Role::jump, Role::ignore};
  };
  const ResponseChannel socket = ResponseChannel::localSocket(QStringLiteral("/tmp/tandrel.sock"), QStringLiteral("tandrel"));
  const bool channelsHold =
      events[4]->responseChannel == ResponseChannel::decisionFile(QStringLiteral("/tmp/not-a-response.json")) &&
      choiceOver(4, ResponseChannel::none()) && events[5]->responseChannel == socket && choiceOver(5, socket);
  return choiceHolds && approvalsHold && inputHolds && channelsHold && messages[6].intent == MessageIntent::taskResult &&
         messages[6].badge == u"Cancelled";
}

bool companionCandidateCacheFunctionalTest(const QString& tempRoot) {
  std::vector<QJsonObject> records;
  for (int i = 0; i < 40; ++i) {
    records.push_back(testEvent(QStringLiteral("companion-cache-%1").arg(i),
                                i % 2 ? QStringLiteral("claude_code") : QStringLiteral("codex"),
                                i % 3 == 0 ? QStringLiteral("task_updated") : QStringLiteral("task_completed"),
                                QStringLiteral("info"), QStringLiteral("Event %1").arg(i),
                                QStringLiteral("Message %1").arg(i), std::nullopt, std::nullopt,
                                QStringLiteral("2026-05-20T00:%1:00Z").arg(i, 2, 10, QLatin1Char('0'))));
  }
  const QString eventFile = scratchPath(tempRoot, QStringLiteral("companion-candidate-cache-events.jsonl"));
  if (!writeJSONLines(records, eventFile)) return false;
  EventStore store(storeOptionsWithoutAgentFolders(eventFile, scratchPath(tempRoot, QStringLiteral("companion-candidate-cache-audit.jsonl"))));
  store.reload(false);
  EventStore::companionCandidateCacheBuildCountForTests = 0;
  store.ensureCompanionCandidateCache();
  store.ensureCompanionCandidateCache();
  (void)store.petState();
  (void)store.companionTickerItems();
  return EventStore::companionCandidateCacheBuildCountForTests == 1;
}

}  // namespace tandrel
