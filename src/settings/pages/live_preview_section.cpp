#include "settings/pages/live_preview_section.h"

#include "pets/pet_avatar.h"
#include "pets/pet_provenance.h"
#include "pets/view_pets.h"
#include "settings/pages/live_preview_layout.h"
#include "settings/settings_paint.h"
#include "ui/island_geometry.h"
#include "ui/island_paint.h"
#include "ui/overlay_settings.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace tandrel {

using namespace live_preview;

namespace {

QColor white(qreal alpha) { return QColor::fromRgbF(1, 1, 1, static_cast<float>(alpha)); }

QColor withAlpha(QColor color, qreal alpha) {
  color.setAlphaF(static_cast<float>(alpha));
  return color;
}

void drawPill(QPainter& painter, const QString& text, const QRectF& rect, bool active, const QColor& accent) {
  island_paint::fillAndStrokeRoundedRect(painter, rect, 8, active ? withAlpha(accent, 0.14) : white(0.035),
                                         active ? withAlpha(accent, 0.32) : white(0.08));
  island_paint::drawText(painter, text, rect.adjusted(3, 4, -3, -4), islandFont(10), active ? accent : white(0.42),
                         island_paint::TextAlignment::center);
}

}  // namespace

void LivePreviewSection::drawHeader(QPainter& painter, const QRectF& header) {
  const PetChoice* choice = context_.pets().selected();
  const QString name = choice != nullptr ? choice->name : QStringLiteral("Pixel Cat");
  const QFont nameFont = islandFont(13);
  island_paint::drawText(painter, name, QRectF(header.left(), header.top() + 4, 400, 18), nameFont, white(0.8));
  const qreal badgeX = header.left() + std::ceil(island_paint::textWidth(name, nameFont)) + 8;
  settings_paint::drawSourceBadge(painter, choice != nullptr ? sourceBadgeLabel(*choice) : QStringLiteral("built-in"),
                                  badgeX, header.top() + 5,
                                  choice != nullptr ? sourceBadgeColor(*choice) : sourceBadgeColor(PetSourceKind::builtIn));
  if (choice != nullptr) {
    island_paint::drawText(painter, petProvenanceDetail(*choice),
                           QRectF(header.left(), header.top() + 22, header.width() - 200, 14), islandFont(10),
                           white(0.32));
  }
  const QString reduce = QStringLiteral("Reduce motion");
  const qreal reduceWidth = island_paint::textWidth(reduce, islandFont(10));
  island_paint::drawText(painter, reduce, QRectF(791 - reduceWidth - 8, header.top() + 10, reduceWidth + 1, 14),
                         islandFont(10), white(0.32));
  settings_paint::drawToggle(painter, 791, header.top() + 6, state_.reduceMotion);
}

void LivePreviewSection::drawSizeControl(QPainter& painter, const QRectF& control) {
  island_paint::fillAndStrokeRoundedRect(painter, control, 12, white(0.03), white(0.08));
  island_paint::drawText(painter, QStringLiteral("Pet size"), QRectF(control.left() + 6, control.top() + 9, 44, 13),
                         islandFont(10), white(0.36));
  const std::vector<QRectF> pills = sizePillRects(control);
  for (size_t i = 0; i < pills.size(); ++i) {
    const bool chosen = sizeChosen(state_.petScale, kSizeChoices[i].scale);
    if (chosen) {
      painter.setPen(Qt::NoPen);
      painter.setBrush(withAlpha(settings_paint::kSelectionBlue, 0.18));
      painter.drawRoundedRect(pills[i], 6, 6);
    }
    island_paint::drawText(painter, QString::fromLatin1(kSizeChoices[i].label), pills[i].adjusted(0, 5, 0, -5),
                           islandFont(10), chosen ? settings_paint::kInformationBlue : white(0.42),
                           island_paint::TextAlignment::center);
  }
  const QRectF track = sliderTrackRect(control);
  painter.setPen(Qt::NoPen);
  painter.setBrush(white(0.15));
  painter.drawRoundedRect(track, 2.5, 2.5);
  const qreal u = std::clamp((state_.petScale - 0.75) / (1.6 - 0.75), 0.0, 1.0);
  painter.setBrush(settings_paint::kSelectionBlue);
  painter.drawRect(QRectF(track.left(), track.top(), track.width() * u, track.height()));
  painter.drawEllipse(QRectF(track.left() + track.width() * u - 8, track.top() - 6, 17, 17));
  island_paint::drawText(painter, QString::number(std::llround(state_.petScale * 100)) + QLatin1Char('%'),
                         QRectF(control.right() - 42, control.top() + 8, 36, 13), islandFont(11), white(0.45),
                         island_paint::TextAlignment::right);
}

