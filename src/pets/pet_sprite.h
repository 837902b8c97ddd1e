#pragma once

// Sprite-sheet animation: which cell of the 8 × 9 sheet a pet state shows at a moment of the
// monotonic clock, and the small motion every pet makes in each state. Pure functions of the
// state and the time: every view that draws the same state shows the same frame at once.

#include "attention/pet_state.h"

#include <QRectF>
#include <QSizeF>

#include <vector>

namespace tandrel {

struct CodexSpriteFrame {
  int rowIndex = 0;
  int columnIndex = 0;
  int frameDurationMs = 0;  // how long the frame stays on screen

  bool operator==(const CodexSpriteFrame&) const = default;
};

// The frames of a state in column order: idle row 0, working row 7, approval row 6, done row 8,
// error and tired row 5.
std::vector<CodexSpriteFrame> codexSpriteFrames(PetState state);

// The frame shown at `mediaSeconds` of the monotonic clock; with reduced motion the first frame.
CodexSpriteFrame activeCodexSpriteFrame(PetState state, bool reduceMotion, double mediaSeconds);

// The cell of `frame` in a sheet of `imageSize`, in the image's y-down pixel coordinates.
QRectF spriteCellSourceRect(const QSizeF& imageSize, const CodexSpriteFrame& frame);

// The state's motion at `mediaSeconds`: offsets in points (y grows downwards) and a scale.
struct PetMotion {
  qreal dx = 0;
  qreal dy = 0;
  qreal scale = 1;
};
PetMotion petMotion(PetState state, double mediaSeconds);

// `rect` scaled about its centre and moved by the state's motion.
QRectF movedPetRect(const QRectF& rect, PetState state, double mediaSeconds);

// The alpha a sprite frame is drawn at (0.76 when tired), and a single picture (0.72 when tired).
qreal spriteFrameAlpha(PetState state);
qreal singlePictureAlpha(PetState state);

}  // namespace tandrel
