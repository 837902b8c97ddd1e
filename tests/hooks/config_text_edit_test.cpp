// Our entries are written into the agents' JSON files by editing their text: the user's keys stay
// in their order, the file keeps its indentation and every value it does not change keeps its
// bytes. Each planned text differs from the user's only in the lines that must change.
#include "hooks/claude_settings.h"
#include "hooks/codex_config.h"
#include "hooks/json_outline.h"
#include "hooks/line_diff.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

namespace tandrel {
namespace {

const ClaudeHookCommands kClaude{QStringLiteral("/home/u/.tandrel/bin/tandrel-event"),
                                 QStringLiteral("/home/u/.tandrel/bin/tandrel-hook-claude"),
                                 QStringLiteral("/home/u/.tandrel/bin/tandrel-claude-statusline")};
const CodexHookCommands kCodex{QStringLiteral("/home/u/.tandrel/bin/tandrel-event"),
                               QStringLiteral("/home/u/.tandrel/bin/tandrel-hook-codex")};

Result<QString> planClaude(const QString& text) { return plannedClaudeSettingsText(text, kClaude); }
Result<QString> planCodex(const QString& text) { return plannedCodexHooksText(text, kCodex); }

// A settings.json as a user keeps it: their order, four spaces, numbers as they typed them.
const char* const kUserSettings = R"j({
    "permissions": {
        "allow": [
            "Bash(npm run test:*)"
        ],
        "defaultMode": "default"
    },
    "hooks": {
        "PreToolUse": [
            {
                "matcher": "Bash",
                "hooks": [
                    {
                        "type": "command",
                        "command": "~/bin/guard.sh"
                    }
                ]
            }
        ]
    },
    "statusLine": {
        "type": "command",
        "command": "~/bin/line.sh",
        "padding": 0
    },
    "theme": "dark",
    "feedbackSurveyRate": 0.10,
    "cleanupPeriodDays": 3e1
}
)j";

// The user's guard and a null beside it: the null is not understood, and stays.
const char* const kGuardAndNull = R"({
    "hooks": {
        "PreToolUse": [
            {
                "hooks": [
                    {
                        "type": "command",
                        "command": "my-guard"
                    }
                ]
            },
            null
        ]
    }
}
)";

const char* const kCodexHooks = "{\n  \"hooks\": {\n    \"Stop\": [\n      {\n        \"hooks\": [\n"
                                "          {\"type\": \"command\", \"command\": \"say done\", \"timeout\": 5.0}\n"
                                "        ]\n      }\n    ]\n  },\n  \"version\": 1\n}\n";

// The top-level keys of a JSON text, in the order written.
QStringList topKeys(const QString& text) {
  auto outline = outlineJson(text);
  EXPECT_TRUE(outline.ok()) << outline.error().toStdString();
  return outline ? outline->keys : QStringList();
}

// Whether `after` is `before` with lines inserted and only the lines of `changed` (old -> new)
// changed, each once: the user's lines, so amended, are a subsequence of the planned ones.
testing::AssertionResult onlyTheseLinesChange(const QString& before, const QString& after,
                                              const std::vector<std::pair<QString, QString>>& changed) {
  const QStringList planned = after.split(u'\n');
  qsizetype at = 0;
  std::size_t amended = 0;
  for (const QString& line : before.split(u'\n')) {
    QString expected = line;
    for (const auto& [from, to] : changed) {
      if (line == from) {
        expected = to;
        ++amended;
      }
    }
    while (at < planned.size() && planned[at] != expected) {
      ++at;
    }
    if (at == planned.size()) {
      return testing::AssertionFailure() << "the user's line \"" << line.toStdString()
                                         << "\" is gone; the change:\n"
                                         << unifiedDiff(QStringLiteral("f"), before, after).toStdString();
    }
    ++at;
  }
  if (amended != changed.size()) {
    return testing::AssertionFailure() << amended << " of " << changed.size() << " changed lines found";
  }
  return testing::AssertionSuccess();
}

