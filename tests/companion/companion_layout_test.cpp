#include "companion/companion_layout.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tandrel::companion {
namespace {

void expectRectNear(const QRectF& actual, const QRectF& expected) {
  EXPECT_NEAR(actual.x(), expected.x(), 1e-9) << "x";
  EXPECT_NEAR(actual.y(), expected.y(), 1e-9) << "y";
  EXPECT_NEAR(actual.width(), expected.width(), 1e-9) << "width";
  EXPECT_NEAR(actual.height(), expected.height(), 1e-9) << "height";
}

TEST(CompanionLayoutTest, PanelSizesScaleWithinTheirBoundsAndRoundHalfAway) {
  const struct {
    CompanionDisplayMode mode;
    double scale;
    QSizeF size;
  } cases[] = {
      {CompanionDisplayMode::bubble, 1.0, {184, 152}},
      {CompanionDisplayMode::floating, 1.0, {184, 152}},
      {CompanionDisplayMode::roaming, 2.0, {506, 240}},
      {CompanionDisplayMode::tucked, 0.5, {117, 72}},
      {CompanionDisplayMode::tucked, 1.25, {195, 120}},
      {CompanionDisplayMode::bubble, 1.125, {207, 171}},  // 207 and 171 exactly
      {CompanionDisplayMode::roaming, 0.8, {253, 120}},   // 252.8 rounds up
  };
  for (const auto& c : cases) EXPECT_EQ(companionSize(c.mode, c.scale), c.size) << rawValue(c.mode).toStdString();
}

TEST(CompanionLayoutTest, PetAndLabelRectanglesPerMode) {
  const struct {
    CompanionDisplayMode mode;
    QRectF bounds;
    QRectF pet;
    QRectF title;
    QRectF detail;
  } cases[] = {
      {CompanionDisplayMode::bubble, {0, 0, 184, 152}, {49.44, 63.84, 85.12, 85.12}, {10, 25.84, 164, 16},
       {10, 44.84, 164, 14}},
      {CompanionDisplayMode::floating, {0, 0, 184, 152}, {49.44, 58.88, 85.12, 85.12}, {10, 20.88, 164, 16},
       {10, 39.88, 164, 14}},
      // The pet's top lies near the panel's top: the title is held 4 below it.
      {CompanionDisplayMode::floating, {0, 0, 138, 110}, {38.2, 40.4, 61.6, 61.6}, {10, 4, 118, 16},
       {10, 23, 118, 14}},
      {CompanionDisplayMode::roaming, {0, 0, 316, 150}, {25.28, 33, 87, 87}, {8, 0, 139, 15}, {8, 16, 139, 13}},
      {CompanionDisplayMode::tucked, {0, 0, 156, 96}, {18.72, 24.96, 46.08, 46.08}, {74.8, 32, 73.2, 16},
       {74.8, 50, 73.2, 14}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(rawValue(c.mode).toStdString());
    const QRectF pet = companionPetContentRect(c.bounds, c.mode);
    expectRectNear(pet, c.pet);
    const CompanionLabelRects rects = companionLabelRects(c.bounds, pet, c.mode);
    expectRectNear(rects.title, c.title);
    expectRectNear(rects.detail, c.detail);
  }
}

TEST(CompanionLayoutTest, TheBubbleFitsTheTextAndStaysInsideThePanel) {
  const QRectF bounds(0, 0, 184, 152);
  const CompanionLabelRects rects{{10, 25.84, 164, 16}, {10, 44.84, 164, 14}};
  // Centred on the lines, 14 wider than the wider measured line (rounded up), 8 taller than both.
  expectRectNear(companionLabelBubble(bounds, rects, CompanionDisplayMode::bubble, 60.2, 40),
                 {92 - 37.5, 21.84, 75, 41});
  // Never narrower than 30, never wider than the panel less 4.
  EXPECT_EQ(companionLabelBubble(bounds, rects, CompanionDisplayMode::bubble, 3, 0).width(), 30);
  expectRectNear(companionLabelBubble(bounds, rects, CompanionDisplayMode::bubble, 500, 0), {2, 21.84, 180, 41});
  // Tucked: starts 7 left of the lines and is pulled back inside on the right.
  const QRectF tucked(0, 0, 156, 96);
  const CompanionLabelRects tuckedRects{{74.8, 32, 73.2, 16}, {74.8, 50, 73.2, 14}};
  expectRectNear(companionLabelBubble(tucked, tuckedRects, CompanionDisplayMode::tucked, 40, 20), {67.8, 28, 54, 40});
  expectRectNear(companionLabelBubble(tucked, tuckedRects, CompanionDisplayMode::tucked, 120, 20), {20, 28, 134, 40});
}

TEST(CompanionLayoutTest, JumpLineCollapsesWhitespaceAndCutsByGraphemeClusters) {
  const QString family = QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467");  // one cluster
  const QString accented = QStringLiteral("e\u0301");                                    // one cluster
  const struct {
    QString text;
    int limit;
    QString line;
  } cases[] = {
      {QStringLiteral("  two \n\t words  "), 20, QStringLiteral("two words")},
      {QStringLiteral("abcdefghij"), 8, QStringLiteral("abcd...>")},
      {QStringLiteral("abcdefgh"), 8, QStringLiteral("abcdefgh")},
      {QStringLiteral("anything"), 4, QStringLiteral("...>")},
      {QStringLiteral("ab"), 0, QStringLiteral("...>")},
      {QStringLiteral(" \n\t "), 4, QString()},
      {QString(), 10, QString()},
      // Clusters count once and are never split.
      {family.repeated(6), 6, family.repeated(6)},
      {family.repeated(7), 6, family.repeated(2) + QStringLiteral("...>")},
      {accented.repeated(9), 8, accented.repeated(4) + QStringLiteral("...>")},
  };
  for (const auto& c : cases) EXPECT_EQ(companionJumpLine(c.text, c.limit), c.line) << c.text.toStdString();
}

TEST(CompanionLayoutTest, JumpLinesSplitAfterTheToolNameOrNearHalfTheBudget) {
  const struct {
    QString target;
    QString detail;
    int titleMax;
    int detailMax;
    QString title;
    QString detailLine;
  } cases[] = {
      {QStringLiteral("Codex CLI"), QStringLiteral("working"), 26, 29, QStringLiteral("Codex CLI:"),
       QStringLiteral("working")},
      // Budget 36, minimum title 19: the rightmost space from 19 back to the colon's.
      {QStringLiteral("Codex CLI"), QStringLiteral("Approve running tests in the repo now please"), 26, 29,
       QStringLiteral("Codex CLI: Approve"), QStringLiteral("running tests...>")},
      {QStringLiteral("Claude"), QStringLiteral("supercalifragilisticexpialidocious"), 20, 20,
       QStringLiteral("Claude:"), QStringLiteral("supercalifragi...>")},
      // A short line: the rightmost space before its end.
      {QStringLiteral("Claude"), QStringLiteral("a b"), 20, 20, QStringLiteral("Claude: a"), QStringLiteral("b")},
      // The line is cut inside the tool's name: it all goes to the title.
      {QStringLiteral("Supercalifragilistic"), QStringLiteral("x"), 8, 8, QStringLiteral("Superc...>"), QString()},
      {QStringLiteral("Gemini"), QString(), 8, 8, QStringLiteral("Gemini:"), QString()},
  };
  for (const auto& c : cases) {
    const auto [title, detail] = companionJumpLines(c.target, c.detail, c.titleMax, c.detailMax);
    EXPECT_EQ(title, c.title) << c.detail.toStdString();
    EXPECT_EQ(detail, c.detailLine) << c.detail.toStdString();
    const int budget = std::max(8, static_cast<int>(0.67 * (c.titleMax + c.detailMax)));
    EXPECT_LE(title.size() + detail.size(), budget);
  }
}

TEST(CompanionLayoutTest, CharacterLimitAndInlineWords) {
  EXPECT_EQ(companionLabelCharacterLimit(40, 11), 8);
  EXPECT_EQ(companionLabelCharacterLimit(40, 30), 8);
  EXPECT_EQ(companionLabelCharacterLimit(164, 11), 26);
  EXPECT_EQ(companionLabelCharacterLimit(164, 8), 32);  // 0.56 x 8 is below the 5 floor
  CompanionStatusItem item;
  item.label = QStringLiteral("Approval needed");
  EXPECT_EQ(companionInlineLabel(true, CompanionDisplayMode::bubble, PetState::working, item), "drag");
  EXPECT_EQ(companionInlineLabel(false, CompanionDisplayMode::roaming, PetState::working, item), "Approval needed");
  EXPECT_EQ(companionInlineLabel(false, CompanionDisplayMode::roaming, PetState::working, std::nullopt), "roam");
  EXPECT_EQ(companionInlineLabel(false, CompanionDisplayMode::tucked, PetState::approval, std::nullopt),
            "waiting input");
  EXPECT_EQ(companionInlineLabel(false, CompanionDisplayMode::bubble, PetState::tired, std::nullopt), "tired");
  EXPECT_EQ(companionPreviewState(PetState::done, PetPreviewStateID::sleeping), PetPreviewStateID::review);
  EXPECT_EQ(companionPreviewState(PetState::tired, PetPreviewStateID::sleeping), PetPreviewStateID::rateLimit);
  EXPECT_EQ(companionPreviewState(PetState::idle, PetPreviewStateID::sleeping), PetPreviewStateID::sleeping);
  EXPECT_NEAR(companionLabelChrome(true).fill.lightnessF(), 0.02, 0.005);
  EXPECT_NEAR(companionLabelChrome(false).fill.lightnessF(), 1.0, 0.005);
}

TEST(CompanionLayoutTest, PetMotionPerState) {
  EXPECT_NEAR(companionPetMotion(PetState::working, 0.095).y(), 1.2, 1e-9);
  EXPECT_NEAR(companionPetMotion(PetState::done, 0.25).y(), -3.2, 1e-9);
  EXPECT_NEAR(companionPetMotion(PetState::done, 0.5).y(), 0, 1e-9);
  EXPECT_NEAR(companionPetMotion(PetState::error, 0.08).x(), 2.2, 1e-9);
  EXPECT_EQ(companionPetMotion(PetState::error, 0.08).y(), 0);
  EXPECT_NEAR(companionPetMotion(PetState::idle, 0.65).y(), -1.4, 1e-9);
}

// A 1920 x 1080 screen with a 32-high top bar, and a second one to its right.
const QRectF kLeft(0, 32, 1920, 1048);
const QRectF kRight(1920, 0, 1280, 1024);

TEST(CompanionLayoutTest, FramesPerModeMeasureFromTheBottomOfTheAvailableArea) {
  const CompanionScreens one{{kLeft}, kLeft, kLeft};
  const CompanionScreens two{{kLeft, kRight}, kLeft, kLeft};
  const QSizeF size(184, 152);
  const struct {
    const char* name;
    CompanionPlacement placement;
    const CompanionScreens& screens;
    QRectF frame;
  } cases[] = {
      {"default corner", {CompanionDisplayMode::floating, size, kLeft, {}, {}, 0}, one,
       {1920 - 24 - 184, 1080 - 36 - 152, 184, 152}},
      {"default on the second screen", {CompanionDisplayMode::bubble, size, kRight, {}, {}, 0}, two,
       {3200 - 24 - 184, 1024 - 36 - 152, 184, 152}},
      {"persisted", {CompanionDisplayMode::bubble, size, kLeft, QPointF(300, 400), {}, 0}, one, {300, 400, 184, 152}},
      {"persisted on the second screen", {CompanionDisplayMode::floating, size, kLeft, QPointF(2500, 20), {}, 0}, two,
       {2500, 20, 184, 152}},
      {"persisted outside every screen", {CompanionDisplayMode::floating, size, kLeft, QPointF(5000, -400), {}, 0},
       two, {1920 - 184 - 8, 40, 184, 152}},
      {"persisted under the top bar", {CompanionDisplayMode::floating, size, kLeft, QPointF(-50, 10), {}, 0}, one,
       {8, 40, 184, 152}},
      {"tucked", {CompanionDisplayMode::tucked, {156, 96}, kLeft, {}, {}, 0}, one,
       {1920 - 0.48 * 156, 32 + 524 - 48, 156, 96}},
      {"tucked on a short screen", {CompanionDisplayMode::tucked, {156, 96}, QRectF(0, 0, 800, 100), {}, {}, 0}, one,
       {800 - 0.48 * 156, -8, 156, 96}},
      // sin(0) = 0 across, sin(0.7) up from 54 above the bottom.
      {"roaming at time 0", {CompanionDisplayMode::roaming, {316, 150}, kLeft, {}, {}, 0}, one,
       {24 + 0.5 * (1920 - 316 - 48), 1080 - 150 - 54 - (std::sin(0.7) + 1) / 2 * 260, 316, 150}},
      // Around the anchor: a quarter period across, and up as y-down moves the other way.
      {"roaming around its anchor",
       {CompanionDisplayMode::roaming, {316, 150}, kLeft, {}, RoamingAnchor{{600, 500}, 10}, 10 + 4.8 * M_PI / 2},
       one, {600 + 180, 500 - std::sin(4.8 * M_PI / 2 / 3.2) * 90, 316, 150}},
      {"roaming anchor off screen is clamped",
       {CompanionDisplayMode::roaming, {316, 150}, kLeft, {}, RoamingAnchor{{-900, 2000}, 5}, 5}, one,
       {8, 1080 - 150 - 8, 316, 150}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    expectRectNear(companionFrame(c.placement, c.screens), c.frame);
  }
}

TEST(CompanionLayoutTest, ClampingFallsBackToTheActiveThenThePrimaryThenAStandInScreen) {
  const QRectF lost(9000, 9000, 100, 100);
  expectRectNear(clampCompanionFrame(lost, {{kLeft, kRight}, kRight, kLeft}), {3200 - 108, 1024 - 108, 100, 100});
  expectRectNear(clampCompanionFrame(lost, {{kLeft, kRight}, std::nullopt, kLeft}), {1920 - 108, 1080 - 108, 100, 100});
  expectRectNear(clampCompanionFrame(lost, {}), {1440 - 108, 900 - 108, 100, 100});
  // A frame larger than the screen keeps its left edge and bottom edge inside.
  expectRectNear(clampCompanionFrame({50, 50, 2000, 1200}, {{kLeft}, kLeft, kLeft}), {8, 1080 - 1200 - 8, 2000, 1200});
}

}  // namespace
}  // namespace tandrel::companion
