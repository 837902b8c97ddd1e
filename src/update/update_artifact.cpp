#include "update/update_artifact.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <cstdio>

namespace tandrel {

namespace UpdateVerifier {

std::optional<QString> sha256Hex(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    return std::nullopt;
  }
  QCryptographicHash hash(QCryptographicHash::Sha256);
  constexpr qint64 kChunk = 1024 * 1024;
  QByteArray buffer(kChunk, Qt::Uninitialized);
  for (;;) {
    const qint64 read = file.read(buffer.data(), kChunk);
    if (read < 0) {
      return std::nullopt;
    }
    if (read == 0) {
      break;
    }
    hash.addData(QByteArrayView(buffer.constData(), read));
  }
  return QString::fromLatin1(hash.result().toHex());
}

bool verify(const QString& path, const QString& expectedSHA256) {
  const std::optional<QString> digest = sha256Hex(path);
  return digest && digest->toLower() == expectedSHA256.toLower();
}

}  // namespace UpdateVerifier

namespace UpdateArtifactDownloader {
namespace {

Failure fileFailure(const QString& description) { return {Failure::Kind::file, 0, description}; }

std::optional<Failure> makeFolderFor(const QString& destination) {
  const QString folder = QFileInfo(destination).absolutePath();
  if (!QDir().mkpath(folder)) {
    return fileFailure(QStringLiteral("Could not create the folder %1.").arg(folder));
  }
  return std::nullopt;
}

std::optional<Failure> copyFile(const QString& from, const QString& to) {
  QFile source(from);
  if (!source.copy(to)) {
    return fileFailure(source.errorString());
  }
  return std::nullopt;
}

// rename(2) replaces an existing destination in one step.
bool replaceInto(const QString& from, const QString& to) {
  return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

Staged verified(const QString& staging, const QString& expectedSHA256) {
  if (!UpdateVerifier::verify(staging, expectedSHA256)) {
    QFile::remove(staging);
    return {std::nullopt, {Failure::Kind::checksumMismatch, 0, {}}};
  }
  return {staging, {}};
}

}  // namespace

QString Failure::errorDescription() const {
  switch (kind) {
    case Kind::remoteStatus:
      return QStringLiteral("Update server returned HTTP %1.").arg(status);
    case Kind::checksumMismatch:
      return QStringLiteral("Downloaded update failed checksum verification.");
    case Kind::invalidRemoteResponse:
      return QStringLiteral("Update server returned an invalid response.");
    case Kind::remoteDownload:
    case Kind::file:
      return description;
  }
  return description;
}

Failure Failure::fromTransfer(const TransferFailure& failure) {
  switch (failure.kind) {
    case TransferFailure::Kind::httpStatus:
      return {Kind::remoteStatus, failure.httpStatus, failure.description};
    case TransferFailure::Kind::invalidResponse:
      return {Kind::invalidRemoteResponse, 0, failure.description};
    case TransferFailure::Kind::file:
      return {Kind::file, 0, failure.description};
    case TransferFailure::Kind::refusedURL:
    case TransferFailure::Kind::network:
    case TransferFailure::Kind::timedOut:
    case TransferFailure::Kind::tooLarge:
      return {Kind::remoteDownload, 0, failure.description};
  }
  return {Kind::remoteDownload, 0, failure.description};
}

QString sanitizedNameComponent(const QString& value, const QString& fallback) {
  QString result;
  bool inRun = false;
  for (const char32_t scalar : value.toUcs4()) {
    const bool keep = QChar::isLetterOrNumber(scalar) || QChar::isMark(scalar) || scalar == U'.' ||
                      scalar == U'_' || scalar == U'-';
    if (keep) {
      result += QString::fromUcs4(&scalar, 1);
      inRun = false;
    } else if (!inRun) {
      result += QLatin1Char('-');
      inRun = true;
    }
  }
  auto trimmable = [](QChar c) { return c == QLatin1Char('.') || c == QLatin1Char('-') || c == QLatin1Char('_'); };
  qsizetype start = 0;
  qsizetype end = result.size();
  while (start < end && trimmable(result[start])) {
    ++start;
  }
  while (end > start && trimmable(result[end - 1])) {
    --end;
  }
  result = result.mid(start, end - start);
  return result.isEmpty() ? fallback : result;
}

QString safeArtifactExtension(const QString& value) {
  const QString kind = value.trimmed().toLower();
  return kind == QLatin1String("dmg") || kind == QLatin1String("zip") ? kind : QStringLiteral("artifact");
}

QString stagingPathFor(const QString& destination) {
  const QFileInfo info(destination);
  return info.absolutePath() + QStringLiteral("/.") + info.fileName() + QLatin1Char('.') +
         QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() + QStringLiteral(".staging");
}

std::optional<Failure> copyLocalArtifact(const QString& from, const QString& to) {
  if (std::optional<Failure> failure = makeFolderFor(to)) {
    return failure;
  }
  const QFileInfo info(to);
  const QString temporary = info.absolutePath() + QStringLiteral("/.") + info.fileName() + QLatin1Char('.') +
                            QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() + QStringLiteral(".tmp");
  std::optional<Failure> failure = copyFile(from, temporary);
  if (!failure && !replaceInto(temporary, to)) {
    failure = fileFailure(QStringLiteral("Could not move the update artifact to %1.").arg(to));
  }
  QFile::remove(temporary);
  return failure;
}

Staged stageVerifiedLocalArtifact(const QString& from, const QString& to, const QString& expectedSHA256,
                                  qint64 maxBytes) {
  if (std::optional<Failure> failure = makeFolderFor(to)) {
    return {std::nullopt, *failure};
  }
  if (QFileInfo(from).size() > maxBytes) {
    return {std::nullopt, Failure{Failure::Kind::remoteDownload, 0,
                                  QStringLiteral("The update artifact is larger than the %1 bytes the update feed "
                                                 "names.")
                                      .arg(maxBytes)}};
  }
  const QString staging = stagingPathFor(to);
  if (std::optional<Failure> failure = copyFile(from, staging)) {
    QFile::remove(staging);
    return {std::nullopt, *failure};
  }
  return verified(staging, expectedSHA256);
}

Staged stageVerifiedRemoteArtifact(const QUrl& from, const QString& to, const QString& expectedSHA256,
                                   qint64 maxBytes, const TransferTimeouts& timeouts) {
  if (std::optional<Failure> failure = makeFolderFor(to)) {
    return {std::nullopt, *failure};
  }
  // The body streams straight into the staging file (removed again by a failed transfer).
  const QString staging = stagingPathFor(to);
  if (std::optional<TransferFailure> failure = downloadURLToFile(from, staging, maxBytes, timeouts)) {
    QFile::remove(staging);
    return {std::nullopt, Failure::fromTransfer(*failure)};
  }
  return verified(staging, expectedSHA256);
}

}  // namespace UpdateArtifactDownloader

}  // namespace tandrel
