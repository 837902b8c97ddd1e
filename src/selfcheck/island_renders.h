#pragma once

// The island as the visual self-checks look at it: drawn by a fresh view's own drawing pass over a
// store into an image at a device pixel ratio, as the fixture renderer draws its rows.

#include "base/result.h"
#include "events/event_store.h"
#include "hooks/hook_manager.h"
#include "ui/island_geometry.h"

#include <QImage>

#include <optional>
#include <vector>

namespace tandrel {

// The collapsed capsule, 332 wide: 32 high on an external display; on a notched one as high as a
// camera housing 33 deep under a top band of 33 makes it (32.3, drawn 33 pixels high at 1×).
// `toolHealth` replaces the hook manager's rows (which tools' usage may show), so that a drawing
// does not depend on what the machine has installed.
Result<QImage> renderCollapsedIsland(EventStore& store, DisplayKind kind, qreal devicePixelRatio,
                                     std::optional<std::vector<ToolHealth>> toolHealth = std::nullopt);
// The expanded island, 540 wide and as high as the store's messages make it.
Result<QImage> renderExpandedIsland(EventStore& store, qreal devicePixelRatio,
                                    std::optional<std::vector<ToolHealth>> toolHealth = std::nullopt);

// The collapsed capsule's view size for `kind`.
QSizeF collapsedCheckSize(DisplayKind kind);

// The alpha of the capsule's top row at its centre: whether it meets the screen's top edge; 0 when
// the capsule could not be drawn.
double collapsedTopEdgeCenterAlpha(DisplayKind kind, EventStore& store, qreal devicePixelRatio);
// The highest alpha drawn beside the body (left of x 5, right of x 327) in the capsule's bottom
// six rows; 0 when the capsule could not be drawn.
double collapsedSideOutsideMaxAlpha(DisplayKind kind, EventStore& store, qreal devicePixelRatio);

}  // namespace tandrel
