// EventStore: tailing the bridge file and watching it.
//
// The bridge file is appended to by many agent processes at once, one JSON object per line. A
// reload looks at the file's size, modification time and identity (at most every 0.35 s, at once
// when the watch reported a change or the check is forced) and then either reads just the bytes
// appended since the last read (the incremental path) or rereads the last 8 MiB (the reset path);
// only a forced check rereads a file whose size, time and identity are as they were. Both paths
// keep an unterminated last line as the pending fragment, so a line an agent is still writing is
// parsed once, after its line break.
// Every read stops at the size the check saw, so that bytes appended during the read are read
// next time, once, from the right offset. The incremental read starts a few bytes early and
// compares them with the last bytes read before: a file rewritten in place (and grown) no longer
// has them, and is read from its tail instead.
//
// Past the rotation size (64 MiB) the file is moved aside as "events.jsonl.1" and a new one is
// begun, once everything up to the size last seen has been read. Hooks append by path, so a hook
// that opened the file just before the move appends to the moved file: the store keeps reading
// that file from where it stopped, and goes on with the new file from its first byte, so the
// caches, and the read and hidden state, stay as they were. A reset that finds the bridge file
// shorter than the tail window (after a restart or a forced check) reads the newest lines of the
// moved file before it.
//
// A read of more than kBridgeInlineReadBytes (a reset of a long file, a large append) is read and
// parsed on the bridge queue; the main thread, which owns the caches, only takes the finished
// events. Until they arrive, further reloads wait for them.

