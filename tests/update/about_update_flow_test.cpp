#include "update/about_update_flow.h"

#include "catalog/paths.h"
#include "platform/fake/fake_clock.h"
#include "support/temp_home.h"
#include "support/wait.h"
#include "update/loopback_http_server.h"
#include "update/update_signature.h"
#include "update/update_artifact.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>

namespace tandrel {
namespace {

using namespace std::chrono_literals;
using Kind = UpdateState::Kind;
using Role = UpdateBannerRole;

QString sha256Of(const QByteArray& bytes) {
  return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

// A check-interface answer offering `version` with the given artifact fields, signature and policy.
struct Offer {
  Offer(QString kind, QString url, QString sha, QString signature = {}, const char* policy = R"({"channel": "test"})",
        qint64 size = 3, QString version = QStringLiteral("1.2.0"))
      : kind(std::move(kind)),
        url(std::move(url)),
        sha(std::move(sha)),
        signature(std::move(signature)),
        policy(policy),
        size(size),
        version(std::move(version)) {}
  QString kind;
  QString url;
  QString sha;
  QString signature;
  const char* policy;
  qint64 size;
  QString version;
};
QByteArray offer(const Offer& o) {
  const QString signature =
      o.signature.isEmpty() ? QString() : QStringLiteral(R"(, "signature": "%1")").arg(o.signature);
  return QStringLiteral(R"({"update_available": true, "latest": {"version": "%7", "build": "120",
      "release_notes": ["Faster"]}, "artifact": {"kind": "%1", "url": "%2", "sha256": "%3", "size_bytes": %6%5},
      "policy": %4})")
      .arg(o.kind, o.url, o.sha, QString::fromLatin1(o.policy), signature, QString::number(o.size), o.version)
      .toUtf8();
}
QByteArray offer(const QString& kind, const QString& url, const QString& sha) { return offer(Offer(kind, url, sha)); }

UpgradeCheckResponse decoded(const QByteArray& json) {
  return std::get<UpgradeCheckResponse>(decodeUpdateResponse(json, QStringLiteral("0.1.6")));
}

class AboutUpdateFlowTest : public ::testing::Test {
 protected:
  AboutUpdateFlowTest() {
    home.setEnv("TANDREL_UPDATE_MANIFEST_URL", std::nullopt);
    home.setEnv("TANDREL_UPDATE_ENDPOINT", std::nullopt);
    home.setEnv("TANDREL_UPDATE_RESPONSE_FILE", std::nullopt);
    home.setEnv("TANDREL_UPDATE_CHANNEL", std::nullopt);
    home.setEnv("TANDREL_DISABLE_DEFAULT_UPDATE_FEED", "1");
    flow.configureUpdateDownloadDirectoryForTests(home.file("Downloads"));
    flow.transferTimeouts = {3000ms, 1000ms};
    flow.updatePublicKey = key.publicKey;
  }

  // Puts the flow into `available` for an offer and starts its download; waits for the outcome.
  void download(const QByteArray& json) {
    flow.setAboutUpdateStateForTests(UpdateState::available(decoded(json)));
    flow.performAboutUpdatePrimaryAction();
    test::waitUntil([&] { return flow.aboutUpdateState().kind != Kind::downloading; }, 10000);
  }
  QStringList downloads() const {
    return QDir(home.file("Downloads")).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
  }
  std::pair<QString, Role> lastBanner() const { return banners.empty() ? std::pair(QString(), Role::info) : banners.back(); }

