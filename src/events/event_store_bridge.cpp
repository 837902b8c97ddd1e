// EventStore: tailing the bridge file and watching it.
//
// The bridge file is appended to by many agent processes at once, one JSON object per line. A
// reload looks at the file's size, modification time and identity (at most every 0.35 s unless
// forced) and then either reads just the bytes appended since the last read (the incremental path)
// or rereads the last 8 MiB (the reset path). Both paths keep an unterminated last line as the
// pending fragment, so a line an agent is still writing is parsed once, after its line break.
// Every read stops at the size the check saw, so that bytes appended during the read are read
// next time, once, from the right offset.

#include "events/event_store.h"
#include "platform/private_folder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

#include <algorithm>
#include <iterator>
#include <string_view>

namespace tandrel {

namespace {

struct BridgeFileStatus {
  quint64 size = 0;
  std::optional<qint64> modifiedNs;
  BridgeFileIdentity identity;
};

std::optional<BridgeFileStatus> statBridgeFile(const QString& path) {
  struct stat info {};
  if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
    return std::nullopt;
  }
  BridgeFileStatus status;
  status.size = info.st_size < 0 ? 0 : static_cast<quint64>(info.st_size);
  status.modifiedNs = static_cast<qint64>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
  status.identity = {static_cast<quint64>(info.st_dev), static_cast<quint64>(info.st_ino)};
  return status;
}

// Reads the bytes [start, end) of a file, fewer when the file is shorter; nothing when it cannot be
// opened.
std::optional<QByteArray> readRange(const QString& path, qint64 start, qint64 end) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
    return std::nullopt;
  }
  if (start > 0) {
    file.seek(start);  // a failed seek reads from where the file stands
  }
  return file.read(std::max<qint64>(0, end - start));
}

bool isUsageOnly(const TandrelEvent& event) {
  return event.usage.has_value() && event.notifyPolicy == QLatin1String("usage_only");
}

// Whether a line can hold a usage-only reading: its notify policy must spell "usage_only", either
// as it is or behind JSON escapes.
bool mayBeUsageOnly(std::string_view line) {
  return line.find("usage_only") != std::string_view::npos || line.find("\\u") != std::string_view::npos;
}

// The events of the complete lines of `bytes` (up to the last line break) that can still matter,
// in file order: the newest `cap` events, and the usage-only readings before them, which the usage
// history keeps. The lines are taken newest first, so a long read parses only what it keeps; empty
// and unreadable lines are skipped.
std::vector<TandrelEvent> parseNewestLines(QByteArrayView bytes, std::size_t cap) {
  const std::string_view text(bytes.data(), static_cast<std::size_t>(bytes.size()));
  std::vector<TandrelEvent> newestFirst;
  std::size_t newestCount = 0;
  std::size_t end = text.rfind('\n');
  while (end != std::string_view::npos) {
    const std::size_t previousBreak = end == 0 ? std::string_view::npos : text.rfind('\n', end - 1);
    const std::size_t begin = previousBreak == std::string_view::npos ? 0 : previousBreak + 1;
    const std::string_view line = text.substr(begin, end - begin);
    if (!line.empty() && (newestCount < cap || mayBeUsageOnly(line))) {
      const auto raw = QByteArray::fromRawData(line.data(), static_cast<qsizetype>(line.size()));
      if (auto event = TandrelEvent::fromBridgeLine(raw)) {
        if (newestCount < cap) {
          ++newestCount;
          newestFirst.push_back(std::move(*event));
        } else if (isUsageOnly(*event)) {
          newestFirst.push_back(std::move(*event));
        }
      }
    }
    end = previousBreak;
  }
  std::reverse(newestFirst.begin(), newestFirst.end());
  return newestFirst;
}

// The bytes after the last line break, kept for the next read; a piece larger than the whole tail
// window can never become a readable line and is dropped.
QByteArray unterminatedEnd(QByteArrayView bytes) {
  const qsizetype lastBreak = bytes.lastIndexOf('\n');
  const QByteArrayView rest = bytes.sliced(lastBreak + 1);
  if (rest.size() > EventStore::kBridgeTailReadBytes) {
    return {};
  }
  return rest.toByteArray();
}