#include "events/event_store.h"
#include "platform/private_folder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "base/heap_memory.h"
#include "base/log.h"
#include "base/posix_error.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
  // Room for the kept events at once: growing by doubling held two copies of a long read's events.
  newestFirst.reserve(std::min<std::size_t>(cap, static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'))));
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

// A read that began inside the file began inside a line: drops it up to and including its line
// break (a text without one is kept whole).
void dropPartialFirstLine(QByteArray& bytes) {
  const qsizetype firstBreak = bytes.indexOf('\n');
  if (firstBreak >= 0) {
    bytes.remove(0, firstBreak + 1);
  }
}

// The last bytes of a read, to recognise them before the next one.
QByteArray probeOf(const QByteArray& bytes) {
  return bytes.right(EventStore::kBridgeRewriteProbeBytes);
}

}  // namespace

// What one read of the bridge file is to do; a copy of the tail state it needs, so that it can run
// on the bridge queue.
struct EventStore::BridgeReadPlan {
  QString path;
  QString rotatedPath;  // the moved-aside file, when there is one (a reset reads its tail too)
  bool incremental = false;
  qint64 previous = 0;  // where the last read ended (incremental)
  qint64 end = 0;       // the size the check saw
  QByteArray probe;     // the last bytes of the last read
  QByteArray fragment;  // the unterminated end of the last read

  // The bytes the read takes.
  qint64 length() const {
    if (incremental) {
      return end - previous + probe.size();
    }
    return rotatedPath.isEmpty() ? std::min(end, kBridgeTailReadBytes) : kBridgeTailReadBytes;
  }
};

struct EventStore::BridgeReadResult {
  enum class Kind {
    appended,    // `events` are the new ones
    reset,       // `events` are the newest of the tail and the usage-only readings before them
    rewritten,   // the incremental read found other bytes before the old end: read the tail
    unreadable,  // the file could not be read
  };
  Kind kind = Kind::unreadable;
  std::vector<TandrelEvent> events;
  QByteArray fragment;
  QByteArray probe;
  std::optional<RotatedBridgeTail> rotated;  // how much of the moved-aside file a reset read
};

EventStore::BridgeReadResult EventStore::readBridge(const BridgeReadPlan& plan, bool resetWhenRewritten) {
  using Kind = BridgeReadResult::Kind;
  BridgeReadResult result;
  if (plan.incremental) {
    const auto bytes = readRange(plan.path, plan.previous - plan.probe.size(), plan.end);
    if (bytes && bytes->startsWith(plan.probe)) {
      QByteArray joined = plan.fragment;
      joined.append(QByteArrayView(*bytes).sliced(plan.probe.size()));
      result.kind = Kind::appended;
      result.fragment = unterminatedEnd(joined);
      result.events = parseNewestLines(joined, kBridgeActiveTailCap);
      result.probe = probeOf(*bytes);
      return result;
    }
    if (!resetWhenRewritten) {
      result.kind = Kind::rewritten;  // unreadable as well: the tail read decides
      return result;
    }
  }
  const qint64 start = plan.end < kBridgeTailReadBytes ? 0 : plan.end - kBridgeTailReadBytes;
  auto bytes = readRange(plan.path, start, plan.end);
  if (!bytes) {
    return result;
  }
  result.kind = Kind::reset;
  result.probe = probeOf(*bytes);
  if (start > 0) {
    dropPartialFirstLine(*bytes);
  } else if (!plan.rotatedPath.isEmpty()) {
    // The file holds less than the tail window: the newest complete lines of the moved-aside file
    // come before it; its unterminated end waits for the hook still writing it.
    if (const auto rotated = statBridgeFile(plan.rotatedPath)) {
      const auto rotatedEnd = static_cast<qint64>(rotated->size);
      const qint64 rotatedStart = std::max<qint64>(0, rotatedEnd - (kBridgeTailReadBytes - bytes->size()));
      if (auto older = readRange(plan.rotatedPath, rotatedStart, rotatedEnd)) {
        const qint64 readEnd = rotatedStart + older->size();
        if (rotatedStart > 0) {
          dropPartialFirstLine(*older);
        }
        QByteArray olderFragment = unterminatedEnd(*older);
        older->chop(older->size() - older->lastIndexOf('\n') - 1);
        result.rotated = RotatedBridgeTail{rotated->identity, readEnd, std::move(olderFragment)};
        bytes->prepend(*older);
      }
    }
  }
  // The unterminated end may be a line an agent is still writing: keep it for the next read, as
  // the incremental path does, instead of parsing (and losing) half a line.
  result.fragment = unterminatedEnd(*bytes);
  result.events = parseNewestLines(*bytes, kBridgeActiveTailCap);
  return result;
}

void EventStore::forgetBridgeTail() {
  lastEventFileSize_.reset();
  lastEventFileModified_.reset();
  lastEventFileIdentity_.reset();
  cachedBridgeActiveTailEvents_.clear();
  cachedBridgeUsageHistoryEvents_.clear();
  pendingBridgeEventLineFragment_.clear();
  bridgeReadProbe_.clear();
  rotatedBridgeTail_.reset();
  ++bridgeReadGeneration_;  // a read still running describes what is forgotten now
}

bool EventStore::reloadBridgeEventsIfNeeded(const QDateTime& now, BridgeCheck check) {
  if (check == BridgeCheck::throttled &&
      lastBridgeEventMetadataCheckAt_.msecsTo(now) < kBridgeMetadataCheckInterval.count()) {
    return false;
  }
  if (bridgeReadInFlight_) {
    bridgeReadAgain_ = true;  // checked again once the running read is taken in
    if (check == BridgeCheck::forced) {
      lastEventFileModified_.reset();  // that check then finds the file changed, and rereads it
    }
    return false;
  }
  lastBridgeEventMetadataCheckAt_ = now;

  const bool rotatedAppends = readRotatedBridgeAppends();
  const auto status = statBridgeFile(eventFile_);
  if (!status) {
    forgetBridgeTail();
    if (bridgeEvents_.empty()) {
      return rotatedAppends;
    }
    bridgeEvents_.clear();
    return true;
  }

  const quint64 size = status->size;
  const auto previous = lastEventFileSize_;
  const bool sameFile = lastEventFileIdentity_ == status->identity;
  // Unchanged: nothing to read. A watch reports changes the last read has already taken in (a
  // line read by the reload its first change started), and rereading the tail for each of them
  // would parse up to 8 MiB many times a minute on a busy day.
  if (check != BridgeCheck::forced && previous && *previous == size && sameFile &&
      lastEventFileModified_ == status->modifiedNs) {
    rotateBridgeFileIfLarge();
    return rotatedAppends;
  }
  lastEventFileSize_ = size;
  lastEventFileModified_ = status->modifiedNs;
  lastEventFileIdentity_ = status->identity;

  // Incremental path: the same file grew by no more than the tail window since the last read,
  // also when that read found no event (a tail of junk is not read again for every append).
  // Reset path: first read, another or shrunk file, a large append, a forced check, a failed
  // incremental read, or a file rewritten in place.
  BridgeReadPlan plan;
  plan.path = eventFile_;
  plan.incremental = previous && *previous < size && sameFile &&
                     size - *previous <= static_cast<quint64>(kBridgeTailReadBytes);
  plan.previous = previous ? static_cast<qint64>(*previous) : 0;
  plan.end = static_cast<qint64>(size);
  if (plan.incremental) {
    plan.probe = bridgeReadProbe_;
    plan.fragment = pendingBridgeEventLineFragment_;
  }
  const auto planReset = [this, &plan] {
    plan.incremental = false;
    plan.probe.clear();
    plan.fragment.clear();
    plan.rotatedPath = statBridgeFile(rotatedBridgeFile()) ? rotatedBridgeFile() : QString();
  };
  if (!plan.incremental) {
    planReset();
  }
  for (;;) {
    if (bridgeReadsInBackground_ && plan.length() > kBridgeInlineReadBytes) {
      readBridgeInBackground(std::move(plan));
      return rotatedAppends;
    }
    BridgeReadResult result = readBridge(plan, false);
    if (result.kind != BridgeReadResult::Kind::rewritten) {
      const bool applied = applyBridgeRead(std::move(result));
      rotateBridgeFileIfLarge();
      return rotatedAppends || applied;
    }
    planReset();
  }
}

bool EventStore::readRotatedBridgeAppends() {
  if (!rotatedBridgeTail_) {
    return false;
  }
  const QString path = rotatedBridgeFile();
  const auto status = statBridgeFile(path);
  if (!status || status->identity != rotatedBridgeTail_->identity) {
    rotatedBridgeTail_.reset();  // gone or replaced: nothing more can reach it
    return false;
  }
  const auto end = static_cast<qint64>(status->size);
  if (end <= rotatedBridgeTail_->offset) {
    return false;
  }
  const auto bytes = readRange(path, rotatedBridgeTail_->offset, end);
  if (!bytes) {
    return false;
  }
  QByteArray joined = std::move(rotatedBridgeTail_->fragment);
  joined.append(*bytes);
  rotatedBridgeTail_->offset += bytes->size();
  rotatedBridgeTail_->fragment = unterminatedEnd(joined);
  return takeAppendedBridgeEvents(parseNewestLines(joined, kBridgeActiveTailCap));
}

void EventStore::rotateBridgeFileIfLarge() {
  if (bridgeReadInFlight_ || !lastEventFileSize_ || !lastEventFileIdentity_ ||
      *lastEventFileSize_ < static_cast<quint64>(bridgeRotateBytes_)) {
    return;
  }
  const QByteArray path = QFile::encodeName(eventFile_);
  if (::rename(path.constData(), QFile::encodeName(rotatedBridgeFile()).constData()) != 0) {
    if (!std::exchange(bridgeRotateFailureLogged_, true)) {
      logWarning(QStringLiteral("Could not move the bridge file aside: %1").arg(errnoText(errno)));
    }
    return;
  }
  rotatedBridgeTail_ = RotatedBridgeTail{*lastEventFileIdentity_, static_cast<qint64>(*lastEventFileSize_),
                                         std::move(pendingBridgeEventLineFragment_)};
  pendingBridgeEventLineFragment_.clear();
  bridgeReadProbe_.clear();
  // The new file is created here, so that the next check finds it (a missing file empties the
  // store); a hook that created it first keeps its lines, which are read from the first byte.
  lastEventFileSize_ = 0;
  lastEventFileModified_.reset();
  lastEventFileIdentity_.reset();
  const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd < 0) {
    return;
  }
  struct stat info {};
  if (::fstat(fd, &info) == 0) {
    lastEventFileIdentity_ = BridgeFileIdentity{static_cast<quint64>(info.st_dev), static_cast<quint64>(info.st_ino)};
  }
  ::close(fd);
}

