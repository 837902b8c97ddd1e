#include "requests/message_action_dispatcher.h"

#include "base/canonical_json.h"
#include "catalog/paths.h"
#include "jump/jump_openers.h"
#include "platform/process_runner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>

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

QStringList MessageActionDispatcher::answerFolders(const QString& workingFolder) {
  QStringList folders{QDir::tempPath(), tandrelHomeURL()};
  if (!workingFolder.isEmpty()) folders.append(workingFolder);
  return folders;
}

namespace {

// An open descriptor, closed when it goes.
struct Descriptor {
  int fd = -1;
  explicit Descriptor(int value) : fd(value) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

QString systemError() { return QString::fromLocal8Bit(std::strerror(errno)); }

// The largest answer file an agent leaves waiting that is read to see whether it holds one JSON
// object; anything longer is not an answer file.
constexpr qint64 kWaitingAnswerLimit = 1 << 20;

// Whether the non-empty regular file `name` in `folder` holds one JSON object (what a waiting
// agent leaves there).
bool holdsOneJsonObject(int folder, const QByteArray& name) {
  const Descriptor file(::openat(folder, name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (file.fd < 0) return false;
  QByteArray text;
  char buffer[65536];
  for (;;) {
    const ssize_t count = ::read(file.fd, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return false;
    if (count == 0) break;
    text.append(buffer, count);
    if (text.size() > kWaitingAnswerLimit) return false;
  }
  QJsonParseError error{};
  return QJsonDocument::fromJson(text, &error).isObject() && error.error == QJsonParseError::NoError;
}

bool writeAll(int fd, const QByteArray& bytes) {
  qsizetype done = 0;
  while (done < bytes.size()) {
    const ssize_t count = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return false;
    done += count;
  }
  return true;
}

}  // namespace

Result<void> MessageActionDispatcher::writeResponseFile(const QString& path, const QByteArray& payload,
                                                        const QStringList& allowedFolders) {
  const auto refuse = [&path](const QString& reason) {
    return Result<void>::failure(QStringLiteral("Refusing to write the answer to %1: %2").arg(path, reason));
  };
  if (!QDir::isAbsolutePath(path)) return refuse(QStringLiteral("it is not an absolute path"));
  const QString cleaned = QDir::cleanPath(path);

  // The folder it lies in, as given or by its real path, and the path's parts below it.
  QString root;
  QStringList parts;
  for (const QString& folder : allowedFolders) {
    if (folder.isEmpty() || !QDir::isAbsolutePath(folder)) continue;
    for (const QString& form : {QDir::cleanPath(folder), QFileInfo(folder).canonicalFilePath()}) {
      if (form.isEmpty()) continue;
      const QString prefix = form.endsWith(u'/') ? form : form + u'/';
      if (cleaned.startsWith(prefix) && cleaned.size() > prefix.size()) {
        root = form;
        parts = cleaned.mid(prefix.size()).split(u'/', Qt::SkipEmptyParts);
        break;
      }
    }
    if (!root.isEmpty()) break;
  }
  if (root.isEmpty()) {
    return refuse(QStringLiteral("it is outside the temporary folder, %1 and the event's working folder")
                      .arg(tandrelHomeURL()));
  }

  // Folder by folder from there, never following a symbolic link; missing folders are made.
  auto folder = std::make_unique<Descriptor>(
      ::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder->fd < 0) return Result<void>::failure(QStringLiteral("Cannot open %1: %2").arg(root, systemError()));
  const QByteArray name = QFile::encodeName(parts.takeLast());
  for (const QString& part : parts) {
    const QByteArray native = QFile::encodeName(part);
    int next = ::openat(folder->fd, native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0 && errno == ENOENT) {
      if (::mkdirat(folder->fd, native.constData(), 0700) != 0 && errno != EEXIST) {
        return Result<void>::failure(QStringLiteral("Cannot create the folder %1: %2").arg(part, systemError()));
      }
      next = ::openat(folder->fd, native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    if (next < 0) {
      if (errno == ELOOP || errno == ENOTDIR) {
        return refuse(QStringLiteral("%1 on its way is a symbolic link or not a folder").arg(part));
      }
      return Result<void>::failure(QStringLiteral("Cannot open %1: %2").arg(part, systemError()));
    }
    folder = std::make_unique<Descriptor>(next);
  }

  struct stat info {};
  if (::fstatat(folder->fd, name.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
    if (S_ISLNK(info.st_mode)) return refuse(QStringLiteral("it is a symbolic link"));
    if (!S_ISREG(info.st_mode)) return refuse(QStringLiteral("it is not a regular file"));
    if (info.st_size > 0 && !holdsOneJsonObject(folder->fd, name)) {
      return refuse(QStringLiteral("it holds something other than an answer (one JSON object)"));
    }
  } else if (errno != ENOENT) {
    return Result<void>::failure(QStringLiteral("Cannot write %1: %2").arg(path, systemError()));
  }

  // A temporary file beside it is renamed over it: the answer appears whole or not at all.
  const QByteArray temporary =
      "." + name + ".tandrel-" + QByteArray::number(::getpid()) + "-" + QByteArray::number(QRandomGenerator::global()->generate());
  const Descriptor out(
      ::openat(folder->fd, temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (out.fd < 0) return Result<void>::failure(QStringLiteral("Cannot write %1: %2").arg(path, systemError()));
  if (!writeAll(out.fd, payload) || ::fsync(out.fd) != 0 ||
      ::renameat(folder->fd, temporary.constData(), folder->fd, name.constData()) != 0) {
    const QString reason = systemError();
    ::unlinkat(folder->fd, temporary.constData(), 0);
    return Result<void>::failure(QStringLiteral("Cannot write %1: %2").arg(path, reason));
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
                                     const std::optional<QString>& note, const QDateTime& now,
                                     const QString& workingFolder, Completion done) {
  const QByteArray payload = payloadData(eventID, action, option, note, now);
  const auto finish = [&](const Result<void>& delivered) {
    done(delivered ? recordSuccess(eventID, action, now) : recordFailure(eventID, action, now, delivered.error()));
  };

  std::optional<QString> command;
  switch (channel.kind()) {
    case ResponseChannel::Kind::decisionFile:
      finish(writeResponseFile(channel.as<ResponseChannel::DecisionFile>()->path, payload,
                               answerFolders(workingFolder)));
      return;
    case ResponseChannel::Kind::responseFile:
      finish(writeResponseFile(channel.as<ResponseChannel::ResponseFile>()->path, payload,
                               answerFolders(workingFolder)));
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
