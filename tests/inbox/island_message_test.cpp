#include "inbox/island_message.h"

#include "catalog/tool_catalog.h"
#include "message_test_events.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace tandrel {
namespace {

using test::bridgeEvent;

const char* const kNow = "2026-05-11T13:05:00Z";

MessageBuildContext context() {
  return MessageBuildContext{QDateTime::fromString(QString::fromLatin1(kNow), Qt::ISODate), {}, {}};
}

InboxMessages build(const std::vector<TandrelEvent>& events, const QSet<QString>& readIDs = {},
                    const QSet<QString>& hiddenIDs = {}) {
  return buildIslandMessages(events, readIDs, hiddenIDs, context());
}

QStringList ids(const std::vector<TandrelEvent>& events) {
  QStringList result;
  for (const TandrelEvent& event : events) result << event.id;
  return result;
}

QStringList leadIDs(const InboxMessages& inbox) {
  QStringList result;
  for (const IslandMessage& message : inbox.messages) result << message.event.id;
  return result;
}

// A permission request the inbox shows (it names a decision file).
QByteArray permission(const char* id, const char* extra = "") {
  return QByteArray(R"({"event_id":")") + id +
         R"(","source":"codex","session_id":"s1","event_type":"permission_request",)" +
         R"("action":{"decision_file":"/tmp/d","kind":"bash","risk":"low"},"title":"Run ls")" + extra + "}";
}

// A completion the inbox shows (it carries the agent's answer).
QByteArray completion(const char* id, const char* timestamp, const char* extra = "") {
  return QByteArray(R"({"event_id":")") + id +
         R"(","source":"codex","session_id":"s1","event_type":"task_completed","completion_snippet":"done",)" +
         R"("timestamp":")" + timestamp + R"(")" + extra + "}";
}

TandrelEvent ev(const QByteArray& record) { return bridgeEvent(record.constData()); }

void expectColor(const QColor& actual, double red, double green, double blue, double alpha) {
  EXPECT_NEAR(actual.redF(), red, 1e-4);
  EXPECT_NEAR(actual.greenF(), green, 1e-4);
  EXPECT_NEAR(actual.blueF(), blue, 1e-4);
  EXPECT_NEAR(actual.alphaF(), alpha, 1e-4);
}

class IslandMessageTest : public ::testing::Test {
 protected:
  test::TempHome home;
};

TEST_F(IslandMessageTest, NormalizedGroupPart) {
  const std::pair<const char*, const char*> cases[] = {
      {"Pick - One", "pick one"},
      {"  PICK \u00B7 ONE\n", "pick one"},
      {"Pick\u00B7one - two", "pick\u00B7one two"},
      {"Pick \u00B7 one", "pick one"},
      {"a-b", "a-b"},
      {"", ""},
  };
  for (const auto& [input, expected] : cases) {
    EXPECT_EQ(normalizedGroupPart(QString::fromUtf8(input)), QString::fromUtf8(expected)) << input;
  }
}

TEST_F(IslandMessageTest, GroupKeysByEventType) {
  const TandrelEvent request = ev(permission("p", R"(,"cwd":"/Work - A","risk":"x")"));
  const QString codex = normalizedGroupPart(toolDisplayName("codex"));
  EXPECT_EQ(inboxGroupKey(request), "human_loop|" + codex + "|" + request.taskKey + "|/work a|bash|run ls|low");
  const TandrelEvent input =
      ev(R"({"event_id":"i","source":"claude_code","event_type":"waiting_input","title":"Pick - One"})");
  EXPECT_EQ(inboxGroupKey(input), "human_loop|claude code|" + input.taskKey + "|pick one");
  const TandrelEvent done = ev(completion("c", "2026-05-11T13:00:00Z"));
  EXPECT_EQ(inboxGroupKey(done), "task|" + codex + "|" + done.taskKey);
}

TEST_F(IslandMessageTest, OnlyUnreadUnhiddenHumanFacingEventsBecomeCards) {
  const std::vector<TandrelEvent> events = {
      ev(permission("shown")),
      ev(permission("read", R"(,"title":"Other")")),
      ev(permission("hidden", R"(,"title":"Third")")),
      ev(permission("silent", R"(,"title":"Quiet","notify_policy":" Silent ")")),
      ev(R"({"event_id":"working","event_type":"task_updated","status":"running_tool"})"),
      ev(R"({"event_id":"failed","event_type":"task_failed","title":"Boom"})"),
      ev(R"({"event_id":"limited","event_type":"rate_limited"})"),
      ev(R"({"event_id":"bare","event_type":"task_completed"})"),  // no answer to show
      ev(R"({"event_id":"nochannel","event_type":"permission_request"})"),
  };
  const InboxMessages inbox = build(events, {"read"}, {"hidden"});
  EXPECT_EQ(ids(inbox.sortedActiveEvents), QStringList{"shown"});
  EXPECT_EQ(leadIDs(inbox), QStringList{"shown"});
  EXPECT_EQ(inbox.approvalCount, 1);
}

