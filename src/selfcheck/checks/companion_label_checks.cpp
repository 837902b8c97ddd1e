#include "selfcheck/checks/companion_label_checks.h"

#include "attention/companion_status.h"
#include "companion/companion_layout.h"
#include "companion/companion_view.h"
#include "events/tandrel_event.h"
#include "platform/clock.h"
#include "platform/user_defaults.h"
#include "selfcheck/fixture_builders.h"
#include "ui/settings_model.h"

#include <optional>
#include <vector>

namespace tandrel {

using namespace companion;

void runCompanionLabelChecks(SelfCheckFailures& failures, EventStore& store, const QString& tempRoot) {
  const auto check = [&](bool condition, const char* message) { failures.check(condition, QString::fromUtf8(message)); };

  const std::optional<TandrelEvent> event = TandrelEvent::fromDictionary(
      testEvent(QStringLiteral("companion-inline-status"), QStringLiteral("codex"), QStringLiteral("task_completed"),
                QStringLiteral("info"), QStringLiteral("Codex completed"), QStringLiteral("Planning")));
  const std::vector<TandrelEvent> events = event ? std::vector<TandrelEvent>{*event} : std::vector<TandrelEvent>{};
  const std::optional<CompanionStatusItem> item = companionStatusItem(events);
  if (!item) {
    check(false, "companion inline status event missing");
    return;
  }

  check(companionInlineLabel(false, CompanionDisplayMode::roaming, PetState::idle, item) == item->label,
        "companion inline label should consume status provider value");
  check(companionInlineLabel(false, CompanionDisplayMode::roaming, PetState::idle, std::nullopt) ==
            QStringLiteral("roam"),
        "companion inline label should preserve roaming fallback");
  check(companionInlineLabel(true, CompanionDisplayMode::floating, PetState::idle, item) == QStringLiteral("drag"),
        "companion inline label should preserve placement label");

  // Clicks on a companion drawing the item, its window at the origin.
  UserDefaults defaults(tempRoot + QStringLiteral("/companion-label-defaults.json"));
  SettingsModel settings(defaults);
  TandrelCompanionView view(store, settings, true, Clock::system());
  view.setGeometry(QRect(QPoint(), companionSize(CompanionDisplayMode::bubble, 1).toSize()));
  view.statusProvider = [item] { return item; };
  std::vector<QString> opened;
  view.actions.openStatus = [&](const CompanionStatusItem& clicked) { opened.push_back(clicked.event.id); };
  view.renderImage();  // the label's click area is where it was last drawn
  const auto click = [&](QPointF from, QPointF to) {
    opened.clear();
    view.pointerPressed(from);
    view.pointerDragged(to);
    view.pointerReleased(to);
    view.move(0, 0);
    return opened;
  };
  const QPointF onLabel = view.labelHitRect().topLeft() + QPointF(22, 10);
  check(click(onLabel, onLabel) == std::vector<QString>{QStringLiteral("companion-inline-status")},
        "companion label click should target the rendered status item");
  check(click(QPointF(2, 2), QPointF(2, 2)).empty(), "companion label click should ignore clicks outside the label");
  check(click(onLabel, onLabel + QPointF(10, 0)).empty(), "companion label click should not fire while dragging the pet");

  const CompanionBubbleFallback fallback{CompanionStatusItem{item->kind, QStringLiteral("No linked task"), item->event},
                                         10.0};
  const std::optional<CompanionStatusItem> before = companionBubbleStatus(item, fallback, 9.9);
  check(before && before->label == QStringLiteral("No linked task"),
        "companion fallback bubble should survive runtime refresh briefly");
  const std::optional<CompanionStatusItem> after = companionBubbleStatus(item, fallback, 10.1);
  check(after && after->label == item->label, "companion fallback bubble should yield after it expires");

  check(companionJumpLine(QStringLiteral("Codex CLI"), 16) == QStringLiteral("Codex CLI"),
        "companion jump label should keep short app names intact");
  check(companionJumpLine(QStringLiteral("Running a very long command in the terminal"), 12) ==
            QStringLiteral("Running ...>"),
        "companion jump label should mark truncated text with ...>");

  const auto white = [](const QColor& color) { return color.redF() == color.greenF() && color.greenF() == color.blueF(); };
  const CompanionTextColors dark = companionTextColors(true);
  const CompanionTextColors light = companionTextColors(false);
  check(white(dark.title) && dark.title.redF() == 1.0 && white(dark.detail) && dark.detail.redF() == 1.0,
        "dark macOS appearance should use white companion text");
  check(white(light.title) && light.title.redF() == 0.0 && white(light.detail) && light.detail.redF() == 0.0,
        "light macOS appearance should use black companion text");
}

}  // namespace tandrel
