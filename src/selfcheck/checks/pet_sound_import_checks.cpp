#include "selfcheck/checks/pet_sound_import_checks.h"

#include "base/result.h"
#include "island/tandrel_view.h"
#include "platform/user_defaults.h"
#include "selfcheck/fixture_builders.h"
#include "selfcheck/harness.h"
#include "ui/island_geometry.h"
#include "ui/settings_model.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <initializer_list>
#include <utility>

namespace tandrel {

namespace {

// Each file of `files` (a path under `tempRoot`, and its text) written in order, folders made as
// needed; the first failure.
Result<void> writeFixtureFiles(const QString& tempRoot, std::initializer_list<std::pair<const char*, QByteArray>> files) {
  for (const auto& [name, text] : files) {
    const QString path = scratchPath(tempRoot, QString::fromUtf8(name));
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
      return Result<void>::failure(QStringLiteral("cannot create the folder of ") + path);
    }
    const Result<void> written = text.isNull() ? writeTestSprite(path) : writeFileAtomically(text, path);
    if (!written) return written;
  }
  return Result<void>::success();
}

// The pets' folders are named apart from their manifests' ids: a package's id is its folder's name
// (the name its removal and a same-named shipped pet go by), never the id its manifest gives.
Result<void> writeHomes(const QString& tempRoot) {
  for (const char* home : {".codex", ".tandrel"}) {
    if (!freshScratchFolder(tempRoot, QString::fromLatin1(home))) {
      return Result<void>::failure(QStringLiteral("cannot empty ") + scratchPath(tempRoot, QString::fromLatin1(home)));
    }
  }
  return writeFixtureFiles(
      tempRoot,
      {{".codex/pets/capybara-from-codex/pet.json",
        R"({"id":"codex-capy","displayName":"Codex Capy","description":"Installed under Codex home","spritesheetPath":"spritesheet.webp"})"},
       {".codex/pets/capybara-from-codex/spritesheet.webp", QByteArray()},
       {".tandrel/pets/capybara-from-cli/pet.json",
        R"({"id":"cli-capy","displayName":"CLI Capy","description":"Installed from the command line","spritesheetPath":"spritesheet.webp"})"},
       {".tandrel/pets/capybara-from-cli/spritesheet.webp", QByteArray()},
       {".tandrel/sounds/done-chime/sound.json",
        R"({"id":"done-chime","displayName":"Done Chime","audioPath":"done.mp3","defaultAssign":"Done"})"},
       {".tandrel/sounds/done-chime/done.mp3", "audio"},
       {".tandrel/config/sounds.json",
        R"({"version":1,"assignments":{"Done":"done-chime"},"installed":[{"id":"done-chime","version":"0.1.0","source":"registry","installedAt":"2026-05-09T00:00:00Z"}]})"}});
}

bool hasPet(const std::vector<PetChoice>& pets, const QString& id, const QString& name,
            std::optional<PetSourceKind> kind = std::nullopt) {
  return std::any_of(pets.begin(), pets.end(), [&](const PetChoice& pet) {
    return pet.id == id && pet.name == name && (!kind || pet.sourceKind == *kind);
  });
}

// The "assignments" member of the assignment file as a map of texts; nothing when the file does
// not hold one.
std::optional<QJsonObject> savedAssignments(const QString& file) {
  QFile saved(file);
  if (!saved.open(QIODevice::ReadOnly)) return std::nullopt;
  const QJsonDocument document = QJsonDocument::fromJson(saved.readAll());
  const QJsonObject assignments = document.object().value(QStringLiteral("assignments")).toObject();
  if (!document.isObject() || assignments.isEmpty()) return std::nullopt;
  for (auto it = assignments.begin(); it != assignments.end(); ++it) {
    if (!it.value().isString()) return std::nullopt;
  }
  return assignments;
}

bool fileExists(const QString& folder, const char* name) {
  return QFileInfo(folder + QLatin1Char('/') + QString::fromLatin1(name)).exists();
}

}  // namespace

