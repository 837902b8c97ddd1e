// Paints the built-in "tandrelcat" pet: a pixel-art cat on a sprite sheet of 8 × 9 cells of
// 192 × 208 pixels (1536 × 1872). Each cell is drawn on a 48 × 52 grid of art pixels, outlined,
// and enlarged four times without smoothing.
//
//   tandrelcat_sheet <output file>     (".webp" is written lossless, anything else as PNG)
//
// Rows: 0 idle, 1-4 idle again (other readers may look there), 5 down (error and tired), 6
// waiting for approval, 7 working (dancing), 8 done.

#include <QCoreApplication>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QTextStream>

#include <cmath>
#include <numbers>

namespace {

constexpr int kColumns = 8;
constexpr int kRows = 9;
constexpr int kScale = 4;
constexpr int kArtWidth = 48;   // 192 / 4
constexpr int kArtHeight = 52;  // 208 / 4

const QColor kFur(112, 122, 150);
const QColor kFurDark(82, 90, 116);
const QColor kFurLight(236, 238, 244);
const QColor kPink(255, 158, 181);
const QColor kEye(24, 26, 34);
const QColor kOutline(30, 32, 44);
const QColor kCollar(0, 214, 163);
const QColor kAmber(255, 187, 0);
const QColor kBlue(77, 159, 255);
const QColor kSleep(190, 200, 225);

enum class Eyes { open, blink, happy, closed, wide };

struct Pose {
  int dy = 0;            // the whole cat up (negative) or down
  int headDx = 0;        // head tilt sideways
  double tail = 0;       // tail sway, -1 ... 1
  bool earTwitch = false;
  Eyes eyes = Eyes::open;
  int leftPaw = 0;       // how far each front paw is raised, 0 ... 8
  int rightPaw = 0;
  bool lying = false;
  bool droopyEars = false;
};

void px(QPainter& p, int x, int y, const QColor& c, int w = 1, int h = 1) { p.fillRect(x, y, w, h, c); }

void ellipse(QPainter& p, double cx, double cy, double rx, double ry, const QColor& c) {
  p.setPen(Qt::NoPen);
  p.setBrush(c);
  p.drawEllipse(QPointF(cx, cy), rx, ry);
}

void triangle(QPainter& p, QPointF a, QPointF b, QPointF c, const QColor& color) {
  p.setPen(Qt::NoPen);
  p.setBrush(color);
  const QPointF points[] = {a, b, c};
  p.drawPolygon(points, 3);
}

void drawTail(QPainter& p, int baseX, int baseY, double sway, bool lying) {
  // A thick quadratic curve stamped with 3 × 3 squares.
  const QPointF from(baseX, baseY);
  const QPointF to = lying ? QPointF(baseX + 8, baseY - 4 + sway * 2) : QPointF(baseX + 8 + sway * 3, baseY - 16);
  const QPointF control = lying ? QPointF(baseX + 7, baseY + 2) : QPointF(baseX + 11, baseY - 2);
  for (int i = 0; i <= 24; ++i) {
    const double t = i / 24.0;
    const QPointF point = (1 - t) * (1 - t) * from + 2 * (1 - t) * t * control + t * t * to;
    px(p, static_cast<int>(std::lround(point.x())) - 1, static_cast<int>(std::lround(point.y())) - 1,
       t > 0.8 ? kFurDark : kFur, 3, 3);
  }
}

void drawHead(QPainter& p, int cx, int cy, const Pose& pose) {
  // Ears.
  const int twitch = pose.earTwitch ? 1 : 0;
  if (pose.droopyEars) {
    triangle(p, {cx - 11.0, cy - 4.0}, {cx - 15.0, cy + 1.0}, {cx - 6.0, cy - 8.0}, kFur);
    triangle(p, {cx + 11.0, cy - 4.0}, {cx + 15.0, cy + 1.0}, {cx + 6.0, cy - 8.0}, kFur);
  } else {
    triangle(p, {cx - 11.0, cy - 3.0}, {cx - 8.0 - twitch, cy - 14.0}, {cx - 2.0, cy - 8.0}, kFur);
    triangle(p, {cx + 11.0, cy - 3.0}, {cx + 8.0, cy - 14.0}, {cx + 2.0, cy - 8.0}, kFur);
    triangle(p, {cx - 9.0, cy - 5.0}, {cx - 8.0 - twitch, cy - 11.0}, {cx - 5.0, cy - 7.0}, kPink);
    triangle(p, {cx + 9.0, cy - 5.0}, {cx + 8.0, cy - 11.0}, {cx + 5.0, cy - 7.0}, kPink);
  }
  ellipse(p, cx, cy, 12, 9.5, kFur);
  // Tabby stripes on the forehead and a light muzzle.
  px(p, cx - 1, cy - 9, kFurDark, 2, 3);
  px(p, cx - 4, cy - 8, kFurDark, 1, 2);
  px(p, cx + 3, cy - 8, kFurDark, 1, 2);
  ellipse(p, cx, cy + 4, 5, 3.5, kFurLight);
  // Eyes.
  const int ly = cy - 1;
  for (const int ex : {cx - 6, cx + 4}) {
    switch (pose.eyes) {
      case Eyes::open:
        px(p, ex, ly - 1, kEye, 2, 3);
        px(p, ex, ly - 1, Qt::white);
        break;
      case Eyes::wide:
        px(p, ex - 1, ly - 2, kEye, 3, 4);
        px(p, ex - 1, ly - 2, Qt::white);
        break;
      case Eyes::blink: px(p, ex - 1, ly + 1, kEye, 3, 1); break;
      case Eyes::happy:
        px(p, ex - 1, ly + 1, kEye);
        px(p, ex, ly, kEye, 1, 1);
        px(p, ex + 1, ly + 1, kEye);
        break;
      case Eyes::closed:
        px(p, ex - 1, ly, kEye);
        px(p, ex, ly + 1, kEye, 2, 1);
        px(p, ex + 2, ly, kEye);
        break;
    }
  }
  // Nose and mouth.
  px(p, cx - 1, cy + 2, kPink, 2, 1);
  px(p, cx - 2, cy + 4, kEye);
  px(p, cx + 1, cy + 4, kEye);
  if (pose.eyes == Eyes::happy || pose.eyes == Eyes::wide) {
    px(p, cx - 1, cy + 5, kPink, 2, 1);
  }
}

void drawCat(QPainter& p, const Pose& pose) {
  const int ground = 49 + pose.dy;
  if (pose.lying) {
    drawTail(p, 37, ground - 4, pose.tail, true);
    ellipse(p, 28, ground - 5, 11, 5.5, kFur);
    ellipse(p, 28, ground - 3, 7, 2.5, kFurLight);
    px(p, 27, ground - 10, kFurDark, 2, 3);
    px(p, 31, ground - 10, kFurDark, 2, 3);
    drawHead(p, 17 + pose.headDx, ground - 9, pose);
    ellipse(p, 13, ground - 1, 3, 1.8, kFurLight);
    ellipse(p, 22, ground - 1, 3, 1.8, kFurLight);
    return;
  }
  drawTail(p, 32, ground - 5, pose.tail, false);
  ellipse(p, 24, ground - 9, 10, 9, kFur);  // body
  ellipse(p, 24, ground - 8, 5.5, 6, kFurLight);
  // Hind legs and front paws.
  ellipse(p, 16, ground - 3, 4, 3, kFur);
  ellipse(p, 32, ground - 3, 4, 3, kFur);
  ellipse(p, 20, ground - 1 - pose.leftPaw, 3, 2, kFurLight);
  ellipse(p, 28, ground - 1 - pose.rightPaw, 3, 2, kFurLight);
  if (pose.leftPaw > 0) {
    px(p, 18, ground - 1 - pose.leftPaw, kFur, 3, pose.leftPaw);
  }
  if (pose.rightPaw > 0) {
    px(p, 27, ground - 1 - pose.rightPaw, kFur, 3, pose.rightPaw);
  }
  // Collar with its tag.
  const int neck = ground - 17;
  px(p, 17, neck, kCollar, 14, 2);
  px(p, 23, neck + 2, kAmber, 2, 2);
  drawHead(p, 24 + pose.headDx, neck - 9, pose);
}

// Dark outline around every painted art pixel.
QImage outlined(const QImage& art) {
  QImage out = art.copy();
  for (int y = 0; y < art.height(); ++y) {
    for (int x = 0; x < art.width(); ++x) {
      if (qAlpha(art.pixel(x, y)) != 0) {
        continue;
      }
      bool edge = false;
      for (const auto& [dx, dy] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}}) {
        const int nx = x + dx, ny = y + dy;
        if (nx >= 0 && ny >= 0 && nx < art.width() && ny < art.height() && qAlpha(art.pixel(nx, ny)) == 255) {
          edge = true;
        }
      }
      if (edge) {
        out.setPixel(x, y, kOutline.rgba());
      }
    }
  }
  return out;
}

