#pragma once

// Sound packages: folders <home>/sounds/<package id>/ holding "sound.json" and one audio file,
// installed by the command-line companion or imported from the Sounds tab, and the assignment
// file <home>/config/sounds.json that maps task types to packages for the command-line side.
// <home> is the app's home folder (tandrelHomeURL()). Everything here runs on the main thread.

#include "base/result.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace tandrel {

// A package id: not empty, a lower-case ASCII letter or digit first, then only such letters,
// digits, ".", "_" and "-".
bool isSafePackageID(const QString& id);

struct LocalSoundPackage {
  QString id;
  QString audioPath;
  std::optional<QString> displayName;
  std::optional<QString> defaultAssign;  // a task type the installer suggests; only kept
  // The folder the package was read from (its name need not be the id).
  QString folder;

  bool operator==(const LocalSoundPackage&) const = default;
};

QString soundsFolder(const QString& home);            // <home>/sounds
QString soundAssignmentsFile(const QString& home);    // <home>/config/sounds.json

// Reads one package folder: "sound.json" must be a JSON object with an "audioPath" naming a file
// inside the folder (a relative path, or an absolute one that lies inside); "id" (else the
// folder's name) must be a safe id. Nothing for anything else.
std::optional<LocalSoundPackage> soundPackage(const QString& directory);

// The valid packages of the sounds folder (its real subfolders; hidden entries and links are
// skipped), sorted by the audio file's name, case-insensitively in the user's language. Two
// folders claiming one id give one package: the folder named like the id, else the first by name.
// Nothing when the folder cannot be listed.
std::vector<LocalSoundPackage> loadSoundPackages(const QString& home);

// Whether a file or folder exists, with its modification time and size.
struct LocalDiskMetadata {
  bool exists = false;
  std::optional<QDateTime> modifiedAt;
  std::optional<qint64> fileSize;

  bool operator==(const LocalDiskMetadata&) const = default;
};
LocalDiskMetadata localDiskMetadata(const QString& path);

// What a rescan is keyed on: the sounds folder (whose time changes when a package folder is
// added, removed or renamed) and the assignment file.
struct LocalSoundDiskSignature {
  LocalDiskMetadata soundRoot;
  LocalDiskMetadata assignmentsFile;

  bool operator==(const LocalSoundDiskSignature&) const = default;
};
LocalSoundDiskSignature localSoundDiskSignature(const QString& home);

// "Authorization", "Done", "Notifications", "Pet sounds": the task types a package can be
// assigned to.
const QStringList& soundTaskTypes();

// Assigns the package `packageID` to `taskType` in the assignment file, taking it away from any
// other task type. Every other key of the file, and entries of "assignments" that are not texts,
// are kept; "version" is added as 1 when absent and "installed" as an empty list when the file is
// new. A file that is not a JSON object, or whose "assignments" is not an object, is refused and
// left as it is. Written pretty-printed with sorted keys, atomically.
Result<void> saveTandrelSoundAssignment(const QString& home, const QString& packageID, const QString& taskType);

// The package id for a bare audio file: its lower-cased name without extension, letters and
// digits kept, runs of spaces, ".", "_" and "-" as one "-", everything else dropped, trimmed of
// ".", "_" and "-"; "sound" when nothing safe is left ("Standalone Cue.ogg" gives
// "standalone-cue").
QString soundPackageID(const QString& audioFile);

// Audio the sound layer can play, by lower-cased extension.
const QStringList& acceptedSoundExtensions();

// The messages of a failed import.
inline constexpr char kNotASoundPackageMessage[] = "Choose a folder containing sound.json and an audio file";
inline constexpr char kUnacceptedAudioMessage[] = "Choose an mp3, wav, aiff, caf, or ogg audio file";
inline constexpr char kUnplayableAudioMessage[] =
    "m4a and aac audio cannot be played on this platform; choose an mp3, wav, aiff, caf, or ogg audio file";
inline constexpr char kAudioNotFoundMessage[] = "Audio file not found";

// Installs a package folder as <home>/sounds/<package id>. A folder that already is that package
// (the same real path) stays as it is. Otherwise the copy is built beside the target and renamed
// over it, so the old package survives a failed copy; a source inside the target, or a target
// inside the source, is refused. Returns the installed package.
Result<LocalSoundPackage> installSoundPackageFromDirectory(const QString& home, const QString& source);

// Makes a package of one audio file: <home>/sounds/<soundPackageID>/audio.<ext> and a
// "sound.json" with "displayName" (the file's name without extension), "description" "Imported
// local sound" and "audioPath". A package with the same id is replaced (the same way as above, so
// a source inside it survives).
Result<LocalSoundPackage> installSoundPackageFromAudioFile(const QString& home, const QString& audioFile);

// Removes the folder a package was read from, only when it is a real folder (not a link) whose
// real path lies inside the real sounds folder; false when nothing was removed.
bool deleteSoundPackageFolder(const QString& home, const QString& packageFolder);

}  // namespace tandrel
