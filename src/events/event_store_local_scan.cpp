// EventStore: the local usage and hot-plug streams.
//
// Each stream runs its loader over the agents' own data roots, at most every 30 s (usage) or 3 s
// (hot-plug), and stores the result only when its fingerprint changed, so that an unchanged scan
// never republishes the store. Before a usage load the candidate files (paths, sizes, times) are
// compared with the last look: while they stay the same, nine of every ten due loads are skipped.
// In asynchronous mode the loaders run on their own queues and hand results back to the main
// thread; at most one load per stream is in flight.

#include "events/event_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>

namespace tandrel {

namespace {

// Seconds between 1970-01-01 and 2001-01-01, the reference date of candidate times.
constexpr qint64 kReferenceDateOffsetSeconds = 978'307'200;

struct CandidateFile {
  QString path;
  qint64 size = 0;
  struct timespec modified {};

  bool newerThan(const CandidateFile& other) const {
    return modified.tv_sec != other.modified.tv_sec ? modified.tv_sec > other.modified.tv_sec
                                                   : modified.tv_nsec > other.modified.tv_nsec;
  }
};

struct CandidateFilter {
  const std::function<bool(const QFileInfo&)>& include;
  const QSet<QString>& extensions;
};

void collectCandidateFiles(const QString& folder, const CandidateFilter& filter, std::vector<CandidateFile>& out) {
  const QDir dir(folder);
  // Hidden files and folders are skipped; links are neither followed nor listed.
  const auto entries = dir.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks);
  for (const QFileInfo& entry : entries) {
    if (entry.isDir()) {
      collectCandidateFiles(entry.filePath(), filter, out);
    } else if (filter.extensions.contains(entry.suffix().toLower()) && (!filter.include || filter.include(entry))) {
      // File times to the nanosecond, so that a rewrite within the same millisecond still shows.
      struct stat info {};
      if (::stat(QFile::encodeName(entry.filePath()).constData(), &info) != 0 || !S_ISREG(info.st_mode)) {
        continue;
      }
      out.push_back({entry.filePath(), static_cast<qint64>(info.st_size), info.st_mtim});
    }
  }
}

// A file time as seconds since 2001-01-01 in the shortest decimal form that reads back as the
// same double, with ".0" for whole seconds ("800000000.25", "800000000.0").
QString referenceDateSeconds(const struct timespec& time) {
  const double seconds = static_cast<double>(static_cast<qint64>(time.tv_sec) - kReferenceDateOffsetSeconds) +
                         static_cast<double>(time.tv_nsec) / 1e9;
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
                                                       const std::function<bool(const QFileInfo&)>& include,
                                                       const QString& prefix, const QSet<QString>& extensions,
                                                       QStringList& lines) {
  if (!root) {
    return;
  }
  const QFileInfo rootInfo(*root);
  if (!rootInfo.exists() || !rootInfo.isDir() || !rootInfo.isReadable()) {
    lines.push_back(prefix + QLatin1String("|missing|") + *root);
    return;
  }
  std::vector<CandidateFile> files;
  collectCandidateFiles(*root, {include, extensions}, files);
  std::stable_sort(files.begin(), files.end(),
                   [](const CandidateFile& a, const CandidateFile& b) { return a.newerThan(b); });
  const std::size_t count = std::min(files.size(), static_cast<std::size_t>(std::max(limit, 0)));
  for (std::size_t i = 0; i < count; ++i) {
    const CandidateFile& file = files[i];
    lines.push_back(prefix + QLatin1Char('|') + file.path + QLatin1Char('|') + QString::number(file.size) +
                    QLatin1Char('|') + referenceDateSeconds(file.modified));
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
  static const std::function<bool(const QFileInfo&)> kRollouts = [](const QFileInfo& file) {
    return file.fileName().startsWith(QLatin1String("rollout-"));
  };
  static const std::function<bool(const QFileInfo&)> kEveryFile;
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
