#include "update/update_artifact.h"

#include "support/temp_home.h"
#include "update/loopback_http_server.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>

namespace tandrel {
namespace {

using namespace UpdateArtifactDownloader;
using test::LoopbackHttpServer;
using test::runOffMain;

QString sha256Of(const QByteArray& bytes) {
  return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

QStringList filesIn(const QString& folder) {
  return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

TEST(UpdateArtifact, NamesAndExtensions) {
  const std::pair<const char*, const char*> names[] = {
      {"1.2.0 (beta)/x", "1.2.0-beta-x"}, {"   ", "update"}, {"..v1..", "v1"}, {"../0.1 bad/evil", "0.1-bad-evil"},
      {"", "update"},                      {"ü-1", "ü-1"},
  };
  for (const auto& [value, expected] : names) {
    EXPECT_EQ(sanitizedNameComponent(QString::fromUtf8(value), "update"), QString::fromUtf8(expected)) << value;
  }
  EXPECT_EQ(safeArtifactExtension(" DMG\n"), QStringLiteral("dmg"));
  EXPECT_EQ(safeArtifactExtension("Zip"), QStringLiteral("zip"));
  EXPECT_EQ(safeArtifactExtension("pkg"), QStringLiteral("artifact"));
}

TEST(UpdateArtifact, VerifierHashesWholeFilesInAnyCase) {
  test::TempHome home;
  // Larger than one read, so the pieces must be joined in order.
  QByteArray big(3 * 1024 * 1024 + 17, 'a');
  big[1024 * 1024] = 'b';
  ASSERT_TRUE(test::writeFile(home.file("big"), big));
  EXPECT_EQ(UpdateVerifier::sha256Hex(home.file("big")), sha256Of(big));
  EXPECT_TRUE(UpdateVerifier::verify(home.file("big"), sha256Of(big).toUpper()));
  EXPECT_FALSE(UpdateVerifier::verify(home.file("big"), sha256Of("other")));
  EXPECT_FALSE(UpdateVerifier::sha256Hex(home.file("missing")));
  EXPECT_FALSE(UpdateVerifier::verify(home.file("missing"), sha256Of("")));
}

TEST(UpdateArtifact, LocalStagingAndCopy) {
  test::TempHome home;
  ASSERT_TRUE(test::writeFile(home.file("source.zip"), "new"));
  const QString destination = home.file("Updates/deep/Tandrel-1.2.zip");

  const Staged staged = stageVerifiedLocalArtifact(home.file("source.zip"), destination, sha256Of("new"));
  ASSERT_TRUE(staged.ok());
  EXPECT_TRUE(QFileInfo(*staged.path).fileName().startsWith(".Tandrel-1.2.zip."));
  EXPECT_TRUE(staged.path->endsWith(".staging"));
  EXPECT_EQ(test::readFile(*staged.path), "new");
  EXPECT_FALSE(QFile::exists(destination));  // staging never writes the destination
  QFile::remove(*staged.path);

  // A mismatch or a missing source leaves nothing behind.
  EXPECT_EQ(stageVerifiedLocalArtifact(home.file("source.zip"), destination, sha256Of("old")).failure.kind,
            Failure::Kind::checksumMismatch);
  EXPECT_EQ(stageVerifiedLocalArtifact(home.file("nope.zip"), destination, sha256Of("new")).failure.kind,
            Failure::Kind::file);
  EXPECT_EQ(stageVerifiedLocalArtifact(home.file("source.zip"), destination, sha256Of("new"), 2).failure.kind,
            Failure::Kind::remoteDownload);
  EXPECT_TRUE(filesIn(home.file("Updates/deep")).isEmpty());

  // A copy replaces an existing destination; a failed one keeps it.
  ASSERT_TRUE(test::writeFile(destination, "cached"));
  EXPECT_TRUE(copyLocalArtifact(home.file("nope.zip"), destination));
  EXPECT_EQ(test::readFile(destination), "cached");
  EXPECT_FALSE(copyLocalArtifact(home.file("source.zip"), destination));
  EXPECT_EQ(test::readFile(destination), "new");
  EXPECT_EQ(filesIn(home.file("Updates/deep")), QStringList{"Tandrel-1.2.zip"});
}

TEST(UpdateArtifact, RemoteStagingFromALoopbackServer) {
  test::TempHome home;
  LoopbackHttpServer server;
  const QByteArray body(200 * 1024, 'z');
  server.route("/ok", {200, body});
  server.route("/partial", {206, body});
  server.route("/stall", {200, body, {}, false, true});
  for (int status : {199, 300, 404}) {
    server.route("/status" + QByteArray::number(status), {status, "nope"});
  }
  const QString folder = home.file("Updates");
  const QString destination = folder + "/Tandrel-1.2.zip";
  const TransferTimeouts quick{std::chrono::milliseconds(3000), std::chrono::milliseconds(1000)};
  auto stage = [&](const QByteArray& path, const QString& sha = QString(), qint64 maxBytes = 0) {
    return runOffMain([&] {
      return stageVerifiedRemoteArtifact(QUrl(server.url(path)), destination, sha.isEmpty() ? sha256Of(body) : sha,
                                         maxBytes > 0 ? maxBytes : body.size(), quick);
    });
  };

  for (const QByteArray& path : {QByteArray("/ok"), QByteArray("/partial")}) {
    const Staged staged = stage(path);
    ASSERT_TRUE(staged.ok()) << path.constData() << " " << staged.failure.errorDescription().toStdString();
    EXPECT_EQ(test::readFile(*staged.path), body);
    QFile::remove(*staged.path);
  }

  struct Failing {
    QByteArray path;
    QString sha;
    Failure::Kind kind;
    QString text;
    qint64 maxBytes = 0;
  };
  const Failing failing[] = {
      {"/status199", {}, Failure::Kind::remoteStatus, "Update server returned HTTP 199."},
      {"/status300", {}, Failure::Kind::remoteStatus, "Update server returned HTTP 300."},
      {"/status404", {}, Failure::Kind::remoteStatus, "Update server returned HTTP 404."},
      {"/ok", sha256Of("something else"), Failure::Kind::checksumMismatch,
       "Downloaded update failed checksum verification."},
      {"/stall", {}, Failure::Kind::remoteDownload, "The request timed out."},
      // A body longer than the feed said is cut off, not kept.
      {"/ok", {}, Failure::Kind::remoteDownload,
       QStringLiteral("The update server sent more than the %1 bytes the update feed names; the download was "
                      "stopped.")
           .arg(body.size() - 1),
       body.size() - 1},
  };
  for (const Failing& f : failing) {
    SCOPED_TRACE(f.path.constData());
    const Staged staged = stage(f.path, f.sha, f.maxBytes);
    ASSERT_FALSE(staged.ok());
    EXPECT_EQ(staged.failure.kind, f.kind);
    EXPECT_EQ(staged.failure.errorDescription(), f.text);
    EXPECT_TRUE(filesIn(folder).isEmpty()) << filesIn(folder).join(' ').toStdString();
  }

  // Plain http elsewhere than on loopback is never fetched.
  const Staged refused = runOffMain([&] {
    return stageVerifiedRemoteArtifact(QUrl("http://example.invalid/a.zip"), destination, sha256Of(body), body.size(),
                                       quick);
  });
  EXPECT_EQ(refused.failure.kind, Failure::Kind::remoteDownload);
  EXPECT_TRUE(filesIn(folder).isEmpty());
}

}  // namespace
}  // namespace tandrel
