#include "platform/clock.h"

#include <QCoreApplication>
#include <QTimer>

namespace tandrel {
namespace {

class SystemClock final : public Clock {
 public:
  QDateTime now() const override { return QDateTime::currentDateTimeUtc(); }

  qint64 monotonicMs() const override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }

  DelayedWork schedule(std::chrono::milliseconds delay, std::function<void()> work) override {
    auto state = std::make_shared<DelayedWork::State>();
    state->work = std::move(work);
    auto* timer = new QTimer(QCoreApplication::instance());
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, state] {
      timer->deleteLater();
      state->fire();
    });
    // A cancelled item stops its timer at once, so long time-outs leave nothing behind.
    state->onCancel = [timer] {
      timer->stop();
      timer->deleteLater();
    };
    timer->start(delay);
    return DelayedWork(state);
  }
};

}  // namespace

Clock& Clock::system() {
  static SystemClock clock;
  return clock;
}

}  // namespace tandrel