  test::TempHome home;
  const UpdateSignature::SigningKeyPair key = UpdateSignature::SigningKeyPair::generate();
  FakeClock clock;
  std::vector<std::pair<QString, Role>> banners;
  int redraws = 0;
  int terminations = 0;
  AboutUpdateFlow flow{{[this](const QString& text, Role role) { banners.emplace_back(text, role); },
                        [this] { ++redraws; }, [this] { ++terminations; }},
                       clock};
};

TEST_F(AboutUpdateFlowTest, ACheckWithoutFeedOrFixtureStaysLocal) {
  flow.checkForUpdatesFromAbout();
  EXPECT_EQ(flow.aboutUpdateState().kind, Kind::idle);
  EXPECT_EQ(lastBanner(), std::pair(QStringLiteral("Checked local build: v0.1.6. No remote update feed is configured."),
                                    Role::success));
  EXPECT_EQ(flow.aboutUpdateDisplayRows()[1].detail, QStringLiteral("No remote update feed configured"));
  EXPECT_EQ(redraws, 1);
}

TEST_F(AboutUpdateFlowTest, FixtureChecksAnswerAtOnce) {
  const struct {
    QByteArray fixture;
    Kind kind;
    const char* banner;
    Role role;
  } cases[] = {
      {offer("zip", "https://h/a.zip", "ab"), Kind::available, "Update v1.2.0 available", Role::info},
      {R"({"latestVersion": "0.1.6"})", Kind::upToDate, "Tandrel is already up to date", Role::success},
      {"{", Kind::error, "Update feed is invalid.", Role::failure},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.banner);
    ASSERT_TRUE(test::writeFile(home.file("fixture.json"), c.fixture));
    home.setEnv("TANDREL_UPDATE_RESPONSE_FILE", home.file("fixture.json").toUtf8());
    flow.checkForUpdatesFromAbout();
    EXPECT_EQ(flow.aboutUpdateState().kind, c.kind);
    ASSERT_GE(banners.size(), 2u);
    EXPECT_EQ(banners[banners.size() - 2], std::pair(QStringLiteral("Checking for updates..."), Role::info));
    EXPECT_EQ(lastBanner(), std::pair(QString::fromLatin1(c.banner), c.role));
  }
  EXPECT_FALSE(flow.aboutTabShowsUpdateMarker());
}

TEST_F(AboutUpdateFlowTest, RemoteCheckRunsInTheBackground) {
  test::LoopbackHttpServer server;
  server.route("/version.json", {200, R"({"latestVersion": "2.0", "releaseNotes": "New"})"});
  home.setEnv("TANDREL_UPDATE_MANIFEST_URL", server.url("/version.json").toUtf8());
  flow.checkForUpdatesFromAbout();
  EXPECT_EQ(flow.aboutUpdateState().kind, Kind::checking);
  EXPECT_EQ(flow.aboutUpdatePrimaryActionTitle(), QStringLiteral("Working..."));
  ASSERT_TRUE(test::waitUntil([&] { return flow.aboutUpdateState().kind != Kind::checking; }));
  EXPECT_EQ(flow.aboutUpdateState().kind, Kind::available);
  EXPECT_EQ(flow.aboutUpdatePrimaryActionTitle(), QStringLiteral("Download Update"));
}

