#pragma once

// The About tab's update flow without its drawing: a manual check, its result, download and
// verification of the offered artifact, the hand-over to the installer, and the automatic
// check's result. Each overlay view owns one; the view supplies the banner, the redraw and the
// quit. Main thread only; checks and downloads run on threads of their own and come back here,
// and are dropped once the flow is gone.

#include "platform/clock.h"
#include "update/update_client.h"
#include "update/update_installer.h"
#include "update/update_state.h"

#include <QColor>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace tandrel {

enum class UpdateBannerRole { info, success, failure, reminder };
// Information blue, success green, failure red, reminder amber.
QColor updateBannerColor(UpdateBannerRole role);

class AboutUpdateFlow {
 public:
  struct Hooks {
    std::function<void(const QString& text, UpdateBannerRole role)> showBanner;
    std::function<void()> redraw;
    // Asked 0.1 s after the installer started (never in the test environment).
    std::function<void()> terminateApplication;
  };
  // Starts the installer for a request; an error description when it could not.
  using Installer = std::function<std::optional<QString>(const PendingUpdateInstallRequest&)>;

  // `installFailure`: what a failed install left for this launch; the flow starts in that error.
  explicit AboutUpdateFlow(Hooks hooks, Clock& clock = Clock::system(),
                           std::optional<QString> installFailure = std::nullopt);
  ~AboutUpdateFlow();
  AboutUpdateFlow(const AboutUpdateFlow&) = delete;
  AboutUpdateFlow& operator=(const AboutUpdateFlow&) = delete;

  const UpdateState& aboutUpdateState() const { return state_; }

  // A fixture file read instead of the feed; nil unless a test sets it.
  std::optional<QString> aboutUpdateFixtureURL;
  // Where downloads go; the Updates folder of the app's data when unset.
  std::optional<QString> updateDownloadDirectory;
  // Starts the installer; by default the detached installer waiting for this process.
  Installer updateInstaller;
  // The install folder to replace; by default this process's own (or its would-be folder, which
  // the installer then refuses with a clear text).
  std::function<QString()> targetInstallFolder;
  // Time-outs of the remote check and the download.
  TransferTimeouts transferTimeouts;
  // The key an artifact's signature must check against; this build's own by default. Without one
  // no update is installed.
  std::optional<QByteArray> updatePublicKey;

  // Where a download of `version` with the artifact `kind` is staged: "Tandrel-" + the version
  // made safe + "." + "zip", "dmg" or "artifact", in `updateDownloadDirectory` or else the Updates
  // folder. Nothing in either text can move the file out of that folder.
  QString stagedArtifactPath(const QString& version, const QString& kind) const;

  // Whether a check has anything to ask: a fixture, TANDREL_UPDATE_RESPONSE_FILE or a feed
  // address (the environment's or the build's).
  bool hasUpdateFeed() const;
  void checkForUpdatesFromAbout();
  void applyAboutUpdateResult(const UpdateCheckResult& result);
  void downloadAvailableUpdateFromAbout();
  void setAboutUpdateDownloadError(const QString& message);
  void performAboutUpdatePrimaryAction();
  QString aboutUpdatePrimaryActionTitle() const { return tandrel::aboutUpdatePrimaryActionTitle(state_); }
  std::vector<AboutUpdateDisplayRow> aboutUpdateDisplayRows() const;
  bool aboutTabShowsUpdateMarker() const { return tandrel::aboutTabShowsUpdateMarker(state_); }
  // Applies an automatic check's result; the version whose reminder this flow showed, if any.
  std::optional<QString> applyAutomaticUpdateResult(const UpdateCheckResult& result, bool showReminder);

  // Test hooks.
  void configureAboutUpdateFixtureForTests(const QString& path) { aboutUpdateFixtureURL = path; }
  void configureUpdateDownloadDirectoryForTests(const QString& path) { updateDownloadDirectory = path; }
  void setAboutUpdateStateForTests(UpdateState state);
  AboutUpdateAction aboutPrimaryUpdateActionForTests() const { return aboutUpdatePrimaryAction(state_); }
  std::optional<QString> aboutReadyUpdateURLForTests() const;

 private:
  // A download's outcome: a new state, or an error text.
  struct DownloadOutcome {
    std::optional<UpdateState> state;
    QString error;
  };
  static DownloadOutcome stageAndVerify(const UpgradeCheckResponse& response, const QString& source,
                                        const QString& destination, const QByteArray& publicKey,
                                        const TransferTimeouts& timeouts);
  void finishDownload(const UpgradeCheckResponse& response, const DownloadOutcome& outcome);
  void restartToUpdate();
  void setState(UpdateState state);
  void banner(const QString& text, UpdateBannerRole role);
  void redraw();

  Hooks hooks_;
  Clock& clock_;
  UpdateState state_;
  std::shared_ptr<AboutUpdateFlow*> self_;
};

}  // namespace tandrel
