#pragma once

// The painters of the collapsed ticker line and of the expanded usage header: the shown ticker
// item in an external capsule (logo, line, approval badge or reset text) or as a compact word
// beside a notch, and the header's top status line, tabs and meter rows (or the "No live usage"
// notice). Rectangles come from island_geometry.h, island_painters_capsule.h and usage_header.h.

#include "attention/pet_state.h"
#include "island/collapsed_ticker.h"
#include "island/island_painters_capsule.h"
#include "island/island_painters_inbox.h"

#include <QColor>
#include <QPainter>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <optional>

namespace tandrel {

// The word and colour a notched capsule shows for the item, with the pet's state for idle lines.
QString macBookCollapsedStatusLabel(const CollapsedTickerDisplay& display, PetState fallbackState);
QColor macBookCollapsedStatusColor(const CollapsedTickerDisplay& display, PetState fallbackState);
struct MacBookCollapsedStatus {
  QString label;
  QColor color;
};
MacBookCollapsedStatus macBookCollapsedStatus(const CollapsedTickerDisplay& display, PetState fallbackState);

// The ticker line of the collapsed capsule for `display`, on either kind of display.
void paintCollapsedTicker(QPainter& painter, const CollapsedCapsuleLayout& layout,
                          const CollapsedTickerDisplay& display, PetState petState, const ToolLogoPainter& toolLogo);

// What the usage header shows.
struct UsageHeaderState {
  qreal viewWidth = 540;
  DisplayKind kind = DisplayKind::externalVirtual;
  QString tool;                           // the active usage tool, "" for none
  std::optional<UsageSnapshot> snapshot;  // its merged reading
  QStringList tools;                      // the enabled usage tools, one tab each
  QRectF settingsRect;                    // the settings button the top line ends at
  double meterGrowth = 1;                 // how far the bars have grown in, 0...1
  ToolLogoPainter toolLogo;
};

// The top status line, drawn at full opacity: the tool with its reading's label and small meter
// (external display) or its logo and quota summary (notched display), and the settings glyph.
void paintUsageHeaderTopLine(QPainter& painter, const UsageHeaderState& state);
// The hairline, the tabs and the meter rows, or the notice without a reading.
void paintUsageHeader(QPainter& painter, const UsageHeaderState& state);

}  // namespace tandrel
