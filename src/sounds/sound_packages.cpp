#include "sounds/sound_packages.h"

#include "base/folder_copy.h"
#include "catalog/paths.h"
#include "hooks/hook_files.h"
#include "platform/private_folder.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <algorithm>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace tandrel {

namespace {

bool isLowerAlphanumeric(QChar c) {
  return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('0') && c <= QLatin1Char('9'));
}

// A path a manifest names, resolved against its package folder; only a path that stays inside the
// folder counts (compared after cleaning, as written: "../" steps are caught, links are not
// followed).
std::optional<QString> resolvedPackageFile(const QString& directory, const QString& path) {
  const QString folder = QDir::cleanPath(directory);
  const QString resolved =
      QDir::cleanPath(path.startsWith(QLatin1Char('/')) ? path : folder + QLatin1Char('/') + path);
  if (resolved != folder && !resolved.startsWith(folder + QLatin1Char('/'))) {
    return std::nullopt;
  }
  return resolved;
}

QString fileName(const QString& path) { return QFileInfo(path).fileName(); }

Result<void> privateFolder(const QString& folder) {
  if (auto error = makePrivateFolder(folder)) {
    return Result<void>::failure(
        QStringLiteral("Could not create %1: %2").arg(folder, errnoText(error->errorNumber)));
  }
  return Result<void>::success();
}

QByteArray prettyJson(const QJsonObject& object) {
  // QJsonObject keeps its keys sorted, so the text comes out with sorted keys.
  return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

}  // namespace

bool isSafePackageID(const QString& id) {
  if (id.isEmpty() || !isLowerAlphanumeric(id.front())) {
    return false;
  }
  return std::all_of(id.begin(), id.end(), [](QChar c) {
    return isLowerAlphanumeric(c) || c == QLatin1Char('.') || c == QLatin1Char('_') || c == QLatin1Char('-');
  });
}

QString soundsFolder(const QString& home) { return home + QStringLiteral("/sounds"); }

QString soundAssignmentsFile(const QString& home) { return home + QStringLiteral("/config/sounds.json"); }

std::optional<LocalSoundPackage> soundPackage(const QString& directory) {
  QFile manifest(directory + QStringLiteral("/sound.json"));
  if (!manifest.open(QIODevice::ReadOnly)) {
    return std::nullopt;
  }
  const QJsonDocument document = QJsonDocument::fromJson(manifest.readAll());
  if (!document.isObject()) {
    return std::nullopt;
  }
  const QJsonObject object = document.object();
  const auto audioPath = nonEmptyString(object.value(QStringLiteral("audioPath")));
  if (!audioPath) {
    return std::nullopt;
  }
  const QString id = nonEmptyString(object.value(QStringLiteral("id"))).value_or(fileName(QDir::cleanPath(directory)));
  if (!isSafePackageID(id)) {
    return std::nullopt;
  }
  const auto audio = resolvedPackageFile(directory, *audioPath);
  if (!audio || !QFileInfo::exists(*audio)) {
    return std::nullopt;
  }
  return LocalSoundPackage{id, *audio, nonEmptyString(object.value(QStringLiteral("displayName"))),
                           nonEmptyString(object.value(QStringLiteral("defaultAssign"))),
                           QDir::cleanPath(directory)};
}

std::vector<LocalSoundPackage> loadSoundPackages(const QString& home) {
  const QDir root(soundsFolder(home));
  // Sorted by name, so that of two folders claiming one id the same one wins at every scan.
  const QFileInfoList entries = root.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
  std::vector<LocalSoundPackage> packages;
  std::map<QString, size_t> indexByID;
  for (const QFileInfo& entry : entries) {
    if (entry.isSymLink() || !entry.isDir()) {
      continue;
    }
    auto package = soundPackage(entry.absoluteFilePath());
    if (!package) {
      continue;
    }
    const auto seen = indexByID.find(package->id);
    if (seen == indexByID.end()) {
      indexByID.emplace(package->id, packages.size());
      packages.push_back(std::move(*package));
    } else if (entry.fileName() == package->id) {
      packages[seen->second] = std::move(*package);
    }
  }
  QCollator collator;
  collator.setCaseSensitivity(Qt::CaseInsensitive);
  std::stable_sort(packages.begin(), packages.end(), [&](const LocalSoundPackage& a, const LocalSoundPackage& b) {
    return collator.compare(fileName(a.audioPath), fileName(b.audioPath)) < 0;
  });
  return packages;
}

