#include "selfcheck/checks/message_module_checks.h"

#include "events/event_store.h"

#include <algorithm>

namespace tandrel {

void runMessageModuleChecks(SelfCheckFailures& failures, EventStore& store) {
  const auto check = [&](bool condition, const char* message) { failures.check(condition, QString::fromUtf8(message)); };
  const auto holds = [](const IslandMessage& message, const char* id) {
    return std::any_of(message.events.begin(), message.events.end(),
                       [id](const TandrelEvent& event) { return event.id == QLatin1String(id); });
  };

  const struct {
    const char* tool;
    const char* eventID;
    const char* message;
  } tools[] = {
      {"Pi", "pi-message", "Pi events should enter the message module"},
      {"Cline", "cline-approval", "Cline events should enter the message module"},
      {"Roo Code", "roo-done", "Roo Code events should enter the message module"},
  };
  for (const auto& row : tools) {
    store.ensureMessageCache();
    const std::vector<IslandMessage>& messages = store.cachedAllMessages();
    check(std::any_of(messages.begin(), messages.end(),
                      [&](const IslandMessage& message) {
                        return message.tool == QLatin1String(row.tool) && message.event.id == QLatin1String(row.eventID);
                      }),
          row.message);
  }
  store.ensureMessageCache();
  check(std::none_of(store.cachedAllMessages().begin(), store.cachedAllMessages().end(),
                     [&](const IslandMessage& message) { return holds(message, "silent-claude-tool-update"); }),
        "silent Claude tool updates should not enter the message module");

  // The Codex session that started, ran a tool and completed.
  const std::vector<IslandMessage>& messages = store.allMessages();
  const auto task = std::find_if(messages.begin(), messages.end(),
                                 [&](const IslandMessage& message) { return holds(message, "task-done"); });
  if (task == messages.end()) {
    check(false, "dynamic lifecycle task message missing");
    return;
  }
  check(task->events.size() == 1,
        "lifecycle noise should be suppressed so only the completed milestone enters the inbox");
  check(task->event.id == u"task-done", "dynamic task message should represent the latest milestone event");
  check(task->detail.contains(QStringLiteral("pid: 777")), "task message detail should include workspace process context");
}

}  // namespace tandrel
