#include "selfcheck/checks/expanded_island_checks.h"

#include "app/display_policy.h"
#include "island/inbox_layout.h"
#include "island/island_painters_inbox.h"
#include "island/tandrel_view.h"
#include "island/usage_header.h"
#include "pets/pet_rail.h"
#include "selfcheck/functional/expanded_choice_functional_tests.h"
#include "selfcheck/functional/expanded_click_functional_tests.h"
#include "ui/island_geometry.h"

#include <cmath>

namespace tandrel {
namespace {

constexpr qreal kPeekDuration = 0.65;
constexpr qreal kPeekRest = 3.0;
// 1.55 widths of the rail's 76-wide pet.
constexpr qreal kPeekReach = 1.55 * 76;

}  // namespace

void runExpandedClickAndChoiceChecks(SelfCheckFailures& failures, const QString& tempRoot) {
  const auto check = [&](bool condition, const char* message) { failures.check(condition, QString::fromUtf8(message)); };
  check(highRiskApprovalConfirmationFunctionalTest(tempRoot), "high-risk approvals should require a second confirm action");
  check(expandedMessageActionClickFunctionalTest(tempRoot),
        "expanded message Jump and Authorize buttons should hit-test and execute through the click path");
  check(expandedChoiceHitTargetsFunctionalTest(tempRoot), "expanded choice messages should expose note and option hit targets");
  check(expandedChoiceLowerPageMessageStaysVisibleFunctionalTest(tempRoot),
        "expanded lower-page choice messages should stay visible");
  check(expandedChoiceEscClearsInlineStateFunctionalTest(tempRoot),
        "expanded choice Esc should clear inline choice state before overlay collapse");
  check(expandedChoiceNoteDisabledFunctionalTest(tempRoot),
        "expanded note-disabled choices should not focus or accept hidden note input");
  check(expandedChoiceModeExitClearsStateFunctionalTest(tempRoot),
        "expanded choice state should clear when leaving expanded mode");
  check(expandedChoiceHiddenMessageClearsStateFunctionalTest(tempRoot),
        "expanded choice state should clear when the source message is hidden");
}

void runExpandedIslandLayoutChecks(SelfCheckFailures& failures, EventStore& store) {
  const auto check = [&](bool condition, const char* message) { failures.check(condition, QString::fromUtf8(message)); };

  const QRectF pet = kExpandedPetRailPetRect;
  check(pet.width() >= 76 && pet.height() >= 84, "expanded rail pet must be two steps larger than the prior layout");
  check(pet.center().x() == 12 + 112 / 2.0, "expanded hover pet should be horizontally centered in the pet rail");
  check(pet.top() > 19, "expanded hover pet should sit slightly lower after hover");
  check(expandedPetRailAnimationDirtyRect().right() < usage_header::kColumnX,
        "expanded pet animation dirty rect should not overlap usage content");
  check(kPetRailPeekDistance >= 1.5, "expanded hover pet peek should move more than one body left");
  check(std::abs(petRailPeekOffset(kPeekDuration / 2) + kPeekReach) <= 0.001,
        "expanded hover pet peek should move the configured distance left");
  check(std::abs(petRailPeekOffset(kPeekDuration)) <= 0.001, "expanded hover pet peek should return to rest after peeking");
  check(petRailPeekOffset(kPeekDuration + kPeekRest / 2) == 0, "expanded hover pet peek should rest between repeats");
  check(std::abs(petRailPeekOffset(kPeekDuration + kPeekRest + kPeekDuration / 2) + kPeekReach) <= 0.001,
        "expanded hover pet peek should repeat after the rest period");

  // The cards of the run's store, drawn on the expanded island.
  TandrelView view(QSize(static_cast<int>(island::kExpandedWidth), static_cast<int>(expandedOverlayHeight(5))), store);
  view.setMode(OverlayMode::expanded);
  const inbox_layout::InboxPageLayout layout = view.pageLayout();
  qreal tallestButton = 0;
  for (int index = 0; index < static_cast<int>(layout.page().size()); ++index) {
    for (const auto& [button, rect] : layout.actionButtonRects(index)) {
      tallestButton = std::max(tallestButton, rect.height());
    }
  }
  check(tallestButton > 0 && tallestButton <= 18, "message action buttons must use the compact text capsule height");
  check(layout.clearPageRect().size() == QSizeF(22, 22) && layout.clearAllRect().size() == QSizeF(22, 22),
        "message clear toolbar buttons must match the prototype 22px icon controls");
  check(expandedClearToolbarHitTargetsMatchPrototype(store),
        "message clear toolbar hit targets should match the prototype header controls");

  check(!kEmptyInboxText.contains(QStringLiteral("claude"), Qt::CaseInsensitive), "empty inbox copy should not mention Claude");
  check(!kEmptyInboxText.contains(QStringLiteral("codex"), Qt::CaseInsensitive), "empty inbox copy should not mention Codex");
  const QSizeF empty = expandedOverlaySize(false);
  TandrelView emptyView(empty.toSize(), store);
  emptyView.setMode(OverlayMode::expanded);
  const QRectF line = emptyView.pageLayout().emptyInboxRect();
  check(line.left() == 12 && line.width() == empty.width() - 24, "empty inbox copy should align with the full message list lane");
  check(std::abs(line.center().x() - empty.width() / 2) <= 0.001, "empty inbox copy should be horizontally centered in the panel");
  check(std::abs(line.center().y() - (190 + (empty.height() - 30)) / 2) <= 0.001,
        "empty inbox copy should be vertically centered between messages and footer");

  const auto surface = [](const char* source, const char* sourceType, const char* tool, std::optional<QString> terminal,
                          std::optional<JumpTarget> target) {
    return messageSurfaceLabel(QString::fromLatin1(source), QString::fromLatin1(sourceType), QString::fromLatin1(tool),
                               terminal, target);
  };
  const JumpTarget cmux = JumpTarget::cmux(QStringLiteral("workspace-1"), std::nullopt, std::nullopt);
  check(surface("conductor", "desktop_app", "Claude Code", std::nullopt, std::nullopt) == QStringLiteral("Conductor"),
        "message source badge should show Conductor when that is the event source");
  check(surface("cmux", "cli_agent", "Claude Code", QStringLiteral("cmux"), cmux) == QStringLiteral("cmux"),
        "message source badge should show cmux for real cmux sessions");
  check(surface("cmux", "cli_agent", "Claude Code", QStringLiteral("iTerm2"), cmux) == QStringLiteral("iTerm2"),
        "message source badge should prefer explicit iTerm2 over stale cmux metadata");
  check(surface("claude_code", "cli_agent", "Claude Code", QStringLiteral("iTerm2"), std::nullopt) == QStringLiteral("iTerm2"),
        "message source badge should show iTerm2 for terminal-backed Claude sessions");
  check(surface("claude_app", "desktop_app", "Claude App", std::nullopt, std::nullopt).compare(QStringLiteral("App"), Qt::CaseInsensitive) == 0,
        "message source badge should fall back to app for desktop app sessions");

  check(expandedOverlayHeight(0) < expandedOverlayHeight(5), "expanded overlay should be shorter when there are no messages");
  check(expandedOverlayHeight(1) < expandedOverlayHeight(2), "expanded overlay should grow from one to two visible messages");
  check(expandedOverlayHeight(2) < expandedOverlayHeight(3), "expanded overlay should grow from two to three visible messages");
  check(expandedOverlayHeight(3) == 501, "expanded overlay should use full height at three or more visible messages");
}

void runHoverRegionAndStatusRowChecks(SelfCheckFailures& failures) {
  const auto check = [&](bool condition, const char* message) { failures.check(condition, QString::fromUtf8(message)); };
  // An external display whose island sits at x 1440...1980 (the capsule at 1544...1876), y-down.
  const QRect screen(1440, 0, 540, 1117);
  const QRectF capsule = topCentredFrame(collapsedOverlaySize(DisplayKind::externalVirtual, 0, 0), screen);
  const QRectF panel = topCentredFrame(expandedOverlaySize(true), screen);

  check(insideExpandedHoverRegion(QRectF(1440, 680, 540, 501), QPointF(1710, 900)),
        "external hover should not collapse while the pointer remains inside the expanded panel");
  const auto intent = [&capsule](QPointF point) { return shouldExpandAfterHoverDelay(OverlayMode::collapsed, capsule, point); };
  check(intent(capsule.center()), "hover delay should expand while the pointer remains inside the capsule");
  check(intent(QPointF(capsule.center().x(), capsule.bottom() + 24)),
        "hover delay should keep intent when the pointer moves from capsule toward the opening panel");
  check(!intent(QPointF(capsule.right() + 18, capsule.center().y())),
        "hover delay should not open after the pointer has already left the capsule");
  check(insideExpandedHoverRegion(panel, QPointF(panel.center().x(), panel.bottom() + 8)),
        "expanded hover should tolerate tiny pointer jitter at the opening panel edge");
  // Where the pointer is alone decides: no other setting (the desktop companion, a closing
  // settings panel) holds the island open.
  const QPointF away(panel.right() + 80, panel.top() - 80);
  check(!insideExpandedHoverRegion(panel, away), "desktop companion mode should not pin the hover panel open");
  check(!insideExpandedHoverRegion(panel, away),
        "closing settings away from the hover panel should collapse even when desktop pet is enabled");
  check(insideExpandedHoverRegion(panel, panel.center()),
        "closing settings over the hover panel should keep expanded until mouse exit");

  const qreal width = overlayModeSize(OverlayMode::expanded).width();
  const ExpandedTopStatusLayout top = expandedTopStatusLayout(width);
  check(top.dot.x() == 138, "macbook expanded status dot should follow the prototype content column");
  check(top.toolText.left() == 150, "macbook expanded status text should start after the content-column dot");
  check(top.toolText.right() < top.usageText.left(), "macbook expanded usage text should sit after the tool name");
  check(top.usageText.right() <= width - 90, "macbook expanded status text should leave room for the right-side controls");
}

void runExpandedTopRowChecks(SelfCheckFailures& failures, EventStore& store) {
  const auto check = [&](bool condition, const char* message) { failures.check(condition, QString::fromUtf8(message)); };
  UsageSnapshot snapshot;
  snapshot.tool = QStringLiteral("Claude");
  snapshot.toolID = QStringLiteral("claude-code");
  snapshot.source = QStringLiteral("claude_code");
  snapshot.dataSource = QStringLiteral("transcript");
  snapshot.quality = UsageQuality::stableLocal;
  snapshot.sourceClass = UsageSourceClass::stableLocalLoader;
  snapshot.fiveHour = UsageMetric{QStringLiteral("42% used"), QString(), 42.0, QStringLiteral("ok")};
  snapshot.weekly = UsageMetric{QStringLiteral("18% used"), QString(), 18.0, QStringLiteral("ok")};
  snapshot.label = QStringLiteral("5h 42% used \u00B7 7d 18% used");
  snapshot.percent = 42;
  check(expandedTopQuotaText(snapshot) == QStringLiteral("5h 42% \u00B7 7d 18%"),
        "macbook expanded top row should show compact 5h and 7d quota percentages");

  const qreal width = overlayModeSize(OverlayMode::expanded).width();
  const QRectF logo = expandedTopLogoRect();
  check(logo.width() == 18 && logo.left() == 138, "macbook expanded top row should replace the app name with a compact logo");
  check(logo.top() == 5, "macbook expanded top-row logo should sit higher and align with the first row");
  TandrelView view(QSize(static_cast<int>(width), static_cast<int>(expandedOverlayHeight(5))), store);
  view.setMode(OverlayMode::expanded);
  const QRectF settings = view.pageLayout().topSettingsRect();
  const QRectF quota = expandedTopQuotaRect(width, settings);
  check(quota.left() > 0.5 * 540 + 0.5 * 230, "macbook expanded quota text should sit to the right of the notch");
  check(quota.right() <= settings.left() - 8, "macbook expanded quota text should leave room for the settings button");
  check(expandedSettingsClickTargetsSettings(store), "expanded settings click should open settings instead of quit");
  check(expandedPetClickWaitsForDragDecision(store), "expanded pet click should wait for drag decision before opening Pets");
}

}  // namespace tandrel
