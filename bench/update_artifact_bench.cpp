// The SHA-256 of an update artifact, read in 1 MiB pieces, and a whole download from a server on
// 127.0.0.1 streamed into a staging file and verified. Both report bytes per second; the
// digest's memory stays at one piece whatever the file's size.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QEventLoop>
#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <future>
#include <thread>

#include "update/update_artifact.h"

namespace {

constexpr qint64 kSize = 64 * 1024 * 1024;

QByteArray artifactBytes() {
  QByteArray bytes(kSize, Qt::Uninitialized);
  for (qint64 i = 0; i < kSize; ++i) {
    bytes[i] = static_cast<char>((i * 2654435761u) >> 24);
  }
  return bytes;
}

void BM_Sha256OfArtifact(benchmark::State& state) {
  QTemporaryDir folder;
  const QString path = folder.filePath("artifact.zip");
  QFile file(path);
  file.open(QIODevice::WriteOnly);
  file.write(artifactBytes());
  file.close();
  for (auto _ : state) {
    benchmark::DoNotOptimize(tandrel::UpdateVerifier::sha256Hex(path));
  }
  state.SetBytesProcessed(state.iterations() * kSize);
}
BENCHMARK(BM_Sha256OfArtifact)->Unit(benchmark::kMillisecond);

void BM_StageRemoteArtifact(benchmark::State& state) {
  const QByteArray body = artifactBytes();
  const QString sha = QString::fromLatin1(QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex());
  QTcpServer server;
  server.listen(QHostAddress::LocalHost, 0);
  QObject::connect(&server, &QTcpServer::newConnection, &server, [&] {
    while (QTcpSocket* socket = server.nextPendingConnection()) {
      QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, &body] {
        socket->readAll();
        socket->write("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n");
        socket->write(body);
      });
    }
  });
  const QUrl url(QStringLiteral("http://127.0.0.1:%1/a.zip").arg(server.serverPort()));
  QTemporaryDir folder;
  const QString destination = folder.filePath("Tandrel-1.0.zip");
  for (auto _ : state) {
    std::future<tandrel::UpdateArtifactDownloader::Staged> staged = std::async(std::launch::async, [&] {
      return tandrel::UpdateArtifactDownloader::stageVerifiedRemoteArtifact(url, destination, sha);
    });
    while (staged.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    const auto result = staged.get();
    if (!result.ok()) {
      state.SkipWithError("download failed");
      break;
    }
    QFile::remove(*result.path);
  }
  state.SetBytesProcessed(state.iterations() * kSize);
}
BENCHMARK(BM_StageRemoteArtifact)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
