#include "events/event_store_test_support.h"

#include "support/wait.h"

#include <QDir>
#include <QJsonArray>

namespace tandrel {
namespace {

using test::StoreFixture;

QStringList names(std::initializer_list<const char*> list) {
  QStringList out;
  for (const char* item : list) out << QString::fromLatin1(item);
  return out;
}

ExistencePredicate oneOf(const QStringList& accepted) {
  return [accepted](const QString& value) { return accepted.contains(value); };
}

// A store over `lines`, with fixed predicates (the real file system for files and folders) and an
// opener that records every target and answers with `answer`.
struct JumpFixture : StoreFixture {
  QString workspace = home.file(QStringLiteral("workspace"));
  std::vector<JumpTarget> opened;
  std::function<bool(const JumpTarget&)> answer = [](const JumpTarget&) { return true; };
  JumpResolver resolver;

  JumpFixture() {
    QDir().mkpath(workspace);
    resolver.commandExists = oneOf(names({"codex", "cmux", "opencode", "cursor-agent", "gemini", "kilo", "pi",
                                          "factory-droid", "gh", "trae-cli", "kimi-cli"}));
    resolver.appExists = oneOf(names({"/Applications/Claude.app", "/Applications/Codex.app", "/Applications/Cursor.app",
                                      "/Applications/Trae.app", "/Applications/Visual Studio Code.app",
                                      "/Applications/Kimi.app", "/Applications/cmux.app", "/Applications/iTerm.app"}));
    resolver.appBundleExists = oneOf(names({"com.googlecode.iterm2", "com.cmuxterm.app", "com.anthropic.claudefordesktop",
                                            "com.openai.codex", "com.todesktop.230313mzl4w4u92", "cn.trae.app",
                                            "cn.trae.solo.app", "com.microsoft.VSCode", "com.example.Codex"}));
    resolver.cmuxSessionExists = oneOf(names({"cmux-session"}));
  }

  std::unique_ptr<EventStore> load(const std::vector<QByteArray>& lines) {
    QByteArray bytes;
    for (const QByteArray& line : lines) bytes += line;
    EXPECT_TRUE(test::writeFile(eventFile, bytes));
    EventStoreOptions o = options();
    o.jumpResolver = resolver;
    o.jumpOpener = [this](const ResolvedJumpTarget& target) {
      opened.push_back(target.target);
      return answer(target.target);
    };
    auto store = make(std::move(o));
    store->reload(false);
    return store;
  }

