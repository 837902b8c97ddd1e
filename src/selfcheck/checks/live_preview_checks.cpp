#include "selfcheck/checks/live_preview_checks.h"

#include "attention/pet_state.h"
#include "events/tandrel_event.h"
#include "island/tandrel_view.h"
#include "platform/user_defaults.h"
#include "selfcheck/fixture_builders.h"
#include "settings/pages/live_preview_layout.h"
#include "ui/island_geometry.h"
#include "ui/settings_model.h"

#include <QJsonObject>

#include <cmath>
#include <optional>
#include <vector>

namespace tandrel {

namespace {

std::optional<TandrelEvent> parsed(const QJsonObject& record) { return TandrelEvent::fromDictionary(record); }

}  // namespace

void runLivePreviewAndPetStateChecks(SelfCheckFailures& failures, EventStore& store, const QString& tempRoot) {
  const auto check = [&](bool condition, const QString& message) { failures.check(condition, message); };
  const auto near = [](qreal value, qreal expected) { return std::abs(value - expected) < 0.001; };

  // The roaming path of the preview.
  check(near(live_preview::roamingLeftPct(0), 24), QStringLiteral("roaming(0) left == 24"));
  check(near(live_preview::roamingLeftPct(1.6), 58), QStringLiteral("roaming(1.6) right peak == 58"));
  check(near(live_preview::roamingLeftPct(3.2), 24), QStringLiteral("roaming(3.2) period == 24"));
  const qreal mid = live_preview::roamingLeftPct(2.4);
  check(mid > 42 && mid < 58, QStringLiteral("roaming(2.4) in (42, 58), got %1").arg(mid));

  // The preview's reduce motion: either switch, unless the view renders fixtures. Each row goes
  // on from the state the one before left.
  UserDefaults defaults(tempRoot + QStringLiteral("/live-preview-defaults.json"));
  SettingsModel settings(defaults);
  TandrelView view(island::kSettingsPanelSize.toSize(), store, settings);
  const auto reduceMotion = [&](bool preview, bool app) {
    view.previewReduceMotion = preview;
    settings.change([app](UserSettings& values) { values.reduceMotion = app; }, false);
    return view.effectiveLivePreviewReduceMotion();
  };
  check(!reduceMotion(false, false), QStringLiteral("effRM(F,F)"));
  check(reduceMotion(true, false), QStringLiteral("effRM(T,F)"));
  check(reduceMotion(false, true), QStringLiteral("effRM(F,T)"));
  check(reduceMotion(true, true), QStringLiteral("effRM(T,T)"));
  view.isLivePreviewFixtureMode = true;
  check(!view.effectiveLivePreviewReduceMotion(), QStringLiteral("effRM fixture"));

  // The pet state's priorities.
  const std::optional<TandrelEvent> approval = parsed(testEvent(
      QStringLiteral("psr-perm"), QStringLiteral("claude_code"), QStringLiteral("permission_request"),
      QStringLiteral("info"), QStringLiteral("Run tests"), QStringLiteral("Bash · npm test"), std::nullopt,
      std::nullopt, std::nullopt,
      QJsonObject{{QStringLiteral("kind"), QStringLiteral("shell")},
                  {QStringLiteral("risk"), QStringLiteral("low")},
                  {QStringLiteral("decision_file"), QStringLiteral("/tmp/psr-d.json")}}));
  const std::optional<TandrelEvent> working =
      parsed(testEvent(QStringLiteral("psr-work"), QStringLiteral("codex"), QStringLiteral("task_started"),
                       QStringLiteral("info"), QStringLiteral("Codex started"), QStringLiteral("Planning changes")));
  const std::optional<TandrelEvent> completed =
      parsed(testEvent(QStringLiteral("psr-done"), QStringLiteral("codex"), QStringLiteral("task_completed"),
                       QStringLiteral("info"), QStringLiteral("Codex completed"), QStringLiteral("All tests passed")));
  const std::optional<TandrelEvent> failed =
      parsed(testEvent(QStringLiteral("psr-fail"), QStringLiteral("codex"), QStringLiteral("task_failed"),
                       QStringLiteral("critical"), QStringLiteral("Codex failed"), QStringLiteral("Build broke")));
  const auto resolve = [](std::vector<TandrelEvent> events) {
    return PetStateResolver::resolve(events, UsageSnapshot{}, false);
  };
  if (!approval || !working || !completed || !failed) {
    check(false, QStringLiteral("PetStateResolver test events missing"));
  } else {
    check(resolve({*approval}) == PetState::approval, QStringLiteral("approval event should resolve to .approval"));
    check(resolve({*working}) == PetState::working, QStringLiteral("task_started event should resolve to .working"));
    check(resolve({*completed}) == PetState::done, QStringLiteral("completed event should resolve to .done"));
    check(resolve({*failed}) == PetState::error, QStringLiteral("critical failed event should resolve to .error"));
    check(resolve({*approval, *working}) == PetState::approval,
          QStringLiteral("approval should outrank working in pet state"));
    check(resolve({*approval, *failed}) == PetState::approval,
          QStringLiteral("approval should outrank error in pet state priority"));
    check(resolve({}) == PetState::idle, QStringLiteral("no events should resolve to .idle"));
  }

  const std::optional<TandrelEvent> rateLimited =
      parsed(testEvent(QStringLiteral("psr-ratelimit"), QStringLiteral("cursor"), QStringLiteral("rate_limited"),
                       QStringLiteral("info"), QStringLiteral("Cursor rate limited"), QStringLiteral("Too many requests")));
  const std::optional<TandrelEvent> tiredDone =
      parsed(testEvent(QStringLiteral("psr-done-tired"), QStringLiteral("codex"), QStringLiteral("task_completed"),
                       QStringLiteral("info"), QStringLiteral("Codex completed"), QStringLiteral("All tests passed")));
  if (!rateLimited || !tiredDone) {
    check(false, QStringLiteral("PetStateResolver tired state test event missing"));
  } else {
    check(resolve({*rateLimited}) == PetState::tired, QStringLiteral("rate_limited event should resolve to .tired"));
    check(resolve({*rateLimited, *tiredDone}) == PetState::tired,
          QStringLiteral("rate_limited should outrank done in pet state"));
  }
}

}  // namespace tandrel