TEST_F(IslandMessageTest, GroupingAndOrder) {
  const std::vector<TandrelEvent> events = {
      ev(completion("done-old", "2026-05-11T12:00:00Z")),
      ev(permission("ls", R"(,"timestamp":"2026-05-11T12:30:00Z")")),
      // Same task as "ls" but another command and another risk: cards of their own.
      ev(permission("rm", R"(,"timestamp":"2026-05-11T12:31:00Z","action":{"decision_file":"/tmp/d","kind":"rm","risk":"low"})")),
      ev(permission("ls-high", R"(,"timestamp":"2026-05-11T12:29:00Z","action":{"decision_file":"/tmp/d","kind":"bash","risk":"high"})")),
      ev(completion("done-new", "2026-05-11T12:50:00Z")),
      // Titles that differ only in case and separator share a card.
      ev(R"({"event_id":"ask1","source":"codex","session_id":"s1","event_type":"waiting_input","title":"Pick - One",
             "options":[{"id":"1","label":"One"}],"timestamp":"2026-05-11T12:00:00Z"})"),
      ev(R"({"event_id":"ask2","source":"codex","session_id":"s1","event_type":"waiting_input","title":"PICK · one",
             "options":[{"id":"1","label":"One"}],"timestamp":"2026-05-11T12:00:00Z"})"),
      // Same risk and command as "ls" but read: it does not join the card.
      ev(permission("ls-read", R"(,"timestamp":"2026-05-11T12:40:00Z")")),
  };
  const InboxMessages inbox = build(events, {"ls-read"});
  // Priority first (requests 0, completions 4), the newer first among equals, list order last.
  EXPECT_EQ(ids(inbox.sortedActiveEvents),
            (QStringList{"rm", "ls", "ls-high", "ask1", "ask2", "done-new", "done-old"}));
  ASSERT_EQ(inbox.groupedActiveEvents.size(), 5u);
  EXPECT_EQ(ids(inbox.groupedActiveEvents[3]), (QStringList{"ask1", "ask2"}));
  EXPECT_EQ(ids(inbox.groupedActiveEvents[4]), (QStringList{"done-new", "done-old"}));
  EXPECT_EQ(leadIDs(inbox), (QStringList{"rm", "ls", "ls-high", "ask1", "done-new"}));
  EXPECT_EQ(ids(inbox.messages[4].events), (QStringList{"done-new", "done-old"}));
  EXPECT_EQ(inbox.messages[4].normalized->id, "done-new+done-old");
  EXPECT_EQ(inbox.approvalCount, 4);
}

TEST_F(IslandMessageTest, WaitingRequestComesBeforeANewerCompletion) {
  const std::vector<TandrelEvent> events = {
      ev(completion("done", "2026-05-11T13:00:00Z")),
      ev(R"({"event_id":"ask","event_type":"waiting_input","response_file":"/tmp/r","timestamp":"2026-05-10T13:00:00Z"})"),
  };
  EXPECT_EQ(leadIDs(build(events)), (QStringList{"ask", "done"}));
}

TEST_F(IslandMessageTest, EmptyStoreGivesAnEmptyInbox) {
  const InboxMessages inbox = build({});
  EXPECT_TRUE(inbox.messages.empty());
  EXPECT_TRUE(inbox.groupedActiveEvents.empty());
  EXPECT_EQ(inbox.approvalCount, 0);
  EXPECT_FALSE(inbox.latestEvent.has_value());
  EXPECT_FALSE(makeMessage({}, context()).has_value());
}

TEST_F(IslandMessageTest, LatestEventIsTheNewestOfAllEventsTheEarlierOnTies) {
  const std::vector<TandrelEvent> events = {
      ev(R"({"event_id":"old","timestamp":"2026-05-11T10:00:00Z"})"),
      ev(R"({"event_id":"first","timestamp":"2026-05-11T12:00:00Z"})"),
      ev(R"({"event_id":"second","timestamp":"2026-05-11T12:00:00Z"})"),
      ev(R"({"event_id":"untimed"})"),
  };
  const InboxMessages inbox = build(events, {"first"}, {"second"});
  EXPECT_TRUE(inbox.messages.empty());
  ASSERT_TRUE(inbox.latestEvent.has_value());
  EXPECT_EQ(inbox.latestEvent->id, "first");
}

