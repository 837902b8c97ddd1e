#include "selfcheck/functional/collapsed_reset_functional_tests.h"

#include "island/island_painters_capsule.h"
#include "selfcheck/fixture_builders.h"
#include "selfcheck/functional/check_store.h"
#include "selfcheck/harness.h"
#include "selfcheck/island_renders.h"
#include "selfcheck/pixel_measures.h"

#include <cmath>
#include <functional>
#include <optional>

namespace tandrel {
namespace {

using namespace pixel_measures;

// The status text's box and the reset slot of the external capsule (view points).
struct ResetLine {
  QRectF status;
  QRectF deadline;
};

ResetLine resetLine() {
  const CollapsedCapsuleLayout layout = collapsedCapsuleLayout(collapsedCheckSize(DisplayKind::externalVirtual),
                                                               DisplayKind::externalVirtual, OverlayMode::collapsed);
  const QRectF deadline = externalCollapsedDeadlineRect(layout.body, layout.textY);
  QRectF status = externalCollapsedStatusTextRect(layout.body, layout.textY, deadline);
  status.setHeight(16);
  return {status, deadline};
}

// Writes one Claude Code status-line reading with `label` used of the five-hour limit resetting
// at 11:30, draws the external capsule over it at 1× and 2×, and asks `holds` of each image.
bool overResetReading(const QString& tempRoot, const char* prefix, const char* label, int percent,
                      const std::function<bool(const QImage&)>& holds) {
  const QString name = QString::fromLatin1(prefix);
  const QString eventFile = scratchPath(tempRoot, name + QStringLiteral("-events.jsonl"));
  const QJsonObject usage{{"tool_id", "claude-code"},
                          {"data_source", "statusline"},
                          {"limit_5h_label", QString::fromLatin1(label)},
                          {"limit_5h_percent", percent},
                          {"limit_5h_reset", "11:30"}};
  if (!writeJSONLines({testEvent(name, "claude_code", "task_updated", "info", "Claude Code usage updated",
                                 "StatusLine usage", std::nullopt, usage)},
                      eventFile)) {
    return false;
  }
  EventStore store(storeOptionsWithoutAgentFolders(eventFile, scratchPath(tempRoot, name + QStringLiteral("-audit.jsonl"))));
  store.reload(false);
  for (const qreal ratio : {1.0, 2.0}) {
    const Result<QImage> image = renderCollapsedIsland(store, DisplayKind::externalVirtual, ratio, fixtureToolHealth());
    if (!image || !holds(*image)) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool collapsedResetAccessoryAlignsWithStatusText(const QString& tempRoot) {
  const ResetLine line = resetLine();
  return overResetReading(tempRoot, "collapsed-reset-align", "83% used", 83, [&line](const QImage& image) {
    const std::optional<QRectF> status = visibleBounds(image, line.status, 0.14);
    const std::optional<QRectF> reset = visibleBounds(image, line.deadline, 0.14);
    return status && reset && std::abs(status->center().y() - reset->center().y()) <= 1.5 &&
           std::abs(reset->center().x() - line.deadline.center().x()) <= 4.0;
  });
}

bool collapsedStatusUsesPrimaryToneAndResetSecondary(const QString& tempRoot) {
  const ResetLine line = resetLine();
  return overResetReading(tempRoot, "collapsed-reset-tone", "85% used", 85, [&line](const QImage& image) {
    return maxSaturation(image, line.status) >= 0.12 && maxSaturation(image, line.deadline) <= 0.08;
  });
}

}  // namespace tandrel
