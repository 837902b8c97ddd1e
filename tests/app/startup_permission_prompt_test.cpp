#include "app/startup_permission_prompt.h"

#include "app/entry_point.h"
#include "app/overlay_controller.h"
#include "app/overlay_surface.h"
#include "island/tandrel_view.h"
#include "pets/pet_catalog.h"
#include "pets/pet_test_files.h"
#include "platform/fake/fake_clock.h"
#include "platform/fake/fake_window_server.h"
#include "platform/user_defaults.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QPushButton>

namespace tandrel {
namespace {

ToolHealth tool(const char* id, bool detected, HookStatus status) {
  ToolHealth health;
  health.id = QString::fromLatin1(id);
  health.detected = detected;
  health.status = status;
  return health;
}

TEST(StartupPermissionOffer, HooksAndTexts) {
  const std::vector<ToolHealth> health{
      tool("codex-cli", true, HookStatus::repair),   tool("opencode", true, HookStatus::repair),
      tool("claude-code", true, HookStatus::repair), tool("cursor", true, HookStatus::repair),
  };
  EXPECT_EQ(startupHooksToOffer(health), (QStringList{"codex-cli", "claude-code"}));
  EXPECT_TRUE(startupHooksToOffer({tool("claude-code", false, HookStatus::repair),
                                   tool("codex-cli", true, HookStatus::healthy),
                                   tool("codex-cli", true, HookStatus::missing)})
                  .isEmpty());

  const QString pets = QStringLiteral("Tandrel uses folder access to scan installed Codex pets.");
  const QString hooks = QStringLiteral(
      "install or repair local Claude/Codex hook files so approval and completion events can reach the island.");
  EXPECT_EQ(startupPermissionInformativeText({{}, true}), pets);
  EXPECT_EQ(startupPermissionInformativeText({{"codex-cli"}, false}), "Tandrel will " + hooks);
  EXPECT_EQ(startupPermissionInformativeText({{"codex-cli"}, true}), pets + "\n\nTandrel will also " + hooks);
  EXPECT_TRUE(StartupPermissionOffer{}.isEmpty());
}

class StartupPermissionPromptGui : public ::testing::Test {
 protected:
  std::unique_ptr<OverlayController> controller(std::vector<ToolHealth> health) {
    OverlayControllerOptions options;
    options.store.eventFile = home.file("events.jsonl");
    options.socketPath = home.file(".tandrel/tandrel.sock");
    options.defaults = &defaults;
    options.clock = &clock;
    options.windowServer = &windowServer;
    health_ = std::move(health);
    options.toolHealth = [this] { return health_; };
    options.installHook = [this](const QString& id) -> Result<void> {
      installed.append(id);
      if (id == "claude-code") {
        return Result<void>::failure("damaged settings");
      }
      for (ToolHealth& tool : health_) {
        if (tool.id == id) {
          tool.status = HookStatus::healthy;
        }
      }
      return Result<void>::success();
    };
    return std::make_unique<OverlayController>(options);
  }

  static QPushButton* button(StartupPermissionPrompt* prompt, const QString& text) {
    for (QAbstractButton* candidate : prompt->dialog()->buttons()) {
      if (candidate->text() == text) {
        return qobject_cast<QPushButton*>(candidate);
      }
    }
    return nullptr;
  }

