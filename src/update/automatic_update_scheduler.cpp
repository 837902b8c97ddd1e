#include "update/automatic_update_scheduler.h"

#include "base/log.h"
#include "update/background_work.h"
#include "platform/user_defaults.h"

#include <QProcessEnvironment>

#include <cmath>

namespace tandrel {

AutomaticUpdateScheduler::AutomaticUpdateScheduler(Options options)
    : options_(std::move(options)),
      clock_(*options_.clock),
      defaults_(options_.defaults != nullptr ? *options_.defaults : UserDefaults::standard()),
      self_(std::make_shared<AutomaticUpdateScheduler*>(this)) {
  if (!options_.runCheck) {
    options_.runCheck = &AutomaticUpdateScheduler::runEnvironmentCheck;
  }
}

AutomaticUpdateScheduler::~AutomaticUpdateScheduler() { timer_.cancel(); }

void AutomaticUpdateScheduler::start() {
  stopped_ = false;
  scheduleNext(clock_.now());
}

void AutomaticUpdateScheduler::stop() {
  stopped_ = true;
  timer_.cancel();
}

std::optional<QDateTime> AutomaticUpdateScheduler::lastAttempt() const {
  return defaults_.date(kLastAutoUpdateCheckAtKey);
}

void AutomaticUpdateScheduler::scheduleNext(const QDateTime& now) {
  const double delay = nextAutomaticUpdateDelay(now, lastAttempt(), static_cast<double>(options_.initialDelay.count()),
                                                static_cast<double>(options_.interval.count()));
  scheduleAutomaticUpdateCheck(std::max(delay, 1.0));
}

void AutomaticUpdateScheduler::scheduleAutomaticUpdateCheck(double delay) {
  timer_.cancel();
  if (stopped_) {
    return;
  }
  std::weak_ptr<AutomaticUpdateScheduler*> weak = self_;
  timer_ = clock_.schedule(std::chrono::milliseconds(std::llround(delay * 1000.0)), [weak] {
    if (auto self = weak.lock()) {
      (*self)->runAutomaticUpdateCheckIfEligible((*self)->clock_.now());
    }
  });
}

void AutomaticUpdateScheduler::runAutomaticUpdateCheckIfEligible(const QDateTime& now) {
  if (running_ || stopped_) {
    return;
  }
  if (!shouldRunAutomaticUpdateCheck(now, lastAttempt(), static_cast<double>(options_.interval.count()))) {
    scheduleNext(now);
    return;
  }
  running_ = true;
  // Stored before the check, so that a failing check counts as an attempt too.
  defaults_.set(kLastAutoUpdateCheckAtKey, now);
  std::weak_ptr<AutomaticUpdateScheduler*> weak = self_;
  options_.runCheck([weak](UpdateCheckResult result) {
    if (auto self = weak.lock()) {
      (*self)->finish(result);
    }
  });
}

void AutomaticUpdateScheduler::finish(const UpdateCheckResult& result) {
  running_ = false;
  if (stopped_) {
    return;
  }
  const std::optional<QString> lastNotified = defaults_.string(kLastNotifiedUpdateVersionKey);
  const auto* response = std::get_if<UpgradeCheckResponse>(&result);
  const bool announce = response != nullptr && response->updateAvailable &&
                        shouldNotifyAutomaticUpdate(response->latest.version, lastNotified);
  if (const auto* failure = std::get_if<UpdateClientFailure>(&result)) {
    logInfo(QStringLiteral("automatic update check failed: %1").arg(failure->message));
  }

  std::optional<QString> announced;
  const std::vector<ResultApplier> views = options_.views ? options_.views() : std::vector<ResultApplier>();
  for (size_t i = 0; i < views.size(); ++i) {
    std::optional<QString> shown = views[i](result, announce && i == 0);
    if (shown && !announced) {
      announced = shown;
    }
  }
  if (announced) {
    defaults_.set(kLastNotifiedUpdateVersionKey, *announced);
  }
  // An app left running checks again once the interval has passed.
  scheduleNext(clock_.now());
}

void AutomaticUpdateScheduler::runEnvironmentCheck(std::function<void(UpdateCheckResult)> done) {
  const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  UpdateClient client;
  client.endpoint = resolvedUpdateEndpointURL(environment);
  client.channel = UpdateClient::channelFromEnvironment(environment);
  runUpdateWorkInBackground<UpdateCheckResult>(
      [client] { return client.check(applicationVersion(), applicationVersion()); }, std::move(done));
}

}  // namespace tandrel
