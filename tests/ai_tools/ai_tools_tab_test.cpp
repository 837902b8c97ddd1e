#include "ai_tools/ai_tools_tab.h"

#include "platform/fake/fake_app_locator.h"
#include "platform/fake/fake_clock.h"
#include "support/temp_home.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <QFile>

#include <atomic>
#include <mutex>

namespace tandrel {
namespace {

using namespace std::chrono_literals;

ToolHealth tool(const QString& id, const QString& name, HookStatus status, bool detected, const QString& surface,
                const QString& integration, std::optional<QString> jumpTarget) {
  ToolHealth health;
  health.id = id;
  health.product = QStringLiteral("P");
  health.name = name;
  health.status = status;
  health.detected = detected;
  health.surface = surface;
  health.integration = integration;
  health.capabilities = {QStringLiteral("Jump")};
  health.jumpTarget = std::move(jumpTarget);
  return health;
}

ToolHealth traeIDE() {
  return tool("trae-ide", "Trae IDE", HookStatus::alpha, true, "IDE", "Jump / Notifications", "/Applications/Trae.app");
}
ToolHealth codexCLI(HookStatus status) {
  return tool("codex-cli", "Codex CLI", status, true, "CLI", "Notify", "/home/u/.codex/config.toml");
}

// A tab over fakes: the health it reads, the confirmations it asks, what it installs and opens,
// the banners it shows.
class AIToolsTabTest : public ::testing::Test {
 protected:
  void SetUp() override {
    locator.path = QStringLiteral("/usr/bin");
    locator.executables = {"/usr/bin/trae"};
    locator.entries = {DesktopEntry{"trae", "/usr/share/applications/trae.desktop", "Trae", "trae %F", "trae"}};
    AIToolsTab::externalURLOpenerForTests = [this](const QUrl& url) {
      openedURLs.append(url);
      return true;
    };
    AIToolsTab::appLauncherForTests = [this](const LaunchCommand& command) {
      std::lock_guard lock(mutex);
      launches.push_back(command);
      return true;
    };
  }
  void TearDown() override {
    tab.reset();
    AIToolsTab::externalURLOpenerForTests = nullptr;
    AIToolsTab::appLauncherForTests = nullptr;
    AIToolsTab::repairConfirmationForTests = nullptr;
    AIToolsTab::hookInstallerForTests = nullptr;
    AIToolsTab::toolHealthProviderForTests = nullptr;
  }

  void makeTab(std::vector<ToolHealth> initial) {
    rows = std::move(initial);
    AIToolsTab::ViewHooks view;
    view.showBanner = [this](const QString& text, const QColor& color) { banners.append({text, color}); };
    view.showsSettings = [this] { return inSettings; };
    view.leaveSettings = [this] { inSettings = false; };
    view.usageToolsChanged = [this] { ++usageRebuilds; };
    view.normalizeActiveUsageTool = [this] { ++normalizations; };
    view.healthSignature = [](const std::vector<ToolHealth>& rows) {
      QStringList parts;
      for (const ToolHealth& row : rows) {
        parts << row.id + hookStatusRawValue(row.status);
      }
      return parts.join('|');
    };
    AIToolsTab::Services services;
    services.health = [this] {
      std::lock_guard lock(mutex);
      ++healthReads;
      return health;
    };
    services.preview = [](const QString& id) -> Result<QString> {
      if (id == QLatin1String("broken")) {
        return Result<QString>::failure(QStringLiteral("not TOML"));
      }
      return QStringLiteral("Bridge scripts:\n+ ") + id;
    };
    services.install = [this](const QString& id) -> Result<void> {
      std::lock_guard lock(mutex);
      installs.append(id);
      return installResult;
    };
    services.confirm = [this](const ToolConfirmation& confirmation) {
      confirmations.push_back(confirmation);
      return confirmAnswer;
    };
    services.locator = &locator;
    services.clock = &clock;
    tab = std::make_unique<AIToolsTab>(std::move(view), std::move(services), rows);
  }

  bool waitForBanner() {
    return test::waitUntil([this] { return !banners.isEmpty(); });
  }
  int reads() {
    std::lock_guard lock(mutex);
    return healthReads;
  }

