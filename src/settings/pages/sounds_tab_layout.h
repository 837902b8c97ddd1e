#pragma once

// Where the Sounds tab puts things, in the settings page's content coordinates (y down): rows start
// at x 168, end 20 before the view's right edge (where the other tabs end their switches and
// buttons, clear of the scroll bar) and are 58 high. The drawing and the click routes both read
// these, so a click hits exactly what was drawn.

#include <QPointF>
#include <QRectF>
#include <QString>

#include <optional>
#include <vector>

namespace tandrel::sounds_tab {

inline constexpr qreal kRowX = 168;
inline constexpr qreal kRowRightMargin = 20;
inline constexpr qreal kRowHeight = 58;
inline constexpr qreal kCategoryHeaderHeight = 42;
inline constexpr qreal kCategoryGap = 10;
inline constexpr qreal kFirstCategoryY = 276;
inline constexpr qreal kSelectedCardY = 176;
inline constexpr int kShownImportedSounds = 3;

// The rows' width in a view `viewWidth` wide: 672 in the 860-wide panel, never below 0.
qreal soundRowWidth(qreal viewWidth);
// The top of category `categoryIndex`'s panel: 276, plus for each category before it (the index
// clamped to the catalogue) its sounds' rows, its header and the gap.
qreal soundCategoryPanelY(int categoryIndex);
// The 24 x 24 play button of a row whose top is `rowY`, 48 left of the row's right end: (792, rowY + 17)
// in the 860-wide panel.
QRectF soundPlayButtonRect(qreal rowY, qreal viewWidth);
QRectF soundPresetPlayRect(int categoryIndex, int soundIndex, qreal viewWidth);
// The row of preset `soundIndex` of category `categoryIndex`.
QRectF soundPresetRowRect(int categoryIndex, int soundIndex, qreal viewWidth);
// The "Custom" title: 14 below the last category panel (280 for an empty catalogue).
qreal soundCustomTitleY();
// The dashed import row below the title.
QRectF soundImportRect(qreal viewWidth);
// Row `index` of the imported sounds; the index is capped at `importedCount`, not at the three
// rows drawn.
QRectF importedSoundRowRect(int index, int importedCount, qreal viewWidth);
QRectF importedSoundDeleteRect(int index, int importedCount, qreal viewWidth);
// Assignment pill `taskIndex` of an imported row: (184 + 96 k, row top + 48, 86, 24).
QRectF importedSoundAssignRect(int index, int importedCount, int taskIndex);
// The mute toggle at (w - 93, 104), 36 x 20.
QRectF soundMuteToggleRect(qreal viewWidth);

// What a click on the tab does.
struct SoundsTabClick {
  enum class Kind {
    toggleMute,
    playSelected,
    playPreset,
    selectPreset,
    importSound,
    playImported,
    deleteImported,
    selectImported,
    assignImported,
  };
  Kind kind;
  QString presetID;  // playPreset, selectPreset
  int importedIndex = -1;  // the imported kinds
  QString taskType;  // assignImported

  bool operator==(const SoundsTabClick&) const = default;
};

struct SoundsTabRegion {
  QRectF rect;
  SoundsTabClick click;
};

// The clickable regions in the order they are tried: the mute toggle (grown by 6 on every side),
// the selected sound's play button, every preset's play button, every preset's row, the import
// row, then for the first three imported sounds all play buttons, all delete buttons, all rows,
// and the assignment pills of rows that show them. `showAssign` has one flag per imported sound.
std::vector<SoundsTabRegion> soundsTabRegions(qreal viewWidth, const std::vector<bool>& showAssign);

// The first region that holds `point` (routeContains: its left and top edges belong to it).
std::optional<SoundsTabClick> soundsTabClick(QPointF point, qreal viewWidth, const std::vector<bool>& showAssign);

}  // namespace tandrel::sounds_tab
