#include "requests/socket_server.h"

#include "base/descriptor_headroom.h"
#include "base/log.h"
#include "base/thread_name.h"
#include "platform/dispatch.h"
#include "platform/private_folder.h"
#include "requests/socket_frame_codec.h"

#include <QByteArray>
#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace tandrel {
namespace {

// Bytes taken from a connection per read.
constexpr size_t kReadChunkBytes = 64 * 1024;
// Readiness reports taken per wait.
constexpr int kEventsPerWait = 256;
// How much later than its deadline a silent connection may be closed.
constexpr std::chrono::milliseconds kFirstFrameSlack{50};
// While no descriptor is free, how often the listener is tried again.
constexpr std::chrono::milliseconds kAcceptRetry{250};
// The epoll tags of the listener and the wake-up descriptor; connections use their ids (from 2).
constexpr std::uint64_t kListenTag = 0;
constexpr std::uint64_t kWakeTag = 1;

// The reply of the "echo" test mode.
constexpr char kEchoAgentPayload[] =
    R"({"hookSpecificOutput":{"hookEventName":"PreToolUse","permissionDecision":"allow"}})";

// umask is process-wide: servers started at the same time must not restore each other's value.
std::mutex& umaskMutex() {
  static std::mutex mutex;
  return mutex;
}

void wake(int eventFD) {
  const std::uint64_t one = 1;
  while (::write(eventFD, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

void drainWake(int eventFD) {
  std::uint64_t count = 0;
  while (::read(eventFD, &count, sizeof count) < 0 && errno == EINTR) {
  }
}

void closeFD(int fd) {
  if (fd >= 0) {
    ::close(fd);  // never retried on EINTR: Linux releases the descriptor either way
  }
}

// A reply waiting to be written by the I/O thread.
struct OutgoingReply {
  HookReply reply;
  SocketSendCompletion completion;
};

void complete(SocketSendCompletion completion, Result<void> outcome) {
  if (completion) {
    postToMain([completion = std::move(completion), outcome = std::move(outcome)] {
      completion(outcome);
    });
  }
}

Result<void> closedBeforeTheReply() {
  return Result<void>::failure(QStringLiteral("the connection closed before the reply"));
}

}  // namespace

// ---- SocketReplyHandle ------------------------------------------------------------------------

SocketReplyHandle::SocketReplyHandle(SendFunction send, CloseFunction close,
                                     WatchClosedFunction watchClosed)
    : send_(std::move(send)), close_(std::move(close)), watchClosed_(std::move(watchClosed)) {}

void SocketReplyHandle::send(const HookReply& reply, SocketSendCompletion completion) const {
  if (send_) {
    send_(reply, std::move(completion));
  } else {
    complete(std::move(completion), Result<void>::failure(QStringLiteral("no connection")));
  }
}

void SocketReplyHandle::close() const {
  if (close_) {
    close_();
  }
}

void SocketReplyHandle::onClosed(std::function<void()> callback) const {
  if (!callback) {
    return;
  }
  if (watchClosed_) {
    watchClosed_(std::move(callback));
  } else {
    postToMain(std::move(callback));
  }
}

// ---- SocketServer -----------------------------------------------------------------------------

namespace {

using SteadyTime = std::chrono::steady_clock::time_point;

// One accepted hook connection. The I/O thread owns the descriptor, the buffers and the write in
// progress; other threads only queue replies, ask for a close or add close watchers, under the
// server's lock, and then wake the I/O thread.
struct Connection {
  std::uint64_t id = 0;
  int fd = -1;

  // Under Core::lock.
  std::deque<OutgoingReply> outbox;
  bool closeRequested = false;
  bool closed = false;
  std::vector<std::function<void()>> closeWatchers;

  // I/O thread only.
  QByteArray received;
  SteadyTime firstFrameDeadline;
  bool deliveredAFrame = false;
  std::deque<OutgoingReply> writing;  // taken from the outbox, in order; the first is on the wire
  QByteArray frame;                   // the first one's bytes
  qsizetype written = 0;
  SteadyTime writeDeadline;
  bool watchingWritable = false;
};

}  // namespace

struct SocketServer::Core : std::enable_shared_from_this<Core> {
  QString socketPath;
  Handler handler;  // read on the main thread only
  std::chrono::milliseconds firstFrameTimeout;

  std::atomic<bool> running{false};
  int listenFD = -1;
  int wakeFD = -1;
  int epollFD = -1;
  // Kept open so that, out of descriptors, a waiting hook can still be accepted and closed at once
  // (it then falls back to the agent's own prompt instead of waiting for its time-out).
  int reserveFD = -1;
  std::thread ioThread;
  // Identity of the socket file this server bound, so that it never removes a newer one.
  bool bound = false;
  dev_t boundDevice = 0;
  ino_t boundInode = 0;

  mutable std::mutex lock;  // guards the map, the connections' shared fields and what follows
  std::map<std::uint64_t, std::shared_ptr<Connection>> connections;
  std::vector<std::uint64_t> dirty;  // connections with queued replies or a close request
  bool stopping = false;

  // I/O thread only.
  std::uint64_t nextConnectionID = 2;
  bool listening = true;            // the listener is in the epoll set
  std::optional<SteadyTime> acceptRetryAt;
  bool outOfDescriptors = false;    // an episode is going on (logged once)
  int turnedAway = 0;               // connections closed at once during the episode
  int listenerClosings = 0;         // times the listener was closed during the episode

  std::shared_ptr<Connection> find(std::uint64_t id) const {
    std::lock_guard guard(lock);
    const auto it = connections.find(id);
    return it == connections.end() ? nullptr : it->second;
  }

  void markDirty(const Connection& connection) {
    dirty.push_back(connection.id);
    wake(wakeFD);
  }

  // ---- the I/O thread ("app.tandrel.socket.io") ----

  void ioLoop() {
    nameCurrentThread(QStringLiteral("app.tandrel.socket.io"));
    std::vector<char> chunk(kReadChunkBytes);
    epoll_event events[kEventsPerWait];
    for (;;) {
      const int ready = ::epoll_wait(epollFD, events, kEventsPerWait, waitTimeoutMs());
      if (ready < 0 && errno != EINTR) {
        logWarning(POSIXError{errno, QStringLiteral("epoll_wait")}.description());
        return;
      }
      for (int i = 0; i < ready; ++i) {
        const std::uint64_t tag = events[i].data.u64;
        if (tag == kWakeTag) {
          drainWake(wakeFD);
        } else if (tag == kListenTag) {
          acceptAll();
        } else if (auto connection = find(tag)) {
          serve(connection, events[i].events, chunk);
        }
      }
      {
        std::lock_guard guard(lock);
        if (stopping) {
          return;
        }
      }
      takeQueuedWork();
      expireDeadlines();
    }
  }

  // Until the earliest deadline: a connection's first frame, a reply write, or retrying the
  // listener; -1 when there is none.
  int waitTimeoutMs() const {
    std::optional<SteadyTime> earliest = acceptRetryAt;
    const auto consider = [&](SteadyTime when) {
      if (!earliest || when < *earliest) {
        earliest = when;
      }
    };
    std::lock_guard guard(lock);
    for (const auto& [id, connection] : connections) {
      if (!connection->deliveredAFrame) {
        // A little late rather than once per connection: a burst of silent clients is closed (and
        // logged) together.
        consider(connection->firstFrameDeadline + kFirstFrameSlack);
      }
      if (!connection->writing.empty()) {
        consider(connection->writeDeadline);
      }
    }
    if (!earliest) {
      return -1;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        *earliest - std::chrono::steady_clock::now());
    return static_cast<int>(std::clamp<qint64>(left.count() + 1, 0, 60'000));
  }

  void acceptAll() {
    for (;;) {
      const int client = ::accept4(listenFD, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (isInDescriptorHeadroom(client)) {
        // Closed at once, like a connection turned away on the reserve.
        closeFD(client);
        noteOutOfDescriptors(QStringLiteral("only the descriptors kept for the rest of the app are free"));
        ++turnedAway;
        continue;
      }
      if (client >= 0) {
        if (outOfDescriptors) {
          logInfo(QStringLiteral("accepting hook connections again (%1 closed at once meanwhile%2)")
                      .arg(turnedAway)
                      .arg(listenerClosings > 0
                               ? QStringLiteral("; the socket was closed and bound anew %1 times")
                                     .arg(listenerClosings)
                               : QString()));
          outOfDescriptors = false;
          turnedAway = 0;
          listenerClosings = 0;
        }
        addConnection(client);
        continue;
      }
      const int error = errno;
      if (error == EINTR || error == ECONNABORTED) {
        continue;
      }
      if (error == EAGAIN || error == EWOULDBLOCK) {
        return;
      }
      if (error == EMFILE || error == ENFILE) {
        noteOutOfDescriptors(POSIXError{error, QStringLiteral("accept")}.description());
        switch (turnAwayOne()) {
          case TurnAway::tryNext:
            continue;
          case TurnAway::noneWaiting:
            return;
          case TurnAway::noReserve:
            closeListener();
            return;
        }
      }
      // Another failure (no memory, say): stop watching the listener, which stays readable and
      // would otherwise be reported again at once, until a connection ends or a moment passes.
      noteOutOfDescriptors(POSIXError{error, QStringLiteral("accept")}.description());
      pauseListener();
      return;
    }
  }

  void noteOutOfDescriptors(const QString& why) {
    if (!outOfDescriptors) {
      outOfDescriptors = true;
      logWarning(QStringLiteral("%1; new hook connections are closed at once until descriptors are "
                                "free (their agents fall back to their own prompts)")
                     .arg(why));
    }
  }

  enum class TurnAway { tryNext, noneWaiting, noReserve };

  // Accepts the next waiting connection on the reserve descriptor's slot and ends it at once. The
  // slot is never given up: the accepted descriptor is turned into the next reserve (a copy of the
  // listener) in one step, which also closes the connection. Another thread may take the slot
  // between the reserve's close and the accept, and keep it: then there is no reserve any more.
  TurnAway turnAwayOne() {
    if (reserveFD < 0) {
      return TurnAway::noReserve;
    }
    closeFD(reserveFD);
    reserveFD = -1;
    const int client = ::accept4(listenFD, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) {
      const int error = errno;
      takeReserve();
      if (reserveFD < 0) {
        return TurnAway::noReserve;
      }
      return error == EAGAIN || error == EWOULDBLOCK ? TurnAway::noneWaiting : TurnAway::tryNext;
    }
    if (::dup3(listenFD, client, O_CLOEXEC) == client) {
      reserveFD = client;
    } else {
      closeFD(client);
      takeReserve();
    }
    ++turnedAway;
    return TurnAway::tryNext;
  }

  // A descriptor held back for turning connections away: a copy of the listener.
  void takeReserve() {
    if (reserveFD < 0) {
      reserveFD = ::fcntl(listenFD, F_DUPFD_CLOEXEC, 0);
    }
  }

  void pauseListener() {
    if (listening) {
      ::epoll_ctl(epollFD, EPOLL_CTL_DEL, listenFD, nullptr);
      listening = false;
    }
    acceptRetryAt = std::chrono::steady_clock::now() + kAcceptRetry;
  }

  // Out of descriptors with no reserve to turn hooks away on: closes the listener and its copy.
  // The hooks waiting in its queue are reset and new ones are refused, so that all of them fall
  // back to their agents' prompts at once instead of waiting for their time-outs. The socket
  // file stays; a new listener takes its place once descriptors are free.
  void closeListener() {
    pauseListener();
    closeFD(reserveFD);
    reserveFD = -1;
    closeFD(listenFD);
    listenFD = -1;
    ++listenerClosings;
  }

  // Opens a new listener at the socket path once descriptors for it and its reserve are free;
  // false while they are not. A path that holds anything but the socket this server bound (a newer
  // server's) is left alone.
  bool reopenListener() {
    const QByteArray path = socketPath.toUtf8();
    struct stat existing {};
    const bool present = ::lstat(path.constData(), &existing) == 0;
    if (present && !(bound && existing.st_dev == boundDevice && existing.st_ino == boundInode)) {
      return false;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
      return false;
    }
    const int reserve = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (reserve < 0) {
      closeFD(fd);
      return false;
    }
    if (present) {
      ::unlink(path.constData());
    }
    bound = false;
    if (bindToPath(fd) || listenOn(fd)) {
      closeFD(reserve);
      closeFD(fd);
      return false;
    }
    listenFD = fd;
    reserveFD = reserve;
    return true;
  }

  void resumeListener() {
    acceptRetryAt.reset();
    if (listening) {
      return;
    }
    if (listenFD < 0 && !reopenListener()) {
      acceptRetryAt = std::chrono::steady_clock::now() + kAcceptRetry;
      return;
    }
    takeReserve();
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = kListenTag;
    if (::epoll_ctl(epollFD, EPOLL_CTL_ADD, listenFD, &event) == 0) {
      listening = true;
    } else {
      acceptRetryAt = std::chrono::steady_clock::now() + kAcceptRetry;
    }
  }

  void addConnection(int client) {
    auto connection = std::make_shared<Connection>();
    connection->fd = client;
    connection->id = nextConnectionID++;
    connection->firstFrameDeadline = std::chrono::steady_clock::now() + firstFrameTimeout;
    epoll_event event{};
    event.events = EPOLLIN | EPOLLRDHUP;
    event.data.u64 = connection->id;
    if (::epoll_ctl(epollFD, EPOLL_CTL_ADD, client, &event) != 0) {
      logWarning(POSIXError{errno, QStringLiteral("epoll_ctl")}.description());
      closeFD(client);
      return;
    }
    std::lock_guard guard(lock);
    connections.emplace(connection->id, std::move(connection));
  }

  void serve(const std::shared_ptr<Connection>& connection, std::uint32_t ready,
             std::vector<char>& chunk) {
    if ((ready & EPOLLOUT) && !writeSome(*connection)) {
      tearDown(connection);
      return;
    }
    if (!(ready & (EPOLLIN | EPOLLHUP | EPOLLERR | EPOLLRDHUP))) {
      return;
    }
    const ssize_t count = ::read(connection->fd, chunk.data(), chunk.size());
    if (count > 0) {
      connection->received.append(chunk.data(), count);
      if (!drainReceived(*connection)) {
        tearDown(connection);
      }
    } else if (count == 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) {
      tearDown(connection);  // the agent closed its end, or the stream broke
    }
  }

  // Hands every complete request received to the main thread; false when the connection must end
  // because a frame is too long or not a request (no reply is sent then).
  bool drainReceived(Connection& connection) {
    for (;;) {
      auto request = SocketFrameCodec::decodeRequest(connection.received);
      if (request) {
        connection.deliveredAFrame = true;
        deliver(std::move(request).value(), connection.id);
        continue;
      }
      if (request.error().kind == FrameDecodeError::Kind::incomplete) {
        return true;
      }
      logWarning(QStringLiteral("socket connection closed: %1").arg(request.error().description()));
      return false;
    }
  }

  void deliver(HookRequest request, std::uint64_t connectionID) {
    std::weak_ptr<Core> weak = weak_from_this();
    SocketReplyHandle handle = makeHandle(weak, connectionID);
    postToMain([weak, request = std::move(request), handle = std::move(handle)] {
      auto core = weak.lock();
      if (core && core->handler) {
        core->handler(request, handle);
      }
    });
  }

  // Moves queued replies to their connections' write queues and carries out close requests.
  void takeQueuedWork() {
    std::vector<std::uint64_t> ids;
    {
      std::lock_guard guard(lock);
      ids.swap(dirty);
    }
    for (const std::uint64_t id : ids) {
      auto connection = find(id);
      if (!connection) {
        continue;
      }
      bool closeRequested = false;
      {
        std::lock_guard guard(lock);
        while (!connection->outbox.empty()) {
          connection->writing.push_back(std::move(connection->outbox.front()));
          connection->outbox.pop_front();
        }
        closeRequested = connection->closeRequested;
      }
      // Replies first, then a requested close.
      if (!writeSome(*connection) || (closeRequested && connection->writing.empty())) {
        tearDown(connection);
      }
    }
  }

  // Writes as much of the queued replies as the peer takes now, completing each one written
  // whole; false when a write failed (the stream is no longer usable). Watches for room while
  // something is left, and ends the connection once a requested close has nothing left to write.
  bool writeSome(Connection& connection) {
    while (!connection.writing.empty()) {
      if (connection.written == 0 && connection.frame.isEmpty()) {
        connection.frame = SocketFrameCodec::encode(connection.writing.front().reply);
        connection.writeDeadline = std::chrono::steady_clock::now() +
                                   std::chrono::milliseconds(SocketServer::kReplyWriteDeadlineMs);
      }
      const ssize_t sent =
          ::send(connection.fd, connection.frame.constData() + connection.written,
                 static_cast<size_t>(connection.frame.size() - connection.written), MSG_NOSIGNAL);
      if (sent < 0) {
        if (errno == EINTR) {
          continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
          return watchWritable(connection, true);
        }
        failWrite(connection, POSIXError{errno, QStringLiteral("send")}.description());
        return false;
      }
      connection.written += sent;
      if (connection.written == connection.frame.size()) {
        complete(std::move(connection.writing.front().completion), Result<void>::success());
        connection.writing.pop_front();
        connection.frame.clear();
        connection.written = 0;
      }
    }
    const bool closeRequested = [&] {
      std::lock_guard guard(lock);
      return connection.closeRequested;
    }();
    return watchWritable(connection, false) && !closeRequested;
  }

  bool watchWritable(Connection& connection, bool on) {
    if (connection.watchingWritable == on) {
      return true;
    }
    epoll_event event{};
    event.events = EPOLLIN | EPOLLRDHUP | (on ? EPOLLOUT : 0u);
    event.data.u64 = connection.id;
    ::epoll_ctl(epollFD, EPOLL_CTL_MOD, connection.fd, &event);
    connection.watchingWritable = on;
    return true;
  }

  void failWrite(Connection& connection, const QString& why) {
    OutgoingReply& failed = connection.writing.front();
    logWarning(QStringLiteral("reply to request %1 not delivered: %2").arg(failed.reply.requestID, why));
    complete(std::move(failed.completion), Result<void>::failure(why));
    connection.writing.pop_front();
  }

  // Closes connections that sent no complete request in time, and those whose reply the peer
  // did not take in time.
  void expireDeadlines() {
    const SteadyTime now = std::chrono::steady_clock::now();
    if (acceptRetryAt && *acceptRetryAt <= now) {
      resumeListener();
    }
    std::vector<std::shared_ptr<Connection>> silent;
    std::vector<std::shared_ptr<Connection>> stalled;
    {
      std::lock_guard guard(lock);
      for (const auto& [id, connection] : connections) {
        if (!connection->deliveredAFrame && connection->firstFrameDeadline <= now) {
          silent.push_back(connection);
        } else if (!connection->writing.empty() && connection->writeDeadline <= now) {
          stalled.push_back(connection);
        }
      }
    }
    if (!silent.empty()) {
      logWarning(QStringLiteral("closed %1 hook connection(s) that sent no complete request within %2 ms")
                     .arg(silent.size())
                     .arg(firstFrameTimeout.count()));
    }
    for (const auto& connection : stalled) {
      failWrite(*connection,
                QStringLiteral("the agent did not take the reply within %1 ms (%2 of %3 bytes written)")
                    .arg(QString::number(SocketServer::kReplyWriteDeadlineMs),
                         QString::number(connection->written), QString::number(connection->frame.size())));
    }
    for (const auto* list : {&silent, &stalled}) {
      for (const auto& connection : *list) {
        tearDown(connection);
      }
    }
  }

  // Ends a connection: unwritten replies fail, close watchers are told, the descriptor is closed.
  // A descriptor is free again, so a paused listener is watched again.
  void tearDown(const std::shared_ptr<Connection>& connection) {
    std::deque<OutgoingReply> unsent;
    std::vector<std::function<void()>> watchers;
    {
      std::lock_guard guard(lock);
      if (connection->closed) {
        return;
      }
      connections.erase(connection->id);
      connection->closed = true;
      unsent.swap(connection->outbox);
      watchers.swap(connection->closeWatchers);
    }
    if (connection->fd >= 0) {
      ::epoll_ctl(epollFD, EPOLL_CTL_DEL, connection->fd, nullptr);
      closeFD(connection->fd);
      connection->fd = -1;
    }
    for (auto* queue : {&connection->writing, &unsent}) {
      for (OutgoingReply& reply : *queue) {
        complete(std::move(reply.completion), closedBeforeTheReply());
      }
      queue->clear();
    }
    for (auto& watcher : watchers) {
      postToMain(std::move(watcher));
    }
    if (!listening && running) {
      resumeListener();
    }
  }

  // ---- the reply handle's three functions ----

  static SocketReplyHandle makeHandle(const std::weak_ptr<Core>& weak, std::uint64_t connectionID) {
    auto send = [weak, connectionID](const HookReply& reply, SocketSendCompletion completion) {
      if (auto core = weak.lock()) {
        std::lock_guard guard(core->lock);
        const auto it = core->connections.find(connectionID);
        if (it != core->connections.end() && !it->second->closed && !it->second->closeRequested) {
          it->second->outbox.push_back(OutgoingReply{reply, std::move(completion)});
          core->markDirty(*it->second);
          return;
        }
      }
      complete(std::move(completion), closedBeforeTheReply());
    };
    auto close = [weak, connectionID] {
      if (auto core = weak.lock()) {
        std::lock_guard guard(core->lock);
        const auto it = core->connections.find(connectionID);
        if (it != core->connections.end() && !it->second->closed) {
          it->second->closeRequested = true;
          core->markDirty(*it->second);
        }
      }
    };
    auto watchClosed = [weak, connectionID](std::function<void()> callback) {
      if (auto core = weak.lock()) {
        std::lock_guard guard(core->lock);
        const auto it = core->connections.find(connectionID);
        if (it != core->connections.end() && !it->second->closed) {
          it->second->closeWatchers.push_back(std::move(callback));
          return;
        }
      }
      postToMain(std::move(callback));
    };
    return SocketReplyHandle(std::move(send), std::move(close), std::move(watchClosed));
  }

  // ---- start and stop ----

  std::optional<POSIXError> start() {
    if (listenFD >= 0) {
      return POSIXError{EALREADY, QStringLiteral("listen")};  // started before
    }
    const QByteArray path = socketPath.toUtf8();

    // A socket left by an earlier run would make bind fail. Anything that is not a socket is
    // someone else's file: leave it, and let bind report the clash.
    struct stat existing {};
    if (::lstat(path.constData(), &existing) == 0 && S_ISSOCK(existing.st_mode)) {
      ::unlink(path.constData());
    }

    const QString folder = QFileInfo(socketPath).absolutePath();
    if (auto error = makePrivateFolder(folder)) {
      return error;
    }

    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
      return POSIXError{errno, QStringLiteral("socket")};
    }
    std::signal(SIGPIPE, SIG_IGN);

    if (auto error = bindToPath(fd)) {
      closeFD(fd);
      return error;
    }
    if (auto error = listenOn(fd)) {
      return failStart(fd, *error);
    }

    wakeFD = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFD < 0) {
      return failStart(fd, POSIXError{errno, QStringLiteral("eventfd")});
    }
    epollFD = ::epoll_create1(EPOLL_CLOEXEC);
    if (epollFD < 0) {
      return failStart(fd, POSIXError{errno, QStringLiteral("epoll_create1")});
    }
    epoll_event listenEvent{};
    listenEvent.events = EPOLLIN;
    listenEvent.data.u64 = kListenTag;
    epoll_event wakeEvent{};
    wakeEvent.events = EPOLLIN;
    wakeEvent.data.u64 = kWakeTag;
    if (::epoll_ctl(epollFD, EPOLL_CTL_ADD, fd, &listenEvent) != 0 ||
        ::epoll_ctl(epollFD, EPOLL_CTL_ADD, wakeFD, &wakeEvent) != 0) {
      return failStart(fd, POSIXError{errno, QStringLiteral("epoll_ctl")});
    }
    listenFD = fd;
    takeReserve();
    try {
      ioThread = std::thread([this] { ioLoop(); });
    } catch (const std::system_error& error) {
      listenFD = -1;
      return failStart(fd, POSIXError{error.code().value(), QStringLiteral("pthread_create")});
    }
    running = true;
    return std::nullopt;
  }

  // Binds `fd` to the socket path, with permissions 0600 from the first moment, and records the
  // identity of the file it made.
  std::optional<POSIXError> bindToPath(int fd) {
    const QByteArray path = socketPath.toUtf8();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() > kMaxSocketPathBytes || path.contains('\0')) {
      return POSIXError{ENAMETOOLONG, QStringLiteral("sun_path overflow")};
    }
    std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));

    int bindResult = 0;
    int bindErrno = 0;
    {
      // Created 0600 from the first moment: no window in which another user could connect.
      std::lock_guard guard(umaskMutex());
      const mode_t previous = ::umask(0177);
      bindResult = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
      bindErrno = errno;
      ::umask(previous);
    }
    if (bindResult != 0) {
      return POSIXError{bindErrno, QStringLiteral("bind ") + socketPath};
    }
    ::chmod(path.constData(), 0600);
    struct stat boundInfo {};
    if (::lstat(path.constData(), &boundInfo) == 0) {
      bound = true;
      boundDevice = boundInfo.st_dev;
      boundInode = boundInfo.st_ino;
    }
    return std::nullopt;
  }

  static std::optional<POSIXError> listenOn(int fd) {
    // A burst of hooks must not find the queue full: a non-blocking connect (the hooks connect
    // with a 50 ms time-out) is refused at once when it is.
    if (::listen(fd, SOMAXCONN) != 0) {
      return POSIXError{errno, QStringLiteral("listen")};
    }
    const int flags = ::fcntl(fd, F_GETFL);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    return std::nullopt;
  }

  POSIXError failStart(int fd, POSIXError error) {
    closeFD(fd);
    for (int* own : {&wakeFD, &epollFD, &reserveFD}) {
      closeFD(*own);
      *own = -1;
    }
    removeOwnSocketFile();
    return error;
  }

  void removeOwnSocketFile() {
    if (!bound) {
      return;
    }
    const QByteArray path = socketPath.toUtf8();
    struct stat info {};
    if (::lstat(path.constData(), &info) == 0 && info.st_dev == boundDevice &&
        info.st_ino == boundInode) {
      ::unlink(path.constData());
    }
    bound = false;
  }

  void stop() {
    {
      std::lock_guard guard(lock);
      stopping = true;
    }
    if (ioThread.joinable()) {
      wake(wakeFD);
      ioThread.join();
    }
    // The reserve is a copy of the listener: both go, so that nobody can connect any more.
    closeFD(reserveFD);
    reserveFD = -1;
    closeFD(listenFD);
    listenFD = -1;
    removeOwnSocketFile();
    running = false;

    // The I/O thread is gone: its state is this thread's now.
    std::vector<std::shared_ptr<Connection>> open;
    {
      std::lock_guard guard(lock);
      for (const auto& entry : connections) {
        open.push_back(entry.second);
      }
    }
    for (const auto& connection : open) {
      tearDown(connection);
    }
    for (int* own : {&wakeFD, &epollFD, &reserveFD}) {
      closeFD(*own);
      *own = -1;
    }
  }
};

SocketServer::SocketServer(QString socketPath, Handler handler,
                           std::chrono::milliseconds firstFrameTimeout)
    : core_(std::make_shared<Core>()) {
  core_->socketPath = std::move(socketPath);
  core_->handler = std::move(handler);
  core_->firstFrameTimeout = firstFrameTimeout;
}

SocketServer::~SocketServer() { core_->stop(); }

const QString& SocketServer::socketPath() const { return core_->socketPath; }

bool SocketServer::isRunning() const { return core_->running; }

std::optional<POSIXError> SocketServer::start() { return core_->start(); }

int SocketServer::connectionCount() const {
  std::lock_guard guard(core_->lock);
  return static_cast<int>(core_->connections.size());
}

SocketServer::Handler makeSocketTestModeHandler(
    const QString& mode, std::function<QString(const HookRequest& request)> autoApprovePayload) {
  const auto allow = [](const HookRequest& request, QString payload) {
    HookReply reply;
    reply.requestID = request.requestID;
    reply.decision = QStringLiteral("allow");
    reply.mode = QStringLiteral("once");
    reply.rawAgentPayload = std::move(payload);
    return reply;
  };
  if (mode == QLatin1String("echo")) {
    return [allow](const HookRequest& request, const SocketReplyHandle& handle) {
      handle.send(allow(request, QString::fromLatin1(kEchoAgentPayload)));
    };
  }
  if (mode == QLatin1String("auto_approve")) {
    return [allow, autoApprovePayload = std::move(autoApprovePayload)](
               const HookRequest& request, const SocketReplyHandle& handle) {
      handle.send(allow(request, autoApprovePayload ? autoApprovePayload(request)
                                                    : QStringLiteral("{}")));
    };
  }
  return [](const HookRequest&, const SocketReplyHandle&) {};
}

}  // namespace tandrel
