#include "requests/socket_server.h"

#include "requests/socket_frame_codec.h"
#include "support/descriptors_exhausted.h"
#include "support/log_capture.h"
#include "support/temp_home.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <atomic>
#include <csignal>
#include <cstring>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace tandrel {
namespace {

// A blocking hook-like client for the tests.
class TestClient {
 public:
  // Connects at once, unless `path` is empty.
  explicit TestClient(const QString& path) {
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (!path.isEmpty()) {
      connectTo(path);
    }
  }
  bool connectTo(const QString& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray bytes = path.toUtf8();
    std::memcpy(address.sun_path, bytes.constData(), static_cast<size_t>(bytes.size()));
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    return connected_;
  }
  ~TestClient() { close(); }
  TestClient(const TestClient&) = delete;
  TestClient& operator=(const TestClient&) = delete;

  bool connected() const { return connected_; }
  void close() {
    if (fd_ >= 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  bool write(const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::send(fd_, bytes.constData() + done,
                               static_cast<size_t>(bytes.size() - done), MSG_NOSIGNAL);
      if (n <= 0) {
        return false;
      }
      done += n;
    }
    return true;
  }
  // The next line without its line feed; nullopt on end of stream or time-out. Spins the main
  // event loop while waiting, so that handlers and completions run.
  std::optional<QByteArray> readLine(int timeoutMs = 5000) {
    while (!buffer_.contains('\n')) {
      if (eof_ || !fill(timeoutMs)) {
        return std::nullopt;
      }
    }
    const qsizetype newline = buffer_.indexOf('\n');
    QByteArray line = buffer_.left(newline);
    buffer_.remove(0, newline + 1);
    return line;
  }
  // The same without the event loop, for client threads.
  std::optional<QByteArray> readLineBlocking() {
    char chunk[4096];
    while (!buffer_.contains('\n')) {
      const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
      if (n <= 0) {
        return std::nullopt;
      }
      buffer_.append(chunk, n);
    }
    return buffer_.left(buffer_.indexOf('\n'));
  }
  // Whether the server closed the connection (end of stream) within the time.
  bool seesEndOfStream(int timeoutMs = 5000) {
    while (!eof_) {
      if (!fill(timeoutMs)) {
        return false;
      }
    }
    return true;
  }
  const QByteArray& pending() const { return buffer_; }

 private:
  bool fill(int timeoutMs) {
    bool progressed = false;
    test::waitUntil(
        [&] {
          pollfd readable{fd_, POLLIN, 0};
          if (::poll(&readable, 1, 0) <= 0) {
            return false;
          }
          char chunk[65536];
          const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
          if (n <= 0) {
            eof_ = true;
          } else {
            buffer_.append(chunk, n);
          }
          progressed = true;
          return true;
        },
        timeoutMs);
    return progressed;
  }

  int fd_ = -1;
  bool connected_ = false;
  bool eof_ = false;
  QByteArray buffer_;
};

QByteArray requestFrame(const QString& id) {
  HookRequest request;
  request.requestID = id;
  request.agent = QStringLiteral("claude_code");
  request.sessionID = QStringLiteral("s");
  request.agentPID = 1;
  request.kind = QStringLiteral("permission_request");
  request.timeoutSeconds = 120;
  request.payload.command = QStringLiteral("ls");
  return SocketFrameCodec::encode(request);
}

HookReply replyTo(const HookRequest& request, QString payload = QStringLiteral("{}")) {
  HookReply reply;
  reply.requestID = request.requestID;
  reply.decision = QStringLiteral("allow");
  reply.mode = QStringLiteral("once");
  reply.rawAgentPayload = std::move(payload);
  return reply;
}

struct Received {
  HookRequest request;
  SocketReplyHandle handle;
  bool onMainThread = false;
};

// A server in a temporary home that records what reaches its handler.
class SocketServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = home_.file(QStringLiteral(".tandrel/tandrel.sock"));
    server_ = makeServer(path_);
    auto error = server_->start();
    ASSERT_FALSE(error) << error->description().toStdString();
  }

  std::unique_ptr<SocketServer> makeServer(const QString& path) {
    return std::make_unique<SocketServer>(
        path, [this](const HookRequest& request, const SocketReplyHandle& handle) {
          const bool onMain = QThread::currentThread() == QCoreApplication::instance()->thread();
          received_.push_back({request, handle, onMain});
          if (autoReply_) {
            handle.send(replyTo(request));
          }
        });
  }

