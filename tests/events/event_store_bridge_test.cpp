// Tailing the bridge file: real files in a temporary folder, written the way agents write them.

#include "events/event_store.h"
#include "event_store_test_support.h"

#include "support/wait.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <atomic>
#include <thread>

namespace tandrel {
namespace {

using namespace std::chrono_literals;
using test::appendBytes;
using test::bridgeLine;
using test::idsOf;
using test::numberedIDs;
using test::usageLine;

class EventStoreBridgeTest : public ::testing::Test, protected test::StoreFixture {
 protected:
  void SetUp() override { ASSERT_TRUE(QDir().mkpath(QFileInfo(eventFile).absolutePath())); }

  // Lets the metadata-check interval pass, then reloads as the periodic refresh does.
  void reloadLater(EventStore& store) {
    clock.advance(EventStore::kBridgeMetadataCheckInterval);
    store.reload();
  }

  static QSet<QString> cardIDs(EventStore& store) {
    QSet<QString> ids;
    for (const IslandMessage& message : store.allMessages()) {
      ids.insert(message.event.id);
    }
    return ids;
  }

  void replaceFile(const QByteArray& contents) {
    const QString next = eventFile + QStringLiteral(".next");
    ASSERT_TRUE(test::writeFile(next, contents));
    ASSERT_EQ(::rename(QFile::encodeName(next).constData(), QFile::encodeName(eventFile).constData()), 0);
  }
};

TEST_F(EventStoreBridgeTest, AppendsAreReadOnceEachAsTheirLinesComplete) {
  const QByteArray second = bridgeLine(QStringLiteral("a2"), {{QStringLiteral("title"), QStringLiteral("Zweite Zeile — ✓")}});
  const QByteArray invalidUtf8 = QByteArray("{\"event_id\":\"bad\",\"title\":\"\xff\xfe\"}\n");
  struct Step {
    const char* what;
    QByteArray append;
    QStringList expected;
    bool publishes;
  };
  const std::vector<Step> steps = {
      {"a whole line", bridgeLine(QStringLiteral("a1")), {"a1"}, true},
      {"the first half of a line", second.left(20), {"a1"}, false},
      {"its second half", second.mid(20), {"a1", "a2"}, true},
      {"two lines in one write", bridgeLine(QStringLiteral("a3")) + bridgeLine(QStringLiteral("a4")),
       {"a1", "a2", "a3", "a4"}, true},
      {"malformed lines before a good one",
       QByteArray("not json\n[1,2]\n{\"title\":\"no id\"}\n\n") + bridgeLine(QStringLiteral("a5")),
       {"a1", "a2", "a3", "a4", "a5"}, true},
      {"a line of invalid UTF-8 before a good one", invalidUtf8 + bridgeLine(QStringLiteral("a6")),
       {"a1", "a2", "a3", "a4", "a5", "a6"}, true},
      {"only malformed lines", QByteArray("{broken\n"), {"a1", "a2", "a3", "a4", "a5", "a6"}, false},
  };
  auto store = make();
  qint64 revision = 0;
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    appendBytes(eventFile, step.append);
    reloadLater(*store);
    EXPECT_EQ(idsOf(store->events()), step.expected);
    revision += step.publishes ? 1 : 0;
    EXPECT_EQ(store->revision(), revision);
    EXPECT_EQ(changes, revision);
  }
  EXPECT_EQ(store->events()[1].title, QStringLiteral("Zweite Zeile — ✓"));
  // The invalid bytes reached no event, and a reset reads the same as the appends did.
  store->reload(true);
  EXPECT_EQ(idsOf(store->events()), steps.back().expected);
}

TEST_F(EventStoreBridgeTest, ResetKeepsALineStillBeingWrittenUntilItCompletes) {
  const QByteArray third = bridgeLine(QStringLiteral("a3"));
  appendBytes(eventFile, bridgeLine(QStringLiteral("a1")) + bridgeLine(QStringLiteral("a2")) + third.left(15));
  auto store = make();

  store->reload();  // first read: the reset path
  EXPECT_EQ(idsOf(store->events()), (QStringList{"a1", "a2"}));
  EXPECT_EQ(store->pendingBridgeEventLineFragment(), third.left(15));

  store->reload(true);  // a forced reset while the agent is still writing
  EXPECT_EQ(idsOf(store->events()), (QStringList{"a1", "a2"}));
  EXPECT_EQ(store->pendingBridgeEventLineFragment(), third.left(15));

  appendBytes(eventFile, third.mid(15));
  reloadLater(*store);
  EXPECT_EQ(idsOf(store->events()), (QStringList{"a1", "a2", "a3"}));
  EXPECT_TRUE(store->pendingBridgeEventLineFragment().isEmpty());
}

TEST_F(EventStoreBridgeTest, TailReadStartsAtALineBoundary) {
  ASSERT_TRUE(test::writeFile(eventFile, "aaaa\nbbbb\ncccc\n"));
  auto store = make();
  struct Case {
    qint64 maxBytes;
    qint64 end;
    QByteArray expected;
  };
  const std::vector<Case> cases = {
      {100, 15, "aaaa\nbbbb\ncccc\n"},  // the whole file
      {15, 15, "aaaa\nbbbb\ncccc\n"},   // exactly the whole file: no line is cut
      {7, 15, "cccc\n"},                // began inside "bbbb": that line is dropped
      {2, 14, "cc"},                    // no line break at all: kept whole
      {100, 10, "aaaa\nbbbb\n"},        // never past the size the check saw
  };
  for (const auto& c : cases) {
    EXPECT_EQ(store->readEventTail(c.maxBytes, c.end).value_or("<none>"), c.expected) << c.maxBytes << " " << c.end;
  }
  EXPECT_EQ(store->readEventText(5, 10).value_or("<none>"), QByteArray("bbbb\n"));
  QFile::remove(eventFile);
  EXPECT_FALSE(store->readEventTail(100, 15).has_value());
  EXPECT_FALSE(store->readEventText(0, 15).has_value());
}

TEST_F(EventStoreBridgeTest, AnAppendLargerThanTheTailWindowIsReadAsAReset) {
  appendBytes(eventFile, usageLine(QStringLiteral("old-usage"), QStringLiteral("claude-code")) +
                             bridgeLine(QStringLiteral("old")));
  auto store = make();
  store->reload();
  ASSERT_EQ(idsOf(store->events()), (QStringList{"old-usage", "old"}));

  // About 9 MiB of lines: more than the window, so only the newest are read, from a line boundary.
  const QString padding(1000, QLatin1Char('x'));
  QByteArray big;
  int count = 0;
  while (big.size() <= EventStore::kBridgeTailReadBytes + 512 * 1024) {
    big += bridgeLine(QStringLiteral("big-%1").arg(count++), {{QStringLiteral("message"), padding}});
  }
  appendBytes(eventFile, big);
  reloadLater(*store);

  // A reset forgets the usage reading that lies before the window; reading all appended bytes
  // would have kept it in the usage history.
  EXPECT_TRUE(store->cachedBridgeUsageHistoryEvents().empty());
  EXPECT_EQ(idsOf(store->events()), numberedIDs(QStringLiteral("big-"), count - 500, count - 1));
}

TEST_F(EventStoreBridgeTest, ShrunkReplacedDeletedAndRecreatedFiles) {
  appendBytes(eventFile, bridgeLine(QStringLiteral("a1")) + bridgeLine(QStringLiteral("a2")));
  auto store = make();
  store->reload();
  ASSERT_EQ(idsOf(store->events()), (QStringList{"a1", "a2"}));

  // Truncated and rewritten in place with less.
  ASSERT_TRUE(test::writeFile(eventFile, bridgeLine(QStringLiteral("b1"))));
  reloadLater(*store);
  EXPECT_EQ(idsOf(store->events()), (QStringList{"b1"}));

  // Replaced by rename with a larger file: read from its start, not from the old file's size.
  QByteArray replacement;
  for (int i = 1; i <= 5; ++i) {
    replacement += bridgeLine(QStringLiteral("c%1").arg(i));
  }
  replaceFile(replacement);
  reloadLater(*store);
  EXPECT_EQ(idsOf(store->events()), numberedIDs(QStringLiteral("c"), 1, 5));

  // Deleted: no events, one publish; a second look changes nothing.
  const qint64 before = store->revision();
  ASSERT_TRUE(QFile::remove(eventFile));
  reloadLater(*store);
  EXPECT_TRUE(store->events().empty());
  EXPECT_EQ(store->revision(), before + 1);
  reloadLater(*store);
  EXPECT_EQ(store->revision(), before + 1);
  EXPECT_FALSE(store->lastEventFileSize().has_value());

  // Recreated.
  appendBytes(eventFile, bridgeLine(QStringLiteral("d1")));
  reloadLater(*store);
  EXPECT_EQ(idsOf(store->events()), (QStringList{"d1"}));
}

// Rewritten in place and larger (cp over it, a shell ">", or deleted and created again with the
// same inode): the bytes before the old end changed, so the file is read from its tail, not
// from the old size in the middle of a line.
TEST_F(EventStoreBridgeTest, AFileRewrittenInPlaceAndGrownIsReadAfresh) {
  appendBytes(eventFile, bridgeLine(QStringLiteral("a1")) + bridgeLine(QStringLiteral("a2")));
  auto store = make();
  store->reload();
  ASSERT_EQ(idsOf(store->events()), (QStringList{"a1", "a2"}));

  QByteArray rewritten;
  for (int i = 1; i <= 4; ++i) {
    rewritten += bridgeLine(QStringLiteral("new-%1").arg(i), {{QStringLiteral("title"), QStringLiteral("longer")}});
  }
  QFile file(eventFile);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));  // the same inode
  ASSERT_EQ(file.write(rewritten), rewritten.size());
  file.close();
  reloadLater(*store);
  EXPECT_EQ(idsOf(store->events()), numberedIDs(QStringLiteral("new-"), 1, 4));

  // Appends after that take the incremental path again.
  appendBytes(eventFile, bridgeLine(QStringLiteral("new-5")));
  reloadLater(*store);
  EXPECT_EQ(idsOf(store->events()), numberedIDs(QStringLiteral("new-"), 1, 5));
  EXPECT_EQ(store->lastEventFileSize(), static_cast<quint64>(QFileInfo(eventFile).size()));
}

