#include "requests/audit_writer.h"

#include "base/canonical_json.h"
#include "platform/append_file.h"
#include "platform/private_folder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QSet>


#include <cstdio>

namespace tandrel {
namespace {

// ISO 8601 in UTC with whole seconds, e.g. 2026-05-20T09:30:00Z.
QString isoSeconds(const QDateTime& time) { return time.toUTC().toString(Qt::ISODate); }

}  // namespace

AuditWriter::AuditWriter(Clock& clock, QString auditFile, qint64 rotateBytes)
    : clock_(clock), rotateBytes_(rotateBytes), log_(std::move(auditFile)) {}

AuditWriter& AuditWriter::shared() {
  static auto* writer = new AuditWriter();
  return *writer;
}

QString AuditWriter::defaultAuditFile() {
  return QDir::homePath() + QStringLiteral("/.tandrel/audit.jsonl");
}

void AuditWriter::recordRequest(const PendingAction& action) {
  append(QJsonObject{
      {QStringLiteral("role"), QStringLiteral("pending_request")},
      {QStringLiteral("request_id"), action.requestID},
      {QStringLiteral("timestamp"), isoSeconds(action.createdAt)},
      {QStringLiteral("agent"), action.agent},
      {QStringLiteral("session_id"), action.sessionID},
      {QStringLiteral("kind"), rawValue(action.kind)},
      {QStringLiteral("tool"), action.payload.tool.value_or(QString())},
      {QStringLiteral("command"), action.payload.command.value_or(QString())},
      {QStringLiteral("cwd"), action.payload.cwd.value_or(QString())},
  });
}

void AuditWriter::recordReply(const PendingAction& action, const std::optional<HookReply>& reply) {
  const QDateTime now = clock_.now();
  QJsonObject record{
      {QStringLiteral("role"), QStringLiteral("pending_reply")},
      {QStringLiteral("request_id"), action.requestID},
      {QStringLiteral("timestamp"), isoSeconds(now)},
      {QStringLiteral("status"), rawValue(action.status)},
      {QStringLiteral("latency_ms"), action.createdAt.msecsTo(now)},
  };
  if (reply) {
    record.insert(QStringLiteral("decision"), reply->decision);
    record.insert(QStringLiteral("mode"), reply->mode);
  }
  append(record);
}

void AuditWriter::record(const PendingAction& action) {
  if (action.status == PendingActionStatus::awaitingUser) {
    recordRequest(action);
  } else {
    recordReply(action);
  }
}

void AuditWriter::reconcileOnLaunch() {
  QFile file(auditFile());
  if (!file.open(QIODevice::ReadOnly)) {
    return;
  }
  // A request whose reply was never written may sit in the part moved aside before.
  QByteArray contents;
  if (QFile rotated(rotatedAuditFile()); rotated.open(QIODevice::ReadOnly)) {
    contents = rotated.readAll();
    if (!contents.isEmpty() && !contents.endsWith('\n')) {
      contents.append('\n');
    }
  }
  contents.append(file.readAll());
  file.close();

  QList<QString> requestOrder;
  QHash<QString, QJsonObject> requests;
  QSet<QString> replied;
  QSet<QString> reconciled;
  for (const QByteArray& line : contents.split('\n')) {
    if (line.isEmpty()) {
      continue;
    }
    const QJsonDocument document = QJsonDocument::fromJson(line);
    if (!document.isObject()) {
      continue;
    }
    const QJsonObject object = document.object();
    const QJsonValue role = object.value(QStringLiteral("role"));
    const QJsonValue requestID = object.value(QStringLiteral("request_id"));
    if (!role.isString() || !requestID.isString()) {
      continue;
    }
    const QString id = requestID.toString();
    if (role.toString() == QLatin1String("pending_request")) {
      if (!requests.contains(id)) {
        requestOrder.append(id);
      }
      requests.insert(id, object);
    } else if (role.toString() == QLatin1String("pending_reply")) {
      replied.insert(id);
    } else if (role.toString() == QLatin1String("pending_reconcile")) {
      reconciled.insert(id);
    }
  }

  const QString now = isoSeconds(clock_.now());
  for (const QString& id : requestOrder) {
    if (reconciled.contains(id)) {
      continue;
    }
    const QJsonObject& request = requests[id];
    const auto original = [&request](const char* key) {
      const QString name = QString::fromLatin1(key);
      return request.contains(name) ? request.value(name) : QJsonValue(QString());
    };
    append(QJsonObject{
        {QStringLiteral("role"), QStringLiteral("pending_reconcile")},
        {QStringLiteral("request_id"), id},
        {QStringLiteral("timestamp"), now},
        {QStringLiteral("status"), replied.contains(id) ? QStringLiteral("applied_after_crash")
                                                        : QStringLiteral("dropped_on_restart")},
        {QStringLiteral("original_kind"), original("kind")},
        {QStringLiteral("original_agent"), original("agent")},
    });
  }
}

void AuditWriter::append(const QJsonObject& record) {
  (void)makePrivateFolder(QFileInfo(auditFile()).absolutePath());
  // The kept-open descriptor sees that the path names another file after a move, and opens it.
  rotateLogIfLarge(auditFile(), rotateBytes_);
  // The log holds commands and folders: a new file is readable by its owner only. The log is best
  // effort, so a failed append is dropped.
  (void)log_.append(canonicalJsonLine(record));
}

}  // namespace tandrel
