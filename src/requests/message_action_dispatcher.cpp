#include "requests/message_action_dispatcher.h"

#include "base/canonical_json.h"
#include "jump/jump_openers.h"
#include "platform/process_runner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QSaveFile>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>

namespace tandrel {

namespace {

QString isoSeconds(const QDateTime& time) { return time.toUTC().toString(Qt::ISODate); }

// Seconds as a decimal number that always shows a fraction: "10.0", "0.25".
QString decimalSeconds(double seconds) {
  if (std::floor(seconds) == seconds && std::abs(seconds) < 1e15) {
    return QString::number(seconds, 'f', 1);
  }
  return QString::number(seconds, 'g', 15);
}

}  // namespace

MessageActionDispatcher::MessageActionDispatcher(ResponseReceiptStore& receipts, bool executeTrustedCommandChannels,
                                                 double commandTimeoutSeconds)
    : receipts_(receipts),
      executeTrustedCommandChannels_(executeTrustedCommandChannels),
      commandTimeoutSeconds_(commandTimeoutSeconds),
      lifetime_(std::make_shared<MessageActionDispatcher*>(this)),
      commandQueue_(std::make_unique<SerialQueue>(QStringLiteral("app.tandrel.response-commands"))) {}

MessageActionDispatcher::~MessageActionDispatcher() {
  // Results still on their way to the main thread find the handle expired and are dropped.
  lifetime_.reset();
  commandQueue_.reset();
}

QByteArray MessageActionDispatcher::payloadData(const QString& eventID, ResponseReceiptAction action,
                                                const std::optional<MessageOption>& option,
                                                const std::optional<QString>& note, const QDateTime& now) {
  QJsonObject payload{
      {QStringLiteral("action"), rawValue(action)},
      {QStringLiteral("event_id"), eventID},
      {QStringLiteral("timestamp"), isoSeconds(now)},
  };
  if (action == ResponseReceiptAction::approve) {
    payload.insert(QStringLiteral("decision"), QStringLiteral("allow"));
  } else if (action == ResponseReceiptAction::reject) {
    payload.insert(QStringLiteral("decision"), QStringLiteral("deny"));
  }
  if (note && !note->trimmed().isEmpty()) {
    payload.insert(QStringLiteral("note"), *note);
  }
  if (option) {
    payload.insert(QStringLiteral("option_id"), option->id);
    payload.insert(QStringLiteral("option_label"), option->label);
  }
  return canonicalJson(payload);
}

Result<void> MessageActionDispatcher::writeResponseFile(const QString& path, const QByteArray& payload) {
  const QByteArray native = QFile::encodeName(path);
  struct stat info {};
  if (::lstat(native.constData(), &info) == 0) {
    if (S_ISLNK(info.st_mode)) {
      return Result<void>::failure(
          QStringLiteral("Refusing to write the answer to %1: it is a symbolic link").arg(path));
    }
    if (!S_ISREG(info.st_mode)) {
      return Result<void>::failure(
          QStringLiteral("Refusing to write the answer to %1: it is not a regular file").arg(path));
    }
  } else if (errno != ENOENT) {
    return Result<void>::failure(QStringLiteral("Cannot write %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
  }
  const QString folder = QFileInfo(path).absolutePath();
  if (!QDir().mkpath(folder)) {
    return Result<void>::failure(QStringLiteral("Cannot create the folder %1").arg(folder));
  }
  // The temporary file is renamed over the path: a symbolic link put there meanwhile is replaced,
  // never followed.
  QSaveFile file(path);
  file.setDirectWriteFallback(false);
  if (!file.open(QIODevice::WriteOnly) || file.write(payload) != payload.size()) {
    const QString reason = file.errorString();
    file.cancelWriting();
    return Result<void>::failure(QStringLiteral("Cannot write %1: %2").arg(path, reason));
  }
  if (!file.commit()) {
    return Result<void>::failure(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
  }
  return {};
}

Result<void> MessageActionDispatcher::runCommand(const QString& command, const QByteArray& payload,
                                                 double timeoutSeconds) {
  if (!(timeoutSeconds > 0)) {
    return Result<void>::failure(QStringLiteral("Response command timed out before execution"));
  }
  const QString text = command + QLatin1Char(' ') + JumpOpeners::shellQuote(QString::fromUtf8(payload));
  const auto timeout = std::chrono::milliseconds(std::max<qint64>(1, static_cast<qint64>(timeoutSeconds * 1000)));
  const ChildProcessOutcome outcome =
      runChildProcess(JumpOpeners::loginShell(), {QStringLiteral("-lc"), text}, QString(), timeout);
  if (!outcome.started) {
    return Result<void>::failure(outcome.error);
  }
  if (outcome.timedOut) {
    return Result<void>::failure(
        QStringLiteral("Response command timed out after %1 seconds").arg(decimalSeconds(timeoutSeconds)));
  }
  if (!outcome.error.isEmpty()) {
    return Result<void>::failure(QStringLiteral("Response command %1").arg(outcome.error));
  }
  if (outcome.exitCode != 0) {
    return Result<void>::failure(QStringLiteral("Response command exited with status %1").arg(outcome.exitCode));
  }
  return {};
}

MessageActionResult MessageActionDispatcher::recordFailure(const QString& eventID, ResponseReceiptAction action,
                                                           const QDateTime& now, const QString& error) {
  receipts_.record(ResponseReceipt{eventID, action, ResponseReceiptStatus::failed, isoSeconds(now), std::nullopt, error});
  return MessageActionResult{false, std::nullopt, error};
}

MessageActionResult MessageActionDispatcher::recordSuccess(const QString& eventID, ResponseReceiptAction action,
                                                           const QDateTime& now) {
  receipts_.record(
      ResponseReceipt{eventID, action, ResponseReceiptStatus::submitted, isoSeconds(now), std::nullopt, std::nullopt});
  return MessageActionResult{
      true, action == ResponseReceiptAction::chooseOption ? std::optional(QStringLiteral("Response sent")) : std::nullopt,
      std::nullopt};
}

void MessageActionDispatcher::submit(const QString& eventID, ResponseReceiptAction action,
                                     const ResponseChannel& channel, const std::optional<MessageOption>& option,
                                     const std::optional<QString>& note, const QDateTime& now, Completion done) {
  const QByteArray payload = payloadData(eventID, action, option, note, now);
  const auto finish = [&](const Result<void>& delivered) {
    done(delivered ? recordSuccess(eventID, action, now) : recordFailure(eventID, action, now, delivered.error()));
  };

  std::optional<QString> command;
  switch (channel.kind()) {
    case ResponseChannel::Kind::decisionFile:
      finish(writeResponseFile(channel.as<ResponseChannel::DecisionFile>()->path, payload));
      return;
    case ResponseChannel::Kind::responseFile:
      finish(writeResponseFile(channel.as<ResponseChannel::ResponseFile>()->path, payload));
      return;
    case ResponseChannel::Kind::decisionCommand:
      command = channel.as<ResponseChannel::DecisionCommand>()->command;
      break;
    case ResponseChannel::Kind::responseCommand:
      command = channel.as<ResponseChannel::ResponseCommand>()->command;
      break;
    case ResponseChannel::Kind::localSocket:
    case ResponseChannel::Kind::appServer:
      finish(Result<void>::failure(
          QStringLiteral("This response channel is declared but not implemented in this build.")));
      return;
    case ResponseChannel::Kind::none:
      finish(Result<void>::failure(QStringLiteral("No response channel is available.")));
      return;
  }

  if (!executeTrustedCommandChannels_) {
    finish(Result<void>::failure(QStringLiteral("Command response channels require a trusted adapter.")));
    return;
  }
  // The queue stops only with the dispatcher, so the task is always taken.
  (void)commandQueue_->async(
      [weak = std::weak_ptr(lifetime_), command = *command, payload, timeout = commandTimeoutSeconds_, eventID, action,
       now, done = std::move(done)]() mutable {
        Result<void> delivered = runCommand(command, payload, timeout);
        postToMain(weak, [delivered = std::move(delivered), eventID = std::move(eventID), action, now,
                          done = std::move(done)](MessageActionDispatcher*& self) {
          done(delivered ? self->recordSuccess(eventID, action, now)
                         : self->recordFailure(eventID, action, now, delivered.error()));
        });
      });
}

}  // namespace tandrel