// Megabytes of lines that hold no event: read and parsed off the main thread, and once the tail is
// known, later appends cost only their own bytes even though no event came of the junk.
TEST_F(EventStoreBridgeTest, AJunkTailIsParsedOffTheMainThread) {
  QByteArray bytes = bridgeLine(QStringLiteral("before"));
  const QByteArray truncated = bridgeLine(QStringLiteral("cut"), {{QStringLiteral("message"), QString(300, 'm')}});
  while (bytes.size() < 4 * 1024 * 1024) {
    bytes += "plain text that some tool printed into the bridge file\n";
    bytes += truncated.left(truncated.size() / 2) + '\n';
    bytes += "{\"event_id\":\"x\"} trailing\n";
  }
  bytes += bridgeLine(QStringLiteral("after"));
  appendBytes(eventFile, bytes);

  EventStoreOptions options = this->options();
  options.bridgeReadsInBackground = true;
  auto store = make(std::move(options));
  QElapsedTimer mainThread;
  mainThread.start();
  store->reload(true);
  EXPECT_LT(mainThread.elapsed(), 250) << "the main thread only looked at the file's size";
  EXPECT_TRUE(store->events().empty()) << "the events come later, from the bridge queue";
  store->reload(true);  // asks again while the read runs: answered once it is taken in
  ASSERT_TRUE(test::waitUntil([&] { return changes >= 2; }, 20000));
  EXPECT_EQ(idsOf(store->events()), (QStringList{"before", "after"}));

  appendBytes(eventFile, bridgeLine(QStringLiteral("appended")));
  reloadLater(*store);
  EXPECT_EQ(idsOf(store->events()), (QStringList{"before", "after", "appended"})) << "read inline, at once";
}

