#include "selfcheck/functional/animation_timer_functional_tests.h"

#include "companion/companion_layout.h"
#include "companion/companion_view.h"
#include "events/event_store.h"
#include "island/tandrel_view.h"
#include "platform/user_defaults.h"
#include "selfcheck/fixture_builders.h"
#include "selfcheck/functional/check_store.h"
#include "selfcheck/harness.h"
#include "ui/island_geometry.h"
#include "ui/settings_model.h"

#include <QJsonObject>

#include <chrono>
#include <vector>

namespace tandrel {

namespace {

using std::chrono::milliseconds;

// Settings over a defaults file of the check's own, with reduce motion as given.
struct CheckSettings {
  CheckSettings(const QString& tempRoot, const QString& prefix, bool reduceMotion)
      : defaults(scratchPath(tempRoot, prefix + QStringLiteral("-defaults.json"))), model(defaults) {
    setReduceMotion(reduceMotion);
  }
  void setReduceMotion(bool on) {
    model.change([on](UserSettings& values) { values.reduceMotion = on; });
  }
  UserDefaults defaults;
  SettingsModel model;
};

// The counters of 1000 ticks: redraw work and entries into the rotations.
std::pair<int, int> countersAfterThousandTicks(TandrelView& view) {
  TandrelView::animationTickWorkCountForTests = 0;
  TandrelView::rotationCallCountForTests = 0;
  for (int i = 0; i < 1000; ++i) view.animationTick();
  return {TandrelView::animationTickWorkCountForTests, TandrelView::rotationCallCountForTests};
}

}  // namespace

bool animationTickIdleGateFunctionalTest(const QString& tempRoot) {
  EventStore store(emptyCheckStoreOptions(tempRoot, QStringLiteral("idle-tick-gate")));
  CheckSettings settings(tempRoot, QStringLiteral("idle-tick-gate"), false);
  TandrelView view(overlayModeSize(OverlayMode::collapsed).toSize(), store, settings.model);
  view.setMode(OverlayMode::collapsed);
  bool quiet = countersAfterThousandTicks(view) == std::pair(0, 0);
  for (const SettingsTab tab : {SettingsTab::general, SettingsTab::aiTools, SettingsTab::about}) {
    view.setMode(OverlayMode::settings);
    view.activateSettingsTab(tab);
    quiet = countersAfterThousandTicks(view) == std::pair(0, 0) && quiet;
  }
  view.prepareForTermination();
  return quiet;
}

bool petAnimationTimerLifecycleFunctionalTest(const QString& tempRoot) {
  TandrelView::livePetAnimationTimerCountForTests = 0;
  bool lifecycle = true;
  {
    EventStore store(emptyCheckStoreOptions(tempRoot, QStringLiteral("pet-timer-idle")));
    CheckSettings settings(tempRoot, QStringLiteral("pet-timer-idle"), false);
    TandrelView view(overlayModeSize(OverlayMode::collapsed).toSize(), store, settings.model);
    lifecycle = !view.petAnimationTimerInterval() && TandrelView::livePetAnimationTimerCountForTests == 0;
    view.setMode(OverlayMode::expanded);
    lifecycle = lifecycle && view.petAnimationTimerInterval() == milliseconds(1000 / 30) &&
                TandrelView::livePetAnimationTimerCountForTests == 1;
    view.setMode(OverlayMode::collapsed);
    lifecycle = lifecycle && !view.petAnimationTimerInterval() && TandrelView::livePetAnimationTimerCountForTests == 0;
    view.prepareForTermination();
  }

  // Two items for the collapsed ticker to rotate through: a request and finished work.
  const QString eventFile = scratchPath(tempRoot, QStringLiteral("pet-timer-ticker-events.jsonl"));
  const std::vector<QJsonObject> records{
      testEvent(QStringLiteral("pet-timer-approval"), QStringLiteral("claude_code"), QStringLiteral("permission_request"),
                QStringLiteral("warning"), QStringLiteral("Run tests"), QStringLiteral("Bash · npm test"),
                QJsonObject{{QStringLiteral("kind"), QStringLiteral("shell")}, {QStringLiteral("risk"), QStringLiteral("low")}}),
      testEvent(QStringLiteral("pet-timer-done"), QStringLiteral("codex"), QStringLiteral("task_completed"),
                QStringLiteral("success"), QStringLiteral("Codex completed"), QStringLiteral("Tests pass again"))};
  if (!writeJSONLines(records, eventFile)) return false;
  EventStore store(storeOptionsWithoutAgentFolders(eventFile, scratchPath(tempRoot, QStringLiteral("pet-timer-ticker-audit.jsonl"))));
  store.reload(false);
  CheckSettings settings(tempRoot, QStringLiteral("pet-timer-ticker"), false);
  TandrelView view(overlayModeSize(OverlayMode::collapsed).toSize(), store, settings.model);
  view.evaluatePetAnimationTimer();
  const bool tickerTick = view.collapsedTickerItems().size() >= 2 &&
                          view.petAnimationTimerInterval() == milliseconds(1000) &&
                          TandrelView::livePetAnimationTimerCountForTests == 1;
  view.prepareForTermination();
  return lifecycle && tickerTick && TandrelView::livePetAnimationTimerCountForTests == 0;
}

bool companionAnimationTimerReduceMotionFunctionalTest(const QString& tempRoot) {
  TandrelCompanionView::liveAnimationTimerCountForTests = 0;
  const QRect frame(QPoint(), companion::companionSize(CompanionDisplayMode::bubble, UserSettings().floatingPetScale).toSize());

  CheckSettings settings(tempRoot, QStringLiteral("companion-timer"), true);
  bool stillWithReduceMotion = false;
  {
    EventStore store(emptyCheckStoreOptions(tempRoot, QStringLiteral("companion-timer-still")));
    TandrelCompanionView view(store, settings.model, true);
    view.setGeometry(frame);
    stillWithReduceMotion = !view.hasAnimationTimer() && TandrelCompanionView::liveAnimationTimerCountForTests == 0;
    view.prepareForTermination();
  }

  settings.setReduceMotion(false);
  EventStore store(emptyCheckStoreOptions(tempRoot, QStringLiteral("companion-timer-moving")));
  TandrelCompanionView view(store, settings.model, true);
  view.setGeometry(frame);
  const bool oneWithMotion = view.hasAnimationTimer() && TandrelCompanionView::liveAnimationTimerCountForTests == 1;
  view.prepareForTermination();
  const bool stoppedAtTearDown = TandrelCompanionView::liveAnimationTimerCountForTests == 0;
  TandrelCompanionView::liveAnimationTimerCountForTests = 0;
  return stillWithReduceMotion && oneWithMotion && stoppedAtTearDown;
}

}  // namespace tandrel
