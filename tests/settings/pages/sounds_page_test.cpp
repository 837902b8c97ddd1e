#include "settings/pages/sounds_page.h"

#include "platform/fake/fake_sound_output.h"
#include "settings/pages/sounds_tab_layout.h"
#include "settings/settings_view_fixture.h"
#include "sounds/sound_catalog.h"
#include "ui/island_geometry.h"

#include <QDir>

namespace tandrel {
namespace {

using namespace sounds_tab;

// The Sounds tab of a settings view over a scratch home with a fake output; the built-in files
// are the shipped ones.
class SoundsPageGui : public test::SettingsViewFixture {
 protected:
  SoundsPageGui() {
    home.setEnv("TANDREL_RESOURCES_DIR", qgetenv("TANDREL_SOURCE_DIR") + "/resources");
    TandrelView::soundOutputOverrideForTests = &output;
    for (const SoundPreset& preset : allSoundPresets()) {
      output.durations.insert(qEnvironmentVariable("TANDREL_SOURCE_DIR") + "/resources/" + *preset.bundledAudioPath,
                              *preset.previewDuration);
    }
  }
  ~SoundsPageGui() override {
    TandrelView::soundOutputOverrideForTests = nullptr;
    soundImportChoiceOverrideForTests = nullptr;
  }

  std::unique_ptr<TandrelView> soundsTab() {
    auto view = makeView(island::kSettingsPanelSize.toSize());
    view->setMode(OverlayMode::settings);
    view->selectSettingsTab(SettingsTab::sound);
    return view;
  }

  void packages(int count) {
    for (int i = 0; i < count; ++i) {
      const QString folder = home.file(QStringLiteral(".tandrel/sounds/cue-%1").arg(i));
      ASSERT_TRUE(test::writeFile(folder + "/sound.json",
                                  QStringLiteral(R"({"displayName":"Cue %1","audioPath":"cue-%1.wav"})").arg(i).toUtf8()));
      ASSERT_TRUE(test::writeFile(folder + QStringLiteral("/cue-%1.wav").arg(i), "audio"));
      output.durations.insert(folder + QStringLiteral("/cue-%1.wav").arg(i), 1.0);
    }
  }

  // Draws the page scrolled to its end and keeps the picture when asked to.
  QImage renderBottom(TandrelView& view, const QString& name) {
    view.renderImage();  // learns the content height
    view.settingsScrollOffsets[SettingsTab::sound] = view.lastDrawnContentHeight - (view.height() - 74);
    QImage image;
    for (const qreal ratio : {1.0, 2.0}) {
      image = view.renderImage(ratio);
      if (const QString keep = qEnvironmentVariable("TANDREL_KEEP_FIXTURE_RENDERS"); !keep.isEmpty()) {
        QDir().mkpath(QStringLiteral("%1/%2x").arg(keep).arg(ratio));
        image.save(QStringLiteral("%1/%2x/%3").arg(keep).arg(ratio).arg(name));
      }
    }
    return view.renderImage();
  }

