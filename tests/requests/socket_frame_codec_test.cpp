#include "requests/socket_frame_codec.h"

#include <gtest/gtest.h>

#include <QJsonDocument>

namespace tandrel {
namespace {

QByteArray validRequestLine() {
  return R"({"v":1,"type":"hook.request","request_id":"r-1","agent":"claude_code",)"
         R"("session_id":"s","agent_pid":4242,"kind":"permission_request",)"
         R"("timeout_seconds":120,"payload":{"tool":"Bash","command":"ls \/tmp"}})";
}

HookRequest fullRequest() {
  HookRequest request;
  request.requestID = QStringLiteral("8c1e5c1a-0000-4000-8000-000000000001");
  request.agent = QStringLiteral("codex");
  request.sessionID = QStringLiteral("sess/1");
  request.agentPID = 2147483647;
  request.kind = QStringLiteral("waiting_choice");
  request.timeoutSeconds = 120;
  request.payload.tool = QStringLiteral("shell");
  request.payload.command = QStringLiteral("echo 'a\nb' > /tmp/x");
  request.payload.cwd = QStringLiteral("/home/u/projekt \u00e9");
  request.payload.transcriptPath = QStringLiteral("/t.jsonl");
  request.payload.prompt = QStringLiteral("line one\nline two");
  request.payload.multiline = true;
  request.payload.options = QList<HookRequestOption>{
      {QStringLiteral("a"), QStringLiteral("Alpha"), QStringLiteral("first")},
      {QStringLiteral("b"), QStringLiteral("\u6d4b\u8bd5"), std::nullopt}};
  request.payload.extras = QMap<QString, QString>{{QStringLiteral("hook_event_name"),
                                                   QStringLiteral("Stop")}};
  return request;
}

TEST(SocketFrameCodecTest, FramingAtTheLimits) {
  const qsizetype limit = SocketFrameCodec::kMaxLineBytes;
  struct Case {
    const char* name;
    QByteArray buffer;
    std::optional<FrameDecodeError> error;  // nullopt: a line of `lineBytes` comes back
    qsizetype lineBytes;
    qsizetype leftBytes;
  };
  const Case cases[] = {
      {"line at the limit", QByteArray(limit, 'x') + '\n', std::nullopt, limit, 0},
      {"line one past the limit", QByteArray(limit + 1, 'x') + '\n',
       FrameDecodeError::oversized(limit + 1), 0, limit + 2},
      {"unterminated at the limit", QByteArray(limit, 'x'), FrameDecodeError::incomplete(), 0,
       limit},
      {"unterminated past the limit", QByteArray(limit + 1, 'x'),
       FrameDecodeError::oversized(limit + 1), 0, limit + 1},
      {"empty buffer", QByteArray(), FrameDecodeError::incomplete(), 0, 0},
      {"empty line", QByteArray("\n{}\n"), std::nullopt, 0, 3},
      {"bytes after the line stay", QByteArray("ab\ncd"), std::nullopt, 2, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QByteArray buffer = c.buffer;
    auto line = SocketFrameCodec::consumeLine(buffer);
    if (c.error) {
      ASSERT_FALSE(line.ok());
      EXPECT_EQ(line.error(), *c.error);
    } else {
      ASSERT_TRUE(line.ok());
      EXPECT_EQ(line.value().size(), c.lineBytes);
    }
    EXPECT_EQ(buffer.size(), c.leftBytes);
  }
}

TEST(SocketFrameCodecTest, TwoFramesInOneBufferAndASplitFrame) {
  const QByteArray second = validRequestLine().replace("r-1", "r-2") + '\n';
  QByteArray buffer = validRequestLine() + '\n' + second;
  auto first = SocketFrameCodec::decodeRequest(buffer);
  ASSERT_TRUE(first.ok()) << first.error().description().toStdString();
  EXPECT_EQ(first.value().requestID, QStringLiteral("r-1"));
  EXPECT_EQ(first.value().payload.command, QStringLiteral("ls /tmp"));
  EXPECT_EQ(buffer, second);

  QByteArray split = second.left(20);
  auto partial = SocketFrameCodec::decodeRequest(split);
  ASSERT_FALSE(partial.ok());
  EXPECT_EQ(partial.error().kind, FrameDecodeError::Kind::incomplete);
  EXPECT_EQ(split, second.left(20));
  split += second.mid(20);
  auto whole = SocketFrameCodec::decodeRequest(split);
  ASSERT_TRUE(whole.ok());
  EXPECT_EQ(whole.value().requestID, QStringLiteral("r-2"));
  EXPECT_TRUE(split.isEmpty());
}

// Each case edits the valid request ("*" replaces all of it); `ok` says whether the line must
// still decode.
TEST(SocketFrameCodecTest, RequiredOptionalAndMistypedFields) {
  struct Case {
    const char* name;
    const char* from;
    const char* to;
    bool ok;
  };
  const Case cases[] = {
      {"payload missing", R"(,"payload":{"tool":"Bash","command":"ls \/tmp"})", "", false},
      {"payload null", R"({"tool":"Bash","command":"ls \/tmp"})", "null", false},
      {"payload without options", "", "", true},
      {"tool null", R"("tool":"Bash")", R"("tool":null)", true},
      {"every payload key null",
       R"("tool":"Bash","command":"ls \/tmp")",
       R"("tool":null,"command":null,"cwd":null,"transcript_path":null,"prompt":null,)"
       R"("multiline":null,"options":null,"extras":null)",
       true},
      {"kind missing", R"("kind":"permission_request",)", "", false},
      {"kind null", R"("permission_request")", "null", false},
      {"unknown kind", R"("permission_request")", R"("telepathy")", true},
      {"v as text", R"("v":1)", R"("v":"1")", false},
      {"v of another version", R"("v":1)", R"("v":7)", true},
      {"agent_pid over 32 bits", "4242", "2147483648", false},
      {"agent_pid negative", "4242", "-1", true},
      {"timeout with a fraction", "120", "1.5", false},
      {"session_id as number", R"("session_id":"s")", R"("session_id":5)", false},
      {"unknown keys", R"("v":1,)", R"("v":1,"extra":[1,{"x":null}],)", true},
      {"multiline as number", R"("tool":"Bash")", R"("multiline":1)", false},
      {"option without detail", R"("tool":"Bash")", R"("options":[{"id":"a","label":"A"}])",
       true},
      {"option without id", R"("tool":"Bash")", R"("options":[{"label":"A"}])", false},
      {"option without label", R"("tool":"Bash")", R"("options":[{"id":"a"}])", false},
      {"options of text", R"("tool":"Bash")", R"("options":["a","b"])", false},
      {"extras of text", R"("tool":"Bash")", R"("extras":{"hook_event_name":"Stop"})", true},
      {"extras with a number", R"("tool":"Bash")", R"("extras":{"n":1})", false},
      {"not an object", "*", "[1,2]", false},
      {"not JSON", "*", "{\"v\":1,", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QByteArray line = validRequestLine();
    if (QByteArray(c.from) == "*") {
      line = c.to;
    } else if (*c.from != '\0') {
      ASSERT_TRUE(line.contains(c.from));
      line.replace(c.from, c.to);
    }
    QByteArray buffer = line + '\n';
    auto request = SocketFrameCodec::decodeRequest(buffer);
    EXPECT_EQ(request.ok(), c.ok) << (request.ok() ? "" : request.error().message.toStdString());
    EXPECT_TRUE(buffer.isEmpty());
    if (!request.ok()) {
      EXPECT_EQ(request.error().kind, FrameDecodeError::Kind::malformed);
      EXPECT_TRUE(request.error().message.startsWith(QStringLiteral("HookRequest: ")));
    }
  }
}

TEST(SocketFrameCodecTest, AbsentPayloadFieldsDecodeAsAbsent) {
  QByteArray buffer = validRequestLine().replace(R"("tool":"Bash")", R"("tool":null)") + '\n';
  auto request = SocketFrameCodec::decodeRequest(buffer);
  ASSERT_TRUE(request.ok());
  EXPECT_EQ(request.value().payload.tool, std::nullopt);
  EXPECT_EQ(request.value().payload.options, std::nullopt);
  EXPECT_EQ(request.value().payload.multiline, std::nullopt);
  EXPECT_EQ(request.value().agentPID, 4242);
}

TEST(SocketFrameCodecTest, EmptyLineIsMalformedAndKeepsTheNextFrame) {
  QByteArray buffer = "\n" + validRequestLine() + '\n';
  auto empty = SocketFrameCodec::decodeRequest(buffer);
  ASSERT_FALSE(empty.ok());
  EXPECT_EQ(empty.error().kind, FrameDecodeError::Kind::malformed);
  EXPECT_TRUE(SocketFrameCodec::decodeRequest(buffer).ok());
}

TEST(SocketFrameCodecTest, RequestRoundTripsThroughOneFrame) {
  const HookRequest request = fullRequest();
  const QByteArray frame = SocketFrameCodec::encode(request);
  EXPECT_TRUE(frame.endsWith('\n'));
  EXPECT_EQ(frame.count('\n'), 1);
  EXPECT_TRUE(frame.contains(R"("cwd":"\/home\/u\/projekt)"));
  QByteArray buffer = frame;
  auto decoded = SocketFrameCodec::decodeRequest(buffer);
  ASSERT_TRUE(decoded.ok()) << decoded.error().message.toStdString();
  EXPECT_EQ(decoded.value(), request);
  EXPECT_TRUE(buffer.isEmpty());

  // Absent payload fields are left out, not written as null.
  HookRequest bare = request;
  bare.payload = HookRequestPayload{};
  EXPECT_TRUE(SocketFrameCodec::encode(bare).contains(R"("payload":{})"));
}

TEST(SocketFrameCodecTest, ReplyFrameListsKeysInByteOrder) {
  HookReply reply;
  reply.requestID = QStringLiteral("r-9");
  reply.decision = QStringLiteral("allow");
  reply.mode = QStringLiteral("once");
  reply.rawAgentPayload =
      QStringLiteral(R"({"hookSpecificOutput":{"hookEventName":"PreToolUse"}})") + QChar('\n');
  const QByteArray frame = SocketFrameCodec::encode(reply);
  EXPECT_EQ(frame,
            QByteArray(R"({"decision":"allow","mode":"once","raw_agent_payload":)"
                       R"("{\"hookSpecificOutput\":{\"hookEventName\":\"PreToolUse\"}}\n",)"
                       R"("request_id":"r-9","type":"hook.reply","v":1})") +
                '\n');
  auto decoded = decodeHookReply(frame.chopped(1));
  ASSERT_TRUE(decoded.ok());
  EXPECT_EQ(decoded.value(), reply);
  EXPECT_FALSE(decodeHookReply(R"({"v":1,"type":"hook.reply","request_id":"r"})").ok());
}

}  // namespace
}  // namespace tandrel
