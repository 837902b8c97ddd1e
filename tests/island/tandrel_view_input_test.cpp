#include "island/choice_note_input.h"
#include "island_view_fixture.h"
#include "platform/user_defaults.h"
#include "support/wait.h"

#include <QJsonDocument>
#include <QMouseEvent>

namespace tandrel {
namespace {

using namespace test;
using Kind = ExpandedClickTarget::Kind;

class IslandInputGui : public ::testing::Test {
 protected:
  IslandInputGui() { TandrelView::livePetAnimationTimerCountForTests = 0; }

  std::unique_ptr<TandrelView> expanded() {
    auto view = f.expandedView();
    view->quitApplication = [this] { ++quits; };
    return view;
  }
  static void press(TandrelView& view, QPointF point) { view.mousePressed(point, QPointF()); }
  static QRectF button(TandrelView& view, const QString& id, const QString& role) {
    const std::optional<QRectF> rect = view.messageActionButtonRectForTests(id, role);
    EXPECT_TRUE(rect.has_value()) << role.toStdString();
    return rect.value_or(QRectF());
  }
  // A point on the card away from its buttons.
  static QPointF cardBody(TandrelView& view, const QString& id) {
    const QRectF card = view.messageRectsForTests().at(id);
    return {card.left() + 40, card.top() + 30};
  }

