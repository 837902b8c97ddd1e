// EventStore: the local usage and hot-plug streams.
//
// Each stream runs its loader over the agents' own data roots, at most every 30 s (usage) or 3 s
// (hot-plug), and stores the result only when its fingerprint changed, so that an unchanged scan
// never republishes the store. Before a usage load the candidate files (paths, sizes, times) are
// compared with the last look: while they stay the same, nine of every ten due loads are skipped.
// In asynchronous mode the loaders run on their own queues and hand results back to the main
// thread; at most one load per stream is in flight.

#include "events/event_store.h"

#include "base/heap_memory.h"

#include <QFileInfo>

#include <algorithm>
#include <charconv>
#include <cstdlib>

namespace tandrel {

namespace {

// Seconds between 1970-01-01 and 2001-01-01, the reference date of candidate times.
constexpr qint64 kReferenceDateOffsetSeconds = 978'307'200;

// A file time as seconds since 2001-01-01 in the shortest decimal form that reads back as the
// same double, with ".0" for whole seconds ("800000000.25", "800000000.0").
QString referenceDateSeconds(qint64 modifiedNs) {
  constexpr qint64 kNanoseconds = 1'000'000'000;
  const qint64 wholeSeconds = modifiedNs / kNanoseconds - (modifiedNs % kNanoseconds < 0 ? 1 : 0);
  const qint64 fraction = modifiedNs - wholeSeconds * kNanoseconds;
  const double seconds = static_cast<double>(wholeSeconds - kReferenceDateOffsetSeconds) +
                         static_cast<double>(fraction) / 1e9;
  char buffer[64];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, seconds, std::chars_format::fixed);
  QString text = QString::fromLatin1(buffer, error == std::errc() ? end - buffer : 0);
  if (!text.contains(QLatin1Char('.'))) {
    text += QLatin1String(".0");
  }
  return text;
}

void clearScanCache(const std::function<void()>& clear) {
  if (clear) {
    clear();
  }
}

bool intervalDue(std::chrono::milliseconds interval, QDateTime& scanAt, const QDateTime& now) {
  if (!(interval.count() <= scanAt.msecsTo(now))) {
    return false;
  }
  scanAt = now;
  return true;
}

}  // namespace

void EventStore::appendLocalUsageCandidateFingerprints(const std::optional<QString>& root, int limit,
                                                       const LocalFilePredicate& include, const QString& prefix,
                                                       const QSet<QString>& extensions, QStringList& lines) {
  if (!root) {
    return;
  }
  const QFileInfo rootInfo(*root);
  if (!rootInfo.exists() || !rootInfo.isDir() || !rootInfo.isReadable()) {
    lines.push_back(prefix + QLatin1String("|missing|") + *root);
    return;
  }
  const std::vector<DiscoveredFile> files = discoverRecentFiles(*root, [&](const QString& path) {
    return extensions.contains(QFileInfo(path).suffix().toLower()) && (!include || include(path));
  });
  const std::size_t count = std::min(files.size(), static_cast<std::size_t>(std::max(limit, 0)));
  for (std::size_t i = 0; i < count; ++i) {
    const DiscoveredFile& file = files[i];
    const auto stat = localFileStat(file.path);
    lines.push_back(prefix + QLatin1Char('|') + file.path + QLatin1Char('|') +
                    QString::number(stat ? stat->size : -1) + QLatin1Char('|') + referenceDateSeconds(file.modifiedNs));
  }
}

bool EventStore::hasLocalUsageRoot() const {
  return codexSessionsRoot_ || claudeProjectsRoot_ || traeTrajectoryRoot_;
}

bool EventStore::hasLocalHotplugRoot() const {
  return codexSessionsRoot_ || claudeProjectsRoot_ || cursorProjectsRoot_ || traeLogsRoot_;
}

bool EventStore::shouldLoadLocalUsage(const QDateTime& now) {
  return intervalDue(testEnvironment_ ? std::chrono::milliseconds(0) : kLocalUsageRescanInterval,
                     lastLocalUsageScanAt_, now);
}

bool EventStore::shouldLoadLocalHotplug(const QDateTime& now) {
  return intervalDue(testEnvironment_ ? std::chrono::milliseconds(0) : kLocalHotplugRescanInterval,
                     lastLocalHotplugScanAt_, now);
}

