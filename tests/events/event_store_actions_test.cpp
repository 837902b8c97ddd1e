#include "events/event_store_test_support.h"

#include "support/wait.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>

namespace tandrel {
namespace {

using test::bridgeLine;
using test::StoreFixture;

struct ActionFixture : StoreFixture {
  std::unique_ptr<EventStore> load(const std::vector<QByteArray>& lines) {
    QByteArray bytes;
    for (const QByteArray& line : lines) bytes += line;
    EXPECT_TRUE(test::writeFile(eventFile, bytes));
    auto store = make();
    store->reload(false);
    return store;
  }

  static std::optional<IslandMessage> message(EventStore& store, const QString& id) {
    for (const IslandMessage& message : store.allMessages()) {
      if (message.event.id == id) return message;
    }
    return std::nullopt;
  }

  std::vector<QJsonObject> audit(const EventStore& store) const { return test::readJsonLines(store.auditFile()); }
};

ActionResult waitFor(const std::function<void(EventStore::ActionCompletion)>& start) {
  std::optional<ActionResult> result;
  start([&result](ActionResult r) { result = std::move(r); });
  EXPECT_TRUE(test::waitUntil([&] { return result.has_value(); }, 10000));
  return result.value_or(ActionResult::failure(QStringLiteral("no result")));
}

ActionResult perform(EventStore& store, const QString& role, const IslandMessage& message) {
  return waitFor([&](EventStore::ActionCompletion done) { store.perform(role, message, std::move(done)); });
}

QByteArray permission(const QString& id, QJsonObject action) {
  return bridgeLine(id, {{"source", "codex"},
                         {"event_type", "permission_request"},
                         {"title", "Run tests"},
                         {"project", "tandrel"},
                         {"session_id", id + QStringLiteral("-session")},
                         {"action", action}});
}

QByteArray choice(const QString& id, QJsonObject response) {
  QJsonObject fields{{"source", "codex"},
                     {"event_type", "waiting_input"},
                     {"title", "Pick one"},
                     {"session_id", id + QStringLiteral("-session")},
                     {"options", QJsonArray{QJsonObject{{"id", "a"}, {"label", "Alpha"}}}}};
  if (!response.isEmpty()) fields.insert(QStringLiteral("response"), response);
  return bridgeLine(id, fields);
}

TEST(EventStoreActionsTest, AuthorizeWritesTheDecisionFileRecordsAReceiptAndHidesTheCard) {
  ActionFixture f;
  const QString decision = f.home.file(QStringLiteral("answers/decision.json"));
  auto store = f.load({permission("perm", {{"decision_file", decision}, {"risk", "low"}})});
  const auto message = ActionFixture::message(*store, QStringLiteral("perm"));
  ASSERT_TRUE(message.has_value());
  const qint64 revision = store->revision();

  EXPECT_EQ(perform(*store, QStringLiteral("authorize"), *message), ActionResult::success(QStringLiteral("Authorized request")));
  const QString stamp = f.clock.now().toUTC().toString(Qt::ISODate);
  EXPECT_EQ(test::readFile(decision),
            QStringLiteral(R"({"action":"approve","decision":"allow","event_id":"perm","timestamp":"%1"})").arg(stamp).toUtf8());
  EXPECT_EQ(store->responseReceipts().latestReceipt(QStringLiteral("perm")),
            (ResponseReceipt{QStringLiteral("perm"), ResponseReceiptAction::approve, ResponseReceiptStatus::submitted,
                             stamp, {}, {}}));
  EXPECT_TRUE(store->hiddenIDs().contains(QStringLiteral("perm")));
  EXPECT_TRUE(store->readIDs().contains(QStringLiteral("perm")));
  EXPECT_EQ(store->revision(), revision + 1);
  EXPECT_FALSE(ActionFixture::message(*store, QStringLiteral("perm")).has_value());
  EXPECT_EQ(f.changes, 1);  // the load only: an action is no publish
  const auto audit = f.audit(*store);
  ASSERT_EQ(audit.size(), 1u);
  EXPECT_EQ(audit[0].value(QStringLiteral("role")).toString(), QStringLiteral("authorize"));
  EXPECT_EQ(audit[0].value(QStringLiteral("title")).toString(), QStringLiteral("Run tests"));
  EXPECT_FALSE(audit[0].contains(QStringLiteral("collapsed_count")));
}

TEST(EventStoreActionsTest, FailedDecisionsKeepTheCardAndAuditTheFailure) {
  ActionFixture f;
  auto store = f.load({permission("cmd", {{"decision_command", "exit 7 ;"}})});
  const auto message = ActionFixture::message(*store, QStringLiteral("cmd"));
  ASSERT_TRUE(message.has_value());

  // The application's own dispatcher refuses command channels.
  EXPECT_EQ(perform(*store, QStringLiteral("reject"), *message),
            ActionResult::failure(QStringLiteral("Command response channels require a trusted adapter.")));
  EXPECT_FALSE(store->actionDispatcher().executeTrustedCommandChannels());
  EXPECT_EQ(store->actionDispatcher().commandTimeoutSeconds(), 10.0);

  // A trusted one runs the command; it fails with its status.
  store->setActionDispatcher(std::make_unique<MessageActionDispatcher>(store->responseReceipts(), true, 5.0));
  EXPECT_EQ(perform(*store, QStringLiteral("authorize"), *message),
            ActionResult::failure(QStringLiteral("Response command exited with status 7")));
  EXPECT_EQ(store->responseReceipts().latestReceipt(QStringLiteral("cmd"))->status, ResponseReceiptStatus::failed);
  EXPECT_TRUE(ActionFixture::message(*store, QStringLiteral("cmd")).has_value());
  EXPECT_TRUE(store->hiddenIDs().isEmpty());
  EXPECT_TRUE(store->readIDs().isEmpty());
  const auto audit = f.audit(*store);
  ASSERT_EQ(audit.size(), 2u);
  EXPECT_EQ(audit[0].value(QStringLiteral("role")).toString(), QStringLiteral("reject_failed"));
  EXPECT_EQ(audit[1].value(QStringLiteral("role")).toString(), QStringLiteral("authorize_failed"));
}

TEST(EventStoreActionsTest, ChoicesSendTheOptionAndAuditTheNoteWithoutItsText) {
  ActionFixture f;
  const QString response = f.home.file(QStringLiteral("response.json"));
  auto store = f.load({choice("pick", {{"response_file", response}}), choice("nowhere", {})});
  const auto pick = ActionFixture::message(*store, QStringLiteral("pick"));
  const auto nowhere = ActionFixture::message(*store, QStringLiteral("nowhere"));
  ASSERT_TRUE(pick && nowhere);
  ASSERT_EQ(pick->choiceOptions.size(), 1);
  const MessageOption option = pick->choiceOptions.first();

  const auto choose = [&store](const IslandMessage& message, const MessageOption& chosen, const QString& note) {
    return waitFor([&](EventStore::ActionCompletion done) { store->performChoice(message, chosen, note, std::move(done)); });
  };
  EXPECT_EQ(choose(*nowhere, option, QString()), ActionResult::failure(QStringLiteral("No response channel is available.")));
  EXPECT_TRUE(ActionFixture::message(*store, QStringLiteral("nowhere")).has_value());

  EXPECT_EQ(choose(*pick, option, QStringLiteral("   ")), ActionResult::success(QStringLiteral("Response sent")));
  EXPECT_FALSE(test::readFile(response).contains("\"note\""));
  EXPECT_TRUE(test::readFile(response).contains(R"("option_id":"a","option_label":"Alpha")"));
  EXPECT_TRUE(store->hiddenIDs().contains(QStringLiteral("pick")));
  EXPECT_FALSE(store->readIDs().contains(QStringLiteral("pick")));

  const auto audit = f.audit(*store);
  ASSERT_EQ(audit.size(), 2u);
  EXPECT_EQ(audit[0].value(QStringLiteral("role")).toString(), QStringLiteral("choose_option_failed"));
  EXPECT_EQ(audit[0].value(QStringLiteral("error")).toString(), QStringLiteral("No response channel is available."));
  EXPECT_EQ(audit[0].value(QStringLiteral("option_id")).toString(), QStringLiteral("a"));
  EXPECT_EQ(audit[1].value(QStringLiteral("role")).toString(), QStringLiteral("choose_option"));
  EXPECT_EQ(audit[1].value(QStringLiteral("note_present")), QJsonValue(false));
  EXPECT_EQ(audit[1].value(QStringLiteral("note_length")), QJsonValue(3));
}

TEST(EventStoreActionsTest, RolesAreExactAndUnknownRolesFail) {
  ActionFixture f;
  // Finished turns: a permission request that the session went on from no longer asks anything.
  const auto failed = [](const QString& id) {
    return bridgeLine(id, {{"source", "codex"}, {"event_type", "task_completed"}, {"title", "Run tests"},
                           {"raw_event_name", "Stop"}, {"message", "All tests pass"}, {"project", "tandrel"},
                           {"session_id", "s1"}});
  };
  // Three events of one task fold into one card.
  auto store = f.load({failed(QStringLiteral("f1")), failed(QStringLiteral("f2")), failed(QStringLiteral("f3"))});
  ASSERT_EQ(store->allMessages().size(), 1u);
  const std::optional<IslandMessage> message = store->allMessages().front();
  ASSERT_EQ(message->events.size(), 3u);

  struct Case {
    const char* role;
    ActionResult result;
    bool audited;
    bool read;
    bool hidden;
  };
  const Case cases[] = {
      {"Authorize", ActionResult::failure(QStringLiteral("Unknown action: Authorize")), false, false, false},
      {"approve", ActionResult::failure(QStringLiteral("Unknown action: approve")), false, false, false},
      {"choose_option", ActionResult::failure(QStringLiteral("Unknown action: choose_option")), false, false, false},
      {"configure", ActionResult::success(), true, false, false},
      {"mark_read", ActionResult::success(QStringLiteral("Marked read")), true, true, false},
      {"ignore", ActionResult::success(QStringLiteral("Ignored")), true, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.role);
    const size_t before = f.audit(*store).size();
    EXPECT_EQ(perform(*store, QString::fromLatin1(c.role), *message), c.result);
    const auto audit = f.audit(*store);
    ASSERT_EQ(audit.size(), before + (c.audited ? 1 : 0));
    if (c.audited) {
      EXPECT_EQ(audit.back().value(QStringLiteral("role")).toString(), QString::fromLatin1(c.role));
      EXPECT_EQ(audit.back().value(QStringLiteral("collapsed_count")), QJsonValue(3));
    }
    for (const char* id : {"f1", "f2", "f3"}) {
      EXPECT_EQ(store->readIDs().contains(QString::fromLatin1(id)), c.read);
      EXPECT_EQ(store->hiddenIDs().contains(QString::fromLatin1(id)), c.hidden);
    }
  }
}

TEST(EventStoreActionsTest, AnAuditFileThatCannotBeOpenedFailsNoActionAndIsNeverReplaced) {
  ActionFixture f;
  auto store = f.load({permission("perm", {{"kind", "shell"}})});
  const auto message = ActionFixture::message(*store, QStringLiteral("perm"));
  ASSERT_TRUE(message.has_value());
  // A link that points at itself cannot be opened, but a rename would replace it.
  ASSERT_TRUE(QFile::link(store->auditFile(), store->auditFile()));

  EXPECT_EQ(perform(*store, QStringLiteral("mark_read"), *message), ActionResult::success(QStringLiteral("Marked read")));
  EXPECT_TRUE(store->readIDs().contains(QStringLiteral("perm")));
  EXPECT_TRUE(QFileInfo(store->auditFile()).isSymLink());
  EXPECT_EQ(QFileInfo(store->auditFile()).symLinkTarget(), store->auditFile());
  // Nothing was written beside it either (no temporary file left over).
  EXPECT_EQ(QDir(QFileInfo(store->auditFile()).absolutePath()).entryList(QDir::Files | QDir::System | QDir::Hidden).size(), 2);
}

}  // namespace
}  // namespace tandrel