// Marks that float around the cat and are not outlined.
void drawExclamation(QPainter& p, int x, int y, const QColor& c) {
  px(p, x, y, c, 2, 6);
  px(p, x, y + 8, c, 2, 2);
}

void drawSparkle(QPainter& p, int x, int y, int size, const QColor& c) {
  px(p, x - size, y, c, 2 * size + 1, 1);
  px(p, x, y - size, c, 1, 2 * size + 1);
}

void drawNote(QPainter& p, int x, int y, const QColor& c) {
  px(p, x, y, c, 3, 2);
  px(p, x + 2, y - 6, c, 1, 7);
  px(p, x + 3, y - 6, c, 2, 1);
}

void drawZ(QPainter& p, int x, int y, int size, const QColor& c) {
  px(p, x, y, c, size, 1);
  for (int i = 1; i < size - 1; ++i) {
    px(p, x + size - 1 - i, y + i, c);
  }
  px(p, x, y + size - 1, c, size, 1);
}

// One cell's art: the outlined cat and its marks.
QImage cellArt(int row, int column) {
  QImage art(kArtWidth, kArtHeight, QImage::Format_ARGB32);
  art.fill(Qt::transparent);
  const double phase = column / 6.0;
  Pose pose;
  QImage marks(kArtWidth, kArtHeight, QImage::Format_ARGB32);
  marks.fill(Qt::transparent);
  QPainter m(&marks);
  switch (row) {
    case 5: {  // down: lying flat, ears low, eyes shut, sleepy letters
      pose.lying = true;
      pose.droopyEars = true;
      pose.eyes = Eyes::closed;
      pose.dy = column % 2;
      pose.tail = std::sin(column / 8.0 * 2 * std::numbers::pi) * 0.6;
      const int rise = column % 4;
      drawZ(m, 25 + rise, 24 - rise * 3, 4, kSleep);
      if (column % 4 >= 2) {
        drawZ(m, 32 + rise, 17 - rise * 2, 3, kSleep);
      }
      break;
    }
    case 6:  // waiting: alert, one paw up, a blinking "!"
      pose.eyes = Eyes::wide;
      pose.rightPaw = column % 2 == 0 ? 7 : 5;
      pose.headDx = column % 3 == 1 ? 1 : 0;
      pose.tail = 0.6;
      if (column != 5) {
        drawExclamation(m, 40, 4 + (column % 2), kAmber);
      }
      break;
    case 7: {  // working: dancing, paws up in turn, music notes
      const bool left = column % 2 == 0;
      pose.dy = column % 3 == 1 ? -2 : 0;
      pose.leftPaw = left ? 8 : 1;
      pose.rightPaw = left ? 1 : 8;
      pose.headDx = left ? -1 : 1;
      pose.tail = left ? -1 : 1;
      pose.eyes = column == 5 ? Eyes::happy : Eyes::open;
      drawNote(m, left ? 4 : 40, 12 + column % 3, kBlue);
      break;
    }
    case 8: {  // done: a happy hop with sparkles
      static const int hop[] = {0, -3, -6, -6, -3, 0};
      pose.dy = hop[column % 6];
      pose.eyes = Eyes::happy;
      pose.leftPaw = pose.dy < 0 ? 4 : 0;
      pose.rightPaw = pose.dy < 0 ? 4 : 0;
      pose.tail = std::sin(phase * 2 * std::numbers::pi);
      drawSparkle(m, 6, 10 + column % 2, 1 + column % 2, kCollar);
      drawSparkle(m, 41, 6 + (column + 1) % 2, 2 - column % 2, kAmber);
      break;
    }
    default: {  // idle: sitting, tail sway, a blink and an ear twitch
      static const Eyes eyes[] = {Eyes::open, Eyes::open, Eyes::blink, Eyes::open, Eyes::open, Eyes::open};
      pose.eyes = eyes[column % 6];
      pose.earTwitch = column == 4;
      pose.tail = std::sin(phase * 2 * std::numbers::pi);
      pose.dy = column == 3 ? 1 : 0;
      break;
    }
  }
  m.end();
  {
    QPainter p(&art);
    p.setRenderHint(QPainter::Antialiasing, false);
    drawCat(p, pose);
  }
  QImage cell = outlined(art);
  QPainter p(&cell);
  p.drawImage(0, 0, marks);
  return cell;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QTextStream err(stderr);
  if (argc != 2) {
    err << "usage: tandrelcat_sheet <output file>\n";
    return 2;
  }
  QImage sheet(kColumns * kArtWidth * kScale, kRows * kArtHeight * kScale, QImage::Format_ARGB32);
  sheet.fill(Qt::transparent);
  QPainter painter(&sheet);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  for (int row = 0; row < kRows; ++row) {
    for (int column = 0; column < kColumns; ++column) {
      const QImage art = cellArt(row, column);
      painter.drawImage(QRect(column * kArtWidth * kScale, row * kArtHeight * kScale, kArtWidth * kScale,
                              kArtHeight * kScale),
                        art);
    }
  }
  painter.end();
  const QString path = QString::fromLocal8Bit(argv[1]);
  QImageWriter writer(path);
  if (path.endsWith(QLatin1String(".webp"))) {
    writer.setFormat("webp");
    writer.setQuality(100);  // lossless
  } else {
    writer.setFormat("png");
  }
  if (!writer.write(sheet)) {
    err << "cannot write " << path << ": " << writer.errorString() << "\n";
    return 1;
  }
  return 0;
}