bool EventStore::shouldSkipUnchangedLocalUsageCandidates() {
  static const QSet<QString> kJSONL{QStringLiteral("jsonl")};
  static const QSet<QString> kJSON{QStringLiteral("json")};
  static const LocalFilePredicate kRollouts = [](const QString& path) {
    return QFileInfo(path).fileName().startsWith(QLatin1String("rollout-"));
  };
  static const LocalFilePredicate kEveryFile;
  QStringList lines;
  appendLocalUsageCandidateFingerprints(codexSessionsRoot_, kCodexCandidateLimit, kRollouts, QStringLiteral("codex"),
                                        kJSONL, lines);
  appendLocalUsageCandidateFingerprints(claudeProjectsRoot_, kClaudeCandidateLimit, kEveryFile,
                                        QStringLiteral("claude"), kJSONL, lines);
  appendLocalUsageCandidateFingerprints(traeTrajectoryRoot_, kTraeTrajectoryCandidateLimit, kEveryFile,
                                        QStringLiteral("trae"), kJSON, lines);
  QString fingerprint = lines.join(QLatin1Char('\n'));

  if (lastLocalUsageCandidateFingerprint_ == fingerprint) {
    unchangedLocalUsageCandidateSkips_ += 1;
    if (unchangedLocalUsageCandidateSkips_ < kUnchangedCandidateSkipCap) {
      lastLocalUsageCandidateFingerprint_ = std::move(fingerprint);
      return true;
    }
    // Every tenth unchanged look loads afresh, for changes that the file times do not show.
    unchangedLocalUsageCandidateSkips_ = 0;
    clearScanCache(clearDiscoveryCache_);
    clearScanCache(clearFileEventCache_);
    lastLocalUsageCandidateFingerprint_ = std::move(fingerprint);
    return false;
  }
  // New or changed files: find them again, but keep what was parsed of the files that did not
  // change.
  unchangedLocalUsageCandidateSkips_ = 0;
  clearScanCache(clearDiscoveryCache_);
  lastLocalUsageCandidateFingerprint_ = std::move(fingerprint);
  return false;
}

bool EventStore::clearLocalUsageEventsIfNeeded() {
  lastLocalUsageCandidateFingerprint_.reset();
  unchangedLocalUsageCandidateSkips_ = 0;
  clearScanCache(clearDiscoveryCache_);
  clearScanCache(clearFileEventCache_);
  if (localUsageEvents_.empty()) {
    return false;
  }
  localUsageEvents_.clear();
  lastLocalUsageFingerprint_.clear();
  return true;
}

bool EventStore::clearLocalHotplugEventsIfNeeded() {
  lastLocalHotplugScanAt_ = distantPast();
  didAttemptInitialLocalHotplugLoad_ = false;
  if (localHotplugEvents_.empty()) {
    return false;
  }
  localHotplugEvents_.clear();
  lastLocalHotplugFingerprint_.clear();
  return true;
}

bool EventStore::reloadLocalUsageEventsIfNeeded(const QDateTime& now) {
  if (!hasLocalUsageRoot()) {
    return clearLocalUsageEventsIfNeeded();
  }
  if (!shouldLoadLocalUsage(now) || shouldSkipUnchangedLocalUsageCandidates()) {
    return false;
  }
  auto loaded = localUsageLoader_(codexSessionsRoot_, claudeProjectsRoot_, traeTrajectoryRoot_);
  QString fingerprint = localUsageFingerprint(loaded);
  if (fingerprint == lastLocalUsageFingerprint_) {
    return false;
  }
  localUsageEvents_ = std::move(loaded);
  lastLocalUsageFingerprint_ = std::move(fingerprint);
  return true;
}

bool EventStore::scheduleLocalUsageEventsReloadIfNeeded(const QDateTime& now) {
  if (!hasLocalUsageRoot()) {
    return clearLocalUsageEventsIfNeeded();
  }
  if (localUsageLoadInFlight_ || !shouldLoadLocalUsage(now) || shouldSkipUnchangedLocalUsageCandidates()) {
    return false;
  }
  localUsageLoadInFlight_ = true;
  localUsageQueue_->async([loader = localUsageLoader_, codex = codexSessionsRoot_, claude = claudeProjectsRoot_,
                           trae = traeTrajectoryRoot_, weak = weakSelf()] {
    auto loaded = loader(codex, claude, trae);
    QString fingerprint = localUsageFingerprint(loaded);
    postToMain([weak, loaded = std::move(loaded), fingerprint = std::move(fingerprint)]() mutable {
      if (const auto self = weak.lock()) {
        (*self)->finishLocalUsageLoad(std::move(loaded), fingerprint);
      }
    });
    // A scan of long transcripts leaves many small freed pieces behind in this thread's heap.
    returnFreeHeapMemory();
  });
  return false;
}

void EventStore::finishLocalUsageLoad(std::vector<TandrelEvent> loaded, const QString& fingerprint) {
  localUsageLoadInFlight_ = false;
  if (fingerprint == lastLocalUsageFingerprint_) {
    return;
  }
  localUsageEvents_ = std::move(loaded);
  lastLocalUsageFingerprint_ = fingerprint;
  publishEvents();
}