void trimToNewest(std::vector<TandrelEvent>& events, std::size_t cap) {
  if (events.size() > cap) {
    events.erase(events.begin(), events.end() - static_cast<std::ptrdiff_t>(cap));
  }
}

}  // namespace

void EventStore::forgetBridgeTail() {
  lastEventFileSize_.reset();
  lastEventFileModified_.reset();
  lastEventFileIdentity_.reset();
  cachedBridgeActiveTailEvents_.clear();
  cachedBridgeUsageHistoryEvents_.clear();
  pendingBridgeEventLineFragment_.clear();
}

bool EventStore::reloadBridgeEventsIfNeeded(const QDateTime& now, bool forceMetadataCheck) {
  if (!forceMetadataCheck &&
      lastBridgeEventMetadataCheckAt_.msecsTo(now) < kBridgeMetadataCheckInterval.count()) {
    return false;
  }
  lastBridgeEventMetadataCheckAt_ = now;

  const auto status = statBridgeFile(eventFile_);
  if (!status) {
    forgetBridgeTail();
    if (bridgeEvents_.empty()) {
      return false;
    }
    bridgeEvents_.clear();
    return true;
  }

  const quint64 size = status->size;
  const auto previous = lastEventFileSize_;
  const bool sameFile = lastEventFileIdentity_ == status->identity;
  if (!forceMetadataCheck && previous && *previous == size && sameFile &&
      lastEventFileModified_ == status->modifiedNs) {
    return false;
  }
  lastEventFileSize_ = size;
  lastEventFileModified_ = status->modifiedNs;
  lastEventFileIdentity_ = status->identity;

  // Incremental path: the same file grew by no more than the tail window since the last read.
  const bool haveCaches = !cachedBridgeActiveTailEvents_.empty() || !cachedBridgeUsageHistoryEvents_.empty();
  if (previous && *previous < size && sameFile && haveCaches &&
      size - *previous <= static_cast<quint64>(kBridgeTailReadBytes)) {
    if (const auto bytes = readEventText(static_cast<qint64>(*previous), static_cast<qint64>(size))) {
      auto appended = parseBridgeAppendedEvents(*bytes);
      if (appended.empty()) {
        return false;
      }
      // Without new usage readings the history stays as it is.
      if (std::any_of(appended.begin(), appended.end(), isUsageOnly)) {
        std::vector<TandrelEvent> historyInput = cachedBridgeUsageHistoryEvents_;
        historyInput.insert(historyInput.end(), appended.begin(), appended.end());
        cachedBridgeUsageHistoryEvents_ = bridgeUsageHistoryEvents(historyInput);
      }
      cachedBridgeActiveTailEvents_.insert(cachedBridgeActiveTailEvents_.end(),
                                           std::make_move_iterator(appended.begin()),
                                           std::make_move_iterator(appended.end()));
      trimToNewest(cachedBridgeActiveTailEvents_, kBridgeActiveTailCap);
      bridgeEvents_ = bridgeEventsFromCaches();
      return true;
    }
  }

  // Reset path: first read, another or shrunk file, a large append, a forced check, empty caches or
  // a failed incremental read.
  pendingBridgeEventLineFragment_.clear();
  const auto tail = readEventTail(kBridgeTailReadBytes, static_cast<qint64>(size));
  if (!tail) {
    // Nothing was read: let the next check start over instead of reading on from this size.
    lastEventFileSize_.reset();
    lastEventFileModified_.reset();
    lastEventFileIdentity_.reset();
    return false;
  }
  cachedBridgeActiveTailEvents_.clear();
  const auto usageCandidates = resetBridgeEventCaches(*tail);
  cachedBridgeUsageHistoryEvents_ = bridgeUsageHistoryEvents(usageCandidates);
  bridgeEvents_ = bridgeEventsFromCaches();
  return true;
}

std::optional<QByteArray> EventStore::readEventText(qint64 offset, qint64 end) const {
  return readRange(eventFile_, offset, end);
}