  FakeSoundOutput output;
};

TEST_F(SoundsPageGui, ContentReachesBelowTheImportedListOrTheEmptyLine) {
  auto empty = soundsTab();
  renderBottom(*empty, "settings-sound-empty.png");
  EXPECT_EQ(empty->lastDrawnContentHeight, soundImportRect(empty->width()).bottom() + 70);

  packages(5);
  auto view = soundsTab();
  const qreal w = view->width();
  ASSERT_EQ(settings.values().importedSounds.size(), 5u);
  view->sounds().selectSound("cli:cue-1");
  view->handleSettingsClick(soundPresetPlayRect(2, 0, w).center());
  view->handleSettingsClick(soundPlayButtonRect(importedSoundRowRect(0, 5, w).top(), w).center());
  const QImage image = renderBottom(*view, "settings-sound-imported.png");
  // Three rows are drawn, then the line for two more.
  EXPECT_EQ(view->lastDrawnContentHeight, importedSoundRowRect(3, 5, w).top() + 34);

  // The playing row's button shows its blue square; the others keep the faint one.
  const qreal offset = view->settingsScrollOffset();
  auto pixelAt = [&](QRectF content) {
    const QPointF corner = content.topLeft() + QPointF(3, 3);
    return image.pixelColor(QPoint(static_cast<int>(corner.x()), static_cast<int>(corner.y() - offset + 20)));
  };
  const QColor playing = pixelAt(soundPlayButtonRect(importedSoundRowRect(0, 5, w).top(), w));
  const QColor idle = pixelAt(soundPlayButtonRect(importedSoundRowRect(2, 5, w).top(), w));
  EXPECT_GT(playing.blue(), playing.red() + 30) << playing.name().toStdString();
  EXPECT_LT(std::abs(idle.blue() - idle.red()), 12) << idle.name().toStdString();
}

TEST_F(SoundsPageGui, ClicksMuteSelectPlayImportAndRemove) {
  packages(1);
  auto view = soundsTab();
  const qreal w = view->width();

  EXPECT_TRUE(view->handleSettingsClick(soundMuteToggleRect(w).topLeft() - QPointF(5, 5)));
  EXPECT_TRUE(settings.values().muted);
  EXPECT_EQ(view->statusBanner(), QStringLiteral("Sound muted"));
  EXPECT_EQ(view->statusBannerColor, QColor(77, 159, 255));
  view->handleSettingsClick(soundMuteToggleRect(w).center());
  EXPECT_EQ(view->statusBanner(), QStringLiteral("Sound unmuted"));

  EXPECT_TRUE(view->handleSettingsClick(soundPresetRowRect(0, 1, w).topLeft() + QPointF(40, 20)));
  EXPECT_EQ(settings.values().selectedSoundID, QStringLiteral("epic-quest"));
  EXPECT_EQ(view->statusBanner(), QStringLiteral("Epic Quest selected"));

  EXPECT_TRUE(view->handleSettingsClick(soundPlayButtonRect(kSelectedCardY, w).center()));
  ASSERT_EQ(output.opened.size(), 1u);
  EXPECT_TRUE(output.opened[0]->path.endsWith("Sounds/generated/epic-quest.wav"));
  EXPECT_TRUE(view->sounds().isSoundPlaying("selected:epic-quest"));

  ASSERT_TRUE(test::writeFile(home.file("Standalone Cue.ogg"), "ogg audio"));
  soundImportChoiceOverrideForTests = [&] { return std::optional<QString>(home.file("Standalone Cue.ogg")); };
  EXPECT_TRUE(view->handleSettingsClick(soundImportRect(w).center()));
  EXPECT_EQ(settings.values().selectedSoundID, QStringLiteral("cli:standalone-cue"));
  EXPECT_EQ(view->statusBanner(), QStringLiteral("Selected Standalone Cue.ogg"));
  ASSERT_EQ(settings.values().importedSounds.size(), 2u);

  // Sorted by file name: "audio.ogg" before "cue-0.wav".
  EXPECT_TRUE(view->handleSettingsClick(importedSoundDeleteRect(0, 2, w).center()));
  EXPECT_EQ(view->statusBanner(), QStringLiteral("Removed Standalone Cue"));
  EXPECT_FALSE(QFile::exists(home.file(".tandrel/sounds/standalone-cue")));
  EXPECT_EQ(settings.values().selectedSoundID, QStringLiteral("moonlight-sonata"));

  soundImportChoiceOverrideForTests = [] { return std::optional<QString>(); };
  EXPECT_TRUE(view->handleSettingsClick(soundImportRect(w).center())) << "a cancelled import is still a hit";
  EXPECT_EQ(settings.values().importedSounds.size(), 1u);
}

}  // namespace
}  // namespace tandrel