  static const IslandMessage* message(EventStore& store, const QString& id) {
    for (const IslandMessage& message : store.allMessages()) {
      if (message.event.id == id) return &message;
    }
    return nullptr;
  }
};

QByteArray completed(const QString& id, const QString& source, QJsonObject extra) {
  extra.insert(QStringLiteral("source"), source);
  extra.insert(QStringLiteral("event_type"), QStringLiteral("task_completed"));
  extra.insert(QStringLiteral("title"), id);
  extra.insert(QStringLiteral("message"), QStringLiteral("Needs a look"));
  extra.insert(QStringLiteral("raw_event_name"), QStringLiteral("Stop"));
  if (!extra.contains(QStringLiteral("session_id"))) extra.insert(QStringLiteral("session_id"), id + QStringLiteral("-session"));
  return test::bridgeLine(id, extra);
}

TEST(EventStoreJumpTest, EveryCardCarriesTheJumpOfItsTool) {
  JumpFixture f;
  const QString w = f.workspace;
  const QJsonObject cwd{{QStringLiteral("cwd"), w}};
  const auto with = [&cwd](QJsonObject extra) {
    for (auto it = cwd.begin(); it != cwd.end(); ++it) extra.insert(it.key(), it.value());
    return extra;
  };
  const QString pr = QStringLiteral("https://example.com/org/repo/pull/1");
  auto store = f.load({
      completed("iterm", "claude_code",
                {{"jump_target", QJsonObject{{"kind", "iterm2"}, {"terminal", "iTerm2"}, {"window_id", "101"}, {"cwd", w}}}}),
      completed("cmux", "cmux",
                {{"jump_target", QJsonObject{{"kind", "cmux"}, {"session_id", "cmux-session"}, {"window_id", "main"}, {"cwd", w}}}}),
      completed("codex-app", "codex-app", with({{"source_type", "app"}})),
      completed("cursor-ide", "cursor-ide", with({{"source_type", "ide"}})),
      completed("cursor-agent", "cursor-agent-cli", cwd),
      completed("cline", "cline", with({{"source_type", "extension"}})),
      completed("trae", "trae", with({{"source_type", "ide"}})),
      completed("copilot-cli", "copilot-cli", cwd),
      completed("copilot-cloud", "copilot-coding-agent", with({{"source_type", "remote_agent"}, {"jump_target", pr}})),
      completed("kimi-app", "kimi-app-web", with({{"source_type", "app"}})),
      completed("generic", "generic_agent", cwd),
      completed("iterm-hint", "codex", with({{"terminal", "iTerm.app"}})),
      completed("no-cwd", "generic_agent", {}),
  });
  using Q = JumpQuality;
  const auto none = std::nullopt;
  struct Case {
    const char* id;
    std::optional<JumpQuality> quality;
    std::optional<JumpTarget> target;
  };
  const std::vector<Case> cases{
      {"iterm", Q::exactWindow, JumpTarget::terminalWindow("iTerm2", QStringLiteral("101"), none, none, w)},
      {"cmux", Q::exactWindow, JumpTarget::cmux(QStringLiteral("cmux-session"), QStringLiteral("main"), w)},
      {"codex-app", Q::appLevel, JumpTarget::app(QStringLiteral("com.openai.codex"), QStringLiteral("/Applications/Codex.app"), none)},
      {"cursor-ide", Q::workspaceLevel, JumpTarget::terminalCwd(w, QStringLiteral("com.todesktop.230313mzl4w4u92"))},
      {"cursor-agent", Q::sessionLevel, JumpTarget::cli("cursor-agent", {}, w)},
      {"cline", Q::workspaceLevel, JumpTarget::terminalCwd(w, QStringLiteral("com.microsoft.VSCode"))},
      {"trae", Q::workspaceLevel, JumpTarget::terminalCwd(w, QStringLiteral("cn.trae.app"))},
      {"copilot-cli", Q::sessionLevel, JumpTarget::cli("gh", {"copilot"}, w)},
      {"copilot-cloud", Q::appLevel, JumpTarget::url(pr)},
      {"kimi-app", Q::appLevel, JumpTarget::app(none, QStringLiteral("/Applications/Kimi.app"), none)},
      {"generic", Q::workspaceLevel, JumpTarget::terminalCwd(w, none)},
      {"iterm-hint", Q::appLevel, JumpTarget::terminalWindow("iTerm.app", none, none, none, w)},
      {"no-cwd", none, none},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    const IslandMessage* message = JumpFixture::message(*store, QString::fromLatin1(c.id));
    ASSERT_NE(message, nullptr);
    ASSERT_EQ(message->jump.has_value(), c.quality.has_value());
    if (message->jump) {
      EXPECT_EQ(message->jump->quality, *c.quality);
      EXPECT_TRUE(message->jump->target == *c.target);
    }
  }
}

TEST(EventStoreJumpTest, CandidatesTryTheTargetThenItsFallbacksWithoutRepeats) {
  JumpFixture f;
  f.resolver.commandExists = oneOf(names({"codex", "cmux", "kitty"}));
  auto store = f.load({});
  const auto none = std::nullopt;
  const JumpResolver& r = f.resolver;
  const auto targetsOf = [&store](const ResolvedJumpTarget& resolved) {
    std::vector<std::pair<JumpTarget, bool>> list;
    for (const JumpCandidate& c : store->jumpOpenCandidates(resolved)) list.emplace_back(c.target.target, c.isFallback);
    return list;
  };
  using List = std::vector<std::pair<JumpTarget, bool>>;
  const JumpTarget cmux = JumpTarget::cmux(QStringLiteral("cmux-session"), none, f.workspace);
  const JumpTarget cmuxApp = JumpTarget::app(QStringLiteral("com.cmuxterm.app"), QStringLiteral("/Applications/cmux.app"), none);
  // Available cmux: the precise open, then the cmux app.
  EXPECT_EQ(targetsOf(r.resolve(cmux)), (List{{cmux, false}, {cmuxApp, true}}));
  // A terminal window without identifiers falls back to its folder; with one it is strict.
  const JumpTarget kitty = JumpTarget::terminalWindow("kitty", none, none, none, f.workspace);
  const JumpTarget kittyPane = JumpTarget::terminalWindow("kitty", QStringLiteral("1"), none, none, f.workspace);
  ResolvedJumpTarget plainWindow = r.resolve(kittyPane);
  plainWindow.target = kitty;  // an available window without identifiers (as an opener may get it)
  EXPECT_EQ(targetsOf(plainWindow), (List{{kitty, false}, {JumpTarget::terminalCwd(f.workspace, QStringLiteral("kitty")), true}}));
  EXPECT_EQ(targetsOf(r.resolve(kittyPane)), (List{{kittyPane, false}}));
  // A command line never falls back; an unavailable one has nothing to try.
  EXPECT_EQ(targetsOf(r.resolve(JumpTarget::cli("codex", {}, f.workspace))), (List{{JumpTarget::cli("codex", {}, f.workspace), false}}));
  EXPECT_TRUE(targetsOf(r.resolve(JumpTarget::cli("missing", {}, f.workspace))).empty());
  // An unavailable target's own fallback is tried, a cmux target's as well (its folder, when the
  // cmux CLI is missing); a cmux session that is gone has none.
  const JumpTarget folder = JumpTarget::terminalCwd(f.workspace, none);
  ResolvedJumpTarget gone = unavailableJump(JumpTarget::file(f.workspace + QStringLiteral("/gone"), none), QStringLiteral("File does not exist."));
  gone.fallback = boxed(r.resolve(folder));
  EXPECT_EQ(targetsOf(gone), (List{{folder, true}}));
  JumpResolver withoutCmux = r;
  withoutCmux.commandExists = oneOf(names({"codex"}));
  EXPECT_EQ(targetsOf(withoutCmux.resolve(cmux)), (List{{folder, true}}));
  EXPECT_TRUE(targetsOf(r.resolve(JumpTarget::cmux(QStringLiteral("gone-session"), none, f.workspace))).empty());
}

TEST(EventStoreJumpTest, CompanionJumpOpensTheTypedTargetThenItsFallbackAndAudits) {
  JumpFixture f;
  auto store = f.load({completed("cmux-with-session", "cmux",
                                 {{"jump_target", QJsonObject{{"kind", "cmux"}, {"sessionId", "cmux-session"}, {"windowId", "main"}, {"cwd", f.workspace}}}})});
  const auto& item = store->companionStatus();
  ASSERT_TRUE(item.has_value());
  const JumpTarget cmux = JumpTarget::cmux(QStringLiteral("cmux-session"), QStringLiteral("main"), f.workspace);
  const JumpTarget cmuxApp = JumpTarget::app(QStringLiteral("com.cmuxterm.app"), QStringLiteral("/Applications/cmux.app"), std::nullopt);

  EXPECT_TRUE(store->openCompanionStatus(*item));
  EXPECT_EQ(f.opened, std::vector<JumpTarget>{cmux});

  // The precise open fails: the cmux app opens instead, audited as a fallback.
  f.opened.clear();
  f.answer = [](const JumpTarget& target) { return target.kind() == JumpTarget::Kind::app; };
  EXPECT_TRUE(store->openCompanionStatus(*item));
  EXPECT_EQ(f.opened, (std::vector<JumpTarget>{cmux, cmuxApp}));

  // Nothing opens: false, and no audit line.
  f.answer = [](const JumpTarget&) { return false; };
  EXPECT_FALSE(store->openCompanionStatus(*item));

  const auto lines = test::readJsonLines(store->auditFile());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].value(QStringLiteral("role")).toString(), QStringLiteral("companion_jump"));
  EXPECT_EQ(lines[1].value(QStringLiteral("role")).toString(), QStringLiteral("companion_jump_fallback"));
  EXPECT_EQ(lines[1].value(QStringLiteral("event_id")).toString(), QStringLiteral("cmux-with-session"));
  EXPECT_FALSE(store->isReadForTests(QStringLiteral("cmux-with-session")));
}

