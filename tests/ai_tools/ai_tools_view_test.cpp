#include "ai_tools/ai_tools_model.h"
#include "ai_tools/ai_tools_tab.h"
#include "ai_tools/tool_rows.h"
#include "settings/settings_frame.h"
#include "settings/settings_pages.h"
#include "settings/settings_paint.h"
#include "settings/settings_view_fixture.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <atomic>

namespace tandrel {
namespace {

// The AI Tools tab inside a view in settings mode, with the tab's switches recording what it opens
// and supplying the health it reads.
class AIToolsViewGui : public test::SettingsViewFixture {
 protected:
  AIToolsViewGui() {
    view->setMode(OverlayMode::settings);
    view->activateSettingsTab(SettingsTab::aiTools);
    AIToolsTab::externalURLOpenerForTests = [this](const QUrl& url) {
      opened.append(url);
      return true;
    };
    AIToolsTab::toolHealthProviderForTests = [this] {
      ++reads;
      return fresh;
    };
    view->toolHealth = rows();
  }
  ~AIToolsViewGui() override {
    view.reset();
    AIToolsTab::externalURLOpenerForTests = nullptr;
    AIToolsTab::toolHealthProviderForTests = nullptr;
  }

  static std::vector<ToolHealth> rows() {
    ToolHealth app = test::toolRow("trae-ide", "Trae", HookStatus::alpha, true, "IDE", "Jump / Notifications", {"Jump"},
                                   QStringLiteral("https://www.trae.ai/download"));
    app.name = QStringLiteral("Trae IDE");
    ToolHealth cli = test::toolRow("codex-cli", "OpenAI Codex", HookStatus::healthy, true, "CLI", "Notify");
    cli.name = QStringLiteral("Codex CLI");
    ToolHealth absent = test::toolRow("gemini-cli", "Gemini", HookStatus::missing, false);
    return {app, cli, absent};
  }

  QRectF row(const QString& id) const { return *toolRowFrame(view->toolHealth, id); }
  bool click(const QRectF& rect) { return view->handleSettingsClick(rect.center()); }
  bool awaitBanner() {
    return test::waitUntil([this] { return view->statusBanner().has_value(); });
  }

  std::unique_ptr<TandrelView> view = makeView(QSize(860, 780));
  QList<QUrl> opened;
  std::atomic<int> reads = 0;
  std::vector<ToolHealth> fresh = rows();
};

TEST_F(AIToolsViewGui, RoutesFollowTheRows) {
  const std::vector<SettingsClickRoute> routes = view->settingsPanel().page(SettingsTab::aiTools).routes();
  std::vector<QRectF> rects;
  for (const SettingsClickRoute& route : routes) {
    rects.push_back(route.rect);
  }
  // Refresh; the buttons of the rows with an action (Codex has none, Gemini none without a
  // page); the switches of the installed tools.
  EXPECT_EQ(rects, (std::vector<QRectF>{aiToolsRefreshButtonRect(860), toolActionButtonRect(row("trae-ide")),
                                        toolEnableToggleRect(row("trae-ide")), toolEnableToggleRect(row("codex-cli"))}));
  EXPECT_FALSE(click(toolEnableToggleRect(row("gemini-cli"))));
  EXPECT_FALSE(click(toolActionButtonRect(row("codex-cli"))));
}

TEST_F(AIToolsViewGui, TheSwitchHidesAndShowsATool) {
  ASSERT_TRUE(click(toolEnableToggleRect(row("codex-cli"))));
  EXPECT_TRUE(settings.values().disabledToolIDs.contains("codex-cli"));
  EXPECT_EQ(defaults.storedAs<QStringList>(QStringLiteral("disabledToolIDs")), QStringList{"codex-cli"});
  EXPECT_EQ(view->statusBanner(), "Codex CLI hidden from Tandrel until re-enabled");
  EXPECT_EQ(view->statusBannerColor, settings_paint::kWarningAmber);

  ASSERT_TRUE(click(toolEnableToggleRect(row("codex-cli"))));
  EXPECT_FALSE(settings.values().disabledToolIDs.contains("codex-cli"));
  EXPECT_EQ(view->statusBanner(), "Codex CLI enabled in Tandrel");
  EXPECT_EQ(view->statusBannerColor, settings_paint::kSuccessGreen);
}

TEST_F(AIToolsViewGui, JumpOpensAndLeavesTheSettings) {
  ASSERT_TRUE(click(toolActionButtonRect(row("trae-ide"))));
  ASSERT_TRUE(awaitBanner());
  EXPECT_EQ(view->statusBanner(), "Opened Trae IDE");
  EXPECT_EQ(opened, QList<QUrl>{QUrl("https://www.trae.ai/download")});
  EXPECT_EQ(view->mode(), OverlayMode::collapsed);
}

TEST_F(AIToolsViewGui, RefreshSaysWhetherAnythingChanged) {
  ASSERT_TRUE(click(aiToolsRefreshButtonRect(860)));
  ASSERT_TRUE(awaitBanner());
  EXPECT_EQ(view->statusBanner(), "AI Tools already up to date");
  EXPECT_EQ(view->statusBannerColor, settings_paint::kInformationBlue);

  view->setStatusBanner(std::nullopt);
  fresh[1].status = HookStatus::repair;
  ASSERT_TRUE(click(aiToolsRefreshButtonRect(860)));
  ASSERT_TRUE(awaitBanner());
  EXPECT_EQ(view->statusBanner(), "AI Tools refreshed");
  EXPECT_EQ(view->toolHealth[1].status, HookStatus::repair);
}

TEST_F(AIToolsViewGui, SelectingTheTabRereadsHealthActivatingDoesNot) {
  view->selectSettingsTab(SettingsTab::aiTools);
  ASSERT_TRUE(test::waitUntil([this] { return reads == 1; }));
  view->selectSettingsTab(SettingsTab::aiTools);  // a moment later: still re-read
  ASSERT_TRUE(test::waitUntil([this] { return reads == 2; }));
  view->activateSettingsTab(SettingsTab::aiTools);
  view->refreshFromDisk();  // the periodic refresh is throttled to every 2 s
  QCoreApplication::processEvents();
  clock.advance(std::chrono::milliseconds(2000));
  view->refreshFromDisk();
  ASSERT_TRUE(test::waitUntil([this] { return reads == 3; }));
}

TEST_F(AIToolsViewGui, ThePageIsDrawnInThePanel) {
  for (const qreal ratio : {1.0, 2.0}) {
    const QImage image = view->renderImage(ratio);
    // The installed Codex CLI's switch is on (blue), the Gemini row's is the inert grey one.
    const QPointF on(toolEnableToggleRect(row("codex-cli")).left() + 6,
                     settings_frame::viewY(toolEnableToggleRect(row("codex-cli")).center().y(), 0));
    const QPointF inert(toolEnableToggleRect(row("gemini-cli")).left() + 10,
                        settings_frame::viewY(toolEnableToggleRect(row("gemini-cli")).center().y(), 0));
    const QRgb blue = image.pixel((on * ratio).toPoint());
    EXPECT_LT(qRed(blue), 40);
    EXPECT_GT(qBlue(blue), 200);
    const QRgb grey = image.pixel((inert * ratio).toPoint());
    EXPECT_NEAR(qRed(grey), qBlue(grey), 8);
    EXPECT_GT(qRed(grey), 60);
  }
}

}  // namespace
}  // namespace tandrel
