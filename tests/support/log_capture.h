#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <mutex>

namespace tandrel::test {

// Collects the log lines written (from any thread) while it exists, instead of printing them.
class LogCapture {
 public:
  LogCapture() {
    current() = this;
    previous_ = qInstallMessageHandler(&LogCapture::handle);
  }
  ~LogCapture() {
    qInstallMessageHandler(previous_);
    current() = nullptr;
  }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  QStringList lines() const {
    std::lock_guard guard(mutex_);
    return lines_;
  }
  // The lines that contain `text`.
  int count(const QString& text) const { return static_cast<int>(lines().filter(text).size()); }

 private:
  static LogCapture*& current() {
    static LogCapture* capture = nullptr;
    return capture;
  }
  static void handle(QtMsgType, const QMessageLogContext&, const QString& message) {
    if (LogCapture* capture = current()) {
      std::lock_guard guard(capture->mutex_);
      capture->lines_.append(message);
    }
  }

  mutable std::mutex mutex_;
  QStringList lines_;
  QtMessageHandler previous_ = nullptr;
};

}  // namespace tandrel::test