  FakeAppLocator locator;
  FakeClock clock;
  std::mutex mutex;
  std::vector<ToolHealth> health;
  std::vector<ToolHealth> rows;  // the view's
  int healthReads = 0;
  QStringList installs;
  Result<void> installResult = Result<void>::success();
  std::vector<ToolConfirmation> confirmations;
  bool confirmAnswer = true;
  QList<QUrl> openedURLs;
  std::vector<LaunchCommand> launches;
  QList<QPair<QString, QColor>> banners;
  bool inSettings = true;
  int usageRebuilds = 0;
  int normalizations = 0;
  std::unique_ptr<AIToolsTab> tab;
};

TEST_F(AIToolsTabTest, RefreshIsThrottledUnlessForced) {
  health = {codexCLI(HookStatus::healthy)};
  makeTab({});
  int completions = 0;
  bool lastChanged = false;
  const auto done = [&](bool changed) {
    ++completions;
    lastChanged = changed;
  };
  EXPECT_TRUE(tab->refreshAIToolsHealth(false, done));  // the first one always reads
  ASSERT_TRUE(test::waitUntil([&] { return completions == 1; }));
  EXPECT_TRUE(lastChanged);
  EXPECT_EQ(usageRebuilds, 1);
  ASSERT_EQ(tab->toolHealth().size(), 1u);

  clock.advance(1000ms);
  EXPECT_FALSE(tab->refreshAIToolsHealth(false, done));
  clock.advance(1000ms);
  EXPECT_TRUE(tab->refreshAIToolsHealth(false, done));
  EXPECT_TRUE(tab->refreshAIToolsHealth(true, done));  // forced: no matter how recent
  ASSERT_TRUE(test::waitUntil([&] { return completions == 3; }));
  EXPECT_EQ(reads(), 3);
  EXPECT_FALSE(lastChanged);  // nothing usage-relevant changed
  EXPECT_EQ(usageRebuilds, 1);

  // The self-tests' fixture replaces the hook manager.
  AIToolsTab::toolHealthProviderForTests = [] { return std::vector<ToolHealth>{traeIDE()}; };
  EXPECT_TRUE(tab->refreshAIToolsHealth(true, done));
  ASSERT_TRUE(test::waitUntil([&] { return completions == 4; }));
  EXPECT_EQ(reads(), 3);
  ASSERT_EQ(tab->toolHealth().size(), 1u);
  EXPECT_EQ(tab->toolHealth()[0].id, "trae-ide");
  EXPECT_TRUE(lastChanged);
}

TEST_F(AIToolsTabTest, JumpLaunchesTheInstalledAppAndLeavesSettings) {
  makeTab({traeIDE()});
  ASSERT_TRUE(tab->performAIToolPrimaryActionForTests("trae-ide"));
  ASSERT_TRUE(waitForBanner());
  EXPECT_EQ(banners[0].first, "Opened Trae IDE");
  EXPECT_EQ(banners[0].second, ai_tools_colors::kInfo);
  ASSERT_EQ(launches.size(), 1u);
  EXPECT_EQ(launches[0], (LaunchCommand{"/usr/bin/trae", {}, QString()}));
  EXPECT_FALSE(inSettings);
  EXPECT_FALSE(tab->performAIToolPrimaryActionForTests("nothing"));
}

TEST_F(AIToolsTabTest, OpenFallsBackToWebSearchAndReportsFailures) {
  ToolHealth gone = traeIDE();
  gone.jumpTarget = QStringLiteral("/Applications/Gone.app");
  ToolHealth none = traeIDE();
  none.jumpTarget.reset();
  makeTab({gone});

  std::optional<bool> opened;
  tab->openTool(gone, [&](bool result) { opened = result; });
  ASSERT_TRUE(test::waitUntil([&] { return opened.has_value(); }));
  EXPECT_TRUE(*opened);
  ASSERT_EQ(openedURLs.size(), 1);
  EXPECT_EQ(openedURLs[0], QUrl("https://www.google.com/search?q=Trae%20IDE"));

  // No target at all: nothing opens, the amber banner, the panel stays.
  opened.reset();
  tab->performAIToolPrimaryAction(none);
  ASSERT_TRUE(waitForBanner());
  EXPECT_EQ(banners[0].first, "Could not open Trae IDE");
  EXPECT_EQ(banners[0].second, ai_tools_colors::kWarning);
  EXPECT_TRUE(inSettings);
}

TEST_F(AIToolsTabTest, DownloadAsksFirst) {
  const ToolHealth missing =
      tool("trae-ide", "Trae IDE", HookStatus::missing, false, "IDE", "Jump", "https://www.trae.ai/download");
  makeTab({missing});
  confirmAnswer = false;
  tab->performAIToolPrimaryAction(missing);
  ASSERT_EQ(confirmations.size(), 1u);
  EXPECT_EQ(confirmations[0].message, "Install Trae IDE?");
  EXPECT_EQ(confirmations[0].confirmTitle, "Open Download");
  EXPECT_EQ(confirmations[0].informativeText,
            "Tandrel could not find Trae IDE locally. Open the official download page, install it, then use Refresh in "
            "AI Tools.");
  EXPECT_EQ(confirmations[0].preview, std::nullopt);
  QCoreApplication::processEvents();
  EXPECT_TRUE(openedURLs.isEmpty());
  EXPECT_TRUE(banners.isEmpty());

  confirmAnswer = true;
  tab->performAIToolPrimaryAction(missing);
  ASSERT_TRUE(waitForBanner());
  EXPECT_EQ(openedURLs, QList<QUrl>{QUrl("https://www.trae.ai/download")});
  EXPECT_EQ(banners[0].first, "Opened Trae IDE download");
}

TEST_F(AIToolsTabTest, ADownloadPageThatNoProgramOpensIsReportedAndTheSettingsStay) {
  // The desktop's opener itself, an xdg-open of our own on PATH, answers.
  AIToolsTab::externalURLOpenerForTests = nullptr;
  test::TempHome home;
  const QString opener = home.file(QStringLiteral("bin/xdg-open"));
  home.setEnv("PATH", QFile::encodeName(home.file(QStringLiteral("bin"))) + ":/usr/bin:/bin");
  const ToolHealth missing =
      tool("trae-ide", "Trae IDE", HookStatus::missing, false, "IDE", "Jump", "https://www.trae.ai/download");
  const struct {
    QByteArray script;
    QString banner;
    QColor color;
    bool staysInSettings;
  } cases[] = {
      {"echo 'xdg-open: no method available' >&2; exit 3\n", "Could not open Trae IDE download",
       ai_tools_colors::kWarning, true},
      {"exit 0\n", "Opened Trae IDE download", ai_tools_colors::kInfo, false},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(test::writeFile(opener, "#!/bin/sh\n" + c.script));
    QFile::setPermissions(opener, QFile::ReadOwner | QFile::ExeOwner);
    banners.clear();
    inSettings = true;
    makeTab({missing});
    tab->performAIToolPrimaryAction(missing);
    ASSERT_TRUE(waitForBanner()) << c.banner.toStdString();
    EXPECT_EQ(banners[0].first, c.banner);
    EXPECT_EQ(banners[0].second, c.color) << c.banner.toStdString();
    EXPECT_EQ(inSettings, c.staysInSettings) << c.banner.toStdString();
  }
}

TEST_F(AIToolsTabTest, RepairShowsThePreviewInstallsAndRefreshes) {
  health = {codexCLI(HookStatus::healthy)};
  makeTab({codexCLI(HookStatus::repair)});
  tab->performAIToolPrimaryAction(codexCLI(HookStatus::repair));
  ASSERT_TRUE(waitForBanner());
  ASSERT_EQ(confirmations.size(), 1u);
  EXPECT_EQ(confirmations[0],
            (ToolConfirmation{"Repair Codex CLI hook?", "Review the planned bridge script and config changes below.",
                              "Repair", QStringLiteral("Bridge scripts:\n+ codex-cli")}));
  EXPECT_EQ(installs, QStringList({"codex-cli"}));
  EXPECT_EQ(banners[0].first, "Codex CLI hook repaired");
  EXPECT_EQ(banners[0].second, ai_tools_colors::kSuccess);
  // The row comes from fresh health, and no longer offers Repair.
  ASSERT_EQ(tab->toolHealth().size(), 1u);
  EXPECT_EQ(settingsToolActionTitle(tab->toolHealth()[0]), std::nullopt);
  EXPECT_EQ(normalizations, 1);
  EXPECT_FALSE(tab->isInstalling("codex-cli"));
}

TEST_F(AIToolsTabTest, ARepairWhoseHooksWaitForTrustSaysSoInAmber) {
  ToolHealth waiting = codexCLI(HookStatus::alpha);
  waiting.detail = codexAwaitingTrustDetail();
  health = {waiting};
  makeTab({codexCLI(HookStatus::repair)});
  tab->performAIToolPrimaryAction(codexCLI(HookStatus::repair));
  ASSERT_TRUE(waitForBanner());
  EXPECT_EQ(banners[0].first, "Codex CLI hooks written: trust them in Codex (/hooks)");
  EXPECT_EQ(banners[0].second, ai_tools_colors::kWarning);
  EXPECT_EQ(toolStatusBadge(tab->toolHealth()[0]).color, banners[0].second)
      << "the banner speaks in the row's colour";
}

TEST_F(AIToolsTabTest, RepairOutcomes) {
  // Cancelled: nothing installed, nothing said.
  makeTab({codexCLI(HookStatus::repair)});
  confirmAnswer = false;
  tab->performAIToolPrimaryAction(codexCLI(HookStatus::repair));
  ASSERT_TRUE(test::waitUntil([&] { return !confirmations.empty(); }));
  QCoreApplication::processEvents();
  EXPECT_TRUE(installs.isEmpty());
  EXPECT_TRUE(banners.isEmpty());
  EXPECT_FALSE(tab->isInstalling("codex-cli"));

  // A preview that cannot be made does not stop the flow; a failing install says why in red and
  // leaves health alone.
  confirmAnswer = true;
  installResult = Result<void>::failure(QStringLiteral("config.toml is not TOML"));
  ToolHealth broken = codexCLI(HookStatus::repair);
  broken.id = QStringLiteral("broken");
  tab->performAIToolPrimaryAction(broken);
  ASSERT_TRUE(waitForBanner());
  EXPECT_EQ(confirmations.back().preview, "Unable to generate preview.");
  EXPECT_EQ(banners[0].first, "Install failed: config.toml is not TOML");
  EXPECT_EQ(banners[0].second, ai_tools_colors::kFailure);
  EXPECT_EQ(reads(), 0);

  // A repaired app that is a detected jump action is opened afterwards.
  banners.clear();
  installResult = Result<void>::success();
  ToolHealth app = traeIDE();
  health = {app};
  app.status = HookStatus::repair;
  tab->performAIToolPrimaryAction(app);
  ASSERT_TRUE(waitForBanner());
  EXPECT_EQ(banners[0].first, "Repaired and opened Trae IDE");
  EXPECT_EQ(launches.size(), 1u);
  EXPECT_FALSE(inSettings);
}

TEST_F(AIToolsTabTest, BridgeThroughTheTestSwitches) {
  ToolHealth wrapper = tool("kimi-cli", "Kimi CLI", HookStatus::alpha, true, "CLI", "Wrapper", std::nullopt);
  health = {wrapper};
  makeTab({wrapper});
  QStringList recorded;
  std::vector<ToolConfirmation> skipped;
  AIToolsTab::repairConfirmationForTests = [&](const ToolConfirmation& confirmation) {
    skipped.push_back(confirmation);
    return true;
  };
  AIToolsTab::hookInstallerForTests = [&](const QString& id) {
    recorded.append(id);  // runs on the tab's queue while the test thread waits
    return Result<void>::success();
  };
  tab->performAIToolPrimaryAction(wrapper);
  ASSERT_TRUE(waitForBanner());
  EXPECT_TRUE(confirmations.empty());  // no dialog
  ASSERT_EQ(skipped.size(), 1u);
  EXPECT_EQ(skipped[0].message, "Install Kimi CLI hook?");
  EXPECT_EQ(skipped[0].confirmTitle, "Install");
  EXPECT_EQ(recorded, QStringList({"kimi-cli"}));
  EXPECT_TRUE(installs.isEmpty());
  EXPECT_EQ(banners[0].first, "Kimi CLI bridge installed");
}

TEST_F(AIToolsTabTest, OneInstallPerToolAtATime) {
  makeTab({codexCLI(HookStatus::repair)});
  std::atomic<bool> release = false;
  std::atomic<int> started = 0;
  AIToolsTab::hookInstallerForTests = [&](const QString&) {
    ++started;
    while (!release) {
      std::this_thread::yield();
    }
    return Result<void>::success();
  };
  tab->performAIToolPrimaryAction(codexCLI(HookStatus::repair));
  ASSERT_TRUE(test::waitUntil([&] { return started == 1; }));
  EXPECT_TRUE(tab->isInstalling("codex-cli"));
  tab->performAIToolPrimaryAction(codexCLI(HookStatus::repair));  // a second click meanwhile
  release = true;
  ASSERT_TRUE(waitForBanner());
  EXPECT_EQ(confirmations.size(), 1u);
  EXPECT_EQ(started, 1);
}

}  // namespace
}  // namespace tandrel
