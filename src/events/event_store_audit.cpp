// EventStore: the message-action audit log, one line per user action on a card, beside the
// bridge file; moved aside as "audit.jsonl.1" past kAuditRotateBytes.

#include "events/event_store.h"

#include "base/canonical_json.h"
#include "platform/append_file.h"
#include "platform/private_folder.h"

#include <QDir>
#include <QFileInfo>

namespace tandrel {

void EventStore::audit(const QString& role, const TandrelEvent& event, int collapsedCount, const QJsonObject& extra) {
  (void)makePrivateFolder(QFileInfo(auditFile_).absolutePath());

  QJsonObject record{
      {QStringLiteral("timestamp"), clock_.now().toUTC().toString(Qt::ISODate)},
      {QStringLiteral("role"), role},
      {QStringLiteral("event_id"), event.id},
      {QStringLiteral("source"), event.source},
      {QStringLiteral("event_type"), event.eventType},
      {QStringLiteral("title"), event.title},
      {QStringLiteral("project"), event.project},
  };
  if (collapsedCount >= 2) {
    record.insert(QStringLiteral("collapsed_count"), collapsedCount);
  }
  for (auto it = extra.constBegin(); it != extra.constEnd(); ++it) {
    record.insert(it.key(), it.value());
  }
  // Auditing never fails an action; an append that cannot be made is dropped, and a file that
  // cannot be opened is never replaced.
  rotateLogIfLarge(auditFile_, kAuditRotateBytes);
  (void)appendFile(auditFile_, canonicalJsonLine(record));
}

}  // namespace tandrel