TEST_F(IslandMessageTest, CardLooksByLeadEvent) {
  const double red = 85.0 / 255.0;
  const double amber = 187.0 / 255.0;
  struct Color {
    double r, g, b, a;
  };
  struct Case {
    QByteArray record;
    const char* badge;
    std::vector<IslandButton> buttons;
    std::optional<QString> risk;
    Color accent;
    Color fill;
  };
  const IslandButton authorize{"Authorize", "authorize"};
  const IslandButton reject{"Reject", "reject"};
  const IslandButton ignore{"Ignore", "ignore"};
  const IslandButton jump{"Jump", "jump"};
  const IslandButton markRead{"Mark Read", "mark_read"};
  const IslandButton configure{"Configure", "configure"};
  const QColor codex = toolColor(toolDisplayName("codex"));
  const Color codexColor{codex.redF(), codex.greenF(), codex.blueF(), codex.alphaF()};
  const Case cases[] = {
      {R"({"event_id":"a","event_type":"permission_request","action":{"decision_file":"/d","risk":"high"}})",
       "Approval", {authorize, reject, ignore, jump}, "HIGH", {1, red, red, 1}, {1, red, red, 0.06}},
      // The risk is compared normalized, as the confirmation of Approve is.
      {R"({"event_id":"a","event_type":"permission_request","action":{"decision_file":"/d","risk":"High"}})",
       "Approval", {authorize, reject, ignore, jump}, "HIGH", {1, red, red, 1}, {1, red, red, 0.06}},
      {R"({"event_id":"a","event_type":"permission_request","severity":"critical","action":{"decision_file":"/d","risk":"medium"}})",
       "Approval", {authorize, reject, ignore, jump}, "MEDIUM", {1, amber, 0, 1}, {1, amber, 0, 0.06}},
      {R"({"event_id":"a","event_type":"permission_request","action":{"decision_command":"decide"}})", "Approval",
       {jump, ignore}, std::nullopt, {1, amber, 0, 1}, {1, amber, 0, 0.06}},
      {R"({"event_id":"a","event_type":"waiting_input","response_file":"/r","options":[{"id":"1","label":"One"}]})",
       "Human", {jump, ignore}, std::nullopt, {1, amber, 0, 1}, {1, amber, 0, 0.055}},
      {R"({"event_id":"a","event_type":"plan_ready","action":{"risk":"high"}})", "Plan", {ignore, jump},
       std::nullopt, {1, amber, 0, 1}, {1, amber, 0, 0.055}},
      {R"({"event_id":"a","event_type":"task_completed"})", "Done", {markRead, jump}, std::nullopt,
       {0, 214.0 / 255.0, 163.0 / 255.0, 1}, {1, 1, 1, 0.028}},
      {R"({"event_id":"a","source":"codex","event_type":"task_updated","status":"completed"})", "Completed",
       {ignore, jump}, std::nullopt, codexColor, {1, 1, 1, 0.024}},
      {R"({"event_id":"a","event_type":"task_failed"})", "Error", {markRead, ignore, configure}, std::nullopt,
       {1, red, red, 1}, {1, red, red, 0.05}},
      {R"({"event_id":"a","event_type":"task_started","severity":"critical"})", "Task Started", {ignore, jump},
       std::nullopt, {1, red, red, 1}, {1, red, red, 0.05}},
      {R"({"event_id":"a","event_type":"rate_limited"})", "Rate Limit", {markRead, ignore, configure}, std::nullopt,
       {1, 136.0 / 255.0, 0, 1}, {1, 136.0 / 255.0, 0, 0.045}},
      {R"({"event_id":"a","source":"codex","event_type":"task_updated","status":"usage_limited"})", "Usage Limited",
       {markRead, ignore, configure}, std::nullopt, codexColor, {1, 1, 1, 0.024}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.record.constData());
    const std::optional<IslandMessage> message = makeMessage({ev(c.record)}, context());
    ASSERT_TRUE(message.has_value());
    EXPECT_EQ(message->badge, QString::fromUtf8(c.badge));
    EXPECT_EQ(message->buttons, c.buttons);
    EXPECT_EQ(message->risk, c.risk);
    expectColor(message->accent, c.accent.r, c.accent.g, c.accent.b, c.accent.a);
    expectColor(message->fill, c.fill.r, c.fill.g, c.fill.b, c.fill.a);
  }
}

