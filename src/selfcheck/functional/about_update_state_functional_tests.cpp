#include "selfcheck/functional/about_update_state_functional_tests.h"

#include "selfcheck/fixture_builders.h"
#include "selfcheck/functional/about_update_fixture.h"
#include "selfcheck/harness.h"
#include "update/update_client.h"
#include "update/update_feed.h"

#include <QJsonObject>

#include <algorithm>

namespace tandrel {

namespace {

const QString kNotSigned = QStringLiteral("This update is not signed for production install.");

// The unsigned production response: 0.1.1 with one note, a zip on a placeholder host, neither
// signed nor notarized, on the stable channel without test installs.
UpgradeCheckResponse unsignedProductionResponse(const QString& note) {
  UpgradeCheckResponse response = testUpgradeResponse(true, QStringLiteral("0.1.1"), {note});
  response.security = UpgradeSecurity{false, false};
  response.policy = UpgradePolicy{QStringLiteral("stable"), false, false, false};
  return response;
}

// Clicks the About tab's check control of a view whose fixture feed is `response`.
bool checkWithFixtureFeed(AboutViewFixture& fixture, const QString& path, const QJsonObject& response) {
  if (!writeJSON(response, path)) {
    return false;
  }
  fixture.flow().configureAboutUpdateFixtureForTests(path);
  return fixture.view().clickAboutUpdateCheckForTests();
}

}  // namespace

bool aboutUpdateFunctionalTest(const QString& tempRoot) {
  const QJsonObject response{
      {QStringLiteral("update_available"), true},
      {QStringLiteral("latest"), latestBlock(QStringLiteral("0.1.1"), {QStringLiteral("Adds update checks in Settings > About."),
                                                                       QStringLiteral("Shows changelog entries before download.")})},
      {QStringLiteral("artifact"),
       zipArtifactBlock(QStringLiteral("https://updates.example.com/releases/Tandrel-0.1.1.zip"),
                        QStringLiteral("3f0c3b2d8e4a1f6c9b7d5e2a0c8f4b6d1e3a5c7b9d2f4e6a8c0b1d3f5e7a9c2b"), 786432)},
      {QStringLiteral("policy"), QJsonObject{{QStringLiteral("channel"), QStringLiteral("test")},
                                             {QStringLiteral("force_update"), false}}}};
  AboutViewFixture fixture(tempRoot, UpdateSignature::SigningKeyPair::generate());
  if (!checkWithFixtureFeed(fixture, scratchPath(tempRoot, QStringLiteral("about-update-response.json")), response)) {
    return false;
  }
  const auto rows = fixture.flow().aboutUpdateDisplayRows();
  return hasRowContaining(rows, QStringLiteral("Available"), QStringLiteral("0.1.1")) &&
         hasRow(rows, QStringLiteral("Changelog"), QStringLiteral("Adds update checks in Settings > About.")) &&
         hasRow(rows, QStringLiteral("Changelog"), QStringLiteral("Shows changelog entries before download."));
}

bool aboutNoRemoteLatestVersionFunctionalTest(const QString& tempRoot) {
  const QJsonObject response{
      {QStringLiteral("update_available"), false},
      {QStringLiteral("latest"),
       QJsonObject{{QStringLiteral("version"), QStringLiteral("0.0.0")}, {QStringLiteral("build"), QStringLiteral("0.0.0")}}},
      {QStringLiteral("policy"), QJsonObject{{QStringLiteral("channel"), QStringLiteral("stable")},
                                             {QStringLiteral("force_update"), false}}}};
  AboutViewFixture fixture(tempRoot, UpdateSignature::SigningKeyPair::generate());
  if (!checkWithFixtureFeed(fixture, scratchPath(tempRoot, QStringLiteral("about-no-remote-latest-response.json")),
                            response)) {
    return false;
  }
  const auto rows = fixture.flow().aboutUpdateDisplayRows();
  return hasRow(rows, QStringLiteral("Current"), QLatin1Char('v') + applicationVersion()) &&
         hasRow(rows, QStringLiteral("Status"), QStringLiteral("Tandrel is up to date")) &&
         fixture.view().statusBanner() == QStringLiteral("Tandrel is already up to date");
}

bool aboutUpdateStateFunctionalTests(const QString&) {
  const QString current = applicationVersion();
  const UpdateState available = UpdateState::available(testUpgradeResponse(
      true, QStringLiteral("0.1.1"),
      {QStringLiteral("Adds update checks in Settings > About."), QStringLiteral("Shows changelog entries before download."),
       QStringLiteral("Verifies downloads before restart.")}));
  const UpdateState upToDate =
      UpdateState::upToDate(testUpgradeResponse(false, current, {}), QStringLiteral("2026-05-09 19:30"));
  const UpdateState upToDateWithOtherLatest =
      UpdateState::upToDate(testUpgradeResponse(false, QStringLiteral("9.9.9"), {}), QStringLiteral("2026-05-09 19:30"));
  const UpdateState error = UpdateState::error(QStringLiteral("Update feed is invalid."));
  UpgradeCheckResponse bare;
  bare.updateAvailable = true;
  bare.latest = {QStringLiteral("0.1.6"), QStringLiteral("0.1.6"), QStringLiteral("2026-05-09"), {}};
  const UpdateState availableWithoutArtifact = UpdateState::available(bare);

  const auto rows = aboutUpdateRows(available, current);
  const auto changelogRows = std::count_if(rows.begin(), rows.end(), [](const auto& row) { return row.isChangelog; });
  return hasRow(rows, QStringLiteral("Available"), QStringLiteral("v0.1.1 \u00b7 zip \u00b7 768 KB")) &&
         changelogRows == 3 && aboutUpdatePrimaryAction(available) == AboutUpdateAction::downloadUpdate &&
         hasRowContaining(aboutUpdateRows(upToDate, current), QStringLiteral("Status"), QStringLiteral("up to date")) &&
         hasRow(aboutUpdateRows(upToDateWithOtherLatest, current), QStringLiteral("Current"), QLatin1Char('v') + current) &&
         aboutUpdatePrimaryAction(error) == AboutUpdateAction::checkForUpdates &&
         aboutUpdatePrimaryAction(availableWithoutArtifact) == AboutUpdateAction::downloadUpdate;
}

bool aboutProductionPolicyFunctionalTest(const QString& tempRoot) {
  const UpdateState state = updateStateAfterVerification(
      unsignedProductionResponse(QStringLiteral("Unsigned production artifact.")),
      scratchPath(tempRoot, QStringLiteral("Tandrel-0.1.1.zip")));
  return hasRow(aboutUpdateRows(state, applicationVersion()), QStringLiteral("Error"), kNotSigned) &&
         aboutUpdatePrimaryAction(state) == AboutUpdateAction::checkForUpdates;
}

bool aboutStablePolicyAllowsTestInstallFunctionalTest(const QString& tempRoot) {
  UpgradeCheckResponse response =
      unsignedProductionResponse(QStringLiteral("Stable policy allows explicit test install bypass."));
  response.policy->allowTestInstall = true;
  const UpdateState state =
      updateStateAfterVerification(response, scratchPath(tempRoot, QStringLiteral("Tandrel-0.1.1.zip")));
  return hasRow(aboutUpdateRows(state, applicationVersion()), QStringLiteral("Ready"),
                QStringLiteral("Restart to install v0.1.1")) &&
         aboutUpdatePrimaryAction(state) == AboutUpdateAction::restartToUpdate;
}

bool aboutPartialUpdatePolicyDefaultsFunctionalTest(const QString& tempRoot) {
  const QByteArray text = R"({
  "update_available": true,
  "latest": {"version": "0.1.3", "build": "0.1.3", "release_date": "2026-05-09",
             "release_notes": ["Partial defaults test."]},
  "artifact": {"kind": "zip", "url": "file:///tmp/Tandrel-0.1.3.zip",
               "sha256": "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", "size_bytes": 16},
  "security": {"signed": false},
  "policy": {"allow_test_install": false}
})";
  const std::optional<UpgradeCheckResponse> response = decodeCheckResponse(text);
  if (!response || !response->security || !response->policy) {
    return false;
  }
  const UpgradeSecurity& security = *response->security;
  const UpgradePolicy& policy = *response->policy;
  if (security.isSigned || security.notarized || policy.channel != QLatin1String("stable") || policy.forceUpdate ||
      policy.allowManualOpen || policy.allowTestInstall) {
    return false;
  }
  const UpdateState state =
      updateStateAfterVerification(*response, scratchPath(tempRoot, QStringLiteral("Tandrel-0.1.3.zip")));
  return aboutUpdateRows(state, applicationVersion()) ==
             std::vector<AboutUpdateDisplayRow>{{QStringLiteral("Error"), kNotSigned, false}} &&
         aboutUpdatePrimaryAction(state) == AboutUpdateAction::checkForUpdates;
}

bool aboutMissingArtifactPrimaryActionFunctionalTest(const QString& tempRoot) {
  AboutViewFixture fixture(tempRoot, UpdateSignature::SigningKeyPair::generate());
  UpgradeCheckResponse response;
  response.updateAvailable = true;
  response.latest = {QStringLiteral("0.1.6"), QStringLiteral("0.1.6"), QStringLiteral("2026-05-09"),
                     {QStringLiteral("Missing artifact test.")}};
  fixture.flow().setAboutUpdateStateForTests(UpdateState::available(response));
  if (fixture.flow().aboutPrimaryUpdateActionForTests() != AboutUpdateAction::downloadUpdate ||
      fixture.flow().aboutUpdatePrimaryActionTitle() != QLatin1String("Download Update") ||
      !fixture.view().clickAboutPrimaryUpdateActionForTests()) {
    return false;
  }
  const QString phrase = QStringLiteral("does not include a downloadable artifact");
  return hasRowContaining(fixture.flow().aboutUpdateDisplayRows(), QStringLiteral("Error"), phrase) &&
         fixture.view().statusBanner().value_or(QString()).contains(phrase);
}

}  // namespace tandrel
