#pragma once

// The state of the About tab's update panel, the request handed to the installer, and the pure
// functions that turn a state into the panel's rows and its primary button.

#include "update/update_feed.h"

#include <QDateTime>
#include <QString>

#include <optional>
#include <vector>

namespace tandrel {

struct UpdateState {
  enum class Kind { upToDate, available, downloading, verified, readyToRestart, error, idle, checking };

  Kind kind = Kind::idle;
  // upToDate, available, downloading, verified, readyToRestart.
  std::optional<UpgradeCheckResponse> response;
  QString checkedAt;    // upToDate
  double progress = 0;  // downloading, 0 to 1
  QString fileURL;      // verified, readyToRestart: the artifact's path
  QString message;      // error

  static UpdateState upToDate(UpgradeCheckResponse response, QString checkedAt);
  static UpdateState available(UpgradeCheckResponse response);
  static UpdateState downloading(UpgradeCheckResponse response, double progress);
  static UpdateState verified(UpgradeCheckResponse response, QString fileURL);
  static UpdateState readyToRestart(UpgradeCheckResponse response, QString fileURL);
  static UpdateState error(QString message);
  static UpdateState idle() { return {}; }
  static UpdateState checking();

  bool operator==(const UpdateState&) const = default;
};

// What the installer needs: the verified artifact, the install folder to replace (the folder
// holding bin/tandrel), the version being installed and whether to start it afterwards.
struct PendingUpdateInstallRequest {
  QString artifactURL;
  QString targetBundleURL;
  QString version;
  bool relaunchAfterInstall = true;
  // The artifact's SHA-256, checked again by the installer before it unpacks the artifact.
  QString expectedSHA256;
  // The artifact's signature (base64), checked again by a swap that runs with administrator rights.
  QString signature;
};

struct AboutUpdateDisplayRow {
  QString label;
  QString detail;
  bool isChangelog = false;
  bool operator==(const AboutUpdateDisplayRow&) const = default;
};

enum class AboutUpdateAction { checkForUpdates = 0, downloadUpdate = 1, restartToUpdate = 2, working = 3 };

// The current local time as "yyyy-MM-dd HH:mm".
QString currentUpdateTimestamp(const QDateTime& now = QDateTime::currentDateTime());

// readyToRestart, unless the channel (trimmed, lower-cased; "stable" without a policy) is
// "stable", the response is not both signed and notarized and test installs are not allowed:
// then the error "This update is not signed for production install.".
UpdateState updateStateAfterVerification(const UpgradeCheckResponse& response, const QString& fileURL);

std::vector<AboutUpdateDisplayRow> aboutUpdateRows(const UpdateState& state, const QString& currentVersion);
AboutUpdateAction aboutUpdatePrimaryAction(const UpdateState& state);
// "Check now", "Download Update", "Restart to Update" or "Working...".
QString aboutUpdatePrimaryActionTitle(const UpdateState& state);
// True while an update is on offer or on its way: available, downloading, verified, readyToRestart.
bool aboutTabShowsUpdateMarker(const UpdateState& state);

// "v<version> · <kind> · <size>", or "v<version>" without an artifact.
QString aboutUpdateAvailableDetail(const UpgradeCheckResponse& response);
// 1023 B, 1 KB, 1.5 MB, … up to TB.
QString humanReadableByteSize(qint64 bytes);

}  // namespace tandrel
