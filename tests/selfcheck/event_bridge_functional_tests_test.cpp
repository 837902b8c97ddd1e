#include "selfcheck/functional/event_bridge_functional_tests.h"

#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QFile>

namespace tandrel {
namespace {

TEST(EventBridgeFunctionalTests, TheParserKeepsChoicesResponseFileAndNote) {
  EXPECT_TRUE(eventBridgeChoicePayloadFunctionalTest());
}

// The suite's own terminal, multiplexer, desktop and bridge file do not reach the records.
TEST(EventBridgeFunctionalTests, TheInstalledScriptPassesWhateverTerminalTheSuiteRunsIn) {
  test::TempHome home;
  home.setEnv("TANDREL_EVENT_FILE", home.file("suite-events.jsonl").toUtf8());
  home.setEnv("TERM_PROGRAM", QByteArray("iTerm.app"));
  home.setEnv("TMUX", QByteArray("/tmp/tmux-0/default,1,0"));
  home.setEnv("TMUX_PANE", QByteArray("%1"));
  home.setEnv("CMUX_WINDOW_ID", QByteArray("suite-window"));
  home.setEnv("DISPLAY", QByteArray(":99"));
  EXPECT_TRUE(eventBridgeExecutableFunctionalTest(home.path()));
  EXPECT_FALSE(QFile::exists(home.file("suite-events.jsonl")));
}

TEST(EventBridgeFunctionalTests, AScriptThatFailsOrCannotStartIsAFailedRun) {
  test::TempHome home;
  const QString failing = home.file("failing");
  ASSERT_TRUE(test::writeFile(failing, "#!/bin/sh\nexit 3\n"));
  ASSERT_TRUE(QFile::setPermissions(failing, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
  EXPECT_FALSE(runEventBridgeScriptForTests(failing, home.path(), {}, {}));
  EXPECT_FALSE(runEventBridgeScriptForTests(home.file("absent"), home.path(), {}, {}));
}

}  // namespace
}  // namespace tandrel
