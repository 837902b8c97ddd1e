#include "selfcheck/checks/idle_cost_checks.h"

#include "app/overlay_controller.h"
#include "events/event_store.h"
#include "island/tandrel_view.h"
#include "platform/user_defaults.h"
#include "selfcheck/functional/animation_timer_functional_tests.h"
#include "selfcheck/functional/check_store.h"
#include "selfcheck/functional/message_functional_tests.h"
#include "selfcheck/functional/pet_image_functional_tests.h"
#include "selfcheck/harness.h"
#include "selfcheck/scratch_controller.h"
#include "ui/island_geometry.h"
#include "ui/settings_model.h"

namespace tandrel {

namespace {

void clearLayoutFlags() {
  OverlayController::applyModeDisplayFrameUsedForTests = false;
  OverlayController::applyModeAnimatedFrameUsedForTests = false;
}

// Whether the controller placed a panel; reports the check as not run when it has none to place.
bool hasSurfaces(SelfCheckFailures& failures, const OverlayController& controller, const char* check) {
  if (controller.hasSurfacesForTests()) return true;
  failures.notAvailable(QString::fromUtf8(check) + QStringLiteral(" (no screen to place a panel on)"));
  return false;
}

}  // namespace

void runPetOverlayRuntimeAndIdleCostChecks(SelfCheckFailures& failures, const QString& tempRoot) {
  const auto check = [&](bool condition, const char* message) { failures.check(condition, QString::fromUtf8(message)); };

  check(messageEventParsingFunctionalTest(),
        "message event parser should read choice options, response channel, note config, and jump target");
  check(messagePetStateRuntimeMappingFunctionalTest(tempRoot),
        "message pet state should mirror runtime state pills and silent running tool work");
  check(companionCandidateCacheFunctionalTest(tempRoot),
        "companion candidate events should be cached per store revision for draw-time pet state");
  check(warmPetImageCacheFunctionalTest(tempRoot),
        "warmPetImageCache should populate the pet image cache from a background queue before Settings is drawn");
  check(animationTickIdleGateFunctionalTest(tempRoot),
        "animationTick should early-return when collapsed-idle and on non-animated Settings tabs");
  check(sharedPetImageCacheFunctionalTest(tempRoot),
        "pet image cache should be a single process-wide store bounded by petImageCacheTotalCostLimit");
  check(petSpriteDownsampleFunctionalTest(tempRoot), "large pet spritesheets should be downsampled before entering the image cache");

  {
    ScratchController scratch(tempRoot, QStringLiteral("occlusion-gate"));
    ScopedRestore restore;
    restore.set(OverlayController::runtimeVisibilityPredicateOverrideForTests, [] { return false; });
    OverlayController::refreshRuntimeWorkCountForTests = 0;
    for (int i = 0; i < 1000; ++i) scratch.controller().refreshRuntime();
    const int hidden = OverlayController::refreshRuntimeWorkCountForTests;
    OverlayController::refreshRuntimeWorkCountForTests = 0;
    OverlayController::runtimeVisibilityPredicateOverrideForTests = [] { return true; };
    for (int i = 0; i < 5; ++i) scratch.controller().refreshRuntime();
    const int shown = OverlayController::refreshRuntimeWorkCountForTests;
    check(hidden == 0 && shown == 5, "refreshRuntime should early-return when the visibility predicate reports occluded");
  }

  {
    ScratchController scratch(tempRoot, QStringLiteral("layout-branches"));
    OverlayController& controller = scratch.controller();
    clearLayoutFlags();
    controller.rebuildSurfaces(controller.currentMode());
    const char* sentence = "applyMode animated branch should not pass display: true; non-animated branch must keep display: true";
    if (hasSurfaces(failures, controller, sentence)) {
      const bool rebuildDisplayed = OverlayController::applyModeDisplayFrameUsedForTests;
      clearLayoutFlags();
      controller.applyMode(true);
      const bool animated = OverlayController::applyModeAnimatedFrameUsedForTests;
      clearLayoutFlags();
      controller.applyMode(false);
      check(rebuildDisplayed && animated && OverlayController::applyModeDisplayFrameUsedForTests &&
                !OverlayController::applyModeAnimatedFrameUsedForTests,
            sentence);
    }
  }

  check(petAnimationTimerLifecycleFunctionalTest(tempRoot), "collapsed idle pet views should not keep the 30Hz animation timer alive");
  check(companionAnimationTimerReduceMotionFunctionalTest(tempRoot),
        "desktop companion animation timer should not run when reduce motion is enabled");

  {
    ScratchController scratch(tempRoot, QStringLiteral("surface-rebuild"));
    OverlayController& controller = scratch.controller();
    TandrelView::terminationCountForTests = 0;
    controller.rebuildSurfaces(controller.currentMode());
    const auto count = static_cast<int>(controller.surfaces().size());
    const char* sentence = "rebuilding overlay surfaces should terminate old views and timers";
    if (hasSurfaces(failures, controller, sentence)) {
      controller.rebuildSurfaces(controller.currentMode());
      check(TandrelView::terminationCountForTests >= count, sentence);
    }
  }

  {
    // The open leaves a diagnostic line in the application's data folder: the scratch folder's.
    ScopedRestore restore;
    restore.setEnvironment("XDG_DATA_HOME", scratchPath(tempRoot, QStringLiteral("duplicate-pet-settings-data")).toUtf8());
    ScratchController scratch(tempRoot, QStringLiteral("duplicate-pet-settings"));
    OverlayController& controller = scratch.controller();
    controller.rebuildSurfaces(controller.currentMode());
    const char* sentence = "desktop companion pet settings open should ignore duplicate double-click opens";
    if (hasSurfaces(failures, controller, sentence)) {
      OverlayController::companionPetSettingsOpenCountForTests = 0;
      clearLayoutFlags();
      controller.openCompanionPetSettings();
      const bool displayed = OverlayController::applyModeDisplayFrameUsedForTests;
      const bool animated = OverlayController::applyModeAnimatedFrameUsedForTests;
      controller.openCompanionPetSettings();
      check(displayed && !animated && OverlayController::companionPetSettingsOpenCountForTests == 1, sentence);
    }
  }

  {
    EventStore store(emptyCheckStoreOptions(tempRoot, QStringLiteral("idle-ticks")));
    UserDefaults defaults(scratchPath(tempRoot, QStringLiteral("idle-ticks-defaults.json")));
    SettingsModel settings(defaults);
    settings.change([](UserSettings& values) { values.reduceMotion = false; });
    TandrelView view(overlayModeSize(OverlayMode::collapsed).toSize(), store, settings);
    view.setMode(OverlayMode::collapsed);
    TandrelView::animationTickWorkCountForTests = 0;
    TandrelView::rotationCallCountForTests = 0;
    const double seconds = secondsTaken([&] {
      for (int i = 0; i < 1000; ++i) view.animationTick();
    });
    check(TandrelView::animationTickWorkCountForTests == 0, "1000 idle animationTick fires should not perform work");
    check(TandrelView::rotationCallCountForTests == 0, "1000 idle animationTick fires should not enter rotation helpers");
    failures.checkTiming(seconds, 0.3,
                         sentenceWithSeconds(QStringLiteral("1000 idle animationTick fires should complete well under 300ms; took "), seconds));
    view.prepareForTermination();
  }

  {
    ScratchController scratch(tempRoot, QStringLiteral("occluded-refreshes"));
    ScopedRestore restore;
    restore.set(OverlayController::runtimeVisibilityPredicateOverrideForTests, [] { return false; });
    OverlayController::refreshRuntimeWorkCountForTests = 0;
    const double seconds = secondsTaken([&] {
      for (int i = 0; i < 1000; ++i) scratch.controller().refreshRuntime();
    });
    check(OverlayController::refreshRuntimeWorkCountForTests == 0, "1000 occluded refreshRuntime fires should not perform work");
    failures.checkTiming(
        seconds, 0.3,
        sentenceWithSeconds(QStringLiteral("1000 occluded refreshRuntime fires should complete well under 300ms; took "), seconds));
  }
}

}  // namespace tandrel
