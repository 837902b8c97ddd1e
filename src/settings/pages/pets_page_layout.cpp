#include "settings/pages/pets_page_layout.h"

#include <algorithm>
#include <cmath>

namespace tandrel::pets_page {

QRectF desktopPetToggleRect(qreal viewWidth) { return {viewWidth - 56, 108, 36, 20}; }

QRectF refreshButtonRect(qreal viewWidth) { return {viewWidth - 132, 162, 112, 36}; }

QRectF refreshSeparatorRect(qreal viewWidth) { return {kColumnX, 209, viewWidth - 180, 1}; }

QRectF importRowRect() { return {kColumnX, 254, kColumnWidth, 36}; }

QRectF petListCardRect(int petCount) {
  return {kColumnX, kPetListY, kColumnWidth, std::max(kRowHeight * petCount, kRowHeight)};
}

qreal livePreviewTop(int petCount) { return petListCardRect(petCount).bottom(); }

QRectF petRowRect(int index) { return {kColumnX, kPetListY + kRowHeight * index, kColumnWidth, kRowHeight}; }

QRectF petAvatarBoxRect(const QRectF& row) { return {row.left() + 12, row.top() + 11, 36, 36}; }

QPointF petNamePoint(const QRectF& row) { return {row.left() + 60, row.top() + 13}; }

qreal petBadgeX(const QRectF& row, qreal measuredNameWidth) {
  return petNamePoint(row).x() + std::ceil(std::min(measuredNameWidth, kNameWidthLimit)) + 6;
}

qreal petBadgeY(const QRectF& row) { return row.top() + 14; }

QRectF petDetailRect(const QRectF& row) { return {row.left() + 60, row.top() + 33, row.width() - 60 - 40, 18}; }

QRectF petSelectionMarkRect(const QRectF& row, bool selected, bool deletable) {
  const qreal x = row.right() - (deletable ? 58 : 32);
  return selected ? QRectF(x, row.top() + 19, 20, 20) : QRectF(x + 2, row.top() + 21, 16, 16);
}

QRectF petDeleteButtonRect(const QRectF& row) { return {816, row.top() + 15, 26, 26}; }

QRectF petRowSeparatorRect(const QRectF& row) { return {row.left(), row.bottom() - 1, row.width(), 1}; }

std::vector<PetsPageRegion> petsPageRegions(qreal viewWidth, const std::vector<bool>& deletable) {
  using Kind = PetsPageClick::Kind;
  std::vector<PetsPageRegion> regions = {
      {desktopPetToggleRect(viewWidth), {Kind::toggleDesktopPet}},
      {refreshButtonRect(viewWidth), {Kind::refresh}},
      {importRowRect(), {Kind::importPet}},
  };
  const int count = static_cast<int>(deletable.size());
  for (int i = 0; i < count; ++i) {
    if (deletable[i]) {
      regions.push_back({petDeleteButtonRect(petRowRect(i)), {Kind::deletePet, i}});
    }
  }
  for (int i = 0; i < count; ++i) {
    regions.push_back({petRowRect(i), {Kind::selectPet, i}});
  }
  return regions;
}

std::optional<PetsPageClick> petsPageClick(QPointF point, qreal viewWidth, const std::vector<bool>& deletable) {
  for (const PetsPageRegion& region : petsPageRegions(viewWidth, deletable)) {
    const QRectF& r = region.rect;
    if (point.x() >= r.left() && point.x() < r.right() && point.y() >= r.top() && point.y() < r.bottom()) {
      return region.click;
    }
  }
  return std::nullopt;
}

}  // namespace tandrel::pets_page
