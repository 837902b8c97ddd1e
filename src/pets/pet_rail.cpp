#include "pets/pet_rail.h"

#include "pets/pet_avatar.h"
#include "pets/pet_catalog.h"
#include "ui/island_geometry.h"

#include <QPainter>

#include <cmath>
#include <numbers>

namespace tandrel {

QRectF expandedPetRailAnimationDirtyRect() { return QRectF(0, kExpandedPetRailPetRect.top() - 4, 126, 124); }

QString petRailStateLabel(PetState state, bool isCodexSprite) {
  switch (state) {
    case PetState::idle: return QStringLiteral("idle");
    case PetState::working: return isCodexSprite ? QStringLiteral("running") : QStringLiteral("working");
    case PetState::approval: return isCodexSprite ? QStringLiteral("waiting") : QStringLiteral("approval");
    case PetState::done: return isCodexSprite ? QStringLiteral("review") : QStringLiteral("done");
    case PetState::error: return isCodexSprite ? QStringLiteral("failed") : QStringLiteral("error");
    case PetState::tired: return isCodexSprite ? QStringLiteral("failed") : QStringLiteral("tired");
  }
  return QString();
}

bool petRailPeekRunning(double secondsSinceModeChange) {
  const double t = std::fmod(secondsSinceModeChange, kPetRailPeekSeconds + kPetRailRestSeconds);
  return t > 0 && t < kPetRailPeekSeconds;
}

qreal petRailPeekOffset(double secondsSinceModeChange) {
  if (!petRailPeekRunning(secondsSinceModeChange)) {
    return 0;
  }
  const double p = std::fmod(secondsSinceModeChange, kPetRailPeekSeconds + kPetRailRestSeconds) / kPetRailPeekSeconds;
  return std::sin(-std::numbers::pi * p) * kPetRailPeekDistance * kExpandedPetRailPetRect.width();
}

void drawExpandedPetRail(QPainter& painter, const PetRailContext& context) {
  QRectF pet = kExpandedPetRailPetRect;
  if (!context.reduceMotion && !context.testEnvironment && pet.width() > 0) {
    pet.translate(petRailPeekOffset(context.mediaSeconds - context.modeAnimationStarted), 0);
  }
  drawPetAvatar(painter, {context.petChoices, context.reduceMotion, context.mediaSeconds}, context.selectedPetID, pet,
                context.state);

  const PetChoice* selected = findPetChoice(context.petChoices, context.selectedPetID);
  painter.save();
  painter.setFont(islandFont(10));
  QColor label(255, 255, 255);
  label.setAlphaF(0.3);
  painter.setPen(label);
  painter.drawText(kExpandedPetRailLabelRect, Qt::AlignCenter,
                   petRailStateLabel(context.state, selected != nullptr && selected->isCodexSprite));
  QColor divider(255, 255, 255);
  divider.setAlphaF(0.045);
  painter.fillRect(kExpandedPetRailDividerRect, divider);
  painter.restore();
}

}  // namespace tandrel
