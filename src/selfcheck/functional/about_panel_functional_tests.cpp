#include "selfcheck/functional/about_panel_functional_tests.h"

#include "platform/user_defaults.h"
#include "selfcheck/fixture_builders.h"
#include "selfcheck/functional/about_update_fixture.h"
#include "selfcheck/harness.h"
#include "settings/pages/about_layout.h"
#include "update/automatic_update_scheduler.h"
#include "update/update_client.h"

#include <QDateTime>
#include <QJsonObject>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace tandrel {

bool aboutUpdateUIActionFunctionalTest(const QString& tempRoot) {
  const UpdateSignature::SigningKeyPair key = UpdateSignature::SigningKeyPair::generate();
  const QString version = newerVersion(QStringLiteral("1.1"));
  const QString responsePath = scratchPath(tempRoot, QStringLiteral("about-update-ui-action-response.json"));
  const QString artifact = scratchPath(tempRoot, QStringLiteral("about-update-ui-action.zip"));
  const QString downloads = scratchPath(tempRoot, QStringLiteral("about-update-ui-action-downloads"));
  const QByteArray bytes = QByteArrayLiteral("tandrel-artifact");
  const std::optional<QString> sha = writeArtifact(artifact, bytes);
  const QJsonObject response{
      {QStringLiteral("update_available"), true},
      {QStringLiteral("latest"),
       latestBlock(version, {QStringLiteral("Adds update checks in Settings > About."),
                             QStringLiteral("Shows changelog entries before download."),
                             QStringLiteral("Verifies downloads before restart.")})},
      {QStringLiteral("artifact"),
       zipArtifactBlock(QUrl::fromLocalFile(artifact).toString(), sha.value_or(QString()), 786432, key.sign(bytes))},
      {QStringLiteral("policy"), QJsonObject{{QStringLiteral("channel"), QStringLiteral("test")},
                                             {QStringLiteral("force_update"), false}}}};
  if (!sha || !writeJSON(response, responsePath)) {
    return false;
  }
  AboutViewFixture fixture(tempRoot, key);
  fixture.flow().configureAboutUpdateFixtureForTests(responsePath);
  fixture.flow().configureUpdateDownloadDirectoryForTests(downloads);
  if (fixture.flow().aboutUpdatePrimaryActionTitle() != QLatin1String("Check now")) {
    return false;
  }
  // An automatic check that has just run does not hold back the one the user asks for.
  ScopedRestore restore;
  restore.defaultsKey(AutomaticUpdateScheduler::kLastAutoUpdateCheckAtKey);
  UserDefaults::standard().set(AutomaticUpdateScheduler::kLastAutoUpdateCheckAtKey, QDateTime::currentDateTimeUtc());
  // 12 right of the update row's left edge, at its middle.
  if (!fixture.view().handleSettingsClick(QPointF(180, 264.5))) {
    return false;
  }
  const auto rows = fixture.flow().aboutUpdateDisplayRows();
  const auto firstFive = rows.begin() + std::min<std::ptrdiff_t>(5, static_cast<std::ptrdiff_t>(rows.size()));
  if (std::count_if(rows.begin(), firstFive, [](const auto& row) { return row.isChangelog; }) != 3 ||
      fixture.flow().aboutUpdatePrimaryActionTitle() != QLatin1String("Download Update") ||
      !fixture.view().clickAboutUpdateCheckForTests()) {
    return false;
  }
  return waitOnEventLoop(
             [&] { return fixture.flow().aboutUpdatePrimaryActionTitle() == QLatin1String("Restart to Update"); }, 2.0) &&
         fixture.view().statusBanner().value_or(QString()).contains(QStringLiteral("ready to install"));
}

bool automaticUpdateViewReminderFunctionalTest(const QString& tempRoot) {
  // The reminder does not depend on the About tab being open.
  AboutViewFixture fixture(tempRoot, UpdateSignature::SigningKeyPair::generate(), SettingsTab::general);
  const UpgradeCheckResponse response =
      testUpgradeResponse(true, QStringLiteral("0.1.2"), {QStringLiteral("Automatic reminder test.")});
  if (fixture.flow().applyAutomaticUpdateResult(response, true) != QStringLiteral("0.1.2") ||
      fixture.view().statusBanner() != QStringLiteral("Tandrel v0.1.2 available") ||
      fixture.flow().aboutPrimaryUpdateActionForTests() != AboutUpdateAction::downloadUpdate ||
      !fixture.flow().aboutTabShowsUpdateMarker()) {
    return false;
  }
  fixture.flow().setAboutUpdateStateForTests(UpdateState::upToDate(
      testUpgradeResponse(false, applicationVersion(), {}), QStringLiteral("2026-05-15 00:00")));
  return !fixture.flow().aboutTabShowsUpdateMarker();
}

bool aboutUpdatePanelLayoutFunctionalTest(const QString& tempRoot) {
  UpgradeCheckResponse response = testUpgradeResponse(
      true, QStringLiteral("0.1.1"),
      {QStringLiteral("Adds update checks in Settings > About."), QStringLiteral("Shows changelog entries before download.")});
  response.artifact->url = QStringLiteral("file:///tmp/Tandrel-0.1.1.zip");
  response.requirements.reset();
  AboutViewFixture fixture(tempRoot, UpdateSignature::SigningKeyPair::generate());

  const struct {
    std::optional<UpdateState> state;  // none: the state the view starts in
    bool hasButton;
    qreal buttonWidth;  // 0: not compared
    const char* title;  // null: not read
    qreal appLogTitleY;
  } rows[] = {
      {std::nullopt, false, 0, nullptr, 314},
      {UpdateState::available(response), true, 0, "Download Update", 442},
      {UpdateState::downloading(response, 0.45), false, 0, nullptr, 410},
      {UpdateState::readyToRestart(response, scratchPath(tempRoot, QStringLiteral("Tandrel-0.1.1.zip"))), true, 680,
       "Restart to Update", 400},
  };
  for (const auto& row : rows) {
    if (row.state) {
      fixture.flow().setAboutUpdateStateForTests(*row.state);
    }
    const UpdateState& state = fixture.flow().aboutUpdateState();
    const QRectF button = about_layout::updatePanelActionRect(state);
    if (button.isEmpty() == row.hasButton || (row.buttonWidth > 0 && std::abs(button.width() - row.buttonWidth) > 0.1) ||
        (row.title != nullptr && fixture.flow().aboutUpdatePrimaryActionTitle() != QLatin1String(row.title)) ||
        std::abs(about_layout::appLogTitleY(state) - row.appLogTitleY) > 0.1) {
      return false;
    }
  }
  return true;
}

}  // namespace tandrel
