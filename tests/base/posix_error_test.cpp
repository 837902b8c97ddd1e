#include "base/posix_error.h"
#include "base/thread_name.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

#include <pthread.h>

namespace tandrel {
namespace {

TEST(POSIXErrorTest, DescriptionNamesTheCallTheNumberAndTheSystemText) {
  EXPECT_EQ(errnoText(ENOENT), QStringLiteral("No such file or directory"));
  EXPECT_EQ((POSIXError{EMFILE, QStringLiteral("accept")}.description()),
            QStringLiteral("POSIX accept failed: errno=24 (Too many open files)"));
  // A number the system has no text for still gives a readable description.
  EXPECT_FALSE(errnoText(99999).isEmpty());
}

TEST(ThreadNameTest, DropsOurPrefixAndKeepsFifteenBytes) {
  struct Case {
    QString label;
    const char* name;
  };
  for (const Case& c : {Case{QStringLiteral("app.tandrel.socket.accept"), "socket.accept"},
                        Case{QStringLiteral("app.tandrel.bridge-events"), "bridge-events"},
                        Case{QStringLiteral("file-events-and-more"), "file-events-and"}}) {
    char name[32] = {};
    std::thread([&] {
      nameCurrentThread(c.label);
      pthread_getname_np(pthread_self(), name, sizeof name);
    }).join();
    EXPECT_STREQ(name, c.name) << c.label.toStdString();
  }
}

}  // namespace
}  // namespace tandrel
