#include "pets/pet_images.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QPainter>
#include <QtEndian>

#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <thread>

#include "pets/pet_test_files.h"
#include "support/temp_home.h"
#include "support/wait.h"

namespace tandrel {
namespace {

PetChoice folderPet(const QString& id, const QString& folder, bool sprite,
                    std::optional<QString> spritePath = std::nullopt) {
  PetChoice choice;
  choice.id = id;
  choice.name = id;
  choice.sourcePath = folder;
  choice.spritePath = std::move(spritePath);
  choice.isCodexSprite = sprite;
  return choice;
}

// A cache test starts from an empty shared cache and leaves one.
class PetImagesTest : public ::testing::Test {
 protected:
  void SetUp() override { SharedPetImageCache::cache().clear(); }
  void TearDown() override { SharedPetImageCache::cache().clear(); }
  test::TempHome home;
};

TEST_F(PetImagesTest, ThePetsOwnSpriteWinsThenTheFixedNamesInOrder) {
  const QString folder = home.file("pet");
  const struct {
    const char* what;
    std::vector<std::pair<const char*, int>> files;  // name in the folder, width
    bool withSpritePath;
    std::optional<int> width;
  } cases[] = {
      {"sheet and picture", {{"spritesheet.webp", 30}, {"pet.png", 20}}, false, 30},
      {"png sheet and picture", {{"spritesheet.png", 40}, {"pet.png", 20}}, false, 40},
      {"picture only", {{"pet.png", 20}}, false, 20},
      {"own sprite path", {{"own.png", 50}, {"spritesheet.webp", 30}}, true, 50},
      {"own sprite path missing", {{"spritesheet.webp", 30}}, true, 30},
      {"nothing loadable", {{"notes.txt", 0}}, false, std::nullopt},
  };
  for (const auto& c : cases) {
    SharedPetImageCache::cache().clear();
    QDir(folder).removeRecursively();
    for (const auto& [name, width] : c.files) {
      if (width > 0) {
        ASSERT_TRUE(test::writePicture(folder + "/" + name, width, 10));
      } else {
        ASSERT_TRUE(test::writeFile(folder + "/" + name, "not a picture"));
      }
    }
    const PetChoice choice =
        folderPet("p", folder, false, c.withSpritePath ? std::optional(folder + "/own.png") : std::nullopt);
    const std::optional<QImage> image = petImage(choice);
    EXPECT_EQ(image ? std::optional(image->width()) : std::nullopt, c.width) << c.what;
    EXPECT_EQ(petImageCacheContainsForTests("p"), c.width.has_value()) << c.what;
  }
  // A pet without a folder has no picture, whatever its sprite path.
  PetChoice noFolder = folderPet("n", folder, true, folder + "/spritesheet.webp");
  noFolder.sourcePath.reset();
  EXPECT_FALSE(petImage(noFolder));
  EXPECT_FALSE(petImageCacheContainsForTests("n"));
}

TEST_F(PetImagesTest, PicturesAreDecodedToTheirBoundWhateverTheirNameSays) {
  const QString png = home.file("big/spritesheet.webp");
  ASSERT_TRUE(test::writePicture(png, 2048, 2304, "PNG"));
  const QString webp = home.file("webp/spritesheet.webp");
  ASSERT_TRUE(test::writePicture(webp, 1536, 1872, "WEBP"));

  const struct {
    QString path;
    std::optional<int> bound;
    QSize expected;
  } cases[] = {
      {png, 936, QSize(832, 936)}, {png, 512, QSize(455, 512)}, {png, std::nullopt, QSize(2048, 2304)},
      {webp, 936, QSize(768, 936)}, {webp, 4000, QSize(1536, 1872)},
  };
  for (const auto& c : cases) {
    const std::optional<QImage> image = loadNormalizedPetImage(c.path, c.bound);
    ASSERT_TRUE(image) << c.path.toStdString();
    EXPECT_EQ(image->size(), c.expected) << c.path.toStdString() << " bound " << c.bound.value_or(0);
    EXPECT_EQ(image->deviceIndependentSize(), QSizeF(c.expected));
  }
  EXPECT_EQ(petImage(folderPet("sprite", home.file("big"), true))->size(), QSize(832, 936));
  EXPECT_EQ(petImage(folderPet("picture", home.file("big"), false))->size(), QSize(455, 512));
  EXPECT_EQ(petImagePixelSize(webp), QSize(1536, 1872));
  EXPECT_FALSE(loadNormalizedPetImage(home.file("missing.png"), 936));
}

quint32 crc32Of(const QByteArray& bytes) {
  quint32 crc = 0xffffffffu;
  for (const char byte : bytes) {
    crc ^= static_cast<quint8>(byte);
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
  }
  return ~crc;
}

// A grey PNG of `side` × `side` whose pixel data deflates to almost nothing: a small file that
// claims a big decode.
QByteArray decompressionBomb(int side) {
  const auto chunk = [](const char* type, const QByteArray& data) {
    QByteArray out(4, '\0');
    qToBigEndian<quint32>(data.size(), out.data());
    QByteArray body = QByteArray(type, 4) + data;
    out += body;
    QByteArray crc(4, '\0');
    qToBigEndian<quint32>(crc32Of(body), crc.data());
    return out + crc;
  };
  QByteArray header(13, '\0');
  qToBigEndian<quint32>(side, header.data());
  qToBigEndian<quint32>(side, header.data() + 4);
  header[8] = 8;  // bit depth; colour type 0 (grey)
  const QByteArray raw(static_cast<qsizetype>(side) * (side + 1), '\0');
  const QByteArray packed = qCompress(raw, 9).mid(4);  // a zlib stream after Qt's length prefix
  return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + chunk("IDAT", packed) + chunk("IEND", {});
}

TEST_F(PetImagesTest, APictureBeyondTheAllocationLimitIsRefusedOnEveryPath) {
  const QString bomb = home.file("bomb/spritesheet.webp");
  ASSERT_TRUE(test::writeFile(bomb, decompressionBomb(9000)));  // 81 MB of grey when decoded
  const QString fine = home.file("fine/spritesheet.webp");
  ASSERT_TRUE(test::writeFile(fine, decompressionBomb(3000)));  // 9 MB: within the limit

  EXPECT_FALSE(loadNormalizedPetImage(bomb, 936));
  EXPECT_FALSE(loadNormalizedPetImage(bomb, std::nullopt));
  EXPECT_EQ(petImagePixelSize(bomb), QSize(9000, 9000));  // from the header, nothing decoded
  EXPECT_FALSE(petImage(folderPet("bomb", home.file("bomb"), true)));
  EXPECT_EQ(loadNormalizedPetImage(fine, 936)->size(), QSize(936, 936));
}

// A picture that fails to decode is not decoded again at the next paint, only once its file
// changes. Seen from outside: a good picture put in its place with the same size and time stays
// unread, and shows once the file's time moves.
TEST_F(PetImagesTest, APictureThatFailsToDecodeIsTriedAgainOnlyOnceItsFileChanges) {
  const QString folder = home.file("broken");
  const QString sheet = folder + "/spritesheet.webp";
  ASSERT_TRUE(test::writePicture(home.file("good.png"), 32, 32));
  const QByteArray good = test::readFile(home.file("good.png"));
  QByteArray broken = good.left(good.indexOf("IDAT") + 12) + QByteArray(good.size(), '\0');
  ASSERT_TRUE(test::writeFile(sheet, broken));
  const PetChoice pet = folderPet("broken", folder, true);
  EXPECT_FALSE(petImage(pet));
  EXPECT_FALSE(loadNormalizedPetImage(sheet, std::nullopt));
  const QByteArray native = QFile::encodeName(sheet);
  struct stat written {};
  ASSERT_EQ(::stat(native.constData(), &written), 0);

  // The same file (inode, size, time) now holding a good picture, padded after its end.
  QFile file(sheet);
  ASSERT_TRUE(file.open(QIODevice::ReadWrite));
  ASSERT_EQ(file.write(good + QByteArray(broken.size() - good.size(), '\0')), broken.size());
  file.close();
  timespec times[2] = {written.st_atim, written.st_mtim};
  ASSERT_EQ(::utimensat(AT_FDCWD, native.constData(), times, 0), 0);
  EXPECT_FALSE(petImage(pet));
  EXPECT_FALSE(loadNormalizedPetImage(sheet, std::nullopt));

  times[1].tv_sec += 1;
  ASSERT_EQ(::utimensat(AT_FDCWD, native.constData(), times, 0), 0);
  EXPECT_EQ(petImage(pet)->size(), QSize(32, 32));
  EXPECT_EQ(loadNormalizedPetImage(sheet, std::nullopt)->size(), QSize(32, 32));
}

TEST_F(PetImagesTest, ConcurrentWarmingKeepsTheCountAndCostLimits) {
  // Twenty sheets of 768 × 936 after decoding (2.9 MB each): the cost limit keeps eleven.
  std::vector<PetChoice> sheets;
  for (int i = 0; i < 20; ++i) {
    const QString folder = home.file(QStringLiteral("sheets/%1").arg(i));
    ASSERT_TRUE(test::writePicture(folder + "/spritesheet.png", 1536, 1872));
    sheets.push_back(folderPet(QStringLiteral("sheet-%1").arg(i), folder, true));
  }
  // Thirty small pictures: the count limit keeps twelve.
  std::vector<PetChoice> pictures;
  for (int i = 0; i < 30; ++i) {
    const QString folder = home.file(QStringLiteral("pictures/%1").arg(i));
    ASSERT_TRUE(test::writePicture(folder + "/pet.png", 64, 64));
    pictures.push_back(folderPet(QStringLiteral("picture-%1").arg(i), folder, false));
  }
  for (const auto* set : {&sheets, &pictures}) {
    SharedPetImageCache::cache().clear();
    std::atomic<int> finished = 0;
    for (int worker = 0; worker < 4; ++worker) {
      std::vector<PetChoice> order(set->begin(), set->end());
      std::rotate(order.begin(), order.begin() + worker * 3, order.end());
      warmPetImageCache(order, [&finished] { ++finished; });
    }
    ASSERT_TRUE(test::waitUntil([&] { return finished == 4; }, 60000));
    ImageCache& cache = SharedPetImageCache::cache();
    EXPECT_LE(cache.totalCost(), SharedPetImageCache::kTotalCostLimit);
    EXPECT_EQ(cache.count(), set == &sheets ? 11 : 12);
  }
  EXPECT_EQ(petImageCacheCost(QImage(100, 50, QImage::Format_ARGB32)), 20000);
}

TEST(PetImagesGui, PixelImagesAreDrawnNearestNeighbourAndLeaveThePainterAsItWas) {
  QImage checker(2, 1, QImage::Format_ARGB32_Premultiplied);
  checker.setPixel(0, 0, qRgb(255, 0, 0));
  checker.setPixel(1, 0, qRgb(0, 0, 255));
  QImage canvas(40, 10, QImage::Format_ARGB32_Premultiplied);
  canvas.fill(Qt::black);
  QPainter painter(&canvas);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
  painter.setOpacity(0.8);
  drawPixelImage(painter, checker, QRectF(0, 0, 40, 10), QRectF(0, 0, 2, 1), 1.0 / 0.8);
  EXPECT_TRUE(painter.testRenderHint(QPainter::SmoothPixmapTransform));
  EXPECT_DOUBLE_EQ(painter.opacity(), 0.8);
  painter.end();
  // Sharp edge in the middle: no blend of red and blue.
  EXPECT_EQ(canvas.pixel(19, 5), qRgb(255, 0, 0));
  EXPECT_EQ(canvas.pixel(20, 5), qRgb(0, 0, 255));
}

}  // namespace
}  // namespace tandrel