LocalDiskMetadata localDiskMetadata(const QString& path) {
  QFileInfo info(path);
  info.setCaching(false);
  if (!info.exists()) {
    return {};
  }
  LocalDiskMetadata metadata{true, std::nullopt, std::nullopt};
  if (const QDateTime modified = info.lastModified(); modified.isValid()) {
    metadata.modifiedAt = modified;
  }
  metadata.fileSize = info.size();
  return metadata;
}

LocalSoundDiskSignature localSoundDiskSignature(const QString& home) {
  return {localDiskMetadata(soundsFolder(home)), localDiskMetadata(soundAssignmentsFile(home))};
}

const QStringList& soundTaskTypes() {
  static const QStringList types = {QStringLiteral("Authorization"), QStringLiteral("Done"),
                                    QStringLiteral("Notifications"), QStringLiteral("Pet sounds")};
  return types;
}

Result<void> saveTandrelSoundAssignment(const QString& home, const QString& packageID, const QString& taskType) {
  const QString path = soundAssignmentsFile(home);
  QJsonObject root{{QStringLiteral("version"), 1},
                   {QStringLiteral("assignments"), QJsonObject()},
                   {QStringLiteral("installed"), QJsonArray()}};
  auto existing = readExistingFile(path);
  if (!existing) {
    return Result<void>::failure(existing.error());
  }
  if (existing->exists) {
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(existing->bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
      return Result<void>::failure(QStringLiteral("%1 is not valid JSON (%2 at offset %3)")
                                       .arg(path, parseError.errorString())
                                       .arg(parseError.offset));
    }
    // Anything but an object would be lost on rewrite: leave such a file to whoever wrote it.
    if (!document.isObject()) {
      return Result<void>::failure(QStringLiteral("%1 does not hold a JSON object").arg(path));
    }
    root = document.object();
  }
  const QJsonValue current = root.value(QStringLiteral("assignments"));
  if (!current.isUndefined() && !current.isObject()) {
    return Result<void>::failure(QStringLiteral("%1: \"assignments\" is not an object").arg(path));
  }
  QJsonObject assignments = current.toObject();
  for (const QString& key : assignments.keys()) {
    if (assignments.value(key) == QJsonValue(packageID)) {
      assignments.remove(key);
    }
  }
  assignments.insert(taskType, packageID);
  if (!root.contains(QStringLiteral("version"))) {
    root.insert(QStringLiteral("version"), 1);
  }
  root.insert(QStringLiteral("assignments"), assignments);
  if (auto made = privateFolder(home + QStringLiteral("/config")); !made) {
    return made;
  }
  return writeFileAtomically(path, prettyJson(root));
}

QString soundPackageID(const QString& audioFile) {
  const QString stem = QFileInfo(audioFile).completeBaseName().toLower();
  QString id;
  for (const QChar c : stem) {
    if (isLowerAlphanumeric(c)) {
      id.append(c);
    } else if (c == QLatin1Char(' ') || c == QLatin1Char('.') || c == QLatin1Char('_') || c == QLatin1Char('-')) {
      if (!id.endsWith(QLatin1Char('-'))) {
        id.append(QLatin1Char('-'));
      }
    }
  }
  auto trimmable = [](QChar c) { return c == QLatin1Char('.') || c == QLatin1Char('_') || c == QLatin1Char('-'); };
  while (!id.isEmpty() && trimmable(id.front())) id.remove(0, 1);
  while (!id.isEmpty() && trimmable(id.back())) id.chop(1);
  return isSafePackageID(id) ? id : QStringLiteral("sound");
}