void EventStore::readBridgeInBackground(BridgeReadPlan plan) {
  bridgeReadInFlight_ = true;
  const quint64 generation = bridgeReadGeneration_;
  bridgeEventMonitorQueue_->async([weak = weakSelf(), plan = std::move(plan), generation] {
    BridgeReadResult result = readBridge(plan, true);
    postToMain([weak, generation, result = std::move(result)]() mutable {
      if (const auto self = weak.lock()) {
        (*self)->finishBackgroundBridgeRead(generation, std::move(result));
      }
    });
    returnFreeHeapMemory();  // the long read's lines, parsed and dropped
  });
}

void EventStore::finishBackgroundBridgeRead(quint64 generation, BridgeReadResult result) {
  bridgeReadInFlight_ = false;
  if (generation == bridgeReadGeneration_ && applyBridgeRead(std::move(result))) {
    publishEvents();
  }
  if (generation == bridgeReadGeneration_) {
    rotateBridgeFileIfLarge();
  }
  if (bridgeReadAgain_) {
    bridgeReadAgain_ = false;
    reload(BridgeCheck::changed);
  }
}

bool EventStore::applyBridgeRead(BridgeReadResult result) {
  using Kind = BridgeReadResult::Kind;
  if (result.kind != Kind::appended && result.kind != Kind::reset) {
    // Nothing was read: let the next check start over instead of reading on from this size.
    lastEventFileSize_.reset();
    lastEventFileModified_.reset();
    lastEventFileIdentity_.reset();
    return false;
  }
  pendingBridgeEventLineFragment_ = std::move(result.fragment);
  bridgeReadProbe_ = std::move(result.probe);
  std::vector<TandrelEvent>& events = result.events;
  if (result.kind == Kind::appended) {
    return takeAppendedBridgeEvents(std::move(events));
  }
  rotatedBridgeTail_ = std::move(result.rotated);
  std::vector<TandrelEvent> usageCandidates;
  std::copy_if(events.begin(), events.end(), std::back_inserter(usageCandidates), isUsageOnly);
  cachedBridgeUsageHistoryEvents_ = bridgeUsageHistoryEvents(usageCandidates);
  cachedBridgeActiveTailEvents_ = std::move(events);
  trimToNewest(cachedBridgeActiveTailEvents_, kBridgeActiveTailCap);
  bridgeEvents_ = bridgeEventsFromCaches();
  forgetReadStateOfEventsGone();
  return true;
}

