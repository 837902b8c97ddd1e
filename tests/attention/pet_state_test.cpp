#include "attention/pet_state.h"

#include "reminder_test_events.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

namespace tandrel {
namespace {

using test::answerablePermission;
using test::humanCompletion;
using test::rateLimitUsage;
using test::reminderEvent;
using test::withChange;
using test::workingEvent;

TEST(PetStateTest, RulesInOrder) {
  const TandrelEvent silentPermission =
      withChange(answerablePermission("silent"), [](TandrelEvent& e) { e.notifyPolicy = QStringLiteral("silent"); });
  const TandrelEvent failure = reminderEvent("failed", "task_failed");
  const TandrelEvent limited = reminderEvent("limited", "rate_limited");
  const TandrelEvent sessionEnd =
      withChange(humanCompletion("end"), [](TandrelEvent& e) { e.rawEventName = QStringLiteral("SessionEnd"); });
  UsageSnapshot noRateLimit;
  noRateLimit.tokens = UsageMetric{QStringLiteral("12k"), QString(), std::nullopt, QStringLiteral("error")};

  const struct {
    const char* name;
    std::vector<TandrelEvent> events;
    std::optional<UsageSnapshot> usage;
    bool socketPending;
    PetState expected;
  } cases[] = {
      {"nothing", {}, std::nullopt, false, PetState::idle},
      {"socket request pending, with nothing else", {}, std::nullopt, true, PetState::approval},
      {"socket request pending outranks a failure", {failure}, std::nullopt, true, PetState::approval},
      {"approval, even without the human-facing flag", {failure, silentPermission}, std::nullopt, false,
       PetState::approval},
      {"a permission nobody can answer is no approval", {reminderEvent("bare", "permission_request")}, std::nullopt,
       false, PetState::idle},
      {"failure outranks work and rate limits", {workingEvent("w"), limited, failure},
       rateLimitUsage(QStringLiteral("error")), false, PetState::error},
      {"usage rate limit error", {workingEvent("w"), humanCompletion("d")}, rateLimitUsage(QStringLiteral("error")),
       false, PetState::tired},
      {"usage status compared exactly", {workingEvent("w")}, rateLimitUsage(QStringLiteral("Error")), false,
       PetState::working},
      {"usage without a rate-limit metric", {}, noRateLimit, false, PetState::idle},
      {"rate-limit event outranks work", {workingEvent("w"), limited}, std::nullopt, false, PetState::tired},
      {"work outranks completion", {humanCompletion("d"), workingEvent("w")}, std::nullopt, false, PetState::working},
      {"human-facing completion", {humanCompletion("d")}, std::nullopt, false, PetState::done},
      {"session-end completion", {sessionEnd}, std::nullopt, false, PetState::idle},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PetStateResolver::resolve(c.events, c.usage, c.socketPending), c.expected) << c.name;
  }
}

TEST(PetStateTest, SilentRunningToolUpdateIsWorking) {
  test::TempHome home;
  const std::optional<TandrelEvent> event = test::parsedEvent(
      R"({"event_id":"run","source":"codex","event_type":"task_updated","status":"running_tool","notify_policy":"silent"})");
  ASSERT_TRUE(event);
  EXPECT_EQ(PetStateResolver::resolve(std::vector{*event}, std::nullopt, false), PetState::working);
}

TEST(PetStateTest, NamesAndAccentColours) {
  const struct {
    PetState state;
    const char* name;
    QColor colour;
  } cases[] = {
      {PetState::idle, "idle", QColor::fromRgbF(0.58f, 0.58f, 0.58f)},
      {PetState::working, "working", QColor(139, 92, 246)},
      {PetState::approval, "approval", QColor(245, 179, 1)},
      {PetState::done, "done", QColor(0, 214, 163)},
      {PetState::error, "error", QColor(255, 77, 94)},
      {PetState::tired, "tired", QColor(255, 155, 61)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(rawValue(c.state), QString::fromLatin1(c.name));
    const QColor colour = petAccentColor(c.state);
    EXPECT_EQ(colour.rgba(), c.colour.rgba()) << c.name;
    EXPECT_EQ(colour.alpha(), 255) << c.name;
  }
  EXPECT_NEAR(petAccentColor(PetState::idle).redF(), 0.58, 1e-4);
}

}  // namespace
}  // namespace tandrel
