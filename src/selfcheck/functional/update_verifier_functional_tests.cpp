#include "selfcheck/functional/update_verifier_functional_tests.h"

#include "catalog/paths.h"
#include "selfcheck/fixture_builders.h"
#include "selfcheck/functional/about_update_fixture.h"
#include "selfcheck/harness.h"
#include "update/update_artifact.h"
#include "update/update_signature.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace tandrel {

bool updateVerifierFunctionalTests(const QString& tempRoot) {
  const QString artifact = scratchPath(tempRoot, QStringLiteral("artifact.bin"));
  const QByteArray bytes = QByteArrayLiteral("tandrel-artifact");
  if (!writeFileAtomically(bytes, artifact)) {
    return false;
  }
  const QString digest = QStringLiteral("4db1bef7fe1a1c5fc412bf3a3a25c982ca9058cd70b60b399fc537378de3a46d");
  const bool checksums = UpdateVerifier::sha256Hex(artifact) == digest && UpdateVerifier::verify(artifact, digest) &&
                         UpdateVerifier::verify(artifact, digest.toUpper()) &&
                         !UpdateVerifier::verify(artifact, QString(64, QLatin1Char('0')));
  // What makes an artifact trusted is its signature by the key this copy trusts, not the feed's
  // word: a signature by another key, or of other bytes, fails.
  const UpdateSignature::SigningKeyPair key = UpdateSignature::SigningKeyPair::generate();
  const UpdateSignature::SigningKeyPair stranger = UpdateSignature::SigningKeyPair::generate();
  const bool signatures = UpdateSignature::verifyFile(artifact, key.sign(bytes), key.publicKey) &&
                          !UpdateSignature::verifyFile(artifact, stranger.sign(bytes), key.publicKey) &&
                          !UpdateSignature::verifyFile(artifact, key.sign("tandrel-artifacT"), key.publicKey);
  return checksums && signatures;
}

bool updateArtifactDownloaderFunctionalTests(const QString& tempRoot) {
  const QString version = QStringLiteral("../0.1 bad/evil");
  const QString kind = QStringLiteral("../pkg!");
  AboutUpdateFlow flow({});
  const QString defaultStaged = flow.stagedArtifactPath(version, kind);
  if (QFileInfo(defaultStaged).absoluteDir() != QDir(appSupportDirectory() + QStringLiteral("/Updates"))) {
    return false;
  }
  const QString downloads = scratchPath(tempRoot, QStringLiteral("Updates"));
  flow.configureUpdateDownloadDirectoryForTests(downloads);
  const QString staged = QDir::cleanPath(flow.stagedArtifactPath(version, kind));
  const QFileInfo stagedInfo(staged);
  if (!staged.startsWith(QDir::cleanPath(downloads) + QLatin1Char('/')) ||
      stagedInfo.absoluteDir().dirName() != QLatin1String("Updates") ||
      stagedInfo.fileName() != QLatin1String("Tandrel-0.1-bad-evil.artifact")) {
    return false;
  }

  // A copy creates the folders it needs.
  const QString source = scratchPath(tempRoot, QStringLiteral("source-artifact.bin"));
  const QString copied = scratchPath(tempRoot, QStringLiteral("nested/copied.bin"));
  QDir(scratchPath(tempRoot, QStringLiteral("nested"))).removeRecursively();
  if (!writeFileAtomically("new-artifact", source) || UpdateArtifactDownloader::copyLocalArtifact(source, copied) ||
      readFileBytes(copied) != QByteArrayLiteral("new-artifact")) {
    return false;
  }
  // A failed copy leaves the file it would have replaced as it was.
  const QString preserved = scratchPath(tempRoot, QStringLiteral("preserved.bin"));
  if (!writeFileAtomically("old-artifact", preserved) ||
      !UpdateArtifactDownloader::copyLocalArtifact(scratchPath(tempRoot, QStringLiteral("missing.bin")), preserved)) {
    return false;
  }
  return readFileBytes(preserved) == QByteArrayLiteral("old-artifact");
}

bool aboutChecksumMismatchPreservesCachedArtifactFunctionalTest(const QString& tempRoot) {
  const QString updates = scratchPath(tempRoot, QStringLiteral("about-checksum-mismatch-updates"));
  ScopedRestore restore;
  restore.atExit([updates] { QDir(updates).removeRecursively(); });
  const UpdateSignature::SigningKeyPair key = UpdateSignature::SigningKeyPair::generate();
  const QString version = newerVersion(QStringLiteral("1.2"));
  const QString source = scratchPath(tempRoot, QStringLiteral("Tandrel-0.1.2-bad.zip"));
  const QByteArray bytes = QByteArrayLiteral("bad-artifact");
  const QString cached = QDir(updates).filePath(QStringLiteral("Tandrel-%1.zip").arg(version));
  if (!writeFileAtomically(bytes, source) || !writeFileAtomically("cached-good", cached)) {
    return false;
  }
  AboutViewFixture fixture(tempRoot, key);
  fixture.flow().configureUpdateDownloadDirectoryForTests(updates);
  fixture.flow().setAboutUpdateStateForTests(UpdateState::available(
      downloadTemplateResponse(version, QStringLiteral("Checksum failure test."), QUrl::fromLocalFile(source).toString(),
                               QString(64, QLatin1Char('0')), bytes.size(), key.sign(bytes))));
  if (!fixture.view().clickAboutPrimaryUpdateActionForTests()) {
    return false;
  }
  const QString phrase = QStringLiteral("failed checksum verification");
  const auto bannerSaysSo = [&] { return fixture.view().statusBanner().value_or(QString()).contains(phrase); };
  return waitOnEventLoop(bannerSaysSo, 2.0) &&
         hasRowContaining(fixture.flow().aboutUpdateDisplayRows(), QStringLiteral("Error"), phrase) && bannerSaysSo() &&
         readFileBytes(cached) == QByteArrayLiteral("cached-good");
}

}  // namespace tandrel