TEST(EventStoreJumpTest, BackgroundOpenRunsTheOpenerOffTheMainThreadAndReportsBack) {
  JumpFixture f;
  auto store = f.load({completed("file", "codex", {{"jump_target", f.workspace}})});
  std::thread::id openerThread;
  EventStoreOptions o = f.options();
  o.jumpResolver = f.resolver;
  o.jumpOpener = [&openerThread](const ResolvedJumpTarget&) {
    openerThread = std::this_thread::get_id();
    JumpOpeners::setLastJumpOpenError(QStringLiteral("refused"));
    return false;
  };
  auto background = f.make(std::move(o));
  const ResolvedJumpTarget folder = f.resolver.resolve(JumpTarget::terminalCwd(f.workspace, std::nullopt));

  bool done = false;
  std::optional<QString> error;
  background->openFirstJumpCandidateInBackground(background->jumpOpenCandidates(folder),
                                                 [&](std::optional<JumpCandidate> opened, std::optional<QString> reason) {
                                                   EXPECT_FALSE(opened.has_value());
                                                   error = reason;
                                                   done = true;
                                                 });
  EXPECT_FALSE(done);  // the result comes back through the main loop
  ASSERT_TRUE(test::waitUntil([&] { return done; }));
  EXPECT_NE(openerThread, std::this_thread::get_id());
  EXPECT_EQ(error, QStringLiteral("refused"));
  JumpOpeners::setLastJumpOpenError(std::nullopt);
}

// Runs a card action and waits for its result (a Jump reports back through the main loop).
ActionResult performAction(EventStore& store, const QString& role, const IslandMessage& message) {
  std::optional<ActionResult> result;
  store.perform(role, message, [&result](ActionResult r) { result = std::move(r); });
  EXPECT_TRUE(test::waitUntil([&] { return result.has_value(); }));
  return result.value_or(ActionResult::failure(QStringLiteral("no result")));
}

