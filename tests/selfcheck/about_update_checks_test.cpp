#include "selfcheck/checks/about_update_checks.h"

#include "catalog/paths.h"
#include "platform/user_defaults.h"
#include "listed_failures.h"
#include "listening_sockets.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTimer>

#include <map>
#include <set>
#include <string>

namespace tandrel {
namespace {

// Every file and folder below `root` outside `skipped`, with its size and modification time.
std::map<std::string, std::string> snapshot(const QString& root, const QString& skipped) {
  std::map<std::string, std::string> entries;
  QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                  QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString path = it.next();
    if (path == skipped || path.startsWith(skipped + QLatin1Char('/'))) continue;
    const QFileInfo info(path);
    entries[path.toStdString()] =
        std::to_string(info.size()) + ' ' + std::to_string(info.lastModified().toMSecsSinceEpoch());
  }
  return entries;
}

// The self-test run's conditions: the test environment, and the standard user defaults and the
// bridge file in the scratch folder.
class AboutUpdateChecksGui : public ::testing::Test {
 protected:
  AboutUpdateChecksGui() : scratch(home.file("scratch")) {
    QDir().mkpath(scratch);
    home.setEnv("TANDREL_EVENT_FILE", (scratch + "/events.jsonl").toUtf8());
    UserDefaults::setDirectoryForTests(scratch + "/defaults");
    setTestEnvironment(true);
  }
  ~AboutUpdateChecksGui() override {
    setTestEnvironment(wasTestEnvironment);
    UserDefaults::setDirectoryForTests(QString());
  }

  const bool wasTestEnvironment = isTestEnvironment();
  test::TempHome home;
  const QString scratch;
};

TEST_F(AboutUpdateChecksGui, TheGroupPassesOnTheRealComponentsListeningOnlyOnLoopbackAndWritingOnlyToItsFolder) {
  const std::map<std::string, std::string> before = snapshot(home.path(), scratch);
  // The group runs the event loop while it waits for its server's download: look at what this
  // process listens on all along.
  std::set<std::string> listening;
  QTimer sampler;
  QObject::connect(&sampler, &QTimer::timeout, [&] {
    for (const std::string& address : test::listeningAddresses()) listening.insert(address);
  });
  sampler.start(2);

  SelfCheckFailures failures;
  runAboutUpdateChecks(failures, scratch);
  sampler.stop();

  EXPECT_TRUE(failures.messages().empty()) << test::listed(failures.messages());
  EXPECT_EQ(listening, std::set<std::string>{"127.0.0.1"});
  EXPECT_EQ(snapshot(home.path(), scratch), before);
  EXPECT_FALSE(qEnvironmentVariableIsSet("TANDREL_UPDATE_RESPONSE_FILE"));
}

}  // namespace
}  // namespace tandrel
