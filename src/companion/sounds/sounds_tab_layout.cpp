#include "companion/sounds/sounds_tab_layout.h"

#include "companion/sounds/sound_catalog.h"
#include "companion/sounds/sound_packages.h"

#include <algorithm>

namespace tandrel::sounds_tab {

namespace {

qreal categoryPanelHeight(const SoundCategory& category) {
  return kRowHeight * static_cast<qreal>(category.sounds.size()) + kCategoryHeaderHeight + kCategoryGap;
}

}  // namespace

qreal soundCategoryPanelY(int categoryIndex) {
  const auto& categories = soundCategories();
  const int end = std::clamp(categoryIndex, 0, static_cast<int>(categories.size()));
  qreal y = kFirstCategoryY;
  for (int i = 0; i < end; ++i) {
    y += categoryPanelHeight(categories[static_cast<size_t>(i)]);
  }
  return y;
}

QRectF soundPlayButtonRect(qreal rowY) {
  return QRectF(kRowX + kRowWidth - 48, rowY + (kRowHeight - 24) / 2, 24, 24);
}

QRectF soundPresetRowRect(int categoryIndex, int soundIndex) {
  return QRectF(kRowX, soundCategoryPanelY(categoryIndex) + kCategoryHeaderHeight + kRowHeight * soundIndex, kRowWidth,
                kRowHeight);
}

QRectF soundPresetPlayRect(int categoryIndex, int soundIndex) {
  return soundPlayButtonRect(soundPresetRowRect(categoryIndex, soundIndex).top());
}

qreal soundCustomTitleY() {
  if (soundCategories().empty()) {
    return 280;
  }
  return soundCategoryPanelY(static_cast<int>(soundCategories().size())) + 4;
}

QRectF soundImportRect() { return QRectF(kRowX, soundCustomTitleY() + 24, kRowWidth, 42); }

QRectF importedSoundRowRect(int index, int importedCount) {
  const int row = std::min(index, importedCount);
  return QRectF(kRowX, soundCustomTitleY() + 24 + 42 + 36 + kRowHeight * row, kRowWidth, kRowHeight);
}

QRectF importedSoundDeleteRect(int index, int importedCount) {
  const QRectF row = importedSoundRowRect(index, importedCount);
  const QRectF play = soundPlayButtonRect(row.top());
  return QRectF(play.left() - 8 - 26, row.top() + 15, 26, 26);
}

QRectF importedSoundAssignRect(int index, int importedCount, int taskIndex) {
  return QRectF(kRowX + 16 + 96 * taskIndex, importedSoundRowRect(index, importedCount).top() + 48, 86, 24);
}

QRectF soundMuteToggleRect(qreal viewWidth) { return QRectF(viewWidth - 93, 104, 36, 20); }

std::optional<SoundsTabClick> soundsTabClick(QPointF point, qreal viewWidth, const std::vector<bool>& showAssign) {
  using Kind = SoundsTabClick::Kind;
  if (soundMuteToggleRect(viewWidth).adjusted(-6, -6, 6, 6).contains(point)) {
    return SoundsTabClick{Kind::toggleMute, {}, -1, {}};
  }
  if (soundPlayButtonRect(kSelectedCardY).contains(point)) {
    return SoundsTabClick{Kind::playSelected, {}, -1, {}};
  }
  const auto& categories = soundCategories();
  for (const Kind kind : {Kind::playPreset, Kind::selectPreset}) {
    for (size_t c = 0; c < categories.size(); ++c) {
      for (size_t s = 0; s < categories[c].sounds.size(); ++s) {
        const int ci = static_cast<int>(c), si = static_cast<int>(s);
        const QRectF region = kind == Kind::playPreset ? soundPresetPlayRect(ci, si) : soundPresetRowRect(ci, si);
        if (region.contains(point)) {
          return SoundsTabClick{kind, categories[c].sounds[s].id, -1, {}};
        }
      }
    }
  }
  if (soundImportRect().contains(point)) {
    return SoundsTabClick{Kind::importSound, {}, -1, {}};
  }
  const int count = static_cast<int>(showAssign.size());
  const int shown = std::min(count, kShownImportedSounds);
  for (const Kind kind : {Kind::playImported, Kind::deleteImported, Kind::selectImported}) {
    for (int k = 0; k < shown; ++k) {
      const QRectF row = importedSoundRowRect(k, count);
      const QRectF region = kind == Kind::playImported     ? soundPlayButtonRect(row.top())
                            : kind == Kind::deleteImported ? importedSoundDeleteRect(k, count)
                                                           : row;
      if (region.contains(point)) {
        return SoundsTabClick{kind, {}, k, {}};
      }
    }
  }
  for (int k = 0; k < shown; ++k) {
    if (!showAssign[static_cast<size_t>(k)]) {
      continue;
    }
    for (int t = 0; t < soundTaskTypes().size(); ++t) {
      if (importedSoundAssignRect(k, count, t).contains(point)) {
        return SoundsTabClick{Kind::assignImported, {}, k, soundTaskTypes()[t]};
      }
    }
  }
  return std::nullopt;
}

}  // namespace tandrel::sounds_tab
