#include "selfcheck/checks/sound_preset_checks.h"

#include "listed_failures.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <functional>
#include <vector>

namespace tandrel {
namespace {

// A copy of the project's resources folder, which a case then breaks.
void copyResources(const QString& target) {
  const QString source = qEnvironmentVariable("TANDREL_SOURCE_DIR") + QStringLiteral("/resources");
  QDirIterator files(source + QStringLiteral("/Sounds"), QDir::Files, QDirIterator::Subdirectories);
  while (files.hasNext()) {
    const QString file = files.next();
    const QString copy = target + file.mid(source.size());
    QDir().mkpath(QFileInfo(copy).absolutePath());
    ASSERT_TRUE(QFile::copy(file, copy)) << copy.toStdString();
  }
}

TEST(SoundPresetChecks, TheShippedSoundsPassAndEachBrokenBundleFailsWithItsSentences) {
  const QString moonlight = QStringLiteral("app should play the clipped Moonlight 3-second excerpt without runtime seeking");
  const struct {
    const char* name;
    std::function<void(const QString& resources)> breakBundle;
    std::vector<QString> failures;
  } cases[] = {
      {"the shipped sounds", [](const QString&) {}, {}},
      // Another recording under the preset's name: found and decoded, but not a 3-second excerpt.
      {"a longer recording",
       [](const QString& resources) {
         const QString file = resources + QStringLiteral("/Sounds/classics/moonlight-sonata.ogg");
         QFile::remove(file);
         QFile::copy(resources + QStringLiteral("/Sounds/generated/epic-quest.wav"), file);
       },
       {moonlight}},
      {"the first piano preset missing",
       [](const QString& resources) { QFile::remove(resources + QStringLiteral("/Sounds/classics/moonlight-sonata.ogg")); },
       {QStringLiteral("app should bundle piano classic sound resources"), moonlight,
        QStringLiteral("app should bundle every built-in sound preset, missing: moonlight-sonata")}},
      // Both absent ones in one sentence, in catalogue order.
      {"two presets missing",
       [](const QString& resources) {
         QFile::remove(resources + QStringLiteral("/Sounds/generated/cabin-chime.wav"));
         QFile::remove(resources + QStringLiteral("/Sounds/classics/lumen-aria.ogg"));
       },
       {QStringLiteral("app should play the clipped Lumen Aria 3-second excerpt without runtime seeking"),
        QStringLiteral("app should bundle every built-in sound preset, missing: lumen-aria, cabin-chime")}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempHome home;
    const QString resources = home.file(QStringLiteral("resources"));
    copyResources(resources);
    c.breakBundle(resources);
    home.setEnv("TANDREL_RESOURCES_DIR", resources.toUtf8());
    SelfCheckFailures failures;
    runBuiltInSoundPresetChecks(failures);
    EXPECT_EQ(failures.messages(), c.failures) << test::listed(failures.messages());
  }
}

}  // namespace
}  // namespace tandrel
