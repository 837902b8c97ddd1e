#include "pets/pet_sprite.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tandrel {

namespace {

// Every frame of the row but the last shows for `shortMs`, the last for `longMs`.
std::vector<CodexSpriteFrame> rowFrames(int row, int count, int shortMs, int longMs) {
  std::vector<CodexSpriteFrame> frames;
  frames.reserve(count);
  for (int column = 0; column < count; ++column) {
    frames.push_back({row, column, column + 1 < count ? shortMs : longMs});
  }
  return frames;
}

}  // namespace

std::vector<CodexSpriteFrame> codexSpriteFrames(PetState state) {
  switch (state) {
    case PetState::idle:
      return {{0, 0, 1680}, {0, 1, 660}, {0, 2, 660}, {0, 3, 840}, {0, 4, 840}, {0, 5, 1920}};
    case PetState::working: return rowFrames(7, 6, 120, 220);
    case PetState::approval: return rowFrames(6, 6, 150, 260);
    case PetState::done: return rowFrames(8, 6, 150, 280);
    case PetState::error:
    case PetState::tired: return rowFrames(5, 8, 140, 240);
  }
  return rowFrames(0, 1, 1, 1);
}

CodexSpriteFrame activeCodexSpriteFrame(PetState state, bool reduceMotion, double mediaSeconds) {
  const std::vector<CodexSpriteFrame> frames = codexSpriteFrames(state);
  if (reduceMotion) {
    return frames.front();
  }
  int total = 0;
  for (const CodexSpriteFrame& frame : frames) {
    total += frame.frameDurationMs;
  }
  total = std::max(total, 1);
  auto remaining = static_cast<long long>(std::fmod(mediaSeconds * 1000.0, static_cast<double>(total)));
  for (const CodexSpriteFrame& frame : frames) {
    remaining -= frame.frameDurationMs;
    if (remaining < 0) {
      return frame;
    }
  }
  return frames.front();
}

QRectF spriteCellSourceRect(const QSizeF& imageSize, const CodexSpriteFrame& frame) {
  const qreal cellWidth = imageSize.width() / 8.0;
  const qreal cellHeight = imageSize.height() / 9.0;
  return QRectF(cellWidth * frame.columnIndex, cellHeight * frame.rowIndex, cellWidth, cellHeight);
}

PetMotion petMotion(PetState state, double t) {
  constexpr double pi = std::numbers::pi;
  switch (state) {
    case PetState::idle: return {0, -0.5 * (1 + std::sin(2 * pi * t / 2.5)), 1};
    case PetState::working: return {0, 0.5 * std::sin(2 * pi * t / 0.35), 1};
    case PetState::approval: return {0, 0, 1 + 0.03 * (1 + std::sin(2 * pi * t / 0.7))};
    case PetState::done: {
      const double twice = 2 * t;
      const double s = std::sin(pi * (twice - std::trunc(twice)));
      return {0, -4 * s, 1 + 0.05 * s};
    }
    case PetState::error: return {2 * std::sin(2 * pi * t / 0.4), 0, 1};
    case PetState::tired: return {0, 0.5 * (1 + std::sin(2 * pi * t / 3)), 1};
  }
  return {};
}

QRectF movedPetRect(const QRectF& rect, PetState state, double mediaSeconds) {
  const PetMotion motion = petMotion(state, mediaSeconds);
  const qreal width = motion.scale * rect.width();
  const qreal height = motion.scale * rect.height();
  return QRectF(rect.center().x() - width / 2 + motion.dx, rect.center().y() - height / 2 + motion.dy, width, height);
}

qreal spriteFrameAlpha(PetState state) { return state == PetState::tired ? 0.76 : 1.0; }

qreal singlePictureAlpha(PetState state) { return state == PetState::tired ? 0.72 : 1.0; }

}  // namespace tandrel
