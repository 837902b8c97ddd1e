#include "selfcheck/self_test_runner.h"

#include "catalog/paths.h"
#include "events/event_store.h"
#include "hooks/hook_manager.h"
#include "platform/user_defaults.h"
#include "selfcheck/ai_tools_checks.h"
#include "selfcheck/checks/about_update_checks.h"
#include "selfcheck/checks/async_local_usage_checks.h"
#include "selfcheck/checks/bridge_script_checks.h"
#include "selfcheck/checks/collapsed_capsule_checks.h"
#include "selfcheck/checks/collapsed_ticker_checks.h"
#include "selfcheck/checks/companion_geometry_checks.h"
#include "selfcheck/checks/companion_label_checks.h"
#include "selfcheck/checks/companion_route_checks.h"
#include "selfcheck/checks/companion_status_checks.h"
#include "selfcheck/checks/decision_action_checks.h"
#include "selfcheck/checks/event_policy_checks.h"
#include "selfcheck/checks/expanded_island_checks.h"
#include "selfcheck/checks/idle_cost_checks.h"
#include "selfcheck/checks/jump_checks.h"
#include "selfcheck/checks/live_preview_checks.h"
#include "selfcheck/checks/local_usage_cache_checks.h"
#include "selfcheck/checks/local_usage_loader_checks.h"
#include "selfcheck/checks/message_cache_checks.h"
#include "selfcheck/checks/message_module_checks.h"
#include "selfcheck/checks/pet_sound_import_checks.h"
#include "selfcheck/checks/pet_sync_checks.h"
#include "selfcheck/checks/rendered_island_checks.h"
#include "selfcheck/checks/runtime_catalog_checks.h"
#include "selfcheck/checks/sound_preset_checks.h"
#include "selfcheck/checks/tool_health_checks.h"
#include "selfcheck/checks/usage_date_checks.h"
#include "selfcheck/checks/usage_display_checks.h"
#include "selfcheck/checks/usage_merge_hotplug_checks.h"
#include "selfcheck/fixture_builders.h"
#include "selfcheck/harness.h"
#include "selfcheck/self_check.h"
#include "ui/settings_model.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QString>

#include <cstdio>
#include <vector>