void runPetAndSoundImportChecks(SelfCheckFailures& failures, EventStore& store, const QString& tempRoot) {
  const auto check = [&](bool condition, const char* message) { failures.check(condition, QString::fromUtf8(message)); };
  const auto setUpFailed = [&](const QString& error) {
    failures.check(false, QStringLiteral("could not set up CLI pet/sound fixture: ") + error);
  };

  if (const Result<void> written = writeHomes(tempRoot); !written) return setUpFailed(written.error());
  const QString tandrelHome = scratchPath(tempRoot, QStringLiteral(".tandrel"));
  qputenv("CODEX_HOME", scratchPath(tempRoot, QStringLiteral(".codex")).toUtf8());
  qputenv("TANDREL_TEST_CODEX_PETS_AUTHORIZED", "1");
  qputenv("TANDREL_HOME", tandrelHome.toUtf8());
  UserDefaults defaults(scratchPath(tempRoot, QStringLiteral("pet-sound-import-defaults.json")));
  defaults.set(QString::fromLatin1(settings_keys::kCodexPetsDirectoryAuthorized), true);
  defaults.set(QString::fromLatin1(settings_keys::kDidRequestCodexPetsDirectoryAuthorization), true);
  SettingsModel settings(defaults);
  TandrelView view(overlayModeSize(OverlayMode::expanded).toSize(), store, settings);

  check(hasPet(view.petChoices, QStringLiteral("custom:capybara-from-codex"), QStringLiteral("Codex Capy"), PetSourceKind::codexPet),
        "app should scan ~/.codex/pets");
  check(hasPet(view.petChoices, QStringLiteral("custom:capybara-from-cli"), QStringLiteral("CLI Capy")),
        "app should scan ~/.tandrel/pets");
  const std::vector<ImportedSound>& sounds = view.settings().values().importedSounds;
  const auto doneChime =
      std::find_if(sounds.begin(), sounds.end(), [](const ImportedSound& sound) { return sound.id == u"cli:done-chime"; });
  check(doneChime != sounds.end(), "app should scan ~/.tandrel/sounds and assignment config");
  if (doneChime == sounds.end()) {
    check(false, "CLI sound fixture missing before reassignment check");
  } else {
    view.sounds().assignImportedSound(static_cast<int>(doneChime - sounds.begin()), QStringLiteral("Authorization"));
    const std::optional<QJsonObject> assignments = savedAssignments(tandrelHome + QStringLiteral("/config/sounds.json"));
    check(assignments && assignments->value(QStringLiteral("Authorization")).toString() == u"done-chime" &&
              !assignments->contains(QStringLiteral("Done")),
          "app should persist CLI sound reassignment to ~/.tandrel/config/sounds.json");
  }

  if (!freshScratchFolder(tempRoot, QStringLiteral("import-source-sound"))) {
    return setUpFailed(QStringLiteral("cannot empty ") + scratchPath(tempRoot, QStringLiteral("import-source-sound")));
  }
  if (const Result<void> written = writeFixtureFiles(
          tempRoot, {{"import-source-sound/sound.json",
                      R"({"id":"folder-chime","displayName":"Folder Chime","audioPath":"folder.mp3","defaultAssign":"Notifications"})"},
                     {"import-source-sound/folder.mp3", "audio"}});
      !written) {
    return setUpFailed(written.error());
  }
  const Result<ImportedSound> fromFolder =
      view.sounds().installSoundPackageFromDirectory(scratchPath(tempRoot, QStringLiteral("import-source-sound")));
  if (!fromFolder) return setUpFailed(fromFolder.error());
  check(fileExists(tandrelHome + QStringLiteral("/sounds/folder-chime"), "sound.json"),
        "sound directory import should install packages into ~/.tandrel/sounds");
  check(fromFolder->id == u"cli:folder-chime", "sound directory import should set correct CLI package id");

  if (const Result<void> written = writeFixtureFiles(tempRoot, {{"Standalone Cue.ogg", "ogg audio"}}); !written) {
    return setUpFailed(written.error());
  }
  const Result<ImportedSound> fromFile =
      view.sounds().installSoundPackageFromAudioFile(scratchPath(tempRoot, QStringLiteral("Standalone Cue.ogg")));
  if (!fromFile) return setUpFailed(fromFile.error());
  const QString cueFolder = tandrelHome + QStringLiteral("/sounds/standalone-cue");
  check(fileExists(cueFolder, "audio.ogg"), "sound audio-file import should copy ogg files into ~/.tandrel/sounds");
  check(fileExists(cueFolder, "sound.json"), "sound audio-file import should generate sound.json");
  check(fromFile->id == u"cli:standalone-cue", "sound audio-file import should create a safe CLI package id");
  view.prepareForTermination();
}

}  // namespace tandrel
