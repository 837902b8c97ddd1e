#pragma once

// The built-in sounds: nine presets in three categories, whose audio files ship among the app's
// resources (resources/Sounds, rendered by tools/sound_presets).

#include <QColor>
#include <QString>

#include <optional>
#include <vector>

namespace tandrel {

struct SoundPreset {
  QString id;      // stored as the selected sound
  QString label;
  QString era;     // short tag: licence or style
  QString detail;
  QString source;  // credit line
  QString symbol;  // icon name for drawSymbol
  QColor accent;
  // A desktop sound of similar character; playback never uses it.
  QString systemSoundName;
  // The audio file below the resources folder.
  std::optional<QString> bundledAudioPath;
  double previewStart = 0;  // seconds into the file where playing starts
  // The longest a play of this sound lasts, in seconds.
  std::optional<double> previewDuration;
};

struct SoundCategory {
  QString id;
  QString label;
  QString detail;
  std::vector<SoundPreset> sounds;
};

// The three categories, "game", "piano-classics" and "focus", in that order.
const std::vector<SoundCategory>& soundCategories();
// Every preset, categories in order and presets in order within each ("voxel-confirm" first,
// "boarding-ping" last).
const std::vector<SoundPreset>& allSoundPresets();

// The first preset whose id equals `id` exactly; nothing for any other text.
const SoundPreset* builtInSoundPreset(const QString& id);

// The preset's audio file below `resourcesFolder` (resourcesDirectory() in the app), only when
// the preset names one and a file exists there.
std::optional<QString> bundledSoundURL(const SoundPreset& preset, const QString& resourcesFolder);

}  // namespace tandrel
