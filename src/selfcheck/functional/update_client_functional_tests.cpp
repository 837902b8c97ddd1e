#include "selfcheck/functional/update_client_functional_tests.h"

#include "selfcheck/fixture_builders.h"
#include "selfcheck/functional/about_update_fixture.h"
#include "selfcheck/harness.h"
#include "update/update_artifact.h"
#include "update/update_client.h"

#include <QProcessEnvironment>
#include <QUrl>
#include <QUrlQuery>

#include <map>

namespace tandrel {

namespace {

// The query items of `url` that have a value, by name.
std::map<QString, QString> queryItems(const QUrl& url) {
  std::map<QString, QString> items;
  for (const auto& [name, value] : QUrlQuery(url).queryItems(QUrl::FullyDecoded)) {
    if (!value.isEmpty()) {
      items[name] = value;
    }
  }
  return items;
}

const UpgradeCheckResponse* success(const UpdateCheckResult& result) { return std::get_if<UpgradeCheckResponse>(&result); }

QProcessEnvironment environmentWith(const QString& name, const QString& value) {
  QProcessEnvironment environment;
  environment.insert(name, value);
  return environment;
}

// The architecture this build names in a check interface's address.
QString expectedArchitecture() {
#if defined(__x86_64__)
  return QStringLiteral("x86_64");
#elif defined(__aarch64__)
  return QStringLiteral("arm64");
#else
  return updateArchitectureName();
#endif
}

}  // namespace

bool updateClientFunctionalTests(const QString& tempRoot) {
  const QString version = applicationVersion();
  const QString fixture = scratchPath(tempRoot, QStringLiteral("client-update-response.json"));
  const QByteArray text = QStringLiteral(R"({"update_available":false,"latest":{"version":"%1","build":"%1"},)"
                                         R"("policy":{"channel":"stable","force_update":false}})")
                              .arg(version)
                              .toUtf8();
  if (!writeFileAtomically(text, fixture)) {
    return false;
  }
  UpdateClient reading;
  reading.fixtureURL = fixture;
  reading.channel = QStringLiteral("stable");
  const UpdateCheckResult result = reading.check(version, version);

  UpdateClient asking;
  asking.channel = QStringLiteral("test");
  asking.endpoint = QUrl(QStringLiteral("http://127.0.0.1:18888/v1/upgrade/check?token=zqv&channel=old"));
  const QUrl url = asking.checkURL(QStringLiteral("0.1.0"), QStringLiteral("0.1.0")).value_or(QUrl(QStringLiteral("file:///")));
  const std::map<QString, QString> items = queryItems(url);

  const UpgradeCheckResponse* response = success(result);
  return response && !response->updateAvailable && response->latest.version == version &&
         response->latest.build == version && response->policy &&
         response->policy->channel == QLatin1String("stable") && !response->policy->forceUpdate && url.hasQuery() &&
         QUrlQuery(url).queryItems().size() == 6 && items == std::map<QString, QString>{{QStringLiteral("token"), QStringLiteral("zqv")},
                                             {QStringLiteral("platform"), QStringLiteral("linux")},
                                             {QStringLiteral("arch"), expectedArchitecture()},
                                             {QStringLiteral("version"), QStringLiteral("0.1.0")},
                                             {QStringLiteral("build"), QStringLiteral("0.1.0")},
                                             {QStringLiteral("channel"), QStringLiteral("test")}};
}

bool staticUpdateManifestFunctionalTests(const QString& tempRoot) {
  const QString artifact = scratchPath(tempRoot, QStringLiteral("tandrel-0.1.1-linux-unsigned.zip"));
  const std::optional<QString> sha = writeArtifact(artifact, "st-artifact");
  if (!sha) {
    return false;
  }
  const QString artifactURL = QUrl::fromLocalFile(artifact).toString();
  const QString manifest = scratchPath(tempRoot, QStringLiteral("static-version.json"));
  const QByteArray text = QStringLiteral(R"({
  "schemaVersion": 1,
  "app": "Tandrel",
  "latestVersion": "0.1.1",
  "latestBuild": "0.1.1",
  "minimumSupportedVersion": "0.1.0",
  "forceUpdateBelow": "0.1.1",
  "blockedVersions": ["0.0.9"],
  "releaseDate": "2026-05-14",
  "releaseNotes": ["Static manifest update test."],
  "mac": {
    "arch": "x86_64",
    "kind": "zip",
    "url": "%1",
    "latestUrl": "https://updates.example.com/latest/tandrel-linux.zip",
    "sha256": "%2",
    "sizeBytes": 11
  },
  "security": {"signed": false, "notarized": false},
  "policy": {"forceUpdate": false, "allowManualOpen": true, "allowTestInstall": true}
}
)")
                              .arg(artifactURL, *sha)
                              .toUtf8();
  if (!writeFileAtomically(text, manifest)) {
    return false;
  }
  UpdateClient reading;
  reading.fixtureURL = manifest;
  const UpdateCheckResult resultA = reading.check(QStringLiteral("0.1.0"), QStringLiteral("0.1.0"));
  const UpdateCheckResult resultB = reading.check(QStringLiteral("0.0.9"), QStringLiteral("0.0.9"));

