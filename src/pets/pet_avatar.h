#pragma once

// Drawing one pet for a pet state in a rectangle: the sprite-sheet frame the clock calls for, a
// single picture, or a painted figure, with the state's small motion. Every place that shows a
// pet (the island, the settings page) draws it through drawPetAvatar.

#include "attention/pet_state.h"
#include "pets/pet_choice.h"

#include <QRectF>
#include <QString>

#include <vector>

class QPainter;

namespace tandrel {

// What a pet drawing reads of its view.
struct PetAvatarContext {
  const std::vector<PetChoice>& petChoices;
  bool reduceMotion = false;
  double mediaSeconds = 0;  // the monotonic clock, for the frame and the motion
};

// Draws pet `id` in `rect` (y down). The first choice with the id is drawn from its picture when
// one loads; an id without a choice or a loadable picture is painted by id (the capybara when it
// names no figure). With reduced motion the rectangle stays put and a sprite shows its first frame.
void drawPetAvatar(QPainter& painter, const PetAvatarContext& context, const QString& id, const QRectF& rect,
                   PetState state);

}  // namespace tandrel
