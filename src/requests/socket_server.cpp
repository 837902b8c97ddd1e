#include "requests/socket_server.h"

#include "base/log.h"
#include "base/thread_name.h"
#include "platform/dispatch.h"
#include "platform/private_folder.h"
#include "requests/socket_frame_codec.h"

#include <QByteArray>
#include <QFileInfo>

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
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace tandrel {
namespace {

// Bytes taken from a connection per read.
constexpr size_t kReadChunkBytes = 64 * 1024;

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

// A reply waiting to be written by its connection's thread.
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

// Writes the whole frame on a non-blocking socket, waiting for room at most until the deadline.
Result<void> writeWhole(int fd, const QByteArray& frame) {
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::milliseconds(SocketServer::kReplyWriteDeadlineMs);
  qsizetype written = 0;
  while (written < frame.size()) {
    const ssize_t sent = ::send(fd, frame.constData() + written,
                                static_cast<size_t>(frame.size() - written), MSG_NOSIGNAL);
    if (sent >= 0) {
      written += sent;
      continue;
    }
    if (errno == EINTR) {
      continue;
    }
    if (errno != EAGAIN && errno != EWOULDBLOCK) {
      return Result<void>::failure(POSIXError{errno, QStringLiteral("send")}.description());
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      return Result<void>::failure(
          QStringLiteral("the agent did not take the reply within %1 ms (%2 of %3 bytes written)")
              .arg(QString::number(SocketServer::kReplyWriteDeadlineMs), QString::number(written),
                   QString::number(frame.size())));
    }
    pollfd writable{fd, POLLOUT, 0};
    if (::poll(&writable, 1, static_cast<int>(left.count())) < 0 && errno != EINTR) {
      return Result<void>::failure(POSIXError{errno, QStringLiteral("poll")}.description());
    }
  }
  return Result<void>::success();
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

// One accepted hook connection. Its thread owns the descriptor, the receive buffer and all
// reading and writing; other threads only queue replies, ask it to close, or add close watchers,
// under `mutex`, and then wake the thread.
struct Connection {
  std::uint64_t id = 0;
  int fd = -1;
  int wakeFD = -1;
  std::thread thread;

  std::mutex mutex;
  std::deque<OutgoingReply> outbox;
  bool closeRequested = false;
  bool closed = false;
  std::vector<std::function<void()>> closeWatchers;
};

}  // namespace

struct SocketServer::Core : std::enable_shared_from_this<Core> {
  QString socketPath;
  Handler handler;  // read on the main thread only

  std::atomic<bool> running{false};
  int listenFD = -1;
  int acceptWakeFD = -1;
  std::thread acceptThread;
  // Identity of the socket file this server bound, so that it never removes a newer one.
  bool bound = false;
  dev_t boundDevice = 0;
  ino_t boundInode = 0;

  mutable std::mutex connectionsLock;  // guards everything below
  std::map<std::uint64_t, std::shared_ptr<Connection>> connections;
  std::vector<std::shared_ptr<Connection>> finished;  // ended; thread still to be joined
  std::uint64_t nextConnectionID = 1;
  bool stopping = false;

  std::shared_ptr<Connection> find(std::uint64_t id) const {
    std::lock_guard lock(connectionsLock);
    const auto it = connections.find(id);
    return it == connections.end() ? nullptr : it->second;
  }

  // ---- accepting (thread "app.tandrel.socket.accept") ----

  void acceptLoop() {
    nameCurrentThread(QStringLiteral("app.tandrel.socket.accept"));
    pollfd fds[2] = {{listenFD, POLLIN, 0}, {acceptWakeFD, POLLIN, 0}};
    int backoffMs = -1;
    for (;;) {
      const int ready = ::poll(fds, 2, backoffMs);
      if (ready < 0 && errno != EINTR) {
        logWarning(POSIXError{errno, QStringLiteral("poll")}.description());
        return;
      }
      backoffMs = -1;
      if (fds[1].revents & POLLIN) {
        drainWake(acceptWakeFD);
      }
      reapFinished();
      {
        std::lock_guard lock(connectionsLock);
        if (stopping) {
          return;
        }
      }
      for (;;) {
        const int client = ::accept4(listenFD, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (client >= 0) {
          startConnection(client);
          continue;
        }
        if (errno == EINTR || errno == ECONNABORTED) {
          continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
          // Out of descriptors or memory: the pending connection stays queued; try again shortly
          // instead of spinning on a listening socket that stays readable.
          logWarning(POSIXError{errno, QStringLiteral("accept")}.description());
          backoffMs = 100;
        }
        break;
      }
    }
  }

  void reapFinished() {
    std::vector<std::shared_ptr<Connection>> done;
    {
      std::lock_guard lock(connectionsLock);
      done.swap(finished);
    }
    for (const auto& connection : done) {
      if (connection->thread.joinable()) {
        connection->thread.join();
      }
    }
  }

  void startConnection(int client) {
    auto connection = std::make_shared<Connection>();
    connection->fd = client;
    connection->wakeFD = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (connection->wakeFD < 0) {
      logWarning(POSIXError{errno, QStringLiteral("eventfd")}.description());
      closeFD(client);
      return;
    }
    {
      std::lock_guard lock(connectionsLock);
      connection->id = nextConnectionID++;
      connections.emplace(connection->id, connection);
    }
    try {
      connection->thread = std::thread([this, connection] { serve(connection); });
    } catch (const std::system_error& error) {
      logWarning(QStringLiteral("socket connection dropped: no thread (%1)")
                     .arg(QString::fromLocal8Bit(error.what())));
      {
        std::lock_guard lock(connectionsLock);
        connections.erase(connection->id);
      }
      closeFD(connection->wakeFD);
      closeFD(client);
    }
  }

  // ---- one connection (thread "app.tandrel.socket.conn.<fd>") ----

  void serve(const std::shared_ptr<Connection>& connection) {
    nameCurrentThread(QStringLiteral("app.tandrel.socket.conn.") + QString::number(connection->fd));
    QByteArray buffer;
    std::vector<char> chunk(kReadChunkBytes);
    pollfd fds[2] = {{connection->fd, POLLIN, 0}, {connection->wakeFD, POLLIN, 0}};
    for (;;) {
      if (::poll(fds, 2, -1) < 0) {
        if (errno == EINTR) {
          continue;
        }
        logWarning(POSIXError{errno, QStringLiteral("poll")}.description());
        break;
      }
      if (fds[1].revents & POLLIN) {
        drainWake(connection->wakeFD);
      }
      // Replies first, then a requested close, then new bytes.
      if (!writeQueuedReplies(*connection)) {
        break;
      }
      if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
        const ssize_t count = ::read(connection->fd, chunk.data(), chunk.size());
        if (count > 0) {
          buffer.append(chunk.data(), count);
          if (!drainBuffer(buffer, connection->id)) {
            break;
          }
        } else if (count == 0) {
          break;  // the agent closed its end
        } else if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
          break;
        }
      }
    }
    tearDown(connection);
  }

  // Writes every queued reply; false when the connection must end (a close was asked for, the
  // server stops, or a write failed and left the stream unusable).
  bool writeQueuedReplies(Connection& connection) {
    for (;;) {
      OutgoingReply next;
      {
        std::lock_guard lock(connection.mutex);
        if (connection.outbox.empty()) {
          return !connection.closeRequested;
        }
        next = std::move(connection.outbox.front());
        connection.outbox.pop_front();
      }
      const QByteArray frame = SocketFrameCodec::encode(next.reply);
      Result<void> outcome = writeWhole(connection.fd, frame);
      if (!outcome) {
        logWarning(QStringLiteral("reply to request %1 not delivered: %2")
                       .arg(next.reply.requestID, outcome.error()));
        complete(std::move(next.completion), std::move(outcome));
        return false;
      }
      complete(std::move(next.completion), Result<void>::success());
    }
  }

  // Hands every complete request in the buffer to the main thread; false when the connection must
  // end because a frame is too long or not a request (no reply is sent then).
  bool drainBuffer(QByteArray& buffer, std::uint64_t connectionID) {
    for (;;) {
      auto request = SocketFrameCodec::decodeRequest(buffer);
      if (request) {
        deliver(std::move(request).value(), connectionID);
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

  void tearDown(const std::shared_ptr<Connection>& connection) {
    {
      std::lock_guard lock(connectionsLock);
      connections.erase(connection->id);
      finished.push_back(connection);
    }
    std::deque<OutgoingReply> unsent;
    std::vector<std::function<void()>> watchers;
    {
      std::lock_guard lock(connection->mutex);
      connection->closed = true;
      unsent.swap(connection->outbox);
      watchers.swap(connection->closeWatchers);
    }
    closeFD(connection->fd);
    closeFD(connection->wakeFD);
    for (OutgoingReply& reply : unsent) {
      complete(std::move(reply.completion),
               Result<void>::failure(QStringLiteral("the connection closed before the reply")));
    }
    for (auto& watcher : watchers) {
      postToMain(std::move(watcher));
    }
    if (acceptWakeFD >= 0) {
      wake(acceptWakeFD);  // let the accept thread join this thread
    }
  }

  // ---- the reply handle's three functions ----

  static SocketReplyHandle makeHandle(const std::weak_ptr<Core>& weak, std::uint64_t connectionID) {
    auto send = [weak, connectionID](const HookReply& reply, SocketSendCompletion completion) {
      auto core = weak.lock();
      auto connection = core ? core->find(connectionID) : nullptr;
      if (connection) {
        std::lock_guard lock(connection->mutex);
        if (!connection->closed && !connection->closeRequested) {
          connection->outbox.push_back(OutgoingReply{reply, std::move(completion)});
          wake(connection->wakeFD);
          return;
        }
      }
      complete(std::move(completion),
               Result<void>::failure(QStringLiteral("the connection closed before the reply")));
    };
    auto close = [weak, connectionID] {
      auto core = weak.lock();
      if (auto connection = core ? core->find(connectionID) : nullptr) {
        std::lock_guard lock(connection->mutex);
        if (!connection->closed) {
          connection->closeRequested = true;
          wake(connection->wakeFD);
        }
      }
    };
    auto watchClosed = [weak, connectionID](std::function<void()> callback) {
      auto core = weak.lock();
      if (auto connection = core ? core->find(connectionID) : nullptr) {
        std::lock_guard lock(connection->mutex);
        if (!connection->closed) {
          connection->closeWatchers.push_back(std::move(callback));
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

    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() > kMaxSocketPathBytes || path.contains('\0')) {
      closeFD(fd);
      return POSIXError{ENAMETOOLONG, QStringLiteral("sun_path overflow")};
    }
    std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));

    int bindResult = 0;
    int bindErrno = 0;
    {
      // Created 0600 from the first moment: no window in which another user could connect.
      std::lock_guard lock(umaskMutex());
      const mode_t previous = ::umask(0177);
      bindResult = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
      bindErrno = errno;
      ::umask(previous);
    }
    if (bindResult != 0) {
      closeFD(fd);
      return POSIXError{bindErrno, QStringLiteral("bind ") + socketPath};
    }
    ::chmod(path.constData(), 0600);
    struct stat boundInfo {};
    if (::lstat(path.constData(), &boundInfo) == 0) {
      bound = true;
      boundDevice = boundInfo.st_dev;
      boundInode = boundInfo.st_ino;
    }

    // A burst of hooks must not find the queue full: a non-blocking connect (the hooks connect
    // with a 50 ms time-out) is refused at once when it is.
    if (::listen(fd, SOMAXCONN) != 0) {
      const int listenErrno = errno;
      closeFD(fd);
      removeOwnSocketFile();
      return POSIXError{listenErrno, QStringLiteral("listen")};
    }
    const int flags = ::fcntl(fd, F_GETFL);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);

    acceptWakeFD = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (acceptWakeFD < 0) {
      const int wakeErrno = errno;
      closeFD(fd);
      removeOwnSocketFile();
      return POSIXError{wakeErrno, QStringLiteral("eventfd")};
    }
    listenFD = fd;
    try {
      acceptThread = std::thread([this] { acceptLoop(); });
    } catch (const std::system_error& error) {
      closeFD(listenFD);
      closeFD(acceptWakeFD);
      listenFD = -1;
      acceptWakeFD = -1;
      removeOwnSocketFile();
      return POSIXError{error.code().value(), QStringLiteral("pthread_create")};
    }
    running = true;
    return std::nullopt;
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
      std::lock_guard lock(connectionsLock);
      stopping = true;
    }
    if (acceptThread.joinable()) {
      wake(acceptWakeFD);
      acceptThread.join();
    }
    closeFD(listenFD);
    listenFD = -1;
    removeOwnSocketFile();
    running = false;

    std::vector<std::shared_ptr<Connection>> open;
    {
      std::lock_guard lock(connectionsLock);
      for (const auto& entry : connections) {
        open.push_back(entry.second);
      }
    }
    for (const auto& connection : open) {
      std::lock_guard lock(connection->mutex);
      if (!connection->closed) {
        connection->closeRequested = true;
        wake(connection->wakeFD);
      }
    }
    for (const auto& connection : open) {
      if (connection->thread.joinable()) {
        connection->thread.join();
      }
    }
    reapFinished();
    closeFD(acceptWakeFD);
    acceptWakeFD = -1;
  }
};

SocketServer::SocketServer(QString socketPath, Handler handler) : core_(std::make_shared<Core>()) {
  core_->socketPath = std::move(socketPath);
  core_->handler = std::move(handler);
}

SocketServer::~SocketServer() { core_->stop(); }

const QString& SocketServer::socketPath() const { return core_->socketPath; }

bool SocketServer::isRunning() const { return core_->running; }

std::optional<POSIXError> SocketServer::start() { return core_->start(); }

int SocketServer::connectionCount() const {
  std::lock_guard lock(core_->connectionsLock);
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