bool EventStore::reloadLocalHotplugEventsIfNeeded(const QDateTime& now) {
  if (!hasLocalHotplugRoot()) {
    return clearLocalHotplugEventsIfNeeded();
  }
  if (!shouldLoadLocalHotplug(now)) {
    return false;
  }
  auto loaded = localHotplugLoader_(codexSessionsRoot_, claudeProjectsRoot_, cursorProjectsRoot_, traeLogsRoot_);
  QString fingerprint = localEventFingerprint(loaded);
  if (fingerprint == lastLocalHotplugFingerprint_) {
    return false;
  }
  localHotplugEvents_ = std::move(loaded);
  lastLocalHotplugFingerprint_ = std::move(fingerprint);
  return true;
}

bool EventStore::scheduleLocalHotplugEventsReloadIfNeeded(const QDateTime& now) {
  if (!hasLocalHotplugRoot()) {
    return clearLocalHotplugEventsIfNeeded();
  }
  if (localHotplugLoadInFlight_ || !shouldLoadLocalHotplug(now)) {
    return false;
  }
  localHotplugLoadInFlight_ = true;
  localHotplugQueue_->async([loader = localHotplugLoader_, codex = codexSessionsRoot_, claude = claudeProjectsRoot_,
                             cursor = cursorProjectsRoot_, traeLogs = traeLogsRoot_, weak = weakSelf()] {
    auto loaded = loader(codex, claude, cursor, traeLogs);
    QString fingerprint = localEventFingerprint(loaded);
    postToMain([weak, loaded = std::move(loaded), fingerprint = std::move(fingerprint)]() mutable {
      if (const auto self = weak.lock()) {
        (*self)->finishLocalHotplugLoad(std::move(loaded), fingerprint);
      }
    });
  });
  return false;
}

void EventStore::finishLocalHotplugLoad(std::vector<TandrelEvent> loaded, const QString& fingerprint) {
  localHotplugLoadInFlight_ = false;
  if (fingerprint == lastLocalHotplugFingerprint_) {
    return;
  }
  localHotplugEvents_ = std::move(loaded);
  lastLocalHotplugFingerprint_ = fingerprint;
  publishEvents();
}

std::vector<TandrelEvent> EventStore::dedupedLocalHotplugEvents() const {
  std::vector<TandrelEvent> kept;
  kept.reserve(localHotplugEvents_.size());
  for (const auto& event : localHotplugEvents_) {
    const bool reported = std::any_of(bridgeEvents_.begin(), bridgeEvents_.end(), [&event](const TandrelEvent& bridge) {
      return bridge.eventType == event.eventType && bridge.sessionId == event.sessionId &&
             bridge.toolName == event.toolName && bridge.message == event.message &&
             std::llabs(bridge.timestamp.msecsTo(event.timestamp)) <
                 std::chrono::milliseconds(kHotplugDuplicateWindow).count();
    });
    if (!reported) {
      kept.push_back(event);
    }
  }
  return kept;
}

QString EventStore::localUsageFingerprint(const std::vector<TandrelEvent>& events) {
  QStringList lines;
  lines.reserve(static_cast<qsizetype>(events.size()));
  for (const auto& event : events) {
    QString usagePart;
    if (const auto& usage = event.usage) {
      usagePart = QStringList{
          usage->toolID,
          usage->dataSource,
          usage->observedAt,
          rawValue(usage->quality),
          rawValue(usage->sourceClass),
          usage->label,
          usage->percent ? QString::number(*usage->percent, 'f', 4) : QString(),
          metricFingerprint(usage->context),
          metricFingerprint(usage->tokens),
          metricFingerprint(usage->cost),
          metricFingerprint(usage->fiveHour),
          metricFingerprint(usage->daily),
          metricFingerprint(usage->weekly),
          metricFingerprint(usage->rateLimit),
      }.join(QLatin1Char('|'));
    }
    lines.push_back(event.id + QLatin1Char('|') + event.rawTimestamp + QLatin1Char('|') + usagePart);
  }
  return lines.join(QLatin1Char('\n'));
}

QString EventStore::localEventFingerprint(const std::vector<TandrelEvent>& events) {
  QStringList lines;
  lines.reserve(static_cast<qsizetype>(events.size()));
  for (const auto& event : events) {
    lines.push_back(QStringList{event.id, event.eventType, event.status, event.rawTimestamp, event.message,
                                event.toolName, event.sessionId.value_or(QString())}
                        .join(QLatin1Char('|')));
  }
  return lines.join(QLatin1Char('\n'));
}

}  // namespace tandrel
