#include "island/island_painters_capsule.h"
#include "island/island_painters_inbox.h"
#include "island_view_fixture.h"
#include "ui/island_paint.h"
#include "ui/island_symbols.h"

#include <QFontInfo>
#include <QFontMetricsF>

namespace tandrel {
namespace {

using namespace test;

TEST(IslandPaint, TheCapsulePathIsSquareAtTheTopAndRoundedBelow) {
  const QPainterPath path = island_paint::topAttachedCapsulePath(QRectF(5, 0, 322, 32), 8);
  // Moved half a pixel in and one up; the bottom corners are cut by the radius.
  EXPECT_EQ(path.boundingRect(), QRectF(5.5, -1, 321, 32.5));
  EXPECT_TRUE(path.contains(QPointF(5.6, -0.9)));   // square top-left corner
  EXPECT_FALSE(path.contains(QPointF(6, 31)));      // rounded bottom-left corner
  EXPECT_TRUE(path.contains(QPointF(14, 31)));
  // The radius never exceeds half the width or the height.
  EXPECT_EQ(island_paint::topAttachedCapsulePath(QRectF(0, 0, 11, 4), 8).boundingRect(), QRectF(0.5, -1, 10, 4.5));
}

TEST(IslandPaint, ShouldersFitTheRoomBesideTheBody) {
  const struct {
    QRectF body;
    qreal viewWidth;
    QRectF bounds;
  } cases[] = {
      {QRectF(5, 0, 322, 32), 332, QRectF(0, 0, 332, 5)},   // 5 on both sides
      {QRectF(3, 0, 322, 32), 332, QRectF(0, 0, 328, 3)},   // limited by the room on the left
      {QRectF(0, 0, 322, 32), 332, QRectF()},               // no room: no shoulders
  };
  for (const auto& c : cases) {
    EXPECT_EQ(island_paint::capsuleShoulderPath(c.body, c.viewWidth).boundingRect(), c.bounds) << c.body.left();
  }
}

TEST(IslandGlyphsGui, TheIslandFontIsInter) {
  EXPECT_EQ(QFontInfo(islandFont(11)).family(), QStringLiteral("Inter"));
  EXPECT_EQ(QFontInfo(islandFont(9, QFont::DemiBold)).family(), QStringLiteral("Inter"));
}

TEST(IslandGlyphsGui, EverySymbolDrawsAGlyphAndAnUnknownNameDrawsItsText) {
  ASSERT_EQ(island_paint::symbolNames().size(), 24);
  for (const QString& name : island_paint::symbolNames() + QStringList{QStringLiteral("Q")}) {
    QImage image(24, 24, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    island_paint::drawSymbol(painter, name, QRectF(0, 0, 24, 24), Qt::white, 16);
    painter.end();
    int inked = 0;
    for (int y = 0; y < 24; ++y)
      for (int x = 0; x < 24; ++x) inked += qAlpha(image.pixel(x, y)) > 0;
    EXPECT_GT(inked, 8) << name.toStdString();
  }
}

TEST(MessageSurfaceLabel, NamesWhereTheAgentRuns) {
  const auto window = JumpTarget::terminalWindow("kitty", std::nullopt, std::nullopt, std::nullopt, std::nullopt);
  const auto cmux = JumpTarget::cmux(std::nullopt, std::nullopt, std::nullopt);
  const struct {
    QString source, sourceType, tool;
    std::optional<QString> terminal;
    std::optional<JumpTarget> jump;
    QString label;
  } cases[] = {
      {"codex", "cli_agent", "codex-cli", std::nullopt, std::nullopt, "CLI"},
      {"codex", "cli_agent", "codex-cli", "iTerm.app", cmux, "iTerm2"},
      {"codex", "cli_agent", "codex-cli", std::nullopt, window, "kitty"},
      {"codex", "cli_agent", "codex-cli", "Apple_Terminal", cmux, "cmux"},
      {"conductor", "cli_agent", "codex", "kitty", std::nullopt, "Conductor"},
      {"codex", "cli_agent", "codex", " wezterm ", std::nullopt, "wezterm"},
      {"cursor", "vs_code", "cursor", std::nullopt, std::nullopt, "VS Code"},
      {"claude", "desktop_app", "claude", std::nullopt, std::nullopt, "app"},
      {"trae", "ide", "trae", std::nullopt, std::nullopt, "IDE"},
      {"trae", "cli_agent", "trae", "   ", std::nullopt, "CLI"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(messageSurfaceLabel(c.source, c.sourceType, c.tool, c.terminal, c.jump), c.label) << c.label.toStdString();
  }
}

TEST(MessageCardColours, RiskToolAndRoleDecideTheColours) {
  EXPECT_EQ(cardChrome(std::nullopt).border, island_paint::white(0.06));
  EXPECT_EQ(cardChrome(QStringLiteral("HIGH")).fill, island_paint::withAlpha(card_colors::kCoral, 0.05));
  EXPECT_EQ(cardChrome(QStringLiteral("MEDIUM")).border, island_paint::white(0.2));
  EXPECT_EQ(cardChrome(QStringLiteral("LOW")).fill, island_paint::withAlpha(card_colors::kOrange, 0.035));
  EXPECT_EQ(cardTint(QStringLiteral("Claude Code"), Qt::gray), card_colors::kPurple);
  EXPECT_EQ(cardTint(QStringLiteral("OpenAI"), Qt::gray), card_colors::kGreen);
  EXPECT_EQ(cardTint(QStringLiteral("Gemini CLI"), Qt::gray), QColor(Qt::gray));
  // A brand colour near black is lifted towards white so that the name can be read on the card.
  const QColor copilot = cardTint(QStringLiteral("GitHub Copilot"), QColor(24, 23, 23));
  EXPECT_GE(copilot.lightnessF(), 0.6);
  EXPECT_GT(copilot.red(), copilot.blue()) << "its hue is kept";
  EXPECT_EQ(cardTint(QStringLiteral("Kilo Code"), QColor(108, 112, 126)), QColor(108, 112, 126));
  const QColor accent = Qt::magenta;
  const struct {
    const char* role;
    QColor color;
    const char* symbol;
  } roles[] = {
      {"authorize", card_colors::kBlue, "shield"},   {"jump", card_colors::kBlue, "arrow.up.forward"},
      {"reject", card_colors::kRed, "xmark"},        {"mark_read", card_colors::kGreen, "checkmark"},
      {"configure", card_colors::kAmber, "gearshape"}, {"ignore", accent, "eye.slash"},
      {"choose_option:a", accent, "circle"},
  };
  for (const auto& r : roles) {
    EXPECT_EQ(cardButtonColor(r.role, accent), r.color) << r.role;
    EXPECT_EQ(cardButtonSymbol(r.role), QLatin1String(r.symbol)) << r.role;
  }
}

// Renders at 1x and 2x: the pixels the capsule's and the cards' colours fix.
class IslandRenderGui : public ::testing::TestWithParam<qreal> {
 protected:
  static QColor pixel(const QImage& image, QPointF at) {
    const qreal scale = image.devicePixelRatio();
    return image.pixelColor(static_cast<int>(at.x() * scale), static_cast<int>(at.y() * scale));
  }
  IslandFixture f;
};

TEST_P(IslandRenderGui, TheExternalCapsuleIsFilledWithShouldersAndTransparentCorners) {
  f.load({});
  TandrelView view(QSize(332, 32), *f.store, f.clock);
  view.setDisplayKind(DisplayKind::externalVirtual);
  const QImage image = view.renderImage(GetParam());
  ASSERT_EQ(image.size(), QSize(332, 32) * GetParam());
  EXPECT_EQ(pixel(image, {166, 16}), QColor(10, 10, 12));
  EXPECT_EQ(pixel(image, {1, 30}).alpha(), 0);    // below the left shoulder
  EXPECT_EQ(pixel(image, {331, 31}).alpha(), 0);  // outside the rounded bottom-right corner
  EXPECT_EQ(pixel(image, {5.5, 31.5}).alpha(), 0);
  EXPECT_EQ(pixel(image, {4, 0.2}).alpha(), 255);  // the shoulder meets the screen's edge
}

TEST_P(IslandRenderGui, TheNotchCapsuleIsBlackWithAFaintCameraRing) {
  f.load({});
  TandrelView view(QSize(332, 37), *f.store, f.clock);
  view.setDisplayKind(DisplayKind::macBookPhysical);
  const QImage image = view.renderImage(GetParam());
  EXPECT_EQ(pixel(image, {60, 18}), QColor(0, 0, 0));
  EXPECT_EQ(pixel(image, {2, 0.5}).alpha(), 0);  // no shoulders beside a notch
  EXPECT_EQ(pixel(image, {330, 36}).alpha(), 0);
  const QColor ring = pixel(image, {166 - 3.5, 18.5});
  EXPECT_GT(ring.red(), 0);
  EXPECT_LT(ring.red(), 40);
}

TEST_P(IslandRenderGui, CardsAreTintedByRiskAndButtonsByRole) {
  f.load({permissionLine("perm", f.home.file("d.json"), "high"), completionLine("done")});
  auto view = f.expandedView();
  f.clock.advance(std::chrono::milliseconds(250));  // past the fade-in
  const QImage image = view->renderImage(GetParam());
  ASSERT_EQ(image.size(), QSize(540, 501) * GetParam());
  EXPECT_EQ(pixel(image, {0.2, 500.8}).alpha(), 0);  // outside the rounded bottom corner
  const QColor background = pixel(image, {270, 100});
  EXPECT_EQ(background.red(), 9);
  EXPECT_EQ(background.alpha(), 251);

  const QRectF high = view->messageRectsForTests().at("perm");
  const QColor inHigh = pixel(image, {high.right() - 150, high.top() + 30});
  EXPECT_GT(inHigh.red(), inHigh.blue() + 3) << "a high-risk card is tinted coral";
  const std::optional<QRectF> authorize = view->messageActionButtonRectForTests("perm", "authorize");
  ASSERT_TRUE(authorize.has_value());
  const QColor inButton = pixel(image, {authorize->left() + 4, authorize->center().y()});
  EXPECT_GT(inButton.blue(), inButton.red() + 10) << "Authorize is blue";
}

TEST_P(IslandRenderGui, TextIsElidedToItsBoxWidthAndNeverClippedBelowIt) {
  const QFont font = islandFont(10.5);
  const QFontMetricsF metrics(font);
  const QString descenders = QStringLiteral("gjpqy typing");
  const QString longLine = QStringLiteral("Edit: /tmp/worktrees/payments/src/server/middleware/authentication.ts");
  // A box lower than the font's line, as a card's second line is (12 for 10.5): the descenders
  // still show below it. A box narrower than the line: the line ends in an ellipsis within it.
  const struct {
    QString text;
    QRectF box;
    bool elided;
  } cases[] = {
      {descenders, QRectF(10, 10, 300, 12), false},
      {descenders, QRectF(10, 10, 300, std::floor(metrics.ascent())), false},
      {longLine, QRectF(10, 10, 150, 12), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text.toStdString() + " in " + std::to_string(c.box.width()) + "x" + std::to_string(c.box.height()));
    const QString shown = island_paint::elidedLine(c.text, font, c.box.width());
    EXPECT_EQ(shown.endsWith(QChar(0x2026)), c.elided) << shown.toStdString();
    EXPECT_LE(metrics.horizontalAdvance(shown), c.box.width());
    EXPECT_TRUE(c.elided ? c.text.startsWith(shown.chopped(1)) : shown == c.text);

    QImage image(QSize(340, 40) * GetParam(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(GetParam());
    image.fill(Qt::transparent);
    QPainter painter(&image);
    island_paint::drawText(painter, c.text, c.box, font, Qt::white);
    painter.end();
    int below = 0;
    int right = 0;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        if (qAlpha(image.pixel(x, y)) < 96) continue;
        below += y >= std::ceil(c.box.bottom() * GetParam()) ? 1 : 0;
        right += x >= std::ceil((c.box.right() + 1) * GetParam()) ? 1 : 0;
      }
    }
    EXPECT_EQ(right, 0) << "nothing beyond the box's width";
    if (!c.elided) {
      EXPECT_GT(below, 0) << "the descenders of g, j, p, q and y reach below the box";
    }
  }
  // Keeping the end (a note being typed): the ellipsis comes first.
  const QString tail = island_paint::elidedLine(longLine, font, 150, nullptr, true);
  EXPECT_TRUE(tail.startsWith(QChar(0x2026))) << tail.toStdString();
  EXPECT_TRUE(longLine.endsWith(tail.mid(1))) << tail.toStdString();
}

TEST_P(IslandRenderGui, AFocusedNoteShowsATextCursorAfterItsText) {
  f.load({choiceLine("choice", f.home.file("r.json"))});
  auto view = f.expandedView();
  f.clock.advance(std::chrono::milliseconds(250));
  view->setExpandedChoiceMessageForTests("choice");
  ASSERT_EQ(view->choiceNoteFocusedMessageID, QStringLiteral("choice"));
  const std::optional<QRectF> note = view->choiceNoteRectForTests("choice");
  ASSERT_TRUE(note.has_value());
  const QRectF textBox = note->adjusted(8, 5, -8, -5);
  const QFontMetricsF metrics(islandFont(10.5));
  const qreal scale = GetParam();
  // The columns of the field's text box that are bright over the whole line (ascender to
  // descender): the caret's, since no glyph of these notes spans the line.
  auto barColumns = [&](const QImage& image) {
    std::vector<qreal> columns;
    const int top = static_cast<int>(std::ceil((textBox.top() + 1) * scale));
    const int bottom = static_cast<int>(std::floor((textBox.top() + metrics.ascent() + metrics.descent() - 1) * scale));
    for (int x = static_cast<int>(textBox.left() * scale); x < static_cast<int>(textBox.right() * scale); ++x) {
      bool bar = true;
      for (int y = top; y < bottom && bar; ++y) {
        bar = qGray(image.pixel(x, y)) >= 170;
      }
      if (bar) columns.push_back(x / scale);
    }
    return columns;
  };
  const struct {
    QString typed;
    qreal from;  // where the caret may stand, from the text box's left edge
    qreal to;
  } cases[] = {
      {QString(), 0, 1},
      {QStringLiteral("ab"), metrics.horizontalAdvance(QStringLiteral("ab")), metrics.horizontalAdvance(QStringLiteral("ab")) + 2},
      // Too long for the field: its end shows, and the caret after it at the field's right.
      {QStringLiteral("a longer note that fills the field and goes on well past its end, then on and on "
                      "for a second time over"),
       textBox.width() - 16, textBox.width()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed.toStdString());
    view->activeChoiceNote = c.typed;
    for (const bool focused : {true, false}) {
      view->choiceNoteFocusedMessageID =
          focused ? std::optional<QString>(QStringLiteral("choice")) : std::optional<QString>();
      const std::vector<qreal> bars = barColumns(view->renderImage(scale));
      if (!focused) {
        EXPECT_TRUE(bars.empty()) << "no cursor without the focus";
        continue;
      }
      ASSERT_FALSE(bars.empty()) << "a cursor while the note has the focus";
      EXPECT_GE(bars.front() - textBox.left(), c.from - 0.5);
      EXPECT_LE(bars.back() - textBox.left(), c.to + 0.5);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Scales, IslandRenderGui, ::testing::Values(1.0, 2.0));

}  // namespace
}  // namespace tandrel

namespace tandrel {
namespace {

TEST(IslandRenderPassGui, TheExpandedContentFadesInOver200MillisecondsUnlessFixturesAreRendered) {
  test::IslandFixture f;
  f.load({});
  auto view = f.expandedView();
  const struct {
    int afterMs;
    bool rendering;
    qreal alpha;
  } cases[] = {{0, false, 0}, {100, false, 0.5}, {100, true, 1}, {100, false, 1}};  // cumulative time
  for (const auto& c : cases) {
    f.clock.advance(std::chrono::milliseconds(c.afterMs));
    view->renderingFixtures = c.rendering;
    EXPECT_DOUBLE_EQ(view->expandedContentAlpha(), c.alpha) << c.afterMs;
  }
  view->setMode(OverlayMode::collapsed);
  view->renderingFixtures = false;
  EXPECT_EQ(view->expandedContentAlpha(), 1);
}

}  // namespace
}  // namespace tandrel

namespace tandrel {
namespace {

// The external capsule's line drawn by itself over the capsule, at 2x.
QImage capsuleLine(const CollapsedLineContent& content) {
  const CollapsedCapsuleLayout layout =
      collapsedCapsuleLayout(QSizeF(332, 32), DisplayKind::externalVirtual, OverlayMode::collapsed);
  QImage image(664, 64, QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(2);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  paintCollapsedCapsule(painter, layout);
  paintExternalCollapsedLine(painter, layout, content, [](QPainter& p, const QString&, const QRectF& rect) {
    p.fillRect(rect, Qt::blue);
  });
  return image;
}

// How many pixels of the band [x0, x1) inside the capsule's outline differ from its fill.
int inked(const QImage& image, qreal x0, qreal x1) {
  int count = 0;
  for (int x = static_cast<int>(x0 * 2); x < static_cast<int>(x1 * 2); ++x)
    for (int y = 4 * 2; y < 28 * 2; ++y) count += image.pixelColor(x, y) != QColor(10, 10, 12);
  return count;
}

TEST(CollapsedLineGui, TheLineShowsTheLogoLabelAndEitherTheBadgeOrTheResetText) {
  const QImage badge = capsuleLine({"Claude", "Approve edit", false, QStringLiteral("Resets 5pm"), true, 12});
  EXPECT_EQ(badge.pixelColor(59 * 2, 15 * 2), QColor(Qt::blue));  // the logo at 46 + 5 from the left
  EXPECT_GT(inked(badge, 70, 120), 20);                              // the label
  const QColor fill = badge.pixelColor((327 - 48 + 2) * 2, 16 * 2);  // the badge's left end
  EXPECT_GT(fill.red(), fill.blue() + 20) << "the amber badge";
  EXPECT_EQ(inked(badge, 256, 278), 0) << "no reset text beside a badge";

  const QImage reset = capsuleLine({"Codex", "5h 42%", true, QStringLiteral("Resets 5pm"), false, 0});
  EXPECT_GT(inked(reset, 256, 278), 20) << "the reset text at the right";
}

}  // namespace
}  // namespace tandrel

namespace tandrel {
namespace {

TEST(IslandRenderPassGui, AFrameOfThePetRailRepaintsOnlyTheBackgroundAndTheRail) {
  test::IslandFixture f;
  f.load({test::permissionLine("perm", f.home.file("d.json"), "high")});
  auto view = f.expandedView();
  view->renderingFixtures = true;
  const QPointF inCard = view->messageRectsForTests().at("perm").center() + QPointF(-120, -20);
  const auto paint = [&](const std::optional<QRect>& dirty) {
    QImage image(540, 501, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    view->paintIsland(painter, dirty);
    painter.end();
    return image.pixelColor(inCard.toPoint());
  };
  const QColor background = paint(QRect(10, 30, 60, 60));  // inside the rail's strip
  const QColor card = paint(std::nullopt);
  EXPECT_EQ(background.red(), 9);
  EXPECT_GT(card.red(), background.red()) << "the full pass draws the tinted card";
  EXPECT_EQ(paint(QRect(10, 30, 200, 60)), card) << "a wider dirty rectangle draws everything";
}

}  // namespace
}  // namespace tandrel
