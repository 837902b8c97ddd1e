#include "selfcheck/checks/sound_preset_checks.h"

#include "catalog/paths.h"
#include "platform/sound_output.h"
#include "sounds/sound_catalog.h"

#include <QStringList>

#include <cmath>
#include <memory>
#include <optional>

namespace tandrel {

namespace {

// The length of the preset's audio file as the app's decoder reads it; nothing when the file is
// not among the resources or does not decode.
std::optional<double> decodedSeconds(const SoundPreset& preset) {
  const std::optional<QString> file = bundledSoundURL(preset, resourcesDirectory());
  if (!file) return std::nullopt;
  const std::shared_ptr<Sound> sound = SoundOutput::system().open(*file);
  if (!sound || sound->duration() <= 0) return std::nullopt;
  return sound->duration();
}

}  // namespace

void runBuiltInSoundPresetChecks(SelfCheckFailures& failures) {
  const struct {
    const char* id;
    const char* missing;
    const char* excerpt;
    bool checksResources;
  } pianoPresets[] = {
      {"moonlight-sonata", "moonlight sound preset missing",
       "app should play the clipped Moonlight 3-second excerpt without runtime seeking", true},
      {"lumen-aria", "lumen aria sound preset missing",
       "app should play the clipped Lumen Aria 3-second excerpt without runtime seeking", false},
      {"turkish-march", "turkish march sound preset missing",
       "app should play the clipped Turkish March 3-second opening excerpt without runtime seeking", false},
  };
  for (const auto& piano : pianoPresets) {
    const SoundPreset* preset = builtInSoundPreset(QString::fromLatin1(piano.id));
    if (preset == nullptr) {
      failures.check(false, QString::fromUtf8(piano.missing));
      continue;
    }
    const std::optional<double> seconds = decodedSeconds(*preset);
    if (piano.checksResources) {
      failures.check(seconds.has_value(), QStringLiteral("app should bundle piano classic sound resources"));
    }
    // Clipped in the file: played from its start for its whole length of three seconds.
    failures.check(preset->previewStart == 0 && preset->previewDuration == 3.0 && seconds &&
                       std::abs(*seconds - 3.0) <= 0.05,
                   QString::fromUtf8(piano.excerpt));
  }

  QStringList missing;
  for (const SoundPreset& preset : allSoundPresets()) {
    if (!decodedSeconds(preset)) missing << preset.id;
  }
  failures.check(missing.isEmpty(),
                 QStringLiteral("app should bundle every built-in sound preset, missing: ") + missing.join(QStringLiteral(", ")));
}

}  // namespace tandrel
