#pragma once

// The pet strip at the left of the expanded island: the selected pet in the agents' state, which
// slides out to the left and back once every 3.65 s after a mode change, its state word and a
// divider.

#include "attention/pet_state.h"
#include "pets/pet_choice.h"

#include <QRectF>
#include <QString>

#include <vector>

class QPainter;

namespace tandrel {

// The pet at rest, the state label and the divider, in the island panel's coordinates.
inline constexpr QRectF kExpandedPetRailPetRect{30, 24, 76, 84};
inline constexpr QRectF kExpandedPetRailLabelRect{12, 106, 112, 16};
inline constexpr QRectF kExpandedPetRailDividerRect{124, 45, 1, 96};
// The peek: 0.65 s out and back, reaching 1.55 pet widths to the left, then 3 s at rest.
inline constexpr double kPetRailPeekDistance = 1.55;  // in widths of the rail's pet
inline constexpr double kPetRailPeekSeconds = 0.65;
inline constexpr double kPetRailRestSeconds = 3.0;

// The only rectangle the rail's animation dirties.
QRectF expandedPetRailAnimationDirtyRect();

// The rail's state word: the sprite vocabulary for a sprite-sheet pet, else the plain one.
QString petRailStateLabel(PetState state, bool isCodexSprite);

// Whether the peek is under way at `secondsSinceModeChange` (both ends excluded).
bool petRailPeekRunning(double secondsSinceModeChange);
// How far the pet is slid to the left (negative) at that moment; 0 at rest.
qreal petRailPeekOffset(double secondsSinceModeChange);

struct PetRailContext {
  const std::vector<PetChoice>& petChoices;
  QString selectedPetID;
  PetState state = PetState::idle;
  bool reduceMotion = false;
  bool testEnvironment = false;    // the pet stays at rest in the test environment
  double mediaSeconds = 0;         // the monotonic clock now
  double modeAnimationStarted = 0; // the monotonic time of the last mode change
};

void drawExpandedPetRail(QPainter& painter, const PetRailContext& context);

}  // namespace tandrel
