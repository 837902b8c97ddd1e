#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QLocalServer;

namespace tandrel {

// One running app per user. The first instance listens on a local socket; a later launch finds
// it there, tells it to "reopen" and ends.
class SingleInstance : public QObject {
  Q_OBJECT

 public:
  // `socketPath`: where the running instance listens.
  explicit SingleInstance(QString socketPath, QObject* parent = nullptr);
  ~SingleInstance() override;

  // True when another instance is running: it has been told to "reopen" and this process should
  // end. Otherwise this instance starts listening (replacing a stale socket) and `onReopen` runs
  // on the main thread whenever a later launch asks.
  bool notifyRunningInstance();
  bool listen(std::function<void()> onReopen);

 private:
  QString socketPath_;
  QLocalServer* server_ = nullptr;
  std::function<void()> onReopen_;
};

}  // namespace tandrel
