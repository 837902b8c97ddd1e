#pragma once

// The automatic update check: at most one every twelve hours, announced once per version. The
// app's controller starts it when launching has finished (never in the test environment) and
// stops it when the app quits. Main thread only.

#include "platform/clock.h"
#include "update/update_client.h"

#include <QDateTime>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace tandrel {

class UserDefaults;

class AutomaticUpdateScheduler {
 public:
  // User-defaults keys.
  static inline const QString kLastAutoUpdateCheckAtKey = QStringLiteral("lastAutoUpdateCheckAt");
  static inline const QString kLastNotifiedUpdateVersionKey = QStringLiteral("lastNotifiedUpdateVersion");

  // Starts one check and calls `done` with its result on the main thread.
  using CheckRunner = std::function<void(std::function<void(UpdateCheckResult)> done)>;
  // One overlay view's handling of an automatic result; it returns the version whose reminder it
  // showed, if it showed one.
  using ResultApplier = std::function<std::optional<QString>(const UpdateCheckResult&, bool showReminder)>;
  // The views of every surface, in surface order, at the moment a result arrives.
  using ViewsProvider = std::function<std::vector<ResultApplier>()>;

  struct Options {
    std::chrono::seconds interval{43200};
    std::chrono::seconds initialDelay{30};
    Clock* clock = &Clock::system();
    UserDefaults* defaults = nullptr;  // the standard defaults when null
    CheckRunner runCheck;              // the feed of this process's environment when empty
    ViewsProvider views;               // no views when empty
  };

  explicit AutomaticUpdateScheduler(Options options);
  ~AutomaticUpdateScheduler();
  AutomaticUpdateScheduler(const AutomaticUpdateScheduler&) = delete;
  AutomaticUpdateScheduler& operator=(const AutomaticUpdateScheduler&) = delete;

  // Arms the first check: after the initial delay, or when the interval since the last attempt
  // has passed; never sooner than 1 s.
  void start();
  // Cancels the timer; a check still running is dropped when it returns.
  void stop();

  // Replaces the timer with one that runs the check after `delay` seconds.
  void scheduleAutomaticUpdateCheck(double delay);
  // Runs a check when none is running and one is due; either way arms the next one.
  void runAutomaticUpdateCheckIfEligible(const QDateTime& now);

  bool isAutomaticUpdateCheckRunning() const { return running_; }
  // A check is scheduled.
  bool isArmed() const { return timer_.isPending(); }

  // The production check: a client with no fixture, the resolved endpoint and the channel of
  // the environment, run in the background.
  static void runEnvironmentCheck(std::function<void(UpdateCheckResult)> done);

 private:
  std::optional<QDateTime> lastAttempt() const;
  void scheduleNext(const QDateTime& now);
  void finish(const UpdateCheckResult& result);

  Options options_;
  Clock& clock_;
  UserDefaults& defaults_;
  DelayedWork timer_;
  bool running_ = false;
  bool stopped_ = false;
  // Callbacks hold this weakly: nothing happens once the scheduler is gone.
  std::shared_ptr<AutomaticUpdateScheduler*> self_;
};

}  // namespace tandrel
