#include "selfcheck/functional/about_download_functional_tests.h"

#include "selfcheck/fixture_builders.h"
#include "selfcheck/functional/about_update_fixture.h"
#include "selfcheck/harness.h"
#include "selfcheck/test_http_artifact_server.h"
#include "update/update_artifact.h"
#include "update/update_installer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

namespace tandrel {

namespace {

using UpdateInstaller::InstallHost;
using UpdateInstaller::PreparedProcess;

// Zips the install folder `folder/Tandrel` into `zip`, the folder as the archive's top entry.
bool zipInstallFolder(const QString& folder, const QString& zip) {
  QFile::remove(zip);
  QProcess archiver;
  archiver.setWorkingDirectory(folder);
  archiver.start(QStringLiteral("zip"), {QStringLiteral("-qry"), zip, QStringLiteral("Tandrel")});
  return archiver.waitForFinished(3000) && archiver.exitStatus() == QProcess::NormalExit && archiver.exitCode() == 0;
}

// Starts the real installer on `zip` for `target`, with its script, log and result in `scripts`;
// waits up to 3 s for the script to end (it removes itself last) and for `done`.
bool installAndAwait(const QString& zip, const QString& target, const QString& scripts,
                     const std::function<bool()>& done) {
  const std::optional<QString> sha = UpdateVerifier::sha256Hex(zip);
  if (!sha) {
    return false;
  }
  InstallHost host;
  host.scriptsFolder = scripts;
  QString script;
  const auto launch = [&script](const PreparedProcess& process) {
    script = process.arguments.value(0);
    return UpdateInstaller::startDetached(process);
  };
  if (UpdateInstaller::installAndRelaunch({zip, target, QStringLiteral("0.1.1"), false, *sha, QString()}, 0, launch,
                                          host)) {
    return false;
  }
  return waitOnEventLoop([&] { return !QFileInfo::exists(script) && done(); }, 3.0);
}

QStringList entries(const QString& folder) {
  return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// Presses the download button of a view offering `response`; then, until `limit` seconds have
// passed, lets the download run until the button offers the restart or the panel shows an error.
bool downloadAndAwait(AboutViewFixture& fixture, const UpgradeCheckResponse& response, double limit) {
  fixture.flow().setAboutUpdateStateForTests(UpdateState::available(response));
  if (!fixture.view().clickAboutPrimaryUpdateActionForTests()) {
    return false;
  }
  return waitOnEventLoop(
      [&] {
        const AboutUpdateAction action = fixture.flow().aboutPrimaryUpdateActionForTests();
        return action != AboutUpdateAction::working && action != AboutUpdateAction::downloadUpdate;
      },
      limit);
}

// The ready state of a finished download: staged at `expected`, holding what `sha` names.
bool readyAt(AboutViewFixture& fixture, const QString& version, const QString& expected, const QString& sha) {
  const std::optional<QString> ready = fixture.flow().aboutReadyUpdateURLForTests();
  return ready && fixture.flow().aboutPrimaryUpdateActionForTests() == AboutUpdateAction::restartToUpdate &&
         fixture.flow().aboutUpdatePrimaryActionTitle() == QLatin1String("Restart to Update") &&
         hasRow(fixture.flow().aboutUpdateDisplayRows(), QStringLiteral("Ready"),
                QStringLiteral("Restart to install v") + version) &&
         fixture.view().statusBanner() ==
             QStringLiteral("Update v%1 is ready to install. Restart to update.").arg(version) &&
         QDir::cleanPath(*ready) == QDir::cleanPath(expected) && UpdateVerifier::verify(*ready, sha);
}

}  // namespace

bool updateInstallerZipReplacementFunctionalTest(const QString& tempRoot) {
  const std::optional<QString> source = freshScratchFolder(tempRoot, QStringLiteral("updater-source"));
  const std::optional<QString> target = freshScratchFolder(tempRoot, QStringLiteral("updater-target"));
  const std::optional<QString> broken = freshScratchFolder(tempRoot, QStringLiteral("updater-broken"));
  const std::optional<QString> scripts = freshScratchFolder(tempRoot, QStringLiteral("updater-scripts"));
  if (!source || !target || !broken || !scripts) {
    return false;
  }
  const QString zip = scratchPath(tempRoot, QStringLiteral("updater-source.zip"));
  const QString brokenZip = scratchPath(tempRoot, QStringLiteral("updater-broken.zip"));
  const QString install = QDir(*target).filePath(QStringLiteral("Tandrel"));
  const QString versionFile = installFolderVersionFile(install);
  if (!writeInstallFolder(QDir(*source).filePath(QStringLiteral("Tandrel")), "new") ||
      !writeInstallFolder(install, "old") || !zipInstallFolder(*source, zip) ||
      !writeInstallFolder(QDir(*broken).filePath(QStringLiteral("Tandrel")), "broken", 1) ||
      !zipInstallFolder(*broken, brokenZip)) {
    return false;
  }
  // The install folder is replaced in place, still starts, and nothing is left beside it: neither
  // the backup (".Tandrel.backup.<time>.<pid>") nor the unpacked staging folder.
  const bool replaced = installAndAwait(zip, install, *scripts, [&] { return readFileBytes(versionFile) == "new"; }) &&
                        QFileInfo(QDir(install).filePath(QStringLiteral("bin/tandrel"))).isExecutable() &&
                        entries(*target) == QStringList{QStringLiteral("Tandrel")};
  if (!replaced) {
    return false;
  }
  // A new build that does not start is rolled back, and the failure is left for the next launch.
  const QString result = QDir(*scripts).filePath(QStringLiteral("last-install-result"));
  return installAndAwait(brokenZip, install, *scripts, [&] { return QFileInfo::exists(result); }) &&
         readFileBytes(versionFile) == "new" && entries(*target) == QStringList{QStringLiteral("Tandrel")} &&
         readFileBytes(result).value_or(QByteArray()).startsWith("status=failed\n");
}

bool aboutDownloadActionFunctionalTest(const QString& tempRoot) {
  const QString updates = scratchPath(tempRoot, QStringLiteral("about-download-action-updates"));
  ScopedRestore restore;
  restore.atExit([updates] { QDir(updates).removeRecursively(); });
  const UpdateSignature::SigningKeyPair key = UpdateSignature::SigningKeyPair::generate();
  const QString version = newerVersion(QStringLiteral("1.1"));
  const QString source = scratchPath(tempRoot, QStringLiteral("Tandrel-0.1.1.zip"));
  const QByteArray bytes = QByteArrayLiteral("tandrel-artifact");
  const std::optional<QString> sha = writeArtifact(source, bytes);
  if (!sha) {
    return false;
  }
  const QString url = QUrl::fromLocalFile(source).toString();
  AboutViewFixture fixture(tempRoot, key);
  fixture.flow().configureUpdateDownloadDirectoryForTests(updates);

  // A feed offering a build older than this one (0.1.1) is refused at once, and nothing is staged.
  fixture.flow().setAboutUpdateStateForTests(UpdateState::available(downloadTemplateResponse(
      QStringLiteral("0.1.1"), QStringLiteral("Download flow test."), url, *sha, bytes.size(), key.sign(bytes))));
  if (!fixture.view().clickAboutPrimaryUpdateActionForTests() ||
      !hasRowContaining(fixture.flow().aboutUpdateDisplayRows(), QStringLiteral("Error"),
                        QStringLiteral("is not newer than this version")) ||
      !entries(updates).isEmpty()) {
    return false;
  }

  fixture.flow().setAboutUpdateStateForTests(UpdateState::available(downloadTemplateResponse(
      version, QStringLiteral("Download flow test."), url, *sha, bytes.size(), key.sign(bytes))));
  if (fixture.flow().aboutPrimaryUpdateActionForTests() != AboutUpdateAction::downloadUpdate ||
      fixture.flow().aboutUpdatePrimaryActionTitle() != QLatin1String("Download Update") ||
      !fixture.view().clickAboutPrimaryUpdateActionForTests() ||
      fixture.flow().aboutPrimaryUpdateActionForTests() != AboutUpdateAction::working ||
      fixture.flow().aboutUpdatePrimaryActionTitle() != QLatin1String("Working...")) {
    return false;
  }
  return waitOnEventLoop(
             [&] { return fixture.flow().aboutPrimaryUpdateActionForTests() == AboutUpdateAction::restartToUpdate; },
             2.0) &&
         readyAt(fixture, version, QDir(updates).filePath(QStringLiteral("Tandrel-%1.zip").arg(version)), *sha);
}

bool aboutRemoteDownloadActionFunctionalTest(const QString& tempRoot) {
  const QByteArray payload = QByteArrayLiteral("remote-tandrel-artifact");
  const std::unique_ptr<TestHTTPArtifactServer> server = TestHTTPArtifactServer::start(payload);
  if (!server) {
    return false;
  }
  const QString updates = scratchPath(tempRoot, QStringLiteral("about-remote-download-action-updates"));
  const QString shaSource = scratchPath(tempRoot, QStringLiteral("remote-source-for-sha.zip"));
  ScopedRestore restore;
  restore.atExit([updates, shaSource] {
    QDir(updates).removeRecursively();
    QFile::remove(shaSource);
  });
  const std::optional<QString> sha = writeArtifact(shaSource, payload);
  if (!sha) {
    return false;
  }
  const UpdateSignature::SigningKeyPair key = UpdateSignature::SigningKeyPair::generate();
  const QString version = newerVersion(QStringLiteral("1.5"));
  const QString expected = QDir(updates).filePath(QStringLiteral("Tandrel-%1.zip").arg(version));
  const auto offer = [&](qint64 size) {
    return downloadTemplateResponse(version, QStringLiteral("Remote download flow test."), server->url(), *sha, size,
                                    key.sign(payload));
  };
  AboutViewFixture fixture(tempRoot, key);
  fixture.flow().configureUpdateDownloadDirectoryForTests(updates);

  // A server that sends more than the feed names is cut off, and nothing is staged.
  if (!downloadAndAwait(fixture, offer(payload.size() - 7), 3.0) ||
      !hasRowContaining(fixture.flow().aboutUpdateDisplayRows(), QStringLiteral("Error"),
                        QStringLiteral("the download was stopped")) ||
      !entries(updates).isEmpty()) {
    return false;
  }
  const int earlierRequests = server->observedRequestCount();
  return downloadAndAwait(fixture, offer(payload.size()), 3.0) &&
         server->observedRequestCount() > earlierRequests && readyAt(fixture, version, expected, *sha);
}

}  // namespace tandrel
