#pragma once

// The desktop companion's geometry and label texts as pure functions: the panel's size per
// display mode, the pet's rectangle, the two label lines and their bubble, the texts of those
// lines, and where the panel sits on a screen. All rectangles are y-down; screen rectangles are
// Qt's logical pixels (a screen's available geometry), so "above the bottom" is measured up from
// its bottom edge.

#include "attention/companion_status.h"
#include "attention/pet_state.h"
#include "events/pet_preview_state.h"
#include "ui/overlay_settings.h"

#include <QColor>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

namespace tandrel {
struct UserSettings;
}

namespace tandrel::companion {

// A pet dragged out of the island (and the companion's "Move"): the companion shown, floating.
void applyCompanionDragOutSettings(UserSettings& values);

inline constexpr double kMinimumScale = 0.75;
inline constexpr double kMaximumScale = 1.6;
// Marks a line cut short.
inline constexpr char kTruncationMarker[] = "...>";
// The label's click area reaches this far around its bubble.
inline constexpr qreal kLabelHitMargin = 6;

// The panel of a mode at `scale` (pulled into 0.75...1.6), each side rounded half away from zero.
QSizeF companionSize(CompanionDisplayMode mode, double scale);

// The pet's square in a panel of `bounds` (the scale is already in the panel's size).
QRectF companionPetContentRect(const QRectF& bounds, CompanionDisplayMode mode);

struct CompanionLabelRects {
  QRectF title;
  QRectF detail;
};
CompanionLabelRects companionLabelRects(const QRectF& bounds, const QRectF& petRect, CompanionDisplayMode mode);

// The bubble behind the two lines, given the measured widths of the lines as drawn.
QRectF companionLabelBubble(const QRectF& bounds, const CompanionLabelRects& rects, CompanionDisplayMode mode,
                            qreal titleTextWidth, qreal detailTextWidth);

struct CompanionLabelChrome {
  QColor fill;
  QColor border;
};
CompanionLabelChrome companionLabelChrome(bool darkAppearance);

// The two lines' colours: white on dark chrome, black on light.
struct CompanionTextColors {
  QColor title;
  QColor detail;
};
CompanionTextColors companionTextColors(bool darkAppearance);

// What the detail line says: "drag" while placing, else the status item's label, else "roam"
// when roaming, else the state's word.
QString companionInlineLabel(bool placementMode, CompanionDisplayMode mode, PetState state,
                             const std::optional<CompanionStatusItem>& status);

// A character budget for a line `width` wide in a font of `fontSize` pixels: an estimate from the
// size, at least 8.
int companionLabelCharacterLimit(qreal width, qreal fontSize);

// Whitespace runs become single spaces; a line longer than `maxCharacters` grapheme clusters
// keeps its first ones and ends in "...>" at exactly the limit (a limit below 5 gives the marker
// alone).
QString companionJumpLine(const QString& text, int maxCharacters);

// "<target>: <detail>" cut to a shared budget and split in two: the title starts with the tool's
// name and ends at the colon or a later space near half the budget; the detail has the rest.
std::pair<QString, QString> companionJumpLines(const QString& target, const QString& detail,
                                               int titleMaxCharacters, int detailMaxCharacters);

// The preview state the companion draws for a pet state; an idle pet shows the pose the user
// chose (`idlePose`).
PetPreviewStateID companionPreviewState(PetState state, PetPreviewStateID idlePose);

// The offset of the pet's square for its state at `seconds` of the monotonic clock.
QPointF companionPetMotion(PetState state, double seconds);

// ---- Where the panel sits ----

// A screen's available geometry, or the 1440 x 900 stand-in when there is none.
QRectF companionVisibleFrame(const std::optional<QRectF>& availableGeometry);

// The screens a frame is kept on: every screen's available geometry in the system's order, the
// active surface's screen and the primary screen.
struct CompanionScreens {
  std::vector<QRectF> available;
  std::optional<QRectF> activeSurface;
  std::optional<QRectF> primary;
};

// Keeps the frame 8 inside the first screen it touches (else the active surface's, else the
// primary one); the size is kept.
QRectF clampCompanionFrame(const QRectF& frame, const CompanionScreens& screens);

// Where a roaming pet was put by hand and when (monotonic seconds).
struct RoamingAnchor {
  QPointF origin;
  double time = 0;
};

struct CompanionPlacement {
  CompanionDisplayMode mode = CompanionDisplayMode::bubble;
  QSizeF size;
  // The available geometry of the screen the companion belongs on.
  QRectF visible;
  // The remembered top-left (bubble and floating).
  std::optional<QPointF> persistedOrigin;
  std::optional<RoamingAnchor> anchor;
  // Monotonic seconds now.
  double now = 0;
};

// The panel's frame: bubble and floating at the remembered origin (clamped) or 24 from the right
// and 36 above the bottom; roaming along its path (around the anchor, clamped, once there is one);
// tucked at the right edge with 48 % of its width on screen.
QRectF companionFrame(const CompanionPlacement& placement, const CompanionScreens& screens);

}  // namespace tandrel::companion