TEST_F(AboutUpdateFlowTest, RefusedArtifactsNeverReachTheNetwork) {
  const struct {
    QByteArray json;
    const char* error;
  } cases[] = {
      {R"({"update_available": true, "latest": {"version": "1.2.0", "build": "1"}})",
       "Update v1.2.0 does not include a downloadable artifact."},
      {offer("pkg", "https://h/a.pkg", "ab"), "Update v1.2.0 uses an unsupported artifact type."},
      {offer("dmg", "https://h/a.dmg", "ab"), "Update v1.2.0 uses an unsupported artifact type."},
      {offer("zip", "ht tp://bad", "ab"), "Update v1.2.0 has an invalid artifact URL."},
      {offer("zip", "ftp://h/a.zip", "ab"), "Update v1.2.0 has an unsupported artifact URL."},
      {offer("zip", "http://example.invalid/a.zip", "ab"), "Update v1.2.0 has an unsupported artifact URL."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    download(c.json);
    EXPECT_EQ(flow.aboutUpdateState(), UpdateState::error(QString::fromLatin1(c.error)));
    EXPECT_EQ(lastBanner(), std::pair(QString::fromLatin1(c.error), Role::failure));
  }
  EXPECT_TRUE(downloads().isEmpty());
}

TEST_F(AboutUpdateFlowTest, LocalArtifactsAreCopiedVerifiedAndGated) {
  ASSERT_TRUE(test::writeFile(home.file("new.zip"), "new"));
  const QString url = QUrl::fromLocalFile(home.file("new.zip")).toString();
  const QString destination = home.file("Downloads/Tandrel-1.2.0.zip");
  ASSERT_TRUE(test::writeFile(destination, "cached"));

  // A mismatch, a missing or foreign signature, an older version, a larger file than the feed
  // names, and an unsigned stable update all keep what was cached, and leave no staged copy.
  const QString good = key.sign("new");
  const UpdateSignature::SigningKeyPair stranger = UpdateSignature::SigningKeyPair::generate();
  const struct {
    Offer offer;
    const char* error;
  } refused[] = {
      {{" ZIP\n", url, sha256Of("other"), good}, "Downloaded update failed checksum verification."},
      {{"zip", url, sha256Of("new")}, "Downloaded update failed signature verification."},
      {{"zip", url, sha256Of("new"), key.sign("other")}, "Downloaded update failed signature verification."},
      {{"zip", url, sha256Of("new"), stranger.sign("new")}, "Downloaded update failed signature verification."},
      {{"zip", url, sha256Of("new"), "c2lnbmF0dXJl"}, "Downloaded update failed signature verification."},
      {{"zip", url, sha256Of("new"), good, R"({"channel": "test"})", 2},
       "Could not copy update artifact: The update artifact is larger than the 2 bytes the update feed names."},
      {{"zip", url, sha256Of("new"), good, R"({"channel": "test"})", 3, "0.1.0"},
       "Update v0.1.0 is not newer than this version (v0.1.6); it is not installed."},
      {{"zip", url, sha256Of("new"), good, R"({"channel": "test"})", 3, "0.1.6"},
       "Update v0.1.6 is not newer than this version (v0.1.6); it is not installed."},
      {{"zip", url, sha256Of("new"), good, R"({"channel": "stable"})"},
       "This update is not signed for production install."},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(c.error);
    download(offer(c.offer));
    EXPECT_EQ(flow.aboutUpdateState(), UpdateState::error(QString::fromLatin1(c.error)));
    EXPECT_EQ(test::readFile(destination), "cached");
    EXPECT_EQ(downloads(), QStringList{"Tandrel-1.2.0.zip"});
  }

  // A build without a key of its own installs nothing, and says why.
  flow.updatePublicKey.reset();
  download(offer({"zip", url, sha256Of("new"), good}));
  EXPECT_EQ(flow.aboutUpdateState(),
            UpdateState::error("This build has no update signing key, so it installs no updates. Get v1.2.0 from "
                               "where you installed Tandrel."));
  flow.updatePublicKey = key.publicKey;

  download(offer({"zip", url, sha256Of("new").toUpper(), good}));
  ASSERT_EQ(flow.aboutUpdateState().kind, Kind::readyToRestart);
  EXPECT_EQ(flow.aboutReadyUpdateURLForTests(), destination);
  EXPECT_EQ(test::readFile(destination), "new");
  EXPECT_EQ(downloads(), QStringList{"Tandrel-1.2.0.zip"});
  EXPECT_EQ(lastBanner(), std::pair(QStringLiteral("Update v1.2.0 is ready to install. Restart to update."), Role::success));
  EXPECT_EQ(flow.aboutUpdatePrimaryActionTitle(), QStringLiteral("Restart to Update"));
}

TEST_F(AboutUpdateFlowTest, RemoteArtifactsAndTheirFailures) {
  test::LoopbackHttpServer server;
  server.route("/a.zip", {200, "zip"});
  server.route("/stall.zip", {200, "zip", {}, false, true});
  const struct {
    const char* path;
    std::optional<const char*> error;
  } cases[] = {
      {"/missing.zip", "Could not download update artifact: Update server returned HTTP 404."},
      {"/stall.zip", "Could not download update artifact: The request timed out."},
      {"/a.zip", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    download(offer({"zip", server.url(c.path), sha256Of("zip"), key.sign("zip")}));
    if (c.error) {
      EXPECT_EQ(flow.aboutUpdateState(), UpdateState::error(QString::fromLatin1(*c.error)));
      EXPECT_TRUE(downloads().isEmpty());
    } else {
      EXPECT_EQ(flow.aboutUpdateState().kind, Kind::readyToRestart);
      EXPECT_EQ(downloads(), QStringList{"Tandrel-1.2.0.zip"});
    }
  }
}

TEST_F(AboutUpdateFlowTest, RestartHandsTheRequestToTheInstallerAndQuits) {
  const UpgradeCheckResponse response = decoded(offer("zip", "https://h/a.zip", "ABC"));
  std::vector<PendingUpdateInstallRequest> requests;
  std::optional<QString> installerError;
  flow.targetInstallFolder = [] { return QStringLiteral("/opt/tandrel"); };
  flow.updateInstaller = [&](const PendingUpdateInstallRequest& request) {
    requests.push_back(request);
    return installerError;
  };

  flow.setAboutUpdateStateForTests(UpdateState::readyToRestart(response, "/d/Tandrel-1.2.0.zip"));
  flow.performAboutUpdatePrimaryAction();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].artifactURL, QStringLiteral("/d/Tandrel-1.2.0.zip"));
  EXPECT_EQ(requests[0].targetBundleURL, QStringLiteral("/opt/tandrel"));
  EXPECT_EQ(requests[0].version, QStringLiteral("1.2.0"));
  EXPECT_TRUE(requests[0].relaunchAfterInstall);
  EXPECT_EQ(requests[0].expectedSHA256, QStringLiteral("ABC"));
  EXPECT_EQ(lastBanner(), std::pair(QStringLiteral("Restarting to install v1.2.0..."), Role::info));
  EXPECT_EQ(flow.aboutUpdateState().kind, Kind::readyToRestart);
  clock.advance(99ms);
  EXPECT_EQ(terminations, 0);
  clock.advance(1ms);
  EXPECT_EQ(terminations, 1);

  // In the test environment the app stays; a failing installer becomes the error state.
  setTestEnvironment(true);
  flow.performAboutUpdatePrimaryAction();
  clock.advance(1s);
  EXPECT_EQ(terminations, 1);
  installerError = QStringLiteral("Could not start updater: no sh");
  flow.performAboutUpdatePrimaryAction();
  setTestEnvironment(false);
  EXPECT_EQ(flow.aboutUpdateState(), UpdateState::error("Update install failed: Could not start updater: no sh"));
  EXPECT_EQ(lastBanner().second, Role::failure);
}

