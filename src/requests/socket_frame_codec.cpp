#include "requests/socket_frame_codec.h"

#include "base/canonical_json.h"

namespace tandrel {

QString FrameDecodeError::description() const {
  switch (kind) {
    case Kind::oversized:
      return QStringLiteral("oversized frame (%1 bytes)").arg(QString::number(byteCount));
    case Kind::malformed:
      return message;
    case Kind::incomplete:
      return QStringLiteral("incomplete frame");
  }
  return QString();
}

FrameResult<QByteArray> SocketFrameCodec::consumeLine(QByteArray& buffer) {
  const qsizetype newline = buffer.indexOf('\n');
  if (newline < 0) {
    if (buffer.size() <= kMaxLineBytes) {
      return FrameDecodeError::incomplete();
    }
    return FrameDecodeError::oversized(buffer.size());
  }
  if (newline > kMaxLineBytes) {
    return FrameDecodeError::oversized(newline);
  }
  QByteArray line = buffer.left(newline);
  buffer.remove(0, newline + 1);
  return line;
}

FrameResult<HookRequest> SocketFrameCodec::decodeRequest(QByteArray& buffer) {
  auto line = consumeLine(buffer);
  if (!line) {
    return line.error();
  }
  auto request = decodeHookRequest(line.value());
  if (!request) {
    return FrameDecodeError::malformed(QStringLiteral("HookRequest: ") + request.error());
  }
  return std::move(request).value();
}

QByteArray SocketFrameCodec::encode(const HookRequest& request) {
  return canonicalJsonLine(toJson(request));
}

QByteArray SocketFrameCodec::encode(const HookReply& reply) {
  return canonicalJsonLine(toJson(reply));
}

}  // namespace tandrel
