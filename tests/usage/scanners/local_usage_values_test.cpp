#include "usage/scanners/local_usage_values.h"

#include "usage/scanners/local_usage_file_event_cache.h"
#include "usage/scanners/scanner_test_support.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>

namespace tandrel {
namespace {

using test::TempHome;
using test::utcAt;
using test::writeFileAt;

QJsonValue json(const char* text) {
  return QJsonDocument::fromJson(QByteArray("[") + text + "]").array().at(0);
}

TEST(LocalUsageValuesTest, NumbersAndResets) {
  const struct {
    const char* value;
    std::optional<double> number;
  } numbers[] = {
      {"42", 42},          {"true", 1},        {"\"42%\"", 42},   {"\"$1,234.5\"", 1234.5}, {"\" 7 \"", 7},
      {"\"1,234%\"", 1234}, {"\"abc\"", std::nullopt}, {"\"\"", std::nullopt}, {"[1]", std::nullopt},
      {"null", std::nullopt},
  };
  for (const auto& c : numbers) {
    EXPECT_EQ(localUsageNumber(json(c.value)), c.number) << c.value;
  }
  const QJsonObject usage{{"a", "x"}, {"b", "12"}, {"c", 3}};
  EXPECT_EQ(firstLocalUsageNumber(usage, {QLatin1String("a"), QLatin1String("b"), QLatin1String("c")}), 12);
  EXPECT_EQ(firstLocalUsageNumber(std::nullopt, {QLatin1String("a")}), std::nullopt);

  EXPECT_EQ(localUsageResetString(json("\" 2026-01-01T00:00:00Z \"")), QStringLiteral("2026-01-01T00:00:00Z"));
  EXPECT_EQ(localUsageResetString(json("1767225600")), QStringLiteral("2026-01-01T00:00:00Z"));
  EXPECT_EQ(localUsageResetString(json("\" \"")), std::nullopt);
  EXPECT_EQ(localUsageResetString(json("{}")), std::nullopt);
}

TEST(LocalUsageValuesTest, Timestamps) {
  TempHome home;
  const QString path = home.file("f.jsonl");
  ASSERT_TRUE(writeFileAt(path, "{}\n", utcAt("2026-01-01T10:00:00.500Z")));
  EXPECT_EQ(latestLocalUsageTimestamp("2026-01-01T11:00:00Z", path), "2026-01-01T11:00:00Z");
  EXPECT_EQ(latestLocalUsageTimestamp("2026-01-01T09:00:00Z", path), "2026-01-01T10:00:00Z");
  EXPECT_EQ(latestLocalUsageTimestamp("not a time", path), "2026-01-01T10:00:00Z");
  EXPECT_EQ(latestLocalUsageTimestamp("as written", home.file("missing")), "as written");

  const QDateTime fallback = utcAt("2026-02-02T02:02:02Z");
  const QTimeZone utcZone = QTimeZone::utc();
  const QTimeZone plusEight(8 * 3600);
  const struct {
    const char* value;
    QTimeZone zone;
    const char* expected;
  } cases[] = {
      {"\"2025-01-02T03:04:05Z\"", utcZone, "2025-01-02T03:04:05Z"},
      {"\"2025-01-02T03:04:05\"", utcZone, "2025-01-02T03:04:05Z"},
      {"\"2025-01-02T03:04:05.250\"", utcZone, "2025-01-02T03:04:05.250Z"},
      {"\"2025-01-02T03:04:05+02:00\"", utcZone, "2025-01-02T03:04:05+02:00"},
      {"\"2025-01-02\"", utcZone, "2026-02-02T02:02:02Z"},
      {"12", utcZone, "2026-02-02T02:02:02Z"},
      // Trae Agent writes local times without a zone, with microseconds.
      {"\"2025-01-02T03:04:05.123456\"", plusEight, "2025-01-02T03:04:05.123456+08:00"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(normalizedLocalUsageTimestamp(json(c.value), fallback, c.zone), QString::fromUtf8(c.expected)) << c.value;
  }
}

TEST(LocalUsageValuesTest, StableIdentifiers) {
  EXPECT_EQ(stableLocalUsageID("codex", "/Users/a/x.jsonl", "2025-01-02T03:04:05Z"),
            "codex-users-a-x-jsonl-2025-01-02t03-04-05z");
  EXPECT_EQ(stableLocalUsageID("--A", "/Ünï/ço dé", "--"), "a-ünï-ço-dé");
  // The 160th character is the "-" of the second "/": the cut keeps it, the trim drops it.
  const QString cutAtSeparator = stableLocalUsageID("p", "/" + QString(157, QLatin1Char('a')) + "/bbbb", "t");
  EXPECT_EQ(cutAtSeparator, "p-" + QString(157, QLatin1Char('a')));
  EXPECT_EQ(stableLocalUsageID("p", "/" + QString(300, QLatin1Char('a')), "t").size(), 160);
}

TEST(LocalUsageValuesTest, CompactText) {
  const struct {
    const char* value;
    int limit;
    const char* expected;
  } cases[] = {
      {"{\"type\":\"Tool_Result\",\"text\":\"x\"}", 100, ""},
      {"[{\"text\":\"a\"},{\"content\":\"b\\r\\nc\"}]", 100, "a b c"},
      {"[[[[\"x\"]]]]", 100, ""},
      {"[[[\"x\"]]]", 100, "x"},
      {"\"hello world\"", 5, "hell\xE2\x80\xA6"},
      {"{\"summary\":\" s \",\"text\":\"  \",\"value\":\"v\"}", 100, "s"},
      {"[1.5, {\"type\":\"image\",\"text\":\"no\"}, \"  line one \\n\\n line two \"]", 100, "1.5 line one line two"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(compactLocalText(json(c.value), c.limit), QString::fromUtf8(c.expected)) << c.value;
  }
}

TEST(LocalUsageValuesTest, SanitizeMasksSecretsAsTheEventWriterDoes) {
  const struct {
    const char* text;
    int limit;
    const char* expected;
  } cases[] = {
      {"key sk-abcdefghij0123 here", 240, "key sk-... here"},
      {"sk-short stays", 240, "sk-short stays"},
      // The value's closing quote stays, as in the event writer.
      {"export API_KEY='abc123' next", 240, "export API_KEY=...' next"},
      {"apikey: xyz  and Token=t0k secret = \"s\" password:pw", 240,
       "apikey=... and Token=... secret=...\" password=..."},
      {"  many\n\t spaces  ", 240, "many spaces"},
      {"abcdefghij", 8, "abcde..."},
      {"\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", 4, "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(sanitize(QString::fromUtf8(c.text), c.limit), QString::fromUtf8(c.expected)) << c.text;
  }
}

// The rule is the event writer's: both give the same text for the same input.
TEST(LocalUsageValuesTest, SanitizeAgreesWithTheEventWriterScript) {
  TempHome home;  // the script keeps a compiled-code cache under XDG_CACHE_HOME
  const QStringList texts{
      "key sk-abcdefghij0123 here",      "\"token\": \"abc\" and 'secret'= x", "PassWord:\thunter2  end",
      "api-key=1 apikey = 2 api_key:'3'", "a\u2003b\n\nc",                   QString(300, QLatin1Char('x')),
      "\u00e9t\u00e9 " + QString(250, QChar(0x00e9)),
  };
  QJsonArray inputs;
  for (const QString& text : texts) {
    inputs.append(text);
  }
  const QString script = qEnvironmentVariable("TANDREL_SOURCE_DIR") + "/src/hooks/scripts/tandrel-event";
  QProcess python;
  python.start("python3", {"-c",
                           "import importlib.machinery, json, sys\n"
                           "m = importlib.machinery.SourceFileLoader('writer', sys.argv[1]).load_module()\n"
                           "print(json.dumps([m.sanitize(t, 240) for t in json.load(sys.stdin)]))",
                           script});
  python.write(QJsonDocument(inputs).toJson());
  python.closeWriteChannel();
  ASSERT_TRUE(python.waitForFinished(30'000));
  const QJsonArray expected = QJsonDocument::fromJson(python.readAllStandardOutput()).array();
  ASSERT_EQ(expected.size(), texts.size()) << python.readAllStandardError().toStdString();
  for (qsizetype i = 0; i < texts.size(); ++i) {
    EXPECT_EQ(sanitize(texts[i], 240), expected[i].toString()) << texts[i].toStdString();
  }
}

TEST(LocalUsageValuesTest, UsageOnlyEventCarriesTheUsageIntoTheStore) {
  const auto event = usageOnlyEvent("local-x", "codex", "Codex usage updated", "2026-01-01T00:00:00Z",
                                    "/data/proj/rollout-a.jsonl",
                                    QJsonObject{{"data_source", "rollout"}, {"tool_id", "codex-cli"},
                                                {"observed_at", "2026-01-01T00:00:00Z"}, {"total_tokens", 1095}});
  ASSERT_TRUE(event);
  EXPECT_EQ(event->id, "local-x-data-proj-rollout-a-jsonl-2026-01-01t00-00-00z");
  EXPECT_EQ(event->project, "proj");
  EXPECT_EQ(event->cwd, "/data/proj");
  EXPECT_EQ(event->eventType, "task_updated");
  EXPECT_EQ(event->notifyPolicy, "usage_only");
  EXPECT_EQ(event->transcriptPath, QStringLiteral("/data/proj/rollout-a.jsonl"));
  ASSERT_TRUE(event->usage && event->usage->tokens);
  EXPECT_EQ(event->usage->tokens->label, "1.1k total");
}

TEST(LocalUsageFileEventCacheTest, RereadsOnlyWhenTimeOrSizeChanges) {
  TempHome home;
  clearLocalUsageFileEventCache();
  const QString path = home.file("a.jsonl");
  const QDateTime t0 = utcAt("2026-01-01T10:00:00Z");
  ASSERT_TRUE(writeFileAt(path, "aaaa", t0));
  int loads = 0;
  const auto load = [&]() -> std::optional<TandrelEvent> {
    ++loads;
    return std::nullopt;  // "no event" is cached too
  };
  EXPECT_FALSE(LocalUsageFileEventCache::event("k", path, load));
  EXPECT_FALSE(LocalUsageFileEventCache::event("k", path, load));
  EXPECT_EQ(loads, 1);
  ASSERT_TRUE(writeFileAt(path, "bbbb", t0));  // rewritten, same size and time
  LocalUsageFileEventCache::event("k", path, load);
  EXPECT_EQ(loads, 1);
  LocalUsageFileEventCache::event("other-kind", path, load);
  EXPECT_EQ(loads, 2);
  ASSERT_TRUE(writeFileAt(path, "bbbb", t0.addSecs(1)));
  LocalUsageFileEventCache::event("k", path, load);
  ASSERT_TRUE(writeFileAt(path, "bbbbb", t0.addSecs(1)));
  LocalUsageFileEventCache::event("k", path, load);
  EXPECT_EQ(loads, 4);
  LocalUsageFileEventCache::event("k", home.file("missing"), load);
  LocalUsageFileEventCache::event("k", home.file("missing"), load);
  EXPECT_EQ(loads, 5);
  clearLocalUsageFileEventCache();
  EXPECT_EQ(LocalUsageFileEventCache::countForTests(), 0);
}

}  // namespace
}  // namespace tandrel