  bool waitForRequests(size_t count) {
    return test::waitUntil([&] { return received_.size() >= count; });
  }

  test::TempHome home_;
  QString path_;
  bool autoReply_ = false;
  std::vector<Received> received_;
  std::unique_ptr<SocketServer> server_;
};

TEST_F(SocketServerTest, SocketIsPrivateAndRequestsReachTheMainThread) {
  struct stat info {};
  ASSERT_EQ(::stat(path_.toUtf8().constData(), &info), 0);
  EXPECT_TRUE(S_ISSOCK(info.st_mode));
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  ASSERT_EQ(::stat(home_.file(QStringLiteral(".tandrel")).toUtf8().constData(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_TRUE(server_->isRunning());

  TestClient client(path_);
  ASSERT_TRUE(client.connected());
  ASSERT_TRUE(client.write(requestFrame(QStringLiteral("r-1"))));
  ASSERT_TRUE(waitForRequests(1));
  EXPECT_TRUE(received_[0].onMainThread);
  EXPECT_EQ(received_[0].request.requestID, QStringLiteral("r-1"));

  std::optional<Result<void>> outcome;
  received_[0].handle.send(replyTo(received_[0].request, QStringLiteral(R"({"ok":true})")),
                           [&](const Result<void>& result) { outcome = result; });
  const auto line = client.readLine();
  ASSERT_TRUE(line);
  EXPECT_EQ(*line + '\n', SocketFrameCodec::encode(replyTo(received_[0].request,
                                                           QStringLiteral(R"({"ok":true})"))));
  ASSERT_TRUE(test::waitUntil([&] { return outcome.has_value(); }));
  EXPECT_TRUE(outcome->ok());
}

TEST_F(SocketServerTest, TwoRequestsInOneWriteArriveInOrderOnOneConnection) {
  autoReply_ = true;
  TestClient client(path_);
  ASSERT_TRUE(client.write(requestFrame(QStringLiteral("first")) +
                           requestFrame(QStringLiteral("second"))));
  ASSERT_TRUE(waitForRequests(2));
  EXPECT_EQ(received_[0].request.requestID, QStringLiteral("first"));
  EXPECT_EQ(received_[1].request.requestID, QStringLiteral("second"));
  const auto one = client.readLine();
  const auto two = client.readLine();
  ASSERT_TRUE(one && two);
  EXPECT_TRUE(one->contains(R"("request_id":"first")"));
  EXPECT_TRUE(two->contains(R"("request_id":"second")"));
  EXPECT_EQ(server_->connectionCount(), 1);
}

TEST_F(SocketServerTest, BadFramesCloseTheConnectionWithoutCallingTheHandler) {
  const struct {
    const char* name;
    QByteArray bytes;
  } cases[] = {
      {"line over the limit", QByteArray(SocketFrameCodec::kMaxLineBytes + 1, 'x') + '\n'},
      {"unterminated bytes over the limit",
       QByteArray(SocketFrameCodec::kMaxLineBytes + 70000, 'x')},
      {"not a request", QByteArray("{\"v\":1}\n")},
      {"empty line", QByteArray("\n")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TestClient client(path_);
    ASSERT_TRUE(client.connected());
    client.write(c.bytes);
    EXPECT_TRUE(client.seesEndOfStream());
    EXPECT_TRUE(client.pending().isEmpty());
  }
  QCoreApplication::processEvents();
  EXPECT_TRUE(received_.empty());
}

TEST_F(SocketServerTest, HangUpBeforeTheReplyIsReportedAndTheLateReplyWritesNothing) {
  TestClient client(path_);
  client.write(requestFrame(QStringLiteral("r-1")));
  ASSERT_TRUE(waitForRequests(1));
  int closedCalls = 0;
  received_[0].handle.onClosed([&] { ++closedCalls; });
  client.close();
  ASSERT_TRUE(test::waitUntil([&] { return closedCalls == 1; }));
  EXPECT_EQ(server_->connectionCount(), 0);

  // A write to a closed peer must not raise SIGPIPE: take the process-wide ignore away.
  auto* previous = std::signal(SIGPIPE, SIG_DFL);
  std::optional<Result<void>> outcome;
  received_[0].handle.send(replyTo(received_[0].request),
                           [&](const Result<void>& result) { outcome = result; });
  ASSERT_TRUE(test::waitUntil([&] { return outcome.has_value(); }));
  std::signal(SIGPIPE, previous);
  EXPECT_FALSE(outcome->ok());

  // Watching a connection that already ended still tells the watcher.
  received_[0].handle.onClosed([&] { ++closedCalls; });
  ASSERT_TRUE(test::waitUntil([&] { return closedCalls == 2; }));
}

TEST_F(SocketServerTest, ReplyToAGoneConnectionNeverReachesItsSuccessor) {
  {
    TestClient first(path_);
    first.write(requestFrame(QStringLiteral("old")));
    ASSERT_TRUE(waitForRequests(1));
  }
  bool closed = false;
  received_[0].handle.onClosed([&] { closed = true; });
  ASSERT_TRUE(test::waitUntil([&] { return closed; }));

  // The new connection usually gets the same descriptor number.
  TestClient second(path_);
  second.write(requestFrame(QStringLiteral("new")));
  ASSERT_TRUE(waitForRequests(2));
  received_[0].handle.send(replyTo(received_[0].request));
  received_[1].handle.send(replyTo(received_[1].request));
  const auto line = second.readLine();
  ASSERT_TRUE(line);
  EXPECT_TRUE(line->contains(R"("request_id":"new")"));
}

TEST_F(SocketServerTest, LargeReplyIsWrittenWhole) {
  TestClient client(path_);
  client.write(requestFrame(QStringLiteral("big")));
  ASSERT_TRUE(waitForRequests(1));
  // Far more than a socket buffer holds: one write could not take it.
  const QString payload = QString(4 * 1024 * 1024, QLatin1Char('a'));
  std::optional<Result<void>> outcome;
  received_[0].handle.send(replyTo(received_[0].request, payload),
                           [&](const Result<void>& result) { outcome = result; });
  const auto line = client.readLine(10000);
  ASSERT_TRUE(line);
  auto reply = decodeHookReply(*line);
  ASSERT_TRUE(reply.ok());
  EXPECT_EQ(reply.value().rawAgentPayload.size(), payload.size());
  ASSERT_TRUE(test::waitUntil([&] { return outcome.has_value(); }));
  EXPECT_TRUE(outcome->ok());
}

TEST_F(SocketServerTest, PeerClosingDuringAStalledWriteFailsWithoutASignal) {
  TestClient client(path_);
  client.write(requestFrame(QStringLiteral("stall")));
  ASSERT_TRUE(waitForRequests(1));
  auto* previous = std::signal(SIGPIPE, SIG_DFL);
  std::optional<Result<void>> outcome;
  bool closed = false;
  received_[0].handle.onClosed([&] { closed = true; });
  received_[0].handle.send(
      replyTo(received_[0].request, QString(4 * 1024 * 1024, QLatin1Char('a'))),
      [&](const Result<void>& result) { outcome = result; });
  QThread::msleep(100);  // the connection's thread now waits for room to write
  client.close();
  ASSERT_TRUE(test::waitUntil([&] { return outcome.has_value() && closed; }));
  std::signal(SIGPIPE, previous);
  EXPECT_FALSE(outcome->ok());
}

TEST_F(SocketServerTest, CloseFromTheOwnerEndsTheConnection) {
  TestClient client(path_);
  client.write(requestFrame(QStringLiteral("r-1")));
  ASSERT_TRUE(waitForRequests(1));
  bool closed = false;
  received_[0].handle.onClosed([&] { closed = true; });
  received_[0].handle.send(replyTo(received_[0].request));
  received_[0].handle.close();
  const auto line = client.readLine();
  ASSERT_TRUE(line);  // the reply queued before the close still goes out
  EXPECT_TRUE(client.seesEndOfStream());
  ASSERT_TRUE(test::waitUntil([&] { return closed; }));
}

TEST_F(SocketServerTest, ManyClientsAtOnceAreAllAnswered) {
  autoReply_ = true;
  constexpr int kClients = 64;
  std::atomic<int> answered{0};
  std::vector<std::thread> clients;
  for (int i = 0; i < kClients; ++i) {
    clients.emplace_back([&, i] {
      const QString id = QStringLiteral("c-%1").arg(i);
      TestClient client(path_);
      if (!client.connected() || !client.write(requestFrame(id))) {
        return;
      }
      const auto line = client.readLineBlocking();
      if (line && line->contains(QStringLiteral(R"("request_id":"%1")").arg(id).toUtf8())) {
        ++answered;
      }
    });
  }
  EXPECT_TRUE(test::waitUntil([&] { return answered == kClients; }, 20000));
  for (auto& thread : clients) {
    thread.join();
  }
  EXPECT_EQ(received_.size(), static_cast<size_t>(kClients));
}

// The threads of this process.
int threadCount() { return static_cast<int>(QDir(QStringLiteral("/proc/self/task")).count()) - 2; }

TEST(SocketServerIdleTest, SilentConnectionsCloseAfterTheFirstFrameTimeoutWithoutAThreadEach) {
  test::TempHome home;
  const QString path = home.file(QStringLiteral("idle.sock"));
  std::vector<HookRequest> received;
  SocketServer server(
      path, [&](const HookRequest& request, const SocketReplyHandle&) { received.push_back(request); },
      std::chrono::milliseconds(300));
  ASSERT_FALSE(server.start());
  const int threadsBefore = threadCount();
  test::LogCapture log;

  TestClient waiting(path);  // a whole request: it may wait for its answer as long as it likes
  ASSERT_TRUE(waiting.write(requestFrame(QStringLiteral("asked"))));
  TestClient partial(path);  // half a request
  ASSERT_TRUE(partial.write(requestFrame(QStringLiteral("half")).left(20)));
  std::vector<std::unique_ptr<TestClient>> silent;
  for (int i = 0; i < 50; ++i) {
    silent.push_back(std::make_unique<TestClient>(path));
    ASSERT_TRUE(silent.back()->connected());
  }
  ASSERT_TRUE(test::waitUntil([&] { return server.connectionCount() == 52 && received.size() == 1; }));
  EXPECT_EQ(threadCount(), threadsBefore) << "connections are served without threads of their own";

  EXPECT_TRUE(partial.seesEndOfStream(3000));
  for (const auto& client : silent) {
    EXPECT_TRUE(client->seesEndOfStream(3000));
  }
  EXPECT_EQ(server.connectionCount(), 1);
  EXPECT_FALSE(waiting.seesEndOfStream(500));
  const int lines = log.count(QStringLiteral("sent no complete request within 300 ms"));
  EXPECT_GE(lines, 1);
  EXPECT_LE(lines, 3) << "closed together, not a line each";
}

TEST(SocketServerDescriptorTest, OutOfDescriptorsNewHooksAreClosedAtOnceAndServingResumes) {
  test::TempHome home;
  const QString path = home.file(QStringLiteral("fd.sock"));
  std::vector<HookRequest> received;
  SocketServer server(path, [&](const HookRequest& request, const SocketReplyHandle& handle) {
    received.push_back(request);
    handle.send(replyTo(request));
  });
  ASSERT_FALSE(server.start());
  // The clients' own sockets exist before the descriptors run out (connecting needs none).
  std::vector<std::unique_ptr<TestClient>> turnedAway;
  for (int i = 0; i < 5; ++i) {
    turnedAway.push_back(std::make_unique<TestClient>(QString()));
  }
  auto later = std::make_unique<TestClient>(QString());

  test::LogCapture log;
  test::DescriptorsExhausted exhausted;
  for (const auto& client : turnedAway) {
    ASSERT_TRUE(client->connectTo(path));
    client->write(requestFrame(QStringLiteral("lost")));
  }
  for (const auto& client : turnedAway) {
    EXPECT_TRUE(client->seesEndOfStream(2000)) << "closed at once, so that the hook falls back";
  }
  QThread::msleep(300);  // long enough to spin, were the listener still watched
  EXPECT_EQ(log.count(QStringLiteral("Too many open files")), 1) << log.lines().join('\n').toStdString();

  exhausted.release();
  ASSERT_TRUE(later->connectTo(path));
  ASSERT_TRUE(later->write(requestFrame(QStringLiteral("served"))));
  const auto line = later->readLine();
  ASSERT_TRUE(line);
  EXPECT_TRUE(line->contains(R"("request_id":"served")"));
  EXPECT_EQ(received.size(), 1u);
  EXPECT_EQ(log.count(QStringLiteral("accepting hook connections again (5 closed at once meanwhile)")), 1);
}

TEST(SocketServerDescriptorTest, WithoutAReserveHooksAreRefusedAtOnceUntilTheSocketIsBoundAnew) {
  test::TempHome home;
  const QString path = home.file(QStringLiteral("reserve.sock"));
  std::vector<HookRequest> received;
  SocketServer server(path, [&](const HookRequest& request, const SocketReplyHandle& handle) {
    received.push_back(request);
    handle.send(replyTo(request));
  });
  TestClient queued{QString()};
  TestClient refused{QString()};
  TestClient later{QString()};
  {
    // A server started while descriptors are free, for the sanitizers' type checks.
    SocketServer earlier(home.file(QStringLiteral("earlier.sock")), [](const HookRequest&, const SocketReplyHandle&) {});
    ASSERT_FALSE(earlier.start());
  }

  test::LogCapture log;
  {
    // Descriptors for the listener, the wake-up and epoll, none for the reserve: where the server
    // stands once another thread has taken the reserve's slot.
    test::DescriptorsExhausted exhausted(3);
    ASSERT_FALSE(server.start());
    ASSERT_TRUE(queued.connectTo(path));
    queued.write(requestFrame(QStringLiteral("queued")));
    EXPECT_TRUE(queued.seesEndOfStream(2000)) << "the hook waiting in the queue falls back at once";
    EXPECT_FALSE(refused.connectTo(path)) << "a new hook is refused at once";
    QThread::msleep(600);  // the listener is tried again meanwhile, and fails quietly
    EXPECT_FALSE(refused.connectTo(path));
    EXPECT_TRUE(server.isRunning());
    EXPECT_EQ(log.count(QStringLiteral("Too many open files")), 1) << log.lines().join('\n').toStdString();
  }
  ASSERT_TRUE(test::waitUntil([&] { return later.connectTo(path); }, 2000)) << "bound anew";
  ASSERT_TRUE(later.write(requestFrame(QStringLiteral("served"))));
  const auto line = later.readLine();
  ASSERT_TRUE(line);
  EXPECT_TRUE(line->contains(R"("request_id":"served")"));
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].requestID, QStringLiteral("served"));
  EXPECT_EQ(log.count(QStringLiteral("socket was closed and bound anew 1 times")), 1)
      << log.lines().join('\n').toStdString();
  QFileInfo file(path);
  EXPECT_EQ(file.permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteOther), 0);
}

TEST(SocketServerDescriptorTest, HookConnectionsLeaveTheLastDescriptorsToTheRestOfTheApp) {
  test::TempHome home;
  const QString path = home.file(QStringLiteral("headroom.sock"));
  std::vector<SocketReplyHandle> waiting;
  SocketServer server(path, [&](const HookRequest&, const SocketReplyHandle& handle) { waiting.push_back(handle); });
  ASSERT_FALSE(server.start());
  constexpr int kClients = 80;
  std::vector<std::unique_ptr<TestClient>> clients;
  for (int i = 0; i < kClients; ++i) {
    clients.push_back(std::make_unique<TestClient>(QString()));
  }
  auto later = std::make_unique<TestClient>(QString());

  test::LogCapture log;
  // 100 descriptors free: a quarter of the limit stays with the app, the rest takes hooks.
  test::DescriptorLimit limit(100);
  rlimit lowered{};
  ::getrlimit(RLIMIT_NOFILE, &lowered);
  const int headroom = static_cast<int>(std::min<rlim_t>(64, lowered.rlim_cur / 4));
  for (int i = 0; i < kClients; ++i) {
    ASSERT_TRUE(clients[i]->connectTo(path));
    clients[i]->write(requestFrame(QStringLiteral("r%1").arg(i)));  // fails when closed already
  }
  int turnedAway = 0;
  for (const auto& client : clients) {
    turnedAway += client->seesEndOfStream(100) ? 1 : 0;
  }
  ASSERT_TRUE(test::waitUntil([&] { return static_cast<int>(waiting.size()) == kClients - turnedAway; }));
  EXPECT_GE(turnedAway, kClients + headroom - 100) << "closed at once";
  EXPECT_LE(turnedAway, kClients + headroom - 100 + 2);
  EXPECT_EQ(server.connectionCount(), kClients - turnedAway);
  std::vector<int> spare;
  for (int fd; static_cast<int>(spare.size()) < headroom && (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) {
    spare.push_back(fd);
  }
  EXPECT_EQ(static_cast<int>(spare.size()), headroom) << "the headroom is still free";
  for (const int fd : spare) {
    ::close(fd);
  }
  EXPECT_EQ(log.count(QStringLiteral("only the descriptors kept for the rest of the app are free")), 1)
      << log.lines().join('\n').toStdString();

  // Once waiting hooks leave, new ones are served again.
  clients.clear();
  ASSERT_TRUE(test::waitUntil([&] { return server.connectionCount() == 0; }));
  ASSERT_TRUE(later->connectTo(path));
  ASSERT_TRUE(later->write(requestFrame(QStringLiteral("served"))));
  ASSERT_TRUE(test::waitUntil([&] { return static_cast<int>(waiting.size()) == kClients - turnedAway + 1; }));
  EXPECT_EQ(log.count(QStringLiteral("accepting hook connections again (%1 closed at once meanwhile)").arg(turnedAway)), 1)
      << log.lines().join('\n').toStdString();
}

TEST(SocketServerStartTest, PathLengthLimitAndStaleFiles) {
  test::TempHome home;
  const auto noHandler = [](const HookRequest&, const SocketReplyHandle&) {};
  const QString folder = home.file(QStringLiteral("s"));
  const int base = static_cast<int>(folder.toUtf8().size()) + 1;
  ASSERT_LT(base, 90);
  const QString path103 = folder + QLatin1Char('/') + QString(103 - base, QLatin1Char('p'));
  const QString path104 = folder + QLatin1Char('/') + QString(104 - base, QLatin1Char('q'));

  SocketServer tooLong(path104, noHandler);
  const auto error = tooLong.start();
  ASSERT_TRUE(error);
  EXPECT_EQ(error->op, QStringLiteral("sun_path overflow"));
  EXPECT_EQ(error->errorNumber, ENAMETOOLONG);
  EXPECT_TRUE(error->description().startsWith(
      QStringLiteral("POSIX sun_path overflow failed: errno=")));
  EXPECT_FALSE(QFileInfo::exists(path104));
  EXPECT_FALSE(tooLong.isRunning());

  auto first = std::make_unique<SocketServer>(path103, noHandler);
  ASSERT_FALSE(first->start());
  // A second server replaces the first one's socket file; the first, going away, leaves it.
  SocketServer second(path103, noHandler);
  ASSERT_FALSE(second.start());
  first.reset();
  EXPECT_TRUE(second.start());  // already running: refused, still serving
  TestClient client(path103);
  EXPECT_TRUE(client.connected());

  // A file that is not a socket is never removed to make room.
  const QString plain = home.file(QStringLiteral("plain"));
  ASSERT_TRUE(test::writeFile(plain, "keep me"));
  SocketServer blocked(plain, noHandler);
  const auto bindError = blocked.start();
  ASSERT_TRUE(bindError);
  EXPECT_EQ(bindError->op, QStringLiteral("bind ") + plain);
  EXPECT_EQ(test::readFile(plain), QByteArray("keep me"));
}

TEST(SocketServerStartTest, ServerGoingAwayEndsItsConnections) {
  test::TempHome home;
  const QString path = home.file(QStringLiteral("t.sock"));
  std::vector<SocketReplyHandle> handles;
  auto server = std::make_unique<SocketServer>(
      path,
      [&](const HookRequest&, const SocketReplyHandle& handle) { handles.push_back(handle); });
  ASSERT_FALSE(server->start());
  TestClient client(path);
  client.write(requestFrame(QStringLiteral("r")));
  ASSERT_TRUE(test::waitUntil([&] { return handles.size() == 1; }));
  bool closed = false;
  handles[0].onClosed([&] { closed = true; });
  server.reset();
  EXPECT_FALSE(QFileInfo::exists(path));
  EXPECT_TRUE(client.seesEndOfStream());
  ASSERT_TRUE(test::waitUntil([&] { return closed; }));
  std::optional<Result<void>> outcome;
  handles[0].send(HookReply{}, [&](const Result<void>& result) { outcome = result; });
  ASSERT_TRUE(test::waitUntil([&] { return outcome.has_value(); }));
  EXPECT_FALSE(outcome->ok());
}

TEST(SocketTestModeHandlerTest, RepliesPerMode) {
  HookRequest request;
  request.requestID = QStringLiteral("r-7");
  request.agent = QStringLiteral("codex");
  std::vector<HookReply> sent;
  const SocketReplyHandle handle(
      [&](const HookReply& reply, SocketSendCompletion) { sent.push_back(reply); }, [] {},
      [](std::function<void()>) {});
  const auto payloadFor = [](const HookRequest& r) {
    return QStringLiteral("payload for ") + r.agent;
  };

  makeSocketTestModeHandler(QStringLiteral("echo"), payloadFor)(request, handle);
  makeSocketTestModeHandler(QStringLiteral("auto_approve"), payloadFor)(request, handle);
  makeSocketTestModeHandler(QStringLiteral("silent"), payloadFor)(request, handle);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(SocketFrameCodec::encode(sent[0]),
            QByteArray(R"({"decision":"allow","mode":"once","raw_agent_payload":)"
                       R"("{\"hookSpecificOutput\":{\"hookEventName\":\"PreToolUse\",)"
                       R"(\"permissionDecision\":\"allow\"}}","request_id":"r-7",)"
                       R"("type":"hook.reply","v":1})") +
                '\n');
  EXPECT_EQ(sent[1].rawAgentPayload, QStringLiteral("payload for codex"));
  EXPECT_EQ(sent[1].decision, QStringLiteral("allow"));
}

// The installed Claude hook against the real server: what it sends decodes, and it prints the
// payload of the reply.
TEST(SocketServerStartTest, ClaudeHookScriptRoundTrip) {
  test::TempHome home;
  QFile script(QStringLiteral(":/hooks/scripts/tandrel-hook-claude"));
  ASSERT_TRUE(script.open(QIODevice::ReadOnly));
  const QString scriptPath = home.file(QStringLiteral("tandrel-hook-claude"));
  ASSERT_TRUE(test::writeFile(scriptPath, script.readAll()));

  std::vector<HookRequest> requests;
  SocketServer server(home.file(QStringLiteral(".tandrel/tandrel.sock")),
                      [&](const HookRequest& request, const SocketReplyHandle& handle) {
                        requests.push_back(request);
                        handle.send(replyTo(request, QStringLiteral(R"({"decision":"block"})")));
                      });
  ASSERT_FALSE(server.start());

  QProcess hook;
  hook.start(QStringLiteral("/usr/bin/python3"), {scriptPath});
  ASSERT_TRUE(hook.waitForStarted());
  hook.write(R"({"hook_event_name":"Stop","session_id":"abc","cwd":"/w",)"
             R"("prompt":"one\ntwo","options":[{"id":"a","label":"A"},{"id":"b","label":"B"}]})");
  hook.closeWriteChannel();
  ASSERT_TRUE(test::waitUntil([&] { return hook.state() == QProcess::NotRunning; }, 20000));
  EXPECT_EQ(hook.exitCode(), 0);
  EXPECT_EQ(hook.readAllStandardOutput(), QByteArray("{\"decision\":\"block\"}\n"));
  ASSERT_EQ(requests.size(), 1u);
  const HookRequest& request = requests[0];
  EXPECT_EQ(request.agent, QStringLiteral("claude_code"));
  EXPECT_EQ(request.kind, QStringLiteral("waiting_choice"));
  EXPECT_EQ(request.sessionID, QStringLiteral("abc"));
  EXPECT_EQ(request.timeoutSeconds, 120);
  EXPECT_EQ(request.requestID.size(), 36);
  EXPECT_EQ(request.payload.multiline, true);
  EXPECT_EQ(request.payload.cwd, QStringLiteral("/w"));
  ASSERT_TRUE(request.payload.options);
  EXPECT_EQ(request.payload.options->size(), 2);
  EXPECT_EQ(request.payload.extras,
            (QMap<QString, QString>{{QStringLiteral("hook_event_name"), QStringLiteral("Stop")},
                                    {QStringLiteral("request_key"), QStringLiteral("1fd8c922fc796a6c088b91d0e3d25ed5")}}));
}

}  // namespace
}  // namespace tandrel
