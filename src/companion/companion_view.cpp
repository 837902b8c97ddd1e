#include "companion/companion_view.h"

#include "catalog/tool_catalog.h"
#include "companion/companion_layout.h"
#include "events/event_store.h"
#include "pets/pet_catalog.h"
#include "pets/pet_images.h"
#include "pets/pet_sprite.h"
#include "ui/island_geometry.h"
#include "ui/island_paint.h"
#include "ui/live_animation_timers.h"
#include "ui/settings_model.h"

#include <QBitmap>
#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace tandrel {

using namespace companion;

bool defaultCompanionVisibility(const QWidget& window) {
  const QWindow* handle = window.windowHandle();
  return handle != nullptr && handle->isExposed();
}

TandrelCompanionView::TandrelCompanionView(EventStore& store, SettingsModel& settings, bool translucent, Clock& clock)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus),
      store_(store),
      settings_(settings),
      clock_(clock),
      translucent_(translucent) {
  setAttribute(Qt::WA_ShowWithoutActivating);
  setAttribute(Qt::WA_TranslucentBackground, translucent);
  setAttribute(Qt::WA_NoSystemBackground);
  setWindowTitle(QStringLiteral("Tandrel Companion"));
  lastTickerRotationAt_ = mediaTime();
  evaluateAnimationTimer();
}

TandrelCompanionView::~TandrelCompanionView() { prepareForTermination(); }

bool TandrelCompanionView::reduceMotion() const { return settings_.values().reduceMotion; }

void TandrelCompanionView::evaluateAnimationTimer() {
  if (timerInvalidated_) return;
  if (reduceMotion() || animationDrivenByOwner_) {
    stopAnimationTimer();
    return;
  }
  if (timer_ != nullptr) return;
  timer_ = new QTimer(this);
  // A coarse timer lets the system gather wake-ups; the sprite frame follows the clock anyway.
  timer_->setTimerType(Qt::CoarseTimer);
  timer_->setInterval(kAnimationInterval);
  connect(timer_, &QTimer::timeout, this, &TandrelCompanionView::animationTick);
  timer_->start();
  ++liveAnimationTimerCount;
  ++liveAnimationTimerCountForTests;
}

void TandrelCompanionView::stopAnimationTimer() {
  if (timer_ == nullptr) return;
  timer_->stop();
  timer_->deleteLater();
  timer_ = nullptr;
  liveAnimationTimerCount = std::max(0, liveAnimationTimerCount - 1);
  --liveAnimationTimerCountForTests;
}

void TandrelCompanionView::setAnimationDrivenByOwner(bool driven) {
  if (animationDrivenByOwner_ == driven) return;
  animationDrivenByOwner_ = driven;
  evaluateAnimationTimer();
}

void TandrelCompanionView::prepareForTermination() {
  if (timerInvalidated_) return;
  timerInvalidated_ = true;
  stopAnimationTimer();
}

void TandrelCompanionView::animationTick() {
  if (reduceMotion()) {
    evaluateAnimationTimer();
    return;
  }
  const bool visible = visibilityOverrideForTests ? visibilityOverrideForTests() : defaultCompanionVisibility(*this);
  if (!visible) return;
  const std::vector<CompanionStatusItem> ticker = tickerProvider();
  showNewApprovals(ticker);
  const auto count = static_cast<int>(ticker.size());
  const double now = mediaTime();
  if (count >= 2 && now - lastTickerRotationAt_ >= kTickerRotationSeconds) {
    tickerIndex_ = (tickerIndex_ + 1) % count;
    lastTickerRotationAt_ = now;
  }
  update();
}

CompanionDrawnInputs TandrelCompanionView::drawnInputs() const {
  CompanionDrawnInputs inputs;
  inputs.snapshot = petSnapshotProvider();
  const std::vector<CompanionStatusItem> ticker = tickerProvider();
  inputs.labelItem = ticker.empty() ? statusProvider() : std::optional(ticker[tickerIndex_ % ticker.size()]);
  const PetState agentsState = inputs.labelItem
                                   ? previewStateStyle(inputs.labelItem->event.petPreviewStateID()).petState
                                   : store_.petState();
  inputs.state = previewStateStyle(companionPreviewState(agentsState, settings_.values().previewState)).petState;
  inputs.displayMode = displayMode;
  inputs.placementMode = placementMode;
  inputs.darkAppearance = darkAppearance;
  inputs.reduceMotion = reduceMotion();
  inputs.size = size();
  return inputs;
}

