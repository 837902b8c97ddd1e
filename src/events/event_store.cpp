// EventStore: construction, the reload cycle, publishing and the integration notices.

#include "events/event_store.h"

#include "base/canonical_json.h"
#include "base/log.h"
#include "inbox/request_endings.h"
#include "platform/append_file.h"
#include "platform/private_folder.h"
#include "platform/user_defaults.h"
#include "requests/pending_action_store.h"
#include "usage/usage_dates.h"

#include <QFileInfo>
#include <QJsonObject>

namespace tandrel {

namespace {

QSet<QString> storedIDs(const UserDefaults& defaults, const QString& key) {
  const auto list = defaults.stringArray(key);
  return list ? QSet<QString>(list->cbegin(), list->cend()) : QSet<QString>();
}

}  // namespace

EventStore::EventStore(EventStoreOptions options)
    : testEnvironment_(options.testEnvironment),
      eventFile_(std::move(options.eventFile)),
      auditFile_(std::move(options.auditFile)),
      codexSessionsRoot_(std::move(options.codexSessionsRoot)),
      claudeProjectsRoot_(std::move(options.claudeProjectsRoot)),
      traeTrajectoryRoot_(std::move(options.traeTrajectoryRoot)),
      cursorProjectsRoot_(std::move(options.cursorProjectsRoot)),
      traeLogsRoot_(std::move(options.traeLogsRoot)),
      localUsageLoadMode_(options.localUsageLoadMode.value_or(
          testEnvironment_ ? LocalUsageLoadMode::synchronous : LocalUsageLoadMode::asynchronous)),
      localUsageLoader_(std::move(options.localUsageLoader)),
      localHotplugLoader_(std::move(options.localHotplugLoader)),
      clearDiscoveryCache_(std::move(options.clearDiscoveryCache)),
      clearFileEventCache_(std::move(options.clearFileEventCache)),
      jumpResolver_(std::move(options.jumpResolver)),
      jumpOpener_(std::move(options.jumpOpener)),
      clock_(*options.clock),
      defaults_(options.defaults != nullptr ? *options.defaults : UserDefaults::standard()),
      socketRequestsWaiting_(std::move(options.socketRequestsWaiting)),
      waitingRequests_(std::move(options.waitingRequests)),
      lastBridgeEventMetadataCheckAt_(distantPast()),
      lastLocalUsageScanAt_(distantPast()),
      lastLocalHotplugScanAt_(distantPast()),
      lifetime_(std::make_shared<EventStore*>(this)),
      weakSelf_(lifetime_),
      localUsageQueue_(std::make_unique<SerialQueue>(QStringLiteral("app.tandrel.local-usage"))),
      localHotplugQueue_(std::make_unique<SerialQueue>(QStringLiteral("app.tandrel.local-hotplug"))),
      bridgeEventMonitorQueue_(std::make_unique<SerialQueue>(QStringLiteral("app.tandrel.bridge-events"))),
      jumpQueue_(std::make_unique<SerialQueue>(QStringLiteral("app.tandrel.jump"))) {
  if (!localUsageLoader_) {
    localUsageLoader_ = scanLocalUsageEvents;
  }
  if (!localHotplugLoader_) {
    localHotplugLoader_ = scanLocalHotplugEvents;
  }
  bridgeReadsInBackground_ = options.bridgeReadsInBackground.value_or(!testEnvironment_);
  bridgeRotateBytes_ = options.bridgeRotateBytes.value_or(kBridgeRotateBytes);
  if (!socketRequestsWaiting_) {
    socketRequestsWaiting_ = [] { return !PendingActionStore::shared().waitingActions().empty(); };
  }
  if (!waitingRequests_) {
    waitingRequests_ = [] { return PendingActionStore::shared().waitingActions(); };
  }
  if (!jumpOpener_) {
    jumpOpener_ = JumpOpeners::defaultJumpOpener;
  }
  if (!testEnvironment_) {
    hiddenIDs_ = storedIDs(defaults_, kHiddenEventIDsKey);
    readIDs_ = storedIDs(defaults_, kReadEventIDsKey);
  }
}

EventStore::~EventStore() {
  // From here on, hops back to the main thread find no store.
  lifetime_.reset();
  bridgeReloadTimer_.cancel();
  // Stop the watches on their own queue, let whatever they queued run out, then end the threads.
  // Loader runs still going finish; their results are dropped.
  bridgeEventMonitorQueue_->async([this] { stopMonitoringBridgeEventsOnQueue(); });
  bridgeEventMonitorQueue_->drain();
  bridgeEventMonitorQueue_.reset();
  localUsageQueue_.reset();
  localHotplugQueue_.reset();
  // A Jump still opening finishes (its children have their own time-out); its result is dropped.
  jumpQueue_.reset();
}

void EventStore::reload(BridgeCheck bridgeCheck) {
  const bool bridgeChanged = reloadBridgeEventsIfNeeded(clock_.now(), bridgeCheck);
  bool usageChanged = false;
  bool hotplugChanged = false;
  if (localUsageLoadMode_ == LocalUsageLoadMode::synchronous) {
    usageChanged = reloadLocalUsageEventsIfNeeded(clock_.now());
    hotplugChanged = reloadLocalHotplugEventsIfNeeded(clock_.now());
  } else {
    usageChanged = scheduleLocalUsageEventsReloadIfNeeded(clock_.now());
    if (didAttemptInitialLocalHotplugLoad_) {
      hotplugChanged = scheduleLocalHotplugEventsReloadIfNeeded(clock_.now());
    } else {
      // The very first hot-plug load runs inline, so that the first published list already holds
      // the attention events.
      didAttemptInitialLocalHotplugLoad_ = true;
      hotplugChanged = reloadLocalHotplugEventsIfNeeded(clock_.now());
    }
  }
  if (bridgeChanged || usageChanged || hotplugChanged) {
    publishEvents();
  }
}

void EventStore::publishEvents() {
  std::vector<TandrelEvent> list;
  const auto hotplug = dedupedLocalHotplugEvents();
  list.reserve(bridgeEvents_.size() + localUsageEvents_.size() + hotplug.size());
  list.insert(list.end(), bridgeEvents_.begin(), bridgeEvents_.end());
  list.insert(list.end(), localUsageEvents_.begin(), localUsageEvents_.end());
  list.insert(list.end(), hotplug.begin(), hotplug.end());

  std::vector<ResponseReceipt> receipts;
  for (const auto& event : list) {
    if (event.responseReceipt) {
      receipts.push_back(*event.responseReceipt);
    }
  }
  for (const auto& receipt : receipts) {
    responseReceipts_.record(receipt);
  }
  auto notices = integrationNotices(receipts, clock_.now());
  list.insert(list.end(), std::make_move_iterator(notices.begin()), std::make_move_iterator(notices.end()));

  applyRequestEndingsTo(list);
  events_ = std::move(list);
  revision_ += 1;
  if (onChange) {
    onChange();
  }
}

void EventStore::applyRequestEndingsTo(std::vector<TandrelEvent>& list) const {
  QSet<QString> waitingKeys;
  for (const PendingAction& action : waitingRequests_()) {
    if (const QString key = action.requestKey(); !key.isEmpty()) {
      waitingKeys.insert(key);
    }
  }
  applyRequestEndings(list, waitingKeys);
}

void EventStore::pendingActionChanged(const PendingAction& action) {
  const qint64 before = revision_;
  if (const std::optional<QJsonObject> record = requestEndingRecord(action, clock_.now())) {
    const QString folder = QFileInfo(eventFile_).absolutePath();
    std::optional<QString> failure;
    if (const std::optional<POSIXError> error = makePrivateFolder(folder)) {
      failure = error->description();
    } else if (const Result<void> appended = appendFile(eventFile_, canonicalJsonLine(*record)); !appended) {
      failure = appended.error();
    }
    if (failure) {
      logWarning(QStringLiteral("could not record the end of request %1: %2").arg(action.requestID, *failure));
    }
    reload(true);
  }
  if (revision_ == before) {
    requestsChanged();
  }
}

void EventStore::requestsChanged() {
  applyRequestEndingsTo(events_);
  revision_ += 1;
  if (onChange) {
    onChange();
  }
}

std::vector<TandrelEvent> EventStore::integrationNotices(const std::vector<ResponseReceipt>& receipts,
                                                         const QDateTime& now) {
  std::vector<TandrelEvent> notices;
  for (const auto& receipt : receipts) {
    if (receipt.action != ResponseReceiptAction::chooseOption || receipt.status != ResponseReceiptStatus::failed) {
      continue;
    }
    const QString prefix = QStringLiteral("receipt-failed-") + receipt.eventID;
    QJsonObject record;
    record.insert(QStringLiteral("event_id"),
                  prefix + QLatin1Char('-') + receipt.sourceEventID.value_or(QStringLiteral("local")));
    record.insert(QStringLiteral("source"), QStringLiteral("tandrel"));
    record.insert(QStringLiteral("event_type"), QStringLiteral("integration_notice"));
    record.insert(QStringLiteral("severity"), QStringLiteral("warning"));
    record.insert(QStringLiteral("title"), QStringLiteral("Response failed"));
    record.insert(QStringLiteral("message"),
                  receipt.error.value_or(QStringLiteral("The adapter reported that a response could not be applied.")));
    record.insert(QStringLiteral("timestamp"), receipt.receivedAt.value_or(formatUsageDate(now)));
    record.insert(QStringLiteral("task_key"), prefix);
    if (auto notice = TandrelEvent::fromDictionary(record)) {
      notices.push_back(std::move(*notice));
    }
  }
  return notices;
}

}  // namespace tandrel
