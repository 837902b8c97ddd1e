// Merging our hooks and status line into Claude Code's settings.
#include "hooks/claude_settings.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>

namespace tandrel {
namespace {

const ClaudeHookCommands kCommands{QStringLiteral("/h/.tandrel/bin/tandrel-event"),
                                   QStringLiteral("/h/.tandrel/bin/tandrel-hook-claude"),
                                   QStringLiteral("/h/.tandrel/bin/tandrel-claude-statusline")};

QJsonObject json(const char* text) { return QJsonDocument::fromJson(text).object(); }

// The planned settings of parsed settings, parsed.
QJsonObject plannedClaudeSettingsObject(const QJsonObject& settings, const ClaudeHookCommands& commands) {
  const auto text = plannedClaudeSettingsText(QString::fromUtf8(QJsonDocument(settings).toJson()), commands);
  EXPECT_TRUE(text.ok()) << text.error().toStdString();
  return text ? QJsonDocument::fromJson(text.value().toUtf8()).object() : QJsonObject();
}

// The commands an event runs, in order.
QStringList commandsOf(const QJsonObject& settings, const char* event) {
  QStringList out;
  for (const QJsonValue& entry : settings["hooks"][QLatin1String(event)].toArray()) {
    for (const QJsonValue& handler : entry["hooks"].toArray()) {
      out.append(handler["command"].toString());
    }
  }
  return out;
}

const QString kWriter = QStringLiteral("/h/.tandrel/bin/tandrel-event --source claude_code");
const QString kGate = QStringLiteral("/h/.tandrel/bin/tandrel-hook-claude");

TEST(ClaudeSettingsPlan, MergesIntoAUsersSettings) {
  const QJsonObject user = json(R"j({
    "model": "opus",
    "permissions": {"deny": ["Bash(rm:*)"]},
    "hooks": {
      "PreToolUse": [{"matcher": "Bash", "hooks": [{"type": "command", "command": "guard.sh"}]}],
      "Stop": [{"hooks": [{"type": "command", "command": "/h/.tandrel/bin/tandrel-event --source claude_code --quiet"}]}]
    },
    "statusLine": {"type": "command", "command": "~/bin/line", "padding": 2}
  })j");
  const QJsonObject planned = plannedClaudeSettingsObject(user, kCommands);

  EXPECT_EQ(planned["model"], user["model"]);
  EXPECT_EQ(planned["permissions"], user["permissions"]);
  // A foreign entry stays first; tool calls get the writer only, never a waiting gate.
  EXPECT_EQ(commandsOf(planned, "PreToolUse"), (QStringList{"guard.sh", kWriter}));
  EXPECT_EQ(planned["hooks"]["PreToolUse"][1]["matcher"], QJsonValue("*"));
  // Claude asks PermissionRequest only where it would ask the user itself: that is the gate.
  EXPECT_EQ(commandsOf(planned, "PermissionRequest"), (QStringList{kWriter, kGate}));
  EXPECT_EQ(planned["hooks"]["PermissionRequest"][1].toObject(),
            json(R"j({"matcher":"*","hooks":[{"type":"command","command":"/h/.tandrel/bin/tandrel-hook-claude","timeout":125}]})j"));
  // The prompt just typed is never held back.
  EXPECT_EQ(commandsOf(planned, "UserPromptSubmit"), QStringList{kWriter});
  // An entry that already runs our writer, with other arguments, counts and stays as it is.
  EXPECT_EQ(commandsOf(planned, "Stop"),
            (QStringList{kWriter + QStringLiteral(" --quiet"), kGate}));
  for (const char* event : {"SessionStart", "Notification", "TaskCreated", "TaskCompleted",
                            "StopFailure", "SessionEnd", "PostToolUse", "PostToolUseFailure"}) {
    EXPECT_EQ(commandsOf(planned, event), QStringList{kWriter}) << event;
  }
  EXPECT_EQ(planned["statusLine"].toObject(),
            json(R"j({"type":"command","command":"/h/.tandrel/bin/tandrel-claude-statusline","padding":2,"refreshInterval":60})j"));
  EXPECT_EQ(claudeStatusLineChain(user), user["statusLine"].toObject());
  EXPECT_FALSE(claudeStatusLineChain(planned).has_value());

  EXPECT_TRUE(claudeGatesInstalled(planned, kCommands));
  EXPECT_EQ(plannedClaudeSettingsObject(planned, kCommands), planned);
}

TEST(ClaudeSettingsPlan, RepairsWrongTypesAndGatesWithoutTimeOut) {
  struct Case {
    const char* name;
    const char* settings;
  };
  const Case cases[] = {
      {"empty", "{}"},
      {"status line is a string", R"j({"statusLine": "plain"})j"},
      {"an event holds numbers", R"j({"hooks": {"Stop": [1, 2]}})j"},
      {"our gate without a time-out",
       R"j({"hooks": {"Stop": [{"hooks": [{"type": "command", "command": "/h/.tandrel/bin/tandrel-hook-claude"}]}]}})j"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QJsonObject user = json(c.settings);
    EXPECT_FALSE(claudeGatesInstalled(user, kCommands));
    const QJsonObject planned = plannedClaudeSettingsObject(user, kCommands);
    EXPECT_TRUE(claudeGatesInstalled(planned, kCommands));
    QStringList stop = commandsOf(planned, "Stop");
    stop.sort();  // a gate already there stays before the writer
    EXPECT_EQ(stop, (QStringList{kWriter, kGate}));
    EXPECT_EQ(planned["statusLine"]["refreshInterval"], QJsonValue(60));
    EXPECT_FALSE(claudeStatusLineChain(user).has_value());
  }
  // The user's refresh interval stays.
  EXPECT_EQ(plannedClaudeSettingsObject(json(R"j({"statusLine":{"refreshInterval":5}})j"),
                                        kCommands)["statusLine"]
                .toObject()["refreshInterval"],
            QJsonValue(5));
}

// Numbers the plan does not change are written back as the user wrote them, also beyond what a
// double holds exactly, at the top level and inside the objects the plan edits.
TEST(ClaudeSettingsPlan, KeepsTheUsersNumbersAsWritten) {
  const char* literals[] = {"18446744073709551616", "-18446744073709551617",
                            "0.1000000000000000055511151231257827", "9007199254740993"};
  for (const char* literal : literals) {
    SCOPED_TRACE(literal);
    const QString settings = QStringLiteral(R"j({
  "big": %1,
  "statusLine": {"type": "command", "command": "~/bin/line", "padding": %1},
  "hooks": {"Stop": [{"hooks": [{"type": "command", "command": "guard.sh", "timeout": %1}]}]}
})j").arg(QLatin1String(literal));
    const auto planned = plannedClaudeSettingsText(settings, kCommands);
    ASSERT_TRUE(planned.ok()) << planned.error().toStdString();
    EXPECT_EQ(planned.value().count(QLatin1String(literal)), 3) << planned.value().toStdString();
  }
}

}  // namespace
}  // namespace tandrel
