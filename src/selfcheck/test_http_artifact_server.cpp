#include "selfcheck/test_http_artifact_server.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <chrono>
#include <future>

namespace tandrel {

TestHTTPArtifactServer::TestHTTPArtifactServer(QByteArray payload) : payload_(std::move(payload)) {}

std::unique_ptr<TestHTTPArtifactServer> TestHTTPArtifactServer::start(const QByteArray& payload) {
  std::unique_ptr<TestHTTPArtifactServer> self(new TestHTTPArtifactServer(payload));
  self->server_ = new QTcpServer;
  self->server_->moveToThread(&self->thread_);
  self->thread_.setObjectName(QStringLiteral("TandrelTestHTTPArtifactServer"));
  self->thread_.start();

  auto port = std::make_shared<std::promise<quint16>>();
  std::future<quint16> listening = port->get_future();
  QTcpServer* server = self->server_;
  TestHTTPArtifactServer* owner = self.get();
  QMetaObject::invokeMethod(server, [server, owner, port] {
    if (!server->listen(QHostAddress(QHostAddress::LocalHost), 0)) {
      port->set_value(0);
      return;
    }
    QObject::connect(server, &QTcpServer::newConnection, server, [server, owner] { owner->accept(*server); });
    port->set_value(server->serverPort());
  });
  if (listening.wait_for(std::chrono::seconds(2)) != std::future_status::ready || listening.get() == 0) {
    return nullptr;
  }
  self->url_ = QStringLiteral("http://127.0.0.1:%1/Tandrel-remote.zip").arg(server->serverPort());
  return self;
}

TestHTTPArtifactServer::~TestHTTPArtifactServer() {
  // Runs after anything already queued on the server's thread; the connections go with it.
  QMetaObject::invokeMethod(server_, [server = server_] { delete server; }, Qt::BlockingQueuedConnection);
  thread_.quit();
  thread_.wait();
}

void TestHTTPArtifactServer::accept(QTcpServer& server) {
  while (QTcpSocket* socket = server.nextPendingConnection()) {
    // One answer per connection, to its first bytes, or to its end when none came.
    auto answered = std::make_shared<bool>(false);
    auto answer = [this, socket, answered] {
      socket->readAll();
      if (*answered) {
        return;
      }
      *answered = true;
      ++requestCount_;
      socket->write("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(payload_.size()) +
                    "\r\nContent-Type: application/octet-stream\r\nConnection: close\r\n\r\n" + payload_);
      socket->disconnectFromHost();
    };
    QObject::connect(socket, &QTcpSocket::readyRead, socket, answer);
    QObject::connect(socket, &QTcpSocket::readChannelFinished, socket, answer);
    QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
  }
}

}  // namespace tandrel