void LivePreviewSection::drawCanvas(QPainter& painter, const QRectF& canvas) {
  QPainterPath outline;
  outline.addRoundedRect(canvas, 12, 12);
  painter.fillPath(outline, QColor::fromRgbF(0, 0, 0, 0.25f));
  painter.strokePath(outline, QPen(white(0.08), 1));
  painter.save();
  painter.setClipPath(outline, Qt::IntersectClip);
  const bool motion = !control_.effectiveLivePreviewReduceMotion();
  const PetPreviewStateStyle style = previewStateStyle(context_.settings().values().previewState);
  const double phase = state_.phase;
  // A fixture's preview stands still at its phase: the pet's frame is taken at that time too.
  const PetAvatarContext context{context_.pets().choices, !motion, state_.fixtureMode ? phase : context_.mediaSeconds()};
  const QString& pet = context_.settings().values().selectedPetID;
  const qreal s = previewPetSide(state_.petScale);
  switch (state_.mode) {
    case PetPreviewMode::bubble:
    case PetPreviewMode::floating: {
      const qreal dy = motion ? floatingY(phase) * (state_.mode == PetPreviewMode::bubble ? 1.5 : 1.0) : 0;
      const qreal top = canvas.top();
      island_paint::drawText(painter, QStringLiteral("Codex CLI"), QRectF(canvas.left(), top + 24 + dy, canvas.width(), 14),
                             islandFont(11), white(0.58), island_paint::TextAlignment::center);
      island_paint::drawText(painter, QString::fromUtf8(style.label) + QStringLiteral(" \u00b7 Click to open app"),
                             QRectF(canvas.left(), top + 40 + dy, canvas.width(), 14), islandFont(10), style.color,
                             island_paint::TextAlignment::center);
      drawPetAvatar(painter, context, pet, QRectF(canvas.center().x() - s / 2, top + 62 + dy, s, s), style.petState);
      break;
    }
    case PetPreviewMode::roaming: {
      const qreal pct = motion ? roamingLeftPct(phase) : 36;
      const QRectF rect(canvas.left() + canvas.width() * pct / 100, canvas.top() + 70, s, s);
      island_paint::drawText(painter, QString::fromUtf8(style.label),
                             QRectF(rect.center().x() - 72, canvas.top() + 30, 144, 15), islandFont(11), style.color,
                             island_paint::TextAlignment::center);
      island_paint::drawText(painter, QStringLiteral("Strong alert preview"),
                             QRectF(rect.center().x() - 72, canvas.top() + 47, 144, 13), islandFont(10), white(0.32),
                             island_paint::TextAlignment::center);
      drawPetAvatar(painter, context, pet, rect, style.petState);
      break;
    }
    case PetPreviewMode::tucked: {
      const QRectF capsule(canvas.center().x() - 120, canvas.center().y() - 26, 240, 52);
      island_paint::fillAndStrokeRoundedRect(painter, capsule, 26, white(0.06), white(0.1));
      const QRectF rect(capsule.left() + 16, capsule.center().y() - 14, 28, 28);
      drawPetAvatar(painter, context, pet, rect, PetState::idle);
      island_paint::drawText(painter, QStringLiteral("Tucked Away"), QRectF(rect.right() + 12, capsule.top() + 10, 170, 16),
                             islandFont(12), white(0.6));
      island_paint::drawText(painter, QStringLiteral("Matches Codex pet hide semantics"),
                             QRectF(rect.right() + 12, capsule.top() + 28, 170, 14), islandFont(10), white(0.28));
      break;
    }
  }
  painter.restore();
}

qreal LivePreviewSection::draw(QPainter& painter, qreal below) {
  settings_paint::drawSectionTitle(painter, QStringLiteral("Live Preview"), below + 14);
  const QRectF panel = panelRect(below);
  settings_paint::drawRoundedPanel(painter, panel);
  drawHeader(painter, headerRect(below));
  for (const auto& [mode, rect] : modeRowPillRects(modeRowRect(below))) {
    const QString raw = rawValue(mode);
    drawPill(painter, raw.left(1).toUpper() + raw.mid(1), rect, mode == state_.mode,
             settings_paint::kInformationBlue);
  }
  drawSizeControl(painter, sizeControlRect(below));
  drawCanvas(painter, canvasRect(below));
  const PetPreviewStateID current = context_.settings().values().previewState;
  for (const auto& [state, rect] : statePillRects(statePillArea(below))) {
    const PetPreviewStateStyle style = previewStateStyle(state);
    drawPill(painter, QString::fromUtf8(style.label), rect, state == current, style.color);
  }
  return panel.bottom() + 16;
}

std::vector<SettingsClickRoute> LivePreviewSection::routes(qreal below) {
  std::vector<SettingsClickRoute> routes;
  for (const auto& [mode, rect] : modeRowPillRects(modeRowRect(below))) {
    // A mode pill chooses the desktop companion's mode too, not only the preview's.
    routes.push_back({rect, [this, mode = mode] {
                        state_.mode = mode;
                        state_.phase = 0;
                        const CompanionDisplayMode companion = *parseCompanionDisplayMode(rawValue(mode));
                        context_.settings().change([companion](UserSettings& values) {
                          values.companionDisplayMode = companion;
                        });
                        context_.settingsDidChange();
                        control_.livePreviewChanged();
                        context_.evaluateAnimationTimer();
                      }});
  }
  const QRectF control = sizeControlRect(below);
  const std::vector<QRectF> pills = sizePillRects(control);
  for (size_t i = 0; i < pills.size(); ++i) {
    routes.push_back({pills[i], [this, scale = kSizeChoices[i].scale] { control_.setFloatingPetScale(scale); }});
  }
  const QRectF track = sliderTrackRect(control);
  // The knob reaches 8 past the track's ends and 6 above and below it.
  routes.push_back({track.adjusted(-8, -6, 8, 6), [this, track] { control_.beginLivePreviewSliderInteraction(track); }});
  routes.push_back({reduceMotionToggleRect(below), [this] {
                      state_.reduceMotion = !state_.reduceMotion;
                      control_.livePreviewChanged();
                    }});
  for (const auto& [state, rect] : statePillRects(statePillArea(below))) {
    routes.push_back({rect, [this, state = state] {
                        context_.settings().change([state](UserSettings& values) { values.previewState = state; });
                        context_.settingsDidChange();
                      }});
  }
  return routes;
}

}  // namespace tandrel
