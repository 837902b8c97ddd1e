#include "pets/pet_sprite.h"

#include <gtest/gtest.h>

namespace tandrel {
namespace {

TEST(PetSpriteTest, FrameTablesHaveTheirRowsCountsAndCycles) {
  const struct {
    PetState state;
    int row;
    int count;
    int cycleMs;
  } cases[] = {
      {PetState::idle, 0, 6, 6600},    {PetState::working, 7, 6, 820}, {PetState::approval, 6, 6, 1010},
      {PetState::done, 8, 6, 1030},    {PetState::error, 5, 8, 1220},  {PetState::tired, 5, 8, 1220},
  };
  for (const auto& c : cases) {
    const std::vector<CodexSpriteFrame> frames = codexSpriteFrames(c.state);
    ASSERT_EQ(static_cast<int>(frames.size()), c.count) << rawValue(c.state).toStdString();
    int total = 0;
    for (int i = 0; i < c.count; ++i) {
      EXPECT_EQ(frames[i].rowIndex, c.row);
      EXPECT_EQ(frames[i].columnIndex, i);
      total += frames[i].frameDurationMs;
    }
    EXPECT_EQ(total, c.cycleMs) << rawValue(c.state).toStdString();
  }
}

TEST(PetSpriteTest, TheFrameIsAFunctionOfTheClock) {
  const struct {
    PetState state;
    double seconds;
    bool reduceMotion;
    int column;
  } cases[] = {
      {PetState::idle, 0.0, false, 0},       {PetState::idle, 1.679, false, 0},   {PetState::idle, 1.70, false, 1},
      {PetState::idle, 2.339, false, 1},     {PetState::idle, 2.35, false, 2},    {PetState::idle, 6.599, false, 5},
      {PetState::idle, 6.6, false, 0},       {PetState::idle, 14.9, false, 1},    {PetState::working, 0.599, false, 4},
      {PetState::working, 0.6, false, 5},    {PetState::working, 0.83, false, 0}, {PetState::working, 0.6, true, 0},
      {PetState::approval, 0.75, false, 5},  {PetState::done, 1.029, false, 5},   {PetState::error, 0.98, false, 7},
      {PetState::tired, 1.45, false, 1}, {PetState::tired, 5.0, true, 0},
  };
  for (const auto& c : cases) {
    const CodexSpriteFrame frame = activeCodexSpriteFrame(c.state, c.reduceMotion, c.seconds);
    EXPECT_EQ(frame.columnIndex, c.column) << rawValue(c.state).toStdString() << " at " << c.seconds;
    EXPECT_EQ(frame.rowIndex, codexSpriteFrames(c.state).front().rowIndex);
  }
}

TEST(PetSpriteTest, CellsAreCutYDownFromTheTopLeft) {
  EXPECT_EQ(spriteCellSourceRect(QSizeF(1536, 1872), {0, 0, 1}), QRectF(0, 0, 192, 208));
  EXPECT_EQ(spriteCellSourceRect(QSizeF(1536, 1872), {8, 5, 1}), QRectF(960, 1664, 192, 208));
  EXPECT_EQ(spriteCellSourceRect(QSizeF(768, 936), {7, 2, 1}), QRectF(192, 728, 96, 104));
}

TEST(PetSpriteTest, MotionBobsShakesHopsAndPulsesByState) {
  const QRectF rect(10, 20, 40, 40);
  const struct {
    PetState state;
    double seconds;
    PetMotion motion;
  } cases[] = {
      {PetState::idle, 0.625, {0, -1, 1}},      {PetState::idle, 1.875, {0, 0, 1}},
      {PetState::working, 0.0875, {0, 0.5, 1}}, {PetState::approval, 0.175, {0, 0, 1.06}},
      {PetState::done, 0.25, {0, -4, 1.05}},    {PetState::done, 0.5, {0, 0, 1}},
      {PetState::error, 0.1, {2, 0, 1}},        {PetState::tired, 0.75, {0, 1, 1}},
  };
  for (const auto& c : cases) {
    const PetMotion motion = petMotion(c.state, c.seconds);
    EXPECT_NEAR(motion.dx, c.motion.dx, 1e-9) << rawValue(c.state).toStdString();
    EXPECT_NEAR(motion.dy, c.motion.dy, 1e-9) << rawValue(c.state).toStdString();
    EXPECT_NEAR(motion.scale, c.motion.scale, 1e-9) << rawValue(c.state).toStdString();
  }
  const QRectF hop = movedPetRect(rect, PetState::done, 0.25);
  EXPECT_NEAR(hop.width(), 42, 1e-9);
  EXPECT_NEAR(hop.center().x(), rect.center().x(), 1e-9);
  EXPECT_NEAR(hop.center().y(), rect.center().y() - 4, 1e-9);
  EXPECT_DOUBLE_EQ(spriteFrameAlpha(PetState::tired), 0.76);
  EXPECT_DOUBLE_EQ(spriteFrameAlpha(PetState::error), 1.0);
  EXPECT_DOUBLE_EQ(singlePictureAlpha(PetState::tired), 0.72);
}

}  // namespace
}  // namespace tandrel
