#pragma once

// What the Jump checks share: a Jump opener that opens nothing and records what it was handed,
// resolvers whose predicates are fixed lists, and reading the outcome of a card's Jump and the
// store's action audit.

#include "events/event_store.h"
#include "jump/jump_resolver.h"
#include "jump/jump_target.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>

#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace tandrel {

// A Jump opener that never opens anything: it keeps every target it is handed, in order, and
// answers with `answer`. The store calls it on its jump thread; copies share one record.
class RecordingJumpOpener {
 public:
  explicit RecordingJumpOpener(std::function<bool(const JumpTarget&)> answer);

  // The opener to hand to a store.
  JumpOpener opener() const;
  std::vector<JumpTarget> targets() const;
  void clear();

 private:
  struct Record {
    std::mutex mutex;
    std::vector<JumpTarget> targets;
    std::function<bool(const JumpTarget&)> answer;
  };
  std::shared_ptr<Record> record_;
};

// True only for the listed texts.
ExistencePredicate onlyFor(const QStringList& accepted);
// True for every text, or for none.
ExistencePredicate always(bool answer);

// A resolver that asks the file system for files and folders and `commands`, `apps`, `bundles`
// and `sessions` for the rest.
JumpResolver listedJumpResolver(ExistencePredicate commands, ExistencePredicate apps, ExistencePredicate bundles,
                                ExistencePredicate sessions);

// A finished task ("task_completed", "info") of `source`, with its jump information in `extra`.
QJsonObject jumpRecord(const QString& id, const QString& source, const QString& title, const QString& message,
                       std::optional<QString> timestamp, const QJsonObject& extra);
// A typed jump target object of a bridge record.
QJsonObject typedTarget(std::initializer_list<std::pair<QString, QJsonValue>> fields);

// The files of one check: `tempRoot`/<prefix>"-events.jsonl" and <prefix>"-audit.jsonl" (removed,
// so that an earlier run's lines cannot answer this run's questions), and its workspace folder,
// made; nothing when the folder cannot be made.
struct CheckFiles {
  QString eventFile;
  QString auditFile;
  QString workspace;
};
std::optional<CheckFiles> prepareCheckFiles(const QString& tempRoot, const QString& prefix, const QString& workspace);

// A store over the check's files (the check store, with `resolver` and `opener`), loaded once.
std::unique_ptr<EventStore> loadedCheckStore(const CheckFiles& files, JumpResolver resolver, JumpOpener opener);

// The first message of the store's current list whose event has `id`.
std::optional<IslandMessage> messageWithID(EventStore& store, const QString& id);

// Runs the card action `role` and waits on the event loop for its result (a Jump opens on the
// store's jump thread); nothing when none came within 5 s.
std::optional<ActionResult> performAndWait(EventStore& store, const QString& role, const IslandMessage& message);

// The lines of an action audit file that are JSON objects; an unreadable file has none.
std::vector<QJsonObject> auditRecords(const QString& auditFile);
// Whether a record has this "role" and "event_id".
bool hasAudit(const std::vector<QJsonObject>& records, const QString& role, const QString& eventID);

}  // namespace tandrel
