#include "sounds/sound_catalog.h"

#include <QFileInfo>

namespace tandrel {

namespace {

SoundPreset preset(const char* id, const char* label, const char* era, const char* detail, const char* source,
                   const char* symbol, QColor accent, const char* systemSoundName, const char* audioPath,
                   double previewDuration) {
  return SoundPreset{QString::fromUtf8(id),
                     QString::fromUtf8(label),
                     QString::fromUtf8(era),
                     QString::fromUtf8(detail),
                     QString::fromUtf8(source),
                     QString::fromUtf8(symbol),
                     accent,
                     QString::fromUtf8(systemSoundName),
                     QString::fromUtf8(audioPath),
                     0.0,
                     previewDuration};
}

std::vector<SoundCategory> buildCategories() {
  // Every file is our own render (tools/sound_presets); the piano excerpts play the openings of
  // public-domain pieces.
  return {
      {QStringLiteral("game"), QStringLiteral("Game"),
       QStringLiteral("IP-safe 3s game cues inspired by clear, quest, and arena wins"),
       {preset("voxel-confirm", "Voxel Confirm", "CC0", "Default 3s retro platform-style confirm cue",
               "Retro confirm cue, original synthesized render, CC0", "gamepad", QColor(255, 204, 68),
               "Glass", "Sounds/generated/voxel-confirm.wav", 2.62),
        preset("epic-quest", "Epic Quest", "Quest", "Fantasy quest-complete flourish with a calm tail",
               "Original MMO-inspired cue, synthesized", "trophy", QColor(183, 211, 107), "Hero",
               "Sounds/generated/epic-quest.wav", 2.84),
        preset("arena-victory", "Arena Victory", "MOBA", "Short defeat-and-victory hit for competitive flow",
               "Original arena victory cue, synthesized", "trophy", QColor(255, 138, 77), "Funk",
               "Sounds/generated/arena-victory.wav", 2.58)}},
      {QStringLiteral("piano-classics"), QStringLiteral("Piano Classics"),
       QStringLiteral("Public-domain classics played as up-to-3s reminder excerpts"),
       {preset("lumen-aria", "Lumen Aria", "CC0 Bach", "Bright opening of Bach's Goldberg Aria",
               "Bach, Goldberg Aria, original synthesized render, CC0", "music.note", QColor(214, 178, 255),
               "Glass", "Sounds/classics/lumen-aria.ogg", 3.0),
        preset("moonlight-sonata", "Moonlight Sonata", "PD Beethoven", "More audible dramatic piano swell",
               "Beethoven, Op. 27 No. 2, original synthesized render", "music.note", QColor(143, 216, 255),
               "Glass", "Sounds/classics/moonlight-sonata.ogg", 3.0),
        preset("turkish-march", "Turkish March", "PD Mozart", "Classic energetic piano reminder phrase",
               "Mozart, Rondo alla Turca, original synthesized render", "sparkles", QColor(244, 194, 122), "Funk",
               "Sounds/classics/rondo-alla-turca.ogg", 3.0)}},
      {QStringLiteral("focus"), QStringLiteral("Focus"),
       QStringLiteral("Airline-style cabin chimes under 1.5s for calm reminders"),
       {preset("cabin-chime", "Cabin Chime", "Cabin", "Soft two-tone cabin reminder",
               "Original airline-style focus cue, synthesized", "bell", QColor(77, 159, 255), "Ping",
               "Sounds/generated/cabin-chime.wav", 1.12),
        preset("seatbelt-chime", "Seatbelt Chime", "Notice", "Gentle seatbelt-sign style reminder",
               "Original cabin notice cue, synthesized", "checkmark.circle", QColor(127, 183, 255), "Ping",
               "Sounds/generated/seatbelt-chime.wav", 1.22),
        preset("boarding-ping", "Boarding Ping", "Quiet", "Minimal airport gate-style completion ping",
               "Original quiet boarding cue, synthesized", "checkmark", QColor(0, 214, 163), "Pop",
               "Sounds/generated/boarding-ping.wav", 1.06)}},
  };
}

}  // namespace

const std::vector<SoundCategory>& soundCategories() {
  static const std::vector<SoundCategory> categories = buildCategories();
  return categories;
}

const std::vector<SoundPreset>& allSoundPresets() {
  static const std::vector<SoundPreset> presets = [] {
    std::vector<SoundPreset> all;
    for (const SoundCategory& category : soundCategories()) {
      all.insert(all.end(), category.sounds.begin(), category.sounds.end());
    }
    return all;
  }();
  return presets;
}

const SoundPreset* builtInSoundPreset(const QString& id) {
  for (const SoundPreset& preset : allSoundPresets()) {
    if (preset.id == id) {
      return &preset;
    }
  }
  return nullptr;
}

std::optional<QString> bundledSoundURL(const SoundPreset& preset, const QString& resourcesFolder) {
  if (!preset.bundledAudioPath || resourcesFolder.isEmpty()) {
    return std::nullopt;
  }
  const QString path = resourcesFolder + QLatin1Char('/') + *preset.bundledAudioPath;
  if (!QFileInfo::exists(path)) {
    return std::nullopt;
  }
  return path;
}

}  // namespace tandrel