  test::TempHome home;
  FakeClock clock;
  FakeWindowServer windowServer;
  UserDefaults defaults{home.file("defaults.json")};
  QStringList installed;
  std::vector<ToolHealth> health_;  // what the hook manager reports; an install repairs its tool
};

TEST_F(StartupPermissionPromptGui, ContinueAuthorisesThePetsFolderAndRepairsEveryOfferedHook) {
  home.setEnv("CODEX_HOME", home.file(".codex").toUtf8());
  ASSERT_TRUE(test::writePetPackage(home.file(".codex/pets/codex-capy"), {{"displayName", "Codex Capy"}}));
  auto app = controller({tool("claude-code", true, HookStatus::repair), tool("codex-cli", true, HookStatus::repair)});
  app->applicationDidFinishLaunching();
  const auto listsCodexPet = [&] {
    for (const auto& surface : app->surfaces()) {
      if (findPetChoice(surface->view->petChoices, "custom:codex-capy") == nullptr) {
        return false;
      }
    }
    return true;
  };
  EXPECT_FALSE(listsCodexPet());
  app->runStartupPermissionFlowIfNeeded();
  StartupPermissionPrompt* prompt = app->startupPermissionPrompt();
  ASSERT_NE(prompt, nullptr);
  EXPECT_EQ(prompt->dialog()->text(), QStringLiteral("Allow Tandrel startup permissions?"));
  EXPECT_TRUE(prompt->dialog()->isVisible());
  // In the island panels' layer, so that it can come in front of them.
  EXPECT_EQ(windowServer.aboveWindows, std::vector<WId>{prompt->dialog()->winId()});
  ASSERT_NE(button(prompt, "Continue"), nullptr);
  button(prompt, "Continue")->click();

  // A failure of the first install does not stop the second.
  EXPECT_EQ(installed, (QStringList{"claude-code", "codex-cli"}));
  EXPECT_TRUE(defaults.boolean(OverlayController::kCodexPetsDirectoryAuthorizedKey));
  EXPECT_TRUE(defaults.boolean(OverlayController::kDidRequestCodexPetsDirectoryAuthorizationKey));
  EXPECT_EQ(app->startupPermissionPrompt(), nullptr);
  ASSERT_NE(app->activeSurface(), nullptr);
  EXPECT_EQ(app->activeSurface()->view->statusBanner(), QStringLiteral("Authorized ~/.codex/pets"));
  EXPECT_EQ(app->activeSurface()->view->statusBannerColor.green(), 214);
  // Every view now lists the Codex pets and shows the tools' health after the installs.
  EXPECT_TRUE(listsCodexPet());
  for (const auto& surface : app->surfaces()) {
    ASSERT_EQ(surface->view->toolHealth.size(), 2u);
    EXPECT_EQ(surface->view->toolHealth[0].status, HookStatus::repair);
    EXPECT_EQ(surface->view->toolHealth[1].status, HookStatus::healthy);
  }

  // Once per launch.
  app->runStartupPermissionFlowIfNeeded();
  EXPECT_EQ(app->startupPermissionPrompt(), nullptr);
}

TEST_F(StartupPermissionPromptGui, LaterEscapeAndQuitChangeNothing) {
  for (const char* how : {"Later", "Escape", "quit"}) {
    SCOPED_TRACE(how);
    auto app = controller({tool("codex-cli", true, HookStatus::repair)});
    app->runStartupPermissionFlowIfNeeded();
    StartupPermissionPrompt* prompt = app->startupPermissionPrompt();
    ASSERT_NE(prompt, nullptr);
    if (QString(how) == "Later") {
      button(prompt, "Later")->click();
    } else if (QString(how) == "Escape") {
      prompt->dialog()->escapeButton()->click();
    } else {
      app->prepareForTermination();
    }
    EXPECT_TRUE(installed.isEmpty());
    EXPECT_FALSE(defaults.contains(OverlayController::kCodexPetsDirectoryAuthorizedKey));
  }
}

TEST_F(StartupPermissionPromptGui, NothingToOfferShowsNothing) {
  defaults.set(OverlayController::kDidRequestCodexPetsDirectoryAuthorizationKey, true);
  auto app = controller({tool("claude-code", true, HookStatus::healthy), tool("codex-cli", false, HookStatus::repair)});
  app->runStartupPermissionFlowIfNeeded();
  EXPECT_EQ(app->startupPermissionPrompt(), nullptr);

  // The terminal Automation request is recorded once and asks nothing.
  const QString requested = QLatin1String(GlobalSettings::kStartupAutomationPromptRequestedKey);
  app->requestAutomationPermissionAtLaunchIfNeeded();
  EXPECT_TRUE(defaults.boolean(requested));

  // The test environment runs neither.
  setTestEnvironment(true);
  auto testApp = controller({tool("codex-cli", true, HookStatus::repair)});
  testApp->runStartupPermissionFlowIfNeeded();
  setTestEnvironment(false);
  EXPECT_EQ(testApp->startupPermissionPrompt(), nullptr);
}

}  // namespace
}  // namespace tandrel