const QStringList& acceptedSoundExtensions() {
  // What libsndfile decodes of the formats users import; m4a and aac it cannot read.
  static const QStringList extensions = {QStringLiteral("mp3"), QStringLiteral("wav"), QStringLiteral("aiff"),
                                         QStringLiteral("caf"), QStringLiteral("ogg")};
  return extensions;
}

Result<LocalSoundPackage> installSoundPackageFromDirectory(const QString& home, const QString& source) {
  const auto package = soundPackage(source);
  if (!package) {
    return Result<LocalSoundPackage>::failure(QString::fromUtf8(kNotASoundPackageMessage));
  }
  const QString root = soundsFolder(home);
  if (auto made = privateFolder(root); !made) {
    return Result<LocalSoundPackage>::failure(made.error());
  }
  const QString target = root + QLatin1Char('/') + package->id;
  if (realPathOf(source) != realPathOf(target)) {
    if (auto copied = replaceFolderWithCopy(source, target); !copied) {
      return Result<LocalSoundPackage>::failure(copied.error());
    }
  }
  return soundPackage(target).value_or(*package);
}

Result<LocalSoundPackage> installSoundPackageFromAudioFile(const QString& home, const QString& audioFile) {
  const QFileInfo info(audioFile);
  const QString extension = info.suffix().toLower();
  if (extension == QLatin1String("m4a") || extension == QLatin1String("aac")) {
    return Result<LocalSoundPackage>::failure(QString::fromUtf8(kUnplayableAudioMessage));
  }
  if (!acceptedSoundExtensions().contains(extension)) {
    return Result<LocalSoundPackage>::failure(QString::fromUtf8(kUnacceptedAudioMessage));
  }
  if (!info.exists()) {
    return Result<LocalSoundPackage>::failure(QString::fromUtf8(kAudioNotFoundMessage));
  }
  const QString id = soundPackageID(audioFile);
  const QString root = soundsFolder(home);
  if (auto made = privateFolder(root); !made) {
    return Result<LocalSoundPackage>::failure(made.error());
  }
  const QString folder = root + QLatin1Char('/') + id;
  const QString audioName = QStringLiteral("audio.") + extension;
  const QString displayName = info.completeBaseName();
  auto staging = makeStagingFolder(folder);
  if (!staging) {
    return Result<LocalSoundPackage>::failure(staging.error());
  }
  const QJsonObject manifest{{QStringLiteral("displayName"), displayName},
                             {QStringLiteral("description"), QStringLiteral("Imported local sound")},
                             {QStringLiteral("audioPath"), audioName}};
  Result<void> built = Result<void>::success();
  if (QFile source(audioFile); !source.copy(*staging + QLatin1Char('/') + audioName)) {
    built = Result<void>::failure(QStringLiteral("Could not copy %1: %2").arg(audioFile, source.errorString()));
  } else {
    built = writeFileAtomically(*staging + QStringLiteral("/sound.json"), prettyJson(manifest));
  }
  if (built) {
    built = moveFolderIntoPlace(*staging, folder);
  }
  if (!built) {
    removeTree(*staging);
    return Result<LocalSoundPackage>::failure(built.error());
  }
  return LocalSoundPackage{id, folder + QLatin1Char('/') + audioName, displayName, std::nullopt, folder};
}

bool deleteSoundPackageFolder(const QString& home, const QString& packageFolder) {
  struct stat info {};
  if (packageFolder.isEmpty() || ::lstat(QFile::encodeName(packageFolder).constData(), &info) != 0 ||
      !S_ISDIR(info.st_mode)) {
    return false;
  }
  const QString root = realPathOf(soundsFolder(home));
  if (!realPathOf(packageFolder).startsWith(root + QLatin1Char('/'))) {
    return false;
  }
  return removeTree(packageFolder);
}

}  // namespace tandrel
