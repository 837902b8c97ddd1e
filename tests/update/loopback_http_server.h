#pragma once

// A tiny HTTP/1.1 server on 127.0.0.1 for the update tests, living on the main thread. The code
// under test blocks, so tests run it on another thread with runOffMain() while the main loop
// serves.

#include "support/wait.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <future>
#include <map>
#include <thread>

namespace tandrel::test {

class LoopbackHttpServer {
 public:
  struct Route {
    Route(int status = 200, QByteArray body = {}, QByteArray extraHeaders = {}, bool silent = false,
          bool stallAfterHead = false)
        : status(status), body(std::move(body)), extraHeaders(std::move(extraHeaders)), silent(silent),
          stallAfterHead(stallAfterHead) {}
    int status = 200;
    QByteArray body;
    QByteArray extraHeaders;      // "Name: value\r\n" lines
    bool silent = false;          // accept the connection, never answer
    bool stallAfterHead = false;  // send the headers and half the body, then fall silent
  };

  LoopbackHttpServer() {
    server_.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
      while (QTcpSocket* socket = server_.nextPendingConnection()) {
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { serve(socket); });
      }
    });
  }

  void route(const QByteArray& path, Route route) { routes_[path] = std::move(route); }
  QString url(const QByteArray& pathAndQuery) const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(server_.serverPort()).arg(QString::fromLatin1(pathAndQuery));
  }
  // Request targets (path and query) in the order they arrived.
  const QList<QByteArray>& requests() const { return requests_; }

 private:
  void serve(QTcpSocket* socket) {
    QByteArray& buffer = pending_[socket];
    buffer += socket->readAll();
    if (!buffer.contains("\r\n\r\n")) {
      return;
    }
    const QByteArray target = buffer.split(' ').value(1);
    buffer.clear();
    requests_.append(target);
    const QByteArray path = target.split('?').value(0);
    const auto found = routes_.find(path);
    const Route route = found != routes_.end() ? found->second : Route{404, "missing"};
    if (route.silent) {
      return;
    }
    QByteArray head = "HTTP/1.1 " + QByteArray::number(route.status) + " X\r\nContent-Length: " +
                      QByteArray::number(route.body.size()) + "\r\n" + route.extraHeaders + "\r\n";
    if (route.stallAfterHead) {
      socket->write(head + route.body.left(route.body.size() / 2));
      return;
    }
    socket->write(head + route.body);
  }

  QTcpServer server_;
  std::map<QByteArray, Route> routes_;
  std::map<QTcpSocket*, QByteArray> pending_;
  QList<QByteArray> requests_;
};

// Runs `work` on a thread of its own while the main loop keeps serving; returns its result.
template <typename F>
auto runOffMain(F work, int timeoutMs = 20000) {
  std::packaged_task<decltype(work())()> task(std::move(work));
  auto future = task.get_future();
  std::thread thread(std::move(task));
  waitUntil([&] { return future.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, timeoutMs);
  thread.join();
  return future.get();
}

}  // namespace tandrel::test