  const QString defaultManifest = QStringLiteral("https://updates.example.com/version.json");
  UpdateClient asking;
  asking.endpoint = QUrl(defaultManifest);
  const std::optional<QUrl> c = asking.checkURL(QStringLiteral("0.1.0"), QStringLiteral("0.1.0"));
  const auto resolve = [&](const char* name, const QString& value) {
    return resolvedUpdateEndpointURL(environmentWith(QLatin1String(name), value), true, defaultManifest);
  };
  const std::optional<QUrl> d = resolve("TANDREL_ENABLE_DEFAULT_UPDATE_FEED_IN_TESTS", QStringLiteral("1"));
  const std::optional<QUrl> e = resolve("TANDREL_DISABLE_DEFAULT_UPDATE_FEED", QStringLiteral("1"));
  const QString given = QStringLiteral("https://updates.example.com/test/version.json");
  const std::optional<QUrl> f = resolve("TANDREL_UPDATE_MANIFEST_URL", given);

  const UpgradeCheckResponse* a = success(resultA);
  const UpgradeCheckResponse* b = success(resultB);
  return a && a->updateAvailable && a->latest.version == QLatin1String("0.1.1") &&
         a->latest.build == QLatin1String("0.1.1") && a->artifact && a->artifact->url == artifactURL &&
         a->artifact->sha256 == *sha && a->policy && a->policy->forceUpdate &&
         a->policy->channel == QLatin1String("test") && b && b->updateAvailable && b->policy && b->policy->forceUpdate &&
         c && c->toString() == defaultManifest && d && d->toString() == defaultManifest && !e && f &&
         f->toString() == given;
}

bool aboutUpdateNoEndpointFunctionalTest(const QString& tempRoot) {
  ScopedRestore restore;
  for (const char* name : {"TANDREL_UPDATE_ENDPOINT", "TANDREL_UPDATE_MANIFEST_URL", "TANDREL_UPDATE_RESPONSE_FILE",
                           "TANDREL_ENABLE_DEFAULT_UPDATE_FEED_IN_TESTS"}) {
    restore.setEnvironment(name, std::nullopt);
  }
  AboutViewFixture fixture(tempRoot, UpdateSignature::SigningKeyPair::generate());
  if (!fixture.view().clickAboutUpdateCheckForTests()) {
    return false;
  }
  const QString version = applicationVersion();
  const auto rows = fixture.flow().aboutUpdateDisplayRows();
  return hasRow(rows, QStringLiteral("Current"), QLatin1Char('v') + version) &&
         hasRow(rows, QStringLiteral("Status"), QStringLiteral("No remote update feed configured")) &&
         fixture.view().statusBanner() ==
             QStringLiteral("Checked local build: v%1. No remote update feed is configured.").arg(version) &&
         fixture.flow().aboutUpdatePrimaryActionTitle() == QLatin1String("Check now");
}

}  // namespace tandrel
