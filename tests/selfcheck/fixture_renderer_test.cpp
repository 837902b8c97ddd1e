#include "selfcheck/fixture_renderer.h"

#include "app/binary_runner.h"
#include "base/canonical_json.h"
#include "selfcheck/fixture_builders.h"
#include "selfcheck/pixel_measures.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QImageReader>

#include <cmath>

namespace tandrel {
namespace {

using test::readFile;
using test::TempHome;

QByteArray fixtureBridgeText() {
  QByteArray text;
  for (const QJsonObject& record : fixtureRecords()) {
    text += canonicalJsonLine(record);
  }
  return text;
}

// Every file below `folder`, relative to it, sorted.
QStringList filesBelow(const QString& folder) {
  QStringList found;
  QDir root(folder);
  const QFileInfoList entries = root.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
  for (const QFileInfo& entry : entries) {
    if (entry.isDir()) {
      for (const QString& inner : filesBelow(entry.filePath())) {
        found.append(entry.fileName() + QLatin1Char('/') + inner);
      }
    } else {
      found.append(entry.fileName());
    }
  }
  found.sort();
  return found;
}

class FixtureRendererSlow : public ::testing::Test {
 protected:
  FixtureRendererSlow() : environment(QProcessEnvironment::systemEnvironment()) {
    // As on a build machine: no display at all, and no platform chosen.
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_SESSION_TYPE"}) {
      environment.remove(QString::fromLatin1(name));
    }
    environment.insert(QStringLiteral("TANDREL_EVENT_FILE"), eventFile);
  }

  test::BinaryRun render(const QString& folder) {
    environment.insert(QStringLiteral("TANDREL_RENDER_FIXTURES"), folder);
    return test::runTandrel({}, {}, environment);
  }

  TempHome home;
  QProcessEnvironment environment;
  const QString eventFile = home.file(QStringLiteral("scratch/events.jsonl"));
  const QString output = home.file(QStringLiteral("renders/nested"));
};

TEST_F(FixtureRendererSlow, WritesEachImageAtItsSizeAndASecondRunReplacesThem) {
  const test::BinaryRun first = render(output);
  ASSERT_TRUE(first.finished);
  EXPECT_EQ(first.exitCode, 0) << first.standardError.toStdString();
  EXPECT_EQ(first.standardOutput, "Rendered fixtures to " + output.toUtf8() + '\n');
  EXPECT_EQ(first.standardError, QByteArray());

  // The expanded height follows the messages a store makes of the fixture records.
  EventStore store(fixtureStoreOptions(eventFile));
  store.reload(false);
  store.ensureMessageCache();
  ASSERT_FALSE(store.allMessages().empty());
  const int expandedHeight =
      static_cast<int>(std::ceil(expandedOverlayHeight(static_cast<int>(store.allMessages().size()))));

  // A usage reading is no card: the usage rows show the island without messages.
  const int usageHeight = static_cast<int>(std::ceil(expandedOverlayHeight(0)));

  const std::vector<std::pair<QString, QSize>> expected = {
      {"collapsed-external.png", {332, 32}},
      {"collapsed-macbook.png", {332, 33}},
      // Two cards; with the question's choice card open the island grows by its body and gap.
      {"expanded-cards.png", {540, 409}},
      {"expanded-choice-open.png", {540, 513}},
      {"expanded-usage-0.5.png", {540, usageHeight}},
      {"expanded-usage-42.png", {540, usageHeight}},
      {"expanded-usage-99.png", {540, usageHeight}},
      {"expanded-usage-codex.png", {540, usageHeight}},
      {"expanded.png", {540, expandedHeight}},
      {"settings-about.png", {860, 780}},
      {"settings-ai-tools.png", {860, 780}},
      {"settings-general.png", {860, 780}},
      {"settings-pets-live-preview-floating-peak.png", {860, 780}},
      {"settings-pets-live-preview-roaming-left.png", {860, 780}},
      {"settings-pets-live-preview-roaming-mid.png", {860, 780}},
      {"settings-pets-live-preview-roaming-right.png", {860, 780}},
      {"settings-pets.png", {860, 780}},
      {"settings-sound.png", {860, 780}},
  };
  QStringList names;
  for (const auto& [name, size] : expected) {
    names.append(name);
    EXPECT_EQ(QImageReader(output + QLatin1Char('/') + name).size(), size) << name.toStdString();
  }
  EXPECT_EQ(filesBelow(output), names);
  EXPECT_EQ(readFile(eventFile), fixtureBridgeText());
  // Nothing beyond the bridge file's folder and the output: no audit or defaults in the home's
  // application folders.
  EXPECT_EQ(filesBelow(home.path()).filter(QRegularExpression(QStringLiteral("^(?!scratch/|renders/)"))),
            QStringList());

  for (const auto& [name, size] : expected) {
    ASSERT_TRUE(test::writeFile(output + QLatin1Char('/') + name, "stale"));
  }
  ASSERT_TRUE(test::writeFile(eventFile, "{\"event_id\":\"user\"}\n"));
  const test::BinaryRun second = render(output);
  ASSERT_TRUE(second.finished);
  EXPECT_EQ(second.exitCode, 0) << second.standardError.toStdString();
  for (const auto& [name, size] : expected) {
    EXPECT_EQ(QImageReader(output + QLatin1Char('/') + name).size(), size) << name.toStdString();
  }
  EXPECT_EQ(readFile(eventFile), fixtureBridgeText());
}

TEST_F(FixtureRendererSlow, AMissingOrBlankEventFileIsRefusedAndNothingIsWritten) {
  // The blank name would otherwise stand for the user's own bridge file.
  const QString userBridge = home.file(QStringLiteral(".local/share/Tandrel/events.jsonl"));
  ASSERT_TRUE(test::writeFile(userBridge, "{\"event_id\":\"user\"}\n"));
  for (const std::optional<QString>& value : {std::optional<QString>(), std::optional<QString>(""),
                                              std::optional<QString>("  \t")}) {
    SCOPED_TRACE(value ? ("'" + value->toStdString() + "'") : "unset");
    if (value) {
      environment.insert(QStringLiteral("TANDREL_EVENT_FILE"), *value);
    } else {
      environment.remove(QStringLiteral("TANDREL_EVENT_FILE"));
    }
    const test::BinaryRun run = render(output);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.standardError, "TANDREL_EVENT_FILE is required for fixture rendering\n");
    EXPECT_EQ(run.standardOutput, QByteArray());
    EXPECT_FALSE(QFileInfo::exists(output));
    EXPECT_EQ(readFile(userBridge), "{\"event_id\":\"user\"}\n");
  }
}