  IslandFixture f;
  int quits = 0;
};

TEST_F(IslandInputGui, PressesHitTheToolbarTheCardsButtonsAndTheOpenChoiceOptions) {
  f.load({permissionLine("perm", f.home.file("d.json")), choiceLine("choice", f.home.file("r.json"), 40, true)});
  auto view = expanded();
  view->expandedChoiceMessageID = QStringLiteral("choice");
  const std::map<QString, QRectF> options = view->choiceOptionRectsForTests("choice");
  const struct {
    QPointF point;
    Kind kind;
    QString role;
  } cases[] = {
      {QPointF(540 - 23, 501 - 15), Kind::quit, {}},
      {QPointF(540 - 23, 17), Kind::settings, {}},   // the gear
      {QPointF(540 - 71, 41), Kind::settings, {}},   // its larger press area
      {QPointF(540 - 73, 41), Kind::none, {}},
      {QPointF(540 - 71, 43), Kind::none, {}},
      {QPointF(540 - 53, 173), Kind::clearPage, {}},
      {QPointF(540 - 25, 173), Kind::clearAll, {}},
      {button(*view, "perm", "authorize").center(), Kind::messageAction, "authorize"},
      {button(*view, "perm", "reject").center(), Kind::messageAction, "reject"},
      {button(*view, "perm", "jump").center(), Kind::messageAction, "jump"},
      {cardBody(*view, "perm"), Kind::none, {}},
      {options.at("a").center(), Kind::messageAction, "choose_option:a"},
      {options.at("b").center(), Kind::none, {}},  // disabled
      {QPointF(270, 100), Kind::none, {}},
  };
  for (const auto& c : cases) {
    const ExpandedClickTarget target = view->expandedClickTarget(c.point);
    EXPECT_EQ(target.kind, c.kind) << c.point.x() << "," << c.point.y();
    EXPECT_EQ(target.role, c.role) << c.point.x() << "," << c.point.y();
  }
}

TEST_F(IslandInputGui, AHighRiskAuthorizeAsksForASecondPressOnTheSameButton) {
  const QString decision = f.home.file("answers/decision.json");
  const struct {
    const char* name;
    std::vector<const char*> presses;  // "authorize" or "body"
    bool sent;
    std::optional<std::pair<QString, QString>> pending;
  } cases[] = {
      {"one press asks", {"authorize"}, false, std::pair{QString("perm"), QString("authorize")}},
      {"two presses send", {"authorize", "authorize"}, true, std::nullopt},
      {"a press elsewhere cancels", {"authorize", "body", "authorize"}, false,
       std::pair{QString("perm"), QString("authorize")}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QFile::remove(decision);
    f.store.reset();
    f.load({permissionLine("perm", decision, "high")});
    auto view = expanded();
    for (const char* what : c.presses) {
      press(*view, QString(what) == "body" ? cardBody(*view, "perm") : button(*view, "perm", "authorize").center());
    }
    EXPECT_EQ(QFile::exists(decision), c.sent);
    EXPECT_EQ(view->pendingMessageConfirmation, c.pending);
    EXPECT_EQ(view->statusBanner(), c.sent ? QStringLiteral("Authorized request")
                                           : QStringLiteral("Click Authorize again to confirm"));
    EXPECT_EQ(view->statusBannerColor, c.sent ? TandrelView::kSuccessColor : TandrelView::kAttentionColor);
  }
}

TEST_F(IslandInputGui, ALowRiskAuthorizeIsSentAtOnceAndAFailedOneIsReported) {
  const QString decision = f.home.file("answers/decision.json");
  f.load({permissionLine("perm", decision), permissionLine("broken", f.home.path())});
  auto view = expanded();
  press(*view, button(*view, "perm", "authorize").center());
  EXPECT_TRUE(QFile::exists(decision));
  EXPECT_EQ(view->statusBanner(), QStringLiteral("Authorized request"));

  press(*view, button(*view, "broken", "authorize").center());  // the target is a folder
  ASSERT_TRUE(view->statusBanner().has_value());
  EXPECT_TRUE(view->statusBanner()->startsWith("Action failed: ")) << view->statusBanner()->toStdString();
  EXPECT_EQ(view->statusBannerColor, TandrelView::kFailureColor);
}

TEST_F(IslandInputGui, AChoiceCardOpensTakesANoteAndSendsTheChosenOption) {
  const QString response = f.home.file("answers/response.json");
  f.load({choiceLine("choice", response, 40, true)});
  auto view = expanded();

  press(*view, cardBody(*view, "choice"));  // opens, focusing the note
  EXPECT_EQ(view->expandedChoiceMessageID, QStringLiteral("choice"));
  EXPECT_EQ(view->choiceNoteFocusedMessageID, QStringLiteral("choice"));
  EXPECT_TRUE(view->keyPressed(Qt::Key_O, {}, "o"));
  EXPECT_TRUE(view->keyPressed(Qt::Key_K, {}, "k"));
  EXPECT_EQ(view->activeChoiceNote, QStringLiteral("ok"));

  press(*view, view->choiceNoteRectForTests("choice")->center());  // the note keeps its text
  EXPECT_EQ(view->activeChoiceNote, QStringLiteral("ok"));
  press(*view, view->choiceOptionRectsForTests("choice").at("b").center());  // disabled: nothing
  EXPECT_EQ(view->expandedChoiceMessageID, QStringLiteral("choice"));
  EXPECT_FALSE(QFile::exists(response));

  press(*view, view->choiceOptionRectsForTests("choice").at("a").center());
  const QJsonObject answer = QJsonDocument::fromJson(readFile(response)).object();
  EXPECT_EQ(answer.value("option_id").toString(), QStringLiteral("a")) << readFile(response).toStdString();
  EXPECT_EQ(answer.value("note").toString(), QStringLiteral("ok"));
  EXPECT_EQ(view->statusBannerColor, TandrelView::kSuccessColor);
  EXPECT_FALSE(view->expandedChoiceMessageID.has_value());
  EXPECT_TRUE(view->activeChoiceNote.isEmpty());
}

TEST_F(IslandInputGui, APressOnAnOpenCardClosesItAndEmptiesTheNoteAndEscapeDoesTheSame) {
  f.load({choiceLine("choice", f.home.file("r.json"))});
  auto view = expanded();
  press(*view, cardBody(*view, "choice"));
  view->keyPressed(Qt::Key_X, {}, "x");
  press(*view, cardBody(*view, "choice"));
  EXPECT_FALSE(view->expandedChoiceMessageID.has_value());
  EXPECT_FALSE(view->choiceNoteFocusedMessageID.has_value());
  EXPECT_TRUE(view->activeChoiceNote.isEmpty());

  press(*view, cardBody(*view, "choice"));
  view->pendingMessageConfirmation = std::pair{QString("choice"), QString("authorize")};
  EXPECT_TRUE(view->keyPressed(Qt::Key_Escape, {}, {}));  // closes the card only
  EXPECT_FALSE(view->expandedChoiceMessageID.has_value());
  EXPECT_FALSE(view->pendingMessageConfirmation.has_value());
  EXPECT_EQ(view->mode(), OverlayMode::expanded);
  EXPECT_TRUE(view->keyPressed(Qt::Key_Escape, {}, {}));  // then collapses the island
  EXPECT_EQ(view->mode(), OverlayMode::collapsed);
}

TEST_F(IslandInputGui, APointerMoveRepaintsOnlyTheOptionsWhoseHighlightChanges) {
  f.load({choiceLine("choice", f.home.file("r.json"))});
  UserDefaults defaults(f.home.file("defaults.json"));
  SettingsModel settings(defaults);
  settings.change([](UserSettings& s) { s.reduceMotion = true; });  // no animation frames in between
  TandrelView view(QSize(540, 501), *f.store, settings, f.clock);
  view.setMode(OverlayMode::expanded);
  view.expandedChoiceMessageID = QStringLiteral("choice");
  const std::map<QString, QRectF> options = view.choiceOptionRectsForTests("choice");
  const QRectF a = options.at("a");
  const QRectF b = options.at("b");
  const QPointF card = cardBody(view, "choice");
  view.show();
  ASSERT_TRUE(test::waitUntil([] { return TandrelView::paintCountForTests > 0; }));
  const auto settle = [] {
    for (int i = 0; i < 10; ++i) QCoreApplication::processEvents();
  };
  const auto around = [](const QRectF& rect) { return QRegion(rect.adjusted(-1, -1, 1, 1).toAlignedRect()); };
  const struct {
    const char* what;
    QPointF to;
    QRegion painted;  // empty: no paint at all
  } moves[] = {
      {"onto the card, away from the options", card, {}},
      {"within the card", card + QPointF(30, 4), {}},
      {"onto an option", a.center(), around(a)},
      {"within that option", a.center() + QPointF(5, 2), {}},
      {"onto the next option", b.center(), around(a) + around(b)},
      {"off the options", card, around(b)},
  };
  for (const auto& move : moves) {
    SCOPED_TRACE(move.what);
    settle();
    const int paints = TandrelView::paintCountForTests;
    QMouseEvent event(QEvent::MouseMove, move.to, view.mapToGlobal(move.to), Qt::NoButton, Qt::NoButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &event);
    const int expected = paints + (move.painted.isEmpty() ? 0 : 1);
    test::waitUntil([&] { return TandrelView::paintCountForTests >= expected; }, 1000);
    settle();
    ASSERT_EQ(TandrelView::paintCountForTests, expected);
    if (!move.painted.isEmpty()) {
      const QRect bounds = TandrelView::lastPaintRegionForTests.boundingRect();
      EXPECT_EQ(TandrelView::lastPaintRegionForTests, move.painted)
          << bounds.x() << "," << bounds.y() << " " << bounds.width() << "x" << bounds.height();
    }
    EXPECT_EQ(view.hoverPoint, move.to);
  }
}

TEST(ChoiceNoteInput, TypingAppendsWhatFitsAndIgnoresLineBreaksTabsAndControls) {
  const struct {
    QString note, typed;
    qint64 maxLength;
    std::optional<QString> result;
  } cases[] = {
      {"", "ab", 3, "ab"},
      {"ab", "\r", 3, std::nullopt},
      {"", "a\tb", 10, std::nullopt},
      {"", "a\u2028", 10, std::nullopt},
      {"", "abcdef", 4, "abcd"},
      {"abc", "d", 3, std::nullopt},           // full
      {"", "a", 0, std::nullopt},
      {"", "a", -2, std::nullopt},
      {"", "\u200Bx\u0007", 5, "x"},           // format and control characters dropped
      {"", "\u0007", 5, std::nullopt},
      {"e\u0301", "\U0001F44D\U0001F3FD!", 2, "e\u0301\U0001F44D\U0001F3FD"},  // counted as seen
  };
  for (const auto& c : cases) {
    EXPECT_EQ(noteAfterTyping(c.note, c.typed, c.maxLength), c.result) << c.typed.toStdString();
  }
  EXPECT_EQ(noteAfterDelete(QString()), std::nullopt);
  EXPECT_EQ(noteAfterDelete("a\U0001F44D\U0001F3FD"), QStringLiteral("a"));
}

TEST_F(IslandInputGui, ShortcutsNeverTypeAndAFocusedCardThatLeftThePageDropsTheFocus) {
  f.load({choiceLine("choice", f.home.file("r.json"), 3)});
  auto view = expanded();
  press(*view, cardBody(*view, "choice"));
  EXPECT_TRUE(view->keyPressed(Qt::Key_V, Qt::ControlModifier, "\x16"));
  EXPECT_TRUE(view->keyPressed(Qt::Key_A, Qt::MetaModifier, "a"));
  EXPECT_TRUE(view->keyPressed(Qt::Key_Backspace, {}, "\b"));  // on an empty note: nothing
  EXPECT_TRUE(view->activeChoiceNote.isEmpty());
  EXPECT_FALSE(view->keyPressed(Qt::Key_Shift, Qt::ShiftModifier, {}));  // no text: not consumed

  view->keyPressed(Qt::Key_A, {}, "a");
  f.store->clearAll();  // the card leaves the inbox
  EXPECT_TRUE(view->keyPressed(Qt::Key_B, {}, "b"));
  EXPECT_FALSE(view->choiceNoteFocusedMessageID.has_value());
  EXPECT_TRUE(view->activeChoiceNote.isEmpty());
}

TEST_F(IslandInputGui, ClearingThePageReadsItsCardsAndClearingAllHidesEveryCard) {
  const struct {
    int messages;
    bool all;
    QString banner;
    QColor color;
  } cases[] = {
      {0, false, "No current-page messages", TandrelView::kAttentionColor},
      {1, false, "Cleared 1 current-page message", TandrelView::kSuccessColor},
      {0, true, "No messages to clear", TandrelView::kAttentionColor},
      {1, true, "Cleared all 1 message", TandrelView::kSuccessColor},
      {3, true, "Cleared all 3 messages", TandrelView::kSuccessColor},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.banner.toStdString());
    std::vector<QByteArray> lines;
    for (int i = 0; i < c.messages; ++i) lines.push_back(completionLine(QStringLiteral("done%1").arg(i), i % 2 ? "claude" : "codex"));
    f.store.reset();
    f.load(lines);
    auto view = expanded();
    ASSERT_EQ(view->filteredUnreadCount(), c.messages);
    press(*view, c.all ? QPointF(540 - 25, 173) : QPointF(540 - 53, 173));
    EXPECT_EQ(view->statusBanner(), c.banner);
    EXPECT_EQ(view->statusBannerColor, c.color);
    EXPECT_EQ(view->filteredUnreadCount(), 0);
    if (c.messages > 0) {
      EXPECT_EQ(f.store->hiddenIDs().contains("done0"), c.all);
      EXPECT_EQ(f.store->readIDs().contains("done0"), !c.all);
    }
  }
}

TEST_F(IslandInputGui, TheCollapsedPetOpensThePetsSettingsAndTheRestOfTheCapsuleExpands) {
  f.load({});
  TandrelView view(QSize(332, 32), *f.store, f.clock);
  view.mousePressed(QPointF(30, 16), QPointF());
  EXPECT_EQ(view.mode(), OverlayMode::settings);
  EXPECT_EQ(view.activeSettingsTab(), SettingsTab::pets);

  TandrelView other(QSize(332, 32), *f.store, f.clock);
  other.mousePressed(QPointF(60, 16), QPointF());
  EXPECT_EQ(other.mode(), OverlayMode::expanded);
}

TEST_F(IslandInputGui, TheGearOpensTheGeneralSettings) {
  f.load({});
  auto view = expanded();
  view->activateSettingsTab(SettingsTab::sound);
  press(*view, QPointF(540 - 60, 30));
  EXPECT_EQ(view->mode(), OverlayMode::settings);
  EXPECT_EQ(view->activeSettingsTab(), SettingsTab::general);
  view->setMode(OverlayMode::expanded);
  press(*view, QPointF(540 - 23, 501 - 15));
  EXPECT_EQ(quits, 1);
}

// The companion the pet is dragged into, recording what it is asked.
struct RecordingCompanion : CompanionDragOut {
  bool canBegin = true;
  std::vector<std::pair<std::string, QPointF>> calls;
  bool begin(QPointF p) override {
    calls.emplace_back("begin", p);
    return canBegin;
  }
  void move(QPointF p) override { calls.emplace_back("move", p); }
  void finish(QPointF p) override { calls.emplace_back("finish", p); }
};

TEST_F(IslandInputGui, ThePetIsDraggedOutPast14PointsAndUpTo14IsAClick) {
  f.load({});
  const QPointF start(700, 100);
  const struct {
    const char* name;
    bool companion;
    std::vector<QPointF> moves;
    std::vector<std::string> calls;
    bool opensPets;
  } cases[] = {
      {"jitter stays a click", true, {start + QPointF(0, 10)}, {}, true},
      {"14 points is still a click", true, {start + QPointF(0, 14)}, {}, true},
      {"a drag moves the companion", true, {start + QPointF(0, 20), start + QPointF(0, 60)}, {"begin", "move", "finish"}, false},
      {"no companion: a click after all", false, {start + QPointF(0, 20)}, {}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto view = expanded();
    RecordingCompanion companion;
    view->companionDragOut = c.companion ? &companion : nullptr;
    view->mousePressed(QPointF(60, 80), start);  // in the pet rail
    ASSERT_EQ(view->pendingPetDragStart, start);
    for (const QPointF& p : c.moves) view->mouseDragged(p);
    view->mouseReleased(c.moves.back());
    std::vector<std::string> names;
    for (const auto& call : companion.calls) names.push_back(call.first);
    EXPECT_EQ(names, c.calls);
    if (!companion.calls.empty()) {
      // Screen points are y-down: the companion follows the pointer down the screen.
      EXPECT_EQ(companion.calls.front().second, start + QPointF(0, 20));
      EXPECT_EQ(companion.calls.back().second, start + QPointF(0, 60));
    }
    EXPECT_EQ(view->mode() == OverlayMode::settings, c.opensPets);
    EXPECT_FALSE(view->pendingPetDragStart.has_value());
    EXPECT_FALSE(view->petDragOutActive);
  }
}

TEST(IslandGeometry, TheSettingsPanelFollowsThePointerDownwardsAndStaysOnTheDesktop) {
  const QRectF desktop(0, 0, 1920, 1080);
  const QRectF start(100, 100, 860, 780);
  const struct {
    QPointF pointer;
    QRectF frame;
  } cases[] = {
      {QPointF(500, 60), QRectF(100, 150, 860, 780)},    // down 50: the panel moves down
      {QPointF(450, 0), QRectF(50, 90, 860, 780)},       // up and left
      {QPointF(2500, 10), QRectF(1048, 100, 860, 780)},  // past the right edge: 12 inside it
      {QPointF(500, 900), QRectF(100, 288, 860, 780)},   // past the bottom
  };
  for (const auto& c : cases) {
    EXPECT_EQ(draggedSettingsPanelFrame(start, QPointF(500, 10), c.pointer, desktop), c.frame) << c.pointer.y();
  }
}

}  // namespace
}  // namespace tandrel
