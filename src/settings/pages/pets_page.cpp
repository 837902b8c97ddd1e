#include "settings/pages/pets_page.h"

#include "pets/pet_avatar.h"
#include "pets/pet_provenance.h"
#include "pets/view_pets.h"
#include "settings/pages/live_preview_section.h"
#include "settings/pages/pets_page_layout.h"
#include "settings/settings_paint.h"
#include "ui/island_geometry.h"
#include "ui/island_paint.h"
#include "ui/island_symbols.h"

namespace tandrel {

using island_paint::white;
using island_paint::withAlpha;

namespace {

const QColor kDeepBlue = QColor::fromRgbF(0, 107 / 255.0, 1);
const QColor kLightRed = QColor::fromRgbF(1, 0.5333, 0.5333);
const QColor kLavender = QColor::fromRgbF(216 / 255.0, 201 / 255.0, 1);

// A folder outline: the tab on its top left and the body below, stroked in `color`.
void drawFolderGlyph(QPainter& painter, const QRectF& box, const QColor& color) {
  QPainterPath path;
  const qreal w = box.width(), h = box.height();
  path.moveTo(box.left(), box.top() + 0.15 * h);
  path.lineTo(box.left() + 0.38 * w, box.top() + 0.15 * h);
  path.lineTo(box.left() + 0.48 * w, box.top() + 0.3 * h);
  path.lineTo(box.right(), box.top() + 0.3 * h);
  path.lineTo(box.right(), box.bottom() - 0.05 * h);
  path.lineTo(box.left(), box.bottom() - 0.05 * h);
  path.closeSubpath();
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.strokePath(path, QPen(color, 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.restore();
}

// The import row's label: a folder glyph, two spaces and the words, centred together.
void drawImportLabel(QPainter& painter, const QRectF& row, const QColor& color) {
  const QFont font = islandFont(12);
  const QString words = QStringLiteral("  Import from Folder");
  const QFontMetricsF metrics(font);
  const qreal glyphWidth = 13;
  const qreal total = glyphWidth + metrics.horizontalAdvance(words);
  const QRectF box = row.adjusted(4, 8, -4, -8);
  const qreal x = box.center().x() - total / 2;
  const qreal lineTop = box.center().y() - metrics.height() / 2;
  drawFolderGlyph(painter, QRectF(x, box.center().y() - 5, glyphWidth, 10.5), color);
  island_paint::drawText(painter, words, QRectF(x + glyphWidth, lineTop, total, metrics.height()), font, color);
}

}  // namespace

void PetsPage::drawPetRow(QPainter& painter, int index, PetState islandState, double now) {
  const PetChoice& pet = context_.pets().choices[index];
  const QRectF row = pets_page::petRowRect(index);
  const bool selected = pet.id == context_.settings().values().selectedPetID;
  if (selected) {
    painter.fillRect(row, withAlpha(kDeepBlue, 0.10));
  }
  const QRectF avatarBox = pets_page::petAvatarBoxRect(row);
  island_paint::fillAndStrokeRoundedRect(painter, avatarBox, 8, selected ? withAlpha(kDeepBlue, 0.15) : white(0.04),
                                         selected ? withAlpha(kDeepBlue, 0.30) : white(0.08));
  drawPetAvatar(painter, {context_.pets().choices, context_.settings().values().reduceMotion, now}, pet.id,
                avatarBox.adjusted(4, 4, -4, -4), selected ? islandState : pet.state);

  const QFont nameFont = islandFont(13);
  painter.save();
  painter.setFont(nameFont);
  painter.setPen(white(selected ? 0.90 : 0.70));
  painter.drawText(QRectF(pets_page::petNamePoint(row), QSizeF(1000, 30)),
                   Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, pet.name);
  painter.restore();
  const qreal badgeX = pets_page::petBadgeX(row, island_paint::textWidth(pet.name, nameFont));
  const qreal badgeY = pets_page::petBadgeY(row);
  const qreal sourceWidth =
      settings_paint::drawSourceBadge(painter, sourceBadgeLabel(pet), badgeX, badgeY, sourceBadgeColor(pet));
  if (const std::optional<QString> author = authorBadgeLabel(pet)) {
    settings_paint::drawSourceBadge(painter, *author, badgeX + sourceWidth + 4, badgeY, kLavender);
  }
  island_paint::drawText(painter, petProvenanceDetail(pet), pets_page::petDetailRect(row), islandFont(11), white(0.35));

  const QRectF mark = pets_page::petSelectionMarkRect(row, selected, pet.isDeletable);
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  if (selected) {
    QPainterPath circle;
    circle.addEllipse(mark);
    painter.fillPath(circle, kDeepBlue);
    island_paint::drawSymbol(painter, QStringLiteral("checkmark"), mark.adjusted(5, 5, -5, -5), Qt::white, 11);
  } else {
    painter.setPen(QPen(white(0.20), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(mark.adjusted(0.5, 0.5, -0.5, -0.5));
  }
  painter.restore();
  if (pet.isDeletable) {
    island_paint::drawToolbarIconButton(painter, pets_page::petDeleteButtonRect(row), kLightRed);
  }
  if (index + 1 < static_cast<int>(context_.pets().choices.size())) {
    painter.fillRect(pets_page::petRowSeparatorRect(row), white(0.06));
  }
}

void PetsPage::draw(SettingsPageCanvas& canvas) {
  QPainter& painter = canvas.painter;
  const qreal w = canvas.viewWidth;
  settings_paint::drawSectionTitle(painter, QStringLiteral("Runtime"), pets_page::kRuntimeTitleY);
  settings_paint::drawSettingRow(painter, w, pets_page::kDesktopPetRowY, QStringLiteral("Desktop Pet"),
                                 QStringLiteral("Follow the Live Preview mode and state on the desktop"),
                                 context_.settings().values().desktopCompanionMode);
  island_paint::drawText(painter, QStringLiteral("Refresh local pets"), 168, 166, w, islandFont(13), white(0.80));
  island_paint::drawText(painter, QStringLiteral("Reload compatible pets from ~/.codex/pets"), 168, 184, w,
                         islandFont(11), white(0.35));
  settings_paint::drawSmallButton(painter, QStringLiteral("\u27f3  Refresh"), pets_page::refreshButtonRect(w),
                                  white(0.60));
  painter.fillRect(pets_page::refreshSeparatorRect(w), white(0.06));
  settings_paint::drawSectionTitle(painter, QStringLiteral("Add Pet"), pets_page::kAddPetTitleY);
  const QRectF importRow = pets_page::importRowRect();
  island_paint::fillAndStrokeRoundedRect(painter, importRow, 12, white(0.04), white(0.10));
  drawImportLabel(painter, importRow, white(0.55));
  settings_paint::drawSectionTitle(painter, QStringLiteral("Choose Pet"), pets_page::kChoosePetTitleY);

  const int count = static_cast<int>(context_.pets().choices.size());
  settings_paint::drawRoundedPanel(painter, pets_page::petListCardRect(count));
  const PetState islandState = context_.islandPetState();
  const double now = context_.mediaSeconds();
  for (int i = 0; i < count; ++i) {
    drawPetRow(painter, i, islandState, now);
  }
  canvas.reach(livePreview_.draw(painter, pets_page::livePreviewTop(count)));
}

std::vector<SettingsClickRoute> PetsPage::routes() {
  ViewPets& pets = context_.pets();
  std::vector<bool> deletable;
  for (const PetChoice& pet : pets.choices) {
    deletable.push_back(pet.isDeletable);
  }
  std::vector<SettingsClickRoute> list;
  for (const pets_page::PetsPageRegion& region : pets_page::petsPageRegions(viewWidth(), deletable)) {
    using Kind = pets_page::PetsPageClick::Kind;
    const int index = region.click.petIndex;
    std::function<void()> action;
    switch (region.click.kind) {
      case Kind::toggleDesktopPet:
        action = [this] {
          context_.settings().change([](UserSettings& s) { s.desktopCompanionMode = !s.desktopCompanionMode; });
          context_.settingsDidChange();
        };
        break;
      case Kind::refresh: action = [&pets] { pets.reloadFromControl(); }; break;
      case Kind::importPet: action = [&pets] { pets.importDirectory(); }; break;
      case Kind::deletePet:
        action = [&pets, id = pets.choices[index].id] { pets.remove(id); };
        break;
      case Kind::selectPet:
        action = [this, &pets, id = pets.choices[index].id] {
          pets.select(id);
          context_.petsDidChange();
        };
        break;
    }
    list.push_back({region.rect, std::move(action)});
  }
  for (SettingsClickRoute& route : livePreview_.routes(pets_page::livePreviewTop(static_cast<int>(pets.choices.size())))) {
    list.push_back(std::move(route));
  }
  return list;
}

}  // namespace tandrel
