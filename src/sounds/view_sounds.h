#pragma once

// The sound side of one island view: the selected sound and its descriptions, the sound packages
// kept in step with the sounds folder, imports, assignments and removals, playback with the
// previews of the Sounds tab, and the event sounds. The user's choices live in the shared
// settings model; what is per view (the scan cache, the sounds playing, the "playing" key, the
// events already heard) lives here. Main thread only.

#include "base/result.h"
#include "platform/clock.h"
#include "platform/sound_output.h"
#include "sounds/event_sound_gate.h"
#include "sounds/sound_catalog.h"
#include "sounds/sound_packages.h"
#include "ui/settings_model.h"

#include <QColor>
#include <QDateTime>
#include <QObject>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace tandrel {

// Banner colours of the sound actions.
inline const QColor kSoundWarningColor{255, 187, 0};
inline const QColor kSoundSuccessColor{0, 214, 163};
inline const QColor kSoundFailureColor{255, 85, 85};

// The sound's display name, else its file's name without extension.
QString importedSoundTitle(const ImportedSound& sound);
const ImportedSound* importedSoundWithID(const std::vector<ImportedSound>& sounds, const QString& id);

// `id` when it names a preset or one of `sounds`, else the default sound.
QString normalizedSoundID(const QString& id, const std::vector<ImportedSound>& sounds);

// What the Sounds tab shows of the selected sound: an imported sound first, then a preset, else
// the default sound's texts.
struct SelectedSoundDescription {
  QString label;
  QColor accent;
  QString symbol;
  QString badge;
  QString detail;
  QString source;
};
SelectedSoundDescription describeSelectedSound(const QString& id, const std::vector<ImportedSound>& sounds);

class ViewSounds : public QObject {
  Q_OBJECT

 public:
  // What the view does for the sounds: show a banner (text, then colour; no colour keeps the
  // banner's current one), redraw, and re-check its animation timer (it runs while a preview
  // plays on the Sounds tab).
  struct ViewHooks {
    std::function<void(const QString& text, const std::optional<QColor>& color)> showBanner;
    std::function<void()> redraw;
    std::function<void()> evaluateAnimationTimer;
  };

  struct Environment {
    QString home;             // tandrelHomeURL() when the view was made
    QString resourcesFolder;  // resourcesDirectory()
  };

  static constexpr double kPlayingKeySeconds = 1.8;
  static constexpr double kRescanSeconds = 30.0;
  static constexpr double kEventSoundLimit = 8.0;

  ViewSounds(SettingsModel& settings, Clock& clock, SoundOutput& output, Environment environment, ViewHooks hooks,
             SharedEventSoundState& shared = SharedEventSoundState::shared());
  ~ViewSounds() override;

  // ---- The selected sound ----
  void normalizeSelectedSoundID();
  // Selects `id` (or the default when it names no sound), says so in the banner and saves.
  void selectSound(const QString& id);
  SelectedSoundDescription selectedSound() const;

  // ---- Packages ----
  // Rescans the sounds folder when its signature changed or 30 s have passed; true when the list
  // of imported sounds changed.
  bool refreshLocalSoundsFromCLI();
  // Forgets the scan, so that the next refresh rescans.
  void forgetLocalSoundScan();
  // The assignment pill: assigns imported sound `index` to a task type (packages only).
  bool assignImportedSound(int index, const QString& taskType);
  Result<ImportedSound> installSoundPackageFromDirectory(const QString& folder);
  Result<ImportedSound> installSoundPackageFromAudioFile(const QString& file);
  // The import row, after the user chose `path` (a package folder or an audio file).
  void importSound(const QString& path);
  // Removes the folder the package was read from (only a package, only inside the sounds folder).
  void deleteImportedSoundOnDisk(const ImportedSound& sound);
  // The delete button: removes the sound from the list and its package from disk, selects the
  // default sound when it was selected, says so and saves.
  void removeImportedSound(int index);

  // ---- Playback ----
  std::shared_ptr<Sound> nativeSound(const SoundPreset& preset);
  bool playRetainedSound(const std::shared_ptr<Sound>& sound, std::optional<double> maxDuration);
  void markSoundPlaying(const QString& key);
  bool isSoundPlaying(const QString& key) const;
  void playSoundPresetPreview(const QString& soundID, const std::optional<QString>& animationKey);
  void playImportedSound(const ImportedSound& sound, const std::optional<QString>& animationKey);
  void playSelectedSoundPreview();
  void playImportedSoundPreview(int index);
  // Seconds since the playing key was set, for the equaliser bars.
  double playingAnimationTime() const;
  // Stops and drops every sound and cancels the work scheduled for them (the view is going away).
  void stopAll();

  // ---- Event sounds ----
  void seedEventSounds(const std::vector<TandrelEvent>& events, qint64 revision);
  void playSoundsForNewEvents(const std::vector<TandrelEvent>& events, qint64 revision);
  void playConfiguredSound(const TandrelEvent& event);

  std::vector<std::shared_ptr<Sound>> activeSounds;
  std::optional<QString> playingSoundKey;
  double playingSoundAnimationStarted = 0;
  EventSoundGate eventSounds;
  std::optional<LocalSoundDiskSignature> cachedLocalSoundDiskSignature;
  QDateTime lastLocalSoundFullScanAt;

  static inline int localSoundScanCountForTests = 0;

 private:
  double mediaTime() const { return clock_.monotonicMs() / 1000.0; }
  const UserSettings& values() const { return settings_.values(); }
  void banner(const QString& text, const std::optional<QColor>& color);
  void redraw();
  ImportedSound importedSoundOf(const LocalSoundPackage& package, bool showAssign);
  void schedule(std::chrono::milliseconds delay, std::function<void()> work);

  SettingsModel& settings_;
  Clock& clock_;
  SoundOutput& output_;
  Environment environment_;
  ViewHooks hooks_;
  // The folder each package of the last scan (or install) was read from, by sound id.
  std::map<QString, QString> packageFolders_;
  // The releases and key clears not yet run; cancelled when the view goes, so none outlives it.
  std::vector<DelayedWork> pendingWork_;
};

}  // namespace tandrel
