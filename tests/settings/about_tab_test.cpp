#include "island/tandrel_view.h"

#include "events/event_store.h"
#include "platform/fake/fake_clock.h"
#include "settings/pages/about_layout.h"
#include "support/temp_home.h"

#include "update/update_client.h"

#include <gtest/gtest.h>

#include <QDir>

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

UpgradeCheckResponse offer(std::optional<UpgradeArtifact> artifact = std::nullopt) {
  UpgradeCheckResponse response;
  response.updateAvailable = true;
  response.latest.version = QStringLiteral("0.2.0");
  response.latest.releaseNotes = {QStringLiteral("One"), QStringLiteral("Two")};
  response.artifact = std::move(artifact);
  return response;
}

TEST_F(AboutTabGui, TheUpdateRowAndThePanelsButtonRunThePrimaryAction) {
  home.setEnv("TANDREL_UPDATE_RESPONSE_FILE", std::nullopt);
  home.setEnv("TANDREL_UPDATE_MANIFEST_URL", std::nullopt);
  home.setEnv("TANDREL_UPDATE_ENDPOINT", std::nullopt);
  home.setEnv("TANDREL_DISABLE_DEFAULT_UPDATE_FEED", "1");
  // Idle: anywhere on the row checks; with no feed the local build is reported.
  EXPECT_TRUE(view->handleSettingsClick(QPointF(300, 260)));
  EXPECT_EQ(view->aboutUpdate().aboutUpdateState(), UpdateState::idle());
  EXPECT_EQ(view->statusBanner(), "Checked local build: v" + applicationVersion() + ". No remote update feed is configured.");
  // Below the row and off any panel nothing is hit.
  EXPECT_FALSE(view->handleSettingsClick(QPointF(300, 300)));

  // Available: the panel's Download button downloads; an offer without an artifact says so.
  view->aboutUpdate().setAboutUpdateStateForTests(UpdateState::available(offer()));
  EXPECT_FALSE(view->handleSettingsClick(QPointF(700, 330)));  // beside the button
  EXPECT_TRUE(view->clickAboutPrimaryUpdateActionForTests());
  EXPECT_EQ(view->aboutUpdate().aboutUpdateState(),
            UpdateState::error(QStringLiteral("Update v0.2.0 does not include a downloadable artifact.")));

  // Downloading: the panel has no button; the row still takes the click and only redraws.
  view->aboutUpdate().setAboutUpdateStateForTests(UpdateState::downloading(offer(), 0));
  EXPECT_TRUE(view->clickAboutPrimaryUpdateActionForTests());
  EXPECT_EQ(view->aboutUpdate().aboutUpdateState(), UpdateState::downloading(offer(), 0));
  // An error: the status control checks again.
  view->aboutUpdate().setAboutUpdateStateForTests(UpdateState::error(QStringLiteral("x")));
  EXPECT_TRUE(view->clickAboutUpdateCheckForTests());
  EXPECT_EQ(view->aboutUpdate().aboutUpdateState(), UpdateState::idle());
}

TEST_F(AboutTabGui, EveryStateDrawsItsPanelAndControl) {
  UpgradeArtifact artifact;
  artifact.kind = QStringLiteral("zip");
  artifact.url = QStringLiteral("https://example.invalid/a.zip");
  artifact.sizeBytes = 12 * 1024 * 1024;
  const std::pair<const char*, UpdateState> states[] = {
      {"idle", UpdateState::idle()},
      {"checking", UpdateState::checking()},
      {"available", UpdateState::available(offer(artifact))},
      {"downloading", UpdateState::downloading(offer(artifact), 0.4)},
      {"ready", UpdateState::readyToRestart(offer(artifact), QStringLiteral("/u/a.zip"))},
      {"error", UpdateState::error(QStringLiteral("Update check failed. Try again."))},
  };
  for (const qreal ratio : {1.0, 2.0}) {
    for (const auto& [name, state] : states) {
      SCOPED_TRACE(std::string(name) + " at " + std::to_string(ratio));
      view->aboutUpdate().setAboutUpdateStateForTests(state);
      const QImage image = view->renderImage(ratio);
      // Content coordinates are view coordinates 20 lower (the page is never scrolled).
      auto pixel = [&](QPointF content) { return image.pixelColor((content + QPointF(0, 20)).toPoint() * ratio); };
      // The status control's top edge and the panel's stand out from the page above them.
      const QPointF control = about_layout::kStatusControlRect.topLeft() + QPointF(54, 0.5);
      EXPECT_NE(pixel(control), pixel(control - QPointF(0, 4))) << "status control";
      if (const std::optional<QRectF> panel = about_layout::updatePanelRect(state)) {
        const QPointF edge(panel->center().x(), panel->top() + 0.5);
        EXPECT_NE(pixel(edge), pixel(edge - QPointF(0, 4))) << "panel";
      }
      if (const QString keep = qEnvironmentVariable("TANDREL_KEEP_FIXTURE_RENDERS"); !keep.isEmpty()) {
        QDir().mkpath(keep);
        image.save(QStringLiteral("%1/about-%2@%3x.png").arg(keep, QLatin1String(name)).arg(ratio));
      }
    }
  }
}

}  // namespace
}  // namespace tandrel
