#include "selfcheck/checks/runtime_catalog_checks.h"

#include "ai_tools/ai_tools_model.h"
#include "app/overlay_controller.h"
#include "catalog/tool_catalog.h"
#include "events/event_store.h"
#include "hooks/hook_manager.h"
#include "selfcheck/fixture_builders.h"

#include <QTimer>

#include <chrono>

namespace tandrel {

namespace {

using Seconds = std::chrono::duration<double>;

double seconds(std::chrono::milliseconds interval) { return Seconds(interval).count(); }

// How far Qt may move a timer's wake-up to group it with others: a precise timer not at all, a
// coarse one by 5 % of its interval, a very coarse one to the nearest whole second.
double wakeUpSlack(const QTimer& timer) {
  switch (timer.timerType()) {
    case Qt::PreciseTimer:
      return 0.0;
    case Qt::CoarseTimer:
      return 0.05 * timer.interval() / 1000.0;
    case Qt::VeryCoarseTimer:
      return 0.5;
  }
  return 0.0;
}

ToolHealth traeRow(const char* id, const char* name, const char* path, HookStatus status, const char* detail,
                   bool detected, const char* surface, const char* integration, const QStringList& capabilities,
                   const char* jumpTarget) {
  ToolHealth row;
  row.id = QString::fromLatin1(id);
  row.product = QStringLiteral("Trae");
  row.name = QString::fromLatin1(name);
  row.path = QString::fromLatin1(path);
  row.status = status;
  row.detail = QString::fromLatin1(detail);
  row.detected = detected;
  row.color = rgba(28, 126, 214);
  row.surface = QString::fromLatin1(surface);
  row.integration = QString::fromLatin1(integration);
  row.capabilities = capabilities;
  row.priority = 1;
  row.jumpTarget = QString::fromLatin1(jumpTarget);
  return row;
}

}  // namespace

void runRuntimeIntervalAndCatalogueChecks(SelfCheckFailures& failures) {
  const auto check = [&](bool condition, const char* message) { failures.check(condition, QString::fromUtf8(message)); };
  namespace tuning = runtime_tuning;

  // The runtime refresh timer as the controller arms it.
  QTimer refresh;
  armRuntimeRefreshTimer(refresh);
  const double interval = refresh.interval() / 1000.0;
  check(interval >= 2.0, "runtime refresh fallback interval should avoid high-frequency idle churn");
  check(interval <= 2.5, "runtime refresh fallback interval should still recover missed file events reasonably quickly");
  check(wakeUpSlack(refresh) >= interval / 4, "runtime refresh timer should allow wakeup coalescing");
  // The live preview draws its frames on a precise timer: Qt has no tolerance finer than 5 % of
  // an interval or a whole second, either of which would spoil a 60 Hz animation.
  failures.notAvailable(QStringLiteral("a wake-up tolerance for the live preview's frame timer"));
  check(seconds(tuning::kStoreFallbackInterval) >= 10.0, "bridge event fallback should rely on filesystem events before polling");
  check(seconds(tuning::kFullscreenScanInterval) >= 5.0, "fullscreen window scans should be heavily throttled while idle");
  check(seconds(tuning::kDiskBackedRefreshInterval) >= 10.0, "disk-backed settings refresh should be heavily throttled while idle");
  check(seconds(tuning::kCompanionProviderRefreshInterval) >= interval,
        "companion provider refresh should not run faster than the runtime loop");
  check(seconds(EventStore::kLocalUsageRescanInterval) >= 20.0,
        "local usage refresh interval should avoid frequent background transcript scans");
  const double hotplug = seconds(EventStore::kLocalHotplugRescanInterval);
  check(hotplug >= 3.0, "hotplug permission fallback should avoid sub-three-second background rollout scans");
  check(hotplug <= 3.5, "hotplug permission fallback should keep approval detection near-real-time");

  QStringList catalogueIDs;
  for (const AIToolCatalogItem& item : aiToolCatalog()) catalogueIDs << item.id;
  check(catalogueIDs == requiredToolIDs() && phaseOneToolIDs() == requiredToolIDs(),
        "phase-one AI tools should match the product requirements");

  const auto logo = [](const char* id) { return softwareLogoAppPath(QString::fromLatin1(id)).value_or(QString()); };
  const QStringList trae = {QStringLiteral("/Applications/Trae.app"), QStringLiteral("/Applications/Trae CN.app")};
  check(logo("claude-code") == QStringLiteral("/Applications/Claude.app"),
        "Claude Code should use the Claude software icon, not the Anthropic company mark");
  check(logo("codex-cli") == QStringLiteral("/Applications/Codex.app"),
        "Codex CLI should use the Codex software icon, not the OpenAI company mark");
  check(logo("cursor-ide") == QStringLiteral("/Applications/Cursor.app"), "Cursor should use the Cursor software icon");
  check(trae.contains(logo("trae-ide")), "Trae should use the local Trae software icon");
  check(trae.contains(logo("trae-agent-cli")), "Trae Agent CLI should use the local Trae software icon");
  check(logo("trae-solo") == QStringLiteral("/Applications/TRAE SOLO CN.app"),
        "Trae SOLO should use the local SOLO app icon, not the Trae IDE icon");
  check(logo("kimi-app-web") == QStringLiteral("/Applications/Kimi.app"), "Kimi should use the Kimi software icon when installed");

  const QStringList soloCapabilities = {QStringLiteral("Messages"), QStringLiteral("Completion"), QStringLiteral("Jump")};
  const ToolHealth missingIDE = traeRow("trae-ide", "Trae IDE", "/Applications/Trae.app", HookStatus::missing,
                                        "Install Trae", false, "IDE", "Jump / Notifications", {QStringLiteral("Jump")},
                                        "https://www.trae.ai/download");
  const ToolHealth solo = traeRow("trae-solo", "Trae SOLO", "/Applications/Trae CN.app", HookStatus::healthy,
                                  "Trae SOLO ready", true, "App/Cloud", "Webhook / Wrapper", soloCapabilities,
                                  "/Applications/Trae CN.app");
  const ToolHealth soloRepair = traeRow("trae-solo", "Trae SOLO", "/Applications/TRAE SOLO CN.app", HookStatus::repair,
                                        "Needs repair", true, "App/Cloud", "Webhook / Wrapper", soloCapabilities,
                                        "/Applications/TRAE SOLO CN.app");
  check(settingsToolActionTitle(missingIDE) == QStringLiteral("Download"), "missing Trae IDE should expose a download action");
  check((!missingIDE.detected || missingIDE.status == HookStatus::missing) &&
            missingIDE.jumpTarget.value_or(QString()).toLower().startsWith(QLatin1String("http")),
        "missing Trae IDE should show an install guide before opening download");
  check(settingsToolActionTitle(solo) == QStringLiteral("Jump"),
        "detected Trae SOLO should expose Jump even when integration text does not include Jump");
  check(settingsToolPrimaryAction(missingIDE) == SettingsToolPrimaryAction::download,
        "missing Trae IDE primary action should open the download guide");
  check(settingsToolPrimaryAction(solo) == SettingsToolPrimaryAction::jump, "detected Trae SOLO primary action should be Jump");
  check(settingsToolPrimaryAction(soloRepair) == SettingsToolPrimaryAction::repair,
        "repair status should take priority over Jump so the button action matches its Repair label");
  check(settingsToolActionTitle(soloRepair) == QStringLiteral("Repair"),
        "repairable jump tools should render a Repair button before Jump");

  const auto appPaths = [](const char* id) {
    const AIToolCatalogItem* item = catalogItem(QString::fromLatin1(id));
    return item != nullptr ? std::optional<QStringList>(item->appPaths) : std::nullopt;
  };
  const auto commands = [](const char* id) {
    const AIToolCatalogItem* item = catalogItem(QString::fromLatin1(id));
    return item != nullptr ? std::optional<QStringList>(item->commandNames) : std::nullopt;
  };
  check(canonicalToolID(QStringLiteral("TRAE SOLO CN")) == QStringLiteral("trae-solo"),
        "TRAE SOLO CN should canonicalize to the SOLO adapter");
  const auto ideApps = appPaths("trae-ide");
  const auto soloApps = appPaths("trae-solo");
  const auto ideCommands = commands("trae-ide");
  const auto agentCommands = commands("trae-agent-cli");
  check(ideApps && ideApps->contains(QStringLiteral("/Applications/Trae CN.app")),
        "Trae IDE detection should include the installed Trae CN bundle");
  check(soloApps && soloApps->contains(QStringLiteral("/Applications/TRAE SOLO CN.app")),
        "Trae SOLO detection should include the installed uppercase CN bundle");
  check(soloApps && !soloApps->contains(QStringLiteral("/Applications/Trae CN.app")),
        "Trae SOLO detection should not treat the Trae IDE bundle as SOLO");
  check(ideCommands && !ideCommands->contains(QStringLiteral("trae")),
        "Trae IDE detection must not rely on the generic `trae` command since the agent CLI also installs it");
  check(agentCommands && !agentCommands->contains(QStringLiteral("trae")),
        "Trae Agent CLI detection must not match the generic `trae` command since the Trae IDE also installs it");
  check(agentCommands && agentCommands->contains(QStringLiteral("trae-cli")),
        "Trae Agent CLI detection must keep its unique `trae-cli` command");
}

}  // namespace tandrel