bool EventStore::takeAppendedBridgeEvents(std::vector<TandrelEvent> events) {
  if (events.empty()) {
    return false;
  }
  // Without new usage readings the history stays as it is.
  if (std::any_of(events.begin(), events.end(), isUsageOnly)) {
    std::vector<TandrelEvent> historyInput = cachedBridgeUsageHistoryEvents_;
    historyInput.insert(historyInput.end(), events.begin(), events.end());
    cachedBridgeUsageHistoryEvents_ = bridgeUsageHistoryEvents(historyInput);
  }
  cachedBridgeActiveTailEvents_.insert(cachedBridgeActiveTailEvents_.end(), std::make_move_iterator(events.begin()),
                                       std::make_move_iterator(events.end()));
  trimToNewest(cachedBridgeActiveTailEvents_, kBridgeActiveTailCap);
  bridgeEvents_ = bridgeEventsFromCaches();
  forgetReadStateOfEventsGone();
  return true;
}

std::optional<QByteArray> EventStore::readEventText(qint64 offset, qint64 end) const {
  return readRange(eventFile_, offset, end);
}

std::optional<QByteArray> EventStore::readEventTail(qint64 maxBytes, qint64 end) const {
  const qint64 start = end < maxBytes ? 0 : end - maxBytes;
  auto bytes = readRange(eventFile_, start, end);
  if (bytes && start > 0) {
    dropPartialFirstLine(*bytes);
  }
  return bytes;
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
  // Folds into the pending reload; a reinstall asked for by any change it folds in is kept.
  pendingBridgeReloadActive_ = true;
  pendingBridgeReloadReinstall_ = pendingBridgeReloadReinstall_ || reinstallFileMonitor;
  postToMain([weak = weakSelf()] {
    if (const auto self = weak.lock()) {
      (*self)->restartBridgeReloadTimer();
    }
  });
}

void EventStore::restartBridgeReloadTimer() {
  // Each change restarts the debounce, but writers that never pause must not hold the reload off:
  // it runs at the latest kBridgeReloadMaxWait after the first change it waits for.
  const qint64 nowMs = clock_.monotonicMs();
  if (!bridgeReloadTimer_.isPending()) {
    bridgeReloadFirstChangeMs_ = nowMs;
  }
  const qint64 untilMaxWait = bridgeReloadFirstChangeMs_.value_or(nowMs) + kBridgeReloadMaxWait.count() - nowMs;
  const auto delay = std::chrono::milliseconds(std::clamp<qint64>(untilMaxWait, 0, kBridgeReloadDebounce.count()));
  bridgeReloadTimer_.cancel();
  bridgeReloadTimer_ = clock_.schedule(delay, [weak = weakSelf()] {
    if (const auto self = weak.lock()) {
      EventStore* store = *self;
      store->bridgeEventMonitorQueue_->async([store] { store->runPendingBridgeReload(); });
    }
  });
}

void EventStore::runPendingBridgeReload() {
  // A change that arrived since the timer fired is read by this reload too; its own timer then
  // finds nothing pending.
  if (!pendingBridgeReloadActive_) {
    return;  // already run, or monitoring stopped
  }
  const bool reinstall = pendingBridgeReloadReinstall_;
  pendingBridgeReloadActive_ = false;
  pendingBridgeReloadReinstall_ = false;
  if (reinstall && bridgeEventMonitoringStarted_) {
    installBridgeEventFileMonitor();
  }
  postToMain([weak = weakSelf()] {
    if (const auto self = weak.lock()) {
      (*self)->reload(BridgeCheck::changed);
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
