#pragma once

// The About tab's geometry and the parts of it that follow the update state, as pure functions:
// the header card and icon, the update row and its status control, the update panel with its
// action button, the header badge, and where the "App Log" section begins. Drawing
// (about_page.cpp) and the click routes read the same rectangles. Content coordinates of the
// settings panel (y down).

#include "update/update_state.h"

#include <QColor>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <optional>

namespace tandrel::about_layout {

// The tab's colours (calibrated RGB, alpha 1).
inline const QColor kBlue = QColor::fromRgbF(77 / 255.0, 159 / 255.0, 1);
inline const QColor kDeepBlue = QColor::fromRgbF(0, 107 / 255.0, 1);
inline const QColor kGreen = QColor::fromRgbF(0, 214 / 255.0, 163 / 255.0);
inline const QColor kAmber = QColor::fromRgbF(1, 187 / 255.0, 0);
inline const QColor kLightAmber = QColor::fromRgbF(1, 204 / 255.0, 68 / 255.0);
inline const QColor kRed = QColor::fromRgbF(1, 85 / 255.0, 85 / 255.0);
inline const QColor kLightRed = QColor::fromRgbF(1, 95 / 255.0, 110 / 255.0);

inline constexpr QRectF kHeaderCardRect{168, 72, 680, 118};
inline constexpr QRectF kIconRect{184, 91, 64, 64};
inline constexpr QRectF kUpdateRowRect{168, 235, 680, 59};
// The 108 x 34 control at the right end of the update row.
inline constexpr QRectF kStatusControlRect{168 + 680 - 108, 235 + 12, 108, 34};

// This release's date and what changed in it, shown in the header and the "App Log".
inline constexpr char kReleaseDate[] = "2026-06-08";
QStringList releaseNotes();

// A text with its colour, and the fill and border of the shape around it when it has them.
struct StatusBadge {
  QString text;
  QColor color;
  std::optional<QColor> fill;
  std::optional<QColor> border;
  bool operator==(const StatusBadge&) const = default;
};

// The header's badge: "↑ v<latest>" while an update is on offer or on its way, "✓ Up to date",
// "! Update error" or "⟳ Checking...". A build without an update feed (`hasFeed` false) has
// nothing to be up to date with: it says "No update feed in this build" instead.
StatusBadge headerStatusBadge(const UpdateState& state, bool hasFeed);

// The text under "Check for updates": "No update feed in this build" without a feed, else
// "Last checked: just now".
QString updateRowSubtitle(bool hasFeed);

// The update row's control: a status control (text, colour, fill, border), or in `idle` the
// "⟳  Check now" button (`isButton`, its accent in `color`).
struct TrailingControl {
  StatusBadge badge;
  bool isButton = false;
  bool operator==(const TrailingControl&) const = default;
};
TrailingControl trailingControl(const UpdateState& state);

// The update panel under the row: 680 wide at (168, 302), 118 high while available, 86 while
// downloading, 76 once verified or ready, 54 on an error; none otherwise.
std::optional<QRectF> updatePanelRect(const UpdateState& state);
// The panel's button: the whole top 48 of the panel once verified or ready, the 104 x 32 download
// button at its top right while available, else empty.
QRectF updatePanelActionRect(const UpdateState& state);
// The "App Log" title: 22 below the panel, or at 314 without one.
qreal appLogTitleY(const UpdateState& state);

// The header's version pill for `versionText` ("v0.1.6"): 6 per character plus 14 wide.
QRectF versionPillRect(const QString& versionText);
// The "App Log" card below its title at `titleY`: 76 plus 20.5 per release note high.
QRectF logCardRect(qreal titleY, int noteCount);

}  // namespace tandrel::about_layout