TEST_F(EventStoreBridgeTest, DuplicateIdentifiersKeepTheirFirstPlace) {
  appendBytes(eventFile, bridgeLine(QStringLiteral("a1"), {{QStringLiteral("title"), QStringLiteral("first")}}) +
                             usageLine(QStringLiteral("u1"), QStringLiteral("codex-cli")) +
                             bridgeLine(QStringLiteral("a2")));
  auto store = make();
  store->reload();
  appendBytes(eventFile, bridgeLine(QStringLiteral("a1"), {{QStringLiteral("title"), QStringLiteral("second")}}));
  reloadLater(*store);
  // The usage reading sits in both caches and keeps its place in the history, ahead of the tail.
  EXPECT_EQ(idsOf(store->bridgeEvents()), (QStringList{"u1", "a1", "a2"}));
  EXPECT_EQ(store->bridgeEvents()[1].title, QStringLiteral("first"));
  EXPECT_EQ(store->cachedBridgeActiveTailEvents().size(), 4u);
}

TEST_F(EventStoreBridgeTest, ActiveWindowAndUsageHistoryLimits) {
  struct Case {
    const char* what;
    QByteArray lines;
    QStringList tail;     // expected active window
    QStringList history;  // expected usage history
  };
  QByteArray plain501;
  for (int i = 0; i <= 500; ++i) {
    plain501 += bridgeLine(QStringLiteral("p%1").arg(i));
  }
  // A reading whose policy is written with a JSON escape still counts as usage-only.
  QByteArray oneTool = usageLine(QStringLiteral("escaped"), QStringLiteral("gemini-cli"));
  oneTool.replace("usage_only", "usage\\u005fonly");
  for (int i = 0; i < 20; ++i) {
    oneTool += usageLine(QStringLiteral("u%1").arg(i), QStringLiteral("codex-cli"));
  }
  QByteArray plain500;
  for (int i = 0; i < 500; ++i) {
    plain500 += bridgeLine(QStringLiteral("q%1").arg(i));
  }
  QByteArray tenTools;
  QStringList tenToolsHistory;
  for (int i = 0; i < 120; ++i) {
    const QString id = QStringLiteral("t%1").arg(i);
    tenTools += usageLine(id, QStringLiteral("tool-%1").arg(i / 12));
    if (i >= 24) {
      tenToolsHistory.push_back(id);
    }
  }
  const std::vector<Case> cases = {
      {"501 events", plain501, numberedIDs(QStringLiteral("p"), 1, 500), {}},
      {"20 readings of one tool that then leave the window", oneTool + plain500,
       numberedIDs(QStringLiteral("q"), 0, 499), QStringList{"escaped"} + numberedIDs(QStringLiteral("u"), 8, 19)},
      {"12 readings each of 10 tools", tenTools, {}, tenToolsHistory},
  };
  for (const auto& c : cases) {
    for (const bool appended : {false, true}) {
      SCOPED_TRACE(std::string(c.what) + (appended ? ", appended" : ", first read"));
      ASSERT_TRUE(test::writeFile(eventFile, appended ? bridgeLine(QStringLiteral("seed")) : QByteArray()));
      auto store = make();
      store->reload();
      appendBytes(eventFile, c.lines);
      reloadLater(*store);
      EXPECT_EQ(idsOf(store->cachedBridgeUsageHistoryEvents()), c.history);
      QStringList tail = idsOf(store->cachedBridgeActiveTailEvents());
      if (!c.tail.isEmpty()) {
        EXPECT_EQ(tail, c.tail);
      } else {
        EXPECT_EQ(tail.size(), std::min<qsizetype>(500, c.lines.count('\n') + (appended ? 1 : 0)));
      }
      // The history first, then the rest of the window.
      QStringList expected = c.history;
      for (const QString& id : tail) {
        if (!expected.contains(id)) {
          expected.push_back(id);
        }
      }
      EXPECT_EQ(idsOf(store->bridgeEvents()), expected);
    }
  }
}

