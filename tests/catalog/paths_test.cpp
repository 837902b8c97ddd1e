#include "catalog/paths.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QDir>
#include <QJsonValue>
#include <functional>

#include "support/temp_home.h"

namespace tandrel {
namespace {

// Sets the test-environment flag for one test and puts the old value back afterwards.
class TestEnvironmentScope {
 public:
  explicit TestEnvironmentScope(bool on) : previous_(isTestEnvironment()) {
    setTestEnvironment(on);
  }
  ~TestEnvironmentScope() { setTestEnvironment(previous_); }

 private:
  bool previous_;
};

bool setModificationTime(const QString& path, qint64 secondsSinceEpoch) {
  const timespec times[2] = {{secondsSinceEpoch, 0}, {secondsSinceEpoch, 0}};
  return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
}

TEST(PathsTest, BridgeFileAndHomeFollowTrimmedVariables) {
  test::TempHome home;
  const QString root = home.path();
  struct Case {
    const char* variable;
    std::optional<QByteArray> value;
    std::function<QString()> function;
    QString expected;
  };
  const std::vector<Case> cases = {
      {"TANDREL_EVENT_FILE", QByteArray("  /tmp/bridge/events.jsonl \n"), eventFileURL,
       QStringLiteral("/tmp/bridge/events.jsonl")},
      {"TANDREL_EVENT_FILE", QByteArray("~/bridge/events.jsonl"), eventFileURL,
       root + QStringLiteral("/bridge/events.jsonl")},
      {"TANDREL_EVENT_FILE", QByteArray("~user/events.jsonl"), eventFileURL,
       QDir::currentPath() + QStringLiteral("/~user/events.jsonl")},
      {"TANDREL_EVENT_FILE", QByteArray(" \t\n"), eventFileURL,
       root + QStringLiteral("/.local/share/Tandrel/events.jsonl")},
      {"TANDREL_EVENT_FILE", std::nullopt, eventFileURL,
       root + QStringLiteral("/.local/share/Tandrel/events.jsonl")},
      {"TANDREL_HOME", QByteArray(" /srv/td "), tandrelHomeURL, QStringLiteral("/srv/td")},
      {"TANDREL_HOME", QByteArray(""), tandrelHomeURL, root + QStringLiteral("/.tandrel")},
      {"CODEX_HOME", QByteArray("/opt/codex"), codexHomeURL, QStringLiteral("/opt/codex")},
      {"CODEX_HOME", std::nullopt, codexHomeURL, root + QStringLiteral("/.codex")},
      {"TANDREL_RESOURCES_DIR", QByteArray(" /opt/td/res/ "), resourcesDirectory,
       QStringLiteral("/opt/td/res")},
      {"TANDREL_RESOURCES_DIR", std::nullopt, resourcesDirectory,
       QDir::cleanPath(QCoreApplication::applicationDirPath() +
                       QStringLiteral("/../share/tandrel"))},
  };
  for (const Case& c : cases) {
    home.setEnv(c.variable, c.value);
    EXPECT_EQ(c.function(), c.expected)
        << c.variable << " = " << c.value.value_or("<unset>").constData();
  }
}

TEST(PathsTest, AppSupportDirectoryFollowsXdgDataHome) {
  test::TempHome home;
  const struct {
    std::optional<QByteArray> value;
    QString expected;
  } cases[] = {
      {QByteArray("/data/share"), QStringLiteral("/data/share/Tandrel")},
      {QByteArray("/data/share/"), QStringLiteral("/data/share/Tandrel")},
      {std::nullopt, home.path() + QStringLiteral("/.local/share/Tandrel")},
      {QByteArray("  "), home.path() + QStringLiteral("/.local/share/Tandrel")},
      {QByteArray("relative/share"), home.path() + QStringLiteral("/.local/share/Tandrel")},
  };
  for (const auto& c : cases) {
    home.setEnv("XDG_DATA_HOME", c.value);
    EXPECT_EQ(appSupportDirectory(), c.expected) << c.value.value_or("<unset>").constData();
  }
}

TEST(PathsTest, AgentRootsFollowVariablesAndTestEnvironment) {
  test::TempHome home;
  const QString root = home.path();
  struct Root {
    const char* variable;
    std::function<std::optional<QString>()> function;
    QString fallback;
  };
  const std::vector<Root> roots = {
      {"TANDREL_CODEX_SESSIONS_DIR", defaultCodexSessionsRootURL,
       root + QStringLiteral("/.codex/sessions")},
      {"TANDREL_CLAUDE_PROJECTS_DIR", defaultClaudeProjectsRootURL,
       root + QStringLiteral("/.claude/projects")},
      {"TANDREL_CURSOR_PROJECTS_DIR", defaultCursorProjectsRootURL,
       root + QStringLiteral("/.cursor/projects")},
      {"TANDREL_TRAE_TRAJECTORY_DIR", defaultTraeTrajectoryRootURL,
       root + QStringLiteral("/.tandrel/usage/trae-agent")},
      {"TANDREL_TRAE_LOGS_DIR", defaultTraeLogsRootURL,
       root + QStringLiteral("/.config/TRAE SOLO CN/logs")},
  };
  for (const Root& r : roots) {
    home.setEnv(r.variable, std::nullopt);
  }
  for (const bool testEnvironment : {false, true}) {
    TestEnvironmentScope scope(testEnvironment);
    for (const Root& r : roots) {
      home.setEnv(r.variable, std::nullopt);
      EXPECT_EQ(r.function(), testEnvironment ? std::nullopt : std::optional(r.fallback))
          << r.variable << " unset, test environment " << testEnvironment;
      home.setEnv(r.variable, QByteArray(" \n "));
      EXPECT_EQ(r.function(), testEnvironment ? std::nullopt : std::optional(r.fallback))
          << r.variable << " blank, test environment " << testEnvironment;
      home.setEnv(r.variable, QByteArray(" /data/root \n"));
      EXPECT_EQ(r.function(), std::optional(QStringLiteral("/data/root")))
          << r.variable << " set, test environment " << testEnvironment;
      home.setEnv(r.variable, std::nullopt);
    }
  }
  // In the test environment one variable brings back exactly that root.
  TestEnvironmentScope scope(true);
  home.setEnv("TANDREL_CLAUDE_PROJECTS_DIR", QByteArray("/data/claude"));
  EXPECT_EQ(defaultClaudeProjectsRootURL(), std::optional(QStringLiteral("/data/claude")));
  EXPECT_EQ(defaultCodexSessionsRootURL(), std::nullopt);
  EXPECT_EQ(defaultCursorProjectsRootURL(), std::nullopt);
  EXPECT_EQ(defaultTraeTrajectoryRootURL(), std::nullopt);
  EXPECT_EQ(defaultTraeLogsRootURL(), std::nullopt);
  // The other paths keep their defaults there.
  EXPECT_EQ(tandrelHomeURL(), home.path() + QStringLiteral("/.tandrel"));
}

TEST(PathsTest, OpencodeConfigRoot) {
  test::TempHome home;
  home.setEnv("OPENCODE_CONFIG_DIR", std::nullopt);
  home.setEnv("XDG_CONFIG_HOME", std::nullopt);
  EXPECT_EQ(opencodeConfigRootURL(), home.path() + QStringLiteral("/.config/opencode"));
  home.setEnv("XDG_CONFIG_HOME", QByteArray("/xdg/config"));
  EXPECT_EQ(opencodeConfigRootURL(), QStringLiteral("/xdg/config/opencode"));
  home.setEnv("OPENCODE_CONFIG_DIR", QByteArray(" /oc "));
  EXPECT_EQ(opencodeConfigRootURL(), QStringLiteral("/oc"));
}

TEST(PathsTest, TraeLogsFolderIsTheNewestExistingCandidate) {
  test::TempHome home;
  const QString config = home.path() + QStringLiteral("/.config");
  const QStringList candidates = traeLogsCandidates();
  ASSERT_EQ(candidates, QStringList({config + QStringLiteral("/TRAE SOLO CN/logs"),
                                     config + QStringLiteral("/Trae SOLO/logs"),
                                     config + QStringLiteral("/Trae CN/logs"),
                                     config + QStringLiteral("/Trae/logs")}));

  // None exists: the first candidate.
  EXPECT_EQ(traeLogsFolderChoice(), candidates[0]);

  // Only existing folders count; the newest wins.
  ASSERT_TRUE(QDir().mkpath(candidates[1]));
  ASSERT_TRUE(QDir().mkpath(candidates[3]));
  ASSERT_TRUE(setModificationTime(candidates[1], 1'700'000'000));
  ASSERT_TRUE(setModificationTime(candidates[3], 1'700'000'500));
  EXPECT_EQ(traeLogsFolderChoice(), candidates[3]);

  // Equal dates: the earlier candidate.
  ASSERT_TRUE(setModificationTime(candidates[1], 1'700'000'500));
  EXPECT_EQ(traeLogsFolderChoice(), candidates[1]);

  // The roots function uses the choice outside the test environment.
  TestEnvironmentScope scope(false);
  home.setEnv("TANDREL_TRAE_LOGS_DIR", std::nullopt);
  EXPECT_EQ(defaultTraeLogsRootURL(), std::optional(candidates[1]));
}

TEST(PathsTest, NonEmptyString) {
  const struct {
    QJsonValue value;
    std::optional<QString> expected;
  } cases[] = {
      {QJsonValue(QStringLiteral("  text \n")), QStringLiteral("text")},
      {QJsonValue(QStringLiteral("\u00A0inner  space\u3000")), QStringLiteral("inner  space")},
      {QJsonValue(QStringLiteral("")), std::nullopt},
      {QJsonValue(QStringLiteral(" \t\r\n")), std::nullopt},
      {QJsonValue(42), std::nullopt},
      {QJsonValue(true), std::nullopt},
      {QJsonValue(), std::nullopt},
      {QJsonValue(QJsonValue::Undefined), std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(nonEmptyString(c.value), c.expected) << c.value.toVariant().toString().toStdString();
    if (c.value.isString()) {
      EXPECT_EQ(nonEmptyString(c.value.toString()), c.expected);
    }
  }
}

TEST(PathsTest, StringHelpers) {
  test::TempHome home;
  EXPECT_EQ(tilde(QStringLiteral(".codex/sessions")),
            home.path() + QStringLiteral("/.codex/sessions"));

  const struct {
    QString path;
    QString expected;
  } names[] = {
      {QStringLiteral("/Users/me/project"), QStringLiteral("project")},
      {QStringLiteral("/Users/me/project/"), QStringLiteral("project")},
      {QStringLiteral("project"), QStringLiteral("project")},
      {QStringLiteral(""), QStringLiteral("Workspace")},
      {QStringLiteral("/"), QStringLiteral("/")},
  };
  for (const auto& c : names) {
    EXPECT_EQ(basename(c.path), c.expected) << c.path.toStdString();
  }

  const QString h = home.path();
  const struct {
    QString path;
    QString expected;
  } abbreviated[] = {
      {h + QStringLiteral("/work/api"), QStringLiteral("~/work/api")},
      {h, QStringLiteral("~")},
      {h + QStringLiteral("-other/x"), h + QStringLiteral("-other/x")},  // only whole components
      {QStringLiteral("/srv/app"), QStringLiteral("/srv/app")},
      {QString(), QString()},
  };
  for (const auto& c : abbreviated) {
    EXPECT_EQ(homeAbbreviated(c.path), c.expected) << c.path.toStdString();
  }

  EXPECT_EQ(fourCharCode(QStringLiteral("TDRL")), 0x5444524Cu);
  EXPECT_EQ(fourCharCode(QStringLiteral("")), 0u);
  EXPECT_EQ(fourCharCode(QStringLiteral("A")), 0x41u);
}

}  // namespace
}  // namespace tandrel
