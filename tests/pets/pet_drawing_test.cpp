// The painted figures, the pet avatar and the expanded pet rail, drawn offscreen. Every figure in
// every state is also written as a contact sheet under the build folder ("renders/") to look at.

#include "pets/pet_avatar.h"
#include "pets/pet_figures.h"
#include "pets/pet_images.h"
#include "pets/pet_rail.h"
#include "pets/pet_sprite.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QPainter>

#include "pets/pet_test_files.h"
#include "support/temp_home.h"

namespace tandrel {
namespace {

constexpr PetState kStates[] = {PetState::idle,  PetState::working, PetState::approval,
                                PetState::done,  PetState::error,   PetState::tired};

QImage canvas(QSize size, qreal dpr = 1.0) {
  QImage image(size * dpr, QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(dpr);
  image.fill(Qt::transparent);
  return image;
}

QImage figure(const QString& id, PetState state, QSize size = QSize(200, 220)) {
  QImage image = canvas(size);
  QPainter painter(&image);
  drawVectorPet(painter, id, SvgPlot::in(QRectF(QPointF(0, 0), QSizeF(size))), state);
  return image;
}

// The colour at grid point (gx, gy) of a 200 × 220 figure (10 pixels per unit).
QColor at(const QImage& image, qreal gx, qreal gy) { return image.pixelColor(int(gx * 10), int(gy * 10)); }

bool near(const QColor& a, const QColor& b, int tolerance = 3) {
  return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
         std::abs(a.blue() - b.blue()) <= tolerance && std::abs(a.alpha() - b.alpha()) <= tolerance;
}

bool contains(const QImage& image, const QColor& color, QRect area = {}) {
  if (area.isNull()) {
    area = image.rect();
  }
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      if (near(image.pixelColor(x, y), color, 2)) {
        return true;
      }
    }
  }
  return false;
}

QString rendersFolder() {
  const QString folder = qEnvironmentVariable("TANDREL_TEST_BINARY_DIR") + QStringLiteral("/renders");
  QDir().mkpath(folder);
  return folder;
}

TEST(PetFiguresGui, EveryFigureInEveryStateIsRenderedAtOneAndTwoTimes) {
  const QStringList ids = {"capybara", "cat", "robot", "fox", "penguin", "bunny", "slime", "ghost", "drone", "unknown"};
  for (const qreal dpr : {1.0, 2.0}) {
    const QSizeF cell(80, 88);
    QImage sheet = canvas(QSize(int(cell.width() * 6), int(cell.height() * ids.size())), dpr);
    sheet.fill(QColor(24, 24, 28));
    QPainter painter(&sheet);
    for (int row = 0; row < ids.size(); ++row) {
      for (int column = 0; column < 6; ++column) {
        const QRectF rect(QPointF(column * cell.width(), row * cell.height()), cell);
        drawVectorPet(painter, ids[row], SvgPlot::in(rect.adjusted(8, 8, -8, -8)), kStates[column]);
      }
    }
    painter.end();
    EXPECT_TRUE(sheet.save(rendersFolder() + QStringLiteral("/pet-figures@%1x.png").arg(int(dpr))));
  }
}

TEST(PetFiguresGui, StatesShowInColoursEyesAndMarks) {
  const QColor amber(255, 187, 0), green(0, 214, 163), red(255, 85, 85), blue(77, 159, 255);
  // The capybara's marks.
  EXPECT_TRUE(contains(figure("capybara", PetState::approval), amber, QRect(140, 0, 60, 40)));
  EXPECT_FALSE(contains(figure("capybara", PetState::idle), amber));
  EXPECT_TRUE(near(at(figure("capybara", PetState::done), 16.3, 4.8), green));
  EXPECT_TRUE(contains(figure("capybara", PetState::error), red, QRect(60, 70, 80, 30)));
  EXPECT_TRUE(near(at(figure("capybara", PetState::approval), 8, 6.8), QColor(199, 141, 88)));  // light over body
  EXPECT_TRUE(near(at(figure("capybara", PetState::error), 4, 12), QColor(184, 111, 93)));
  // A mascot's accent is its own while idle and the state colour otherwise; error also recolours
  // the body.
  EXPECT_TRUE(near(at(figure("penguin", PetState::idle), 10, 12.4), QColor(255, 192, 77)));
  EXPECT_TRUE(near(at(figure("penguin", PetState::working), 10, 12.4), blue));
  EXPECT_TRUE(near(at(figure("penguin", PetState::error), 10, 5), QColor(223, 139, 139)));
  EXPECT_TRUE(near(at(figure("penguin", PetState::idle), 10, 5), QColor(32, 40, 58)));
  EXPECT_TRUE(near(at(figure("slime", PetState::done), 15.2, 5.7), QColor(0, 214, 163, 209)));  // alpha 0.82
  // Approval widens the mascot eyes.
  EXPECT_TRUE(near(at(figure("ghost", PetState::approval), 7.5, 11.2), QColor(23, 23, 28), 10));
  EXPECT_FALSE(near(at(figure("ghost", PetState::idle), 7.5, 11.2), QColor(23, 23, 28), 10));
  // The painted cat: its colour by state, the "!" while waiting, the done dot.
  EXPECT_TRUE(near(at(figure("cat", PetState::working), 10, 6), QColor(184, 207, 255)));
  EXPECT_TRUE(contains(figure("cat", PetState::approval), amber));
  EXPECT_TRUE(near(at(figure("cat", PetState::done), 16.3, 4.8), green));
  EXPECT_TRUE(contains(figure("cat", PetState::error), red));
  EXPECT_TRUE(near(at(figure("robot", PetState::error), 3.5, 13), red));
  EXPECT_TRUE(near(at(figure("fox", PetState::working), 3, 9), QColor(224, 146, 78)));
  // Unknown ids are the capybara; unknown mascot shapes are the drone.
  EXPECT_EQ(figure("no-such-pet", PetState::done), figure("capybara", PetState::done));
  QImage other = canvas(QSize(200, 220));
  {
    QPainter painter(&other);
    drawMascotPet(painter, SvgPlot::in(QRectF(0, 0, 200, 220)), PetState::working, "anything", QColor(48, 56, 79),
                  QColor(112, 130, 168), QColor(77, 159, 255));
  }
  EXPECT_EQ(other, figure("drone", PetState::working));
}

TEST(PetFiguresGui, TheGridScalesWithTheRectangleAndLinesKeepHalfAPoint) {
  const SvgPlot plot = SvgPlot::in(QRectF(10, 20, 40, 44));
  EXPECT_DOUBLE_EQ(plot.unitX, 2.0);
  EXPECT_DOUBLE_EQ(plot.unitY, 2.0);
  EXPECT_EQ(plot.point(5, 11), QPointF(20, 42));
  EXPECT_DOUBLE_EQ(plot.lineWidth(1.1), 2.2);
  EXPECT_DOUBLE_EQ(SvgPlot::in(QRectF(0, 0, 4, 4.4)).lineWidth(1.1), 0.5);
  QPainterPath path(QPointF(0, 0));
  quadCurve(path, QPointF(3, 0), QPointF(3, 3));
  const QPainterPath::Element c1 = path.elementAt(1), c2 = path.elementAt(2);
  EXPECT_NEAR(c1.x, 2, 1e-9);
  EXPECT_NEAR(c1.y, 2, 1e-9);
  EXPECT_NEAR(c2.x, 3, 1e-9);
  EXPECT_NEAR(c2.y, 2, 1e-9);
}

// A sprite sheet whose cell (row, column) is filled with rgb(row * 20, column * 20, 200).
QColor cellColor(int row, int column) { return QColor(row * 20, column * 20, 200); }

struct SpritePet {
  test::TempHome home;
  std::vector<PetChoice> choices;
  SpritePet() {
    SharedPetImageCache::cache().clear();
    QImage sheet(1536, 1872, QImage::Format_ARGB32);
    QPainter painter(&sheet);
    for (int row = 0; row < 9; ++row) {
      for (int column = 0; column < 8; ++column) {
        painter.fillRect(QRect(column * 192, row * 208, 192, 208), cellColor(row, column));
      }
    }
    painter.end();
    QDir().mkpath(home.file("sheet"));
    EXPECT_TRUE(sheet.save(home.file("sheet/spritesheet.webp"), "PNG"));
    QImage picture(300, 200, QImage::Format_ARGB32);
    picture.fill(QColor(255, 0, 0));
    QPainter(&picture).fillRect(QRect(200, 0, 100, 200), QColor(0, 0, 255));
    QDir().mkpath(home.file("picture"));
    EXPECT_TRUE(picture.save(home.file("picture/pet.png")));
    PetChoice sprite;
    sprite.id = "sprite";
    sprite.sourcePath = home.file("sheet");
    sprite.isCodexSprite = true;
    PetChoice single;
    single.id = "single";
    single.sourcePath = home.file("picture");
    PetChoice broken;
    broken.id = "robot";
    broken.sourcePath = home.file("nothing-here");
    broken.isCodexSprite = true;
    choices = {sprite, single, broken};
  }
  ~SpritePet() { SharedPetImageCache::cache().clear(); }