std::optional<QByteArray> EventStore::readEventTail(qint64 maxBytes, qint64 end) const {
  const qint64 start = end < maxBytes ? 0 : end - maxBytes;
  auto bytes = readRange(eventFile_, start, end);
  if (bytes && start > 0) {
    // The read began inside a line: drop it up to and including its line break.
    const qsizetype firstBreak = bytes->indexOf('\n');
    if (firstBreak >= 0) {
      bytes->remove(0, firstBreak + 1);
    }
  }
  return bytes;
}

std::vector<TandrelEvent> EventStore::parseBridgeAppendedEvents(const QByteArray& bytes) {
  QByteArray joined = pendingBridgeEventLineFragment_.isEmpty() ? bytes : pendingBridgeEventLineFragment_ + bytes;
  pendingBridgeEventLineFragment_ = unterminatedEnd(joined);
  return parseNewestLines(joined, kBridgeActiveTailCap);
}

std::vector<TandrelEvent> EventStore::resetBridgeEventCaches(const QByteArray& bytes) {
  // The unterminated end may be a line an agent is still writing: keep it for the next read, as
  // the incremental path does, instead of parsing (and losing) half a line.
  pendingBridgeEventLineFragment_ = unterminatedEnd(bytes);
  std::vector<TandrelEvent> parsed = parseNewestLines(bytes, kBridgeActiveTailCap);
  std::vector<TandrelEvent> usageCandidates;
  std::copy_if(parsed.begin(), parsed.end(), std::back_inserter(usageCandidates), isUsageOnly);
  trimToNewest(parsed, kBridgeActiveTailCap);
  cachedBridgeActiveTailEvents_.insert(cachedBridgeActiveTailEvents_.end(), std::make_move_iterator(parsed.begin()),
                                       std::make_move_iterator(parsed.end()));
  trimToNewest(cachedBridgeActiveTailEvents_, kBridgeActiveTailCap);
  return usageCandidates;
}

std::vector<TandrelEvent> EventStore::bridgeUsageHistoryEvents(const std::vector<TandrelEvent>& list) {
  std::vector<TandrelEvent> taken;
  QHash<QString, int> takenPerTool;
  for (auto it = list.rbegin(); it != list.rend(); ++it) {
    if (!isUsageOnly(*it)) {
      continue;
    }
    int& count = takenPerTool[it->usage->toolID];
    if (count >= kBridgeUsageHistoryPerTool) {
      continue;
    }
    ++count;
    taken.push_back(*it);
    if (taken.size() >= static_cast<std::size_t>(kBridgeUsageHistoryTotal)) {
      break;
    }
  }
  std::reverse(taken.begin(), taken.end());
  return taken;
}

namespace {

// Appends each event of the lists, in order, unless an event with its identifier came before.
std::vector<TandrelEvent> firstOfEachID(std::initializer_list<const std::vector<TandrelEvent>*> lists) {
  std::size_t total = 0;
  for (const auto* list : lists) {
    total += list->size();
  }
  std::vector<TandrelEvent> unique;
  unique.reserve(total);
  QSet<QString> seen;
  seen.reserve(static_cast<qsizetype>(total));
  for (const auto* list : lists) {
    for (const auto& event : *list) {
      const auto before = seen.size();
      seen.insert(event.id);
      if (seen.size() != before) {
        unique.push_back(event);
      }
    }
  }
  return unique;
}

}  // namespace

std::vector<TandrelEvent> EventStore::uniqueBridgeEvents(const std::vector<TandrelEvent>& list) {
  return firstOfEachID({&list});
}

std::vector<TandrelEvent> EventStore::bridgeEventsFromCaches() const {
  return firstOfEachID({&cachedBridgeUsageHistoryEvents_, &cachedBridgeActiveTailEvents_});
}

// ---- Monitoring (bridge queue) ----

void EventStore::startMonitoringBridgeEvents() {
  if (testEnvironment_) {
    return;
  }
  bridgeEventMonitorQueue_->async([this] {
    if (bridgeEventMonitoringStarted_) {
      return;
    }
    bridgeEventMonitoringStarted_ = true;
    installBridgeEventDirectoryMonitor();
    installBridgeEventFileMonitor();
    // Lines appended between the caller's last reload and the watches going in raised no event:
    // read once more now that they are in place.
    scheduleBridgeEventReload(false);
  });
}

