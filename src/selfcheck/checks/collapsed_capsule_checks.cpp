#include "selfcheck/checks/collapsed_capsule_checks.h"

#include "ai_tools/tool_confirmation_dialog.h"
#include "app/display_policy.h"
#include "island/island_painters_capsule.h"
#include "selfcheck/functional/collapsed_reset_functional_tests.h"
#include "selfcheck/island_renders.h"
#include "selfcheck/pixel_measures.h"
#include "ui/island_geometry.h"
#include "ui/island_paint.h"

#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QStringList>

#include <cmath>
#include <functional>
#include <memory>

namespace tandrel {
namespace {

using namespace pixel_measures;

constexpr qreal kRatios[] = {1.0, 2.0};

// Whether `holds` is true of the capsule drawn for `kind` at 1× and at 2×; false when it could not
// be drawn.
bool holdsAtEachRatio(EventStore& store, DisplayKind kind, const std::function<bool(const QImage&)>& holds) {
  for (const qreal ratio : kRatios) {
    const Result<QImage> image = renderCollapsedIsland(store, kind, ratio);
    if (!image || !holds(*image)) {
      return false;
    }
  }
  return true;
}

// The image's size in points.
QSizeF pointSize(const QImage& image) { return QSizeF(image.size()) / image.devicePixelRatio(); }

bool opaqueBlack(const QImage& image, QPointF point) {
  const qreal ratio = image.devicePixelRatio();
  const QPoint pixel(static_cast<int>(point.x() * ratio), static_cast<int>(point.y() * ratio));
  if (!image.valid(pixel)) {
    return false;
  }
  const QColor color = image.pixelColor(pixel);
  return color.alphaF() >= 0.98 && color.redF() <= 0.01 && color.greenF() <= 0.01 && color.blueF() <= 0.01;
}

// External shoulders: the top row is drawn half a shoulder in from either edge, and clear a
// shoulder and two rows further down.
bool curvesIntoTheTopEdge(const QImage& image) {
  const QSizeF size = pointSize(image);
  const int r = static_cast<int>(std::floor(island_paint::kShoulderRadius));
  const int rw = std::max(r, 1);
  const qreal left = std::max(r, 0) / 2;
  const qreal right = std::min(size.width() - rw / 2 - 1, size.width() - 1);
  const qreal probe = std::min<qreal>(rw + 2, size.height() - 1);
  return alphaAt(image, {left, 0}) >= 0.7 && alphaAt(image, {right, 0}) >= 0.7 && alphaAt(image, {left, probe}) <= 0.05 &&
         alphaAt(image, {right, probe}) <= 0.05;
}

bool pureBlackAroundTheHousing(const QImage& image) {
  const QSizeF size = pointSize(image);
  const QRectF body = collapsedCapsuleLayout(size, DisplayKind::macBookPhysical, OverlayMode::collapsed).body;
  const qreal middle = std::floor(size.height() / 2);
  return opaqueBlack(image, {std::round(body.left() + 2), middle}) &&
         opaqueBlack(image, {std::floor(size.width() / 2), 2}) &&
         opaqueBlack(image, {std::round(body.right() - 3), middle});
}

// The top row, pixel by pixel: black across the body, clear beside it.
bool squareTopCorners(const QImage& image) {
  const qreal ratio = image.devicePixelRatio();
  const QRectF body =
      collapsedCapsuleLayout(pointSize(image), DisplayKind::macBookPhysical, OverlayMode::collapsed).body;
  const int from = static_cast<int>(std::round(body.left() * ratio));
  const int to = static_cast<int>(std::round(body.right() * ratio));
  for (int x = 0; x < image.width(); ++x) {
    const bool inBody = x >= from && x < to;
    if (inBody ? !opaqueBlack(image, {x / ratio, 0}) : image.pixelColor(x, 0).alphaF() > 0.05) {
      return false;
    }
  }
  return true;
}

// The lowest opaque row of five columns across the body is the same row.
bool evenBottomEdge(const QImage& image) {
  const qreal ratio = image.devicePixelRatio();
  const CollapsedCapsuleLayout layout =
      collapsedCapsuleLayout(pointSize(image), DisplayKind::macBookPhysical, OverlayMode::collapsed);
  const qreal margin = (layout.body.width() - layout.cutout.width()) * 0.5;
  const qreal left = std::round(layout.body.left() + margin);
  const qreal right = std::round(layout.body.right() - margin);
  const qreal middle = std::floor(pointSize(image).width() / 2);
  std::optional<int> commonRow;
  for (const qreal column : {left - 2, left + 2, middle, right - 2, right + 2}) {
    const int x = std::min(static_cast<int>(column * ratio), image.width() - 1);
    std::optional<int> row;
    for (int y = image.height() - 1; y >= 0 && !row; --y) {
      if (image.pixelColor(x, y).alphaF() >= 0.98) {
        row = y;
      }
    }
    if (!row || (commonRow && *commonRow != *row)) {
      return false;
    }
    commonRow = row;
  }
  return true;
}

}  // namespace

void runCollapsedCapsuleChecks(SelfCheckFailures& failures, EventStore& store) {
  const auto check = [&](bool condition, const char* message) { failures.check(condition, QString::fromUtf8(message)); };

  check(collapsedOverlayHeight(DisplayKind::macBookPhysical, 0, 33.0) == 32.3,
        "macbook collapsed capsule height must match the full physical notch visual height");
  check(collapsedOverlayHeight(DisplayKind::externalVirtual, 0, 0) == 32.0,
        "external collapsed capsule height must keep virtual-notch height without a menu bar");
  const QRect screen(0, 0, 1512, 982);
  bool expandedAttached = true;
  for (const DisplayKind kind : {DisplayKind::macBookPhysical, DisplayKind::externalVirtual}) {
    (void)kind;  // the expanded island's size is the same on either kind of display
    expandedAttached = expandedAttached && topCentredFrame(expandedOverlaySize(true), screen).top() == screen.top();
  }
  check(expandedAttached, "expanded hover overlay should remain attached to the physical screen top on all displays");
  check(topCentredFrame(collapsedOverlaySize(DisplayKind::externalVirtual, 0, 0), screen).top() == screen.top() &&
            topCentredFrame(collapsedOverlaySize(DisplayKind::macBookPhysical, 33, 32), screen).top() == screen.top(),
        "collapsed capsule should remain attached to the physical screen top");

  // A diff of 500 long lines: the preview keeps its own size bounded (the dialog may grow it) and
  // scrolls the rest.
  QStringList lines;
  for (int i = 0; i < 500; ++i) {
    lines.append(QStringLiteral("0123456789abcdef"));
  }
  const std::unique_ptr<QPlainTextEdit> preview(hookInstallPreviewAccessoryView(lines.join(QLatin1Char('\n'))));
  check(preview->minimumSize().width() <= 640, "hook install preview should keep long diffs in a bounded width");
  check(preview->minimumSize().height() <= 280, "hook install preview should keep long diffs in a bounded height");
  check(preview->verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOn &&
            preview->horizontalScrollBarPolicy() == Qt::ScrollBarAlwaysOn,
        "hook install preview should expose scrollbars for long diffs");

  const qint32 ownProcess = static_cast<qint32>(QCoreApplication::applicationPid());
  const std::vector<WindowSnapshot> windows = {
      {42, 0, 1.0, true, QRectF(1440, 0, 1920, 1080)},
      {ownProcess, 0, 1.0, true, QRectF(0, 0, 1440, 900)},
      {43, 0, 1.0, true, QRectF(20, 20, 800, 600)},
  };
  const std::vector<std::pair<QString, QRectF>> displays = {{QStringLiteral("101"), QRectF(0, 0, 1440, 900)},
                                                            {QStringLiteral("202"), QRectF(1440, 0, 1920, 1080)}};
  check(displayIDsWithFullScreenWindows(windows, displays, ownProcess, false) == std::set<QString>{QStringLiteral("202")},
        "fullscreen detection should mark only screens covered by another app's fullscreen window");

  const CollapsedCapsuleLayout external = collapsedCapsuleLayout(collapsedCheckSize(DisplayKind::externalVirtual),
                                                                 DisplayKind::externalVirtual, OverlayMode::collapsed);
  check(island::kCollapsedWidth == external.body.width() + 2 * island_paint::kShoulderRadius && island::kCollapsedWidth == 332,
        "collapsed capsule window must match the prototype anti-fillet footprint");
  check(island_paint::kShoulderRadius == 5.0, "collapsed top anti-fillet radius must match the prototype 5px shoulder");

  for (const qreal ratio : kRatios) {
    check(collapsedTopEdgeCenterAlpha(DisplayKind::externalVirtual, store, ratio) >= 0.95,
          "external collapsed capsule must touch the screen top edge");
    check(collapsedTopEdgeCenterAlpha(DisplayKind::macBookPhysical, store, ratio) >= 0.95,
          "macbook collapsed capsule must touch the screen top edge");
    check(collapsedSideOutsideMaxAlpha(DisplayKind::externalVirtual, store, ratio) <= 0.05,
          "external collapsed capsule must not paint side dots outside the body");
    check(collapsedSideOutsideMaxAlpha(DisplayKind::macBookPhysical, store, ratio) <= 0.05,
          "macbook collapsed capsule must not paint side dots outside the body");
  }

  check(holdsAtEachRatio(store, DisplayKind::externalVirtual, curvesIntoTheTopEdge),
        "external collapsed capsule must curve into the screen top edge");
  check(holdsAtEachRatio(store, DisplayKind::macBookPhysical, pureBlackAroundTheHousing),
        "macbook collapsed capsule must use pure black matching the native notch");
  check(holdsAtEachRatio(store, DisplayKind::macBookPhysical, squareTopCorners),
        "macbook collapsed capsule must meet the screen with square top corners, not outer rounded ears");
  check(holdsAtEachRatio(store, DisplayKind::macBookPhysical, evenBottomEdge),
        "macbook collapsed capsule bottom edge should be even across the notch body");
}

void runExternalCollapsedLayoutChecks(SelfCheckFailures& failures, const QString& tempRoot) {
  const auto check = [&](bool condition, const char* message) { failures.check(condition, QString::fromUtf8(message)); };
  const CollapsedCapsuleLayout layout = collapsedCapsuleLayout(collapsedCheckSize(DisplayKind::externalVirtual),
                                                               DisplayKind::externalVirtual, OverlayMode::collapsed);
  const QRectF& body = layout.body;
  const QRectF logo = externalCollapsedToolLogoRect(body);
  const QFont statusFont = externalCollapsedStatusFont();

  check(layout.petRect.width() >= 20 && layout.petRect.height() >= 20,
        "external collapsed pet must be large enough to read on external displays");
  check(logo.width() >= 16 && logo.height() >= 16, "external collapsed tool logo must be readable on external displays");
  // The island's fonts are sized in points at 96 dots per inch, for their half-pixel sizes.
  check(statusFont.pointSizeF() * 96 / 72 >= 11, "external collapsed message text must be readable on external displays");
  check(body.left() + 44 <= logo.left(), "external collapsed tool logo should sit after the pet avatar");
  check(std::abs(layout.petRect.center().y() - body.center().y()) < 0.5,
        "external collapsed pet should be vertically centered in the capsule");
  check(std::abs(logo.center().y() - (body.center().y() - 1)) < 0.5,
        "external collapsed tool logo should honor the tuned vertical offset in the capsule");

  const QRectF span = externalCollapsedStatusTextRect(body, layout.textY, false);
  check(span.left() == logo.right() + 8, "external collapsed usage should start immediately after the tool logo");
  check(span.left() <= body.left() + 76, "external collapsed usage should stay close to the app identity");
  check(island_paint::textWidth(QStringLiteral("5h 42% used \u00B7 7d 18% used"), statusFont) + 2 <= span.width(),
        "external collapsed status should fit dual quota labels after replacing app text with a logo");
  const QRectF beforeAccessory = externalCollapsedStatusTextRect(body, layout.textY, true);
  check(beforeAccessory.right() <= body.right() - 70,
        "external collapsed status should leave space for percent or approval accessories");
  check(island_paint::textWidth(QStringLiteral("5h \u00B7 11% used"), statusFont) + 2 <= beforeAccessory.width(),
        "external collapsed approval status should fit compact used/left labels");
  const QRectF deadline = externalCollapsedDeadlineRect(body, layout.textY);
  check(island_paint::textWidth(QStringLiteral("Resets 12:56 PM"), islandFont(11)) + 4 <= deadline.width(),
        "external collapsed reset accessory should fit AM/PM reset text without truncation");
  const QRectF besideReset = externalCollapsedStatusTextRect(body, layout.textY, deadline);
  check(besideReset.right() <= deadline.left() - 6, "external collapsed status should not collide with reset accessory");
  const QString full = QStringLiteral("5h 100% used \u00B7 7d 100% used");
  check(island_paint::textWidth(full, externalCollapsedStatusFont(full, besideReset.width())) <= besideReset.width(),
        "external collapsed usage should fit full used/left labels before reset accessory without ellipsis");

  check(collapsedResetAccessoryAlignsWithStatusText(tempRoot),
        "external collapsed reset accessory should align with the status text center");
  check(collapsedStatusUsesPrimaryToneAndResetSecondary(tempRoot),
        "external collapsed status should use the primary tone while reset text is secondary");
}

void runCollapsedStatusPlacementChecks(SelfCheckFailures& failures) {
  const auto check = [&](bool condition, const char* message) { failures.check(condition, QString::fromUtf8(message)); };
  const CollapsedCapsuleLayout external = collapsedCapsuleLayout(collapsedCheckSize(DisplayKind::externalVirtual),
                                                                 DisplayKind::externalVirtual, OverlayMode::collapsed);
  const QRectF deadline = externalCollapsedDeadlineRect(external.body, external.textY);
  const QRectF usage = externalCollapsedUsageTextRect(external.body, external.textY, deadline);
  check(usage.left() == externalCollapsedToolLogoRect(external.body).right() + 8,
        "external collapsed usage text should left-align after the tool logo");

  const CollapsedCapsuleLayout notched =
      collapsedCapsuleLayout(QSizeF(island::kCollapsedWidth, island::kCollapsedMinimumHeight),
                             DisplayKind::macBookPhysical, OverlayMode::collapsed);
  const QRectF status = macBookCollapsedStatusRect(notched.body, notched.cutout);
  check(status.left() == notched.cutout.right() - 22.0,
        "macbook collapsed status text should pull left toward the physical notch");
  check(status.right() < notched.body.right(),
        "macbook collapsed status text should keep breathing room at the right capsule edge");
  check(island_paint::textWidth(QStringLiteral("Approve"), islandFont(9.5, QFont::DemiBold)) + 6 <= status.width(),
        "macbook collapsed approval text should fit inside the right-side status slot");
  const QString label = QStringLiteral("5h 100% left \u00B7 7d 100% used");
  check(island_paint::textWidth(label, externalCollapsedStatusFont(label, usage.width())) <= usage.width(),
        "external collapsed usage should fit left/used labels without ellipsis");
}

}  // namespace tandrel
