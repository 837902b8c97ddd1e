#include "ai_tools/ai_tools_model.h"

#include "ai_tools/tool_rows.h"
#include "platform/fake/fake_app_locator.h"

#include <gtest/gtest.h>

namespace tandrel {
namespace {

using test::toolRow;

QStringList ids(const AIToolGroup& group) {
  QStringList out;
  for (const ToolHealth& tool : group.tools) {
    out << tool.id;
  }
  return out;
}

TEST(AIToolsModelTest, GroupsFollowTheCatalogue) {
  // Given out of order, with a stranger product and an id the catalogue does not know.
  const std::vector<ToolHealth> rows{
      toolRow("trae-agent-cli", "Trae", HookStatus::healthy, true),
      toolRow("codex-cli", "OpenAI Codex", HookStatus::healthy, true),
      toolRow("trae-new", "Trae", HookStatus::alpha, true),
      toolRow("mystery", "Nobody", HookStatus::healthy, true),
      toolRow("trae-ide", "Trae", HookStatus::missing, false),
      toolRow("trae-other", "Trae", HookStatus::alpha, true),
      toolRow("claude-code", "Claude", HookStatus::healthy, true),
      toolRow("codex-app", "OpenAI Codex", HookStatus::alpha, true),
  };
  const auto groups = settingsAIToolGroups(rows);
  ASSERT_EQ(groups.size(), 3u);
  EXPECT_EQ(groups[0].product, "Claude");
  EXPECT_EQ(ids(groups[0]), QStringList({"claude-code"}));
  EXPECT_EQ(groups[1].product, "OpenAI Codex");
  EXPECT_EQ(ids(groups[1]), QStringList({"codex-app", "codex-cli"}));
  EXPECT_EQ(groups[2].product, "Trae");
  // Unknown ids last, in their given order.
  EXPECT_EQ(ids(groups[2]), QStringList({"trae-ide", "trae-agent-cli", "trae-new", "trae-other"}));
  EXPECT_TRUE(settingsAIToolGroups({}).empty());
}

TEST(AIToolsModelTest, ActionTablePerHealthState) {
  const QString web = QStringLiteral("https://example.com/download");
  struct Case {
    const char* what;
    ToolHealth tool;
    SettingsToolPrimaryAction action;
    std::optional<QString> title;
    bool jump;
  };
  using A = SettingsToolPrimaryAction;
  const Case cases[] = {
      {"missing with a web page", toolRow("t", "P", HookStatus::missing, false, "IDE", "Jump", {"Jump"}, web), A::download,
       "Download", true},
      {"missing, upper-case scheme", toolRow("t", "P", HookStatus::missing, false, "CLI", "Hooks", {}, "HTTPS://x.y"),
       A::download, "Download", false},
      {"missing with a path", toolRow("t", "P", HookStatus::missing, false, "IDE", "Jump", {}, "/opt/x"), A::none,
       std::nullopt, true},
      {"detected but status missing", toolRow("t", "P", HookStatus::missing, true, "CLI", "Hooks", {}, web), A::download,
       "Download", false},
      {"repair wins over jump", toolRow("t", "P", HookStatus::repair, true, "App/Cloud", "Webhook / Wrapper", {"Jump"}),
       A::repair, "Repair", true},
      {"jump only on any surface", toolRow("t", "P", HookStatus::alpha, true, "Extension", "Jump only"), A::jump, "Jump",
       true},
      {"jump integration on a terminal", toolRow("t", "P", HookStatus::alpha, true, "Terminal / AI", "Jump", {"Jump"}),
       A::none, std::nullopt, false},
      {"jump capability on an app", toolRow("t", "P", HookStatus::healthy, true, "App/Cloud", "Webhook / Wrapper",
                                        {"Messages", "jump"}),
       A::jump, "Jump", true},
      {"alpha wrapper, any case", toolRow("t", "P", HookStatus::alpha, true, "CLI", "Stream JSON / WRAPPER", {"Jump"}),
       A::bridge, "Bridge", false},
      {"alpha without wrapper or jump", toolRow("t", "P", HookStatus::alpha, true, "CLI", "Notify", {"Jump"}), A::none,
       std::nullopt, false},
      {"healthy command tool", toolRow("t", "P", HookStatus::healthy, true, "CLI", "Wrapper", {"Jump"}), A::none,
       std::nullopt, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(settingsToolPrimaryAction(c.tool), c.action);
    EXPECT_EQ(settingsToolActionTitle(c.tool), c.title);
    EXPECT_EQ(settingsToolIsJumpAction(c.tool), c.jump);
  }
}

TEST(AIToolsModelTest, BannersAndBadges) {
  ToolHealth app = toolRow("trae-ide", "Trae", HookStatus::alpha, true, "IDE", "Jump / Notifications");
  app.name = QStringLiteral("Trae IDE");
  EXPECT_EQ(settingsToolOpenedStatus(app), "Opened Trae IDE");
  EXPECT_EQ(settingsToolOpenFailedStatus(app), "Could not open Trae IDE");
  ToolHealth absent = app;
  absent.detected = false;
  EXPECT_EQ(settingsToolOpenedStatus(absent), "Opened Trae IDE download");
  EXPECT_EQ(settingsToolOpenFailedStatus(absent), "Could not open Trae IDE download");
  ToolHealth cli = toolRow("x", "P", HookStatus::healthy, true, "CLI", "Hooks");
  cli.name = QStringLiteral("X");
  EXPECT_EQ(settingsToolOpenedStatus(cli), "Opened X setup");

  EXPECT_EQ(toolStatusBadge(cli).text, "Healthy");
  EXPECT_EQ(toolStatusBadge(cli).symbol, "✓");
  EXPECT_EQ(toolStatusBadge(app).text, "Installed");
  EXPECT_EQ(toolStatusBadge(toolRow("x", "P", HookStatus::repair, true)).text, "Error");
  const ToolSettingsBadge missing = toolStatusBadge(toolRow("x", "P", HookStatus::missing, true));
  EXPECT_EQ(missing.text, "Not installed");
  EXPECT_TRUE(missing.symbol.isEmpty());
  EXPECT_TRUE(missing.muted);

  // Codex with our hooks written but not trusted yet says so, and what to do.
  ToolHealth codex = toolRow("codex-cli", "OpenAI Codex", HookStatus::alpha, true, "CLI", "Notify");
  codex.detail = codexAwaitingTrustDetail();
  EXPECT_TRUE(settingsToolAwaitsTrust(codex));
  EXPECT_EQ(toolStatusBadge(codex), (ToolSettingsBadge{"Needs trust", "!", ai_tools_colors::kWarning, false}));
  EXPECT_EQ(toolAttentionLine(codex), codexAwaitingTrustDetail());
  EXPECT_TRUE(toolAttentionLine(codex)->contains("/hooks"));
  EXPECT_EQ(settingsToolPrimaryAction(codex), SettingsToolPrimaryAction::none);
  codex.status = HookStatus::healthy;
  EXPECT_FALSE(settingsToolAwaitsTrust(codex));
  EXPECT_EQ(toolAttentionLine(codex), std::nullopt);
}

TEST(AIToolsModelTest, AnInstalledRowInErrorGivesItsReasonInsteadOfItsUsageText) {
  const QString reason = QStringLiteral("Install or repair Claude Code hooks");
  struct Case {
    const char* name;
    HookStatus status;
    bool detected;
    QString detail;
    std::optional<QString> line;
  };
  const Case cases[] = {
      {"in error", HookStatus::repair, true, reason, reason},
      {"not detected", HookStatus::repair, false, reason, std::nullopt},
      {"healthy", HookStatus::healthy, true, QStringLiteral("Hooks write local Tandrel events"), std::nullopt},
      {"in error without a reason", HookStatus::repair, true, QString(), std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ToolHealth claude = toolRow("claude-code", "Claude", c.status, c.detected);
    claude.detail = c.detail;
    EXPECT_EQ(toolAttentionLine(claude), c.line);
  }
}

TEST(AIToolsModelTest, RowFramesStackGroupsOnThePage) {
  // First group of three rows (Cursor), second of two (Trae).
  const std::vector<ToolHealth> rows{
      toolRow("cursor-ide", "Cursor", HookStatus::alpha, true),      toolRow("cursor-glass", "Cursor", HookStatus::alpha, true),
      toolRow("cursor-agent-cli", "Cursor", HookStatus::alpha, true), toolRow("trae-ide", "Trae", HookStatus::alpha, true),
      toolRow("trae-solo", "Trae", HookStatus::alpha, true),
  };
  EXPECT_EQ(toolRowFrame(rows, "cursor-ide"), QRectF(168, 121.5, 680, 68));
  EXPECT_EQ(toolRowFrame(rows, "trae-solo"), QRectF(168, 425.5, 680, 68));
  EXPECT_EQ(toolRowFrame(rows, "windsurf"), std::nullopt);

  const AIToolsPageLayout layout = aiToolsPageLayout(rows);
  ASSERT_EQ(layout.groups.size(), 2u);
  EXPECT_EQ(layout.groups[1].titleY, 341.5);
  EXPECT_EQ(layout.groups[1].panel, QRectF(168, 357.5, 680, 136));
  EXPECT_EQ(layout.contentHeight, 357.5 + 136 + 16 + 24);
  EXPECT_EQ(aiToolsPageLayout({}).contentHeight, 129.5);

  EXPECT_EQ(toolActionButtonRect(QRectF(168, 425.5, 680, 68)), QRectF(700, 445.5, 84, 28));
  EXPECT_EQ(toolEnableToggleRect(QRectF(168, 425.5, 680, 68)), QRectF(804, 449.5, 36, 20));
  EXPECT_EQ(aiToolsRefreshButtonRect(860), QRectF(728, 66, 112, 28));
}

TEST(AIToolsModelTest, OpenPlans) {
  FakeAppLocator locator;
  locator.path = QStringLiteral("/usr/bin");
  locator.files = {"/home/u/.codex/config.toml", "/home/u/Apps"};
  locator.executables = {"/home/u/Downloads/tool.AppImage", "/usr/bin/trae", "/home/u/Downloads/run"};
  locator.files.insert("/home/u/Apps/tool.desktop");
  locator.entries = {
      DesktopEntry{"trae", "/usr/share/applications/trae.desktop", "Trae", "trae --new-window %F", "trae"},
      DesktopEntry{"cursor", "/usr/share/applications/cursor.desktop", "Cursor", "/opt/cursor/cursor %U", "cursor"},
  };
  const auto search = [](const char* name) {
    return QUrl(QStringLiteral("https://www.google.com/search?q=") + QLatin1String(name));
  };
  using K = ToolOpenPlan::Kind;
  struct Case {
    const char* what;
    std::optional<QString> target;
    ToolOpenPlan plan;
  };
  const Case cases[] = {
      {"no target", std::nullopt, {}},
      {"web address", "https://www.trae.ai/download", {K::url, QUrl("https://www.trae.ai/download"), {}}},
      {"http that does not parse", "http://bad host/x", {K::url, search("My%20Tool"), {}}},
      {"a config file", "/home/u/.codex/config.toml", {K::url, QUrl::fromLocalFile("/home/u/.codex/config.toml"), {}}},
      {"a folder", "/home/u/Apps", {K::url, QUrl::fromLocalFile("/home/u/Apps"), {}}},
      // Never run by opening: programs, AppImages and desktop entries give their folder.
      {"an AppImage", "/home/u/Downloads/tool.AppImage", {K::url, QUrl::fromLocalFile("/home/u/Downloads"), {}}},
      {"a program", "/home/u/Downloads/run", {K::url, QUrl::fromLocalFile("/home/u/Downloads"), {}}},
      {"a desktop file", "/home/u/Apps/tool.desktop", {K::url, QUrl::fromLocalFile("/home/u/Apps"), {}}},
      {"an installed app", "/Applications/Trae.app",
       {K::launch, {}, LaunchCommand{"/usr/bin/trae", {"--new-window"}, QString()}}},
      {"an app whose program is gone", "/Applications/Cursor.app", {K::url, search("My%20Tool"), {}}},
      {"an app that is not installed", "/Applications/Nothing.app", {K::url, search("My%20Tool"), {}}},
      {"a missing config file", "/home/u/.kimi", {K::url, search("My%20Tool"), {}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ToolHealth tool = toolRow("t", "P", HookStatus::alpha, true);
    tool.name = QStringLiteral("My Tool");
    tool.jumpTarget = c.target;
    EXPECT_EQ(toolOpenPlan(tool, locator), c.plan);
  }
  EXPECT_EQ(toolWebSearchURL("Kimi App / Web")->toString(QUrl::FullyEncoded),
            "https://www.google.com/search?q=Kimi%20App%20/%20Web");
}

}  // namespace
}  // namespace tandrel
