#pragma once

// The update feed: the two JSON shapes a feed may answer with, the version comparison, and the
// mapping of a static manifest onto the one value the rest of self-update consumes.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <variant>
#include <vector>

namespace tandrel {

// Records of the check-interface shape (snake_case keys). Unknown keys are ignored; a key of the
// wrong JSON type fails the whole document.
struct UpgradeVersionInfo {
  QString version;                     // "version", required
  QString build;                       // "build", required
  std::optional<QString> releaseDate;  // "release_date"
  QStringList releaseNotes;            // "release_notes"; missing or null: empty
  bool operator==(const UpgradeVersionInfo&) const = default;
};

struct UpgradeArtifact {
  QString kind;        // "kind"
  QString url;         // "url"
  QString sha256;      // "sha256"
  qint64 sizeBytes = 0;  // "size_bytes"
  // "signature": the maker's Ed25519 signature of the artifact, base64; optional in the feed, but
  // an artifact without a valid one is never installed.
  std::optional<QString> signature;
  bool operator==(const UpgradeArtifact&) const = default;
};

struct UpgradeRequirements {
  std::optional<QString> minMacOS;  // "min_macos"
  bool operator==(const UpgradeRequirements&) const = default;
};

// Used by both shapes; a missing flag is false. (`signed` is a C++ keyword, hence `isSigned`.)
struct UpgradeSecurity {
  bool isSigned = false;   // "signed"
  bool notarized = false;  // "notarized"
  bool operator==(const UpgradeSecurity&) const = default;
};

struct UpgradePolicy {
  QString channel = QStringLiteral("stable");  // "channel"
  bool forceUpdate = false;                     // "force_update"
  bool allowManualOpen = false;                 // "allow_manual_open"
  bool allowTestInstall = false;                // "allow_test_install"
  bool operator==(const UpgradePolicy&) const = default;
};

struct UpgradeCheckResponse {
  bool updateAvailable = false;  // "update_available", required
  UpgradeVersionInfo latest;     // "latest", required
  std::optional<UpgradeArtifact> artifact;
  std::optional<UpgradeRequirements> requirements;
  std::optional<UpgradeSecurity> security;
  std::optional<UpgradePolicy> policy;
  bool operator==(const UpgradeCheckResponse&) const = default;
};

// The static manifest shape (camelCase keys): it only describes the latest release.
struct StaticMacArtifact {
  std::optional<QString> arch, kind, url, dmg, latestUrl, sha256, signature;
  std::optional<qint64> sizeBytes;
};

struct StaticUpdatePolicy {
  std::optional<QString> channel;
  bool forceUpdate = false;
  bool allowManualOpen = true;  // note: true here, false in the check-interface policy
  bool allowTestInstall = false;
};

struct StaticUpdateManifest {
  std::optional<qint64> schemaVersion;
  std::optional<QString> app;
  QString latestVersion;  // required
  std::optional<QString> latestBuild;
  std::optional<QString> minimumSupportedVersion;
  std::optional<QString> forceUpdateBelow;
  QStringList blockedVersions;
  std::optional<QString> releaseDate;
  QStringList releaseNotes;  // a list of texts, or one text
  std::optional<StaticMacArtifact> mac;
  std::optional<UpgradeSecurity> security;
  std::optional<StaticUpdatePolicy> policy;
};

// The user-facing text of a failed check.
struct UpdateClientFailure {
  QString message;
  bool operator==(const UpdateClientFailure&) const = default;
};

// A document that decodes as neither shape; `detail` says why the manifest attempt failed.
struct FeedDecodingError {
  QString detail;
};

// The numeric parts of a version: the text before the first "+", then before the first "-",
// split on "." with empty pieces dropped; a piece that is not a whole signed 64-bit decimal
// number counts as 0.
std::vector<qint64> numericVersionParts(const QString& version);

enum class VersionOrder { ascending = -1, same = 0, descending = 1 };
// Ascending when `left` is the older version; a missing position counts as 0.
VersionOrder compareVersionStrings(const QString& left, const QString& right);

std::optional<UpgradeCheckResponse> decodeCheckResponse(const QByteArray& data);
// The manifest, or why it does not decode.
std::variant<StaticUpdateManifest, FeedDecodingError> decodeStaticManifest(const QByteArray& data);

using FeedDecodeResult = std::variant<UpgradeCheckResponse, UpdateClientFailure, FeedDecodingError>;

// The feed's bytes as a response: a check-interface answer as it is; otherwise a static manifest
// evaluated against `currentVersion`. A manifest whose latest version is one of its own blocked
// versions offers no update. Fails with an UpdateClientFailure when a manifest offers an
// update without a usable URL or checksum, with the manifest's decoding error when neither shape
// decodes.
FeedDecodeResult decodeUpdateResponse(const QByteArray& data, const QString& currentVersion);

}  // namespace tandrel
