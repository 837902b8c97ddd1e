#pragma once

// Bringing an update artifact to disk next to its final place and checking its SHA-256 against
// the feed's. Every function blocks; call them off the main thread.

#include "update/update_transfer.h"

#include <QString>
#include <QUrl>

#include <optional>

namespace tandrel {

namespace UpdateVerifier {
// The file's SHA-256 as 64 lower-case hex digits, read in 1 MiB pieces; nothing when the file
// cannot be read.
std::optional<QString> sha256Hex(const QString& path);
// True when the file's digest equals `expectedSHA256`, compared without regard to case.
bool verify(const QString& path, const QString& expectedSHA256);
}  // namespace UpdateVerifier

namespace UpdateArtifactDownloader {

struct Failure {
  enum class Kind {
    remoteStatus,           // "Update server returned HTTP <status>."
    remoteDownload,         // the transfer's own description
    checksumMismatch,       // "Downloaded update failed checksum verification."
    invalidRemoteResponse,  // "Update server returned an invalid response."
    file,                   // a file-system error, as it comes
  };
  Kind kind = Kind::file;
  int status = 0;
  QString description;

  QString errorDescription() const;
  static Failure fromTransfer(const TransferFailure& failure);
};

// The path of a staged artifact, or why staging failed.
struct Staged {
  std::optional<QString> path;
  Failure failure;
  bool ok() const { return path.has_value(); }
};

// Keeps letters, marks, digits, ".", "_" and "-"; each run of anything else becomes one "-";
// ".", "-" and "_" are trimmed from both ends; `fallback` when nothing is left.
QString sanitizedNameComponent(const QString& value, const QString& fallback);
// "dmg" or "zip" (trimmed, lower-cased); anything else gives "artifact".
QString safeArtifactExtension(const QString& value);

// Copies `from` onto `to` through a temporary file beside it; an existing destination stays as it
// was when anything fails.
std::optional<Failure> copyLocalArtifact(const QString& from, const QString& to);

// The most an artifact may hold when the feed names no size.
inline constexpr qint64 kUnnamedArtifactSizeLimit = qint64(1) << 30;

// Copies (or downloads) the artifact into a hidden staging file in the destination's folder
// (created when missing) and verifies it. The destination itself is never written. A failed
// copy, transfer or checksum leaves no staging file behind. An artifact larger than `maxBytes`
// (the size the feed names) is refused; a download stops as soon as it passes that size.
Staged stageVerifiedLocalArtifact(const QString& from, const QString& to, const QString& expectedSHA256,
                                  qint64 maxBytes = kUnnamedArtifactSizeLimit);
Staged stageVerifiedRemoteArtifact(const QUrl& from, const QString& to, const QString& expectedSHA256,
                                   qint64 maxBytes = kUnnamedArtifactSizeLimit,
                                   const TransferTimeouts& timeouts = {});

// "." + the destination's file name + "." + a new UUID + ".staging", in the destination's folder.
QString stagingPathFor(const QString& destination);

}  // namespace UpdateArtifactDownloader

}  // namespace tandrel
