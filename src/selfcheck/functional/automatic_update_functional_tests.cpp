#include "selfcheck/functional/automatic_update_functional_tests.h"

#include "platform/user_defaults.h"
#include "selfcheck/harness.h"
#include "update/automatic_update_scheduler.h"
#include "update/update_client.h"

#include <QDateTime>
#include <QUuid>

namespace tandrel {

namespace {

// The scheduler's own tuning, in seconds.
double interval() { return static_cast<double>(AutomaticUpdateScheduler::Options{}.interval.count()); }
double initialDelay() { return static_cast<double>(AutomaticUpdateScheduler::Options{}.initialDelay.count()); }

QDateTime secondsAfterEpoch(qint64 seconds) { return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC); }

}  // namespace

bool automaticUpdateThrottleFunctionalTests() {
  const QDateTime now = secondsAfterEpoch(1800000);
  const QDateTime hourAgo = now.addSecs(-3600);
  return shouldRunAutomaticUpdateCheck(now, std::nullopt, interval()) &&
         !shouldRunAutomaticUpdateCheck(now, hourAgo, interval()) &&
         shouldRunAutomaticUpdateCheck(now, now.addSecs(-43201), interval()) &&
         nextAutomaticUpdateDelay(now, std::nullopt, initialDelay(), interval()) == 30 &&
         nextAutomaticUpdateDelay(now, hourAgo, initialDelay(), interval()) > 36000 &&
         shouldNotifyAutomaticUpdate(QStringLiteral("0.1.2"), QStringLiteral("0.1.1")) &&
         !shouldNotifyAutomaticUpdate(QStringLiteral("0.1.2"), QStringLiteral("0.1.2"));
}

bool automaticUpdateSchedulerPolicyFunctionalTests() {
  const QString suite = QStringLiteral("TandrelAutoUpdateSchedulerPolicyTests-") +
                        QUuid::createUuid().toString(QUuid::WithoutBraces);
  ScopedRestore restore;
  restore.atExit([suite] { UserDefaults::removeSuite(suite); });
  UserDefaults& defaults = UserDefaults::suite(suite);
  const QString lastAttemptKey = AutomaticUpdateScheduler::kLastAutoUpdateCheckAtKey;
  const QString notifiedKey = AutomaticUpdateScheduler::kLastNotifiedUpdateVersionKey;
  const QDateTime now = secondsAfterEpoch(2000000);
  if (!shouldRunAutomaticUpdateCheck(now, defaults.date(lastAttemptKey), interval())) {
    return false;
  }
  defaults.set(lastAttemptKey, now);
  const std::optional<QDateTime> stored = defaults.date(lastAttemptKey);
  if (!stored || shouldRunAutomaticUpdateCheck(now.addSecs(60), stored, interval())) {
    return false;
  }
  defaults.set(notifiedKey, QStringLiteral("0.1.2"));
  return !shouldNotifyAutomaticUpdate(QStringLiteral("0.1.2"), defaults.string(notifiedKey)) &&
         shouldNotifyAutomaticUpdate(QStringLiteral("0.1.3"), defaults.string(notifiedKey));
}

}  // namespace tandrel
