#include "pets/pet_avatar.h"

#include "pets/pet_catalog.h"
#include "pets/pet_figures.h"
#include "pets/pet_images.h"
#include "pets/pet_sprite.h"
#include "ui/island_geometry.h"

#include <QPainter>

#include <algorithm>

namespace tandrel {

void drawPetAvatar(QPainter& painter, const PetAvatarContext& context, const QString& id, const QRectF& rect,
                   PetState state) {
  const QRectF moved = context.reduceMotion ? rect : movedPetRect(rect, state, context.mediaSeconds);
  const PetChoice* choice = findPetChoice(context.petChoices, id);
  const std::optional<QImage> image = choice != nullptr ? petImage(*choice) : std::nullopt;
  if (!image) {
    drawVectorPet(painter, id, SvgPlot::in(moved), state);
    return;
  }
  if (choice->isCodexSprite) {
    const CodexSpriteFrame frame = activeCodexSpriteFrame(state, context.reduceMotion, context.mediaSeconds);
    const QRectF source = spriteCellSourceRect(QSizeF(image->size()), frame);
    drawPixelImage(painter, *image, aspectFitRect(source.size(), moved), source, spriteFrameAlpha(state));
    return;
  }
  const QRectF inset = moved.adjusted(std::max(0.0, 0.08 * moved.width()), std::max(0.0, 0.08 * moved.height()),
                                      -std::max(0.0, 0.08 * moved.width()), -std::max(0.0, 0.08 * moved.height()));
  // The top-left square of the picture.
  const qreal side = std::min(image->width(), image->height());
  const QRectF source = image->width() > 0 && image->height() > 0 ? QRectF(0, 0, side, side) : QRectF();
  drawPixelImage(painter, *image, aspectFitRect(source.size(), inset), source, singlePictureAlpha(state));
  if (state == PetState::approval) {
    painter.save();
    painter.setFont(islandFont(std::max(0.26 * moved.height(), 10.0), QFont::Bold));
    painter.setPen(QColor(255, 187, 0));
    painter.drawText(QRectF(QPointF(moved.right() - 6, moved.top() - 1), QSizeF(100, 100)),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, QStringLiteral("!"));
    painter.restore();
  }
}

}  // namespace tandrel
