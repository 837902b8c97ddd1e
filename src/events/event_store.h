#pragma once

#include "base/result.h"
#include "attention/companion_status.h"
#include "inbox/island_message.h"
#include "catalog/paths.h"
#include "attention/pet_state.h"
#include "events/response_receipt_store.h"
#include "events/tandrel_event.h"
#include "jump/jump_openers.h"
#include "jump/jump_resolver.h"
#include "jump/jump_target.h"
#include "platform/clock.h"
#include "platform/dispatch.h"
#include "platform/file_event_source.h"
#include "requests/message_action_dispatcher.h"
#include "requests/pending_action.h"
#include "requests/response_channel.h"
#include "usage/scanners/local_files.h"
#include "usage/scanners/local_usage_file_event_cache.h"
#include "usage/scanners/local_usage_loaders.h"
#include "usage/usage_snapshot.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QJsonObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

// The one store of agent events. It merges three sources into one published list, `events`:
//
//   - the bridge file, one JSON object per line, which the agents' hooks append to all day. The
//     store tails it (event_store_bridge.cpp): an append costs only the new bytes, a reset reads
//     at most the last 8 MiB, and inotify watches on the file and its folder trigger a debounced
//     reload;
//   - the local usage loader and the local hot-plug loader, which read the agents' own transcripts
//     (event_store_local_scan.cpp), inline or on their own worker threads;
//   - integration notices, made on every publish from failed receipts of chosen options.
//
// Each publish replaces `events`, raises `revision` by one and calls `onChange`. Every derived view
// (usage caches here; inbox messages, read and hidden state, companion status elsewhere) keys its
// cache on `revision` and rebuilds lazily the next time it is read.
//
// Threads: the store's state belongs to the main thread. The bridge monitors and the pending
// debounced reload belong to the bridge queue "app.tandrel.bridge-events"; the only way from there
// to the tail state is a main-thread call of reload(BridgeCheck::changed). The two loader queues
// run only the loaders and hand their results back to the main thread. Every hop holds the store
// weakly.

namespace tandrel {

class UserDefaults;

// Whether a reload runs the local usage and hot-plug loaders inline or on their worker threads.
enum class LocalUsageLoadMode { synchronous, asynchronous };

// Reads usage-only events from the Codex sessions, Claude projects and Trae trajectory roots.
using LocalUsageLoader = std::function<std::vector<TandrelEvent>(
    const std::optional<QString>& codexSessionsRoot, const std::optional<QString>& claudeProjectsRoot,
    const std::optional<QString>& traeTrajectoryRoot)>;

// Reads hot-plug attention events from the Codex sessions, Claude projects, Cursor projects and
// Trae logs roots.
using LocalHotplugLoader = std::function<std::vector<TandrelEvent>(
    const std::optional<QString>& codexSessionsRoot, const std::optional<QString>& claudeProjectsRoot,
    const std::optional<QString>& cursorProjectsRoot, const std::optional<QString>& traeLogsRoot)>;

// Opens one resolved Jump; true when it opened. May block its thread while a child runs.
using JumpOpener = std::function<bool(const ResolvedJumpTarget&)>;

// One entry of the list of targets a Jump tries, in order.
struct JumpCandidate {
  ResolvedJumpTarget target;
  bool isFallback = false;

  bool operator==(const JumpCandidate&) const = default;
};

// What a store is made with. Every member has the default the application uses; the self-tests
// and unit tests replace what they need.
struct EventStoreOptions {
  // Whether the process runs in the test environment (no monitors, no persisted read and hidden
  // state, no scan throttles). Read once here from the process-wide flag that main sets.
  bool testEnvironment = isTestEnvironment();

  QString eventFile = eventFileURL();
  QString auditFile = appSupportDirectory() + QStringLiteral("/audit.jsonl");
  std::optional<QString> codexSessionsRoot = defaultCodexSessionsRootURL();
  std::optional<QString> claudeProjectsRoot = defaultClaudeProjectsRootURL();
  std::optional<QString> traeTrajectoryRoot = defaultTraeTrajectoryRootURL();
  std::optional<QString> cursorProjectsRoot = defaultCursorProjectsRootURL();
  std::optional<QString> traeLogsRoot = defaultTraeLogsRootURL();

  // Synchronous in the test environment, otherwise asynchronous, unless set.
  std::optional<LocalUsageLoadMode> localUsageLoadMode;
  // The transcript scanners (an empty function means this default).
  LocalUsageLoader localUsageLoader = scanLocalUsageEvents;
  LocalHotplugLoader localHotplugLoader = scanLocalHotplugEvents;
  // Empty the scanners' process-wide caches: the recent files found per root, and the events
  // parsed per file with the Claude five-hour blocks. The usage pass calls them when the candidate
  // files changed, when a periodic full reload is due and when it has no root. Tests that replace
  // the loaders count the calls here; an empty function empties nothing.
  std::function<void()> clearDiscoveryCache = clearRecentJSONLDiscoveryCache;
  std::function<void()> clearFileEventCache = clearLocalUsageFileEventCache;
  // Checks every card's Jump against the machine.
  JumpResolver jumpResolver;
  // Opens the candidates of a Jump (an empty function means this default).
  JumpOpener jumpOpener = JumpOpeners::defaultJumpOpener;

