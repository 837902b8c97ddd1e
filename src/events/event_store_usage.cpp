// EventStore: the usage caches, rebuilt from the published events once per revision, and the
// merge of a brand's readings into one.

#include "events/event_store.h"

#include "usage/usage_brand.h"
#include "usage/usage_dates.h"

#include <QVarLengthArray>

#include <algorithm>
#include <array>

namespace tandrel {
namespace {

const qint64 kDistantPastMs = distantPast().toMSecsSinceEpoch();

// Separates the parts of a merge key.
constexpr QChar kMergeKeySeparator(0x1F);

const std::vector<int>& noIndices() {
  static const std::vector<int> none;
  return none;
}

// The index of the newest snapshot that `has` accepts, given each snapshot's sort date: a later
// one replaces the choice only when strictly later. -1 when none is accepted.
template <typename Has>
int newestIndex(const std::vector<int>& indices, const std::vector<UsageSnapshot>& snapshots,
                const std::vector<qint64>& dates, Has has) {
  int chosen = -1;
  for (const int i : indices) {
    if (has(snapshots[i]) && (chosen < 0 || dates[i] > dates[chosen])) {
      chosen = i;
    }
  }
  return chosen;
}

}  // namespace

void EventStore::ensureUsageCache() {
  if (usageCacheRevision_ == revision_) {
    return;
  }
  cachedUsageSnapshots_.clear();
  cachedUsageSortMs_.clear();
  cachedUsageSnapshotsByToolID_.clear();
  // clear() keeps the buckets of both maps for the next revision.
  cachedMergedUsageByKey_.clear();
  cachedMergedUsageValidUntilMs_.clear();
  cachedUsageSortDates_.clear();
  for (const auto& event : events_) {
    if (event.usage) {
      cachedUsageSnapshotsByToolID_[event.usage->toolID].push_back(static_cast<int>(cachedUsageSnapshots_.size()));
      cachedUsageSnapshots_.push_back(*event.usage);
      cachedUsageSortMs_.push_back(usageSortMs(*event.usage));
    }
  }
  cachedLatestUsage_ = latestSnapshot(cachedUsageSnapshots_);
  usageCacheRevision_ = revision_;
}

const std::vector<int>& EventStore::usageSnapshotIndicesForToolID(const QString& toolID) {
  ensureUsageCache();
  const auto group = cachedUsageSnapshotsByToolID_.constFind(toolID);
  return group == cachedUsageSnapshotsByToolID_.constEnd() ? noIndices() : *group;
}

std::vector<UsageSnapshot> EventStore::usageSnapshotsForToolID(const QString& toolID) {
  return usageSnapshotsForToolIDs({toolID});
}

std::vector<int> EventStore::usageSnapshotIndices(const QStringList& toolIDs) {
  ensureUsageCache();
  std::vector<int> indices;
  for (qsizetype i = 0; i < toolIDs.size(); ++i) {
    if (toolIDs.indexOf(toolIDs[i]) < i) {
      continue;  // asked for already
    }
    const auto group = cachedUsageSnapshotsByToolID_.constFind(toolIDs[i]);
    if (group != cachedUsageSnapshotsByToolID_.constEnd()) {
      indices.insert(indices.end(), group->begin(), group->end());
    }
  }
  return indices;
}

std::vector<UsageSnapshot> EventStore::usageSnapshotsForToolIDs(const QStringList& toolIDs) {
  std::vector<UsageSnapshot> snapshots;
  for (const int index : usageSnapshotIndices(toolIDs)) {
    snapshots.push_back(cachedUsageSnapshots_[index]);
  }
  return snapshots;
}

std::optional<UsageSnapshot> EventStore::latestUsageForToolID(const QString& toolID) {
  const std::vector<int>& group = usageSnapshotIndicesForToolID(toolID);
  if (group.empty()) {
    return std::nullopt;
  }
  int latest = group.front();
  for (const int index : group) {
    if (cachedUsageSortMs_[index] > cachedUsageSortMs_[latest]) {
      latest = index;
    }
  }
  return cachedUsageSnapshots_[latest];
}

std::optional<UsageSnapshot> EventStore::latestUsage(const QString& brandOrTool) {
  return mergedUsage(usageToolIDs(brandOrTool), usageBrandName(brandOrTool));
}

QString EventStore::mergedUsageKey(const QStringList& toolIDs, const QString& displayTool) {
  QVarLengthArray<const QString*, 8> sorted;
  qsizetype length = displayTool.size();
  for (const QString& id : toolIDs) {
    sorted.push_back(&id);
    length += 1 + id.size();
  }
  std::sort(sorted.begin(), sorted.end(), [](const QString* a, const QString* b) { return *a < *b; });
  QString key;
  key.reserve(length);
  key += displayTool;
  for (const QString* id : sorted) {
    key += kMergeKeySeparator;
    key += *id;
  }
  return key;
}

std::optional<UsageSnapshot> EventStore::mergedUsage(const QStringList& toolIDs, const QString& displayTool) {
  ensureUsageCache();
  QString key = mergedUsageKey(toolIDs, displayTool);
  const qint64 nowMs = clock_.now().toMSecsSinceEpoch();
  if (const auto cached = cachedMergedUsageByKey_.find(key); cached != cachedMergedUsageByKey_.end()) {
    const auto validUntil = cachedMergedUsageValidUntilMs_.find(key);
    if (validUntil == cachedMergedUsageValidUntilMs_.end() || nowMs < validUntil->second) {
      return cached->second;
    }
  }

  const std::vector<int> indices = usageSnapshotIndices(toolIDs);
  const std::vector<UsageSnapshot>& snapshots = cachedUsageSnapshots_;
  const std::vector<qint64>& dates = cachedUsageSortMs_;
  const int newest = newestIndex(indices, snapshots, dates, [](const UsageSnapshot&) { return true; });
  if (newest < 0) {
    return std::nullopt;
  }

  // Each metric from the newest snapshot that has it, in the order context, tokens, cost, rate
  // limit, five-hour, daily, weekly.
  using Member = std::optional<UsageMetric> UsageSnapshot::*;
  static constexpr std::array<Member, 7> kMetrics = {
      &UsageSnapshot::context,  &UsageSnapshot::tokens, &UsageSnapshot::cost,  &UsageSnapshot::rateLimit,
      &UsageSnapshot::fiveHour, &UsageSnapshot::daily,  &UsageSnapshot::weekly,
  };
  // The quotas (five-hour, daily, weekly) go by quality first: the newest reading of the agent's
  // own limits (status line, rollout, hook) holds its meter until its window resets, whatever
  // estimate from transcripts came later; an estimate fills a meter no such reading covers, or
  // one whose reading is past its reset. Every other metric is the newest that has it.
  static constexpr std::array<qint64, 7> kQuotaWindowMs = {
      0, 0, 0, 0, 5 * 3'600'000LL, 24 * 3'600'000LL, 7 * 24 * 3'600'000LL,
  };
  std::optional<qint64> validUntil;
  std::array<int, 7> chosen{};
  for (std::size_t k = 0; k < kMetrics.size(); ++k) {
    const Member member = kMetrics[k];
    chosen[k] =
        newestIndex(indices, snapshots, dates, [member](const UsageSnapshot& s) { return (s.*member).has_value(); });
    if (kQuotaWindowMs[k] == 0 || chosen[k] < 0 || !usageQuotaIsEstimate(snapshots[chosen[k]])) {
      continue;
    }
    const int reported = newestIndex(indices, snapshots, dates, [member](const UsageSnapshot& s) {
      return (s.*member).has_value() && !usageQuotaIsEstimate(s);
    });
    if (reported < 0) {
      continue;
    }
    const UsageMetric& metric = *(snapshots[reported].*member);
    const qint64 windowEnd = metric.resetsAtMs.value_or(
        dates[reported] + (metric.windowMinutes > 0 ? metric.windowMinutes * 60'000LL : kQuotaWindowMs[k]));
    if (nowMs < windowEnd) {
      chosen[k] = reported;
      validUntil = std::min(validUntil.value_or(windowEnd), windowEnd);
    }
  }
  // A rate limit stays only while no newer five-hour reading exists: a newer limit signal takes
  // the headline, an older one gives way to newer quota data.
  const int rateLimit = chosen[3];
  const int fiveHour = chosen[4];
  if (rateLimit >= 0 && fiveHour >= 0 && dates[rateLimit] < dates[fiveHour]) {
    chosen[3] = -1;
  }

  const UsageSnapshot& source = snapshots[newest];
  UsageSnapshot merged;
  merged.tool = displayTool;
  merged.toolID = source.toolID;
  merged.source = source.source;
  merged.dataSource = source.dataSource;
  merged.observedAt = source.observedAt;
  merged.quality = source.quality;
  merged.sourceClass = source.sourceClass;
  merged.updated = source.updated;
  for (std::size_t k = 0; k < kMetrics.size(); ++k) {
    if (chosen[k] >= 0) {
      merged.*kMetrics[k] = snapshots[chosen[k]].*kMetrics[k];
    }
  }
  applyUsageHeadline(merged);
  if (validUntil) {
    cachedMergedUsageValidUntilMs_.insert_or_assign(key, *validUntil);
  } else {
    cachedMergedUsageValidUntilMs_.erase(key);
  }
  return cachedMergedUsageByKey_.insert_or_assign(std::move(key), std::move(merged)).first->second;
}

std::optional<UsageSnapshot> EventStore::latestSnapshot(const std::vector<UsageSnapshot>& snapshots) {
  if (snapshots.empty()) {
    return std::nullopt;
  }
  const UsageSnapshot* latest = &snapshots.front();
  qint64 latestDate = usageSortMs(*latest);
  for (auto it = snapshots.begin() + 1; it != snapshots.end(); ++it) {
    const qint64 date = usageSortMs(*it);
    if (date > latestDate) {
      latest = &*it;
      latestDate = date;
    }
  }
  return *latest;
}

qint64 EventStore::usageSortMs(const UsageSnapshot& snapshot) {
  const auto cached = cachedUsageSortDates_.find(snapshot.observedAt);
  if (cached != cachedUsageSortDates_.end()) {
    return cached->second;
  }
  const auto parsed = parseUsageDate(snapshot.observedAt);
  const qint64 ms = parsed ? parsed->toMSecsSinceEpoch() : kDistantPastMs;
  cachedUsageSortDates_.emplace(snapshot.observedAt, ms);
  return ms;
}

QDateTime EventStore::usageSortDate(const UsageSnapshot& snapshot) {
  return QDateTime::fromMSecsSinceEpoch(usageSortMs(snapshot), Qt::UTC);
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
