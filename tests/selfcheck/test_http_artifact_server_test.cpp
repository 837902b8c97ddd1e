#include "selfcheck/test_http_artifact_server.h"

#include "listening_sockets.h"

#include <gtest/gtest.h>

#include <QTcpSocket>
#include <QUrl>

namespace tandrel {
namespace {

using test::listeningAddresses;

TEST(TestHTTPArtifactServerGui, AnswersEveryRequestOnLoopbackWithItsArtifactAndCountsThem) {
  const std::unique_ptr<TestHTTPArtifactServer> server = TestHTTPArtifactServer::start("payload");
  ASSERT_TRUE(server);
  const QUrl url(server->url());
  EXPECT_EQ(url.host(), "127.0.0.1");
  EXPECT_EQ(url.path(), "/Tandrel-remote.zip");
  EXPECT_EQ(listeningAddresses(), std::set<std::string>{"127.0.0.1"});

  const struct {
    const char* name;
    QByteArray request;
  } cases[] = {
      {"its own path", "GET /Tandrel-remote.zip HTTP/1.1\r\nHost: x\r\n\r\n"},
      {"any other path", "GET /elsewhere?x=1 HTTP/1.1\r\n\r\n"},
      {"bytes that are no request", "\x01"},
  };
  int count = 0;
  for (const auto& c : cases) {
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(url.port()));
    ASSERT_TRUE(socket.waitForConnected(2000)) << c.name;
    socket.write(c.request);
    QByteArray answer;
    while (socket.waitForReadyRead(2000)) answer += socket.readAll();
    EXPECT_EQ(answer,
              "HTTP/1.1 200 OK\r\nContent-Length: 7\r\nContent-Type: application/octet-stream\r\n"
              "Connection: close\r\n\r\npayload")
        << c.name;
    // The server closes the connection after its one answer.
    EXPECT_EQ(socket.state(), QAbstractSocket::UnconnectedState) << c.name;
    EXPECT_EQ(server->observedRequestCount(), ++count) << c.name;
  }
}

}  // namespace
}  // namespace tandrel