void TandrelCompanionView::showNewApprovals(const std::vector<CompanionStatusItem>& ticker) {
  QSet<QString> approvals;
  std::optional<int> firstNew;
  for (std::size_t i = 0; i < ticker.size(); ++i) {
    if (ticker[i].kind != CompanionStatusKind::approval) continue;
    approvals.insert(ticker[i].event.id);
    if (!firstNew && !tickerApprovalIDs_.contains(ticker[i].event.id)) firstNew = static_cast<int>(i);
  }
  tickerApprovalIDs_ = std::move(approvals);
  if (!firstNew) return;
  tickerIndex_ = *firstNew;
  lastTickerRotationAt_ = mediaTime();
}

void TandrelCompanionView::redrawIfChanged() {
  // The controller's refreshes come here also while the view's own timer is off (reduce motion).
  showNewApprovals(tickerProvider());
  if (lastDrawnInputs_ != drawnInputs()) update();
}

void TandrelCompanionView::drawCompanion(QPainter& painter) {
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.fillRect(rect(), Qt::transparent);
  painter.setCompositionMode(QPainter::CompositionMode_SourceOver);

  const CompanionDrawnInputs inputs = drawnInputs();
  lastDrawnInputs_ = inputs;
  labelStatusItem_ = inputs.labelItem;
  const std::optional<PetRenderSnapshot>& snapshot = inputs.snapshot;
  const PetState state = inputs.state;

  const QRectF bounds(QPointF(0, 0), QSizeF(size()));
  const double now = mediaTime();
  QRectF pet = companionPetContentRect(bounds, displayMode);
  if (!inputs.reduceMotion) pet.translate(companionPetMotion(state, now));

  const CompanionLabelRects rects = companionLabelRects(bounds, pet, displayMode);
  const LabelInputs label{
      labelStatusItem_ ? toolDisplayName(labelStatusItem_->event.source) : QStringLiteral("Codex CLI"),
      companionInlineLabel(placementMode, displayMode, state, labelStatusItem_),
      rects.title,
      rects.detail,
      displayMode,
      darkAppearance,
      size(),
      painter.device()->devicePixelRatioF()};
  // The label is the first thing drawn on the cleared image, so a layer of it copied over the
  // image gives the same pixels. While the pet only bobs under it (a roaming pet's label sits at
  // the top), the shaping, the bubble's fill and the text are done once, not at every paint; a
  // label that moved since the last paint is drawn directly.
  QRectF bubble;
  if (labelLayer_ && labelLayer_->inputs == label) {
    painter.drawImage(QPointF(0, 0), labelLayer_->image);
    bubble = labelLayer_->bubble;
  } else if (lastLabelInputs_ == label) {
    QImage image(QSizeF(QSizeF(size()) * label.devicePixelRatio).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(label.devicePixelRatio);
    image.fill(Qt::transparent);
    QPainter layer(&image);
    layer.setRenderHint(QPainter::Antialiasing);
    bubble = drawLabel(layer, label);
    layer.end();
    painter.drawImage(QPointF(0, 0), image);
    labelLayer_ = LabelLayer{label, std::move(image), bubble};
  } else {
    bubble = drawLabel(painter, label);
  }
  lastLabelInputs_ = label;
  labelHitRect_ = bubble.adjusted(-kLabelHitMargin, -kLabelHitMargin, kLabelHitMargin, kLabelHitMargin);

  // The pet goes over the label where they meet.
  const PetChoice* choice = snapshot ? findPetChoice(snapshot->petChoices, snapshot->selectedPetID) : nullptr;
  const std::optional<QImage> image = choice != nullptr ? petImage(*choice) : std::nullopt;
  if (!image) {
    drawSimplePet(painter, pet, state);
  } else if (choice->isCodexSprite) {
    const CodexSpriteFrame frame = activeCodexSpriteFrame(state, snapshot->reduceMotion, now);
    const QRectF source = spriteCellSourceRect(QSizeF(image->size()), frame);
    drawPixelImage(painter, *image, aspectFitRect(source.size(), pet), source, spriteFrameAlpha(state));
  } else {
    const qreal side = std::min(image->width(), image->height());
    const QRectF source(0, 0, side, side);
    drawPixelImage(painter, *image, aspectFitRect(source.size(), pet), source, singlePictureAlpha(state));
  }

  if (placementMode) {
    island_paint::drawText(painter, QStringLiteral("move"), QRectF(0, 8, bounds.width(), 16),
                           islandFont(10, QFont::DemiBold), QColor::fromRgbF(1, 1, 1, 0.55f),
                           island_paint::TextAlignment::center);
  }
}

QRectF TandrelCompanionView::drawLabel(QPainter& painter, const LabelInputs& label) {
  ++labelDrawCountForTests;
  const QRectF bounds(QPointF(0, 0), QSizeF(label.size));
  const CompanionLabelRects rects{label.titleRect, label.detailRect};
  const QFont titleFont = islandFont(label.displayMode == CompanionDisplayMode::tucked ? 10 : 11);
  const QFont detailFont = islandFont(10);
  const auto [title, detailLine] = companionJumpLines(
      label.target, label.detail, companionLabelCharacterLimit(rects.title.width(), titleFont.pixelSize()),
      companionLabelCharacterLimit(rects.detail.width(), detailFont.pixelSize()));
  const CompanionTextColors textColors = companionTextColors(label.darkAppearance);

  const QRectF bubble = companionLabelBubble(bounds, rects, label.displayMode, island_paint::textWidth(title, titleFont),
                                             island_paint::textWidth(detailLine, detailFont));
  const CompanionLabelChrome chrome = companionLabelChrome(label.darkAppearance);
  painter.setPen(Qt::NoPen);
  painter.setBrush(chrome.fill);
  painter.drawRoundedRect(bubble, 10, 10);
  painter.setPen(QPen(chrome.border, 1));
  painter.setBrush(Qt::NoBrush);
  painter.drawRoundedRect(bubble.adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
  const auto alignment = label.displayMode == CompanionDisplayMode::tucked ? island_paint::TextAlignment::left
                                                                            : island_paint::TextAlignment::center;
  island_paint::drawText(painter, title, rects.title, titleFont, textColors.title, alignment);
  island_paint::drawText(painter, detailLine, rects.detail, detailFont, textColors.detail, alignment);
  return bubble;
}

void TandrelCompanionView::drawSimplePet(QPainter& painter, const QRectF& r, PetState state) const {
  const QColor body = [&] {
    switch (state) {
      case PetState::idle:
        return QColor::fromRgbF(0.82f, 0.82f, 0.82f);
      case PetState::working:
        return QColor(197, 197, 224);
      case PetState::approval:
        return QColor(232, 213, 168);
      case PetState::done:
        return QColor(184, 232, 200);
      case PetState::error:
        return QColor(232, 184, 184);
      case PetState::tired:
        return QColor(184, 184, 200);
    }
    return QColor(197, 197, 224);
  }();
  painter.save();
  painter.setPen(Qt::NoPen);
  painter.setBrush(body);
  const QRectF b(r.left() + 5, r.top() + 11, r.width() - 10, 0.62 * r.height());
  painter.drawEllipse(b);
  painter.drawRoundedRect(QRectF(r.center().x() - 16, r.bottom() - 18, 32, 13), 7, 7);
  const auto triangle = [&](QPointF a, QPointF c, QPointF d) {
    QPainterPath path;
    path.moveTo(a);
    path.lineTo(c);
    path.lineTo(d);
    path.closeSubpath();
    painter.drawPath(path);
  };
  triangle({b.left() + 8, b.top() + 11}, {b.left() + 16, b.top() - 7}, {b.left() + 24, b.top() + 12});
  triangle({b.right() - 24, b.top() + 12}, {b.right() - 16, b.top() - 7}, {b.right() - 8, b.top() + 11});

  const auto line = [&](QPointF from, QPointF to, const QColor& color) {
    painter.setPen(QPen(color, 1.5, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(from, to);
    painter.setPen(Qt::NoPen);
  };
  const QColor nearBlack = QColor::fromRgbF(0.06f, 0.06f, 0.06f);
  for (const qreal share : {0.3, 0.58}) {
    const QRectF eye(b.left() + share * b.width(), b.top() + 0.42 * b.height(), 8, 8);
    if (state == PetState::error) {
      line(eye.topLeft(), eye.bottomRight(), QColor(255, 85, 85));
      line(eye.bottomLeft(), eye.topRight(), QColor(255, 85, 85));
    } else if (state == PetState::working) {
      line({eye.left(), eye.center().y()}, {eye.right(), eye.center().y()}, nearBlack);
    } else {
      painter.setBrush(nearBlack);
      painter.drawEllipse(eye);
    }
  }
  painter.setBrush(QColor(255, 158, 181));
  painter.drawEllipse(QRectF(b.center().x() - 3, b.top() + 0.62 * b.height(), 6, 4));

  if (state == PetState::approval || state == PetState::error) {
    island_paint::drawText(painter, QStringLiteral("!"), QRectF(r.right() - 11, r.top() - 2, 12, 18),
                           islandFont(14, QFont::Bold), petAccentColor(state), island_paint::TextAlignment::center);
  } else if (state == PetState::tired) {
    island_paint::drawText(painter, QStringLiteral("z"), QRectF(r.right() - 12, r.top() - 2, 12, 18),
                           islandFont(13, QFont::Bold), QColor::fromRgbF(1, 1, 1, 0.42f),
                           island_paint::TextAlignment::center);
  }
  painter.restore();
}

QImage TandrelCompanionView::renderImage(qreal devicePixelRatio) {
  QImage image(QSizeF(QSizeF(size()) * devicePixelRatio).toSize(), QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(devicePixelRatio);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  drawCompanion(painter);
  return image;
}

void TandrelCompanionView::updateDrawnRegion(const QImage& image) {
  // Every pixel drawn at all takes the pointer; the rest of the window lets it through, and
  // without a compositor is not shown.
  // Cutting the region is the costly part, and a paint whose pet held still and whose label kept
  // its text leaves the alpha as it was.
  QImage alpha = image.convertToFormat(QImage::Format_Alpha8);
  if (alpha == drawnAlpha_) return;
  drawnAlpha_ = std::move(alpha);
  ++maskRebuildCountForTests;
  const qreal ratio = image.devicePixelRatio();
  QImage atOne = ratio == 1 ? image : image.scaled(size(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
  QRegion region(QBitmap::fromImage(atOne.createAlphaMask(Qt::MonoOnly | Qt::ThresholdDither)));
  if (region == drawnRegion_) return;
  drawnRegion_ = region;
  // The native window is cut, not the widget: a widget's mask would clip every paint to it, and
  // the raster engine fills a clip of that many spans on helper threads.
  if (QWindow* window = windowHandle()) window->setMask(region.isEmpty() ? QRegion(0, 0, 1, 1) : region);
}

void TandrelCompanionView::paintEvent(QPaintEvent*) {
  ++paintCountForTests;
  const QImage image = renderImage(devicePixelRatioF());
  QPainter painter(this);
  // With a compositor the window holds premultiplied alpha like the image, and copying it is a
  // plain blit. Without one the window's pixels are opaque and a copy would go span by span
  // (spread over helper threads); the image blended over black writes the same pixels in one
  // pass.
  if (translucent_) {
    painter.setCompositionMode(QPainter::CompositionMode_Source);
  } else {
    painter.fillRect(rect(), Qt::black);
  }
  painter.drawImage(QPointF(0, 0), image);
  painter.end();
  updateDrawnRegion(image);
}

void TandrelCompanionView::pointerPressed(QPointF screenPoint) {
  didDrag_ = false;
  releaseOfDoubleClick_ = false;
  dragStartMouse_ = screenPoint;
  dragStartFrame_ = QRectF(geometry());
}

void TandrelCompanionView::pointerDragged(QPointF screenPoint) {
  if (!dragStartMouse_ || !dragStartFrame_) return;
  const QPointF d = screenPoint - *dragStartMouse_;
  if (std::abs(d.x()) > kDragThreshold || std::abs(d.y()) > kDragThreshold) didDrag_ = true;
  // The window follows from the first pixel; only the click-or-drag decision waits.
  move(dragStartFrame_->translated(d).topLeft().toPoint());
}

void TandrelCompanionView::pointerReleased(QPointF screenPoint, int clickCount) {
  dragStartMouse_.reset();
  dragStartFrame_.reset();
  if (clickCount > 1) return;
  const QPointF point = mapFromGlobal(screenPoint.toPoint());
  if (!didDrag_ && labelStatusItem_ && labelHitRect_.contains(point)) {
    if (actions.openStatus) actions.openStatus(*labelStatusItem_);
    return;
  }
  if (actions.persistFrame) actions.persistFrame(QRectF(geometry()));
  if (placementMode) {
    if (actions.endPlacement) actions.endPlacement();
  } else if (!didDrag_ && actions.openPetSettings) {
    actions.openPetSettings();
  }
}

void TandrelCompanionView::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) pointerPressed(event->globalPosition());
}

void TandrelCompanionView::mouseMoveEvent(QMouseEvent* event) {
  if (event->buttons() & Qt::LeftButton) pointerDragged(event->globalPosition());
}

void TandrelCompanionView::mouseDoubleClickEvent(QMouseEvent* event) {
  // Qt reports the second press of a double click here; its release does nothing.
  if (event->button() == Qt::LeftButton) {
    pointerPressed(event->globalPosition());
    releaseOfDoubleClick_ = true;
  }
}

void TandrelCompanionView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  pointerReleased(event->globalPosition(), releaseOfDoubleClick_ ? 2 : 1);
}

void TandrelCompanionView::contextMenuEvent(QContextMenuEvent* event) {
  if (actions.showMenu) actions.showMenu(QPointF(event->globalPos()));
}

// The display server reports the pointer crossing into and out of the window, also when the
// window moves under a pointer that holds still, so nobody needs to ask where the pointer is.
void TandrelCompanionView::enterEvent(QEnterEvent*) { pointerInside_ = true; }

void TandrelCompanionView::leaveEvent(QEvent*) { pointerInside_ = false; }

}  // namespace tandrel
