#include "sounds/sound_catalog.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <QFile>

#include <cmath>
#include <vector>

#include "support/temp_home.h"

namespace tandrel {
namespace {

QString sourceResources() { return qEnvironmentVariable("TANDREL_SOURCE_DIR") + QStringLiteral("/resources"); }

TEST(SoundCatalogTest, CategoriesAndPresetsInOrder) {
  struct Row {
    const char* category;
    const char* id;
    const char* label;
    const char* symbol;
    QColor accent;
    const char* path;
    double previewDuration;
  };
  const std::vector<Row> rows = {
      {"game", "voxel-confirm", "Voxel Confirm", "gamepad", QColor(255, 204, 68), "Sounds/generated/voxel-confirm.wav", 2.62},
      {"game", "epic-quest", "Epic Quest", "trophy", QColor(183, 211, 107), "Sounds/generated/epic-quest.wav", 2.84},
      {"game", "arena-victory", "Arena Victory", "trophy", QColor(255, 138, 77), "Sounds/generated/arena-victory.wav", 2.58},
      {"piano-classics", "lumen-aria", "Lumen Aria", "music.note", QColor(214, 178, 255), "Sounds/classics/lumen-aria.ogg", 3.0},
      {"piano-classics", "moonlight-sonata", "Moonlight Sonata", "music.note", QColor(143, 216, 255), "Sounds/classics/moonlight-sonata.ogg", 3.0},
      {"piano-classics", "turkish-march", "Turkish March", "sparkles", QColor(244, 194, 122), "Sounds/classics/rondo-alla-turca.ogg", 3.0},
      {"focus", "cabin-chime", "Cabin Chime", "bell", QColor(77, 159, 255), "Sounds/generated/cabin-chime.wav", 1.12},
      {"focus", "seatbelt-chime", "Seatbelt Chime", "checkmark.circle", QColor(127, 183, 255), "Sounds/generated/seatbelt-chime.wav", 1.22},
      {"focus", "boarding-ping", "Boarding Ping", "checkmark", QColor(0, 214, 163), "Sounds/generated/boarding-ping.wav", 1.06},
  };
  ASSERT_EQ(soundCategories().size(), 3u);
  EXPECT_EQ(soundCategories()[1].label, QStringLiteral("Piano Classics"));
  const auto& all = allSoundPresets();
  ASSERT_EQ(all.size(), rows.size());
  size_t index = 0;
  for (const SoundCategory& category : soundCategories()) {
    for (const SoundPreset& preset : category.sounds) {
      const Row& row = rows[index];
      SCOPED_TRACE(row.id);
      EXPECT_EQ(category.id, QString::fromUtf8(row.category));
      EXPECT_EQ(all[index].id, preset.id);
      EXPECT_EQ(preset.id, QString::fromUtf8(row.id));
      EXPECT_EQ(preset.label, QString::fromUtf8(row.label));
      EXPECT_EQ(preset.symbol, QString::fromUtf8(row.symbol));
      EXPECT_EQ(preset.accent, row.accent);
      EXPECT_EQ(preset.bundledAudioPath, QString::fromUtf8(row.path));
      EXPECT_EQ(preset.previewStart, 0.0);
      EXPECT_EQ(preset.previewDuration, row.previewDuration);
      ++index;
    }
  }
}

TEST(SoundCatalogTest, LookupIsExact) {
  ASSERT_NE(builtInSoundPreset(QStringLiteral("moonlight-sonata")), nullptr);
  EXPECT_EQ(builtInSoundPreset(QStringLiteral("moonlight-sonata")), &allSoundPresets()[4]);
  for (const QString& id : {QStringLiteral("Moonlight-Sonata"), QString(), QStringLiteral("cli:done-chime"),
                            QStringLiteral(" moonlight-sonata")}) {
    EXPECT_EQ(builtInSoundPreset(id), nullptr) << id.toStdString();
  }
}

TEST(SoundCatalogTest, BundledFileOnlyWhenItExists) {
  test::TempHome home;
  const SoundPreset& moonlight = *builtInSoundPreset(QStringLiteral("moonlight-sonata"));
  EXPECT_EQ(bundledSoundURL(moonlight, home.path()), std::nullopt);
  ASSERT_TRUE(test::writeFile(home.file("Sounds/classics/moonlight-sonata.ogg"), "x"));
  EXPECT_EQ(bundledSoundURL(moonlight, home.path()), home.file("Sounds/classics/moonlight-sonata.ogg"));
  EXPECT_EQ(bundledSoundURL(moonlight, QString()), std::nullopt);
  SoundPreset without = moonlight;
  without.bundledAudioPath.reset();
  EXPECT_EQ(bundledSoundURL(without, home.path()), std::nullopt);
}

// Every shipped file decodes whole, lasts what its preset says and is audible: a peak near full
// scale, and sound in its first and middle tenths (a silent or truncated render fails).
TEST(SoundCatalogTest, EveryShippedPresetDecodesAtItsLength) {
  for (const SoundPreset& preset : allSoundPresets()) {
    SCOPED_TRACE(preset.id.toStdString());
    const auto path = bundledSoundURL(preset, sourceResources());
    ASSERT_TRUE(path.has_value());
    SF_INFO info{};
    SNDFILE* file = sf_open(QFile::encodeName(*path).constData(), SFM_READ, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    std::vector<float> samples(static_cast<size_t>(info.frames * info.channels));
    const sf_count_t read = sf_readf_float(file, samples.data(), info.frames);
    sf_close(file);
    EXPECT_EQ(read, info.frames);
    EXPECT_NEAR(static_cast<double>(read) / info.samplerate, *preset.previewDuration, 0.005);
    float peak = 0;
    for (float v : samples) peak = std::max(peak, std::abs(v));
    EXPECT_GT(peak, 0.4f);
    EXPECT_LE(peak, 1.0f);
    auto rmsOfTenth = [&](int tenth) {
      const size_t from = samples.size() * tenth / 10, to = samples.size() * (tenth + 1) / 10;
      double sum = 0;
      for (size_t i = from; i < to; ++i) sum += samples[i] * samples[i];
      return std::sqrt(sum / static_cast<double>(to - from));
    };
    EXPECT_GT(rmsOfTenth(0), 0.03);
    EXPECT_GT(rmsOfTenth(5), 0.01);
  }
}

}  // namespace
}  // namespace tandrel