namespace tandrel {
namespace {

// The settings panel's AI Tools actions, and how the health report finds a bridge script in an
// agent's JSON configuration. Needs no event fixture.
void runAIToolsChecks(SelfCheckFailures& failures, const QString& tempRoot) {
  failures.check(aiToolsJumpActionClosesSettingsFunctionalTest(tempRoot),
                 QStringLiteral("AI Tools Jump should open the target app and close the settings panel"));
  failures.check(aiToolsRepairSuccessClearsRepairActionFunctionalTest(tempRoot),
                 QStringLiteral("AI Tools Repair should refresh health so the Repair button disappears after success"));

  const QString script = QStringLiteral("/Users/me/.tandrel/bin/tandrel-event");
  const QString escaped = QStringLiteral(
      "{\n  \"command\" : \"\\/Users\\/me\\/.tandrel\\/bin\\/tandrel-event --source claude_code\"\n}");
  const QString plain =
      QStringLiteral("{\n  \"command\": \"/Users/me/.tandrel/bin/tandrel-event --source claude_code\"\n}");
  failures.check(jsonConfigMentions(escaped, script) && jsonConfigMentions(plain, script) &&
                     !jsonConfigMentions(QStringLiteral("{}"), script),
                 QStringLiteral("health() must recognize bridge-script paths in JSON config even when slashes are "
                                "escaped as \\/"));
}

QJsonObject session(const char* id, int pid) {
  return {{QStringLiteral("session_id"), QString::fromLatin1(id)}, {QStringLiteral("pid"), pid}};
}

QJsonObject action(const char* kind, const char* risk, const QJsonObject& extra = {}) {
  QJsonObject object = extra;
  object.insert(QStringLiteral("kind"), QString::fromLatin1(kind));
  object.insert(QStringLiteral("risk"), QString::fromLatin1(risk));
  return object;
}

}  // namespace

std::vector<QJsonObject> baseEvents(const QString& decisionFile) {
  const QJsonObject codexUsage{
      {"context_used", "1200"},  {"context_total", "8000"},    {"input_tokens", 2500},
      {"output_tokens", 700},    {"total_tokens", 3200},       {"cache_read_tokens", 300},
      {"cache_write_tokens", 50}, {"cost_amount", 0.42},       {"cost_currency", "USD"},
      {"cost_estimate", false},  {"limit_5h_label", "42%"},    {"limit_5h_percent", 42},
      {"limit_5h_reset", "11:30"}, {"rate_limit_blocked", true}, {"rate_limit_reset", "12:00"},
      {"data_source", "rollout"}};
  const QJsonObject claudeUsage{{"context_used", "48.2k"}, {"context_total", "200k"}, {"context_percent", 24.1},
                                {"input_tokens", 3200},    {"output_tokens", 520},    {"total_tokens", 3720},
                                {"data_source", "transcript"}};
  const QJsonObject kiloUsage{{"context_used", "16k"},   {"context_total", "128k"},
                              {"input_tokens", 11800},   {"output_tokens", 2100},
                              {"total_tokens", 13900},   {"cost_amount", 0.31},
                              {"cost_currency", "USD"},  {"limit_5h_label", "24%"},
                              {"limit_5h_remaining_percent", 24}, {"data_source", "wrapper"}};
  QJsonObject silentTool = session("claude-silent-session", 778);
  silentTool.insert(QStringLiteral("status"), QStringLiteral("running_tool"));
  return {
      testEvent("jump-only", "claude_code", "permission_request", "warning", "Write to config.json",
                "Edit config.json", action("file", "medium")),
      testEvent("decision-file", "claude_code", "permission_request", "warning", "Run migration",
                QStringLiteral("Bash · migrate"), action("shell", "low", {{"decision_file", decisionFile}})),
      testEvent("decision-fail", "claude_code", "permission_request", "warning", "Deploy",
                QStringLiteral("Bash · deploy"), action("shell", "high", {{"decision_command", "/usr/bin/false"}})),
      testEvent("usage", "codex", "task_completed", "success", "Codex completed", "Summary only", std::nullopt,
                codexUsage, std::nullopt, session("codex-usage-session", 444)),
      testEvent("claude-usage", "claude_code", "task_completed", "success", "Claude completed", "Summary only",
                std::nullopt, claudeUsage, std::nullopt, session("claude-usage-session", 445)),
      testEvent("kilo-usage", "kilo-code", "task_completed", "success", "Kilo Code completed",
                "Generated API tests", std::nullopt, kiloUsage, std::nullopt, session("kilo-usage-session", 448)),
      testEvent("pi-message", "pi", "task_completed", "info", "Pi completed", "Finished edits", std::nullopt,
                std::nullopt, QStringLiteral("2026-05-09T01:00:30Z"), session("pi-session", 449)),
      testEvent("cline-approval", "cline", "permission_request", "warning", "Cline wants to run tests", "npm test",
                action("shell", "low")),
      testEvent("roo-done", "roo-code", "task_completed", "success", "Roo Code completed", "Updated README",
                std::nullopt, std::nullopt, QStringLiteral("2026-05-09T01:03:00Z"), session("roo-session", 450)),
      testEvent("task-start", "codex", "task_started", "info", "Codex started", "Planning changes", std::nullopt,
                std::nullopt, QStringLiteral("2026-05-09T01:00:00Z"), session("codex-dynamic-session", 777)),
      testEvent("task-tool", "codex", "task_updated", "info", "Codex running tool", "Running tests", std::nullopt,
                std::nullopt, QStringLiteral("2026-05-09T01:01:00Z"), session("codex-dynamic-session", 777)),
      testEvent("silent-claude-tool-update", "claude_code", "task_updated", "info", "Claude Code used tool",
                QStringLiteral("Edit · docs/usage-limit-notes.md"), std::nullopt, std::nullopt,
                QStringLiteral("2026-05-09T01:01:30Z"), silentTool),
      testEvent("task-done", "codex", "task_completed", "success", "Codex completed", "Tests passed", std::nullopt,
                std::nullopt, QStringLiteral("2026-05-09T01:02:00Z"), session("codex-dynamic-session", 777)),
  };
}

namespace {

// The groups of one row of the run, over the shared store and the scratch folder.
struct SelfTestRun {
  SelfCheckFailures& failures;
  EventStore& store;
  const QString& tempRoot;
};

// Row 4: the About panel and self-update.
void runAboutUpdateRow(const SelfTestRun& run) { runAboutUpdateChecks(run.failures, run.tempRoot); }

// Row 5: usage date parsing and its speed; the choice-message model.
void runUsageDatesAndChoiceMessageRow(const SelfTestRun& run) { runUsageDateAndChoiceMessageChecks(run.failures); }

// Row 6: the message and pet functional tests, the runtime refresh's visibility gate, the panels'
// layout branches and rebuilds, one Pets settings open for a double click, idle ticks and
// occluded refreshes.
void runPetOverlayRuntimeAndIdleCostRow(const SelfTestRun& run) {
  runPetOverlayRuntimeAndIdleCostChecks(run.failures, run.tempRoot);
}

// Row 7: the message normalizer, the action dispatcher, the jump resolver and the terminal
// openers, the event bridge, the store's choice messages and its Jumps.
void runMessageDispatchAndJumpRow(const SelfTestRun& run) { runJumpChecks(run.failures, run.tempRoot); }

// Row 8: the cmux opener's fallback chain and its shell quoting.
void runCmuxFallbackChainRow(const SelfTestRun& run) { runCmuxFallbackChainChecks(run.failures, run.tempRoot); }

// Row 9: the store and expanded-island functional tests, runtime intervals and the tool catalogue,
// the collapsed capsule and the expanded island, pet sync and companion geometry, collapsed status
// text, sound presets, companion labels.
void runIslandAndCompanionRow(const SelfTestRun& run) {
  runStoreJumpChecks(run.failures, run.tempRoot);
  runExpandedClickAndChoiceChecks(run.failures, run.tempRoot);
  runRuntimeIntervalAndCatalogueChecks(run.failures);
  runCollapsedCapsuleChecks(run.failures, run.store);
  runExternalCollapsedLayoutChecks(run.failures, run.tempRoot);
  runExpandedIslandLayoutChecks(run.failures, run.store);
  runPetSyncAndCompanionChecks(run.failures, run.store, run.tempRoot);
  runCollapsedStatusPlacementChecks(run.failures);
  runBuiltInSoundPresetChecks(run.failures);
  runCompanionLabelChecks(run.failures, run.store, run.tempRoot);
}

// Row 10: pets and sounds installed by Codex and the command-line installer, a sound reassigned,
// sound packages installed; CODEX_HOME, the Codex-pets switch and keys come back after it, while
// TANDREL_HOME stays in the run's folder until the run ends.
void runCodexPetsAndSoundRow(const SelfTestRun& run) {
  const ScopedRestore restore = codexPetsSettingsRestore();
  runPetAndSoundImportChecks(run.failures, run.store, run.tempRoot);
}

// Row 11: the hover region and the expanded status row.
void runHoverRegionAndStatusRow(const SelfTestRun& run) { runHoverRegionAndStatusRowChecks(run.failures); }

// Row 12: expanded top row, decision actions, usage snapshots and carousel, usage tabs and the
// collapsed ticker, MacBook notch status, usage eligibility.
void runDecisionsAndUsageRow(const SelfTestRun& run) {
  runExpandedTopRowChecks(run.failures, run.store);
  runDecisionActionChecks(run.failures, run.store);
  runUsageSnapshotAndCarouselChecks(run.failures, run.store);
  runUsageTabAndCollapsedTickerChecks(run.failures, run.store, run.tempRoot);
  runNotchStatusAndUsageRotationChecks(run.failures, run.store, run.tempRoot);
  runUsageEligibilityChecks(run.failures, run.tempRoot);
}

// Row 13: local usage fixtures and the Codex rollout, Claude transcript and Trae trajectory
// loaders; usage eligibility while integrations need repair.
void runLocalUsageLoadersRow(const SelfTestRun& run) { runLocalUsageLoaderChecks(run.failures, run.tempRoot); }

// Row 14: Claude brand usage merge, local transcript and hot-plug loaders, asynchronous local usage
// (which leaves the unchanged-rollout fixture for row 15).
void runLocalUsageMergeHotplugAndAsyncRow(const SelfTestRun& run) {
  runClaudeBrandUsageMergeChecks(run.failures, run.tempRoot);
  runLocalTranscriptAndHotplugChecks(run.failures, run.tempRoot);
  runAsyncLocalUsageChecks(run.failures, run.tempRoot);
}

// Row 15: local usage caches, with the loader-rerun and bounded-scan checks at their places.
void runLocalUsageCachesRow(const SelfTestRun& run) { runLocalUsageCacheChecks(run.failures, run.tempRoot); }

// Row 16: message cache and reload throttle, bridge scripts and message modules, event
// classification, inbox and sound policy, companion status policy.
void runMessagesAndPoliciesRow(const SelfTestRun& run) {
  runMessageCacheAndReloadThrottleChecks(run.failures, run.tempRoot);
  runBridgeScriptCurrentnessChecks(run.failures, run.tempRoot);
  runMessageModuleChecks(run.failures, run.store);
  runEventPolicyChecks(run.failures);
  runCompanionStatusChecks(run.failures);
}

// Row 17: companion route, ticker and panels; desktop companion geometry; the rendered island;
// usage formats, tool health and installation previews; live preview and pet state.
void runCompanionPanelsRow(const SelfTestRun& run) {
  runCompanionRouteChecks(run.failures);
  runCompanionGeometryChecks(run.failures, run.tempRoot);
  runRenderedExpandedIslandChecks(run.failures, eventFileURL());
  runContextUsageToolHealthAndPreviewChecks(run.failures, run.tempRoot);
  runLivePreviewAndPetStateChecks(run.failures, run.store, run.tempRoot);
}

}  // namespace

ScopedRestore codexPetsSettingsRestore() {
  ScopedRestore restore;
  restore.environment("CODEX_HOME")
      .environment("TANDREL_TEST_CODEX_PETS_AUTHORIZED")
      .defaultsKey(QString::fromLatin1(settings_keys::kCodexPetsDirectoryAuthorized))
      .defaultsKey(QString::fromLatin1(settings_keys::kDidRequestCodexPetsDirectoryAuthorization));
  return restore;
}

int runSelfTests() {
  // A blank name would make the run use, and first remove, the user's own bridge file: refuse it
  // like a missing one.
  if (!nonEmptyString(qEnvironmentVariable("TANDREL_EVENT_FILE"))) {
    printLine(stderr, QStringLiteral("TANDREL_EVENT_FILE is required for self tests"));
    return 2;
  }
  const QString eventFile = eventFileURL();
  const QString tempRoot = QFileInfo(eventFile).absolutePath();
  const QString decisionFile = scratchPath(tempRoot, QStringLiteral("decision.json"));
  QFile::remove(eventFile);
  QFile::remove(decisionFile);

  // The settings that views save during the run go to a defaults folder of the run's own, not to
  // the user's. The home of pets and sounds, which a group moves into the scratch folder for the
  // rest of the run, is put back at its end.
  ScopedRestore runScope;
  runScope.atExit([previous = UserDefaults::directoryForTests()] { UserDefaults::setDirectoryForTests(previous); })
      .environment("TANDREL_HOME");
  UserDefaults::setDirectoryForTests(scratchPath(tempRoot, QStringLiteral("defaults")));

  SelfCheckFailures failures;
  // Row 1: the application bundle's permission text for Jump automation has no counterpart here.
  failures.notAvailable(QStringLiteral("the Info.plist permission text for Jump automation"));
  // Row 2.
  runAIToolsChecks(failures, tempRoot);

  // Row 3.
  if (auto written = writeJSONLines(baseEvents(decisionFile), eventFile); !written) {
    printLine(stderr, QStringLiteral("Could not write self-test events: ") + written.error());
    return 2;
  }
  EventStoreOptions options;
  options.eventFile = eventFile;
  options.auditFile = scratchPath(tempRoot, QStringLiteral("audit.jsonl"));
  EventStore store(options);
  store.reload(false);

  const SelfTestRun run{failures, store, tempRoot};
  runAboutUpdateRow(run);
  runUsageDatesAndChoiceMessageRow(run);
  runPetOverlayRuntimeAndIdleCostRow(run);
  runMessageDispatchAndJumpRow(run);
  runCmuxFallbackChainRow(run);
  runIslandAndCompanionRow(run);
  runCodexPetsAndSoundRow(run);
  runHoverRegionAndStatusRow(run);
  runDecisionsAndUsageRow(run);
  runLocalUsageLoadersRow(run);
  runLocalUsageMergeHotplugAndAsyncRow(run);
  runLocalUsageCachesRow(run);
  runMessagesAndPoliciesRow(run);
  runCompanionPanelsRow(run);

  if (failures.messages().empty()) {
    printLine(stdout, QStringLiteral("Tandrel self tests passed"));
    return 0;
  }
  for (const QString& message : failures.messages()) {
    printLine(stderr, QStringLiteral("FAIL: ") + message);
  }
  return 1;
}

}  // namespace tandrel
