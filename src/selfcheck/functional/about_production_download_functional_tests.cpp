#include "selfcheck/functional/about_production_download_functional_tests.h"

#include "selfcheck/fixture_builders.h"
#include "selfcheck/functional/about_update_fixture.h"
#include "selfcheck/harness.h"
#include "update/update_artifact.h"
#include "update/update_feed.h"

#include <QDir>
#include <QJsonObject>
#include <QUrl>

#include <cmath>

namespace tandrel {

namespace {

bool closeColors(const QColor& a, const QColor& b) {
  return std::abs(a.redF() - b.redF()) < 0.001 && std::abs(a.greenF() - b.greenF()) < 0.001 &&
         std::abs(a.blueF() - b.blueF()) < 0.001 && std::abs(a.alphaF() - b.alphaF()) < 0.001;
}

// Checks the feed in `responsePath`, downloads what it offers into `downloads` and waits up to
// 2 s for the banner `expected`.
bool checkDownloadAndAwait(AboutViewFixture& fixture, const QString& responsePath, const QString& downloads,
                           const QString& expected) {
  fixture.flow().configureAboutUpdateFixtureForTests(responsePath);
  fixture.flow().configureUpdateDownloadDirectoryForTests(downloads);
  if (!fixture.view().clickAboutUpdateCheckForTests() ||
      fixture.flow().aboutPrimaryUpdateActionForTests() != AboutUpdateAction::downloadUpdate ||
      !fixture.view().clickAboutPrimaryUpdateActionForTests()) {
    return false;
  }
  return waitOnEventLoop([&] { return fixture.view().statusBanner() == expected; }, 2.0);
}

}  // namespace

bool aboutProductionDownloadBlockedAfterChecksumFunctionalTest(const QString& tempRoot) {
  const UpdateSignature::SigningKeyPair key = UpdateSignature::SigningKeyPair::generate();
  const QString version = newerVersion(QStringLiteral("1.4"));
  const QString responsePath = scratchPath(tempRoot, QStringLiteral("about-production-blocked-response.json"));
  const QString artifact = scratchPath(tempRoot, QStringLiteral("about-production-blocked.zip"));
  const QString downloads = scratchPath(tempRoot, QStringLiteral("about-production-blocked-downloads"));
  const QByteArray bytes = QByteArrayLiteral("unsigned-production-artifact");
  const std::optional<QString> sha = writeArtifact(artifact, bytes);
  if (!sha) {
    return false;
  }
  const auto response = [&](const QString& signature, const QJsonObject& security) {
    return QJsonObject{
        {QStringLiteral("update_available"), true},
        {QStringLiteral("latest"), latestBlock(version, {QStringLiteral("Production policy blocks unsigned artifacts.")})},
        {QStringLiteral("artifact"), zipArtifactBlock(QUrl::fromLocalFile(artifact).toString(), *sha, bytes.size(), signature)},
        {QStringLiteral("security"), security},
        {QStringLiteral("policy"), QJsonObject{{QStringLiteral("allow_test_install"), false}}}};
  };
  // Signed by the key the flow trusts, but marked unsigned: the stable channel's policy blocks it.
  const QJsonObject unsignedResponse = response(key.sign(bytes), QJsonObject{{QStringLiteral("signed"), false}});
  if (!writeJSON(unsignedResponse, responsePath)) {
    return false;
  }
  const std::optional<QByteArray> written = readFileBytes(responsePath);
  const std::optional<UpgradeCheckResponse> decoded = written ? decodeCheckResponse(*written) : std::nullopt;
  if (!decoded || !decoded->artifact) {
    return false;
  }

  // An artifact an earlier download cached under the name this one is staged under.
  const QString staged = QDir(downloads).filePath(
      QStringLiteral("Tandrel-") + UpdateArtifactDownloader::sanitizedNameComponent(version, QStringLiteral("update")) +
      QLatin1Char('.') + UpdateArtifactDownloader::safeArtifactExtension(QStringLiteral("zip")));
  const QByteArray cached = QByteArrayLiteral("cached-good");
  if (!writeFileAtomically(cached, staged)) {
    return false;
  }

  const QString notSigned = QStringLiteral("This update is not signed for production install.");
  {
    AboutViewFixture fixture(tempRoot, key);
    if (!checkDownloadAndAwait(fixture, responsePath, downloads, notSigned)) {
      return false;
    }
    const bool blocked =
        fixture.flow().aboutUpdateDisplayRows() ==
            std::vector<AboutUpdateDisplayRow>{{QStringLiteral("Error"), notSigned, false}} &&
        fixture.view().statusBanner() == notSigned &&
        closeColors(fixture.view().statusBannerColor, QColor::fromRgbF(1.0, 1.0 / 3, 1.0 / 3, 1.0)) &&
        fixture.flow().aboutPrimaryUpdateActionForTests() == AboutUpdateAction::checkForUpdates &&
        fixture.flow().aboutUpdatePrimaryActionTitle() == QLatin1String("Check now") &&
        !fixture.flow().aboutReadyUpdateURLForTests() && readFileBytes(staged) == cached;
    if (!blocked) {
      return false;
    }
  }

  // The feed's own flags prove nothing: marked signed and notarized, but signed by another key.
  const UpdateSignature::SigningKeyPair stranger = UpdateSignature::SigningKeyPair::generate();
  if (!writeJSON(response(stranger.sign(bytes), QJsonObject{{QStringLiteral("signed"), true},
                                                            {QStringLiteral("notarized"), true}}),
                 responsePath)) {
    return false;
  }
  AboutViewFixture fixture(tempRoot, key);
  return checkDownloadAndAwait(fixture, responsePath, downloads,
                               QStringLiteral("Downloaded update failed signature verification.")) &&
         !fixture.flow().aboutReadyUpdateURLForTests() && readFileBytes(staged) == cached;
}

}  // namespace tandrel
