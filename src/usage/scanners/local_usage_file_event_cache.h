#pragma once

#include "events/tandrel_event.h"

#include <QString>

#include <functional>
#include <optional>

// The process-wide cache of each scanned file's event, keyed by "<kind>|<path>": a file is read
// again only when its modification time or size changed. "No event" is cached like an event.
// The table is emptied when a store finds 256 entries. Every access holds its lock; the load runs
// without it.

namespace tandrel {

namespace LocalUsageFileEventCache {
using Load = std::function<std::optional<TandrelEvent>()>;
std::optional<TandrelEvent> event(const QString& kind, const QString& path, const Load& load);
int countForTests();
}  // namespace LocalUsageFileEventCache

// Empties the per-file event cache, then the Claude five-hour block caches, each under its lock.
void clearLocalUsageFileEventCache();

}  // namespace tandrel