TEST_F(IslandMessageTest, CardCarriesTheNormalizedInteraction) {
  const TandrelEvent choice = ev(R"({"event_id":"c","event_type":"waiting_input","response":{"response_file":"/tmp/r"},
      "options":[{"id":"1","label":"One"},{"id":"2","label":"Two","disabled_reason":"No"}]})");
  const std::optional<IslandMessage> card = makeMessage({choice}, context());
  ASSERT_TRUE(card.has_value());
  EXPECT_EQ(card->normalized->badge, "Choice");
  EXPECT_EQ(card->choiceOptions, choice.choiceOptions);
  EXPECT_EQ(card->responseChannel, ResponseChannel::responseFile("/tmp/r"));

  const TandrelEvent input = ev(R"({"event_id":"i","event_type":"waiting_input","response_command":"reply"})");
  const std::optional<IslandMessage> inputCard = makeMessage({input}, context());
  ASSERT_TRUE(inputCard.has_value());
  EXPECT_TRUE(inputCard->choiceOptions.isEmpty());
  EXPECT_EQ(inputCard->responseChannel, ResponseChannel::responseCommand("reply"));

  // A permission request answers through its buttons, not through an interaction.
  const std::optional<IslandMessage> request =
      makeMessage({ev(R"({"event_id":"p","event_type":"permission_request","action":{"decision_command":"x"}})")},
                  context());
  ASSERT_TRUE(request.has_value());
  EXPECT_EQ(request->responseChannel, ResponseChannel::none());
}

TEST_F(IslandMessageTest, CardTexts) {
  struct Case {
    const char* record;
    const char* title;
    const char* detail;
  };
  const Case cases[] = {
      {R"({"event_id":"a","title":"Fix - tests","tool_name":"Bash - run","message":"ls - la","pid":4242,
           "session_id":"0123456789abcdefghij"})",
       "Fix · tests", "Bash - run · ls · la · pid: 4242 · session: 01234567..."},
      {R"({"event_id":"a","title":"T","project":"my - app","terminal":"tty1","session_id":"0123456789ab"})", "T",
       "my - app · terminal: tty1 · session: 0123456789ab"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.record);
    const std::optional<IslandMessage> message = makeMessage({bridgeEvent(c.record)}, context());
    ASSERT_TRUE(message.has_value());
    EXPECT_EQ(message->title, QString::fromUtf8(c.title));
    EXPECT_EQ(message->detail, QString::fromUtf8(c.detail));
  }
}

TEST_F(IslandMessageTest, CardIdentityTimeAndJump) {
  const TandrelEvent lead = ev(R"({"event_id":"lead","source":"claude_code","source_type":"desktop_app",
      "event_type":"task_completed","timestamp":"2026-05-11T13:00:00Z","preview":{"user":"Why - now"}})");
  const TandrelEvent older = ev(R"({"event_id":"older","event_type":"task_completed"})");
  const ResolvedJumpTarget target{true,
                                  JumpTarget::url("https://example.com"),
                                  "Open",
                                  std::nullopt,
                                  JumpQuality::exactWindow,
                                  nullptr,
                                  ResolvedJumpAction::openURL};
  QStringList asked;
  MessageBuildContext withJump = context();
  withJump.jumpTarget = [&](const TandrelEvent& event) -> std::optional<ResolvedJumpTarget> {
    asked << event.id;
    return target;
  };
  const std::optional<IslandMessage> message = makeMessage({lead, older}, withJump);
  ASSERT_TRUE(message.has_value());
  EXPECT_EQ(message->event, lead);
  EXPECT_EQ(message->events, (std::vector{lead, older}));
  EXPECT_EQ(message->tool, "Claude Code");
  EXPECT_EQ(message->sourceType, "desktop_app");
  EXPECT_EQ(message->toolColor, toolColor("Claude Code"));
  EXPECT_EQ(message->time, "5m ago");
  EXPECT_EQ(message->preview.user, QString::fromUtf8("Why · now"));
  EXPECT_EQ(message->jump, target);
  EXPECT_EQ(asked, QStringList{"lead"});

  const std::optional<IslandMessage> withoutJump = makeMessage({lead}, context());
  ASSERT_TRUE(withoutJump.has_value());
  EXPECT_FALSE(withoutJump->jump.has_value());
  EXPECT_EQ(makeMessage({older}, context())->time, "now");
}

}  // namespace
}  // namespace tandrel