TEST_F(FixtureRendererSlow, AnOutputFolderThatCannotBeMadeFailsWithNoImage) {
  const QString blocker = home.file(QStringLiteral("renders/file"));
  ASSERT_TRUE(test::writeFile(blocker, "not a folder"));
  const test::BinaryRun run = render(blocker + QStringLiteral("/below"));
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(run.standardError.startsWith("Fixture rendering failed: ")) << run.standardError.toStdString();
  EXPECT_EQ(run.standardError.count('\n'), 1);
  EXPECT_EQ(run.standardOutput, QByteArray());
  EXPECT_EQ(filesBelow(home.file(QStringLiteral("renders"))), QStringList{QStringLiteral("file")});
}

TEST(FixtureRendererTest, TheStoreKeepsItsActionAuditBesideTheBridgeFile) {
  TempHome home;
  const EventStoreOptions options = fixtureStoreOptions(home.file(QStringLiteral("scratch/events.jsonl")));
  EXPECT_EQ(options.eventFile, home.file(QStringLiteral("scratch/events.jsonl")));
  EXPECT_EQ(options.auditFile, home.file(QStringLiteral("scratch/audit.jsonl")));
}

class FixtureRendererGui : public ::testing::Test {
 protected:
  FixtureRendererGui() {
    home.setEnv("TANDREL_SETTINGS_TAB", std::nullopt);
    const QString eventFile = home.file(QStringLiteral("scratch/events.jsonl"));
    EXPECT_TRUE(writeJSONLines(fixtureRecords(), eventFile));
    EventStoreOptions options = fixtureStoreOptions(eventFile);
    options.testEnvironment = true;
    store = std::make_unique<EventStore>(options);
    store->reload(false);
  }

  TempHome home;
  std::unique_ptr<EventStore> store;
};

TEST_F(FixtureRendererGui, ImagesComeFromTheViewsPaintingAtEachPixelRatio) {
  for (const qreal ratio : {1.0, 2.0}) {
    for (const FixtureRow& row : fixtureRows()) {
      SCOPED_TRACE(std::string(row.fileName) + " at " + std::to_string(ratio));
      const Result<QImage> image = renderFixtureImage(row, *store, ratio);
      ASSERT_TRUE(image);
      const QSizeF frame = fixtureFrame(row, *store);
      EXPECT_EQ(image->size(), QSize(static_cast<int>(std::ceil(frame.width())) * ratio,
                                     static_cast<int>(std::ceil(frame.height())) * ratio));
      EXPECT_EQ(image->devicePixelRatio(), ratio);
      // The island's body is painted (the expanded background is 98.5 % opaque); the bottom
      // corners outside its rounding stay clear.
      const QPoint centre(image->width() / 2, image->height() / 2);
      EXPECT_GE(qAlpha(image->pixel(centre)), 251);
      EXPECT_EQ(qAlpha(image->pixel(0, image->height() - 1)), 0);
      EXPECT_EQ(qAlpha(image->pixel(image->width() - 1, image->height() - 1)), 0);
      // For looking at the drawing at each ratio.
      if (const QString keep = qEnvironmentVariable("TANDREL_KEEP_FIXTURE_RENDERS"); !keep.isEmpty()) {
        EXPECT_TRUE(QDir().mkpath(QStringLiteral("%1/%2x").arg(keep).arg(ratio)));
        EXPECT_TRUE(image->save(QStringLiteral("%1/%2x/%3").arg(keep).arg(ratio).arg(row.fileName)));
      }
    }
  }
}

TEST_F(FixtureRendererGui, TheExpandedContentShowsAtFullOpacityAtOnce) {
  // Outside a fixture render the content below the header fades in after expanding; a render
  // made in any process shows it settled: the cards' text is bright.
  const FixtureRow& expanded = fixtureRows().at(2);
  ASSERT_EQ(expanded.mode, OverlayMode::expanded);
  const Result<QImage> image = renderFixtureImage(expanded, *store);
  ASSERT_TRUE(image);
  const QRectF belowTheHeader(0, 160, image->width(), image->height() - 200);
  EXPECT_GE(pixel_measures::maxLuminance(*image, belowTheHeader), 0.78);
}

}  // namespace
}  // namespace tandrel
