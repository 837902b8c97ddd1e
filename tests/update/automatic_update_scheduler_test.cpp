#include "update/automatic_update_scheduler.h"

#include "platform/fake/fake_clock.h"
#include "platform/user_defaults.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

namespace tandrel {
namespace {

using namespace std::chrono_literals;
using Scheduler = AutomaticUpdateScheduler;

UpgradeCheckResponse offering(const QString& version, bool available = true) {
  UpgradeCheckResponse response;
  response.updateAvailable = available;
  response.latest = {version, version, std::nullopt, {}};
  return response;
}

// A scheduler on a fake clock with two views; checks wait until the test answers them.
class AutomaticUpdateSchedulerTest : public ::testing::Test {
 protected:
  struct Applied {
    size_t view;
    bool showReminder;
    bool success;
  };

  std::unique_ptr<Scheduler> make() {
    Scheduler::Options options;
    options.clock = &clock_;
    options.defaults = &defaults_;
    options.runCheck = [this](std::function<void(UpdateCheckResult)> done) { pending_.push_back(std::move(done)); };
    options.views = [this] {
      std::vector<Scheduler::ResultApplier> views;
      for (size_t i = 0; i < 2; ++i) {
        views.push_back([this, i](const UpdateCheckResult& result, bool showReminder) -> std::optional<QString> {
          const auto* response = std::get_if<UpgradeCheckResponse>(&result);
          applied_.push_back({i, showReminder, response != nullptr});
          if (showReminder && response && response->updateAvailable) {
            return response->latest.version;
          }
          return std::nullopt;
        });
      }
      return views;
    };
    return std::make_unique<Scheduler>(std::move(options));
  }

  // Answers the oldest running check.
  void answer(UpdateCheckResult result) {
    ASSERT_FALSE(pending_.empty());
    auto done = std::move(pending_.front());
    pending_.erase(pending_.begin());
    done(std::move(result));
  }

  std::optional<QDateTime> lastAttempt() const { return defaults_.date(Scheduler::kLastAutoUpdateCheckAtKey); }

  test::TempHome home_;
  FakeClock clock_;
  UserDefaults defaults_{home_.file("defaults.json")};
  std::vector<std::function<void(UpdateCheckResult)>> pending_;
  std::vector<Applied> applied_;
};

TEST_F(AutomaticUpdateSchedulerTest, FirstLaunchChecksAfter30SecondsAndAgainEvery12Hours) {
  auto scheduler = make();
  scheduler->start();
  clock_.advance(29s);
  EXPECT_TRUE(pending_.empty());
  clock_.advance(1s);
  ASSERT_EQ(pending_.size(), 1u);
  EXPECT_EQ(lastAttempt(), clock_.now());
  EXPECT_TRUE(scheduler->isAutomaticUpdateCheckRunning());

  // A second run while one is out does nothing.
  scheduler->runAutomaticUpdateCheckIfEligible(clock_.now().addDays(1));
  EXPECT_EQ(pending_.size(), 1u);

  answer(offering("1.2"));
  EXPECT_FALSE(scheduler->isAutomaticUpdateCheckRunning());
  ASSERT_EQ(applied_.size(), 2u);
  EXPECT_TRUE(applied_[0].showReminder);  // only the first view reminds
  EXPECT_FALSE(applied_[1].showReminder);
  EXPECT_EQ(defaults_.string(Scheduler::kLastNotifiedUpdateVersionKey), QStringLiteral("1.2"));

  // The app stays up: the next check comes twelve hours after the last attempt, and the same
  // version is not announced twice.
  EXPECT_TRUE(scheduler->isArmed());
  clock_.advance(43200s - 1s);
  EXPECT_TRUE(pending_.empty());
  clock_.advance(1s);
  ASSERT_EQ(pending_.size(), 1u);
  answer(offering(" 1.2 "));
  ASSERT_EQ(applied_.size(), 4u);
  EXPECT_FALSE(applied_[2].showReminder);

  clock_.advance(43200s);
  ASSERT_EQ(pending_.size(), 1u);
  answer(offering("1.3"));
  EXPECT_TRUE(applied_[4].showReminder);
  EXPECT_EQ(defaults_.string(Scheduler::kLastNotifiedUpdateVersionKey), QStringLiteral("1.3"));
}

TEST_F(AutomaticUpdateSchedulerTest, ALaunchWithinTheIntervalWaitsForItsRest) {
  const std::pair<std::chrono::milliseconds, std::chrono::milliseconds> cases[] = {
      {10s, 10s},    // 10 s short of the interval
      {500ms, 1s},   // never sooner than 1 s
      {0ms, 30s},    // a whole interval ago: the initial delay
  };
  for (const auto& [short_, expectedDelay] : cases) {
    SCOPED_TRACE(short_.count());
    pending_.clear();
    defaults_.set(Scheduler::kLastAutoUpdateCheckAtKey, clock_.now().addMSecs(-(43200'000 - short_.count())));
    auto scheduler = make();
    scheduler->start();
    clock_.advance(expectedDelay - 1ms);
    EXPECT_TRUE(pending_.empty());
    clock_.advance(1ms);
    EXPECT_EQ(pending_.size(), 1u);
  }
}

TEST_F(AutomaticUpdateSchedulerTest, AFailedCheckCountsAsAnAttemptAndAnnouncesNothing) {
  auto scheduler = make();
  scheduler->start();
  clock_.advance(30s);
  const QDateTime attempt = clock_.now();
  clock_.advance(5s);
  answer(UpdateClientFailure{"Update check failed. Try again."});
  EXPECT_EQ(lastAttempt(), attempt);
  ASSERT_EQ(applied_.size(), 2u);
  EXPECT_FALSE(applied_[0].showReminder);
  EXPECT_FALSE(applied_[0].success);
  EXPECT_FALSE(defaults_.contains(Scheduler::kLastNotifiedUpdateVersionKey));
  // Re-armed for the rest of the interval after the attempt.
  clock_.advance(43200s - 5s - 1ms);
  EXPECT_TRUE(pending_.empty());
  clock_.advance(1ms);
  EXPECT_EQ(pending_.size(), 1u);
}

TEST_F(AutomaticUpdateSchedulerTest, StoppingDropsTheTimerAndLateResults) {
  auto scheduler = make();
  scheduler->start();
  clock_.advance(30s);
  scheduler->stop();
  answer(offering("1.2"));
  EXPECT_TRUE(applied_.empty());
  EXPECT_FALSE(scheduler->isArmed());
  clock_.advance(43200s * 2);
  EXPECT_TRUE(pending_.empty());

  // A result that arrives after the scheduler is gone is dropped as well.
  auto second = make();
  second->start();
  clock_.advance(43200s);
  ASSERT_EQ(pending_.size(), 1u);
  second.reset();
  answer(offering("1.2"));
  EXPECT_TRUE(applied_.empty());
}

}  // namespace
}  // namespace tandrel