  // Time for the throttles, the debounce and the notices' timestamps.
  Clock* clock = &Clock::system();
  // Whether bridge reads longer than EventStore::kBridgeInlineReadBytes are read and parsed on the
  // bridge queue instead of the main thread: yes unless in the test environment, unless set.
  std::optional<bool> bridgeReadsInBackground;
  // The size past which the bridge file is moved aside: EventStore::kBridgeRotateBytes unless set.
  std::optional<qint64> bridgeRotateBytes;

  // Where the read and hidden sets are kept: the standard user defaults when null.
  UserDefaults* defaults = nullptr;
  // Whether a socket request is waiting for the user (the pet then asks for approval): the
  // shared pending-action store's waiting actions when unset.
  std::function<bool()> socketRequestsWaiting;
  // The socket requests waiting for the user, for tying cards to them by request key: the shared
  // pending-action store's when unset.
  std::function<std::vector<PendingAction>()> waitingRequests;
};

// The result of a card action, shown by the island as a banner: success with an optional status
// text, or failure with the reason.
struct ActionResult {
  bool succeeded = true;
  std::optional<QString> text;

  static ActionResult success(std::optional<QString> text = std::nullopt) { return {true, std::move(text)}; }
  static ActionResult failure(QString text) { return {false, std::move(text)}; }
  bool operator==(const ActionResult&) const = default;
};

// Which file a path named when it was last looked at; a file replaced by another (a rename over
// it, or deleted and created again) has another identity.
struct BridgeFileIdentity {
  quint64 device = 0;
  quint64 inode = 0;
  bool operator==(const BridgeFileIdentity&) const = default;
};

class EventStore {
 public:
  // Bridge tailing limits and timing.
  static constexpr std::chrono::milliseconds kBridgeMetadataCheckInterval{350};
  static constexpr std::chrono::milliseconds kBridgeReloadDebounce{50};
  static constexpr int kBridgeActiveTailCap = 500;
  static constexpr qint64 kBridgeTailReadBytes = 8 * 1024 * 1024;
  static constexpr int kBridgeUsageHistoryPerTool = 12;
  static constexpr int kBridgeUsageHistoryTotal = 96;
  // Longer reads of the bridge file are parsed on the bridge queue (when the options allow it), so
  // that neither a reset of a long file nor a burst of junk blocks the main thread.
  static constexpr qint64 kBridgeInlineReadBytes = 256 * 1024;
  // The bytes before the end of the last read that the next incremental read compares.
  static constexpr qsizetype kBridgeRewriteProbeBytes = 64;
  // While changes keep coming, a reload waits at most this long after the first of them.
  static constexpr std::chrono::milliseconds kBridgeReloadMaxWait{100};
  // Past this size the bridge file is moved aside (see rotatedBridgeFile) and a new one begun.
  static constexpr qint64 kBridgeRotateBytes = 64 * 1024 * 1024;
  // Past this size the message-action audit log is moved aside as "audit.jsonl.1" (replacing an
  // older one) before its next line, so that the two hold at most about twice this much.
  static constexpr qint64 kAuditRotateBytes = 16 * 1024 * 1024;
  // Local scan throttles (both 0 in the test environment).
  static constexpr std::chrono::milliseconds kLocalUsageRescanInterval{30'000};
  static constexpr std::chrono::milliseconds kLocalHotplugRescanInterval{3'000};
  // A read or hidden set larger than this drops the identifiers of the events the bridge caches
  // no longer hold (see forgetReadStateOfEventsGone).
  static constexpr int kReadStateIDsBeforePruning = 2 * kBridgeActiveTailCap;
  // Read and hidden event identifiers in the store's user defaults.
  static inline const QString kHiddenEventIDsKey = QStringLiteral("hiddenEventIDs");
  static inline const QString kReadEventIDsKey = QStringLiteral("readEventIDs");

  // Does no file I/O on the bridge file and starts no monitoring.
  explicit EventStore(EventStoreOptions options = EventStoreOptions());
  // Stops bridge monitoring, waits for work already running on the store's queues and drops the
  // rest; results of loaders still running are discarded.
  ~EventStore();
  EventStore(const EventStore&) = delete;
  EventStore& operator=(const EventStore&) = delete;

  // ---- Construction and configuration (event_store.cpp) ----

  const QString& eventFile() const { return eventFile_; }
  const QString& auditFile() const { return auditFile_; }
  const std::optional<QString>& codexSessionsRoot() const { return codexSessionsRoot_; }
  const std::optional<QString>& claudeProjectsRoot() const { return claudeProjectsRoot_; }
  const std::optional<QString>& traeTrajectoryRoot() const { return traeTrajectoryRoot_; }
  const std::optional<QString>& cursorProjectsRoot() const { return cursorProjectsRoot_; }
  const std::optional<QString>& traeLogsRoot() const { return traeLogsRoot_; }
  LocalUsageLoadMode localUsageLoadMode() const { return localUsageLoadMode_; }
  bool testEnvironment() const { return testEnvironment_; }
  const JumpOpener& jumpOpener() const { return jumpOpener_; }
  const JumpResolver& jumpResolver() const { return jumpResolver_; }

  // ---- Reload and publishing (event_store.cpp) ----

  // How a reload looks at the bridge file.
  enum class BridgeCheck {
    throttled,  // at most every 0.35 s, reading what changed
    changed,    // at once (the watch reported a change), reading what changed
    forced,     // at once, rereading the tail even when size, date and identity are the same
  };

  // The one entry that refreshes the store: the bridge file, then the local usage and hot-plug
  // events; publishes once when any of them changed. Main thread.
  void reload(bool forceBridgeMetadataCheck = false) {
    reload(forceBridgeMetadataCheck ? BridgeCheck::forced : BridgeCheck::throttled);
  }
  void reload(BridgeCheck bridgeCheck);

  // Called after every publish (set by the application controller).
  std::function<void()> onChange;

  // The published list: bridge, then local usage, then hot-plug, then integration notices.
  const std::vector<TandrelEvent>& events() const { return events_; }
  // Raised by one on every publish (and by the read, hidden and clearing actions).
  qint64 revision() const { return revision_; }

  // A socket request started or changed (the pending-action store's observer, on the main
  // thread). When it has ended, the ending record with its request key is appended to the bridge
  // file (so that the ending holds after a restart) and read at once; either way the store decides
  // again which request records have ended (a record with a waiting request has not) and
  // publishes.
  void pendingActionChanged(const PendingAction& action);

  // The receipts seen in the published events (and, later, delivered by the store's dispatcher).
  ResponseReceiptStore& responseReceipts() { return responseReceipts_; }
  const ResponseReceiptStore& responseReceipts() const { return responseReceipts_; }

  // One "Response failed" event per failed receipt of a chosen option, in receipt order; `now`
  // stamps a notice whose receipt has no time.
  static std::vector<TandrelEvent> integrationNotices(const std::vector<ResponseReceipt>& receipts,
                                                      const QDateTime& now);

  // ---- Bridge file tailing and monitoring (event_store_bridge.cpp) ----

  // True when `bridgeEvents` was replaced. Main thread.
  bool reloadBridgeEventsIfNeeded(const QDateTime& now, BridgeCheck check);

  // The bridge events currently known: the usage history, then the active tail, without
  // duplicate identifiers.
  const std::vector<TandrelEvent>& bridgeEvents() const { return bridgeEvents_; }
  // The newest bridge events in file order, at most 500.
  const std::vector<TandrelEvent>& cachedBridgeActiveTailEvents() const { return cachedBridgeActiveTailEvents_; }
  // Usage-only bridge events kept past the active window: at most 12 per tool, 96 in all.
  const std::vector<TandrelEvent>& cachedBridgeUsageHistoryEvents() const {
    return cachedBridgeUsageHistoryEvents_;
  }
  // The unterminated end of what has been read so far (raw bytes).
  const QByteArray& pendingBridgeEventLineFragment() const { return pendingBridgeEventLineFragment_; }
  std::optional<quint64> lastEventFileSize() const { return lastEventFileSize_; }
  // "events.jsonl.1" beside the bridge file: where a bridge file past the rotation size is moved
  // (replacing the one moved before). Lines a hook still appends to it are read, and a reset that
  // finds the bridge file shorter than the tail window reads the newest lines of this one first.
  QString rotatedBridgeFile() const { return eventFile_ + QStringLiteral(".1"); }

  // The file's bytes from `offset` up to `end` (the size the last check saw); nothing when it
  // cannot be opened.
  std::optional<QByteArray> readEventText(qint64 offset, qint64 end) const;
  // At most the last `maxBytes` bytes before `end`, starting after the first line break when the
  // read began inside the file; nothing when it cannot be opened.
  std::optional<QByteArray> readEventTail(qint64 maxBytes, qint64 end) const;
  // The newest usage-only events, at most 12 per tool and 96 in all, oldest first.
  static std::vector<TandrelEvent> bridgeUsageHistoryEvents(const std::vector<TandrelEvent>& list);
  // The first event of each identifier, in list order.
  static std::vector<TandrelEvent> uniqueBridgeEvents(const std::vector<TandrelEvent>& list);
  std::vector<TandrelEvent> bridgeEventsFromCaches() const;

  // Watches the bridge file and its folder (not in the test environment); every change reloads the
  // store 0.05 s after the last one. Safe to call more than once.
  void startMonitoringBridgeEvents();
  void stopMonitoringBridgeEvents();
  // Whether monitoring runs and which watches are installed; waits for the bridge queue.
  struct BridgeMonitorState {
    bool started = false;
    bool fileMonitorInstalled = false;
    bool directoryMonitorInstalled = false;
  };
  BridgeMonitorState bridgeMonitorStateForTests();

  // ---- Local usage and hot-plug scans (event_store_local_scan.cpp) ----

  // Candidate files of the usage pre-check, per root.
  static constexpr int kCodexCandidateLimit = 16;
  static constexpr int kClaudeCandidateLimit = 256;
  static constexpr int kTraeTrajectoryCandidateLimit = 32;
  // Unchanged candidate checks in a row that may skip the load; the next one loads.
  static constexpr int kUnchangedCandidateSkipCap = 10;
  // A hot-plug event this close to a bridge event that reports the same is not published.
  static constexpr std::chrono::seconds kHotplugDuplicateWindow{600};

  const std::vector<TandrelEvent>& localUsageEvents() const { return localUsageEvents_; }
  const std::vector<TandrelEvent>& localHotplugEvents() const { return localHotplugEvents_; }

  // Inline passes: true when the stored events changed.
  bool reloadLocalUsageEventsIfNeeded(const QDateTime& now);
  bool reloadLocalHotplugEventsIfNeeded(const QDateTime& now);
  // Background passes: start a load on the stream's queue and return false, or return the result
  // of clearing when no root is set.
  bool scheduleLocalUsageEventsReloadIfNeeded(const QDateTime& now);
  bool scheduleLocalHotplugEventsReloadIfNeeded(const QDateTime& now);

  // The throttles: true, and the scan time set to `now`, when the stream's interval (0 in the
  // test environment) has passed since the last scan let through.
  bool shouldLoadLocalUsage(const QDateTime& now);
  bool shouldLoadLocalHotplug(const QDateTime& now);

  // The usage pre-check: compares the candidate files of the three usage roots (paths, sizes,
  // modification times) with the last look. True (skip the load) for the first nine unchanged
  // looks in a row; the tenth empties the discovery and per-file caches and loads. A change
  // empties the discovery cache only and loads.
  bool shouldSkipUnchangedLocalUsageCandidates();
  const std::optional<QString>& lastLocalUsageCandidateFingerprint() const {
    return lastLocalUsageCandidateFingerprint_;
  }
  int unchangedLocalUsageCandidateSkips() const { return unchangedLocalUsageCandidateSkips_; }

  // Appends one line per candidate file under `root`: "<prefix>|<path>|<size>|<seconds since
  // 2001-01-01>" for the `limit` newest regular, non-hidden files whose lower-cased extension is
  // in `extensions` and which `include` (a test on the path; none: every file) accepts, the size
  // -1 when it cannot be read; "<prefix>|missing|<root>" when the root is not a readable folder;
  // nothing when there is no root.
  static void appendLocalUsageCandidateFingerprints(const std::optional<QString>& root, int limit,
                                                    const LocalFilePredicate& include, const QString& prefix,
                                                    const QSet<QString>& extensions, QStringList& lines);

  // Empty a stream and reset its scan state; true when the stream held events. Clearing usage
  // also forgets the candidate files and empties the scanner caches.
  bool clearLocalUsageEventsIfNeeded();
  bool clearLocalHotplugEventsIfNeeded();

  // The hot-plug events without those that a bridge event already reports (same event type,
  // session, tool and message, less than 600 s apart).
  std::vector<TandrelEvent> dedupedLocalHotplugEvents() const;

  // Texts that change whenever the listed events would display differently.
  static QString localUsageFingerprint(const std::vector<TandrelEvent>& events);
  static QString localEventFingerprint(const std::vector<TandrelEvent>& events);
  const QString& lastLocalUsageFingerprint() const { return lastLocalUsageFingerprint_; }
  const QString& lastLocalHotplugFingerprint() const { return lastLocalHotplugFingerprint_; }

  // A background load of the stream is queued or running, or its result is on its way back.
  bool localUsageLoadInFlight() const { return localUsageLoadInFlight_; }
  bool localHotplugLoadInFlight() const { return localHotplugLoadInFlight_; }
  bool didAttemptInitialLocalHotplugLoad() const { return didAttemptInitialLocalHotplugLoad_; }
  const QDateTime& lastLocalUsageScanAt() const { return lastLocalUsageScanAt_; }
  const QDateTime& lastLocalHotplugScanAt() const { return lastLocalHotplugScanAt_; }

  // ---- Usage caches and brand merging (event_store_usage.cpp) ----
  //
  // All usage reads are answered from caches built once per revision: the snapshots of `events`
  // (in event order, also grouped by tool identifier), the newest of them, merged brand readings
  // by key, and sort dates by observation text.

  // Rebuilds the usage caches from `events` when the revision changed since the last build.
  void ensureUsageCache();
  // The revision the usage caches were built for; -1 before the first build.
  qint64 usageCacheRevision() const { return usageCacheRevision_; }
  const std::vector<UsageSnapshot>& cachedUsageSnapshots() const { return cachedUsageSnapshots_; }
  // The sort date of each of those snapshots, in milliseconds since 1970.
  const std::vector<qint64>& cachedUsageSortMs() const { return cachedUsageSortMs_; }
  // Those snapshots grouped by their tool identifier: each group holds the positions of its
  // snapshots in cachedUsageSnapshots, in event order.
  const QHash<QString, std::vector<int>>& cachedUsageSnapshotsByToolID() const { return cachedUsageSnapshotsByToolID_; }
  const std::optional<UsageSnapshot>& cachedLatestUsage() const { return cachedLatestUsage_; }
  // Merged readings by merge key, for the current usage revision.
  const std::unordered_map<QString, UsageSnapshot>& cachedMergedUsageByKey() const { return cachedMergedUsageByKey_; }

  // The snapshots recorded under exactly this tool identifier, in event order; the second form
  // gives their positions in cachedUsageSnapshots, without copying.
  std::vector<UsageSnapshot> usageSnapshotsForToolID(const QString& toolID);
  const std::vector<int>& usageSnapshotIndicesForToolID(const QString& toolID);
  // The snapshots of each identifier in turn (repeats skipped), each group in event order.
  std::vector<UsageSnapshot> usageSnapshotsForToolIDs(const QStringList& toolIDs);
  // The newest snapshot of one identifier, unmerged.
  std::optional<UsageSnapshot> latestUsageForToolID(const QString& toolID);
  // The merged reading of the brand of a brand name or tool identifier ("Claude", "codex_cli"),
  // shown under the brand's name; nothing when no tool of the brand has usage.
  std::optional<UsageSnapshot> latestUsage(const QString& brandOrTool);
  // One reading of the listed tools, each metric taken from the newest snapshot that has it, shown
  // as `displayTool`; the rest (time, source, quality) from the newest snapshot. A quota the agent
  // reported itself is not replaced by a newer estimate from transcripts until its window resets.
  // A rate limit older than the chosen five-hour reading is dropped. Cached per revision (and until
  // such a window resets) under the display tool and the sorted identifiers; nothing (and nothing
  // cached) when none has usage.
  std::optional<UsageSnapshot> mergedUsage(const QStringList& toolIDs, const QString& displayTool);
  // The merge key: the display tool and the sorted identifiers, joined with U+001F.
  static QString mergedUsageKey(const QStringList& toolIDs, const QString& displayTool);

  // The snapshot observed last; on equal times the first in the list.
  std::optional<UsageSnapshot> latestSnapshot(const std::vector<UsageSnapshot>& snapshots);
  // The parsed `observedAt` of a snapshot, or the distant past; memoized per text. The second
  // form gives it in milliseconds since 1970.
  QDateTime usageSortDate(const UsageSnapshot& snapshot);
  qint64 usageSortMs(const UsageSnapshot& snapshot);
  // label~suffix~percent(%.4f)~status, or "" for no metric.
  static QString metricFingerprint(const std::optional<UsageMetric>& metric);

  // ---- Inbox messages (event_store_messages.cpp) ----

  // Rebuilds the inbox caches from `events` and the read and hidden sets when the revision changed
  // since they were built; otherwise does nothing. Call it before reading the cached* members.
  void ensureMessageCache();
  // The inbox cards, brought up to date first.
  const std::vector<IslandMessage>& allMessages();

  // The revision the inbox caches were built for; -1 before the first build.
  qint64 messageCacheRevision() const { return messageCacheRevision_; }
  // Unread, unhidden, human-facing events, most urgent and newest first.
  const std::vector<TandrelEvent>& cachedSortedActiveEvents() const { return cachedInbox_.sortedActiveEvents; }
  // Those events grouped one group per card, in card order.
  const std::vector<std::vector<TandrelEvent>>& cachedGroupedActiveEvents() const {
    return cachedInbox_.groupedActiveEvents;
  }
  const std::vector<IslandMessage>& cachedAllMessages() const { return cachedInbox_.messages; }
  // The newest of all `events` (not only the inbox's).
  const std::optional<TandrelEvent>& cachedLatestEvent() const { return cachedInbox_.latestEvent; }
  // Cards that wait for the user: led by a permission, input or plan request.
  int cachedApprovalCount() const { return cachedInbox_.approvalCount; }
  // How many times this store built its inbox caches.
  int messageCacheBuildCountForTests() const { return messageCacheBuildCount_; }

  // ---- Read and hidden state (event_store_read_state.cpp) ----

  // Which of the two sets an operation works on. Read events were answered, opened or cleared
  // page by page; hidden events were cleared with the whole inbox. Both leave the inbox alike.
  enum class EventIDSet { read, hidden };

  // The audit role with which clearing hides instead of marking read.
  static inline const QString kClearAllAuditRole = QStringLiteral("clear_all");

  const QSet<QString>& hiddenIDs() const { return hiddenIDs_; }
  const QSet<QString>& readIDs() const { return readIDs_; }

  // Adds the id of every event of `message` to the set. Neither persists nor changes the revision;
  // callers do both.
  void markRead(const IslandMessage& message, EventIDSet set = EventIDSet::read);
  // Writes the set to the user defaults ("readEventIDs" or "hiddenEventIDs"); nothing in
  // the test environment.
  void persistRead(EventIDSet set = EventIDSet::read);

  // Clears `messages` from the inbox: their events become hidden with the role "clear_all" and
  // read with any other role (the inbox's page clear uses "clear_page"). Writes one audit line per
  // message, persists both sets and raises the revision without publishing (no onChange); the
  // caches rebuild on their next read. Returns the number of messages; an empty list changes
  // nothing.
  int clear(const std::vector<IslandMessage>& messages, const QString& auditRole);
  // Hides every card now in the inbox; returns their number.
  int clearAll();
  // Removes the bridge file and the audit file and the parts moved aside from both (a missing file
  // is fine), empties the read and hidden sets (persisted), the events and the bridge tail state, and
  // raises the revision without publishing. A file that exists but cannot be removed fails with the
  // file system's reason, and then the sets and caches stay as they were.
  Result<void> clearHistory();

  // Keeps the read and hidden sets bounded: once either holds more than
  // kReadStateIDsBeforePruning identifiers, it keeps only those of the events the bridge caches hold
  // now and those of hot-plug events, and is persisted. Bridge lines are only ever appended, so an
  // event that has left the newest 500 never comes back into view (nor, after the second move
  // aside, exists at all); a hot-plug event comes back whenever its file is among the newest scanned
  // again, and stays. Called after each read of the bridge file that changed its caches.
  void forgetReadStateOfEventsGone();

  bool isReadForTests(const QString& eventID) const { return readIDs_.contains(eventID); }

  // ---- Message-action audit (event_store_audit.cpp) ----

  // Appends one line for a user action on a message to `auditFile`: "timestamp", "role",
  // "event_id", "source", "event_type", "title", "project", "collapsed_count" (only when 2 or
  // more), then `extra`, whose keys replace base keys of the same name. Creates the folder first.
  // Best effort: a failure is dropped and never fails the action, and a file that cannot be opened
  // is left as it is.
  void audit(const QString& role, const TandrelEvent& event, int collapsedCount, const QJsonObject& extra = {});

  // ---- Card actions (event_store_actions.cpp) ----

  using ActionCompletion = std::function<void(ActionResult)>;

  // Runs the action of a card button, by its exact role: "jump" opens the card's Jump on the jump
  // thread and marks it read; "authorize" and "reject" deliver the decision over the card's
  // channel and, once delivered, hide and read the card; "ignore" hides it, "mark_read" reads it,
  // "configure" only audits. Every action writes its audit line. Any other role fails with
  // "Unknown action: <role>". `done` runs on the main thread (before perform returns unless a
  // child process or the Jump opener is involved) and never after the store is gone.
  void perform(const QString& role, const IslandMessage& message, ActionCompletion done);
  // Sends the chosen option (and the note, when it holds more than white space) over the card's
  // response channel; once delivered the card is hidden.
  void performChoice(const IslandMessage& message, const MessageOption& option, const QString& note,
                     ActionCompletion done);
  // The store's dispatcher, made on first use: command channels refused, 10 s time-out.
  MessageActionDispatcher& actionDispatcher();
  // Replaces the dispatcher (a trusted one, say, for the self-tests).
  void setActionDispatcher(std::unique_ptr<MessageActionDispatcher> dispatcher) {
    actionDispatcher_ = std::move(dispatcher);
  }

  // ---- Jumps (event_store_jump.cpp) ----

  // Where the event's Jump goes, resolved: its typed target, its jump text (a URL or a path), the
  // target of a bridge event of the same session (for locally scanned events), cmux and iTerm
  // hints, the app or editor of its tool, the tool's command line, its transcript, its working
  // folder; nothing when none applies.
  std::optional<ResolvedJumpTarget> jumpTarget(const TandrelEvent& event) const;
  // The targets to try for a resolved Jump, in order: the target itself when available, its
  // fallback, then its runtime fallback (the cmux app, or the folder of a terminal window without
  // identifiers); never two equal targets, never an unavailable one.
  std::vector<JumpCandidate> jumpOpenCandidates(const ResolvedJumpTarget& resolved) const;
  // Calls the Jump opener on each candidate in order on this thread and returns the first that
  // opened. With the default opener this blocks while children run: the application uses
  // openFirstJumpCandidateInBackground.
  std::optional<JumpCandidate> openFirstJumpCandidate(const std::vector<JumpCandidate>& candidates) const;
  // The same on the store's jump thread ("app.tandrel.jump"); `done` runs on the main thread with
  // what opened and the opener's last failure reason, unless the store is gone by then.
  using JumpCompletion = std::function<void(std::optional<JumpCandidate> opened, std::optional<QString> openError)>;
  void openFirstJumpCandidateInBackground(std::vector<JumpCandidate> candidates, JumpCompletion done);

  // Opens the event behind a companion item and audits "companion_jump" (or
  // "companion_jump_fallback"); false when it has no Jump or nothing opened. Read and hidden state
  // stay. Runs the opener on this thread, like openFirstJumpCandidate.
  bool openCompanionStatus(const CompanionStatusItem& item);
  // The same in the background; `done` gets the result on the main thread.
  void openCompanionStatusInBackground(const CompanionStatusItem& item, std::function<void(bool)> done);

  // The openers' shared state and the cmux opener, reached through the store.
  static std::optional<QString> lastJumpOpenError() { return JumpOpeners::lastJumpOpenError(); }
  static bool openCmux(const std::optional<QString>& sessionID, const std::optional<QString>& windowID,
                       const std::optional<QString>& cwd) {
    return JumpOpeners::openCmux(sessionID, windowID, cwd);
  }

  // ---- Companion status, ticker and pet state (event_store_companion.cpp) ----

  // Rebuilds the companion candidates (events neither hidden nor read, by priority) when the
  // revision changed since they were built; each build counts in
  // companionCandidateCacheBuildCountForTests.
  void ensureCompanionCandidateCache();
  // The candidates as last built (call ensureCompanionCandidateCache first).
  const std::vector<TandrelEvent>& cachedCompanionCandidateEvents() const { return cachedCompanionCandidateEvents_; }
  // The companion's status item over the candidates; rebuilt once per revision.
  const std::optional<CompanionStatusItem>& companionStatus();
  // The ticker over the candidates; rebuilt once per revision.
  const std::vector<CompanionStatusItem>& companionTickerItems();
  // Whether a socket request waits for the user (the option's callback, else the shared
  // pending-action store). Main thread only.
  bool socketRequestsWaiting() const { return socketRequestsWaiting_(); }
  // The pet's mood: approval while a socket request waits for the user (asks the shared pending
  // action store), else resolved from the first 200 candidates and the latest usage reading.
  // Main thread only.
  PetState petState();

  // Candidate lists built by every store of the process.
  static inline int companionCandidateCacheBuildCountForTests = 0;

 private:
  // A weak handle on the store for work that hops between threads; it expires when the store's
  // destruction begins (on the main thread), so main-thread hops check it without a race.
  using WeakSelf = std::weak_ptr<EventStore*>;
  WeakSelf weakSelf() const { return weakSelf_; }

  void publishEvents();
  // Decides again which request records have ended, raises the revision and calls onChange.
  void requestsChanged();
  // Marks the request records of `list` that have ended (inbox/request_endings.h).
  void applyRequestEndingsTo(std::vector<TandrelEvent>& list) const;
  // Raises the revision after a change of the read or hidden state or of the events that is not a
  // publish: the derived caches rebuild on their next read, onChange is not called.
  void bumpRevisionWithoutPublishing() { revision_ += 1; }
  // What building cards needs of the store: the time ages are measured from, and the Jump lookup.
  MessageBuildContext messageBuildContext() const;

  // Jumps: the target of a bridge event of the same session, and the tables by tool.
  std::optional<ResolvedJumpTarget> knownBridgeJumpTarget(const TandrelEvent& event) const;
  std::optional<ResolvedJumpTarget> inferredAppOrWorkspaceJumpTarget(const QString& toolID,
                                                                     const TandrelEvent& event) const;

  // Bridge. A read is planned on the main thread, done by readBridge (on either thread: it touches
  // no state of the store) and taken in on the main thread by applyBridgeRead.
  struct BridgeReadPlan;
  struct BridgeReadResult;
  // The incremental read of a plan parses the bytes after the old end, with the pending fragment
  // before them; when the bytes before the old end are not the probe (or cannot be read), the
  // tail is read instead, or, without `resetWhenRewritten`, the result says so. Of a long read only
  // what the caches can keep is parsed: the newest 500 events and the usage-only readings before
  // them.
  static BridgeReadResult readBridge(const BridgeReadPlan& plan, bool resetWhenRewritten);
  // True when `bridgeEvents` was replaced.
  bool applyBridgeRead(BridgeReadResult result);
  void readBridgeInBackground(BridgeReadPlan plan);
  void finishBackgroundBridgeRead(quint64 generation, BridgeReadResult result);
  // Forgets what the last reads saw of the bridge file: size, date, identity, both tail caches and
  // the pending line fragment.
  void forgetBridgeTail();
  // Adds events appended to the bridge file to the caches; true when `bridgeEvents` was replaced.
  bool takeAppendedBridgeEvents(std::vector<TandrelEvent> events);
  // Reads what hooks appended to the moved-aside file after the store last read it.
  bool readRotatedBridgeAppends();
  // Moves the bridge file aside once it is past the rotation size and all of it has been read.
  void rotateBridgeFileIfLarge();
  void stopMonitoringBridgeEventsOnQueue();
  void installBridgeEventDirectoryMonitor();
  void installBridgeEventFileMonitor();
  void scheduleBridgeEventReload(bool reinstallFileMonitor);
  void restartBridgeReloadTimer();
  void runPendingBridgeReload();

  // Usage: the positions of the snapshots of usageSnapshotsForToolIDs in cachedUsageSnapshots.
  std::vector<int> usageSnapshotIndices(const QStringList& toolIDs);

  // Local scans.
  bool hasLocalUsageRoot() const;
  bool hasLocalHotplugRoot() const;
  void finishLocalUsageLoad(std::vector<TandrelEvent> events, const QString& fingerprint);
  void finishLocalHotplugLoad(std::vector<TandrelEvent> events, const QString& fingerprint);

  // ---- Configuration ----
  bool testEnvironment_;
  QString eventFile_;
  QString auditFile_;
  std::optional<QString> codexSessionsRoot_;
  std::optional<QString> claudeProjectsRoot_;
  std::optional<QString> traeTrajectoryRoot_;
  std::optional<QString> cursorProjectsRoot_;
  std::optional<QString> traeLogsRoot_;
  LocalUsageLoadMode localUsageLoadMode_;
  LocalUsageLoader localUsageLoader_;
  LocalHotplugLoader localHotplugLoader_;
  std::function<void()> clearDiscoveryCache_;
  std::function<void()> clearFileEventCache_;
  JumpResolver jumpResolver_;
  JumpOpener jumpOpener_;
  Clock& clock_;
  UserDefaults& defaults_;
  std::function<bool()> socketRequestsWaiting_;
  std::function<std::vector<PendingAction>()> waitingRequests_;

  // ---- Published state (main thread) ----
  std::vector<TandrelEvent> events_;
  std::vector<TandrelEvent> bridgeEvents_;
  std::vector<TandrelEvent> localUsageEvents_;
  std::vector<TandrelEvent> localHotplugEvents_;
  qint64 revision_ = 0;
  ResponseReceiptStore responseReceipts_;

  // ---- Usage caches (main thread) ----
  qint64 usageCacheRevision_ = -1;
  std::vector<UsageSnapshot> cachedUsageSnapshots_;
  std::vector<qint64> cachedUsageSortMs_;
  QHash<QString, std::vector<int>> cachedUsageSnapshotsByToolID_;
  std::optional<UsageSnapshot> cachedLatestUsage_;
  std::unordered_map<QString, UsageSnapshot> cachedMergedUsageByKey_;
  // For a merged reading that kept an agent's quota over a newer estimate: when the first such
  // quota's window resets, after which the reading is merged again.
  std::unordered_map<QString, qint64> cachedMergedUsageValidUntilMs_;
  // Sort dates in milliseconds since 1970, by observation text.
  std::unordered_map<QString, qint64> cachedUsageSortDates_;

  // ---- Inbox caches (main thread) ----
  qint64 messageCacheRevision_ = -1;
  InboxMessages cachedInbox_;
  int messageCacheBuildCount_ = 0;

  // ---- Companion caches (main thread) ----
  qint64 companionCandidateCacheRevision_ = -1;
  qint64 companionCacheRevision_ = -1;
  qint64 companionTickerCacheRevision_ = -1;
  std::vector<TandrelEvent> cachedCompanionCandidateEvents_;
  std::optional<CompanionStatusItem> cachedCompanionStatus_;
  std::vector<CompanionStatusItem> cachedCompanionTickerItems_;

  // ---- Read and hidden state (main thread) ----
  QSet<QString> hiddenIDs_;
  QSet<QString> readIDs_;

  // ---- Bridge tail state (main thread) ----
  std::optional<quint64> lastEventFileSize_;
  std::optional<qint64> lastEventFileModified_;  // nanoseconds since the epoch
  std::optional<BridgeFileIdentity> lastEventFileIdentity_;
  QDateTime lastBridgeEventMetadataCheckAt_;
  std::vector<TandrelEvent> cachedBridgeActiveTailEvents_;
  std::vector<TandrelEvent> cachedBridgeUsageHistoryEvents_;
  QByteArray pendingBridgeEventLineFragment_;
  QByteArray bridgeReadProbe_;  // the last bytes read, which end at lastEventFileSize_
  // How far the moved-aside file has been read, while it is followed.
  struct RotatedBridgeTail {
    BridgeFileIdentity identity;
    qint64 offset = 0;
    QByteArray fragment;
  };
  std::optional<RotatedBridgeTail> rotatedBridgeTail_;
  qint64 bridgeRotateBytes_ = kBridgeRotateBytes;
  bool bridgeRotateFailureLogged_ = false;
  bool bridgeReadsInBackground_ = false;
  bool bridgeReadInFlight_ = false;  // a read runs on the bridge queue
  bool bridgeReadAgain_ = false;     // a reload asked for the bridge file meanwhile
  quint64 bridgeReadGeneration_ = 0;
  DelayedWork bridgeReloadTimer_;  // the debounce of the pending bridge reload
  std::optional<qint64> bridgeReloadFirstChangeMs_;  // when the changes it waits for began

  // ---- Bridge monitors (bridge queue) ----
  std::unique_ptr<FileEventSource> bridgeEventFileSource_;
  std::unique_ptr<FileEventSource> bridgeEventDirectorySource_;
  bool bridgeEventMonitoringStarted_ = false;
  // The pending debounced reload (every change folds into it, stopping cancels it) and whether
  // any change it folds in asked for the file watch to be reinstalled.
  bool pendingBridgeReloadActive_ = false;
  bool pendingBridgeReloadReinstall_ = false;

  // ---- Local scan state (main thread) ----
  bool localUsageLoadInFlight_ = false;
  bool localHotplugLoadInFlight_ = false;
  bool didAttemptInitialLocalHotplugLoad_ = false;
  QDateTime lastLocalUsageScanAt_;
  QDateTime lastLocalHotplugScanAt_;
  std::optional<QString> lastLocalUsageCandidateFingerprint_;
  int unchangedLocalUsageCandidateSkips_ = 0;
  QString lastLocalUsageFingerprint_;
  QString lastLocalHotplugFingerprint_;

  // ---- Card actions (main thread) ----
  std::unique_ptr<MessageActionDispatcher> actionDispatcher_;

  // ---- Lifetime and queues (declared last: destroyed first) ----
  std::shared_ptr<EventStore*> lifetime_;
  const WeakSelf weakSelf_;  // never reassigned, so any thread may copy it
  std::unique_ptr<SerialQueue> localUsageQueue_;
  std::unique_ptr<SerialQueue> localHotplugQueue_;
  std::unique_ptr<SerialQueue> bridgeEventMonitorQueue_;
  std::unique_ptr<SerialQueue> jumpQueue_;
};

}  // namespace tandrel
