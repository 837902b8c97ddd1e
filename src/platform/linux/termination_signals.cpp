#include "platform/termination_signals.h"

#include "base/log.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace tandrel {
namespace {

int signalPipe[2] = {-1, -1};
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

void onSignal(int number) {
  const int saved = errno;
  const unsigned char byte = static_cast<unsigned char>(number);
  [[maybe_unused]] const ssize_t ignored = ::write(signalPipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

TerminationSignals::TerminationSignals(std::function<void(int)> onSignal, QObject* parent)
    : QObject(parent), onSignal_(std::move(onSignal)) {
  if (signalPipe[0] < 0 && ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    logWarning(QStringLiteral("cannot watch termination signals: pipe failed (errno %1)").arg(errno));
    return;
  }
  notifier_ = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::readSignals);
  struct sigaction action = {};
  action.sa_handler = &tandrel::onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int number : kSignals) {
    ::sigaction(number, &action, nullptr);
  }
}

TerminationSignals::~TerminationSignals() {
  if (notifier_ == nullptr) {
    return;
  }
  struct sigaction action = {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  for (const int number : kSignals) {
    ::sigaction(number, &action, nullptr);
  }
}

void TerminationSignals::readSignals() {
  unsigned char byte = 0;
  while (::read(signalPipe[0], &byte, 1) == 1) {
    if (onSignal_) {
      onSignal_(byte);
    }
  }
}

}  // namespace tandrel
