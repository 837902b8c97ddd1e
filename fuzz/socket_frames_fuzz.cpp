// Socket frames as the socket server cuts and decodes them, and the replies it writes: a decoded
// request encodes to one frame that decodes to the same request (what a client sent is what is
// echoed and audited), and a reply frame carries the request's id exactly.
#include "fuzz_target.h"

#include "requests/socket_frame_codec.h"

#include <QJsonDocument>
#include <QJsonObject>

TANDREL_FUZZ_TARGET(socket_frames) {
  using namespace tandrel;
  QByteArray buffer = fuzz::bytes(data, size);
  for (;;) {
    const qsizetype before = buffer.size();
    auto request = SocketFrameCodec::decodeRequest(buffer);
    if (!request) {
      if (request.error().kind != FrameDecodeError::Kind::malformed) {
        FUZZ_CHECK(buffer.size() == before, request.error().description());
        break;
      }
      FUZZ_CHECK(buffer.size() < before, request.error().description());
      continue;
    }
    const HookRequest& sent = request.value();
    QByteArray frame = SocketFrameCodec::encode(sent);
    FUZZ_CHECK(frame.endsWith('\n') && frame.count('\n') == 1, QString::fromUtf8(frame));
    auto echoed = SocketFrameCodec::decodeRequest(frame);
    FUZZ_CHECK(echoed.ok() && echoed.value() == sent && frame.isEmpty(),
               QString::fromUtf8(SocketFrameCodec::encode(sent)));

    HookReply reply;
    reply.requestID = sent.requestID;
    reply.decision = QStringLiteral("allow");
    reply.mode = QStringLiteral("once");
    reply.rawAgentPayload = sent.payload.prompt.value_or(QStringLiteral("{}"));
    const QByteArray replyFrame = SocketFrameCodec::encode(reply);
    const QJsonObject parsed = QJsonDocument::fromJson(replyFrame).object();
    FUZZ_CHECK(parsed.value(QStringLiteral("request_id")).toString() == sent.requestID &&
                   parsed.value(QStringLiteral("raw_agent_payload")).toString() ==
                       reply.rawAgentPayload,
               QString::fromUtf8(replyFrame));
  }
  return 0;
}
