#include "selfcheck/checks/companion_route_checks.h"

#include "attention/companion_status.h"
#include "attention/event_reminder_policy.h"
#include "events/tandrel_event.h"
#include "island/tandrel_view.h"
#include "selfcheck/fixture_builders.h"
#include "settings/pages/sounds_tab_layout.h"
#include "ui/island_geometry.h"

#include <QJsonObject>

#include <cmath>
#include <optional>
#include <vector>

namespace tandrel {

using namespace sounds_tab;

namespace {

std::optional<TandrelEvent> parsed(const QJsonObject& record) { return TandrelEvent::fromDictionary(record); }

}  // namespace

void runCompanionRouteChecks(SelfCheckFailures& failures) {
  const auto check = [&](bool condition, const char* message) { failures.check(condition, QString::fromUtf8(message)); };

  // Where a click on the companion goes: the jump target, else the transcript, else the folder the
  // record named.
  const std::optional<TandrelEvent> route = parsed(
      testEvent(QStringLiteral("companion-route"), QStringLiteral("codex"), QStringLiteral("task_completed"),
                QStringLiteral("info"), QStringLiteral("Codex completed"), QStringLiteral("Tests passed"), std::nullopt,
                std::nullopt, std::nullopt,
                QJsonObject{{QStringLiteral("jump_target"), QStringLiteral("/tmp/tandrel-jump")},
                            {QStringLiteral("transcript_path"), QStringLiteral("/tmp/tandrel-transcript")},
                            {QStringLiteral("cwd"), QStringLiteral("/tmp/tandrel-cwd")}}));
  const PathPredicate acceptAll = [](const QString&) { return true; };
  const PathPredicate transcriptOrCwd = [](const QString& path) {
    return path == QLatin1String("/tmp/tandrel-transcript") || path == QLatin1String("/tmp/tandrel-cwd");
  };
  const PathPredicate cwdOnly = [](const QString& path) { return path == QLatin1String("/tmp/tandrel-cwd"); };
  const PathPredicate rejectAll = [](const QString&) { return false; };
  if (!route) {
    check(false, "companion route event missing");
  } else {
    check(companionJumpTarget(*route, acceptAll) == QStringLiteral("/tmp/tandrel-jump"),
          "companion route should prefer jumpTarget");
    check(companionJumpTarget(*route, transcriptOrCwd) == QStringLiteral("/tmp/tandrel-transcript"),
          "companion route should fall back to transcriptPath");
    check(companionJumpTarget(*route, cwdOnly) == QStringLiteral("/tmp/tandrel-cwd"),
          "companion route should fall back to cwd");
    check(!companionJumpTarget(*route, rejectAll),
          "companion route should not open Settings when no external target exists");
  }
  const std::optional<TandrelEvent> noRoute = parsed(QJsonObject{
      {QStringLiteral("event_id"), QStringLiteral("companion-no-route")},
      {QStringLiteral("source"), QStringLiteral("codex")},
      {QStringLiteral("event_type"), QStringLiteral("task_completed")},
      {QStringLiteral("title"), QStringLiteral("No route")},
      {QStringLiteral("message"), QStringLiteral("No external target")},
  });
  if (!noRoute) {
    check(false, "companion no-route event missing");
  } else {
    check(!companionJumpTarget(*noRoute, acceptAll),
          "companion route should ignore default cwd when event has no explicit route");
  }

  // What the ticker shows first, second and third, and what the companion shows.
  const std::optional<TandrelEvent> approval = parsed(
      testEvent(QStringLiteral("ticker-approval"), QStringLiteral("claude_code"), QStringLiteral("permission_request"),
                QStringLiteral("warning"), QStringLiteral("Run tests"), QStringLiteral("Bash · npm test"), std::nullopt,
                std::nullopt, std::nullopt,
                QJsonObject{{QStringLiteral("kind"), QStringLiteral("shell")},
                            {QStringLiteral("risk"), QStringLiteral("low")},
                            {QStringLiteral("decision_file"), QStringLiteral("/tmp/ticker-d.json")}}));
  const std::optional<TandrelEvent> working =
      parsed(testEvent(QStringLiteral("ticker-work"), QStringLiteral("codex"), QStringLiteral("task_started"),
                       QStringLiteral("info"), QStringLiteral("Codex started"), QStringLiteral("Planning changes")));
  const std::optional<TandrelEvent> done =
      parsed(testEvent(QStringLiteral("ticker-done"), QStringLiteral("codex"), QStringLiteral("task_completed"),
                       QStringLiteral("info"), QStringLiteral("Codex completed"), QStringLiteral("All tests passed")));
  if (!approval || !working || !done) {
    check(false, "companionTickerItems ordering test events missing");
  } else {
    const EventReminderPolicy approvalPolicy = eventReminderPolicy(*approval);
    check(isApprovalKind(approvalPolicy.kind) && approvalPolicy.isHumanFacing,
          "ticker: approval event classifies as requiresAction (appears first)");
    check(eventReminderPolicy(*working).kind == EventReminderKind::working,
          "ticker: working event classifies as inProgress (appears second)");
    const EventReminderPolicy donePolicy = eventReminderPolicy(*done);
    check(donePolicy.kind == EventReminderKind::completion && donePolicy.isHumanFacing,
          "ticker: done event classifies as completed (appears third)");
    const std::vector<TandrelEvent> workingOnly{*working};
    const std::optional<CompanionStatusItem> workingItem = companionStatusItem(workingOnly);
    check(workingItem && workingItem->kind == CompanionStatusKind::working,
          "ticker: task_started surfaces as .working in companion");
    const std::vector<TandrelEvent> approvalAndWorking{*approval, *working};
    const std::optional<CompanionStatusItem> approvalItem = companionStatusItem(approvalAndWorking);
    check(approvalItem && approvalItem->kind == CompanionStatusKind::approval,
          "ticker: approval outranks working in companion status");
    const std::optional<TandrelEvent> passive = parsed(
        testEvent(QStringLiteral("ticker-passive"), QStringLiteral("codex"), QStringLiteral("task_updated"),
                  QStringLiteral("info"), QStringLiteral("Codex usage"), QStringLiteral("Usage snapshot"), std::nullopt,
                  QJsonObject{{QStringLiteral("input_tokens"), 1200}, {QStringLiteral("data_source"), QStringLiteral("hook")}},
                  std::nullopt,
                  QJsonObject{{QStringLiteral("status"), QStringLiteral("usage")},
                              {QStringLiteral("notify_policy"), QStringLiteral("usage_only")}}));
    if (!passive) {
      check(false, "ticker passive event test missing");
    } else {
      const std::vector<TandrelEvent> passiveOnly{*passive};
      check(!companionStatusItem(passiveOnly), "ticker: usage_only event should not appear in companion");
    }
  }

  // A pet dragged out of the island.
  check(!petTravelStartsDragOut(QPointF(0, 0), QPointF(8, 6)), "small pet movement should remain a click");
  check(petTravelStartsDragOut(QPointF(0, 0), QPointF(22, 0)), "large pet movement should become drag-out");

  // The settings panel on a 1440 x 900 main screen with a second one to its right.
  const QRectF mainScreen(0, 0, 1440, 900);
  const QRectF secondScreen(1440, 0, 1440, 900);
  const QRectF panel = settingsPanelDefaultFrame(mainScreen);
  check(panel.size() == QSizeF(860, 780), "settings panel default frame should use prototype size");
  const QRectF dragged = draggedSettingsPanelFrame(panel, QPointF(700, 500), QPointF(740, 470), mainScreen);
  check(dragged.topLeft() == panel.topLeft() + QPointF(40, -30), "settings panel drag should move with the mouse delta");
  const QRectF crossed = draggedSettingsPanelFrame(panel, QPointF(700, 500), QPointF(1760, 500),
                                                   settingsPanelDesktopFrame({mainScreen, secondScreen}));
  check(crossed.right() > 1440, "settings panel drag should be able to cross onto a second screen");

  // The Sounds tab's play buttons: the selected sound's, the built-in ones' and an imported one's.
  const qreal settingsWidth = settingsPanelDefaultFrame(mainScreen).width();
  const QRectF selectedPlay = soundPlayButtonRect(kSelectedCardY, settingsWidth);
  const QRectF presetPlay = soundPresetPlayRect(0, 0, settingsWidth);
  const QRectF importedPlay = soundPlayButtonRect(importedSoundRowRect(0, 1, settingsWidth).top(), settingsWidth);
  check(selectedPlay.size() == QSizeF(24, 24) && presetPlay.size() == QSizeF(24, 24) &&
            importedPlay.size() == QSizeF(24, 24),
        "all sound play buttons should use the shared 24px size");
  check(std::abs(presetPlay.left() - selectedPlay.left()) < 0.001 &&
            std::abs(soundPresetPlayRect(1, 0, settingsWidth).left() - selectedPlay.left()) < 0.001,
        "selected and built-in sound play buttons should share one vertical column");

  // Usage rows: Codex quota as what is left, Claude context as what is used.
  const UsageMetric codex = TandrelView::usageMetricDisplaySnapshotForTests(
      UsageMetric{QStringLiteral("42%"), QStringLiteral("8:20 PM"), 42, QStringLiteral("ok")},
      QStringLiteral("5-hour limit"), QStringLiteral("Codex"), QStringLiteral("hook"));
  check(codex.label == QStringLiteral("42% left") && codex.suffix == QStringLiteral("8:20 PM"),
        "Codex usage rows should display quota percentages as left while preserving reset suffixes");
  const UsageMetric claude = TandrelView::usageMetricDisplaySnapshotForTests(
      UsageMetric{QStringLiteral("864.2k / 1m"), QStringLiteral("86%"), 86, QStringLiteral("ok")},
      QStringLiteral("Context window"), QStringLiteral("Claude"), QStringLiteral("transcript"));
  check(claude.label == QStringLiteral("864.2k / 1m") && claude.suffix == QStringLiteral("14% used"),
        "Claude usage rows should display context percentages as used while preserving token counts");
}

}  // namespace tandrel
