#include "sounds/view_sounds.h"

#include "attention/event_reminder_policy.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace tandrel {

namespace {

QString fileNameOf(const QString& path) { return QFileInfo(path).fileName(); }

const QColor kImportedAccent{0, 214, 163};
const QColor kDefaultAccent{143, 216, 255};

QString defaultSoundID() { return QString::fromLatin1(kDefaultSoundID); }

bool sameList(const std::vector<ImportedSound>& a, const std::vector<ImportedSound>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](const ImportedSound& x, const ImportedSound& y) { return x.id == y.id && x.path == y.path; });
}

}  // namespace

QString importedSoundTitle(const ImportedSound& sound) {
  if (sound.displayName && !sound.displayName->isEmpty()) {
    return *sound.displayName;
  }
  return QFileInfo(sound.path).completeBaseName();
}

const ImportedSound* importedSoundWithID(const std::vector<ImportedSound>& sounds, const QString& id) {
  const auto found = std::find_if(sounds.begin(), sounds.end(), [&](const ImportedSound& s) { return s.id == id; });
  return found == sounds.end() ? nullptr : &*found;
}

QString normalizedSoundID(const QString& id, const std::vector<ImportedSound>& sounds) {
  return builtInSoundPreset(id) || importedSoundWithID(sounds, id) ? id : defaultSoundID();
}

SelectedSoundDescription describeSelectedSound(const QString& id, const std::vector<ImportedSound>& sounds) {
  if (const ImportedSound* imported = importedSoundWithID(sounds, id)) {
    return {importedSoundTitle(*imported),
            kImportedAccent,
            QStringLiteral("music.note"),
            QStringLiteral("Custom"),
            fileNameOf(imported->path),
            imported->id.startsWith(QLatin1String("cli:")) ? QStringLiteral("~/.tandrel/sounds")
                                                          : QStringLiteral("Imported sound package")};
  }
  if (const SoundPreset* preset = builtInSoundPreset(id)) {
    QString badge = QStringLiteral("Built-in");
    for (const SoundCategory& category : soundCategories()) {
      if (std::any_of(category.sounds.begin(), category.sounds.end(), [&](const SoundPreset& p) { return p.id == id; })) {
        badge = category.label;
        break;
      }
    }
    return {preset->label, preset->accent, preset->symbol, badge, preset->detail, preset->source};
  }
  const SoundPreset* fallback = builtInSoundPreset(defaultSoundID());
  return {fallback ? fallback->label : QStringLiteral("Moonlight Sonata"),
          kDefaultAccent,
          QStringLiteral("music.note"),
          QStringLiteral("Built-in"),
          fallback ? fallback->detail : QStringLiteral("More audible dramatic piano swell"),
          fallback ? fallback->source : QString()};
}

ViewSounds::ViewSounds(SettingsModel& settings, Clock& clock, SoundOutput& output, Environment environment,
                       ViewHooks hooks, SharedEventSoundState& shared)
    : eventSounds(shared),
      settings_(settings),
      clock_(clock),
      output_(output),
      environment_(std::move(environment)),
      hooks_(std::move(hooks)) {
  // Settings read afresh hold only the remembered files: find the packages again at once.
  connect(&settings_, &SettingsModel::loaded, this, [this] {
    forgetLocalSoundScan();
    refreshLocalSoundsFromCLI();
  });
}

ViewSounds::~ViewSounds() { stopAll(); }

void ViewSounds::banner(const QString& text, const std::optional<QColor>& color) {
  if (hooks_.showBanner) {
    hooks_.showBanner(text, color);
  }
}

void ViewSounds::redraw() {
  if (hooks_.redraw) {
    hooks_.redraw();
  }
}

// ---- The selected sound ----

void ViewSounds::normalizeSelectedSoundID() {
  const QString normalized = normalizedSoundID(values().selectedSoundID, values().importedSounds);
  if (normalized != values().selectedSoundID) {
    settings_.change([&](UserSettings& s) { s.selectedSoundID = normalized; }, false);
  }
}

void ViewSounds::selectSound(const QString& id) {
  const QString normalized = normalizedSoundID(id, values().importedSounds);
  settings_.change([&](UserSettings& s) { s.selectedSoundID = normalized; });
  const SelectedSoundDescription selected = selectedSound();
  banner(selected.label + QStringLiteral(" selected"), selected.accent);
  redraw();
}

