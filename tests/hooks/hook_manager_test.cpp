// The hook manager against a scratch home: refusing damaged files, backups, installing twice,
// health for every catalogue row, and the preview texts.
#include "hooks/hook_manager.h"

#include "catalog/paths.h"
#include "hooks/claude_settings.h"
#include "hooks/codex_config.h"
#include "hooks/hook_files.h"
#include "platform/app_locator.h"
#include "platform/fake/fake_app_locator.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <atomic>
#include <chrono>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tandrel {
namespace {

// The permission bits of a file.
unsigned mode(const QString& path) {
  struct stat info {};
  return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

constexpr qint64 kNow = 1700000000;

class HookManagerTest : public ::testing::Test {
 protected:
  HookManagerTest()
      : paths_(HookPaths::forHome(home_.path(), home_.file(QStringLiteral(".config/opencode")))),
        manager_(paths_, locator_, [] { return kNow; }) {
    locator_.path = QStringLiteral("/fakebin");
  }
  ~HookManagerTest() override { setTestEnvironment(false); }

  // The names in a folder that begin with `prefix`.
  static QStringList backupsOf(const QString& file) {
    const QFileInfo info(file);
    return QDir(info.path()).entryList({info.fileName() + QStringLiteral(".tandrel-backup-*")},
                                       QDir::Files, QDir::Name);
  }

  test::TempHome home_;
  FakeAppLocator locator_;
  HookPaths paths_;
  HookManager manager_;
};

TEST_F(HookManagerTest, RefusesDamagedConfigurationsAndChangesNothing) {
  struct Case {
    const char* name;
    const char* claudeSettings;  // nullptr: leave the file alone
    const char* codexConfig;
    const char* codexHooks;
    const char* tool;
  };
  const Case cases[] = {
      {"settings are not JSON", "{\"model\": \"opus\",", nullptr, nullptr, "claude-code"},
      {"settings hold an array", "[{\"model\": \"opus\"}]", nullptr, nullptr, "claude-code"},
      {"settings hold a string", "\"opus\"", nullptr, nullptr, "claude-code"},
      {"hooks.json is not JSON", nullptr, "model = \"o4\"\n", "{\"hooks\": ", "codex-cli"},
      {"hooks.json holds an array", nullptr, "model = \"o4\"\n", "[]", "codex-cli"},
      {"config.toml is not TOML", nullptr, "model = \"o4\n", "{}", "codex-cli"},
      {"config.toml is not UTF-8", nullptr, "model = \"\xff\"\n", "{}", "codex-cli"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::pair<QString, const char*> files[] = {{paths_.claudeSettings, c.claudeSettings},
                                                     {paths_.codexConfig, c.codexConfig},
                                                     {paths_.codexHooks, c.codexHooks}};
    for (const auto& [path, text] : files) {
      QFile::remove(path);
      if (text != nullptr) {
        ASSERT_TRUE(test::writeFile(path, text));
      }
    }
    auto result = manager_.install(QString::fromLatin1(c.tool));
    ASSERT_FALSE(result.ok());
    EXPECT_TRUE(result.error().contains(QLatin1String("nothing was changed")))
        << result.error().toStdString();
    EXPECT_FALSE(manager_.installationPreview(QString::fromLatin1(c.tool)).ok());
    for (const auto& [path, text] : files) {
      if (text != nullptr) {
        EXPECT_EQ(test::readFile(path), QByteArray(text));
        EXPECT_TRUE(backupsOf(path).isEmpty());
      }
    }
    // Not even the scripts were written.
    EXPECT_FALSE(QFileInfo::exists(paths_.bridgeDirectory));
  }
}

TEST_F(HookManagerTest, ClaudeSettingsAreBackedUpChainedAndWrittenOnce) {
  const QByteArray user = R"({"model": "opus", "statusLine": {"type": "command", "command": "~/line.sh", "padding": 1}})";
  ASSERT_TRUE(test::writeFile(paths_.claudeSettings, user));
  QFile::setPermissions(paths_.claudeSettings, QFileDevice::ReadOwner | QFileDevice::WriteOwner);

  ASSERT_TRUE(manager_.installClaudeHooks().ok());
  const QByteArray written = test::readFile(paths_.claudeSettings);
  EXPECT_EQ(written, manager_.plannedClaudeSettings().value().toUtf8());
  EXPECT_FALSE(written.endsWith('\n'));
  EXPECT_EQ(mode(paths_.claudeSettings), 0600u)
      << "the user's file keeps its mode";
  EXPECT_EQ(backupsOf(paths_.claudeSettings),
            QStringList{QStringLiteral("settings.json.tandrel-backup-1700000000")});
  EXPECT_EQ(test::readFile(paths_.claudeSettings + QStringLiteral(".tandrel-backup-1700000000")),
            user);
  const QJsonObject chain =
      QJsonDocument::fromJson(test::readFile(paths_.bridgeConfigDirectory +
                                             QStringLiteral("/claude-statusline-chain.json")))
          .object();
  EXPECT_EQ(chain["statusLine"]["command"], QJsonValue("~/line.sh"));
  EXPECT_EQ(chain["statusLine"]["padding"], QJsonValue(1));
  for (const char* folder : {".tandrel", ".tandrel/config"}) {
    EXPECT_EQ(mode(home_.file(QString::fromLatin1(folder))), 0700u) << folder;
  }

  // A second run finds everything in place: no new backup, the same bytes, the chain kept.
  ASSERT_TRUE(manager_.installClaudeHooks().ok());
  EXPECT_EQ(test::readFile(paths_.claudeSettings), written);
  EXPECT_EQ(backupsOf(paths_.claudeSettings).size(), 1);
  EXPECT_EQ(manager_.installationPreview(QStringLiteral("claude-code")).value(),
            QStringLiteral("Bridge scripts:\n+ %1/tandrel-event\n+ %1/tandrel-codex-notify\n+ "
                           "%1/tandrel-claude-statusline\n+ %1/tandrel-wrap\n+ %1/tandrel-hook-claude\n+ "
                           "%1/tandrel-hook-codex\n\n%2\nNo config line changes; bridge "
                           "scripts will be refreshed.")
                .arg(paths_.bridgeDirectory, paths_.claudeSettings));
}

TEST_F(HookManagerTest, CodexFilesAreBothBackedUpAndTheNotifyChainKept) {
  const QByteArray config = "notify = [\n  \"notify-send\",\n  \"Codex\",\n]\n[features]\nweb = true\n";
  const QByteArray hooks = R"({"hooks": {"Stop": [{"hooks": [{"type": "command", "command": "say done"}]}]}})";
  ASSERT_TRUE(test::writeFile(paths_.codexConfig, config));
  ASSERT_TRUE(test::writeFile(paths_.codexHooks, hooks));

  ASSERT_TRUE(manager_.installCodexNotify().ok());
  EXPECT_EQ(test::readFile(paths_.codexConfig), manager_.plannedCodexConfig().value().toUtf8());
  EXPECT_EQ(test::readFile(paths_.codexHooks), manager_.plannedCodexHooks().value().toUtf8());
  EXPECT_EQ(test::readFile(paths_.codexConfig + QStringLiteral(".tandrel-backup-1700000000")),
            config);
  EXPECT_EQ(test::readFile(paths_.codexHooks + QStringLiteral(".tandrel-backup-1700000000")),
            hooks);
  EXPECT_EQ(QJsonDocument::fromJson(test::readFile(paths_.bridgeConfigDirectory +
                                                   QStringLiteral("/codex-notify-chain.json")))
                .object(),
            QJsonObject({{"notify", QJsonArray{"notify-send", "Codex"}}}));

  const QByteArray configAfter = test::readFile(paths_.codexConfig);
  const QByteArray hooksAfter = test::readFile(paths_.codexHooks);
  ASSERT_TRUE(manager_.installCodexNotify().ok());
  EXPECT_EQ(test::readFile(paths_.codexConfig), configAfter);
  EXPECT_EQ(test::readFile(paths_.codexHooks), hooksAfter);
  EXPECT_EQ(backupsOf(paths_.codexConfig).size(), 1);
  EXPECT_EQ(backupsOf(paths_.codexHooks).size(), 1);
}

// The Codex row reads the decoded notify array, as the planner does, and says when config.toml
// cannot be read instead of taking the app down with it.
TEST_F(HookManagerTest, CodexHealthReadsTheDecodedNotifyAndNamesAnUnreadableConfig) {
  locator_.files.insert(paths_.codexConfig);  // Codex CLI is here
  const auto codex = [this] {
    for (const ToolHealth& row : manager_.health()) {
      if (row.id == QLatin1String("codex-cli")) {
        return row;
      }
    }
    return ToolHealth{};
  };
  ASSERT_TRUE(manager_.install(QStringLiteral("codex-cli")).ok());
  const QString installedDetail = codex().detail;
  ASSERT_NE(codex().status, HookStatus::repair) << installedDetail.toStdString();

  // Our path stays in the file, but only in a comment: not installed, and Repair puts it back.
  QByteArray commented = test::readFile(paths_.codexConfig);
  const QByteArray ours = "[\"" + manager_.codexNotifyPath().toUtf8() + "\"]";
  ASSERT_TRUE(commented.contains(ours));
  commented.replace(ours, "[ # \"" + manager_.codexNotifyPath().toUtf8() +
                              "\",\n  \"notify-send\", \"Codex\" ]");
  ASSERT_TRUE(test::writeFile(paths_.codexConfig, commented));
  EXPECT_EQ(codex().status, HookStatus::repair);
  EXPECT_EQ(codex().detail, QStringLiteral("Install or repair Codex CLI notify and hooks"));
  ASSERT_TRUE(manager_.install(QStringLiteral("codex-cli")).ok());
  EXPECT_TRUE(test::readFile(paths_.codexConfig).contains(ours));
  EXPECT_EQ(codex().detail, installedDetail);
  EXPECT_EQ(QJsonDocument::fromJson(test::readFile(paths_.bridgeConfigDirectory +
                                                   QStringLiteral("/codex-notify-chain.json")))
                .object(),
            QJsonObject({{"notify", QJsonArray{"notify-send", "Codex"}}}));

  // 260 KB of nested arrays: the row says the file cannot be read; Repair refuses and writes
  // nothing.
  const QByteArray deep = "x = " + QByteArray(130'000, '[') + QByteArray(130'000, ']') + "\n";
  ASSERT_TRUE(test::writeFile(paths_.codexConfig, deep));
  const int backups = static_cast<int>(backupsOf(paths_.codexConfig).size());
  EXPECT_EQ(codex().status, HookStatus::repair);
  EXPECT_EQ(codex().detail,
            QStringLiteral("Codex config.toml could not be read: it is not valid TOML at line 1 "
                           "(nested deeper than 128)"));
  auto repaired = manager_.install(QStringLiteral("codex-cli"));
  ASSERT_FALSE(repaired.ok());
  EXPECT_TRUE(repaired.error().contains(QLatin1String("nothing was changed")));
  EXPECT_EQ(test::readFile(paths_.codexConfig), deep);
  EXPECT_EQ(backupsOf(paths_.codexConfig).size(), backups);
}

TEST(HookFiles, BackupsNeverOverwriteAndAFailedCopyIsAnError) {
  test::TempHome home;
  const QString file = home.file(QStringLiteral("settings.json"));
  EXPECT_EQ(backupFile(file, kNow).value(), QString()) << "no file, no backup";
  ASSERT_TRUE(test::writeFile(file, "one"));
  EXPECT_EQ(backupFile(file, kNow).value(), file + QStringLiteral(".tandrel-backup-1700000000"));
  ASSERT_TRUE(test::writeFile(file, "two"));
  EXPECT_EQ(backupFile(file, kNow).value(), file + QStringLiteral(".tandrel-backup-1700000000-2"));
  EXPECT_EQ(test::readFile(file + QStringLiteral(".tandrel-backup-1700000000")), "one");
  EXPECT_EQ(test::readFile(file + QStringLiteral(".tandrel-backup-1700000000-2")), "two");

  // A folder in place of the file cannot be copied.
  const QString folder = home.file(QStringLiteral("hooks.json"));
  ASSERT_TRUE(QDir().mkpath(folder));
  EXPECT_FALSE(backupFile(folder, kNow).ok());
}

TEST(HookFiles, OnlyTheNewestFiveBackupsStay) {
  test::TempHome home;
  const QString file = home.file(QStringLiteral("settings.json"));
  // Names that are not backups of this file stay whatever happens.
  const QStringList others{QStringLiteral("settings.json.tandrel-backup-notes"),
                           QStringLiteral("hooks.json.tandrel-backup-100")};
  for (const QString& other : others) {
    ASSERT_TRUE(test::writeFile(home.file(other), "other"));
  }
  const qint64 seconds[] = {100, 101, 102, 103, 104, 105, 106, 106};
  for (std::size_t i = 0; i < std::size(seconds); ++i) {
    ASSERT_TRUE(test::writeFile(file, QByteArray::number(qulonglong(i))));
    ASSERT_TRUE(backupFile(file, seconds[i]).ok());
  }
  QStringList kept = QDir(home.path()).entryList({QStringLiteral("*.tandrel-backup-*")}, QDir::Files);
  kept.sort();
  EXPECT_EQ(kept, (QStringList{"hooks.json.tandrel-backup-100", "settings.json.tandrel-backup-103",
                               "settings.json.tandrel-backup-104", "settings.json.tandrel-backup-105",
                               "settings.json.tandrel-backup-106", "settings.json.tandrel-backup-106-2",
                               "settings.json.tandrel-backup-notes"}));
  EXPECT_EQ(test::readFile(file + QStringLiteral(".tandrel-backup-106-2")), "7");
}

TEST(HookFiles, ScriptsAreReplacedWholeAndExecutable) {
  test::TempHome home;
  const QString script = home.file(QStringLiteral("bin/tool"));
  ASSERT_TRUE(makeDirectories(home.file(QStringLiteral("bin")), true).ok());
  ASSERT_TRUE(test::writeFile(script, "old text that is longer"));
  QFile::setPermissions(script, QFileDevice::ReadOwner);
  ASSERT_TRUE(writeFileAtomically(script, "#!/bin/sh\n", true).ok());
  EXPECT_EQ(test::readFile(script), "#!/bin/sh\n");
  EXPECT_EQ(mode(script), 0755u);
  EXPECT_TRUE(QDir(home.file(QStringLiteral("bin"))).entryList(QDir::Files).size() == 1)
      << "no temporary file is left behind";

  // A configuration reached through a symbolic link: the link stays, its target changes.
  const QString target = home.file(QStringLiteral("dotfiles/settings.json"));
  const QString link = home.file(QStringLiteral("settings.json"));
  ASSERT_TRUE(test::writeFile(target, "{}"));
  ASSERT_TRUE(QFile::link(target, link));
  ASSERT_TRUE(writeFileAtomically(link, "{\"a\": 1}").ok());
  EXPECT_TRUE(QFileInfo(link).isSymLink());
  EXPECT_EQ(test::readFile(target), "{\"a\": 1}");
}

// ---- health

struct HealthRow {
  const char* id;
  const char* detail;  // when the integration is not installed; "%n" stands for the name
  HookStatus detected;  // the status when detected and not installed
};

const HealthRow kHealthRows[] = {
    {"claude-app", "Install %n to enable Jump only", HookStatus::alpha},
    {"claude-code", "Install or repair Claude Code hooks", HookStatus::repair},
    {"codex-app", "Install Codex App to enable app Jump", HookStatus::alpha},
    {"codex-cli", "Install or repair Codex CLI notify and hooks", HookStatus::repair},
    {"cursor-ide", "Install %n to enable Jump / Wrapper", HookStatus::alpha},
    {"cursor-glass", "Install %n to enable Jump", HookStatus::alpha},
    {"cursor-agent-cli", "Install wrapper bridge to record %n runs", HookStatus::alpha},
    {"kilo-code", "Install wrapper bridge to record %n runs", HookStatus::alpha},
    {"pi", "Install wrapper bridge to record %n runs", HookStatus::alpha},
    {"cline", "Install wrapper bridge to record %n runs", HookStatus::alpha},
    {"roo-code", "Install wrapper bridge to record %n runs", HookStatus::alpha},
    {"factory-droid", "Install wrapper bridge to record %n runs", HookStatus::alpha},
    {"trae-ide", "Install %n to enable Jump / Notifications", HookStatus::alpha},
    {"trae-solo", "Install wrapper bridge to record %n runs", HookStatus::alpha},
    {"trae-agent-cli", "Install wrapper bridge to record %n runs", HookStatus::alpha},
    {"gemini-cli", "Install wrapper bridge to record %n runs", HookStatus::alpha},
    {"opencode-cli", "Install the OpenCode plugin to record session usage", HookStatus::alpha},
    {"copilot-vscode-extension", "Install %n to enable Jump only", HookStatus::alpha},
    {"copilot-cli", "Install wrapper bridge to record %n runs", HookStatus::alpha},
    {"copilot-coding-agent", "Configure a webhook before Tandrel can receive cloud-agent events",
     HookStatus::alpha},
    {"vscode-host", "Install %n to enable Jump only", HookStatus::alpha},
    {"kimi-app-web", "Install %n to enable Jump only", HookStatus::alpha},
    {"kimi-cli", "Install wrapper bridge to record %n runs", HookStatus::alpha},
    {"warp", "Install %n to enable Jump", HookStatus::alpha},
    {"windsurf", "Install %n to enable Jump", HookStatus::alpha},
};

TEST_F(HookManagerTest, HealthOfEveryRowWithNothingAndEverythingDetected) {
  ASSERT_EQ(std::size(kHealthRows), aiToolCatalog().size());
  std::vector<ToolHealth> rows = manager_.health();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const HealthRow& expected = kHealthRows[i];
    SCOPED_TRACE(expected.id);
    ASSERT_EQ(rows[i].id, QLatin1String(expected.id));
    EXPECT_FALSE(rows[i].detected);
    EXPECT_EQ(rows[i].status, HookStatus::missing);
    EXPECT_EQ(rows[i].detail,
              QString::fromUtf8(expected.detail).replace(QLatin1String("%n"), rows[i].name));
  }

  // Everything present, each by its own rule: commands on PATH (or in ~/.local/bin, which is not
  // on it), applications through their desktop entries, marker files and extension folders.
  for (const AIToolCatalogItem& row : aiToolCatalog()) {
    for (const QString& command : row.commandNames) {
      locator_.executables.insert(paths_.home + QStringLiteral("/.local/bin/") + command);
    }
    for (const QString& app : row.appPaths) {
      const QString name = QFileInfo(app).completeBaseName();
      locator_.entries.push_back({name.toLower(), {}, name, {}, {}});
    }
  }
  locator_.files.insert(paths_.home + QStringLiteral("/.tandrel/config/copilot-coding-agent-webhook.json"));
  for (const char* extension : {"saoudrizwan.claude-dev-3.1.0", "RooVeterinaryInc.roo-cline-1.0",
                                "GitHub.copilot-1.2"}) {
    ASSERT_TRUE(QDir().mkpath(home_.file(QStringLiteral(".cursor/extensions/")) + extension));
  }
  rows = manager_.health();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(kHealthRows[i].id);
    EXPECT_TRUE(rows[i].detected);
    EXPECT_EQ(rows[i].status, kHealthRows[i].detected);
  }
  EXPECT_EQ(rows[4].path, QStringLiteral("/Applications/Cursor.app"));
  EXPECT_EQ(rows[12].jumpTarget, QStringLiteral("/Applications/Trae.app"));
  EXPECT_EQ(rows[15].path, QStringLiteral("~/.gemini \u00B7 tandrel-wrap"));
  EXPECT_EQ(rows[16].jumpTarget, paths_.opencodePlugin);
}

TEST_F(HookManagerTest, TheTestEnvironmentDetectsEverythingAndCountsTheHooksInstalled) {
  setTestEnvironment(true);
  const std::vector<ToolHealth> rows = manager_.health();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(kHealthRows[i].id);
    EXPECT_TRUE(rows[i].detected);
    const bool ours = kHealthRows[i].detected == HookStatus::repair ||
                      rows[i].id == QLatin1String("opencode-cli") ||
                      HookManager::isWrapperTool(rows[i].id);
    EXPECT_EQ(rows[i].status, ours ? HookStatus::healthy : HookStatus::alpha);
  }
  EXPECT_TRUE(manager_.wrapperBridgeReady());
}

// ---- preview

TEST(InstallPreview, DiffShowsEachChangeWithItsContext) {
  struct Case {
    const char* oldText;
    const char* newText;
    const char* expected;
  };
  const Case cases[] = {
      {"a\nb", "a\nb", "T\nNo config line changes; bridge scripts will be refreshed."},
      {"a\nb\nc", "a\nb\nc\nd\ne", "--- T\n+++ T\n@@ -1,3 +1,5 @@\n  a\n  b\n  c\n+ d\n+ e"},
      {"a\nb\nc", "a\nx\nc", "--- T\n+++ T\n@@ -1,3 +1,3 @@\n  a\n- b\n+ x\n  c"},
      {"", "{\n}", "--- T\n+++ T\n@@ -0,0 +1,2 @@\n+ {\n+ }"},
      {"a\nb\n", "a\nb", "--- T\n+++ T\n(only the line break at the end changes)"},
      // Changes more than six lines apart are two hunks; nearer ones share their context.
      {"1\n2\n3\n4\n5\n6\n7\n8\n9\n10", "0\n1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11",
       "--- T\n+++ T\n@@ -1,3 +1,4 @@\n+ 0\n  1\n  2\n  3\n@@ -8,3 +9,4 @@\n  8\n  9\n  10\n+ 11"},
      // A line that gains its comma is changed where it is, not matched with a later one.
      {"[\n  {\n    \"x\": 1\n  }\n]", "[\n  {\n    \"x\": 1\n  },\n  {\n    \"y\": 2\n  }\n]",
       "--- T\n+++ T\n@@ -1,5 +1,8 @@\n  [\n    {\n      \"x\": 1\n-   }\n+   },\n+   {\n+     \"y\": 2\n+   }\n  ]"},
      {"1\n2\n3\n4\n5\n6", "x\n2\n3\n4\n5\n6\ny",
       "--- T\n+++ T\n@@ -1,6 +1,7 @@\n- 1\n+ x\n  2\n  3\n  4\n  5\n  6\n+ y"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(unifiedDiff(QStringLiteral("T"), QString::fromUtf8(c.oldText), QString::fromUtf8(c.newText)).toStdString(),
              std::string(c.expected));
  }
  // One inserted line near the top of a long file is one change, and nothing is cut.
  QStringList oldLines;
  for (int i = 0; i < 1000; ++i) {
    oldLines.append(QString::number(i));
  }
  QStringList newLines = oldLines;
  newLines.insert(1, QStringLiteral("new"));
  newLines.append(QStringLiteral("last"));
  const QStringList out = unifiedDiff(QStringLiteral("T"), oldLines.join(u'\n'), newLines.join(u'\n')).split(u'\n');
  EXPECT_EQ(out.filter(QRegularExpression(QStringLiteral("^[-+] "))),
            (QStringList{QStringLiteral("+ new"), QStringLiteral("+ last")}));
  EXPECT_EQ(out.size(), 2 + 1 + 5 + 1 + 4);
}

TEST_F(HookManagerTest, PreviewsSayWhatWillBeWritten) {
  const QString codex = manager_.installationPreview(QStringLiteral("codex-cli")).value();
  EXPECT_TRUE(codex.contains(QLatin1String("+ [features] hooks = true")));
  EXPECT_TRUE(codex.contains(paths_.codexHooks + QStringLiteral(": PermissionRequest, UserPromptSubmit, Stop")));
  EXPECT_TRUE(codex.contains(QLatin1String("approval gate: PermissionRequest, Stop")));
  EXPECT_FALSE(codex.contains(QLatin1String("codex_hooks")));
  EXPECT_TRUE(codex.contains(QStringLiteral("+ notify = [\"%1\"]").arg(manager_.codexNotifyPath())));

  // A first Claude install: every script written is listed, and the whole new file, uncut.
  const QString claudePreview = manager_.installationPreview(QStringLiteral("claude-code")).value();
  for (const QString& name : bridgeScriptNames()) {
    EXPECT_TRUE(claudePreview.contains(QStringLiteral("\n+ ") + paths_.bridgeDirectory + u'/' + name + u'\n'))
        << name.toStdString();
  }
  const QStringList claude = claudePreview.split(u'\n');
  const auto diff = std::find(claude.begin(), claude.end(), QStringLiteral("--- ") + paths_.claudeSettings);
  ASSERT_NE(diff, claude.end());
  QStringList planned = manager_.plannedClaudeSettings().value().split(u'\n');
  EXPECT_EQ(*(diff + 2), QStringLiteral("@@ -0,0 +1,%1 @@").arg(planned.size()));
  planned.replaceInStrings(QRegularExpression(QStringLiteral("^")), QStringLiteral("+ "));
  EXPECT_EQ(claude.mid(diff - claude.begin() + 3), planned);
  EXPECT_FALSE(claudePreview.contains(QLatin1String("truncated")));

  EXPECT_TRUE(manager_.installationPreview(QStringLiteral("factory-droid"))
                  .value()
                  .contains(manager_.wrapperPath() +
                            QStringLiteral(" --source factory-droid -- <command> [args...]")));
  EXPECT_EQ(manager_.installationPreview(QStringLiteral("windsurf")).value(),
            QStringLiteral("No hook writer is available for this adapter yet."));
  EXPECT_EQ(manager_.installationPreview(QStringLiteral("cursor-ide")).value(),
            QStringLiteral("No hook writer is available for this adapter yet."));
  // Nothing was written.
  EXPECT_FALSE(QFileInfo::exists(paths_.home + QStringLiteral("/.claude")));
  EXPECT_FALSE(QFileInfo::exists(paths_.home + QStringLiteral("/.codex")));
}


TEST_F(HookManagerTest, AScriptIsReadyOnlyWhenExecutableAndCurrent) {
  locator_.files.insert(paths_.claudeSettings);  // Claude Code is here
  ASSERT_TRUE(manager_.install(QStringLiteral("claude-code")).ok());
  const auto claude = [this] { return manager_.health()[1]; };
  ASSERT_EQ(claude().status, HookStatus::healthy);
  EXPECT_TRUE(manager_.wrapperBridgeReady());

  // JSON writers may escape slashes; the paths are still found.
  const QByteArray settings = test::readFile(paths_.claudeSettings);
  QByteArray escaped = settings;
  escaped.replace("/", "\\/");
  ASSERT_TRUE(test::writeFile(paths_.claudeSettings, escaped));
  EXPECT_EQ(claude().status, HookStatus::healthy);
  ASSERT_TRUE(test::writeFile(paths_.claudeSettings, settings));

  struct Case {
    const char* script;
    bool oneCharacterChanged;  // else: executable bit removed
  };
  const Case cases[] = {{"tandrel-event", true},       {"tandrel-event", false},
                        {"tandrel-hook-claude", true}, {"tandrel-claude-statusline", false},
                        {"tandrel-wrap", true},        {"tandrel-wrap", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.script) + (c.oneCharacterChanged ? " changed" : " not executable"));
    const QString path = paths_.bridgeDirectory + u'/' + QLatin1String(c.script);
    const QByteArray original = test::readFile(path);
    if (c.oneCharacterChanged) {
      QByteArray changed = original;
      changed[changed.size() - 2] = changed[changed.size() - 2] == 'x' ? 'y' : 'x';
      ASSERT_TRUE(writeFileAtomically(path, changed, true).ok());
    } else {
      ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    }
    const bool wrapper = QLatin1String(c.script) == QLatin1String("tandrel-wrap");
    EXPECT_EQ(manager_.wrapperBridgeReady(), !wrapper);
    EXPECT_EQ(claude().status, wrapper ? HookStatus::healthy : HookStatus::repair);
    ASSERT_TRUE(manager_.installBridgeScripts().ok());  // repair
    EXPECT_EQ(test::readFile(path), original);
    EXPECT_EQ(claude().status, HookStatus::healthy);
  }
  // Not detected and not installed: "Not installed", never "Needs repair".
  locator_.files.clear();
  ASSERT_TRUE(QFile::remove(paths_.bridgeDirectory + QStringLiteral("/tandrel-event")));
  EXPECT_EQ(claude().status, HookStatus::missing);
}


TEST_F(HookManagerTest, CodexRowFollowsTheTrustCodexRecorded) {
  locator_.executables.insert(paths_.home + QStringLiteral("/.local/bin/codex"));
  ASSERT_TRUE(manager_.install(QStringLiteral("codex-cli")).ok());
  const QByteArray installedConfig = test::readFile(paths_.codexConfig);
  const QByteArray installedHooks = test::readFile(paths_.codexHooks);
  const QJsonObject hooks = QJsonDocument::fromJson(installedHooks).object();
  // What Codex appends to config.toml on "Trust all".
  QByteArray trust = "\n[hooks.state]\n";
  for (const CodexHookHandler& handler :
       ourCodexHookHandlers(hooks, {manager_.eventCommandPath(), manager_.codexHookPath()})) {
    trust += QStringLiteral("\n[hooks.state.\"%1\"]\ntrusted_hash = \"%2\"\n")
                 .arg(codexHookTrustKey(paths_.codexHooks, handler),
                      codexHookTrustHash(hooks, handler).value())
                 .toUtf8();
  }
  QByteArray changedHooks = installedHooks;
  changedHooks.replace("\"timeout\": 125", "\"timeout\": 90");
  ASSERT_NE(changedHooks, installedHooks);

  struct Case {
    const char* name;
    QByteArray config;
    QByteArray hooks;
    HookStatus status;
  };
  const Case cases[] = {
      {"trusted", installedConfig + trust, installedHooks, HookStatus::healthy},
      {"not trusted yet", installedConfig, installedHooks, HookStatus::alpha},
      {"a gate changed after trust", installedConfig + trust, changedHooks, HookStatus::alpha},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(test::writeFile(paths_.codexConfig, c.config));
    ASSERT_TRUE(test::writeFile(paths_.codexHooks, c.hooks));
    const ToolHealth codex = manager_.health()[3];
    ASSERT_EQ(codex.id, QStringLiteral("codex-cli"));
    EXPECT_EQ(codex.status, c.status);
    EXPECT_EQ(codex.detail == codexAwaitingTrustDetail(), c.status == HookStatus::alpha);
  }
}

// Another editor of settings.json that holds the folder's advisory lock: the install waits for
// it and edits what it left, so that neither loses the other's keys.
TEST_F(HookManagerTest, TwoWritersOfOneSettingsFileLoseNothing) {
  ASSERT_TRUE(test::writeFile(paths_.claudeSettings, "{\n    \"model\": \"opus\"\n}\n"));
  const int folder = ::open(QFile::encodeName(QFileInfo(paths_.claudeSettings).path()).constData(),
                            O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(folder, 0);
  ASSERT_EQ(::flock(folder, LOCK_EX), 0);
  std::atomic<bool> finished{false};
  Result<void> installed;
  std::thread install([&] {
    installed = manager_.installClaudeHooks();
    finished = true;
  });
  for (int waited = 0; waited < 300 && !finished; waited += 10) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  // The other editor read the file before the install began; it writes its change and lets go.
  ASSERT_TRUE(writeFileAtomically(paths_.claudeSettings,
                                  "{\n    \"model\": \"opus\",\n    \"theme\": \"dark\"\n}\n")
                  .ok());
  ::flock(folder, LOCK_UN);
  ::close(folder);
  install.join();
  ASSERT_TRUE(installed.ok()) << installed.error().toStdString();
  const QJsonObject settings = QJsonDocument::fromJson(test::readFile(paths_.claudeSettings)).object();
  EXPECT_EQ(settings["theme"], QJsonValue("dark"));
  EXPECT_TRUE(claudeHooksInstalled(settings, {manager_.eventCommandPath(), manager_.claudeHookPath(),
                                              manager_.claudeStatusLinePath()}));
}

TEST_F(HookManagerTest, TheInstallDoubleStandsInForEveryInstall) {
  QStringList installed;
  HookManager::setInstallOverrideForTests([&installed](const QString& id) {
    installed.append(id);
    return Result<void>::failure(QStringLiteral("double"));
  });
  const auto result = manager_.install(QStringLiteral("codex-cli"));
  HookManager::setInstallOverrideForTests({});
  EXPECT_EQ(result.error(), QStringLiteral("double"));
  EXPECT_EQ(installed, QStringList{QStringLiteral("codex-cli")});
  EXPECT_FALSE(QFileInfo::exists(paths_.home + QStringLiteral("/.tandrel")));
}

// Installed scripts count as current only when every one reads back its text exactly.
TEST(BridgeScriptsCurrent, OnlyWhenEveryScriptReadsBackItsTextExactly) {
  test::TempHome home;
  const std::vector<std::pair<QString, QByteArray>> expected = {{"tandrel-event", "fresh event"},
                                                                {"tandrel-wrap", "fresh wrapper"}};
  const struct {
    const char* name;
    QByteArray event;  // empty: no file
    bool eventIsFolder;
    bool current;
  } cases[] = {
      {"both exact", "fresh event", false, true},
      {"a trailing line feed", "fresh event\n", false, false},
      {"an older script", "#!/usr/bin/env python3\nprint('old')\n", false, false},
      {"a script missing", "", false, false},
      {"a folder where the script goes", "", true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QString folder = home.file(QString::fromLatin1(c.name));
    ASSERT_TRUE(test::writeFile(folder + "/tandrel-wrap", "fresh wrapper"));
    if (!c.event.isEmpty()) {
      ASSERT_TRUE(test::writeFile(folder + "/tandrel-event", c.event));
    }
    if (c.eventIsFolder) {
      ASSERT_TRUE(QDir().mkpath(folder + "/tandrel-event"));
    }
    EXPECT_EQ(bridgeScriptsCurrent(folder, expected), c.current);
  }
  EXPECT_TRUE(bridgeScriptsCurrent(home.file("nothing expected"), {}));
}

}  // namespace
}  // namespace tandrel