TEST(EventStoreJumpTest, CardJumpsReportTheirOutcomeMarkReadAndAudit) {
  JumpFixture f;
  const QString missing = f.home.file(QStringLiteral("missing.md"));
  const QString failing = f.home.file(QStringLiteral("fails.md"));
  ASSERT_TRUE(test::writeFile(failing, "source"));
  const auto cmuxTarget = [&f](const char* session) {
    return QJsonObject{{"kind", "cmux"}, {"sessionId", session}, {"cwd", f.workspace}};
  };
  auto store = f.load({
      completed("missing", "codex", {{"jump_target", missing}}),
      completed("folder", "generic_agent", {{"cwd", f.workspace}}),
      completed("fails", "codex", {{"jump_target", failing}}),
      completed("cmux", "cmux", {{"jump_target", cmuxTarget("cmux-session")}}),
      completed("cmux-gone", "cmux", {{"jump_target", cmuxTarget("gone-session")}}),
  });
  f.answer = [&failing](const JumpTarget& target) {
    if (target.kind() == JumpTarget::Kind::cmux || target == JumpTarget::file(failing, std::nullopt)) {
      JumpOpeners::setLastJumpOpenError(QStringLiteral("refused by test"));
      return false;
    }
    return true;
  };
  struct Case {
    const char* id;
    bool succeeded;
    const char* text;  // the whole text, or for failures its beginning
    const char* auditRole;
    int openerCalls;
  };
  const Case cases[] = {
      {"missing", false, "File does not exist", "jump_unavailable", 0},
      {"folder", true, "Opened workspace", "jump", 1},
      {"fails", false, "Jump target could not be opened: refused by test", "jump_failed", 1},
      // The precise cmux open fails at run time: the cmux app opens instead.
      {"cmux", true, "Opened app", "jump_fallback", 2},
      // A session that is gone stays a cmux target and opens nothing, not even the app.
      {"cmux-gone", false, "", "jump_unavailable", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    const QString id = QString::fromLatin1(c.id);
    const IslandMessage* found = JumpFixture::message(*store, id);
    ASSERT_NE(found, nullptr);
    const IslandMessage message = *found;
    f.opened.clear();
    const qint64 revision = store->revision();
    const ActionResult result = performAction(*store, QStringLiteral("jump"), message);
    EXPECT_EQ(result.succeeded, c.succeeded);
    EXPECT_TRUE(result.text.value_or(QString()).startsWith(QString::fromLatin1(c.text)));
    EXPECT_EQ(static_cast<int>(f.opened.size()), c.openerCalls);
    EXPECT_EQ(store->isReadForTests(id), c.succeeded);
    EXPECT_EQ(store->revision(), revision + (c.succeeded ? 1 : 0));
    const QJsonObject audit = test::readJsonLines(store->auditFile()).back();
    EXPECT_EQ(audit.value(QStringLiteral("role")).toString(), QString::fromLatin1(c.auditRole));
    EXPECT_EQ(audit.value(QStringLiteral("event_id")).toString(), id);
    EXPECT_EQ(audit.value(QStringLiteral("open_error")).toString(),
              QString::fromLatin1(c.auditRole) == u"jump_failed" ? QStringLiteral("refused by test") : QString());
  }
  JumpOpeners::setLastJumpOpenError(std::nullopt);
}

TEST(EventStoreJumpTest, ACmuxJumpWithoutTheCmuxCommandOpensTheFolderInstead) {
  JumpFixture f;
  f.resolver.commandExists = oneOf(names({"codex"}));
  auto store = f.load({completed("cmux", "cmux",
                                 {{"jump_target", QJsonObject{{"kind", "cmux"}, {"sessionId", "cmux-session"},
                                                              {"windowId", "main"}, {"cwd", f.workspace}}}})});
  const IslandMessage* message = JumpFixture::message(*store, QStringLiteral("cmux"));
  ASSERT_NE(message, nullptr);
  ASSERT_TRUE(message->jump.has_value());
  EXPECT_FALSE(message->jump->available);

  const ActionResult result = performAction(*store, QStringLiteral("jump"), *message);
  EXPECT_TRUE(result.succeeded);
  EXPECT_EQ(f.opened, std::vector<JumpTarget>{JumpTarget::terminalCwd(f.workspace, std::nullopt)});
  EXPECT_TRUE(store->isReadForTests(QStringLiteral("cmux")));
  QStringList roles;
  for (const QJsonObject& line : test::readJsonLines(store->auditFile())) roles << line.value(QStringLiteral("role")).toString();
  EXPECT_EQ(roles, (QStringList{QStringLiteral("jump_unavailable"), QStringLiteral("jump_fallback")}));
}

}  // namespace
}  // namespace tandrel
