#pragma once

// The Sounds tab of the settings panel: mute, the selected sound, the built-in sounds by category
// and the imported sounds, drawn over the rectangles of sounds_tab_layout.h, which its click
// routes use too.

#include "settings/pages/sounds_tab_layout.h"
#include "settings/settings_pages.h"

#include <QPainter>
#include <QRectF>
#include <QString>

#include <functional>
#include <optional>

namespace tandrel {

class SoundsPage : public SettingsPage {
 public:
  using SettingsPage::SettingsPage;
  void draw(SettingsPageCanvas& canvas) override;
  std::vector<SettingsClickRoute> routes() override;

 private:
  std::function<void()> action(const sounds_tab::SoundsTabClick& click);
};

// The 24 x 24 play button at `rect`'s origin: a triangle, or while playing five equaliser bars
// moving with `seconds` since the sound started.
void drawSoundPlayButton(QPainter& painter, const QRectF& rect, bool isPlaying, double seconds);

// What the import row asks the user: a menu of "Import folder…" and "Import audio file…" (a file
// dialog picks one kind at a time), then the dialog. Nothing when the user cancels.
std::optional<QString> askForSoundToImport(QWidget* parent);
// Tests answer in its place.
inline std::function<std::optional<QString>()> soundImportChoiceOverrideForTests;

}  // namespace tandrel
