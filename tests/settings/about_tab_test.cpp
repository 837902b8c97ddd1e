#include "island/tandrel_view.h"

#include "events/event_store.h"
#include "platform/fake/fake_clock.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

namespace tandrel {
namespace {

class AboutTabGui : public ::testing::Test {
 protected:
  AboutTabGui() {
    home.setEnv("TANDREL_SETTINGS_TAB", std::nullopt);
    EventStoreOptions options;
    options.eventFile = home.file(QStringLiteral("events.jsonl"));
    options.testEnvironment = true;
    store = std::make_unique<EventStore>(options);
    view = std::make_unique<TandrelView>(QSize(860, 780), *store, clock);
    view->setMode(OverlayMode::settings);
    view->selectSettingsTab(SettingsTab::about);
  }

  test::TempHome home;
  FakeClock clock;
  std::unique_ptr<EventStore> store;
  std::unique_ptr<TandrelView> view;
};

TEST_F(AboutTabGui, TheUpdateFlowSpeaksThroughTheViewsBannerAndAFreshFlowKeepsAnInstallFailure) {
  view->aboutUpdate().setAboutUpdateDownloadError(QStringLiteral("Downloaded update failed checksum verification."));
  EXPECT_EQ(view->statusBanner(), QStringLiteral("Downloaded update failed checksum verification."));
  EXPECT_EQ(view->statusBannerColor, updateBannerColor(UpdateBannerRole::failure));

  view->resetAboutUpdateFlow(QStringLiteral("Update to v1.2 failed"));
  EXPECT_EQ(view->aboutUpdate().aboutUpdateState(), UpdateState::error(QStringLiteral("Update to v1.2 failed")));
  view->resetAboutUpdateFlow(std::nullopt);
  EXPECT_EQ(view->aboutUpdate().aboutUpdateState(), UpdateState::idle());
}

}  // namespace
}  // namespace tandrel
