#pragma once

// What the About and self-update self-checks share: the response builder, the About tab of a
// settings view over its own store and settings, a key that signs their artifacts, and the
// versions they offer.

#include "events/event_store.h"
#include "island/tandrel_view.h"
#include "platform/user_defaults.h"
#include "ui/settings_model.h"
#include "update/update_signature.h"
#include "update/update_state.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

namespace tandrel {

// A response offering `version`: released "2026-05-09" with `releaseNotes`; a 768 KB zip on a
// placeholder host (its checksum 64 "a"s); minimum system "13.0"; signed and notarized exactly
// when an update is available; the "test" channel, no forced update, manual opening and test
// installs allowed.
UpgradeCheckResponse testUpgradeResponse(bool updateAvailable, const QString& version, const QStringList& releaseNotes);

// The About tab of a settings view (860 x 780) over a store of the run's bridge file, whose audit
// lies beside it, and settings of its own under `tempRoot`. Its flow trusts `key` for
// signatures, and until a check gives it another installer, every install is refused, so that no
// check can start the real installer.
class AboutViewFixture {
 public:
  AboutViewFixture(const QString& tempRoot, const UpdateSignature::SigningKeyPair& key,
                   SettingsTab tab = SettingsTab::about);
  ~AboutViewFixture();
  AboutViewFixture(const AboutViewFixture&) = delete;
  AboutViewFixture& operator=(const AboutViewFixture&) = delete;

  TandrelView& view() { return *view_; }
  AboutUpdateFlow& flow() { return view_->aboutUpdate(); }

 private:
  UserDefaults defaults_;
  SettingsModel settings_;
  EventStore store_;
  std::unique_ptr<TandrelView> view_;
};

// Downloads install only a version newer than the running one (0.1.6 when these checks were
// written), so the download checks offer 0.1.x releases renumbered with 9 as the major number.
inline constexpr char kNewerMajor[] = "9";
QString newerVersion(const QString& minorAndPatch);

// Whether some row has this label and this detail, or a detail containing `fragment`.
bool hasRow(const std::vector<AboutUpdateDisplayRow>& rows, const QString& label, const QString& detail);
bool hasRowContaining(const std::vector<AboutUpdateDisplayRow>& rows, const QString& label, const QString& fragment);

// The bytes of a file, or nothing when it cannot be read.
std::optional<QByteArray> readFileBytes(const QString& path);

// The response of the download checks: `version` released "2026-05-09" with one note, a zip at
// `url` with its checksum, size and signature; minimum system "13.0"; signed and notarized; the
// "test" channel with manual opening and test installs allowed.
UpgradeCheckResponse downloadTemplateResponse(const QString& version, const QString& note, const QString& url,
                                              const QString& sha256, qint64 sizeBytes, const QString& signature);

// Blocks of a check-interface answer written as a file: "latest" (version and build `version`,
// released "2026-05-09", `notes`) and a zip "artifact" (with "signature" when one is given).
QJsonObject latestBlock(const QString& version, const QStringList& notes);
QJsonObject zipArtifactBlock(const QString& url, const QString& sha256, qint64 sizeBytes,
                             const QString& signature = {});

// An install folder at `root` as the installer knows one: bin/tandrel (a shell script that exits
// with `versionStatus`, so that a new build "starts" or not), the install marker, and
// share/tandrel/version.txt holding `version`. False when any file could not be written.
bool writeInstallFolder(const QString& root, const QByteArray& version, int versionStatus = 0);
// share/tandrel/version.txt of an install folder.
QString installFolderVersionFile(const QString& root);

// Writes `bytes` to `path` (creating its folders), then its SHA-256; nothing on any failure.
std::optional<QString> writeArtifact(const QString& path, const QByteArray& bytes);

}  // namespace tandrel