  QImage draw(const QString& id, PetState state, bool reduceMotion, double seconds, QRectF rect = {10, 10, 96, 104}) {
    QImage image = canvas(QSize(120, 130));
    QPainter painter(&image);
    drawPetAvatar(painter, {choices, reduceMotion, seconds}, id, rect, state);
    return image;
  }
};

TEST(PetAvatarGui, SpritePetsShowTheClocksFrameAndPicturesTheirLeftSquare) {
  SpritePet world;
  const struct {
    PetState state;
    bool reduceMotion;
    double seconds;
    int row;
    int column;
  } cases[] = {
      {PetState::working, true, 0.6, 7, 0}, {PetState::working, false, 0.61, 7, 5}, {PetState::idle, false, 1.7, 0, 1},
      {PetState::error, false, 0.3, 5, 2},  {PetState::tired, false, 0.3, 5, 2},    {PetState::done, true, 9, 8, 0},
      {PetState::approval, true, 9, 6, 0},
  };
  for (const auto& c : cases) {
    const QImage image = world.draw("sprite", c.state, c.reduceMotion, c.seconds);
    QColor expected = cellColor(c.row, c.column);
    expected.setAlpha(c.state == PetState::tired ? 194 : 255);  // tired frames at alpha 0.76
    EXPECT_TRUE(near(image.pixelColor(58, 62), expected, 4))
        << rawValue(c.state).toStdString() << " " << c.seconds << " got "
        << image.pixelColor(58, 62).name(QColor::HexArgb).toStdString();
  }
  // With reduced motion the frame fills the rectangle exactly; the sprite never gets a "!".
  const QImage still = world.draw("sprite", PetState::approval, true, 0);
  EXPECT_EQ(still.pixelColor(10, 10).alpha(), 255);
  EXPECT_EQ(still.pixelColor(9, 9).alpha(), 0);
  EXPECT_EQ(still.pixelColor(105, 113).alpha(), 255);
  EXPECT_EQ(still.pixelColor(106, 114).alpha(), 0);
  EXPECT_FALSE(contains(still, QColor(255, 187, 0)));

  // A 300 × 200 picture shows its left 200 × 200 square inset by 8 %; "!" while waiting.
  const QRectF square(10, 10, 100, 100);
  const QImage picture = world.draw("single", PetState::idle, true, 0, square);
  EXPECT_TRUE(near(picture.pixelColor(60, 60), QColor(255, 0, 0)));
  EXPECT_EQ(picture.pixelColor(17, 60).alpha(), 0);
  EXPECT_EQ(picture.pixelColor(19, 60).alpha(), 255);
  EXPECT_FALSE(contains(picture, QColor(0, 0, 255)));
  EXPECT_FALSE(contains(picture, QColor(255, 187, 0)));
  EXPECT_TRUE(contains(world.draw("single", PetState::approval, true, 0, square), QColor(255, 187, 0)));

  // A listed pet whose files do not load is painted by its id; an unknown id is the capybara.
  EXPECT_TRUE(contains(world.draw("robot", PetState::error, true, 0), QColor(255, 85, 85)));
  EXPECT_EQ(world.draw("nobody", PetState::idle, true, 0), world.draw("capybara", PetState::idle, true, 0));
}

TEST(PetAvatarGui, TheShippedTandrelCatIsRenderedInEveryStateAndFrame) {
  SharedPetImageCache::cache().clear();
  PetChoice cat;
  cat.id = "tandrelcat";
  cat.sourcePath = qEnvironmentVariable("TANDREL_SOURCE_DIR") + "/resources/Pets/built-in/tandrelcat";
  cat.isCodexSprite = true;
  const std::vector<PetChoice> choices{cat};
  for (const qreal dpr : {1.0, 2.0}) {
    const QSizeF cell(76, 84);  // the island rail's pet
    QImage sheet = canvas(QSize(int(cell.width() * 8), int(cell.height() * 6)), dpr);
    sheet.fill(QColor(24, 24, 28));
    QPainter painter(&sheet);
    for (int row = 0; row < 6; ++row) {
      const std::vector<CodexSpriteFrame> frames = codexSpriteFrames(kStates[row]);
      double start = 0;
      for (int column = 0; column < int(frames.size()); ++column) {
        const QRectF rect(QPointF(column * cell.width(), row * cell.height()), cell);
        drawPetAvatar(painter, {choices, false, start / 1000.0 + 0.001}, "tandrelcat", rect, kStates[row]);
        start += frames[column].frameDurationMs;
      }
    }
    painter.end();
    EXPECT_TRUE(sheet.save(rendersFolder() + QStringLiteral("/tandrelcat-states@%1x.png").arg(int(dpr))));
  }
  SharedPetImageCache::cache().clear();
}

TEST(PetRailGui, TheRailPeeksOnlyWithMotionAndLabelsTheStateByPetKind) {
  EXPECT_EQ(expandedPetRailAnimationDirtyRect(), QRectF(0, 20, 126, 124));
  const struct {
    PetState state;
    const char* sprite;
    const char* plain;
  } words[] = {
      {PetState::idle, "idle", "idle"},         {PetState::working, "running", "working"},
      {PetState::approval, "waiting", "approval"}, {PetState::done, "review", "done"},
      {PetState::error, "failed", "error"},     {PetState::tired, "failed", "tired"},
  };
  for (const auto& w : words) {
    EXPECT_EQ(petRailStateLabel(w.state, true), w.sprite);
    EXPECT_EQ(petRailStateLabel(w.state, false), w.plain);
  }
  const struct {
    double seconds;
    qreal offset;
  } peeks[] = {{0, 0}, {0.325, -117.8}, {0.65, 0}, {2, 0}, {3.65, 0}, {3.65 + 0.325, -117.8}, {0.1625, -83.297}};
  for (const auto& p : peeks) {
    EXPECT_NEAR(petRailPeekOffset(p.seconds), p.offset, 0.01) << p.seconds;
  }

  const std::vector<PetChoice> choices;
  const auto rail = [&](bool reduceMotion, bool testEnvironment, double now) {
    QImage image = canvas(QSize(360, 150));
    image.fill(Qt::black);
    QPainter painter(&image);
    drawExpandedPetRail(painter, {choices, "capybara", PetState::idle, reduceMotion, testEnvironment, now, 0});
    return image;
  };
  const QImage resting = rail(true, false, 0);
  EXPECT_EQ(rail(true, false, 0.325), resting);
  // 0.325 s is mid-peek and 2.825 s at rest, one idle bob (2.5 s) apart.
  EXPECT_EQ(rail(false, true, 0.325), rail(false, true, 2.825));
  EXPECT_NE(rail(false, false, 0.325), rail(false, false, 2.825));
  // The label and the divider.
  const auto lit = [&](QRect area) {
    for (int y = area.top(); y <= area.bottom(); ++y) {
      for (int x = area.left(); x <= area.right(); ++x) {
        if (resting.pixelColor(x, y).value() > 8) {
          return true;
        }
      }
    }
    return false;
  };
  EXPECT_TRUE(lit(QRect(12, 108, 112, 12)));   // the state word
  EXPECT_TRUE(lit(QRect(124, 45, 1, 96)));     // the divider
  EXPECT_FALSE(lit(QRect(126, 0, 234, 150)));  // nothing right of the rail
  for (const double seconds : {0.0, 0.1625, 0.325}) {
    QImage frame = rail(false, false, seconds);
    EXPECT_TRUE(frame.save(rendersFolder() + QStringLiteral("/pet-rail-%1.png").arg(seconds)));
  }
}

}  // namespace
}  // namespace tandrel