TEST_F(EventStoreBridgeTest, ThrottleAndForce) {
  auto store = make();
  store->reload();  // no file yet: nothing to publish
  EXPECT_EQ(store->revision(), 0);
  EXPECT_EQ(changes, 0);

  appendBytes(eventFile, bridgeLine(QStringLiteral("a1")));
  store->reload(true);
  EXPECT_EQ(store->revision(), 1);

  appendBytes(eventFile, bridgeLine(QStringLiteral("a2")));
  store->reload();  // within 0.35 s of the last check: the file is not looked at
  clock.advance(EventStore::kBridgeMetadataCheckInterval - 1ms);
  store->reload();
  EXPECT_EQ(idsOf(store->events()), (QStringList{"a1"}));
  clock.advance(1ms);
  store->reload();
  EXPECT_EQ(idsOf(store->events()), (QStringList{"a1", "a2"}));
  EXPECT_EQ(store->revision(), 2);

  reloadLater(*store);  // nothing changed anywhere: no publish
  EXPECT_EQ(store->revision(), 2);
  EXPECT_EQ(changes, 2);

  store->reload(true);  // a forced check rereads the unchanged file and publishes
  EXPECT_EQ(store->revision(), 3);
  EXPECT_EQ(changes, 3);
  EXPECT_EQ(idsOf(store->events()), (QStringList{"a1", "a2"}));
}

