#include "settings/pages/sounds_tab_layout.h"

#include "settings/settings_pages.h"
#include "sounds/sound_catalog.h"
#include "sounds/sound_packages.h"

#include <algorithm>

namespace tandrel::sounds_tab {

namespace {

qreal categoryPanelHeight(const SoundCategory& category) {
  return kRowHeight * static_cast<qreal>(category.sounds.size()) + kCategoryHeaderHeight + kCategoryGap;
}

qreal importedSoundRowY(int index, int importedCount) {
  return soundCustomTitleY() + 24 + 42 + 36 + kRowHeight * std::min(index, importedCount);
}

}  // namespace

qreal soundRowWidth(qreal viewWidth) { return std::max(viewWidth - kRowRightMargin - kRowX, 0.0); }

qreal soundCategoryPanelY(int categoryIndex) {
  const auto& categories = soundCategories();
  const int end = std::clamp(categoryIndex, 0, static_cast<int>(categories.size()));
  qreal y = kFirstCategoryY;
  for (int i = 0; i < end; ++i) {
    y += categoryPanelHeight(categories[static_cast<size_t>(i)]);
  }
  return y;
}

QRectF soundPlayButtonRect(qreal rowY, qreal viewWidth) {
  return QRectF(kRowX + soundRowWidth(viewWidth) - 48, rowY + (kRowHeight - 24) / 2, 24, 24);
}

QRectF soundPresetRowRect(int categoryIndex, int soundIndex, qreal viewWidth) {
  return QRectF(kRowX, soundCategoryPanelY(categoryIndex) + kCategoryHeaderHeight + kRowHeight * soundIndex,
                soundRowWidth(viewWidth), kRowHeight);
}

QRectF soundPresetPlayRect(int categoryIndex, int soundIndex, qreal viewWidth) {
  return soundPlayButtonRect(soundPresetRowRect(categoryIndex, soundIndex, viewWidth).top(), viewWidth);
}

qreal soundCustomTitleY() {
  if (soundCategories().empty()) {
    return 280;
  }
  return soundCategoryPanelY(static_cast<int>(soundCategories().size())) + 4;
}

QRectF soundImportRect(qreal viewWidth) {
  return QRectF(kRowX, soundCustomTitleY() + 24, soundRowWidth(viewWidth), 42);
}

QRectF importedSoundRowRect(int index, int importedCount, qreal viewWidth) {
  return QRectF(kRowX, importedSoundRowY(index, importedCount), soundRowWidth(viewWidth), kRowHeight);
}

QRectF importedSoundDeleteRect(int index, int importedCount, qreal viewWidth) {
  const qreal rowY = importedSoundRowY(index, importedCount);
  const QRectF play = soundPlayButtonRect(rowY, viewWidth);
  return QRectF(play.left() - 8 - 26, rowY + 15, 26, 26);
}

QRectF importedSoundAssignRect(int index, int importedCount, int taskIndex) {
  return QRectF(kRowX + 16 + 96 * taskIndex, importedSoundRowY(index, importedCount) + 48, 86, 24);
}

QRectF soundMuteToggleRect(qreal viewWidth) { return QRectF(viewWidth - 93, 104, 36, 20); }

std::vector<SoundsTabRegion> soundsTabRegions(qreal viewWidth, const std::vector<bool>& showAssign) {
  using Kind = SoundsTabClick::Kind;
  std::vector<SoundsTabRegion> regions;
  auto add = [&](const QRectF& rect, Kind kind, const QString& presetID = {}, int index = -1,
                 const QString& taskType = {}) {
    regions.push_back({rect, SoundsTabClick{kind, presetID, index, taskType}});
  };
  add(soundMuteToggleRect(viewWidth).adjusted(-6, -6, 6, 6), Kind::toggleMute);
  add(soundPlayButtonRect(kSelectedCardY, viewWidth), Kind::playSelected);
  const auto& categories = soundCategories();
  for (const Kind kind : {Kind::playPreset, Kind::selectPreset}) {
    for (size_t c = 0; c < categories.size(); ++c) {
      for (size_t s = 0; s < categories[c].sounds.size(); ++s) {
        const int ci = static_cast<int>(c), si = static_cast<int>(s);
        add(kind == Kind::playPreset ? soundPresetPlayRect(ci, si, viewWidth) : soundPresetRowRect(ci, si, viewWidth),
            kind,
            categories[c].sounds[s].id);
      }
    }
  }
  add(soundImportRect(viewWidth), Kind::importSound);
  const int count = static_cast<int>(showAssign.size());
  const int shown = std::min(count, kShownImportedSounds);
  for (int k = 0; k < shown; ++k) {
    add(soundPlayButtonRect(importedSoundRowY(k, count), viewWidth), Kind::playImported, {}, k);
  }
  for (int k = 0; k < shown; ++k) {
    add(importedSoundDeleteRect(k, count, viewWidth), Kind::deleteImported, {}, k);
  }
  for (int k = 0; k < shown; ++k) {
    add(importedSoundRowRect(k, count, viewWidth), Kind::selectImported, {}, k);
  }
  for (int k = 0; k < shown; ++k) {
    if (showAssign[static_cast<size_t>(k)]) {
      for (int t = 0; t < soundTaskTypes().size(); ++t) {
        add(importedSoundAssignRect(k, count, t), Kind::assignImported, {}, k, soundTaskTypes()[t]);
      }
    }
  }
  return regions;
}

std::optional<SoundsTabClick> soundsTabClick(QPointF point, qreal viewWidth, const std::vector<bool>& showAssign) {
  for (const SoundsTabRegion& region : soundsTabRegions(viewWidth, showAssign)) {
    if (routeContains(region.rect, point)) {
      return region.click;
    }
  }
  return std::nullopt;
}

}  // namespace tandrel::sounds_tab
