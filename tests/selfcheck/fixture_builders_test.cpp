#include "selfcheck/fixture_builders.h"

#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QJsonDocument>

namespace tandrel {
namespace {

using test::readFile;
using test::TempHome;

TEST(FixtureBuildersTest, TestEventAddsTheFixedKeysAndLetsExtraOverrideThem) {
  const QJsonObject plain =
      testEvent(QStringLiteral("e"), QStringLiteral("codex"), QStringLiteral("task_updated"), QStringLiteral("info"),
                QStringLiteral("T"), QStringLiteral("M"));
  EXPECT_EQ(QJsonDocument(plain).toJson(QJsonDocument::Compact),
            R"({"cwd":"/tmp/tandrel","event_id":"e","event_type":"task_updated","message":"M","project":"tandrel","severity":"info","source":"codex","status":"task_updated","title":"T"})");

  struct Case {
    const char* type;
    QJsonObject extra;
    QJsonValue rawEventName;  // undefined: no key
  };
  const Case cases[] = {
      {"task_completed", {}, QStringLiteral("Stop")},
      {"task_completed", {{"raw_event_name", "SubagentStop"}}, QStringLiteral("SubagentStop")},
      {"task_completed", {{"raw_event_name", QJsonValue::Null}}, QJsonValue::Null},
      {"task_failed", {}, QJsonValue::Undefined},
  };
  for (const Case& c : cases) {
    const QJsonObject record = testEvent(QStringLiteral("e"), QStringLiteral("codex"), QString::fromLatin1(c.type),
                                         QStringLiteral("info"), QStringLiteral("T"), QStringLiteral("M"),
                                         std::nullopt, std::nullopt, std::nullopt, c.extra);
    EXPECT_EQ(record.value(QStringLiteral("raw_event_name")), c.rawEventName) << c.type;
  }

  const QJsonObject full = testEvent(
      QStringLiteral("e"), QStringLiteral("codex"), QStringLiteral("permission_request"), QStringLiteral("warning"),
      QStringLiteral("T"), QStringLiteral("M"), QJsonObject{{"risk", "high"}}, QJsonObject{{"total_tokens", 5}},
      QStringLiteral("2026-05-11T12:00:00Z"), {{"status", "overridden"}, {"cwd", "/w"}});
  EXPECT_EQ(full.value(QStringLiteral("action")).toObject().value(QStringLiteral("risk")), QStringLiteral("high"));
  EXPECT_EQ(full.value(QStringLiteral("usage")).toObject().value(QStringLiteral("total_tokens")), 5);
  EXPECT_EQ(full.value(QStringLiteral("timestamp")), QStringLiteral("2026-05-11T12:00:00Z"));
  EXPECT_EQ(full.value(QStringLiteral("status")), QStringLiteral("overridden"));
  EXPECT_EQ(full.value(QStringLiteral("cwd")), QStringLiteral("/w"));
}

TEST(FixtureBuildersTest, WritersCreateFoldersAndReplaceFilesWhole) {
  TempHome home;
  const QString lines = home.file(QStringLiteral("a/b/events.jsonl"));
  ASSERT_TRUE(writeJSONLines({}, lines));
  EXPECT_EQ(readFile(lines), "\n");
  ASSERT_TRUE(writeJSONLines({QJsonObject{{"z", 1}, {"a", "x/y"}}, QJsonObject{{"b", true}}}, lines));
  EXPECT_EQ(readFile(lines), "{\"a\":\"x\\/y\",\"z\":1}\n{\"b\":true}\n");

  const QString document = home.file(QStringLiteral("c/d/record.json"));
  ASSERT_TRUE(writeJSON(QJsonObject{{"k", "v"}}, document));
  EXPECT_TRUE(readFile(document).contains('\n'));
  EXPECT_EQ(QJsonDocument::fromJson(readFile(document)).object(), (QJsonObject{{"k", "v"}}));

  // A regular file in the way of the folder.
  EXPECT_FALSE(writeJSONLines({}, lines + QStringLiteral("/below.jsonl")));
  // A folder where the file goes: the write fails with its reason and leaves the folder alone.
  const auto refused = writeJSONLines({}, home.file(QStringLiteral("a")));
  ASSERT_FALSE(refused);
  EXPECT_TRUE(refused.error().startsWith(QStringLiteral("Cannot write ") + home.file(QStringLiteral("a")) + ": "))
      << refused.error().toStdString();
  // Neither write leaves a half-written file beside its place.
  EXPECT_EQ(QDir(home.file(QStringLiteral("a"))).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
            QStringList{"b"});
  EXPECT_EQ(QDir(home.file(QStringLiteral("a/b"))).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
            QStringList{"events.jsonl"});
}

TEST(FixtureBuildersTest, SpriteSheetIsABlankPngOfTheSheetSizeWhateverTheName) {
  TempHome home;
  const QString path = home.file(QStringLiteral("sheet.webp"));
  ASSERT_TRUE(writeTestSprite(path));
  EXPECT_TRUE(readFile(path).startsWith("\x89PNG"));
  const QImage image(path, "PNG");
  EXPECT_EQ(image.size(), QSize(kSpriteSheetWidth, kSpriteSheetHeight));
  EXPECT_EQ(qAlpha(image.pixel(700, 900)), 0);
  EXPECT_FALSE(writeTestSprite(home.file(QStringLiteral("missing/sheet.png"))));
}

TEST(FixtureBuildersTest, ColoursAndFixtureRecords) {
  const QColor colour = rgba(28, 126, 214);
  EXPECT_NEAR(colour.redF(), 28 / 255.0, 1e-6);
  EXPECT_NEAR(colour.greenF(), 126 / 255.0, 1e-6);
  EXPECT_NEAR(colour.blueF(), 214 / 255.0, 1e-6);
  EXPECT_EQ(colour.alphaF(), 1.0);

  const auto records = fixtureRecords();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].value(QStringLiteral("event_id")), QStringLiteral("fixture-approval"));
  EXPECT_EQ(records[0].value(QStringLiteral("action")).toObject().value(QStringLiteral("risk")), QStringLiteral("high"));
  EXPECT_EQ(records[1].value(QStringLiteral("usage")).toObject().value(QStringLiteral("context_percent")), 14.5);
  EXPECT_EQ(records[2].value(QStringLiteral("title")), QStringLiteral("Rate limit reached \u00B7 GPT-4o"));
}

}  // namespace
}  // namespace tandrel
