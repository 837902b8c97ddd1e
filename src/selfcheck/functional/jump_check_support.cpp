#include "selfcheck/functional/jump_check_support.h"

#include "selfcheck/fixture_builders.h"
#include "selfcheck/functional/check_store.h"
#include "selfcheck/harness.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>

namespace tandrel {

RecordingJumpOpener::RecordingJumpOpener(std::function<bool(const JumpTarget&)> answer)
    : record_(std::make_shared<Record>()) {
  record_->answer = std::move(answer);
}

JumpOpener RecordingJumpOpener::opener() const {
  return [record = record_](const ResolvedJumpTarget& resolved) {
    std::lock_guard lock(record->mutex);
    record->targets.push_back(resolved.target);
    return record->answer(resolved.target);
  };
}

std::vector<JumpTarget> RecordingJumpOpener::targets() const {
  std::lock_guard lock(record_->mutex);
  return record_->targets;
}

void RecordingJumpOpener::clear() {
  std::lock_guard lock(record_->mutex);
  record_->targets.clear();
}

ExistencePredicate onlyFor(const QStringList& accepted) {
  return [accepted](const QString& value) { return accepted.contains(value); };
}

ExistencePredicate always(bool answer) {
  return [answer](const QString&) { return answer; };
}

JumpResolver listedJumpResolver(ExistencePredicate commands, ExistencePredicate apps, ExistencePredicate bundles,
                                ExistencePredicate sessions) {
  JumpResolver resolver;
  resolver.commandExists = std::move(commands);
  resolver.appExists = std::move(apps);
  resolver.appBundleExists = std::move(bundles);
  resolver.cmuxSessionExists = std::move(sessions);
  return resolver;
}

QJsonObject jumpRecord(const QString& id, const QString& source, const QString& title, const QString& message,
                       std::optional<QString> timestamp, const QJsonObject& extra) {
  return testEvent(id, source, QStringLiteral("task_completed"), QStringLiteral("info"), title, message, std::nullopt,
                   std::nullopt, std::move(timestamp), extra);
}

QJsonObject typedTarget(std::initializer_list<std::pair<QString, QJsonValue>> fields) {
  QJsonObject object;
  for (const auto& [key, value] : fields) object.insert(key, value);
  return object;
}

std::optional<CheckFiles> prepareCheckFiles(const QString& tempRoot, const QString& prefix, const QString& workspace) {
  CheckFiles files{scratchPath(tempRoot, prefix + QStringLiteral("-events.jsonl")),
                   scratchPath(tempRoot, prefix + QStringLiteral("-audit.jsonl")), scratchPath(tempRoot, workspace)};
  QFile::remove(files.auditFile);
  if (!QDir().mkpath(files.workspace)) {
    return std::nullopt;
  }
  return files;
}

std::unique_ptr<EventStore> loadedCheckStore(const CheckFiles& files, JumpResolver resolver, JumpOpener opener) {
  EventStoreOptions options = storeOptionsWithoutAgentFolders(files.eventFile, files.auditFile);
  options.jumpResolver = std::move(resolver);
  options.jumpOpener = std::move(opener);
  auto store = std::make_unique<EventStore>(options);
  store->reload(false);
  store->ensureMessageCache();
  return store;
}

std::optional<IslandMessage> messageWithID(EventStore& store, const QString& id) {
  for (const IslandMessage& message : store.allMessages()) {
    if (message.event.id == id) {
      return message;
    }
  }
  return std::nullopt;
}

std::optional<ActionResult> performAndWait(EventStore& store, const QString& role, const IslandMessage& message) {
  auto result = std::make_shared<std::optional<ActionResult>>();
  store.perform(role, message, [result](ActionResult outcome) { *result = std::move(outcome); });
  waitOnEventLoop([&result] { return result->has_value(); }, 5.0);
  return *result;
}

std::vector<QJsonObject> auditRecords(const QString& auditFile) {
  std::vector<QJsonObject> records;
  QFile file(auditFile);
  if (!file.open(QIODevice::ReadOnly)) {
    return records;
  }
  for (const QByteArray& line : file.readAll().split('\n')) {
    if (line.isEmpty()) {
      continue;
    }
    const QJsonDocument document = QJsonDocument::fromJson(line);
    if (document.isObject()) {
      records.push_back(document.object());
    }
  }
  return records;
}

bool hasAudit(const std::vector<QJsonObject>& records, const QString& role, const QString& eventID) {
  for (const QJsonObject& record : records) {
    const QJsonValue recordRole = record.value(QLatin1String("role"));
    const QJsonValue recordEvent = record.value(QLatin1String("event_id"));
    if (recordRole.isString() && recordRole.toString() == role && recordEvent.isString() &&
        recordEvent.toString() == eventID) {
      return true;
    }
  }
  return false;
}

}  // namespace tandrel
