// The cards' ages follow the clock while the island is expanded: only the age text is repainted,
// when the next age reads differently (each second under a minute, then each minute).

#include "island/island_view_fixture.h"
#include "platform/user_defaults.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

namespace tandrel {
namespace {

using namespace std::chrono_literals;

TEST(CardAges, TheNextRefreshIsWhenTheNextAgeReadsDifferently) {
  const QDateTime base = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);
  const auto card = [&base](qint64 offsetMs) {
    IslandMessage message;
    message.event.timestamp = base.addMSecs(offsetMs);
    return message;
  };
  const struct {
    const char* name;
    std::vector<IslandMessage> page;
    qint64 nowMs;  // after base
    std::optional<qint64> delay;
  } cases[] = {
      {"five seconds old", {card(0)}, 5'000, 1'000},
      {"half a second into a second", {card(0)}, 59'500, 500},
      {"a minute and a second old", {card(0)}, 61'000, 59'000},
      {"hours old: once a minute", {card(0)}, 2 * 3'600'000 + 10'000, 50'000},
      {"the youngest card decides", {card(0), card(100'000)}, 130'250, 750},
      {"in the future counts as new", {card(10'000)}, 0, 1'000},
      {"no dated card", {IslandMessage{}}, 0, std::nullopt},
      {"no card", {}, 0, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(inbox_layout::cardAgeRefreshDelayMs(c.page, base.addMSecs(c.nowMs)), c.delay);
  }
}

TEST(CardAgesGui, OnlyTheAgesAreRepaintedAsTheyChange) {
  test::IslandFixture f;
  f.load({test::completionLine("done")});  // 08:00:00, the fake clock's start
  f.clock.advance(5s);
  UserDefaults defaults(f.home.file("defaults.json"));
  SettingsModel settings(defaults);
  settings.change([](UserSettings& s) { s.reduceMotion = true; });  // no animation frames in between
  TandrelView view(QSize(540, 501), *f.store, settings, f.clock);
  view.setMode(OverlayMode::expanded);
  view.show();
  ASSERT_TRUE(test::waitUntil([] { return TandrelView::paintCountForTests > 0; }));
  const auto settle = [] {
    for (int i = 0; i < 10; ++i) QCoreApplication::processEvents();
  };
  settle();
  const QRegion ageRegion(inbox_layout::cardAgeRect(view.messageRectsForTests().at("done")).toAlignedRect());

  const struct {
    const char* what;
    std::chrono::milliseconds advance;
    bool repaints;
  } steps[] = {
      {"within the second", 999ms, false},
      {"the next second", 1ms, true},
      {"a second later", 1s, true},
      {"up to the minute", 53s, true},
      {"within the first minute mark", 30s, false},
      {"the next minute", 30s, true},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    const int paints = TandrelView::paintCountForTests;
    f.clock.advance(step.advance);
    settle();
    if (!step.repaints) {
      EXPECT_EQ(TandrelView::paintCountForTests, paints);
      continue;
    }
    ASSERT_TRUE(test::waitUntil([&] { return TandrelView::paintCountForTests > paints; }, 1000));
    EXPECT_EQ(TandrelView::lastPaintRegionForTests, ageRegion);
  }

  // Collapsed, nothing follows the clock.
  view.setMode(OverlayMode::collapsed);
  settle();
  const int paints = TandrelView::paintCountForTests;
  f.clock.advance(2min);
  settle();
  EXPECT_EQ(TandrelView::paintCountForTests, paints);
}

}  // namespace
}  // namespace tandrel
