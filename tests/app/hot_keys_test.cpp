#include "app/hot_keys.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace tandrel {
namespace {

std::vector<PendingAction> waiting(const QStringList& ids) {
  std::vector<PendingAction> actions;
  for (const QString& id : ids) {
    PendingAction action;
    action.requestID = id;
    action.payload.cwd = QStringLiteral("/work/") + id;
    actions.push_back(action);
  }
  return actions;
}

QString idOf(const std::optional<PendingAction>& action) { return action ? action->requestID : QStringLiteral("-"); }

TEST(HotKeys, TheLatestPendingActionIsTheNewest) {
  EXPECT_EQ(idOf(latestPendingAction(waiting({}))), "-");
  EXPECT_EQ(idOf(latestPendingAction(waiting({"a"}))), "a");
  EXPECT_EQ(idOf(latestPendingAction(waiting({"a", "b", "c"}))), "c");
}

TEST(HotKeys, CyclingGoesOldestToNewestAndWraps) {
  const struct {
    QStringList waiting;
    std::optional<QString> last;
    QString next;
  } cases[] = {
      {{}, std::nullopt, "-"},
      {{}, QStringLiteral("a"), "-"},
      {{"a", "b", "c"}, std::nullopt, "a"},
      {{"a", "b", "c"}, QStringLiteral("a"), "b"},
      {{"a", "b", "c"}, QStringLiteral("b"), "c"},
      {{"a", "b", "c"}, QStringLiteral("c"), "a"},
      // The last cycled request was answered: start again at the oldest.
      {{"a", "c"}, QStringLiteral("b"), "a"},
      {{"a"}, QStringLiteral("a"), "a"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.waiting.join(',').toStdString() + " after " + c.last.value_or("none").toStdString());
    const std::optional<PendingAction> next = nextPendingActionToCycle(waiting(c.waiting), c.last);
    EXPECT_EQ(idOf(next), c.next);
    if (next) {
      EXPECT_EQ(next->payload.cwd, QStringLiteral("/work/") + c.next);
    }
  }
}

TEST(HotKeys, TheThreeKeysUseSuperForCommandAndNeverCtrlShiftU) {
  QStringList texts;
  for (const HotKey& key : kApplicationHotKeys) {
    texts << hotKeyText(key);
  }
  EXPECT_EQ(texts, QStringList({"Ctrl+Alt+Space", "Super+Shift+U", "Ctrl+Super+U"}));
  EXPECT_EQ(kApplicationHotKeys[0].id, static_cast<int>(HotKeyOperation::toggle));
  EXPECT_EQ(kApplicationHotKeys[1].id, static_cast<int>(HotKeyOperation::jumpToLatestPending));
  EXPECT_EQ(kApplicationHotKeys[2].id, static_cast<int>(HotKeyOperation::cycleToNextPending));
}

}  // namespace
}  // namespace tandrel
