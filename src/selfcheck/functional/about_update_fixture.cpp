#include "selfcheck/functional/about_update_fixture.h"

#include "catalog/paths.h"
#include "selfcheck/fixture_builders.h"
#include "selfcheck/fixture_renderer.h"
#include "update/update_artifact.h"
#include "update/update_installer.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>

#include <algorithm>

namespace tandrel {

namespace {

constexpr char kReleaseDate[] = "2026-05-09";

UpgradeVersionInfo latestInfo(const QString& version, const QStringList& notes) {
  return {version, version, QString::fromLatin1(kReleaseDate), notes};
}

}  // namespace

UpgradeCheckResponse testUpgradeResponse(bool updateAvailable, const QString& version, const QStringList& releaseNotes) {
  UpgradeCheckResponse response;
  response.updateAvailable = updateAvailable;
  response.latest = latestInfo(version, releaseNotes);
  response.artifact = UpgradeArtifact{QStringLiteral("zip"),
                                      QStringLiteral("https://updates.example.com/Tandrel-%1.zip").arg(version),
                                      QString(64, QLatin1Char('a')), 786432, std::nullopt};
  response.requirements = UpgradeRequirements{QStringLiteral("13.0")};
  response.security = UpgradeSecurity{updateAvailable, updateAvailable};
  response.policy = UpgradePolicy{QStringLiteral("test"), false, true, true};
  return response;
}

UpgradeCheckResponse downloadTemplateResponse(const QString& version, const QString& note, const QString& url,
                                              const QString& sha256, qint64 sizeBytes, const QString& signature) {
  UpgradeCheckResponse response = testUpgradeResponse(true, version, {note});
  response.artifact = UpgradeArtifact{QStringLiteral("zip"), url, sha256, sizeBytes, signature};
  return response;
}

QJsonObject latestBlock(const QString& version, const QStringList& notes) {
  return {{QStringLiteral("version"), version},
          {QStringLiteral("build"), version},
          {QStringLiteral("release_date"), QString::fromLatin1(kReleaseDate)},
          {QStringLiteral("release_notes"), QJsonArray::fromStringList(notes)}};
}

QJsonObject zipArtifactBlock(const QString& url, const QString& sha256, qint64 sizeBytes, const QString& signature) {
  QJsonObject artifact{{QStringLiteral("kind"), QStringLiteral("zip")},
                       {QStringLiteral("url"), url},
                       {QStringLiteral("sha256"), sha256},
                       {QStringLiteral("size_bytes"), sizeBytes}};
  if (!signature.isEmpty()) {
    artifact.insert(QStringLiteral("signature"), signature);
  }
  return artifact;
}

AboutViewFixture::AboutViewFixture(const QString& tempRoot, const UpdateSignature::SigningKeyPair& key,
                                   SettingsTab tab)
    : defaults_(QDir(tempRoot).filePath(QStringLiteral("about-update-defaults.json"))),
      settings_(defaults_),
      store_(fixtureStoreOptions(eventFileURL())) {
  view_ = std::make_unique<TandrelView>(QSize(860, 780), store_, settings_);
  view_->setMode(OverlayMode::settings);
  view_->selectSettingsTab(tab);
  flow().updatePublicKey = key.publicKey;
  flow().updateInstaller = [](const PendingUpdateInstallRequest&) -> std::optional<QString> {
    return QStringLiteral("the self-checks install nothing");
  };
}

AboutViewFixture::~AboutViewFixture() = default;

QString newerVersion(const QString& minorAndPatch) {
  return QString::fromLatin1(kNewerMajor) + QLatin1Char('.') + minorAndPatch;
}

bool hasRow(const std::vector<AboutUpdateDisplayRow>& rows, const QString& label, const QString& detail) {
  return std::any_of(rows.begin(), rows.end(),
                     [&](const AboutUpdateDisplayRow& row) { return row.label == label && row.detail == detail; });
}

bool hasRowContaining(const std::vector<AboutUpdateDisplayRow>& rows, const QString& label, const QString& fragment) {
  return std::any_of(rows.begin(), rows.end(), [&](const AboutUpdateDisplayRow& row) {
    return row.label == label && row.detail.contains(fragment);
  });
}

std::optional<QByteArray> readFileBytes(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    return std::nullopt;
  }
  return file.readAll();
}

bool writeInstallFolder(const QString& root, const QByteArray& version, int versionStatus) {
  const QString executable = QDir(root).filePath(QStringLiteral("bin/tandrel"));
  return writeFileAtomically("#!/bin/sh\nexit " + QByteArray::number(versionStatus) + "\n", executable) &&
         QFile::setPermissions(executable, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                               QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther) &&
         writeFileAtomically("Tandrel install folder\n",
                             QDir(root).filePath(QLatin1String(UpdateInstaller::kInstallMarker))) &&
         writeFileAtomically(version, installFolderVersionFile(root));
}

QString installFolderVersionFile(const QString& root) {
  return QDir(root).filePath(QStringLiteral("share/tandrel/version.txt"));
}

std::optional<QString> writeArtifact(const QString& path, const QByteArray& bytes) {
  if (!writeFileAtomically(bytes, path)) {
    return std::nullopt;
  }
  return UpdateVerifier::sha256Hex(path);
}

}  // namespace tandrel