void EventStore::stopMonitoringBridgeEvents() {
  bridgeEventMonitorQueue_->async([this] { stopMonitoringBridgeEventsOnQueue(); });
}

void EventStore::stopMonitoringBridgeEventsOnQueue() {
  pendingBridgeReloadActive_ = false;
  pendingBridgeReloadReinstall_ = false;
  ++pendingBridgeReloadGeneration_;
  bridgeEventMonitoringStarted_ = false;
  bridgeEventFileSource_.reset();
  bridgeEventDirectorySource_.reset();
}

void EventStore::installBridgeEventDirectoryMonitor() {
  bridgeEventDirectorySource_.reset();
  const QFileInfo file(eventFile_);
  const QString folder = file.absolutePath();
  (void)makePrivateFolder(folder);
  // Other files in the folder (our own logs) are not reported; any change to the bridge file's
  // entry may mean a new file, so the file watch is reinstalled.
  bridgeEventDirectorySource_ = FileEventSource::watchFolderEntry(
      folder, file.fileName(), *bridgeEventMonitorQueue_, [this](unsigned) { scheduleBridgeEventReload(true); });
}

void EventStore::installBridgeEventFileMonitor() {
  bridgeEventFileSource_.reset();
  bridgeEventFileSource_ =
      FileEventSource::watchFile(eventFile_, *bridgeEventMonitorQueue_, [this](unsigned flags) {
        constexpr unsigned kGone = FileEventSource::Delete | FileEventSource::Rename | FileEventSource::Revoke;
        scheduleBridgeEventReload((flags & kGone) != 0);
      });
}

void EventStore::scheduleBridgeEventReload(bool reinstallFileMonitor) {
  // Replaces the pending reload; a reinstall asked for by a change it replaces is kept.
  ++pendingBridgeReloadGeneration_;
  pendingBridgeReloadActive_ = true;
  pendingBridgeReloadReinstall_ = pendingBridgeReloadReinstall_ || reinstallFileMonitor;
  const quint64 generation = pendingBridgeReloadGeneration_;
  postToMain([weak = weakSelf(), generation] {
    if (const auto self = weak.lock()) {
      (*self)->restartBridgeReloadTimer(generation);
    }
  });
}

void EventStore::restartBridgeReloadTimer(quint64 generation) {
  bridgeReloadTimer_.cancel();
  bridgeReloadTimer_ = clock_.schedule(kBridgeReloadDebounce, [weak = weakSelf(), generation] {
    if (const auto self = weak.lock()) {
      EventStore* store = *self;
      store->bridgeEventMonitorQueue_->async([store, generation] { store->runPendingBridgeReload(generation); });
    }
  });
}

void EventStore::runPendingBridgeReload(quint64 generation) {
  if (!pendingBridgeReloadActive_ || generation != pendingBridgeReloadGeneration_) {
    return;  // replaced by a newer change, or monitoring stopped
  }
  const bool reinstall = pendingBridgeReloadReinstall_;
  pendingBridgeReloadActive_ = false;
  pendingBridgeReloadReinstall_ = false;
  if (reinstall && bridgeEventMonitoringStarted_) {
    installBridgeEventFileMonitor();
  }
  postToMain([weak = weakSelf()] {
    if (const auto self = weak.lock()) {
      (*self)->reload(true);
    }
  });
}

EventStore::BridgeMonitorState EventStore::bridgeMonitorStateForTests() {
  BridgeMonitorState state;
  bridgeEventMonitorQueue_->async([this, &state] {
    state.started = bridgeEventMonitoringStarted_;
    state.fileMonitorInstalled = bridgeEventFileSource_ != nullptr;
    state.directoryMonitorInstalled = bridgeEventDirectorySource_ != nullptr;
  });
  bridgeEventMonitorQueue_->drain();
  return state;
}

}  // namespace tandrel
