#pragma once

// The user's settings: one model for the whole process, read by every island view, the
// controller and the desktop companion, and mirrored in the user defaults. A change made through
// the model is written at once and announced to everyone who reads it (`changed`), so no reader
// keeps a copy that could go stale and write an old value back.

#include "events/pet_preview_state.h"
#include "ui/overlay_settings.h"

#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace tandrel {

class UserDefaults;

inline constexpr char kDefaultPetID[] = "capybara";
inline constexpr char kDefaultSoundID[] = "moonlight-sonata";

// The companion size range; stored scales outside it are pulled in.
inline constexpr double kMinimumFloatingPetScale = 0.75;
inline constexpr double kMaximumFloatingPetScale = 1.6;
double clampedFloatingPetScale(double scale);

// One sound of the user's: a sound package from the sounds folder (id "cli:<package id>") or an
// audio file the user picked, remembered by its path.
struct ImportedSound {
  QString id;
  QString path;
  std::optional<QString> displayName;
  bool showAssign = false;

  bool operator==(const ImportedSound&) const = default;
};

// The id of an audio file remembered by its path: the same path gives the same id at every load,
// so a selected file stays selected.
QString importedSoundID(const QString& path);

// The persisted settings, with the values a new installation starts from.
struct UserSettings {
  QString selectedPetID = QString::fromLatin1(kDefaultPetID);
  bool showCapsuleMode = true;
  bool showInDockMode = false;  // a tray icon on this desktop
  bool desktopCompanionMode = false;
  CompanionDisplayMode companionDisplayMode = CompanionDisplayMode::bubble;
  // The state the desktop companion's pet shows and the Pets tab previews
  // ("desktopCompanionPetState").
  PetPreviewStateID previewState = PetPreviewStateID::running;
  double floatingPetScale = 1.0;
  bool reduceMotion = false;
  bool highContrast = false;
  bool muted = false;
  QString selectedSoundID = QString::fromLatin1(kDefaultSoundID);
  QSet<QString> deletedDefaultPetIDs;
  bool codexPetsDirectoryAuthorized = false;
  bool didRequestCodexPetsDirectoryAuthorization = false;
  QSet<QString> disabledToolIDs;
  QMap<QString, QString> toolModels;
  std::vector<ImportedSound> importedSounds;
  // Whether an agent that ends its turn waits for the user's reply; off, the waiting hook at the
  // end of a turn is answered "no decision" at once and the agent stops as it would on its own.
  bool holdFinishedTurns = false;

  bool operator==(const UserSettings&) const = default;
};

// The user-defaults keys, in the order they are read and written.
namespace settings_keys {
inline constexpr char kSelectedPetID[] = "selectedPetID";
inline constexpr char kShowCapsuleMode[] = "showCapsuleMode";
inline constexpr char kShowInDockMode[] = "showInDockMode";
inline constexpr char kDesktopCompanionMode[] = "desktopCompanionMode";
inline constexpr char kCompanionDisplayMode[] = "companionDisplayMode";
inline constexpr char kDesktopCompanionPetState[] = "desktopCompanionPetState";
inline constexpr char kFloatingPetScale[] = "floatingPetScale";
inline constexpr char kReduceMotion[] = "reduceMotion";
inline constexpr char kHighContrast[] = "highContrast";
inline constexpr char kMuted[] = "muted";
inline constexpr char kSelectedSoundID[] = "selectedSoundID";
inline constexpr char kDeletedDefaultPetIDs[] = "deletedDefaultPetIDs";
inline constexpr char kCodexPetsDirectoryAuthorized[] = "codexPetsDirectoryAuthorized";
inline constexpr char kDidRequestCodexPetsDirectoryAuthorization[] = "didRequestCodexPetsDirectoryAuthorization";
inline constexpr char kDisabledToolIDs[] = "disabledToolIDs";
inline constexpr char kToolModels[] = "toolModels";
inline constexpr char kImportedSounds[] = "importedSounds";
inline constexpr char kHoldFinishedTurns[] = "holdFinishedTurns";
}  // namespace settings_keys
const QStringList& settingsKeys();

// The tools whose model is filled in from the catalogue when none is stored, in order.
const QStringList& toolModelFillList();

// The fixed settings of the test environment: nothing comes from the user defaults; motion is
// reduced, the Codex pets folder counts as asked about, and as granted only when
// TANDREL_TEST_CODEX_PETS_AUTHORIZED is "1"; four tool models. The pet state stays as in
// `current`.
UserSettings testEnvironmentSettings(const UserSettings& current);

// Reads the stored settings over `current`. A value of the wrong type counts as absent: flags
// and texts that are absent keep the current value (the selected pet and sound go back to their
// defaults); an unknown companion mode or pet state keeps the current one; the scale is pulled
// into its range; a tool-model dictionary with a value that is not a text counts as empty, and
// the fill list completes it; imported sounds count only when every entry is a dictionary of
// texts, and an entry without a "path" or whose file has gone is dropped.
UserSettings loadUserSettings(const UserDefaults& defaults, const UserSettings& current,
                              const std::function<bool(const QString& path)>& fileExists);

// Writes every key in order. Sound packages ("cli:" ids) are found again at each scan and are not
// stored; the remembered files are stored by path.
void saveUserSettings(const UserSettings& settings, UserDefaults& defaults);

class SettingsModel : public QObject {
  Q_OBJECT

 public:
  // The process's model, over the standard user defaults.
  static SettingsModel& shared();

  // Loads at once. Outside the test environment the model follows its keys in `defaults`: a key
  // that someone else writes (the controller's start-up prompt, the companion's menu) is read
  // again, so that the model never holds an older value than the defaults.
  explicit SettingsModel(UserDefaults& defaults, QObject* parent = nullptr);

  const UserSettings& values() const { return values_; }

  // Reads the settings afresh (the fixed values in the test environment) and announces them.
  void load();

  // Changes the settings, writes them (not in the test environment) and announces the change.
  // `persist` false keeps the change in memory (fixture knobs).
  void change(const std::function<void(UserSettings&)>& edit, bool persist = true);

  // Writes every key as the model holds it (nothing in the test environment).
  void save();

  // The scale, pulled into 0.75...1.6, written and announced.
  void setFloatingPetScale(double scale);

  // Whether a file exists; tests replace it for imported sounds.
  std::function<bool(const QString& path)> fileExists;

 Q_SIGNALS:
  // The settings changed, through the model or because they were read again.
  void changed();
  // The settings were read from the defaults (or set to the test environment's values).
  void loaded();

 private:
  void defaultsChanged(const QString& key);

  UserDefaults& defaults_;
  UserSettings values_;
  bool writing_ = false;
};

}  // namespace tandrel
