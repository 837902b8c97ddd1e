#include "platform/file_event_source.h"

#include "support/temp_home.h"
#include "support/wait.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

namespace tandrel {
namespace {

// Collects the flags a source reports, and on which queue they arrived.
struct Recorder {
  std::mutex mutex;
  unsigned flags = 0;
  int reports = 0;
  bool onQueue = true;
  SerialQueue* queue = nullptr;

  std::function<void(unsigned)> handler() {
    return [this](unsigned f) {
      std::lock_guard lock(mutex);
      flags |= f;
      ++reports;
      onQueue = onQueue && queue->isCurrent();
    };
  }
  unsigned take() {
    std::lock_guard lock(mutex);
    return std::exchange(flags, 0u);
  }
  bool waitFor(unsigned wanted) {
    unsigned seen = 0;
    const bool ok = test::waitUntil([&] {
      seen |= take();
      return (seen & wanted) == wanted;
    }, 3000);
    return ok;
  }
};

using FE = FileEventSource;

TEST(FileEventSourceTest, FileWatchReportsWritesAttributesRenameAndDelete) {
  test::TempHome home;
  const QString path = home.file(QStringLiteral("events.jsonl"));
  ASSERT_TRUE(test::writeFile(path, "{}\n"));
  SerialQueue queue(QStringLiteral("app.tandrel.test-watch"));
  Recorder recorder;
  recorder.queue = &queue;
  auto source = FE::watchFile(path, queue, recorder.handler());
  ASSERT_NE(source, nullptr);

  {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("{\"event_id\":\"a\"}\n");
  }
  EXPECT_TRUE(recorder.waitFor(FE::Write));

  ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
  EXPECT_TRUE(recorder.waitFor(FE::Attrib));

  const QString moved = home.file(QStringLiteral("events.old"));
  ASSERT_TRUE(QFile::rename(path, moved));
  EXPECT_TRUE(recorder.waitFor(FE::Rename));

  ASSERT_TRUE(QFile::remove(moved));
  EXPECT_TRUE(recorder.waitFor(FE::Delete | FE::Revoke));
  EXPECT_TRUE(recorder.onQueue);
}

TEST(FileEventSourceTest, FolderWatchSeesOnlyItsEntry) {
  test::TempHome home;
  const QString folder = home.file(QStringLiteral("data"));
  ASSERT_TRUE(QDir().mkpath(folder));
  SerialQueue queue(QStringLiteral("app.tandrel.test-watch"));
  Recorder recorder;
  recorder.queue = &queue;
  auto source = FE::watchFolderEntry(folder, QStringLiteral("events.jsonl"), queue,
                                     recorder.handler());
  ASSERT_NE(source, nullptr);

  // Our own logs live beside the bridge file: their changes are not reported.
  ASSERT_TRUE(test::writeFile(folder + QStringLiteral("/audit.jsonl"), "x\n"));
  ASSERT_TRUE(QFile::remove(folder + QStringLiteral("/audit.jsonl")));
  ASSERT_TRUE(test::writeFile(folder + QStringLiteral("/events.jsonl"), "{}\n"));
  EXPECT_TRUE(recorder.waitFor(FE::Create));
  queue.drain();
  {
    std::lock_guard lock(recorder.mutex);
    EXPECT_EQ(recorder.reports, 1) << "only the bridge file's creation counts";
  }

  // Replaced by rename, as editors and atomic writers do.
  ASSERT_TRUE(test::writeFile(folder + QStringLiteral("/events.tmp"), "{}\n"));
  ASSERT_TRUE(QFile::remove(folder + QStringLiteral("/events.jsonl")));
  EXPECT_TRUE(recorder.waitFor(FE::Delete));
  ASSERT_TRUE(QFile::rename(folder + QStringLiteral("/events.tmp"),
                            folder + QStringLiteral("/events.jsonl")));
  EXPECT_TRUE(recorder.waitFor(FE::Rename));
}

TEST(FileEventSourceTest, MissingPathGivesNoSourceAndCancelStopsReports) {
  test::TempHome home;
  SerialQueue queue(QStringLiteral("app.tandrel.test-watch"));
  Recorder recorder;
  recorder.queue = &queue;
  EXPECT_EQ(FE::watchFile(home.file(QStringLiteral("absent")), queue, recorder.handler()), nullptr);
  EXPECT_EQ(FE::watchFolderEntry(home.file(QStringLiteral("absent")), QStringLiteral("x"), queue,
                                 recorder.handler()),
            nullptr);

  const QString path = home.file(QStringLiteral("f"));
  ASSERT_TRUE(test::writeFile(path, ""));
  auto source = FE::watchFile(path, queue, recorder.handler());
  ASSERT_NE(source, nullptr);
  source->cancel();
  queue.drain();
  ASSERT_TRUE(test::writeFile(path, "more"));
  test::waitUntil([] { return false; }, 100);  // give a stray report time to arrive
  queue.drain();
  EXPECT_EQ(recorder.take(), 0u);
}

}  // namespace
}  // namespace tandrel
