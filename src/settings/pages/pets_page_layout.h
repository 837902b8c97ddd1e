#pragma once

// Where the Pets tab puts things above its live preview, in the settings page's content
// coordinates (y down): columns start at x 168 and are 680 wide, pet rows are 58 high. The
// drawing and the click routes both read these, so a click hits exactly what was drawn.

#include <QPointF>
#include <QRectF>

#include <optional>
#include <vector>

namespace tandrel::pets_page {

inline constexpr qreal kColumnX = 168;
inline constexpr qreal kColumnWidth = 680;
inline constexpr qreal kRowHeight = 58;
inline constexpr qreal kRuntimeTitleY = 69;
inline constexpr qreal kDesktopPetRowY = 92;
inline constexpr qreal kAddPetTitleY = 230;
inline constexpr qreal kChoosePetTitleY = 309;
inline constexpr qreal kPetListY = 333;
inline constexpr qreal kNameWidthLimit = 210;

// The "Desktop Pet" switch at (w - 56, 108), 36 × 20.
QRectF desktopPetToggleRect(qreal viewWidth);
// The "⟳  Refresh" button at (w - 132, 162), 112 × 36.
QRectF refreshButtonRect(qreal viewWidth);
// The separator under the refresh line.
QRectF refreshSeparatorRect(qreal viewWidth);
// The "Import from Folder" row.
QRectF importRowRect();
// The card behind the pet rows: one row high even without pets.
QRectF petListCardRect(int petCount);
// Where the live preview section starts: the card's bottom.
qreal livePreviewTop(int petCount);

// Row `index` of the pet list and its parts.
QRectF petRowRect(int index);
QRectF petAvatarBoxRect(const QRectF& row);
// The name's top-left corner.
QPointF petNamePoint(const QRectF& row);
// The x of the first badge for a name of `measuredNameWidth`: 6 after the name, which counts at
// most 210 and is rounded up.
qreal petBadgeX(const QRectF& row, qreal measuredNameWidth);
qreal petBadgeY(const QRectF& row);
QRectF petDetailRect(const QRectF& row);
// The selection mark: a 20 × 20 filled circle when selected, a 16 × 16 ring otherwise; 26 further
// right for a pet without a delete button.
QRectF petSelectionMarkRect(const QRectF& row, bool selected, bool deletable);
QRectF petDeleteButtonRect(const QRectF& row);
// The separator under a row (every row but the last has one).
QRectF petRowSeparatorRect(const QRectF& row);

// What a click on the upper part of the tab does.
struct PetsPageClick {
  enum class Kind { toggleDesktopPet, refresh, importPet, deletePet, selectPet };
  Kind kind;
  int petIndex = -1;  // deletePet, selectPet

  bool operator==(const PetsPageClick&) const = default;
};

struct PetsPageRegion {
  QRectF rect;
  PetsPageClick click;
};

// The clickable regions in the order they are tried: the desktop-pet switch, the refresh button,
// the import row, the delete buttons of deletable pets in list order, then the pet rows.
// `deletable` has one flag per pet.
std::vector<PetsPageRegion> petsPageRegions(qreal viewWidth, const std::vector<bool>& deletable);

// The first region holding `point` (left and top edges inside, right and bottom ones outside).
// Points below the list (the live preview) give nothing here.
std::optional<PetsPageClick> petsPageClick(QPointF point, qreal viewWidth, const std::vector<bool>& deletable);

}  // namespace tandrel::pets_page
