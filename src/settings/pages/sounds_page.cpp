#include "settings/pages/sounds_page.h"

#include "settings/pages/sounds_tab_layout.h"
#include "settings/settings_paint.h"
#include "sounds/sound_catalog.h"
#include "sounds/view_sounds.h"
#include "ui/island_geometry.h"
#include "ui/island_paint.h"
#include "ui/island_symbols.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QPainterPath>

#include <cmath>

namespace tandrel {

using island_paint::white;
using island_paint::withAlpha;
using namespace sounds_tab;

namespace {

const QColor kPreviewAccent = settings_paint::kInformationBlue;
const QColor kImportedGreen = settings_paint::kSuccessGreen;
const QColor kDeleteRed = QColor::fromRgbF(1, 136 / 255.0, 136 / 255.0);

QFont monospaceFont(int pixelSize) {
  QFont font(QStringLiteral("DejaVu Sans Mono"));
  font.setStyleHint(QFont::Monospace);
  font.setPixelSize(pixelSize);
  return font;
}

void roundedTile(QPainter& painter, const QRectF& rect, qreal radius, const QColor& fill, const QColor& stroke) {
  island_paint::fillAndStrokeRoundedRect(painter, rect, radius, fill, stroke);
}

// The icon tile of a row at `rowTop`: a rounded square with the symbol in it.
void drawIconTile(QPainter& painter, qreal tileTop, const QString& symbol, const QColor& accent, bool strong) {
  const QRectF tile(180, tileTop, 36, 36);
  roundedTile(painter, tile, 8, withAlpha(accent, strong ? 0.18 : 0.12), withAlpha(accent, strong ? 0.34 : 0.22));
  island_paint::drawSymbol(painter, symbol, tile.adjusted(9, 9, -9, -9), accent, 15);
}

void rowSeparator(QPainter& painter, const QRectF& row) {
  painter.fillRect(QRectF(row.left(), row.bottom() - 1, row.width(), 1), white(0.06));
}

void drawConfig(QPainter& painter, qreal viewWidth, bool muted) {
  settings_paint::drawSectionTitle(painter, QStringLiteral("Config"), 69);
  island_paint::drawText(painter, QStringLiteral("Mute Sound"), 168, 102, viewWidth, islandFont(13), white(0.8));
  island_paint::drawText(painter, QStringLiteral("Playback follows system volume"), 168, 118, viewWidth, islandFont(11),
                         white(0.35));
  const QRectF toggle = soundMuteToggleRect(viewWidth);
  settings_paint::drawToggle(painter, toggle.x(), toggle.y(), muted);
}

void drawSelectedCard(QPainter& painter, qreal viewWidth, const ViewSounds& sounds, const QString& selectedID) {
  settings_paint::drawSectionTitle(painter, QStringLiteral("Selected Sound"), 152);
  const SelectedSoundDescription selected = sounds.selectedSound();
  roundedTile(painter, QRectF(kRowX, kSelectedCardY, soundRowWidth(viewWidth), kRowHeight), 8,
              withAlpha(selected.accent, 0.1), withAlpha(selected.accent, 0.28));
  const QRectF tile(180, 187, 36, 36);
  roundedTile(painter, tile, 8, withAlpha(selected.accent, 0.16), withAlpha(selected.accent, 0.34));
  island_paint::drawSymbol(painter, selected.symbol, tile.adjusted(9, 9, -9, -9), selected.accent, 15);
  const QFont labelFont = islandFont(13);
  island_paint::drawText(painter, selected.label, 228, 189, viewWidth, labelFont, white(0.84));
  const qreal labelWidth = std::min(std::ceil(island_paint::textWidth(selected.label, labelFont)), 240.0);
  settings_paint::drawSourceBadge(painter, selected.badge, 228 + labelWidth + 6, 190, selected.accent);
  const QRectF play = soundPlayButtonRect(kSelectedCardY, viewWidth);
  island_paint::drawText(painter, selected.detail + QStringLiteral(" - ") + selected.source,
                         QRectF(228, 209, play.left() - 228 - 16, 18), islandFont(11), white(0.35));
  drawSoundPlayButton(painter, play, sounds.isSoundPlaying(QStringLiteral("selected:") + selectedID),
                      sounds.playingAnimationTime());
}

void drawBuiltIn(QPainter& painter, qreal viewWidth, const ViewSounds& sounds, const QString& selectedID) {
  settings_paint::drawSectionTitle(painter, QStringLiteral("Built-in"), 252);
  const auto& categories = soundCategories();
  const qreal rowWidth = soundRowWidth(viewWidth);
  for (size_t c = 0; c < categories.size(); ++c) {
    const SoundCategory& category = categories[c];
    const qreal y = soundCategoryPanelY(static_cast<int>(c));
    const int count = static_cast<int>(category.sounds.size());
    settings_paint::drawRoundedPanel(painter, QRectF(kRowX, y, rowWidth, kCategoryHeaderHeight + kRowHeight * count));
    island_paint::drawText(painter, category.label, 180, y + 9, viewWidth, islandFont(12), white(0.78));
    island_paint::drawText(painter, QString::number(count) + QStringLiteral(" sounds"), 276, y + 11, viewWidth,
                           islandFont(10), white(0.25));
    island_paint::drawText(painter, category.detail, QRectF(180, y + 26, std::max(rowWidth - 24, 0.0), 12),
                           islandFont(10), white(0.3));
    painter.fillRect(QRectF(kRowX, y + 41, rowWidth, 1), white(0.06));
    for (int s = 0; s < count; ++s) {
      const SoundPreset& preset = category.sounds[static_cast<size_t>(s)];
      const QRectF row = soundPresetRowRect(static_cast<int>(c), s, viewWidth);
      const qreal r = row.top();
      const bool selected = selectedID == preset.id;
      if (selected) {
        painter.fillRect(row, withAlpha(settings_paint::kSelectionBlue, 0.1));
      }
      drawIconTile(painter, r + 11, preset.symbol, preset.accent, selected);
      const QFont labelFont = islandFont(13);
      island_paint::drawText(painter, preset.label, 228, r + 13, viewWidth, labelFont, white(selected ? 0.9 : 0.74));
      const qreal labelWidth = std::min(std::ceil(island_paint::textWidth(preset.label, labelFont)), 210.0);
      settings_paint::drawSourceBadge(painter, preset.era, 228 + labelWidth + 6, r + 14, preset.accent);
      const QRectF play = soundPresetPlayRect(static_cast<int>(c), s, viewWidth);
      island_paint::drawText(painter, preset.detail + QStringLiteral(" - ") + preset.source,
                             QRectF(228, r + 33, play.left() - 228 - 34, 18), islandFont(11), white(0.35));
      if (selected) {
        island_paint::drawSymbol(painter, QStringLiteral("checkmark.circle"), QRectF(play.left() - 24, r + 22, 14, 14),
                                 kPreviewAccent, 13);
      }
      drawSoundPlayButton(painter, play, sounds.isSoundPlaying(QStringLiteral("preset:") + preset.id),
                          sounds.playingAnimationTime());
      if (s + 1 < count) {
        rowSeparator(painter, row);
      }
    }
  }
}

// The dashed import row with its folder symbol and text centred, and the folder's path below.
void drawImportRow(QPainter& painter, qreal viewWidth) {
  settings_paint::drawSectionTitle(painter, QStringLiteral("Custom"), soundCustomTitleY());
  const QRectF button = soundImportRect(viewWidth);
  QPainterPath outline;
  outline.addRoundedRect(button, 12, 12);
  QPen dashed(white(0.15), 1);
  dashed.setDashPattern({5, 4});
  dashed.setDashOffset(0);
  painter.strokePath(outline, dashed);
  const QString text = QStringLiteral("Import Sound Package");
  const QFont font = islandFont(12);
  const qreal width = std::ceil(island_paint::textWidth(text, font));
  const QRectF symbol(button.center().x() - (width + 19) / 2, button.center().y() - 6.5, 13, 13);
  island_paint::drawSymbol(painter, QStringLiteral("folder"), symbol, white(0.35), 12);
  island_paint::drawText(painter, text, QRectF(symbol.right() + 6, button.center().y() - 7, width + 2, 14), font,
                         white(0.35));
  island_paint::drawText(painter, QStringLiteral("~/.tandrel/sounds"),
                         QRectF(kRowX, button.bottom() + 8, button.width(), 12), monospaceFont(10), white(0.25),
                         island_paint::TextAlignment::center);
}

void drawImported(QPainter& painter, SettingsPageCanvas& canvas, const ViewSounds& sounds,
                  const UserSettings& values) {
  const QRectF button = soundImportRect(canvas.viewWidth);
  const auto& imported = values.importedSounds;
  if (imported.empty()) {
    island_paint::drawText(painter, QStringLiteral("No custom sounds imported"),
                           QRectF(kRowX, button.bottom() + 34, button.width(), 16), islandFont(11), white(0.22),
                           island_paint::TextAlignment::center);
    canvas.reach(button.bottom() + 70);
    return;
  }
  const int count = static_cast<int>(imported.size());
  const int shown = std::min(count, kShownImportedSounds);
  const QRectF list(kRowX, button.bottom() + 36, button.width(), kRowHeight * shown);
  settings_paint::drawRoundedPanel(painter, list);
  for (int k = 0; k < shown; ++k) {
    const ImportedSound& sound = imported[static_cast<size_t>(k)];
    const QRectF row = importedSoundRowRect(k, count, canvas.viewWidth);
    const qreal r = row.top();
    const bool selected = values.selectedSoundID == sound.id;
    if (selected) {
      painter.fillRect(row, withAlpha(settings_paint::kSelectionBlue, 0.1));
    }
    drawIconTile(painter, r + 11, QStringLiteral("music.note"), kImportedGreen, selected);
    island_paint::drawText(painter, importedSoundTitle(sound), 228, r + 13, canvas.viewWidth, islandFont(13),
                           white(selected ? 0.9 : 0.74));
    const QRectF remove = importedSoundDeleteRect(k, count, canvas.viewWidth);
    island_paint::drawText(painter, QFileInfo(sound.path).fileName(),
                           QRectF(228, r + 33, std::max(0.0, remove.left() - 8 - 228), 18), monospaceFont(11),
                           white(0.35));
    island_paint::drawToolbarIconButton(painter, remove, kDeleteRed);
    drawSoundPlayButton(painter, soundPlayButtonRect(r, canvas.viewWidth),
                        sounds.isSoundPlaying(QStringLiteral("imported:") + sound.id), sounds.playingAnimationTime());
    if (k + 1 < shown) {
      rowSeparator(painter, row);
    }
  }
  if (count > shown) {
    // Right below the list, inside the room the content height keeps for it (a place counted from
    // the view's height would land on the built-in panels above once the page scrolls).
    island_paint::drawText(painter, QStringLiteral("+ %1 more imported").arg(count - shown), 184, list.bottom() + 8,
                           canvas.viewWidth, islandFont(10), white(0.3));
  }
  canvas.reach(list.bottom() + 34);
}

}  // namespace

void SoundsPage::draw(SettingsPageCanvas& canvas) {
  QPainter& painter = canvas.painter;
  const UserSettings& values = context_.settings().values();
  const ViewSounds& sounds = context_.sounds();
  drawConfig(painter, canvas.viewWidth, values.muted);
  drawSelectedCard(painter, canvas.viewWidth, sounds, values.selectedSoundID);
  drawBuiltIn(painter, canvas.viewWidth, sounds, values.selectedSoundID);
  drawImportRow(painter, canvas.viewWidth);
  drawImported(painter, canvas, sounds, values);
}

std::function<void()> SoundsPage::action(const SoundsTabClick& click) {
  using Kind = SoundsTabClick::Kind;
  ViewSounds& sounds = context_.sounds();
  switch (click.kind) {
    case Kind::toggleMute:
      return [this] {
        context_.settings().change([](UserSettings& s) { s.muted = !s.muted; });
        context_.showBanner(context_.settings().values().muted ? QStringLiteral("Sound muted")
                                                               : QStringLiteral("Sound unmuted"),
                            settings_paint::kInformationBlue);
      };
    case Kind::playSelected:
      return [&sounds] { sounds.playSelectedSoundPreview(); };
    case Kind::playPreset:
      return [&sounds, id = click.presetID] { sounds.playSoundPresetPreview(id, std::nullopt); };
    case Kind::selectPreset:
      return [&sounds, id = click.presetID] { sounds.selectSound(id); };
    case Kind::importSound:
      return [this, &sounds] {
        const auto path = soundImportChoiceOverrideForTests ? soundImportChoiceOverrideForTests()
                                                            : askForSoundToImport(&context_.widget());
        if (path) {
          sounds.importSound(*path);
        }
      };
    case Kind::playImported:
      return [&sounds, k = click.importedIndex] { sounds.playImportedSoundPreview(k); };
    case Kind::deleteImported:
      return [&sounds, k = click.importedIndex] { sounds.removeImportedSound(k); };
    case Kind::selectImported:
      return [this, &sounds, k = click.importedIndex] {
        const auto& imported = context_.settings().values().importedSounds;
        if (k < static_cast<int>(imported.size())) {
          sounds.selectSound(imported[static_cast<size_t>(k)].id);
        }
      };
    case Kind::assignImported:
      return [&sounds, k = click.importedIndex, type = click.taskType] { sounds.assignImportedSound(k, type); };
  }
  return [] {};
}

std::vector<SettingsClickRoute> SoundsPage::routes() {
  std::vector<bool> showAssign;
  for (const ImportedSound& sound : context_.settings().values().importedSounds) {
    showAssign.push_back(sound.showAssign);
  }
  std::vector<SettingsClickRoute> list;
  for (const SoundsTabRegion& region : soundsTabRegions(viewWidth(), showAssign)) {
    list.push_back({region.rect, action(region.click)});
  }
  return list;
}

void drawSoundPlayButton(QPainter& painter, const QRectF& rect, bool isPlaying, double seconds) {
  const QRectF square(rect.topLeft(), QSizeF(24, 24));
  const QPointF mid = square.center();
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  if (isPlaying) {
    roundedTile(painter, square, 8, withAlpha(settings_paint::kSelectionBlue, 0.2),
                withAlpha(settings_paint::kSelectionBlue, 0.4));
    for (int i = 0; i < 5; ++i) {
      const qreal height = (std::sin(8 * seconds + 0.8 * i) + 1) / 2 * 8 + 5;
      QPainterPath bar;
      bar.addRoundedRect(QRectF(mid.x() - 9 + 4 * i, mid.y() - height / 2, 2, height), 1, 1);
      painter.fillPath(bar, kPreviewAccent);
    }
  } else {
    roundedTile(painter, square, 7, white(0.06), white(0.1));
    const qreal s = 24;
    QPainterPath triangle;
    triangle.moveTo(mid.x() - 0.12 * s, mid.y() - 0.22 * s);
    triangle.lineTo(mid.x() - 0.12 * s, mid.y() + 0.22 * s);
    triangle.lineTo(mid.x() + 0.24 * s, mid.y());
    triangle.closeSubpath();
    painter.fillPath(triangle, white(0.42));
  }
  painter.restore();
}

std::optional<QString> askForSoundToImport(QWidget* parent) {
  QMenu menu(parent);
  QAction* folder = menu.addAction(QStringLiteral("Import folder…"));
  QAction* file = menu.addAction(QStringLiteral("Import audio file…"));
  const QAction* chosen = menu.exec(QCursor::pos());
  QString path;
  if (chosen == folder) {
    path = QFileDialog::getExistingDirectory(parent, QStringLiteral("Import Tandrel sound"),
                                             QDir::homePath());
  } else if (chosen == file) {
    QStringList patterns;
    for (const QString& extension : acceptedSoundExtensions()) {
      patterns << QStringLiteral("*.") + extension;
    }
    path = QFileDialog::getOpenFileName(
        parent, QStringLiteral("Import Tandrel sound"), QDir::homePath(),
        QStringLiteral("Audio files (%1)").arg(patterns.join(QLatin1Char(' '))));
  }
  if (path.isEmpty()) {
    return std::nullopt;
  }
  return path;
}

}  // namespace tandrel