TEST_F(AboutUpdateFlowTest, AutomaticResults) {
  const UpgradeCheckResponse available = decoded(offer("zip", "https://h/a.zip", "ab"));
  const UpgradeCheckResponse current = decoded(R"({"latestVersion": "0.1.6"})");

  flow.setAboutUpdateStateForTests(UpdateState::error("Earlier"));
  EXPECT_EQ(flow.applyAutomaticUpdateResult(UpdateClientFailure{"x"}, true), std::nullopt);
  EXPECT_EQ(flow.aboutUpdateState(), UpdateState::error("Earlier"));

  EXPECT_EQ(flow.applyAutomaticUpdateResult(available, false), std::nullopt);
  EXPECT_EQ(flow.aboutUpdateState(), UpdateState::available(available));
  EXPECT_TRUE(flow.aboutTabShowsUpdateMarker());
  const size_t bannersBefore = banners.size();
  EXPECT_EQ(flow.applyAutomaticUpdateResult(available, true), QStringLiteral("1.2.0"));
  ASSERT_EQ(banners.size(), bannersBefore + 1);
  EXPECT_EQ(lastBanner(), std::pair(QStringLiteral("Tandrel v1.2.0 available"), Role::reminder));

  flow.setAboutUpdateStateForTests(UpdateState::readyToRestart(available, "/f"));
  EXPECT_EQ(flow.applyAutomaticUpdateResult(current, true), std::nullopt);
  EXPECT_EQ(flow.aboutUpdateState().kind, Kind::upToDate);
  EXPECT_EQ(flow.aboutUpdateDisplayRows()[0].detail, QStringLiteral("v0.1.6"));
}

TEST(AboutUpdateFlow, StagesEachDownloadInsideItsFolderUnderASafeName) {
  test::TempHome home;
  AboutUpdateFlow flow({});
  const struct {
    const char* version;
    const char* kind;
    const char* name;
  } cases[] = {
      {"1.2.0", "zip", "Tandrel-1.2.0.zip"},
      {"1.2.0", " DMG ", "Tandrel-1.2.0.dmg"},
      {"../0.1 bad/evil", "../pkg!", "Tandrel-0.1-bad-evil.artifact"},
      {"../..", "zip", "Tandrel-update.zip"},
  };
  for (const auto& c : cases) {
    flow.updateDownloadDirectory.reset();
    EXPECT_EQ(flow.stagedArtifactPath(c.version, c.kind), UpdateInstaller::updatesDirectory() + "/" + c.name) << c.version;
    flow.configureUpdateDownloadDirectoryForTests(home.file("Downloads"));
    EXPECT_EQ(flow.stagedArtifactPath(c.version, c.kind), home.file("Downloads") + "/" + c.name) << c.version;
  }
}

TEST(AboutUpdateFlow, StartsWithWhatAFailedInstallLeft) {
  const AboutUpdateFlow flow({}, Clock::system(), QStringLiteral("Update to v1.2 failed; the previous version was kept."));
  EXPECT_EQ(flow.aboutUpdateDisplayRows(),
            (std::vector<AboutUpdateDisplayRow>{{"Error", "Update to v1.2 failed; the previous version was kept."}}));
  EXPECT_EQ(flow.aboutPrimaryUpdateActionForTests(), AboutUpdateAction::checkForUpdates);
  EXPECT_EQ(updateBannerColor(UpdateBannerRole::reminder), QColor(255, 187, 0));
}

}  // namespace
}  // namespace tandrel