SelectedSoundDescription ViewSounds::selectedSound() const {
  return describeSelectedSound(values().selectedSoundID, values().importedSounds);
}

// ---- Packages ----

ImportedSound ViewSounds::importedSoundOf(const LocalSoundPackage& package, bool showAssign) {
  const QString id = QStringLiteral("cli:") + package.id;
  packageFolders_[id] = package.folder;
  return ImportedSound{id, package.audioPath, package.displayName, showAssign};
}

bool ViewSounds::refreshLocalSoundsFromCLI() {
  const QDateTime now = clock_.now();
  const LocalSoundDiskSignature signature = localSoundDiskSignature(environment_.home);
  if (cachedLocalSoundDiskSignature == signature && lastLocalSoundFullScanAt.isValid() &&
      lastLocalSoundFullScanAt.msecsTo(now) < static_cast<qint64>(kRescanSeconds * 1000)) {
    return false;
  }
  ++localSoundScanCountForTests;
  packageFolders_.clear();
  std::vector<ImportedSound> sounds;
  std::vector<LocalSoundPackage> packages = loadSoundPackages(environment_.home);
  for (const LocalSoundPackage& package : packages) {
    sounds.push_back(importedSoundOf(package, false));
  }
  const size_t loadedCount = sounds.size();
  for (const ImportedSound& sound : values().importedSounds) {
    const bool loaded = std::any_of(sounds.begin(), sounds.begin() + static_cast<std::ptrdiff_t>(loadedCount),
                                    [&](const ImportedSound& s) { return s.id == sound.id; });
    if (!sound.id.startsWith(QLatin1String("cli:")) && !loaded) {
      sounds.push_back(sound);
    }
  }
  const bool changed = !sameList(sounds, values().importedSounds);
  if (sounds != values().importedSounds) {
    settings_.change([&](UserSettings& s) { s.importedSounds = std::move(sounds); }, false);
  }
  normalizeSelectedSoundID();
  cachedLocalSoundDiskSignature = localSoundDiskSignature(environment_.home);
  lastLocalSoundFullScanAt = now;
  return changed;
}

void ViewSounds::forgetLocalSoundScan() {
  cachedLocalSoundDiskSignature.reset();
  lastLocalSoundFullScanAt = QDateTime();
}

bool ViewSounds::assignImportedSound(int index, const QString& taskType) {
  const auto& sounds = values().importedSounds;
  if (index < 0 || index >= static_cast<int>(sounds.size()) || !soundTaskTypes().contains(taskType)) {
    return false;
  }
  const QString id = sounds[static_cast<size_t>(index)].id;
  if (id.startsWith(QLatin1String("cli:"))) {
    if (auto saved = saveTandrelSoundAssignment(environment_.home, id.mid(4), taskType); !saved) {
      banner(QStringLiteral("Could not assign sound: ") + saved.error(), kSoundFailureColor);
      redraw();
      return false;
    }
    forgetLocalSoundScan();
  }
  settings_.change([&](UserSettings& s) {
    if (index < static_cast<int>(s.importedSounds.size())) {
      s.importedSounds[static_cast<size_t>(index)].showAssign = false;
    }
  });
  banner(QStringLiteral("Assigned sound to ") + taskType, kSoundSuccessColor);
  redraw();
  return true;
}

Result<ImportedSound> ViewSounds::installSoundPackageFromDirectory(const QString& folder) {
  auto installed = tandrel::installSoundPackageFromDirectory(environment_.home, folder);
  if (!installed) {
    return Result<ImportedSound>::failure(installed.error());
  }
  return importedSoundOf(*installed, true);
}

Result<ImportedSound> ViewSounds::installSoundPackageFromAudioFile(const QString& file) {
  auto installed = tandrel::installSoundPackageFromAudioFile(environment_.home, file);
  if (!installed) {
    return Result<ImportedSound>::failure(installed.error());
  }
  return importedSoundOf(*installed, false);
}

void ViewSounds::importSound(const QString& path) {
  const auto installed = QFileInfo(path).isDir() ? installSoundPackageFromDirectory(path)
                                                 : installSoundPackageFromAudioFile(path);
  if (!installed) {
    banner(QStringLiteral("Sound import failed: ") + installed.error(), kSoundFailureColor);
    redraw();
    return;
  }
  forgetLocalSoundScan();
  refreshLocalSoundsFromCLI();
  const QString id = installed->id;
  settings_.change([&](UserSettings& s) {
    for (ImportedSound& sound : s.importedSounds) {
      if (sound.id == id) {
        sound.showAssign = false;
      }
    }
    s.selectedSoundID = id;
  });
  banner(QStringLiteral("Selected ") + fileNameOf(path), kSoundSuccessColor);
  redraw();
}

