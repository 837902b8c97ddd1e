#pragma once

// The approval audit log: an append-only JSON-lines file with one "pending_request" line when a
// pending action is created, one "pending_reply" line when it ends, and, at the next launch, one
// "pending_reconcile" line for every request not reconciled yet. The log is best effort: every
// failure (folder, file, write, unparsable line) is silent and never blocks a reply or start-up.
// The log's descriptor stays open between lines (and is opened anew when the file is replaced).
// Past 16 MiB the log is moved aside as "audit.jsonl.1" (replacing an older one) before the next
// line, which begins a new file; the launch reconcile reads both.

#include "platform/append_file.h"
#include "platform/clock.h"
#include "requests/hook_request.h"
#include "requests/pending_action.h"

#include <QJsonObject>
#include <QString>

#include <optional>

namespace tandrel {

class AuditWriter {
 public:
  static constexpr qint64 kRotateBytes = 16 * 1024 * 1024;

  explicit AuditWriter(Clock& clock = Clock::system(), QString auditFile = defaultAuditFile(),
                       qint64 rotateBytes = kRotateBytes);

  // The one writer of the process, on the system clock and the default file.
  static AuditWriter& shared();

  // "~/.tandrel/audit.jsonl" under the user's home folder; TANDREL_HOME does not move it.
  static QString defaultAuditFile();

  // The file every operation uses; the test switches point it elsewhere.
  const QString& auditFile() const { return log_.path(); }
  void setAuditFile(QString path) { log_.setPath(std::move(path)); }
  // Where the log is moved once it is past the rotation size: "audit.jsonl.1" beside it.
  QString rotatedAuditFile() const { return rotatedLogPath(auditFile()); }

  // Appends the "pending_request" line of `action` (its creation time as "timestamp").
  void recordRequest(const PendingAction& action);
  // Appends the "pending_reply" line of `action`: its status and the latency since its creation,
  // plus "decision" and "mode" when `reply` is given.
  void recordReply(const PendingAction& action, const std::optional<HookReply>& reply = std::nullopt);
  // The pending-action store's observer: a request line for an awaiting action, else a reply
  // line without reply.
  void record(const PendingAction& action);

  // Appends a "pending_reconcile" line for every request of the log (the part moved aside first)
  // that has none yet: "applied_after_crash" when a reply line exists for it, else
  // "dropped_on_restart". A log that cannot be read is left alone (and no file is created).
  void reconcileOnLaunch();

 private:
  void append(const QJsonObject& record);

  Clock& clock_;
  qint64 rotateBytes_;
  // Kept open: out of descriptors, the audit still gets its lines.
  AppendOnlyFile log_;
};

}  // namespace tandrel
