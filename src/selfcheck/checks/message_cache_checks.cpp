#include "selfcheck/checks/message_cache_checks.h"

#include "events/event_store.h"
#include "selfcheck/checks/check_group.h"
#include "island/tandrel_view.h"
#include "platform/fake/fake_clock.h"
#include "platform/fake/fake_sound_output.h"
#include "platform/user_defaults.h"
#include "selfcheck/fixture_builders.h"
#include "selfcheck/harness.h"
#include "ui/settings_model.h"
#include "usage/usage_dates.h"

#include <QDateTime>
#include <QJsonObject>

#include <algorithm>
#include <optional>
#include <vector>

namespace tandrel {
namespace {

constexpr int kMessageCacheEvents = 700;
constexpr int kSoundPackages = 80;
constexpr int kDiskRefreshEvents = 2400;

// The events' times: a fixed morning, a second apart.
const QDateTime& referenceDate() {
  static const QDateTime date = QDateTime::fromSecsSinceEpoch(1'778'288'400, Qt::UTC);  // 2026-05-09T01:00:00Z
  return date;
}

QString stamp(int secondsAfterReference) { return formatUsageDate(referenceDate().addSecs(secondsAfterReference)); }

// 700 records, each its own session: every 17th a shell permission, the rest finished tasks,
// every 23rd critical.
std::vector<QJsonObject> messageCacheRecords() {
  std::vector<QJsonObject> records;
  records.reserve(kMessageCacheEvents);
  for (int i = 0; i < kMessageCacheEvents; ++i) {
    const bool permission = i % 17 == 0;
    records.push_back(testEvent(
        QStringLiteral("message-cache-%1").arg(i), i % 2 == 0 ? QStringLiteral("codex") : QStringLiteral("claude_code"),
        permission ? QStringLiteral("permission_request") : QStringLiteral("task_completed"),
        i % 23 == 0 ? QStringLiteral("critical") : QStringLiteral("success"), QStringLiteral("Message cache %1").arg(i),
        QStringLiteral("Repeated message cache benchmark"),
        permission ? std::optional<QJsonObject>(
                         QJsonObject{{QStringLiteral("kind"), QStringLiteral("shell")}, {QStringLiteral("risk"), QStringLiteral("medium")}})
                   : std::nullopt,
        std::nullopt, stamp(i),
        QJsonObject{{QStringLiteral("session_id"), QStringLiteral("message-cache-session-%1").arg(i)}}));
  }
  return records;
}

QJsonObject codexUpdate(const QString& id, const QString& title, int secondsAfterReference) {
  return testEvent(id, QStringLiteral("codex"), QStringLiteral("task_updated"), QStringLiteral("info"), title,
                   QStringLiteral("Bridge reload hot loop"), std::nullopt, std::nullopt, stamp(secondsAfterReference));
}

// Fixture C: 80 sound packages and their assignment under `home`, and 2400 Codex updates.
Result<void> writeDiskRefreshFixture(const QString& folder, const QString& home) {
  for (int i = 0; i < kSoundPackages; ++i) {
    const QString package = home + QStringLiteral("/sounds/sound-%1").arg(i);
    const QByteArray manifest = QStringLiteral(R"({"id":"sound-%1","displayName":"Sound %1","audioPath":"tone.mp3","defaultAssign":"Done"})")
                                    .arg(i)
                                    .toUtf8();
    if (auto written = writeFileAtomically(manifest, package + QStringLiteral("/sound.json")); !written) return written;
    if (auto written = writeFileAtomically("audio", package + QStringLiteral("/tone.mp3")); !written) return written;
  }
  if (auto written = writeFileAtomically(R"({"version":1,"assignments":{"Done":"sound-0"},"installed":[]})",
                                         home + QStringLiteral("/config/sounds.json"));
      !written) {
    return written;
  }
  std::vector<QJsonObject> records;
  records.reserve(kDiskRefreshEvents);
  for (int i = 0; i < kDiskRefreshEvents; ++i) {
    records.push_back(testEvent(QStringLiteral("disk-refresh-%1").arg(i), QStringLiteral("codex"),
                                QStringLiteral("task_updated"), QStringLiteral("info"),
                                QStringLiteral("Codex update %1").arg(i), QStringLiteral("Disk refresh hot loop"),
                                std::nullopt, std::nullopt, stamp(i)));
  }
  return writeJSONLines(records, folder + QStringLiteral("/events.jsonl"));
}

class MessageCacheGroup : CheckGroup {
 public:
  using CheckGroup::CheckGroup;

  void run() {
    checkMessageCache();
    checkBridgeReloadThrottle();
    checkDiskRefresh();
  }

 private:
  void checkMessageCache() {
    if (!written(writeJSONLines(messageCacheRecords(), path("message-cache-events.jsonl")), "message cache fixture")) return;
    EventStore store(storeOptionsWithoutAgentFolders(path("message-cache-events.jsonl"), path("message-cache-audit.jsonl")));
    store.reload(false);
    check(store.events().size() == 500,
          "message cache fixture should load the active event tail");
    const double seconds = fastestOfThree([&store](int) {
      return secondsTaken([&store] {
        for (int i = 0; i < 250; ++i) {
          store.ensureMessageCache();
          store.ensureMessageCache();
          store.ensureMessageCache();
        }
      });
    });
    checkTime(seconds, 0.06, "repeated message reads should be cached while the event store revision is unchanged");
  }

  // On the store's own clock, which stands still: every reload after the first falls within the
  // metadata-check interval, unless it is event-driven.
  void checkBridgeReloadThrottle() {
    const QString eventFile = path("bridge-hot-loop-events.jsonl");
    if (!written(writeJSONLines({codexUpdate(QStringLiteral("bridge-hot-loop"), QStringLiteral("Bridge reload hot loop"), 0)},
                                eventFile),
                 "bridge reload hot-loop fixture")) {
      return;
    }
    FakeClock clock;
    EventStoreOptions options = storeOptionsWithoutAgentFolders(eventFile, path("bridge-hot-loop-audit.jsonl"));
    options.clock = &clock;
    EventStore store(options);
    store.reload(false);
    const double seconds = fastestOfThree([&store](int) {
      return secondsTaken([&store] {
        for (int i = 0; i < 3000; ++i) store.reload(false);
      });
    });
    checkTime(seconds, 0.05, "unchanged bridge event reloads should not stat the event file on every runtime tick");

    if (!written(writeJSONLines({codexUpdate(QStringLiteral("bridge-event-driven"),
                                             QStringLiteral("Event-driven bridge reload"), 1)},
                                eventFile),
                 "bridge reload hot-loop fixture")) {
      return;
    }
    const auto latestID = [&store] {
      store.ensureMessageCache();
      return store.cachedLatestEvent() ? std::optional<QString>(store.cachedLatestEvent()->id) : std::nullopt;
    };
    store.reload(false);
    check(latestID() == QStringLiteral("bridge-hot-loop"), "normal bridge reload should stay throttled between metadata checks");
    store.reload(true);
    check(latestID() == QStringLiteral("bridge-event-driven"), "event-driven bridge reload should bypass metadata polling throttle");
  }

  void checkDiskRefresh() {
    const std::optional<QString> fresh = freshFolder("disk-refresh-hot-loop", "disk refresh hot-loop fixture");
    if (!fresh) return;
    const QString folder = *fresh;
    const QString home = folder + QStringLiteral("/.tandrel");
    if (!written(writeDiskRefreshFixture(folder, home), "disk refresh hot-loop fixture")) return;

    FakeSoundOutput silence;
    ScopedRestore restore;
    restore.setEnvironment("TANDREL_HOME", home.toUtf8());
    restore.set(TandrelView::soundOutputOverrideForTests, &silence);
    EventStore store(storeOptionsWithoutAgentFolders(folder + QStringLiteral("/events.jsonl"), folder + QStringLiteral("/audit.jsonl")));
    store.reload(false);
    UserDefaults defaults(folder + QStringLiteral("/defaults.json"));
    SettingsModel settings(defaults);
    TandrelView view(QSize(540, 260), store, settings);
    const std::vector<ImportedSound>& sounds = settings.values().importedSounds;
    check(std::count_if(sounds.begin(), sounds.end(),
                        [](const ImportedSound& sound) { return sound.id.startsWith(QLatin1String("cli:")); }) ==
              kSoundPackages,
          "disk refresh hot-loop fixture should load CLI sounds");
    const double seconds = fastestOfThree([&view](int) {
      return secondsTaken([&view] {
        for (int i = 0; i < 500; ++i) view.refreshFromDisk();
      });
    });
    checkTime(seconds, 0.08, "disk refresh should skip unchanged sound directories and event sound scans");
    view.prepareForTermination();
  }

};

}  // namespace

void runMessageCacheAndReloadThrottleChecks(SelfCheckFailures& failures, const QString& tempRoot) {
  MessageCacheGroup(failures, tempRoot).run();
}

}  // namespace tandrel
