#include "update/about_update_flow.h"

#include "catalog/paths.h"
#include "update/background_work.h"
#include "update/update_artifact.h"
#include "update/update_signature.h"
#include "update/update_transfer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QUrl>

#include <cstdio>

namespace tandrel {

QColor updateBannerColor(UpdateBannerRole role) {
  switch (role) {
    case UpdateBannerRole::info:
      return QColor(77, 159, 255);
    case UpdateBannerRole::success:
      return QColor(0, 214, 163);
    case UpdateBannerRole::failure:
      return QColor(255, 85, 85);
    case UpdateBannerRole::reminder:
      return QColor(255, 187, 0);
  }
  return {};
}

namespace {

// TANDREL_UPDATE_RESPONSE_FILE as a path (a file: URL is accepted too).
std::optional<QString> environmentFixture(const QProcessEnvironment& environment) {
  const std::optional<QString> value = nonEmptyString(environment.value(QStringLiteral("TANDREL_UPDATE_RESPONSE_FILE")));
  if (!value) {
    return std::nullopt;
  }
  if (value->startsWith(QLatin1String("file:"))) {
    return QUrl(*value).toLocalFile();
  }
  return value;
}

QString defaultTargetInstallFolder() {
  return UpdateInstaller::currentInstallRoot().value_or(
      QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/..")));
}

std::optional<QString> startInstaller(const PendingUpdateInstallRequest& request) {
  if (std::optional<UpdateInstaller::Failure> failure =
          UpdateInstaller::installAndRelaunch(request, QCoreApplication::applicationPid())) {
    return failure->errorDescription();
  }
  return std::nullopt;
}

}  // namespace

AboutUpdateFlow::AboutUpdateFlow(Hooks hooks, Clock& clock, std::optional<QString> installFailure)
    : updateInstaller(&startInstaller),
      targetInstallFolder(&defaultTargetInstallFolder),
      updatePublicKey(UpdateSignature::builtInPublicKey()),
      hooks_(std::move(hooks)),
      clock_(clock),
      self_(std::make_shared<AboutUpdateFlow*>(this)) {
  if (installFailure) {
    state_ = UpdateState::error(*installFailure);
  }
}

AboutUpdateFlow::~AboutUpdateFlow() = default;

void AboutUpdateFlow::setState(UpdateState state) { state_ = std::move(state); }

void AboutUpdateFlow::redraw() {
  if (hooks_.redraw) {
    hooks_.redraw();
  }
}

void AboutUpdateFlow::banner(const QString& text, UpdateBannerRole role) {
  if (hooks_.showBanner) {
    hooks_.showBanner(text, role);
  }
}

bool AboutUpdateFlow::hasUpdateFeed() const {
  const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  return aboutUpdateFixtureURL || environmentFixture(environment) ||
         resolvedUpdateEndpointURL(environment);
}

void AboutUpdateFlow::checkForUpdatesFromAbout() {
  const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  UpdateClient client;
  client.fixtureURL = aboutUpdateFixtureURL ? aboutUpdateFixtureURL : environmentFixture(environment);
  client.endpoint = resolvedUpdateEndpointURL(environment);
  client.channel = UpdateClient::channelFromEnvironment(environment);
  client.timeouts = transferTimeouts;
  const QString version = applicationVersion();

  if (!client.fixtureURL && !client.endpoint) {
    setState(UpdateState::idle());
    banner(QStringLiteral("Checked local build: v%1. No remote update feed is configured.").arg(version),
           UpdateBannerRole::success);
    redraw();
    return;
  }
  setState(UpdateState::checking());
  banner(QStringLiteral("Checking for updates..."), UpdateBannerRole::info);
  redraw();

  if (client.fixtureURL) {
    applyAboutUpdateResult(client.check(version, version));
    return;
  }
  std::weak_ptr<AboutUpdateFlow*> weak = self_;
  runUpdateWorkInBackground<UpdateCheckResult>([client, version] { return client.check(version, version); },
                                               [weak](UpdateCheckResult result) {
                                                 if (auto self = weak.lock()) {
                                                   (*self)->applyAboutUpdateResult(result);
                                                 }
                                               });
}

void AboutUpdateFlow::applyAboutUpdateResult(const UpdateCheckResult& result) {
  if (const auto* response = std::get_if<UpgradeCheckResponse>(&result)) {
    if (response->updateAvailable) {
      setState(UpdateState::available(*response));
      banner(QStringLiteral("Update v%1 available").arg(response->latest.version), UpdateBannerRole::info);
    } else {
      setState(UpdateState::upToDate(*response, currentUpdateTimestamp()));
      banner(QStringLiteral("Tandrel is already up to date"), UpdateBannerRole::success);
    }
  } else {
    const QString& message = std::get<UpdateClientFailure>(result).message;
    setState(UpdateState::error(message));
    banner(message, UpdateBannerRole::failure);
  }
  redraw();
}

void AboutUpdateFlow::setAboutUpdateDownloadError(const QString& message) {
  setState(UpdateState::error(message));
  banner(message, UpdateBannerRole::failure);
  redraw();
}

void AboutUpdateFlow::downloadAvailableUpdateFromAbout() {
  if (state_.kind != UpdateState::Kind::available || !state_.response) {
    return;
  }
  const UpgradeCheckResponse response = *state_.response;
  const QString version = response.latest.version;
  if (!response.artifact) {
    setAboutUpdateDownloadError(QStringLiteral("Update v%1 does not include a downloadable artifact.").arg(version));
    return;
  }
  // Only zip archives install here.
  const QString kind = response.artifact->kind.trimmed().toLower();
  if (kind != QLatin1String("zip")) {
    setAboutUpdateDownloadError(QStringLiteral("Update v%1 uses an unsupported artifact type.").arg(version));
    return;
  }
  const QUrl url(response.artifact->url, QUrl::StrictMode);
  if (!url.isValid() || url.scheme().isEmpty()) {
    setAboutUpdateDownloadError(QStringLiteral("Update v%1 has an invalid artifact URL.").arg(version));
    return;
  }
  // A local file, https, or http on loopback (a local test server).
  if (!url.isLocalFile() && !isAllowedTransferURL(url)) {
    setAboutUpdateDownloadError(QStringLiteral("Update v%1 has an unsupported artifact URL.").arg(version));
    return;
  }
  // A feed (or whoever answers in its place) may offer an older version with a known fault.
  if (compareVersionStrings(applicationVersion(), version) != VersionOrder::ascending) {
    setAboutUpdateDownloadError(QStringLiteral("Update v%1 is not newer than this version (v%2); it is not installed.")
                                    .arg(version, applicationVersion()));
    return;
  }
  if (!updatePublicKey) {
    setAboutUpdateDownloadError(QStringLiteral("This build has no update signing key, so it installs no updates. "
                                               "Get v%1 from where you installed Tandrel.")
                                    .arg(version));
    return;
  }

  setState(UpdateState::downloading(response, 0));
  banner(QStringLiteral("Downloading update v%1...").arg(version), UpdateBannerRole::info);
  redraw();

  const QString destination = stagedArtifactPath(version, kind);
  const QString source = response.artifact->url;
  std::weak_ptr<AboutUpdateFlow*> weak = self_;
  runUpdateWorkInBackground<DownloadOutcome>(
      [response, source, destination, key = *updatePublicKey, timeouts = transferTimeouts] {
        return stageAndVerify(response, source, destination, key, timeouts);
      },
      [weak, response](DownloadOutcome outcome) {
        if (auto self = weak.lock()) {
          (*self)->finishDownload(response, outcome);
        }
      });
}

QString AboutUpdateFlow::stagedArtifactPath(const QString& version, const QString& kind) const {
  const QString folder = updateDownloadDirectory.value_or(UpdateInstaller::updatesDirectory());
  return folder + QStringLiteral("/Tandrel-") +
         UpdateArtifactDownloader::sanitizedNameComponent(version, QStringLiteral("update")) + QLatin1Char('.') +
         UpdateArtifactDownloader::safeArtifactExtension(kind);
}

AboutUpdateFlow::DownloadOutcome AboutUpdateFlow::stageAndVerify(const UpgradeCheckResponse& response,
                                                                 const QString& source, const QString& destination,
                                                                 const QByteArray& publicKey,
                                                                 const TransferTimeouts& timeouts) {
  using namespace UpdateArtifactDownloader;
  const QUrl url(source);
  const bool local = url.isLocalFile();
  const QString expected = response.artifact->sha256;
  const qint64 maxBytes = response.artifact->sizeBytes > 0 ? response.artifact->sizeBytes : kUnnamedArtifactSizeLimit;
  const Staged staged = local ? stageVerifiedLocalArtifact(url.toLocalFile(), destination, expected, maxBytes)
                              : stageVerifiedRemoteArtifact(url, destination, expected, maxBytes, timeouts);
  const QString failed = QStringLiteral("Could not %1 update artifact: ")
                             .arg(local ? QStringLiteral("copy") : QStringLiteral("download"));
  if (!staged.ok()) {
    if (staged.failure.kind == Failure::Kind::checksumMismatch) {
      return {std::nullopt, staged.failure.errorDescription()};
    }
    return {std::nullopt, failed + staged.failure.errorDescription()};
  }
  if (!UpdateSignature::verifyFile(*staged.path, response.artifact->signature.value_or(QString()), publicKey)) {
    QFile::remove(*staged.path);
    return {std::nullopt, QStringLiteral("Downloaded update failed signature verification.")};
  }
  DownloadOutcome outcome{updateStateAfterVerification(response, destination), {}};
  if (outcome.state->kind == UpdateState::Kind::readyToRestart &&
      std::rename(QFile::encodeName(*staged.path).constData(), QFile::encodeName(destination).constData()) != 0) {
    outcome = {std::nullopt, failed + QStringLiteral("could not move it to %1.").arg(destination)};
  }
  QFile::remove(*staged.path);
  return outcome;
}

void AboutUpdateFlow::finishDownload(const UpgradeCheckResponse& response, const DownloadOutcome& outcome) {
  if (!outcome.state) {
    setAboutUpdateDownloadError(outcome.error);
    return;
  }
  setState(*outcome.state);
  if (state_.kind == UpdateState::Kind::error) {
    banner(state_.message, UpdateBannerRole::failure);
  } else {
    banner(QStringLiteral("Update v%1 is ready to install. Restart to update.").arg(response.latest.version),
           UpdateBannerRole::success);
  }
  redraw();
}

void AboutUpdateFlow::performAboutUpdatePrimaryAction() {
  switch (aboutUpdatePrimaryAction(state_)) {
    case AboutUpdateAction::checkForUpdates:
      checkForUpdatesFromAbout();
      return;
    case AboutUpdateAction::downloadUpdate:
      downloadAvailableUpdateFromAbout();
      return;
    case AboutUpdateAction::restartToUpdate:
      restartToUpdate();
      return;
    case AboutUpdateAction::working:
      redraw();
      return;
  }
}

void AboutUpdateFlow::restartToUpdate() {
  if (state_.kind != UpdateState::Kind::readyToRestart || !state_.response) {
    return;
  }
  const QString version = state_.response->latest.version;
  PendingUpdateInstallRequest request;
  request.artifactURL = state_.fileURL;
  request.targetBundleURL = targetInstallFolder();
  request.version = version;
  request.relaunchAfterInstall = true;
  request.expectedSHA256 = state_.response->artifact ? state_.response->artifact->sha256 : QString();
  request.signature = state_.response->artifact ? state_.response->artifact->signature.value_or(QString()) : QString();

  if (std::optional<QString> error = updateInstaller(request)) {
    const QString message = QStringLiteral("Update install failed: ") + *error;
    setState(UpdateState::error(message));
    banner(message, UpdateBannerRole::failure);
    redraw();
    return;
  }
  banner(QStringLiteral("Restarting to install v%1...").arg(version), UpdateBannerRole::info);
  if (isTestEnvironment()) {
    return;
  }
  std::weak_ptr<AboutUpdateFlow*> weak = self_;
  clock_.schedule(std::chrono::milliseconds(100), [weak] {
    if (auto self = weak.lock(); self && (*self)->hooks_.terminateApplication) {
      (*self)->hooks_.terminateApplication();
    }
  });
}

std::vector<AboutUpdateDisplayRow> AboutUpdateFlow::aboutUpdateDisplayRows() const {
  return aboutUpdateRows(state_, applicationVersion());
}

std::optional<QString> AboutUpdateFlow::applyAutomaticUpdateResult(const UpdateCheckResult& result,
                                                                   bool showReminder) {
  const auto* response = std::get_if<UpgradeCheckResponse>(&result);
  if (response == nullptr) {
    return std::nullopt;
  }
  if (!response->updateAvailable) {
    setState(UpdateState::upToDate(*response, currentUpdateTimestamp()));
    redraw();
    return std::nullopt;
  }
  setState(UpdateState::available(*response));
  if (!showReminder) {
    redraw();
    return std::nullopt;
  }
  banner(QStringLiteral("Tandrel v%1 available").arg(response->latest.version), UpdateBannerRole::reminder);
  redraw();
  return response->latest.version;
}

void AboutUpdateFlow::setAboutUpdateStateForTests(UpdateState state) {
  setState(std::move(state));
  redraw();
}

std::optional<QString> AboutUpdateFlow::aboutReadyUpdateURLForTests() const {
  if (state_.kind != UpdateState::Kind::readyToRestart) {
    return std::nullopt;
  }
  return state_.fileURL;
}

}  // namespace tandrel
