// EventStore: the usage caches, rebuilt from the published events once per revision.

#include "events/event_store.h"

#include "usage/usage_dates.h"

namespace tandrel {

void EventStore::ensureUsageCache() {
  if (usageCacheRevision_ == revision_) {
    return;
  }
  cachedUsageSnapshots_.clear();
  cachedUsageSnapshotsByToolID_.clear();
  for (const auto& event : events_) {
    if (event.usage) {
      cachedUsageSnapshots_.push_back(*event.usage);
      cachedUsageSnapshotsByToolID_[event.usage->toolID].push_back(*event.usage);
    }
  }
  cachedUsageSortDates_.clear();
  cachedLatestUsage_ = latestSnapshot(cachedUsageSnapshots_);
  usageCacheRevision_ = revision_;
}

std::optional<UsageSnapshot> EventStore::latestSnapshot(const std::vector<UsageSnapshot>& snapshots) {
  if (snapshots.empty()) {
    return std::nullopt;
  }
  const UsageSnapshot* latest = &snapshots.front();
  QDateTime latestDate = usageSortDate(*latest);
  for (auto it = snapshots.begin() + 1; it != snapshots.end(); ++it) {
    QDateTime date = usageSortDate(*it);
    if (date > latestDate) {
      latest = &*it;
      latestDate = std::move(date);
    }
  }
  return *latest;
}

QDateTime EventStore::usageSortDate(const UsageSnapshot& snapshot) {
  const auto cached = cachedUsageSortDates_.constFind(snapshot.observedAt);
  if (cached != cachedUsageSortDates_.constEnd()) {
    return *cached;
  }
  QDateTime date = parseUsageDate(snapshot.observedAt).value_or(distantPast());
  cachedUsageSortDates_.insert(snapshot.observedAt, date);
  return date;
}

QString EventStore::metricFingerprint(const std::optional<UsageMetric>& metric) {
  if (!metric) {
    return {};
  }
  return metric->label + QLatin1Char('~') + metric->suffix + QLatin1Char('~') +
         (metric->percent ? QString::number(*metric->percent, 'f', 4) : QString()) + QLatin1Char('~') +
         metric->status;
}

}  // namespace tandrel
