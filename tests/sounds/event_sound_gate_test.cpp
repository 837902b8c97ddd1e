#include "sounds/event_sound_gate.h"

#include <gtest/gtest.h>

#include "attention/reminder_test_events.h"

namespace tandrel {
namespace {

using test::answerablePermission;
using test::humanCompletion;
using test::reminderEvent;
using test::withChange;
using test::workingEvent;

// A store's events and revision, as the views see them.
struct Store {
  std::vector<TandrelEvent> events;
  qint64 revision = 0;
  void add(std::vector<TandrelEvent> added) {
    events.insert(events.end(), added.begin(), added.end());
    ++revision;
  }
};

std::optional<QString> soundedID(EventSoundGate& gate, const Store& store, double now) {
  const auto event = gate.eventToSound(store.events, store.revision, now);
  return event ? std::optional<QString>(event->id) : std::nullopt;
}

TEST(EventSoundGateTest, OneViewPerRevisionSoundsANewEventOnce) {
  SharedEventSoundState shared;
  Store store;
  store.add({answerablePermission("old")});
  std::vector<EventSoundGate> views(3, EventSoundGate(shared));
  for (auto& view : views) view.seed(store.events, store.revision);
  EXPECT_EQ(soundedID(views[0], store, 100), std::nullopt) << "history never sounds";

  store.add({answerablePermission("new", 10)});
  EXPECT_EQ(soundedID(views[1], store, 100), QStringLiteral("new"));
  EXPECT_EQ(soundedID(views[0], store, 100), std::nullopt);
  EXPECT_EQ(soundedID(views[2], store, 100), std::nullopt);
  EXPECT_EQ(soundedID(views[1], store, 200), std::nullopt) << "the same revision again is free";

  // A view made later neither replays nor, once the store moves on, sounds what others handled.
  EventSoundGate late(shared);
  late.seed(store.events, store.revision);
  store.add({workingEvent("work", 20)});
  EXPECT_EQ(soundedID(late, store, 300), std::nullopt);
}

TEST(EventSoundGateTest, OnlyAttentionAndHumanCompletionsSound) {
  struct Case {
    const char* name;
    TandrelEvent event;
    bool sounds;
  };
  const std::vector<Case> cases = {
      {"task started", workingEvent("e"), false},
      {"bypassed permission", reminderEvent("e", "permission_request"), false},
      {"silent permission",
       withChange(answerablePermission("e"), [](TandrelEvent& e) { e.notifyPolicy = QStringLiteral("silent"); }), false},
      {"failure", reminderEvent("e", "task_failed"), false},
      {"rate limit", reminderEvent("e", "rate_limited"), false},
      {"completion with content", humanCompletion("e"), true},
      {"completion without content", reminderEvent("e", "task_completed"), false},
      {"waiting input with options",
       withChange(reminderEvent("e", "waiting_input"),
                  [](TandrelEvent& e) { e.choiceOptions = {test::choice("a", "A"), test::choice("b", "B")}; }),
       true},
      {"permission", answerablePermission("e"), true},
  };
  for (const Case& c : cases) {
    SharedEventSoundState shared;
    EventSoundGate gate(shared);
    Store store;
    gate.seed(store.events, store.revision);
    store.add({c.event});
    EXPECT_EQ(gate.eventToSound(store.events, store.revision, 10).has_value(), c.sounds) << c.name;
    EXPECT_TRUE(gate.notifiedEventIDs.contains("e")) << c.name << ": seen either way";
  }
}

TEST(EventSoundGateTest, TheMostUrgentNewEventIsTheCandidate) {
  SharedEventSoundState shared;
  EventSoundGate gate(shared);
  Store store;
  gate.seed(store.events, store.revision);
  store.add({humanCompletion("done", 5), answerablePermission("older-ask", 1), answerablePermission("newer-ask", 2),
             workingEvent("work", 9)});
  EXPECT_EQ(soundedID(gate, store, 10), QStringLiteral("newer-ask"));
}

TEST(EventSoundGateTest, SoundsStayThreeSecondsApartAndSuppressedOnesAreNotReplayed) {
  SharedEventSoundState shared;
  EventSoundGate gate(shared);
  Store store;
  gate.seed(store.events, store.revision);
  store.add({answerablePermission("a", 1)});
  EXPECT_EQ(soundedID(gate, store, 50.0), QStringLiteral("a"));
  store.add({answerablePermission("b", 2)});
  EXPECT_EQ(soundedID(gate, store, 51.5), std::nullopt);
  store.add({workingEvent("w", 3)});
  EXPECT_EQ(soundedID(gate, store, 60.0), std::nullopt) << "b is not played later";
  store.add({answerablePermission("c", 4)});
  EXPECT_EQ(soundedID(gate, store, 63.0), QStringLiteral("c")) << "3.0 s after the last sound";
  EXPECT_DOUBLE_EQ(shared.lastPlayedAt, 63.0);
}

TEST(EventSoundGateTest, IDSetsAreCutBackToTheLastFiveHundredEvents) {
  SharedEventSoundState shared;
  EventSoundGate gate(shared);
  Store store;
  gate.seed(store.events, store.revision);
  std::vector<TandrelEvent> batch;
  for (int i = 0; i < 1001; ++i) batch.push_back(workingEvent(QStringLiteral("e%1").arg(i), i));
  store.add(batch);
  gate.eventToSound(store.events, store.revision, 1);
  EXPECT_EQ(gate.notifiedEventIDs.size(), 500);
  EXPECT_TRUE(gate.notifiedEventIDs.contains("e1000"));
  EXPECT_TRUE(gate.notifiedEventIDs.contains("e501"));
  EXPECT_FALSE(gate.notifiedEventIDs.contains("e500"));

  // The shared set is trimmed the same way when a candidate brings it past the limit.
  store.add({answerablePermission("ask", 2000)});
  shared.notifiedEventIDs.clear();
  for (int i = 0; i < 1000; ++i) shared.notifiedEventIDs.insert(QStringLiteral("x%1").arg(i));
  EXPECT_EQ(soundedID(gate, store, 10), QStringLiteral("ask"));
  EXPECT_EQ(shared.notifiedEventIDs, recentEventIDs(store.events));
}

}  // namespace
}  // namespace tandrel
