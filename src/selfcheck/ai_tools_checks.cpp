#include "selfcheck/ai_tools_checks.h"

#include "ai_tools/ai_tools_model.h"
#include "ai_tools/ai_tools_tab.h"
#include "events/event_store.h"
#include "island/tandrel_view.h"
#include "selfcheck/fixture_builders.h"
#include "selfcheck/fixture_renderer.h"
#include "selfcheck/harness.h"

#include <QDir>
#include <QUrl>

namespace tandrel {

namespace {

// The tab's switches, recorded before a check sets them and put back however it ends.
ScopedRestore switchesRestore() {
  ScopedRestore restore;
  restore.variable(AIToolsTab::toolHealthProviderForTests)
      .variable(AIToolsTab::repairConfirmationForTests)
      .variable(AIToolsTab::hookInstallerForTests)
      .variable(AIToolsTab::externalURLOpenerForTests)
      .variable(AIToolsTab::appLauncherForTests);
  return restore;
}

// Runs the event loop until the view shows a banner (at most 5 s): the tab's results come back
// from its queue.
std::optional<QString> awaitBanner(TandrelView& view) {
  waitOnEventLoop([&view] { return view.statusBanner().has_value(); }, 5.0);
  return view.statusBanner();
}

}  // namespace

bool aiToolsJumpActionClosesSettingsFunctionalTest(const QString& tempRoot) {
  const ScopedRestore restore = switchesRestore();
  const QString app = scratchPath(tempRoot, QStringLiteral("ai-tools-jump/Trae.app"));
  if (!QDir().mkpath(app)) {
    return false;
  }
  EventStore store(fixtureStoreOptions(scratchPath(tempRoot, QStringLiteral("ai-tools-jump-events.jsonl"))));
  TandrelView view(QSize(860, 780), store);
  view.setMode(OverlayMode::settings);
  view.activateSettingsTab(SettingsTab::aiTools);
  view.toolHealth = {fixtureToolHealthRow(QStringLiteral("trae-ide"), HookStatus::alpha, true, app, app)};
  QList<QUrl> opened;
  AIToolsTab::externalURLOpenerForTests = [&opened](const QUrl& url) {
    opened.append(url);
    return true;
  };
  if (settingsToolActionTitle(view.toolHealth[0]) != QStringLiteral("Jump") ||
      !view.performAIToolPrimaryActionForTests(QStringLiteral("trae-ide"))) {
    return false;
  }
  return awaitBanner(view) == QStringLiteral("Opened Trae IDE") && opened == QList<QUrl>{QUrl::fromLocalFile(app)} &&
         view.mode() == OverlayMode::collapsed;
}

bool aiToolsRepairSuccessClearsRepairActionFunctionalTest(const QString& tempRoot) {
  const ScopedRestore restore = switchesRestore();
  EventStore store(fixtureStoreOptions(scratchPath(tempRoot, QStringLiteral("ai-tools-repair-events.jsonl"))));
  TandrelView view(QSize(860, 780), store);
  view.setMode(OverlayMode::settings);
  view.activateSettingsTab(SettingsTab::aiTools);
  const QString config = QStringLiteral("~/.codex/config.toml");
  view.toolHealth = {fixtureToolHealthRow(QStringLiteral("codex-cli"), HookStatus::repair, true, config, config)};
  QStringList installed;
  AIToolsTab::repairConfirmationForTests = [](const ToolConfirmation&) { return true; };
  AIToolsTab::hookInstallerForTests = [&installed](const QString& id) {
    installed.append(id);
    return Result<void>::success();
  };
  AIToolsTab::toolHealthProviderForTests = [config] {
    return std::vector<ToolHealth>{fixtureToolHealthRow(QStringLiteral("codex-cli"), HookStatus::healthy, true, config, config)};
  };
  if (settingsToolActionTitle(view.toolHealth[0]) != QStringLiteral("Repair") ||
      !view.performAIToolPrimaryActionForTests(QStringLiteral("codex-cli"))) {
    return false;
  }
  return awaitBanner(view) == QStringLiteral("Codex CLI hook repaired") && installed == QStringList{"codex-cli"} &&
         view.toolHealth.size() == 1 && !settingsToolActionTitle(view.toolHealth[0]);
}

}  // namespace tandrel