// Past the rotation size the file is moved aside and a new one begun. A hook that opened the old
// file just before the move (here: a descriptor held open across it) appends there, one that
// opens by path afterwards appends to the new file: the store reads both lines, keeps what it
// had and the read and hidden state, and a forced check or a new store reads the same window
// from the two files.
TEST_F(EventStoreBridgeTest, RotationLosesNoLineAndKeepsTheStoresState) {
  const auto card = [](const QString& id) {
    return bridgeLine(id, {{QStringLiteral("event_type"), QStringLiteral("task_completed")},
                           {QStringLiteral("session_id"), id},
                           {QStringLiteral("completion_snippet"), QStringLiteral("done")}});
  };
  const QByteArray before = card(QStringLiteral("a1")) + card(QStringLiteral("a2")) + card(QStringLiteral("a3"));
  const QByteArray heldLine = card(QStringLiteral("held"));
  appendBytes(eventFile, before + heldLine.left(12));
  const int held = ::open(QFile::encodeName(eventFile).constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
  ASSERT_GE(held, 0);

  auto o = options();
  o.bridgeRotateBytes = before.size();
  auto store = make(std::move(o));
  store->reload();
  const QString rotated = store->rotatedBridgeFile();
  ASSERT_TRUE(QFileInfo::exists(rotated));
  EXPECT_EQ(QFileInfo(eventFile).size(), 0);  // the new file is there at once
  EXPECT_EQ(idsOf(store->events()), (QStringList{"a1", "a2", "a3"}));
  ASSERT_EQ(store->allMessages().size(), 3u);
  const IslandMessage first = store->allMessages().front();
  const IslandMessage last = store->allMessages().back();
  store->clear({first}, QStringLiteral("clear_page"));
  store->clear({last}, EventStore::kClearAllAuditRole);
  const QSet<QString> read = store->readIDs();
  const QSet<QString> hidden = store->hiddenIDs();
  ASSERT_EQ(read.size() + hidden.size(), 2);
  const QSet<QString> cardsBefore = cardIDs(*store);
  ASSERT_EQ(cardsBefore.size(), 1);

  // The rest of the held line lands in the moved file, the next hook's line in the new one.
  const QByteArray rest = heldLine.mid(12);
  ASSERT_EQ(::write(held, rest.constData(), static_cast<size_t>(rest.size())), rest.size());
  ::close(held);
  appendBytes(eventFile, card(QStringLiteral("b1")));
  reloadLater(*store);
  const QStringList all{"a1", "a2", "a3", "held", "b1"};
  EXPECT_EQ(idsOf(store->events()), all);
  EXPECT_EQ(store->readIDs(), read);
  EXPECT_EQ(store->hiddenIDs(), hidden);
  EXPECT_EQ(cardIDs(*store), cardsBefore + QSet<QString>({"held", "b1"}));

  store->reload(true);  // a reset reads the moved file's tail before the new file
  EXPECT_EQ(idsOf(store->events()), all);
  auto relaunched = make();
  relaunched->reload();
  EXPECT_EQ(idsOf(relaunched->events()), all);

  // The next rotation replaces the older moved file with the new one.
  const QByteArray later = card(QStringLiteral("c1")) + card(QStringLiteral("c2")) + card(QStringLiteral("c3"));
  appendBytes(eventFile, later);
  reloadLater(*store);
  EXPECT_EQ(idsOf(store->events()), all + QStringList({"c1", "c2", "c3"}));
  EXPECT_EQ(test::readFile(rotated), card(QStringLiteral("b1")) + later);
  EXPECT_EQ(QFileInfo(eventFile).size(), 0);
  relaunched = make();
  relaunched->reload();
  EXPECT_EQ(idsOf(relaunched->events()), QStringList({"b1", "c1", "c2", "c3"}));
}

// An agent appends while the store reads: every line is read exactly once, whole.
TEST_F(EventStoreBridgeTest, ConcurrentAppendsAreNeitherLostNorDuplicated) {
  constexpr int kLines = 400;
  for (int round = 0; round < 5; ++round) {
    SCOPED_TRACE(round);
    ASSERT_TRUE(test::writeFile(eventFile, bridgeLine(QStringLiteral("w0"))));
    auto store = make();
    store->reload();
    std::atomic<bool> done{false};
    std::thread writer([this, &done] {
      for (int i = 1; i < kLines; ++i) {
        const QByteArray line = bridgeLine(QStringLiteral("w%1").arg(i));
        appendBytes(eventFile, line.left(9));
        appendBytes(eventFile, line.mid(9));
      }
      done = true;
    });
    while (!done) {
      reloadLater(*store);
    }
    writer.join();
    reloadLater(*store);
    ASSERT_EQ(idsOf(store->cachedBridgeActiveTailEvents()), numberedIDs(QStringLiteral("w"), 0, kLines - 1));
  }
}

}  // namespace
}  // namespace tandrel
