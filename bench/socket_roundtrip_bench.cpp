// Round trips over the hook socket: a client connects, sends one request and reads the reply of a
// handler that answers at once.
//
//   SequentialRoundTrip   p50/p99 latency of one full round trip (target: p99 under 1 ms)
//   ConcurrentClients     200 clients at once; counters "answered" and "lost" (target: lost 0)
//   HookClaudeProcess     one run of the installed tandrel-hook-claude against the server, next
//   BarePythonProcess     to `python3 -c pass` (target: hook within 1.3 x bare start-up)
#include "requests/socket_frame_codec.h"
#include "requests/socket_server.h"
#include "support/socket_client.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using namespace tandrel;
using namespace tandrel::bench;
using Clock = std::chrono::steady_clock;

// One server for the whole program, in a temporary folder.
struct Fixture {
  QTemporaryDir home;
  QString socketPath = home.path() + QStringLiteral("/.tandrel/tandrel.sock");
  SocketServer server{socketPath, [](const HookRequest& request, const SocketReplyHandle& handle) {
                        HookReply reply;
                        reply.requestID = request.requestID;
                        reply.decision = QStringLiteral("allow");
                        reply.mode = QStringLiteral("once");
                        reply.rawAgentPayload = QStringLiteral("{}");
                        handle.send(reply);
                      }};

  Fixture() {
    if (auto error = server.start()) {
      qFatal("socket server failed to start: %s", qPrintable(error->description()));
    }
  }
};

Fixture& fixture() {
  static Fixture instance;
  return instance;
}

QByteArray requestFrame(int index) {
  HookRequest request;
  request.requestID = QStringLiteral("bench-%1").arg(index);
  request.agent = QStringLiteral("claude_code");
  request.sessionID = QStringLiteral("s");
  request.agentPID = 1;
  request.kind = QStringLiteral("permission_request");
  request.timeoutSeconds = 120;
  request.payload.tool = QStringLiteral("Bash");
  request.payload.command = QStringLiteral("ls -la /tmp");
  return SocketFrameCodec::encode(request);
}

// Reads one reply line; when `spinMainLoop` is set, keeps the main thread's event loop going so
// that the handler runs (the caller is the main thread).
bool readReply(int fd, bool spinMainLoop) {
  QByteArray buffer;
  char chunk[4096];
  const auto deadline = Clock::now() + std::chrono::seconds(20);
  while (!buffer.contains('\n')) {
    if (Clock::now() > deadline) {
      return false;
    }
    if (spinMainLoop) {
      QCoreApplication::processEvents();
      pollfd readable{fd, POLLIN, 0};
      if (::poll(&readable, 1, 0) <= 0) {
        continue;
      }
    }
    const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) {
      return false;
    }
    buffer.append(chunk, n);
  }
  return true;
}

void SequentialRoundTrip(benchmark::State& state) {
  const QString path = fixture().socketPath;
  std::vector<double> micros;
  int index = 0;
  int failed = 0;
  for (auto _ : state) {
    const auto started = Clock::now();
    const int fd = connectTo(path);
    const bool ok = fd >= 0 && sendAll(fd, requestFrame(index++)) && readReply(fd, true);
    micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - started).count());
    failed += ok ? 0 : 1;
    if (fd >= 0) {
      ::close(fd);
    }
  }
  state.counters["p50_us"] = percentile(micros, 0.50);
  state.counters["p99_us"] = percentile(micros, 0.99);
  state.counters["failed"] = failed;
}
BENCHMARK(SequentialRoundTrip)->Iterations(1000)->Unit(benchmark::kMicrosecond);

void ConcurrentClients(benchmark::State& state) {
  const QString path = fixture().socketPath;
  const int clients = static_cast<int>(state.range(0));
  int answeredTotal = 0;
  int rounds = 0;
  for (auto _ : state) {
    std::atomic<int> answered{0};
    std::atomic<int> finished{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    threads.reserve(static_cast<size_t>(clients));
    for (int i = 0; i < clients; ++i) {
      threads.emplace_back([&, i] {
        while (!go) {
          std::this_thread::yield();
        }
        const int fd = connectTo(path);
        if (fd >= 0 && sendAll(fd, requestFrame(i)) && readReply(fd, false)) {
          ++answered;
        }
        if (fd >= 0) {
          ::close(fd);
        }
        ++finished;
      });
    }
    go = true;
    while (finished < clients) {
      QCoreApplication::processEvents();
    }
    for (auto& thread : threads) {
      thread.join();
    }
    answeredTotal += answered;
    ++rounds;
  }
  state.counters["answered"] = rounds ? answeredTotal / rounds : 0;
  state.counters["lost"] = rounds ? clients - answeredTotal / rounds : clients;
}
BENCHMARK(ConcurrentClients)->Arg(200)->Iterations(3)->Unit(benchmark::kMillisecond);

// Runs one process to completion while the main loop keeps serving the socket.
bool runProcess(QProcess& process, const QString& program, const QStringList& arguments,
                const QByteArray& input) {
  process.start(program, arguments);
  if (!process.waitForStarted()) {
    return false;
  }
  process.write(input);
  process.closeWriteChannel();
  while (process.state() != QProcess::NotRunning) {
    QCoreApplication::processEvents();
    process.waitForFinished(1);
  }
  return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

void HookClaudeProcess(benchmark::State& state) {
  Fixture& server = fixture();
  const QString scriptPath = server.home.path() + QStringLiteral("/tandrel-hook-claude");
  QFile::remove(scriptPath);
  QFile::copy(QStringLiteral(":/hooks/scripts/tandrel-hook-claude"), scriptPath);
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("HOME"), server.home.path());
  int wrong = 0;
  for (auto _ : state) {
    QProcess hook;
    hook.setProcessEnvironment(environment);
    const bool ok = runProcess(hook, QStringLiteral("/usr/bin/python3"), {scriptPath},
                               R"({"hook_event_name":"PreToolUse","tool_name":"Bash"})");
    wrong += ok && hook.readAllStandardOutput() == "{}\n" ? 0 : 1;
  }
  state.counters["failed"] = wrong;
}
BENCHMARK(HookClaudeProcess)->Iterations(20)->Unit(benchmark::kMillisecond)->UseRealTime();

void BarePythonProcess(benchmark::State& state) {
  for (auto _ : state) {
    QProcess python;
    runProcess(python, QStringLiteral("/usr/bin/python3"),
               {QStringLiteral("-c"), QStringLiteral("pass")}, QByteArray());
  }
}
BENCHMARK(BarePythonProcess)->Iterations(20)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
