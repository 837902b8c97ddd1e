#pragma once

// A test double of the self-checks: an HTTP server on 127.0.0.1 (never another interface) that
// answers every request, whatever its path, with one fixed artifact, so that a download can run
// over real HTTP without leaving the machine. It serves on a thread of its own, since the code
// under check fetches while the main thread waits.

#include <QByteArray>
#include <QString>
#include <QThread>

#include <atomic>
#include <memory>

class QTcpServer;

namespace tandrel {

class TestHTTPArtifactServer {
 public:
  // A server listening on a free port of 127.0.0.1; nothing when it is not listening within 2 s.
  static std::unique_ptr<TestHTTPArtifactServer> start(const QByteArray& payload);
  // Stops listening and closes every connection.
  ~TestHTTPArtifactServer();
  TestHTTPArtifactServer(const TestHTTPArtifactServer&) = delete;
  TestHTTPArtifactServer& operator=(const TestHTTPArtifactServer&) = delete;

  // "http://127.0.0.1:<port>/Tandrel-remote.zip"; any other path gets the same answer.
  QString url() const { return url_; }
  // The requests answered so far.
  int observedRequestCount() const { return requestCount_.load(); }

 private:
  explicit TestHTTPArtifactServer(QByteArray payload);
  // Answers the first bytes of a connection (whatever they hold) with "200 OK", the payload and
  // "Connection: close", then closes it.
  void accept(QTcpServer& server);

  const QByteArray payload_;
  QThread thread_;
  QTcpServer* server_ = nullptr;  // lives on `thread_`
  std::atomic<int> requestCount_{0};
  QString url_;
};

}  // namespace tandrel