void ViewSounds::deleteImportedSoundOnDisk(const ImportedSound& sound) {
  if (!sound.id.startsWith(QLatin1String("cli:")) || sound.id.size() <= 4) {
    return;
  }
  // The folder the package was found in; a package this view never read is left alone.
  const auto folder = packageFolders_.find(sound.id);
  if (folder == packageFolders_.end()) {
    return;
  }
  deleteSoundPackageFolder(environment_.home, folder->second);
  packageFolders_.erase(folder);
}

void ViewSounds::removeImportedSound(int index) {
  if (index < 0 || index >= static_cast<int>(values().importedSounds.size())) {
    return;
  }
  const ImportedSound sound = values().importedSounds[static_cast<size_t>(index)];
  deleteImportedSoundOnDisk(sound);
  forgetLocalSoundScan();
  settings_.change([&](UserSettings& s) {
    s.importedSounds.erase(s.importedSounds.begin() + index);
    if (s.selectedSoundID == sound.id) {
      s.selectedSoundID = defaultSoundID();
    }
  });
  const QString name = sound.displayName && !sound.displayName->isEmpty() ? *sound.displayName
                                                                          : QFileInfo(sound.path).completeBaseName();
  banner(QStringLiteral("Removed ") + name, kSoundWarningColor);
  redraw();
}

// ---- Playback ----

std::shared_ptr<Sound> ViewSounds::nativeSound(const SoundPreset& preset) {
  const auto path = bundledSoundURL(preset, environment_.resourcesFolder);
  if (!path) {
    return nullptr;
  }
  auto sound = output_.open(*path);
  if (sound && preset.previewStart > 0) {
    const double duration = sound->duration();
    sound->setCurrentTime(std::isfinite(duration) && duration > 0
                              ? std::min(std::max(duration - 0.2, 0.0), preset.previewStart)
                              : preset.previewStart);
  }
  return sound;
}

bool ViewSounds::playRetainedSound(const std::shared_ptr<Sound>& sound, std::optional<double> maxDuration) {
  if (values().muted || !sound) {
    return false;
  }
  activeSounds.push_back(sound);
  auto release = [this, raw = sound.get()] {
    std::erase_if(activeSounds, [raw](const std::shared_ptr<Sound>& s) { return s.get() == raw; });
  };
  if (!sound->play()) {
    release();
    return false;
  }
  const double duration = sound->duration();
  double delay = maxDuration.value_or(30.0);
  if (std::isfinite(duration) && duration > 0) {
    const double remaining = std::max(duration - sound->currentTime(), 0.3);
    delay = maxDuration ? std::min(remaining, *maxDuration) : remaining;
  }
  const auto delayMs = std::chrono::milliseconds(std::llround((delay + 0.25) * 1000));
  schedule(delayMs, [weakSound = std::weak_ptr<Sound>(sound), cutOff = maxDuration.has_value(), release] {
    if (auto playing = weakSound.lock(); playing && cutOff) {
      playing->stop();
    }
    release();
  });
  return true;
}

void ViewSounds::markSoundPlaying(const QString& key) {
  playingSoundKey = key;
  playingSoundAnimationStarted = mediaTime();
  redraw();
  if (hooks_.evaluateAnimationTimer) {
    hooks_.evaluateAnimationTimer();
  }
  schedule(std::chrono::milliseconds(static_cast<int>(kPlayingKeySeconds * 1000)),
           [this, key] {
             if (playingSoundKey != key) {
               return;
             }
             playingSoundKey.reset();
             redraw();
             if (hooks_.evaluateAnimationTimer) {
               hooks_.evaluateAnimationTimer();
             }
           });
}

bool ViewSounds::isSoundPlaying(const QString& key) const {
  return playingSoundKey == key && playingAnimationTime() < kPlayingKeySeconds;
}

double ViewSounds::playingAnimationTime() const { return mediaTime() - playingSoundAnimationStarted; }

