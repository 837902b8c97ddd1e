#pragma once

#include "base/result.h"
#include "events/message_option.h"
#include "events/response_receipt_store.h"
#include "platform/dispatch.h"
#include "requests/response_channel.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace tandrel {

// What became of one answer delivered over a response channel.
struct MessageActionResult {
  bool succeeded = false;
  std::optional<QString> message;  // "Response sent" after a delivered choice; nothing otherwise
  std::optional<QString> error;    // why it failed; nothing on success

  bool operator==(const MessageActionResult&) const = default;
};

// Delivers the user's answer to a bridge event over the channel the event named, and records a
// receipt ("submitted" or "failed") for every delivery in the store's receipt store.
//
// Decision and response files are replaced whole and atomically, and only inside the system's
// temporary folder, ~/.tandrel or the event's working folder (answerFolders); a path through or to
// a symbolic link, to anything but a regular file, or to a non-empty file that does not hold one
// JSON object (what a waiting agent leaves there) is refused: an event's channel cannot make the
// app write over the user's own files. Command channels run only in a dispatcher made trusted (the
// application's own is not): the command gets the payload as one shell word and runs in the
// user's login shell (/bin/sh when there is none) in a process group of its own, on the
// dispatcher's queue, and is killed with its group when the time-out passes.
//
// Main thread only; the completion of a delivery runs on the main thread, and never after the
// dispatcher is gone.
class MessageActionDispatcher {
 public:
  static constexpr double kDefaultCommandTimeoutSeconds = 10.0;

  MessageActionDispatcher(ResponseReceiptStore& receipts, bool executeTrustedCommandChannels,
                          double commandTimeoutSeconds = kDefaultCommandTimeoutSeconds);
  ~MessageActionDispatcher();
  MessageActionDispatcher(const MessageActionDispatcher&) = delete;
  MessageActionDispatcher& operator=(const MessageActionDispatcher&) = delete;

  bool executeTrustedCommandChannels() const { return executeTrustedCommandChannels_; }
  double commandTimeoutSeconds() const { return commandTimeoutSeconds_; }

  using Completion = std::function<void(MessageActionResult)>;

  // Delivers one answer stamped `now` for an event whose working folder is `workingFolder` (empty
  // when it named none). Files and refusals are done, receipt recorded and `done` called, before
  // this returns; a command completes later, from the main thread's event loop.
  void submit(const QString& eventID, ResponseReceiptAction action, const ResponseChannel& channel,
              const std::optional<MessageOption>& option, const std::optional<QString>& note, const QDateTime& now,
              const QString& workingFolder, Completion done);

  // The answer: compact JSON with sorted keys, "action", "decision" ("allow" or "deny", for
  // approve and reject only), "event_id", "note" (only when it holds more than white space),
  // "option_id" and "option_label" (with an option), "timestamp" (UTC, whole seconds, "Z").
  static QByteArray payloadData(const QString& eventID, ResponseReceiptAction action,
                                const std::optional<MessageOption>& option, const std::optional<QString>& note,
                                const QDateTime& now);

  // The folders an answer file may be written in: the system's temporary folder, ~/.tandrel
  // (tandrelHomeURL) and `workingFolder` when it is not empty.
  static QStringList answerFolders(const QString& workingFolder);

  // Replaces the file at `path` with `payload` when the path lies below one of `allowedFolders`
  // (as given or by its real path): the folders below it are opened (missing ones made, 0700)
  // without following a symbolic link, and the bytes go to a temporary file beside the target
  // that is renamed over it. Refuses a relative path, a path elsewhere, a symbolic link on the
  // way or at the end, anything but a regular file, and a non-empty file that does not hold one
  // JSON object.
  static Result<void> writeResponseFile(const QString& path, const QByteArray& payload,
                                        const QStringList& allowedFolders);

  // Runs `command` with the payload appended as one single-quoted word, in the login shell
  // ("-lc"), and waits at most `timeoutSeconds`. Blocks: call it off the main thread.
  static Result<void> runCommand(const QString& command, const QByteArray& payload, double timeoutSeconds);

  // Records a failed receipt for the event and returns the failure.
  MessageActionResult recordFailure(const QString& eventID, ResponseReceiptAction action, const QDateTime& now,
                                    const QString& error);

 private:
  MessageActionResult recordSuccess(const QString& eventID, ResponseReceiptAction action, const QDateTime& now);

  ResponseReceiptStore& receipts_;
  const bool executeTrustedCommandChannels_;
  const double commandTimeoutSeconds_;
  std::shared_ptr<MessageActionDispatcher*> lifetime_;
  std::unique_ptr<SerialQueue> commandQueue_;  // declared last: joined first
};

}  // namespace tandrel
