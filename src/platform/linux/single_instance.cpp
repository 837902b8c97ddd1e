#include "platform/single_instance.h"

#include "base/log.h"
#include "platform/private_folder.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

namespace tandrel {
namespace {
constexpr char kReopen[] = "reopen\n";
constexpr int kConnectTimeoutMs = 300;
}  // namespace

SingleInstance::SingleInstance(QString socketPath, QObject* parent)
    : QObject(parent), socketPath_(std::move(socketPath)) {}

SingleInstance::~SingleInstance() {
  if (server_ != nullptr) {
    server_->close();  // removes the socket file
  }
}

bool SingleInstance::notifyRunningInstance() {
  QLocalSocket socket;
  socket.connectToServer(socketPath_);
  if (!socket.waitForConnected(kConnectTimeoutMs)) {
    return false;
  }
  socket.write(kReopen);
  socket.waitForBytesWritten(kConnectTimeoutMs);
  socket.disconnectFromServer();
  return true;
}

bool SingleInstance::listen(std::function<void()> onReopen) {
  onReopen_ = std::move(onReopen);
  (void)makePrivateFolder(QFileInfo(socketPath_).absolutePath());
  server_ = new QLocalServer(this);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  if (!server_->listen(socketPath_)) {
    // Nobody answered on it, so a socket left there is stale.
    QLocalServer::removeServer(socketPath_);
    if (!server_->listen(socketPath_)) {
      logWarning(QStringLiteral("cannot listen for other launches at %1: %2")
                     .arg(socketPath_, server_->errorString()));
      return false;
    }
  }
  connect(server_, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* client = server_->nextPendingConnection()) {
      connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
      connect(client, &QLocalSocket::readyRead, this, [this, client] {
        if (client->readAll().startsWith("reopen") && onReopen_) {
          onReopen_();
        }
      });
    }
  });
  return true;
}

}  // namespace tandrel