TEST(ConfigTextEdit, OnlyTheLinesThatChangeDiffer) {
  struct Case {
    const char* name;
    std::function<Result<QString>(const QString&)> plan;
    QString text;
    std::vector<std::pair<QString, QString>> changedLines;  // the user's lines that must change
    QString indentUnit;        // every added line is indented by whole steps of this
  };
  const Case cases[] = {
      {"settings.json in the user's order, four spaces", planClaude, QString::fromUtf8(kUserSettings),
       {{"            }", "            },"},
        {"        ]", "        ],"},
        {"        \"command\": \"~/bin/line.sh\",",
         "        \"command\": \"/home/u/.tandrel/bin/tandrel-claude-statusline\","},
        {"        \"padding\": 0", "        \"padding\": 0,"}},
       QStringLiteral("    ")},
      {"a null entry beside the user's guard", planClaude, QString::fromUtf8(kGuardAndNull),
       {{"            null", "            null,"}, {"        ]", "        ],"}, {"    }", "    },"}},
       QStringLiteral("    ")},
      {"two spaces, one key", planClaude, QStringLiteral("{\n  \"model\": \"opus\"\n}\n"),
       {{"  \"model\": \"opus\"", "  \"model\": \"opus\","}}, QStringLiteral("  ")},
      {"tabs", planClaude, QStringLiteral("{\n\t\"model\": \"opus\",\n\t\"hooks\": {}\n}"),
       {{"\t\"hooks\": {}", "\t\"hooks\": {"}}, QStringLiteral("\t")},
      {"Codex hooks.json with a hook of the user's", planCodex, QString::fromUtf8(kCodexHooks),
       {{"      }", "      },"}, {"    ]", "    ],"}}, QStringLiteral("  ")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto planned = c.plan(c.text);
    ASSERT_TRUE(planned.ok()) << planned.error().toStdString();
    const QString text = planned.value();

    EXPECT_TRUE(onlyTheseLinesChange(c.text, text, c.changedLines));

    // The user's keys first, in their order; ours after them.
    const QStringList before = topKeys(c.text);
    EXPECT_EQ(topKeys(text).mid(0, before.size()), before);

    // New lines follow the file's indentation.
    for (const QString& line : text.split(u'\n')) {
      const qsizetype indent = line.indexOf(QRegularExpression(QStringLiteral("\\S")));
      if (indent > 0) {
        EXPECT_EQ(line.left(indent), c.indentUnit.repeated(indent / c.indentUnit.size())) << line.toStdString();
      }
    }
    // Planning again changes nothing.
    EXPECT_EQ(c.plan(text).value(), text);
  }
}

TEST(ConfigTextEdit, TheUsersValuesAndEntriesStay) {
  const QString planned = planClaude(QString::fromUtf8(kUserSettings)).value();
  // Numbers keep their bytes; the parsed file has the user's values and all of ours.
  EXPECT_TRUE(planned.contains(QLatin1String("\"feedbackSurveyRate\": 0.10,")));
  EXPECT_TRUE(planned.contains(QLatin1String("\"cleanupPeriodDays\": 3e1")));
  const QJsonObject settings = QJsonDocument::fromJson(planned.toUtf8()).object();
  EXPECT_TRUE(claudeHooksInstalled(settings, kClaude));
  EXPECT_EQ(settings["hooks"]["PreToolUse"][0]["hooks"][0]["command"], QJsonValue("~/bin/guard.sh"));
  EXPECT_EQ(settings["statusLine"].toObject(),
            QJsonObject({{"type", "command"},
                         {"command", kClaude.claudeStatusLinePath},
                         {"padding", 0},
                         {"refreshInterval", 60}}));

  // The guard and the null both stay where they were, ours come after them.
  const QJsonArray pre =
      QJsonDocument::fromJson(planClaude(QString::fromUtf8(kGuardAndNull)).value().toUtf8())["hooks"]["PreToolUse"]
          .toArray();
  ASSERT_EQ(pre.size(), 3);
  EXPECT_EQ(pre[0]["hooks"][0]["command"], QJsonValue("my-guard"));
  EXPECT_TRUE(pre[1].isNull());
  EXPECT_EQ(pre[2]["hooks"][0]["command"], QJsonValue(kClaude.eventCommandPath + " --source claude_code"));

  // A file written on one line stays on one line, with its own separators.
  const QString oneLine = planClaude(QStringLiteral(R"({"model":"opus"})")).value();
  EXPECT_FALSE(oneLine.contains(u'\n'));
  EXPECT_TRUE(oneLine.startsWith(QLatin1String(R"({"model":"opus", "hooks":{)")));
  EXPECT_TRUE(claudeHooksInstalled(QJsonDocument::fromJson(oneLine.toUtf8()).object(), kClaude));
}

TEST(ConfigTextEdit, ShapesItCannotEditSafelyAreRefused) {
  const std::pair<const char*, const char*> cases[] = {
      {"hooks is a string", R"({"hooks": "none"})"},
      {"an event holds an object", R"({"hooks": {"Stop": {"command": "x"}}})"},
      {"hooks twice", R"({"hooks": {}, "model": "o", "hooks": {}})"},
      {"an event twice", R"({"hooks": {"Stop": [], "Stop": []}})"},
      {"not an object", R"(["hooks"])"},
  };
  for (const auto& [name, text] : cases) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(planClaude(QString::fromUtf8(text)).ok());
    EXPECT_FALSE(planCodex(QString::fromUtf8(text)).ok());
  }
}

TEST(ConfigTextEdit, OurBareCommandsGetQuotesOnlyWhereTheShellNeedsThem) {
  const ClaudeHookCommands spaced{QStringLiteral("/home/J o/.tandrel/bin/tandrel-event"),
                                  QStringLiteral("/home/J o/.tandrel/bin/tandrel-hook-claude"),
                                  QStringLiteral("/home/J o/.tandrel/bin/tandrel-claude-statusline")};
  // An entry of ours written bare, with an argument of the user's after it.
  const QString before = QStringLiteral(
      R"({"hooks": {"Stop": [{"hooks": [{"type": "command", "command": "/home/J o/.tandrel/bin/tandrel-event --source claude_code --quiet"}]}]}})");
  const QJsonObject settings =
      QJsonDocument::fromJson(plannedClaudeSettingsText(before, spaced).value().toUtf8()).object();
  EXPECT_EQ(settings["hooks"]["Stop"][0]["hooks"][0]["command"],
            QJsonValue("'/home/J o/.tandrel/bin/tandrel-event' --source claude_code --quiet"));
  EXPECT_EQ(settings["hooks"]["Stop"][1]["hooks"][0]["command"], QJsonValue("'/home/J o/.tandrel/bin/tandrel-hook-claude'"));
  EXPECT_EQ(settings["statusLine"]["command"], QJsonValue("'/home/J o/.tandrel/bin/tandrel-claude-statusline'"));
  EXPECT_TRUE(claudeHooksInstalled(settings, spaced));
  EXPECT_FALSE(claudeHooksInstalled(QJsonDocument::fromJson(before.toUtf8()).object(), spaced));
  // A plain path is written as it is.
  EXPECT_TRUE(planClaude(QStringLiteral("{}")).value().contains(
      QLatin1String("\"/home/u/.tandrel/bin/tandrel-event --source claude_code\"")));
}

}  // namespace
}  // namespace tandrel
