#pragma once

#include "hooks/hook_manager.h"
#include "selfcheck/self_check.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <vector>

// How usage readings are shown and which tools enter the usage carousel: the snapshots of the
// shared store's Codex and Kilo Code base events (the meters' labels, rows and provenance) and the
// carousel's brands; and the eligibility rules over stores of their own under `tempRoot` (nothing
// without observed usage, a reason per kind of integration, stale readings left out, a status-line
// reading deep in the bridge file's history seeded at start-up).

namespace tandrel {

class EventStore;

// One healthy, detected row per catalogue tool (Cursor IDE as alpha): the tool health the usage
// carousel checks run with.
std::vector<ToolHealth> carouselHealth();
// The brands the usage carousel shows for `store` with carouselHealth(), nothing disabled and the
// wrapper bridge ready.
QStringList carouselNames(EventStore& store, const QDateTime& now = QDateTime::currentDateTimeUtc());

void runUsageSnapshotAndCarouselChecks(SelfCheckFailures& failures, EventStore& store);
void runUsageEligibilityChecks(SelfCheckFailures& failures, const QString& tempRoot);

}  // namespace tandrel
