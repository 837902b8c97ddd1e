#include "catalog/tool_catalog.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QSet>

#include "platform/app_locator.h"
#include "platform/fake/fake_app_locator.h"
#include "support/temp_home.h"

namespace tandrel {
namespace {

TEST(ToolCatalogTest, KnownIdentifiersFollowTheCatalogue) {
  const auto& catalog = aiToolCatalog();
  const QStringList& ids = phaseOneToolIDs();
  ASSERT_EQ(catalog.size(), 25u);
  ASSERT_EQ(ids.size(), 25);
  QSet<QString> unique;
  for (size_t i = 0; i < catalog.size(); ++i) {
    EXPECT_EQ(ids[static_cast<qsizetype>(i)], catalog[i].id);
    unique.insert(catalog[i].id);
    EXPECT_EQ(catalog[i].color.alphaF(), 1.0) << catalog[i].id.toStdString();
  }
  EXPECT_EQ(unique.size(), 25);
  EXPECT_EQ(ids.first(), QStringLiteral("claude-app"));
  EXPECT_EQ(ids.last(), QStringLiteral("windsurf"));

  // What detection relies on for the Trae family.
  const AIToolCatalogItem* ide = catalogItem(QStringLiteral("trae-ide"));
  const AIToolCatalogItem* solo = catalogItem(QStringLiteral("trae-solo"));
  const AIToolCatalogItem* cli = catalogItem(QStringLiteral("trae-agent-cli"));
  ASSERT_TRUE(ide && solo && cli);
  EXPECT_TRUE(ide->appPaths.contains(QStringLiteral("/Applications/Trae CN.app")));
  EXPECT_FALSE(ide->commandNames.contains(QStringLiteral("trae")));
  EXPECT_TRUE(solo->appPaths.contains(QStringLiteral("/Applications/TRAE SOLO CN.app")));
  EXPECT_FALSE(solo->appPaths.contains(QStringLiteral("/Applications/Trae CN.app")));
  EXPECT_TRUE(cli->commandNames.contains(QStringLiteral("trae-cli")));
  EXPECT_FALSE(cli->commandNames.contains(QStringLiteral("trae")));
  EXPECT_EQ(cli->configPath, std::optional(QStringLiteral("~/.tandrel/usage/trae-agent")));
  EXPECT_EQ(catalogItem(QStringLiteral("factory-droid"))->configPath, std::nullopt);
  EXPECT_EQ(catalogItem(QStringLiteral("nope")), nullptr);
}

TEST(ToolCatalogTest, CanonicalToolID) {
  const struct {
    const char* source;
    const char* expected;
  } cases[] = {
      {"Claude_Code", "claude-code"},
      {"claude code", "claude-code"},
      {"WINDSURF", "windsurf"},
      {"my claude app", "claude-app"},
      {"claude-dev", "cline"},
      {"claude", "claude-code"},
      {"Codex_App", "codex-app"},
      {"codex", "codex-cli"},
      {"openai-codex-desktop", "codex-cli"},
      {"cursor_agent", "cursor-agent-cli"},
      {"cursor", "cursor-ide"},
      {"kilo", "kilo-code"},
      {"pi_coding_agent", "pi"},
      {"npm/@earendil-works/pi-coding-agent", "pi"},
      {"roo-cline", "roo-code"},
      {"saoudrizwan.cline", "cline"},
      {"droid", "factory-droid"},
      {"trae agent", "trae-agent-cli"},
      {"trae-cli-runner", "trae-agent-cli"},
      {"TRAE SOLO CN", "trae-solo"},
      {"Trae CN", "trae-ide"},
      {"gemini", "gemini-cli"},
      {"opencode", "opencode-cli"},
      {"copilot vscode", "copilot-vscode-extension"},
      {"copilot extension", "copilot-vscode-extension"},
      {"copilot agent", "copilot-coding-agent"},
      {"copilot", "copilot-cli"},
      {"VS Code", "vscode-host"},
      {"kimi cli", "kimi-cli"},
      {"kimi", "kimi-app-web"},
      {"Some Tool", "some-tool"},
      {"qwen_code", "qwen_code"},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(canonicalToolID(QString::fromUtf8(c.source)), QString::fromUtf8(c.expected))
        << c.source;
  }
}

TEST(ToolCatalogTest, ToolDisplayName) {
  const struct {
    const char* source;
    const char* expected;
  } cases[] = {
      {"claude_code", "Claude Code"},
      {"cursor-glass", "Cursor Glass"},
      {"copilot_vscode_extension", "Copilot VS Code Extension"},
      {"claude-dev", "Cline"},
      {"Claude Desktop App", "Claude App"},
      {"claude", "Claude Code"},
      {"kilocode", "Kilo Code"},
      {"pi-coding-agent", "Pi"},
      {"roo", "Roo Code"},
      {"codex app", "Codex App"},
      {"codex", "Codex CLI"},
      {"cursor cli", "Cursor Agent CLI"},
      {"cursor", "Cursor IDE"},
      {"factory", "Factory Droid"},
      {"gemini", "Gemini CLI"},
      {"trae-agent", "Trae Agent CLI"},
      {"trae solo", "Trae SOLO"},
      {"trae", "Trae IDE"},
      {"copilot agent", "Copilot Coding Agent"},
      {"copilot", "Copilot CLI"},
      {"opencode", "OpenCode CLI"},
      {"windsurf-next", "Windsurf"},
      {"vs code", "VS Code Host"},
      {"kimi cli", "Kimi CLI"},
      {"kimi", "Kimi App / Web"},
      {"Qwen Code", "Qwen Code"},
      {"", "Agent"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(toolDisplayName(QString::fromUtf8(c.source)), QString::fromUtf8(c.expected))
        << c.source;
  }
}

TEST(ToolCatalogTest, DefaultModel) {
  const struct {
    const char* id;
    const char* expected;
  } cases[] = {
      {"claude", "Sonnet 4.5"},         {"claude-code", "Sonnet 4.5"},
      {"claude-app", "Claude default"}, {"codex-cli", "GPT-5.5-Codex"},
      {"codex-app", "GPT-5.5-Codex"},   {"cursor-agent-cli", "GPT-4o"},
      {"roo-code", "Configured model"}, {"opencode-cli", "Configured model"},
      {"gemini-cli", "Gemini 2.5 Pro"}, {"warp", "Warp AI"},
      {"windsurf", "Windsurf default"}, {"cursor-glass", "Auto"},
      {"Claude-Code", "Auto"},          {"", "Auto"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(defaultModel(QString::fromUtf8(c.id)), QString::fromUtf8(c.expected)) << c.id;
  }
}

TEST(ToolCatalogTest, ToolColorAndLookupBySource) {
  const struct {
    const char* source;
    QColor expected;
    const char* row;  // the catalogue row the source names, or nullptr
  } cases[] = {
      {"Claude Code", QColor(217, 119, 87), "claude-code"},
      {"claude_code", QColor(217, 119, 87), "claude-code"},
      {"Cursor Glass", QColor(0, 107, 255), "cursor-glass"},
      {"kimi app / web", QColor(0, 0, 0), "kimi-app-web"},
      {"trae-cli", QColor(28, 126, 214), "trae-agent-cli"},
      {"qwen-code", QColor(98, 82, 255), nullptr},
      {"Qoder", QColor(92, 126, 255), nullptr},
      {"Code Buddy", QColor(31, 185, 129), nullptr},
      {"codebuddy-cli", QColor(31, 185, 129), nullptr},
      {"unknown", QColor::fromRgbF(1.0F, 1.0F, 1.0F, 0.48F), nullptr},
  };
  for (const auto& c : cases) {
    const QString source = QString::fromUtf8(c.source);
    EXPECT_EQ(toolColor(source).rgba(), c.expected.rgba()) << c.source;
    const AIToolCatalogItem* item = catalogItemForSource(source);
    if (c.row == nullptr) {
      EXPECT_EQ(item, nullptr) << c.source;
    } else {
      ASSERT_NE(item, nullptr) << c.source;
      EXPECT_EQ(item->id, QString::fromUtf8(c.row)) << c.source;
    }
  }
}

TEST(ToolCatalogTest, PiSources) {
  for (const char* yes : {"pi", "pi_coding_agent", "pi/coding-agent", "@earendil-works/pi",
                          "npm:@earendil-works/pi-coding-agent"}) {
    EXPECT_TRUE(isPiToolSource(QString::fromUtf8(yes))) << yes;
  }
  for (const char* no : {"pipeline", "pip", "api", ""}) {
    EXPECT_FALSE(isPiToolSource(QString::fromUtf8(no))) << no;
  }
}

TEST(ToolCatalogTest, ExecutableInPathUsesPathOrTheFallback) {
  test::TempHome home;
  FakeAppLocator locator;
  locator.executables = {QStringLiteral("/b/tool"), QStringLiteral("/c/tool"),
                         home.path() + QStringLiteral("/.local/bin/fallback-tool")};
  locator.files = {QStringLiteral("/a/tool")};  // exists but is not executable

  locator.path = QStringLiteral("/a::/b:/c");
  EXPECT_EQ(executableInPath(QStringLiteral("tool"), locator),
            std::optional(QStringLiteral("/b/tool")));
  EXPECT_EQ(executableInPath(QStringLiteral("missing"), locator), std::nullopt);
  locator.path = QString();  // set but empty: no folders at all
  EXPECT_EQ(executableInPath(QStringLiteral("tool"), locator), std::nullopt);
  locator.path = std::nullopt;
  EXPECT_EQ(
      locator.searchDirectories(),
      QStringList({home.path() + QStringLiteral("/.local/bin"), QStringLiteral("/usr/local/bin"),
                   QStringLiteral("/usr/bin"), QStringLiteral("/bin"), QStringLiteral("/usr/sbin"),
                   QStringLiteral("/sbin")}));
  EXPECT_EQ(executableInPath(QStringLiteral("fallback-tool"), locator),
            std::optional(home.path() + QStringLiteral("/.local/bin/fallback-tool")));
}

TEST(ToolCatalogTest, ExecutableInPathOnDisk) {
  test::TempHome home;
  const QString plain = home.file(QStringLiteral("plain/agent"));
  const QString runnable = home.file(QStringLiteral("bin/agent"));
  ASSERT_TRUE(test::writeFile(plain, "#!/bin/sh\n"));
  ASSERT_TRUE(test::writeFile(runnable, "#!/bin/sh\n"));
  ASSERT_TRUE(
      QFile::setPermissions(runnable, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
  home.setEnv("PATH", (home.file(QStringLiteral("plain")) + QLatin1Char(':') +
                       home.file(QStringLiteral("bin")))
                          .toUtf8());
  EXPECT_EQ(executableInPath(QStringLiteral("agent")), std::optional(runnable));
  // A folder of that name is no executable.
  EXPECT_EQ(executableInPath(QStringLiteral("")), std::nullopt);
}

TEST(ToolCatalogTest, PreferredExistingAppPath) {
  test::TempHome home;
  const QString installed = home.path() + QStringLiteral("/Applications/Trae CN.app");
  const PathPredicate onlyInstalled = [&](const QString& path) { return path == installed; };

  EXPECT_EQ(preferredExistingAppPath({}, onlyInstalled), std::nullopt);
  EXPECT_EQ(preferredExistingAppPath({QStringLiteral("~/Applications/Nothing.app")}, onlyInstalled),
            std::optional(home.path() + QStringLiteral("/Applications/Nothing.app")));
  EXPECT_EQ(preferredExistingAppPath({QStringLiteral("/Applications/Trae.app"),
                                      QStringLiteral("~/Applications/Trae CN.app")},
                                     onlyInstalled),
            std::optional(installed));
  EXPECT_EQ(preferredExistingAppPath({QStringLiteral("/Applications/Trae.app"),
                                      QStringLiteral("/Applications/Trae CN.app")},
                                     onlyInstalled),
            std::optional(QStringLiteral("/Applications/Trae.app")));
}

TEST(ToolCatalogTest, SoftwareLogoAppPath) {
  const PathPredicate nothingInstalled = [](const QString&) { return false; };
  const PathPredicate traeCnInstalled = [](const QString& path) {
    return path == QLatin1String("/Applications/Trae CN.app") ||
           path == QLatin1String("/Applications/Trae SOLO.app");
  };
  const struct {
    const char* tool;
    const PathPredicate& installed;
    std::optional<QString> expected;
  } cases[] = {
      {"claude-app", nothingInstalled, QStringLiteral("/Applications/Claude.app")},
      {"Claude Code", nothingInstalled, QStringLiteral("/Applications/Claude.app")},
      {"codex", nothingInstalled, QStringLiteral("/Applications/Codex.app")},
      {"cursor-agent-cli", nothingInstalled, QStringLiteral("/Applications/Cursor.app")},
      {"cursor-glass", nothingInstalled, QStringLiteral("/Applications/Cursor Glass.app")},
      {"trae_solo", nothingInstalled, QStringLiteral("/Applications/TRAE SOLO CN.app")},
      {"trae_solo", traeCnInstalled, QStringLiteral("/Applications/Trae SOLO.app")},
      {"trae-agent-cli", traeCnInstalled, QStringLiteral("/Applications/Trae CN.app")},
      {"kimi-cli", nothingInstalled, QStringLiteral("/Applications/Kimi.app")},
      {"warp", nothingInstalled, std::nullopt},
      {"gemini-cli", nothingInstalled, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(softwareLogoAppPath(QString::fromUtf8(c.tool), c.installed), c.expected) << c.tool;
  }
}

TEST(ToolCatalogTest, BundleIdentifierIsTheDesktopEntryId) {
  FakeAppLocator locator;
  locator.entries = {
      DesktopEntry{QStringLiteral("code"), QStringLiteral("/usr/share/applications/code.desktop"),
                   QStringLiteral("Visual Studio Code"), QStringLiteral("/usr/bin/code %F"),
                   QStringLiteral("vscode")},
      DesktopEntry{QStringLiteral("dev.warp.Warp"), QStringLiteral("/x/dev.warp.Warp.desktop"),
                   QStringLiteral("Warp Terminal"), QStringLiteral("warp-terminal"),
                   QStringLiteral("dev.warp.Warp")},
  };
  EXPECT_EQ(bundleIdentifierAt(QStringLiteral("/Applications/Visual Studio Code.app"), locator),
            std::optional(QStringLiteral("code")));
  EXPECT_EQ(bundleIdentifierAt(QStringLiteral("/Applications/Warp.app"), locator),
            std::optional(QStringLiteral("dev.warp.Warp")));
  EXPECT_EQ(bundleIdentifierAt(QStringLiteral("/Applications/Claude.app"), locator), std::nullopt);
}

}  // namespace
}  // namespace tandrel
