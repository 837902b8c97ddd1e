#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace tandrel {

// Turns SIGTERM, SIGINT and SIGHUP into a call on the main thread, so that the app ends through
// its normal termination path instead of dying mid-write. The signal handler only writes to a
// pipe; the call happens when the event loop reads it. One instance per process.
class TerminationSignals : public QObject {
  Q_OBJECT

 public:
  // Installs the handlers; `onSignal(signalNumber)` runs on the main thread for each signal.
  explicit TerminationSignals(std::function<void(int)> onSignal, QObject* parent = nullptr);
  ~TerminationSignals() override;

  // Whether the handlers are installed (false when the pipe could not be made).
  bool isInstalled() const { return notifier_ != nullptr; }

 private:
  void readSignals();

  std::function<void(int)> onSignal_;
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace tandrel