void ViewSounds::playSoundPresetPreview(const QString& soundID, const std::optional<QString>& animationKey) {
  if (values().muted) {
    banner(QStringLiteral("Sound is muted"), std::nullopt);
    return;
  }
  const SoundPreset* preset = builtInSoundPreset(soundID);
  if (!preset) {
    banner(QStringLiteral("Could not find sound"), kSoundWarningColor);
    redraw();
    return;
  }
  const auto sound = nativeSound(*preset);
  if (!sound) {
    banner(QStringLiteral("Could not load ") + preset->label, kSoundWarningColor);
    redraw();
    return;
  }
  if (!playRetainedSound(sound, preset->previewDuration)) {
    banner(QStringLiteral("Could not play ") + preset->label, kSoundWarningColor);
    redraw();
    return;
  }
  markSoundPlaying(animationKey.value_or(QStringLiteral("preset:") + preset->id));
  banner(QStringLiteral("Playing ") + preset->label, preset->accent);
  redraw();
}

void ViewSounds::playImportedSound(const ImportedSound& imported, const std::optional<QString>& animationKey) {
  if (values().muted) {
    banner(QStringLiteral("Sound is muted"), kSoundWarningColor);
    redraw();
    return;
  }
  const QString name = fileNameOf(imported.path);
  const auto sound = output_.open(imported.path);
  if (!sound) {
    banner(QStringLiteral("Could not load ") + name, kSoundWarningColor);
    redraw();
    return;
  }
  if (!playRetainedSound(sound, std::nullopt)) {
    banner(QStringLiteral("Could not play ") + name, kSoundWarningColor);
    redraw();
    return;
  }
  if (animationKey) {
    markSoundPlaying(*animationKey);
  }
  redraw();
}

void ViewSounds::playSelectedSoundPreview() {
  if (values().muted) {
    banner(QStringLiteral("Sound is muted"), kSoundWarningColor);
    redraw();
    return;
  }
  const QString id = values().selectedSoundID;
  const QString key = QStringLiteral("selected:") + id;
  if (const ImportedSound* imported = importedSoundWithID(values().importedSounds, id)) {
    const ImportedSound copy = *imported;
    playImportedSound(copy, key);
  } else {
    playSoundPresetPreview(id, key);
  }
}

void ViewSounds::playImportedSoundPreview(int index) {
  if (values().muted) {
    banner(QStringLiteral("Sound is muted"), kSoundWarningColor);
    redraw();
    return;
  }
  if (index >= 0 && index < static_cast<int>(values().importedSounds.size())) {
    const ImportedSound sound = values().importedSounds[static_cast<size_t>(index)];
    playImportedSound(sound, QStringLiteral("imported:") + sound.id);
  }
}

void ViewSounds::schedule(std::chrono::milliseconds delay, std::function<void()> work) {
  std::erase_if(pendingWork_, [](const DelayedWork& w) { return !w.isPending(); });
  pendingWork_.push_back(clock_.schedule(delay, std::move(work)));
}

void ViewSounds::stopAll() {
  for (DelayedWork& work : pendingWork_) {
    work.cancel();
  }
  pendingWork_.clear();
  for (const auto& sound : activeSounds) {
    sound->stop();
  }
  activeSounds.clear();
}

// ---- Event sounds ----

void ViewSounds::seedEventSounds(const std::vector<TandrelEvent>& events, qint64 revision) {
  eventSounds.seed(events, revision);
}

void ViewSounds::playSoundsForNewEvents(const std::vector<TandrelEvent>& events, qint64 revision) {
  if (const auto candidate = eventSounds.eventToSound(events, revision, mediaTime())) {
    playConfiguredSound(*candidate);
  }
}

void ViewSounds::playConfiguredSound(const TandrelEvent& event) {
  if (values().muted) {
    return;
  }
  const EventSignificance significance = EventClassifier::classify(event);
  if (significance != EventSignificance::needsUser && significance != EventSignificance::completed) {
    return;
  }
  const QString id = values().selectedSoundID;
  if (const ImportedSound* imported = importedSoundWithID(values().importedSounds, id)) {
    if (playRetainedSound(output_.open(imported->path), kEventSoundLimit)) {
      return;
    }
  }
  const SoundPreset* preset = builtInSoundPreset(id);
  if (!preset) {
    return;
  }
  if (const auto sound = nativeSound(*preset)) {
    playRetainedSound(sound, preset->previewDuration);
  }
}

}  // namespace tandrel
