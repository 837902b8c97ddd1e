#include "platform/user_defaults.h"

#include "support/temp_home.h"

#include <QFile>

#include <gtest/gtest.h>

namespace tandrel {
namespace {

class UserDefaultsTest : public ::testing::Test {
 protected:
  void SetUp() override { UserDefaults::setDirectoryForTests(home.file(QStringLiteral("prefs"))); }
  void TearDown() override { UserDefaults::setDirectoryForTests(QString()); }

  test::TempHome home;
};

TEST_F(UserDefaultsTest, KeepsEveryTypeAcrossAReload) {
  const QDateTime when = QDateTime::fromMSecsSinceEpoch(1'800'000'000'123, Qt::UTC);
  {
    UserDefaults& defaults = UserDefaults::standard();
    defaults.set(QStringLiteral("text"), "moonlight-sonata");
    defaults.set(QStringLiteral("count"), qint64(9007199254740993));
    defaults.set(QStringLiteral("scale"), 1.25);
    defaults.set(QStringLiteral("flag"), true);
    defaults.set(QStringLiteral("when"), when);
    defaults.set(QStringLiteral("ids"), QStringList{QStringLiteral("a"), QStringLiteral("方案")});
    defaults.set(QStringLiteral("models"), QJsonObject{{QStringLiteral("codex"), QStringLiteral("gpt-5")}});
    defaults.set(QStringLiteral("sounds"), QJsonArray{QJsonObject{{QStringLiteral("path"), QStringLiteral("/a.wav")}}});
    defaults.set(QStringLiteral("gone"), 1);
    defaults.remove(QStringLiteral("gone"));
  }
  UserDefaults reloaded(UserDefaults::directory() + QStringLiteral("/defaults.json"));
  EXPECT_EQ(reloaded.object(QStringLiteral("text")), DefaultsValue(QStringLiteral("moonlight-sonata")));
  EXPECT_EQ(reloaded.object(QStringLiteral("count")), DefaultsValue(qint64(9007199254740993)));
  EXPECT_EQ(reloaded.object(QStringLiteral("scale")), DefaultsValue(1.25));
  EXPECT_EQ(reloaded.object(QStringLiteral("flag")), DefaultsValue(true));
  EXPECT_EQ(reloaded.date(QStringLiteral("when")), when);
  EXPECT_EQ(reloaded.stringArray(QStringLiteral("ids")),
            (QStringList{QStringLiteral("a"), QStringLiteral("方案")}));
  EXPECT_EQ(reloaded.dictionary(QStringLiteral("models")),
            (QJsonObject{{QStringLiteral("codex"), QStringLiteral("gpt-5")}}));
  EXPECT_EQ(reloaded.array(QStringLiteral("sounds")),
            (QJsonArray{QJsonObject{{QStringLiteral("path"), QStringLiteral("/a.wav")}}}));
  // A list of texts and an array are different stored types.
  EXPECT_FALSE(reloaded.array(QStringLiteral("ids")).has_value());
  EXPECT_FALSE(reloaded.stringArray(QStringLiteral("sounds")).has_value());
  EXPECT_FALSE(reloaded.dictionary(QStringLiteral("sounds")).has_value());
  EXPECT_FALSE(reloaded.contains(QStringLiteral("gone")));
  EXPECT_EQ(reloaded.keys().size(), 8);
  const auto permissions = QFile(reloaded.filePath()).permissions();
  EXPECT_FALSE(permissions & QFileDevice::ReadOther);
}

TEST_F(UserDefaultsTest, ConvertsLikeThePlatformDefaults) {
  UserDefaults& d = UserDefaults::suite(QStringLiteral("conversions"));
  d.set(QStringLiteral("flagText"), "true");
  d.set(QStringLiteral("zeroText"), "0");
  d.set(QStringLiteral("word"), "maybe");
  d.set(QStringLiteral("number"), 3);
  d.set(QStringLiteral("real"), 2.75);
  d.set(QStringLiteral("numericText"), " 42 ");
  d.set(QStringLiteral("hugeText"), "1e400");
  d.set(QStringLiteral("flag"), false);
  struct Case {
    const char* key;
    bool flag;
    qint64 integer;
    double real;
    std::optional<QString> text;
  };
  const Case cases[] = {
      {"flagText", true, 0, 0.0, QStringLiteral("true")},
      {"zeroText", false, 0, 0.0, QStringLiteral("0")},
      {"word", false, 0, 0.0, QStringLiteral("maybe")},
      {"number", true, 3, 3.0, QStringLiteral("3")},
      {"real", true, 2, 2.75, QStringLiteral("2.75")},
      {"numericText", true, 42, 42.0, QStringLiteral(" 42 ")},
      {"hugeText", false, 0, 0.0, QStringLiteral("1e400")},
      {"flag", false, 0, 0.0, std::nullopt},
      {"absent", false, 0, 0.0, std::nullopt},
  };
  for (const auto& c : cases) {
    const QString key = QString::fromUtf8(c.key);
    EXPECT_EQ(d.boolean(key), c.flag) << c.key;
    EXPECT_EQ(d.integer(key), c.integer) << c.key;
    EXPECT_DOUBLE_EQ(d.real(key), c.real) << c.key;
    EXPECT_EQ(d.string(key), c.text) << c.key;
  }
  // A flag stored as text stays text: callers can tell the two apart.
  EXPECT_TRUE(std::holds_alternative<QString>(*d.object(QStringLiteral("flagText"))));
  EXPECT_FALSE(d.stringArray(QStringLiteral("word")).has_value());
  EXPECT_FALSE(d.date(QStringLiteral("word")).has_value());
}

TEST_F(UserDefaultsTest, SuitesAreSeparateFilesAndCanBeRemoved) {
  UserDefaults::standard().set(QStringLiteral("k"), "standard");
  UserDefaults& suite = UserDefaults::suite(QStringLiteral("tandrel.tests"));
  suite.set(QStringLiteral("k"), "suite");
  EXPECT_TRUE(QFile::exists(UserDefaults::directory() + QStringLiteral("/tandrel.tests.json")));
  EXPECT_EQ(UserDefaults::standard().string(QStringLiteral("k")), QStringLiteral("standard"));

  UserDefaults::removeSuite(QStringLiteral("tandrel.tests"));
  EXPECT_FALSE(suite.contains(QStringLiteral("k")));
  EXPECT_FALSE(QFile::exists(suite.filePath()));
  EXPECT_EQ(UserDefaults::standard().string(QStringLiteral("k")), QStringLiteral("standard"));
}

TEST_F(UserDefaultsTest, DamagedFileReadsEmptyAndIsKeptUntilTheNextWriteAndBesideIt) {
  const QString path = UserDefaults::directory() + QStringLiteral("/damaged.json");
  const QByteArray damaged = "{\"k\": {\"type\": \"string\", \"value\": \"x\"";
  ASSERT_TRUE(test::writeFile(path, damaged));

  UserDefaults& d = UserDefaults::suite(QStringLiteral("damaged"));
  EXPECT_TRUE(d.keys().isEmpty());
  d.remove(QStringLiteral("k"));  // nothing to remove: no write
  EXPECT_EQ(test::readFile(path), damaged);

  d.set(QStringLiteral("k"), "fresh");
  UserDefaults reread(path);
  EXPECT_EQ(reread.string(QStringLiteral("k")), QStringLiteral("fresh"));
  EXPECT_EQ(test::readFile(path + QStringLiteral(".damaged")), damaged);
}

TEST_F(UserDefaultsTest, OnlyRealChangesAreWrittenAndAnnounced) {
  UserDefaults& d = UserDefaults::suite(QStringLiteral("changes"));
  QStringList announced;
  QObject::connect(&d, &UserDefaults::changed, [&](const QString& key) { announced.append(key); });
  const QString count = QStringLiteral("count");

  d.set(count, 1);
  ASSERT_TRUE(QFile::remove(d.filePath()));
  d.set(count, 1);  // the same value of the same type: the file stays away
  EXPECT_FALSE(QFile::exists(d.filePath()));
  d.set(count, 1.0);  // another type is another value
  EXPECT_TRUE(QFile::exists(d.filePath()));
  d.set(QStringLiteral("when"), QDateTime::fromSecsSinceEpoch(5, Qt::OffsetFromUTC, 3600));
  d.set(QStringLiteral("when"), QDateTime::fromSecsSinceEpoch(5, Qt::UTC));  // the same instant
  d.remove(count);
  d.remove(count);
  UserDefaults::removeSuite(QStringLiteral("changes"));

  EXPECT_EQ(announced, (QStringList{count, count, QStringLiteral("when"), count, QStringLiteral("when")}));
}

TEST_F(UserDefaultsTest, DefaultFolderFollowsXdgConfigHome) {
  UserDefaults::setDirectoryForTests(QString());
  EXPECT_EQ(UserDefaults::directory(), home.file(QStringLiteral(".config/Tandrel")));
  home.setEnv("XDG_CONFIG_HOME", std::nullopt);
  EXPECT_EQ(UserDefaults::directory(), home.file(QStringLiteral(".config/Tandrel")));
  home.setEnv("XDG_CONFIG_HOME", QByteArray("relative/path"));
  EXPECT_EQ(UserDefaults::directory(), home.file(QStringLiteral(".config/Tandrel")));
}

}  // namespace
}  // namespace tandrel
