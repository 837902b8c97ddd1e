#pragma once

// The Unix-domain socket on which blocking hooks wait for the user.
//
// `SocketServer` serves every hook connection on one I/O thread ("app.tandrel.socket.io") that
// waits on epoll: it accepts, reads and cuts the bytes into `HookRequest` frames, and writes the
// replies without blocking, so that a thousand waiting hooks cost a thousand descriptors and no
// threads. Every decoded request reaches the owner's handler on the main thread, in the order of
// its connection, together with a `SocketReplyHandle` bound to the request's connection. Through
// that handle the owner sends its reply (the whole frame is written by the I/O thread; the
// outcome comes back to the main thread as a value), closes the connection, or asks to be told
// when the connection ends before it replied (the agent hung up).
//
// A connection that has not sent a complete request within `kFirstFrameTimeout` of connecting is
// closed. Hook connections leave the last 64 descriptors below the process's limit (a quarter of a
// smaller limit) to the rest of the app: a connection that would take one of them is closed at
// once. Out of descriptors, the server does not spin on its listener: each waiting connection
// is accepted on a reserve descriptor and closed at once (its hook prints "{}" and the agent falls
// back to its own prompt), logged once per episode, until descriptors are free again. When another
// thread takes the reserve's slot, the listener itself is closed, so that waiting and new hooks
// are refused at once, and a new one is bound at the same path once descriptors are free.

#include "base/posix_error.h"
#include "base/result.h"
#include "requests/hook_request.h"

#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace tandrel {

// The outcome of one reply, delivered on the main thread: success once the whole frame has been
// written, or a failure text (connection already closed, write error, peer not reading in time).
using SocketSendCompletion = std::function<void(const Result<void>& outcome)>;

// The owner's way back to the connection a request came from. Cheap to copy; all copies talk to
// the same connection (never to a later connection that happens to reuse its descriptor). Once
// the connection has closed, or the server is gone, `send` writes nothing and reports a failure,
// `close` does nothing, and `onClosed` callbacks are posted at once. Completions and `onClosed`
// callbacks always run exactly once, on the main thread; guard their captures accordingly.
//
// A handle is made of three functions, so that tests of its owners can build one without a
// socket. A default-constructed handle has no connection at all.
class SocketReplyHandle {
 public:
  using SendFunction = std::function<void(const HookReply& reply, SocketSendCompletion completion)>;
  using CloseFunction = std::function<void()>;
  using WatchClosedFunction = std::function<void(std::function<void()> callback)>;

  SocketReplyHandle() = default;
  SocketReplyHandle(SendFunction send, CloseFunction close, WatchClosedFunction watchClosed);

  // Queues one reply frame for the connection. It is written whole (waiting briefly for the peer
  // to make room) by the I/O thread, never on the main thread; a failure is logged and
  // ends the connection (its stream is no longer usable). The completion, when given, runs on the
  // main thread with the outcome. Every call writes a frame.
  void send(const HookReply& reply, SocketSendCompletion completion = {}) const;

  // Closes the connection (the hook then sees end of stream and prints "{}").
  void close() const;

  // Runs `callback` once on the main thread when the connection ends, whatever the reason: the
  // peer hung up, a read or framing error, a failed reply write, `close`, or the server going
  // away. When the connection has already ended, the callback is posted at once. This is how a
  // waiting request learns that its agent gave up.
  void onClosed(std::function<void()> callback) const;

 private:
  SendFunction send_;
  CloseFunction close_;
  WatchClosedFunction watchClosed_;
};

class SocketServer {
 public:
  // Called on the main thread once per decoded request.
  using Handler = std::function<void(const HookRequest& request, const SocketReplyHandle& reply)>;

  // Longest socket path accepted, in bytes (the portable size of `sun_path` less its NUL).
  static constexpr int kMaxSocketPathBytes = 103;
  // How long a reply write may wait for the peer to make room before it fails.
  static constexpr int kReplyWriteDeadlineMs = 2000;
  // How long a new connection may take to send its first complete request.
  static constexpr std::chrono::milliseconds kFirstFrameTimeout{10'000};

  SocketServer(QString socketPath, Handler handler,
               std::chrono::milliseconds firstFrameTimeout = kFirstFrameTimeout);
  // Stops accepting, closes every connection, joins the I/O thread and removes the socket file when
  // it is still the one this server bound (not one a newer server put at the same path). Requests
  // not yet handed to the handler are dropped; unwritten replies complete with a failure and
  // `onClosed` callbacks run, as for any other closed connection.
  ~SocketServer();
  SocketServer(const SocketServer&) = delete;
  SocketServer& operator=(const SocketServer&) = delete;

  const QString& socketPath() const;
  bool isRunning() const;

  // Removes a stale socket file (only a socket: any other file at the path is left alone and the
  // bind fails), creates the parent folder (new folders 0700), binds the socket with permissions
  // 0600, listens and starts accepting. Returns the failure, if any:
  // "socket", "sun_path overflow" (ENAMETOOLONG, paths over 103 bytes), "bind <path>", "listen",
  // "mkdir <folder>". Call at most once (a second call fails with EALREADY and changes nothing).
  [[nodiscard]] std::optional<POSIXError> start();

  // Connections currently open (for diagnostics and tests).
  int connectionCount() const;

 private:
  struct Core;
  std::shared_ptr<Core> core_;
};

// The handler of the "--test-socket-server" switch for a `TANDREL_SOCKET_TEST_MODE` value:
// "echo" answers every request with "allow"/"once" and a fixed Claude PreToolUse allow payload;
// "auto_approve" answers "allow"/"once" with the payload `autoApprovePayload(request)` builds
// (the agent's own allow payload); any other mode never replies.
SocketServer::Handler makeSocketTestModeHandler(
    const QString& mode, std::function<QString(const HookRequest& request)> autoApprovePayload);

}  // namespace tandrel
