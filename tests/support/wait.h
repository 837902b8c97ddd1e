#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QThread>

namespace tandrel::test {

// Runs the main thread's event loop until `done()` holds or `timeoutMs` have passed; returns
// whether it held. For waiting on real threads and files, never on a throttle.
template <typename Predicate>
bool waitUntil(Predicate done, int timeoutMs = 5000) {
  QDeadlineTimer deadline(timeoutMs);
  while (!done()) {
    if (deadline.hasExpired()) {
      return false;
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(1);
  }
  return true;
}

}  // namespace tandrel::test
