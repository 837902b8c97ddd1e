#pragma once

#include <QString>

// The self-tests of the settings panel's AI Tools tab: each drives a real view through a row's
// action with the tab's test switches in place, and puts the switches back before it returns.

namespace tandrel {

// The Trae IDE row's Jump opens its application (a folder under `tempRoot` standing for it),
// leaves the settings panel and says "Opened Trae IDE".
bool aiToolsJumpActionClosesSettingsFunctionalTest(const QString& tempRoot);

// The Codex CLI row's Repair installs (through the recording double), re-reads health and the row
// no longer offers Repair; the banner says "Codex CLI hook repaired". Its store's files lie under
// `tempRoot`.
bool aiToolsRepairSuccessClearsRepairActionFunctionalTest(const QString& tempRoot);

}  // namespace tandrel
