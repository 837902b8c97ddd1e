#include "selfcheck/functional/cmux_jump_functional_tests.h"

#include "jump/jump_openers.h"
#include "selfcheck/fixture_builders.h"
#include "selfcheck/functional/jump_check_support.h"
#include "selfcheck/harness.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <functional>
#include <map>

namespace tandrel {

namespace {

// The cmux targets of these checks: a session, a window when given, and the workspace folder.
QJsonObject cmuxTarget(const QString& session, const std::optional<QString>& window, const QString& cwd) {
  QJsonObject target{{QStringLiteral("kind"), QStringLiteral("cmux")},
                     {QStringLiteral("sessionId"), session},
                     {QStringLiteral("cwd"), cwd}};
  if (window) target.insert(QStringLiteral("windowId"), *window);
  return target;
}

ExistencePredicate cmuxCommand() {
  return [](const QString& command) { return command == QLatin1String("cmux") || command.endsWith(QLatin1String("/cmux")); };
}

JumpTarget cmuxApp() {
  return JumpTarget::app(QStringLiteral("com.cmuxterm.app"), QStringLiteral("/Applications/cmux.app"), std::nullopt);
}

// Puts the cmux opener's process-wide seams and the thread's last open error back at the end of the
// scope, and keeps the opener's diagnostics in `tempRoot`/`dataFolder`.
ScopedRestore cmuxOpenerScope(const QString& tempRoot, const QString& dataFolder) {
  ScopedRestore restore;
  restore.variable(JumpOpeners::openCmuxStrategyOverrideForTests)
      .variable(JumpOpeners::openCmuxActivateFallbackOverrideForTests)
      .variable(JumpOpeners::cmuxExecutablePathOverrideForTests)
      .variable(JumpOpeners::cmuxExecutablePathLookupOverrideForTests)
      .atExit([error = JumpOpeners::lastJumpOpenError()] { JumpOpeners::setLastJumpOpenError(error); })
      .setEnvironment("XDG_DATA_HOME", QFile::encodeName(scratchPath(tempRoot, dataFolder)));
  return restore;
}

}  // namespace

bool eventStoreTargetedCmuxDoesNotDowngradeToAppFunctionalTest(const QString& tempRoot) {
  const auto files =
      prepareCheckFiles(tempRoot, QStringLiteral("targeted-cmux-no-app"), QStringLiteral("targeted-cmux-workspace"));
  if (!files) {
    return false;
  }
  const QString w = files->workspace;
  const QString id = QStringLiteral("targeted-cmux-window");
  if (!writeJSONLines({jumpRecord(id, "cmux", "cmux window needs input", "Jump to cmux window",
                                  QStringLiteral("2026-05-11T12:01:15Z"),
                                  {{"jump_target", cmuxTarget(QStringLiteral("cmux-session"), QStringLiteral("main"), w)}})},
                      files->eventFile)) {
    return false;
  }
  // The cmux CLI and app are there; the session is not.
  RecordingJumpOpener opener([](const JumpTarget&) { return true; });
  auto store = loadedCheckStore(*files,
                                listedJumpResolver(cmuxCommand(), onlyFor({QStringLiteral("/Applications/cmux.app")}),
                                                   onlyFor({QStringLiteral("com.cmuxterm.app")}), always(false)),
                                opener.opener());
  const auto message = messageWithID(*store, id);
  if (!message) {
    return false;
  }
  const auto result = performAndWait(*store, QStringLiteral("jump"), *message);
  return message->jump &&
         message->jump->target == JumpTarget::cmux(QStringLiteral("cmux-session"), QStringLiteral("main"), w) &&
         !message->jump->available && result && !result->succeeded && opener.targets().empty() &&
         hasAudit(auditRecords(files->auditFile), QStringLiteral("jump_unavailable"), id);
}

bool eventStoreTargetedCmuxMissingCLIAtOpenDoesNotActivateAppFunctionalTest(const QString& tempRoot) {
  ScopedRestore restore = cmuxOpenerScope(tempRoot, QStringLiteral("targeted-cmux-stale-data"));
  const QString w = scratchPath(tempRoot, QStringLiteral("targeted-cmux-stale-workspace"));
  if (!QDir().mkpath(w)) {
    return false;
  }
  bool activated = false;
  JumpOpeners::cmuxExecutablePathLookupOverrideForTests = [] { return std::optional<QString>(); };
  JumpOpeners::openCmuxActivateFallbackOverrideForTests = [&activated] {
    activated = true;
    return true;
  };
  JumpOpeners::setLastJumpOpenError(std::nullopt);
  const bool targetedOpened = JumpOpeners::openCmux(QStringLiteral("stale-session"), QStringLiteral("main"), w);
  const std::optional<QString> targetedError = JumpOpeners::lastJumpOpenError();
  if (targetedOpened || activated || !targetedError || !targetedError->contains(QLatin1String("cmux CLI not found"))) {
    return false;
  }
  JumpOpeners::setLastJumpOpenError(std::nullopt);
  const bool untargetedOpened = JumpOpeners::openCmux(std::nullopt, std::nullopt, std::nullopt);
  return untargetedOpened && activated && !JumpOpeners::lastJumpOpenError();
}

bool eventStoreTargetedCmuxRuntimeFailureFallsBackToAppFunctionalTest(const QString& tempRoot) {
  const auto files = prepareCheckFiles(tempRoot, QStringLiteral("targeted-cmux-runtime-app-fallback"),
                                       QStringLiteral("targeted-cmux-runtime-app-fallback-workspace"));
  if (!files) {
    return false;
  }
  const QString w = files->workspace;
  const QString id = QStringLiteral("runtime-cmux-fallback");
  if (!writeJSONLines({jumpRecord(id, "cmux", "cmux runtime fallback", "Jump to cmux workspace",
                                  QStringLiteral("2026-05-16T04:30:00Z"),
                                  {{"jump_target", cmuxTarget(QStringLiteral("runtime-session"), QStringLiteral("main"), w)}})},
                      files->eventFile)) {
    return false;
  }
  RecordingJumpOpener opener([](const JumpTarget& target) { return target.kind() == JumpTarget::Kind::app; });
  auto store = loadedCheckStore(*files,
                                listedJumpResolver(cmuxCommand(), onlyFor({QStringLiteral("/Applications/cmux.app")}),
                                                   onlyFor({QStringLiteral("com.cmuxterm.app")}),
                                                   onlyFor({QStringLiteral("runtime-session")})),
                                opener.opener());
  const auto message = messageWithID(*store, id);
  if (!message) {
    return false;
  }
  const auto result = performAndWait(*store, QStringLiteral("jump"), *message);
  const std::vector<JumpTarget> expected{JumpTarget::cmux(QStringLiteral("runtime-session"), QStringLiteral("main"), w),
                                         cmuxApp()};
  return result && result->succeeded && opener.targets() == expected && store->isReadForTests(id) &&
         hasAudit(auditRecords(files->auditFile), QStringLiteral("jump_fallback"), id);
}

bool eventStoreCmuxJumpPreservesTypedTargetFunctionalTest(const QString& tempRoot) {
  const auto files = prepareCheckFiles(tempRoot, QStringLiteral("cmux-app-only"), QStringLiteral("cmux-app-only-workspace"));
  if (!files) {
    return false;
  }
  const QString w = files->workspace;
  const QString withSession = QStringLiteral("cmux-with-session");
  const QString missingSession = QStringLiteral("cmux-missing-session");
  if (!writeJSONLines(
          {jumpRecord(withSession, "cmux", "Open cmux", "Need cmux session", QStringLiteral("2026-05-11T12:02:01Z"),
                      {{"session_id", "runtime-session"},
                       {"jump_target", cmuxTarget(QStringLiteral("runtime-session"), QStringLiteral("main"), w)}}),
           jumpRecord(missingSession, "cmux", "Open missing cmux", "Need missing cmux session",
                      QStringLiteral("2026-05-11T12:02:00Z"),
                      {{"session_id", "missing-session"},
                       {"jump_target", cmuxTarget(QStringLiteral("missing-session"), std::nullopt, w)}})},
          files->eventFile)) {
    return false;
  }
  RecordingJumpOpener opener([](const JumpTarget& target) { return target.kind() == JumpTarget::Kind::cmux; });
  auto store = loadedCheckStore(*files,
                                listedJumpResolver(cmuxCommand(), onlyFor({QStringLiteral("/Applications/cmux.app")}),
                                                   onlyFor({QStringLiteral("com.cmuxterm.app")}),
                                                   onlyFor({QStringLiteral("runtime-session")})),
                                opener.opener());
  const auto first = messageWithID(*store, withSession);
  const auto second = messageWithID(*store, missingSession);
  const auto companion = store->companionStatus();
  if (!first || !second || !companion) {
    return false;
  }
  const bool companionOpened = store->openCompanionStatus(*companion);
  const auto firstJump = performAndWait(*store, QStringLiteral("jump"), *first);
  const auto secondJump = performAndWait(*store, QStringLiteral("jump"), *second);
  const JumpTarget typed = JumpTarget::cmux(QStringLiteral("runtime-session"), QStringLiteral("main"), w);
  const std::vector<QJsonObject> audit = auditRecords(files->auditFile);
  return companionOpened && firstJump && firstJump->succeeded && secondJump && !secondJump->succeeded &&
         opener.targets() == std::vector<JumpTarget>{typed, typed} &&
         hasAudit(audit, QStringLiteral("companion_jump"), withSession) && hasAudit(audit, QStringLiteral("jump"), withSession) &&
         hasAudit(audit, QStringLiteral("jump_unavailable"), missingSession) &&
         !hasAudit(audit, QStringLiteral("jump_fallback"), withSession) &&
         !hasAudit(audit, QStringLiteral("jump_fallback"), missingSession);
}

bool eventStoreCmuxJumpFallbackChainFunctionalTest(const QString& tempRoot) {
  ScopedRestore restore = cmuxOpenerScope(tempRoot, QStringLiteral("cmux-chain-data"));
  const QString cli = QStringLiteral("/Applications/cmux.app/Contents/Resources/bin/cmux");
  JumpOpeners::cmuxExecutablePathOverrideForTests = cli;
  bool activates = false;
  JumpOpeners::openCmuxActivateFallbackOverrideForTests = [&activates] { return activates; };

  struct Invocation {
    QString strategy;
    QStringList arguments;
    bool operator==(const Invocation&) const = default;
  };
  std::vector<Invocation> log;
  const CapturedProcessResult ok{true, 0, {}, {}, std::nullopt};
  const CapturedProcessResult brokenPipe{false, 1, {}, QStringLiteral("Error: Failed to write to socket (Broken pipe, errno 32)"),
                                         std::nullopt};
  const QString direct = QStringLiteral("direct");
  const QString detached = QStringLiteral("shell_detached");
  const QString loginShell = QStringLiteral("login_shell");
  struct Outcome {
    bool opened;
    std::vector<Invocation> invocations;
    std::optional<QString> error;
  };
  // Opens with each strategy answering as `answer` says; the log is emptied first.
  const auto runOpen = [&](const std::function<CapturedProcessResult(const QString&, const QStringList&)>& answer,
                           const std::optional<QString>& session, const std::optional<QString>& window,
                           const std::optional<QString>& cwd) {
    log.clear();
    JumpOpeners::openCmuxStrategyOverrideForTests = [&log, answer](const QString& strategy, const QStringList& arguments) {
      log.push_back({strategy, arguments});
      return answer(strategy, arguments);
    };
    JumpOpeners::setLastJumpOpenError(std::nullopt);
    const bool opened = JumpOpeners::openCmux(session, window, cwd);
    return Outcome{opened, log, JumpOpeners::lastJumpOpenError()};
  };
  // A plan answers by strategy; a strategy it does not name fails and says so.
  const auto plan = [](std::map<QString, CapturedProcessResult> results) {
    return [results](const QString& strategy, const QStringList&) {
      const auto found = results.find(strategy);
      return found != results.end()
                 ? found->second
                 : CapturedProcessResult{false, -99, {}, QStringLiteral("no plan for strategy ") + strategy, std::nullopt};
    };
  };
  const auto strategies = [](const Outcome& outcome) {
    QStringList names;
    for (const Invocation& invocation : outcome.invocations) names << invocation.strategy;
    return names;
  };
  const auto everyCallGets = [](const Outcome& outcome, const QStringList& arguments) {
    return std::all_of(outcome.invocations.begin(), outcome.invocations.end(),
                       [&arguments](const Invocation& invocation) { return invocation.arguments == arguments; });
  };
  const auto errorHas = [](const Outcome& outcome, const QStringList& parts) {
    return outcome.error && std::all_of(parts.begin(), parts.end(), [&outcome](const QString& part) {
             return outcome.error->contains(part);
           });
  };
  const auto workspace = [](const char* session) {
    return QStringList{QStringLiteral("select-workspace"), QStringLiteral("--workspace"), QString::fromLatin1(session)};
  };
  const QString t = QDir(tempRoot).absolutePath();
  const auto none = std::nullopt;
  bool passed = true;

  // 1. Both commands succeed at once: one invocation each, the window first.
  const Outcome first = runOpen(plan({{direct, ok}}), QStringLiteral("session-A"), QStringLiteral("window-A"), none);
  passed &= first.opened && strategies(first) == QStringList{direct, direct} && !first.error &&
            std::all_of(first.invocations.begin(), first.invocations.end(), [](const Invocation& invocation) {
              return invocation.arguments.value(0) == QLatin1String("focus-window") ||
                     invocation.arguments.value(0) == QLatin1String("select-workspace");
            });
  // 2. and 3. Each failure moves to the next strategy.
  const Outcome second = runOpen(plan({{direct, brokenPipe}, {detached, ok}}), QStringLiteral("session-B"), none, none);
  passed &= second.opened && strategies(second) == QStringList{direct, detached} &&
            everyCallGets(second, workspace("session-B")) && !second.error;
  const Outcome third =
      runOpen(plan({{direct, brokenPipe}, {detached, brokenPipe}, {loginShell, ok}}), QStringLiteral("session-C"), none, none);
  passed &= third.opened && strategies(third) == QStringList{direct, detached, loginShell} &&
            everyCallGets(third, workspace("session-C")) && !third.error;
  // 4. and 5. Every strategy fails: the open fails, naming each, even where the app could come
  // forward.
  const auto allBroken = plan({{direct, brokenPipe}, {detached, brokenPipe}, {loginShell, brokenPipe}});
  const Outcome fourth = runOpen(allBroken, QStringLiteral("session-D"), none, none);
  passed &= !fourth.opened && strategies(fourth) == QStringList{direct, detached, loginShell} &&
            errorHas(fourth, {direct, detached, loginShell, QStringLiteral("Broken pipe")});
  activates = true;
  const Outcome fifth = runOpen(allBroken, QStringLiteral("session-D"), none, t);
  passed &= !fifth.opened && strategies(fifth) == QStringList{direct, detached, loginShell} &&
            errorHas(fifth, {QStringLiteral("Broken pipe")});
  activates = false;
  // 6. Only a folder: it is the single argument.
  const Outcome sixth = runOpen(plan({{direct, brokenPipe}, {detached, ok}}), none, none, t);
  passed &= sixth.opened && strategies(sixth) == QStringList{direct, detached} && everyCallGets(sixth, {t}) && !sixth.error;
  // 7. The window is focused at once; selecting the workspace needs the detached shell.
  const Outcome seventh = runOpen(
      [&](const QString& strategy, const QStringList& arguments) {
        if (arguments.value(0) == QLatin1String("focus-window")) return ok;
        return strategy == detached ? ok : brokenPipe;
      },
      QStringLiteral("session-E"), QStringLiteral("window-E"), none);
  passed &= seventh.opened &&
            seventh.invocations == std::vector<Invocation>{{direct, {"focus-window", "--window", "window-E"}},
                                                           {direct, workspace("session-E")},
                                                           {detached, workspace("session-E")}};

  return passed && JumpOpeners::shellQuote(cli) == QStringLiteral("'/Applications/cmux.app/Contents/Resources/bin/cmux'") &&
         JumpOpeners::shellQuote(QStringLiteral("select-workspace")) == QStringLiteral("'select-workspace'") &&
         JumpOpeners::shellQuote(QStringLiteral("a'b")) == QStringLiteral("'a'\\''b'") &&
         JumpOpeners::shellQuote(QString()) == QStringLiteral("''") &&
         JumpOpeners::buildShellDetachedScript(cli, workspace("abc-123")) ==
             QStringLiteral("nohup '/Applications/cmux.app/Contents/Resources/bin/cmux' 'select-workspace' '--workspace' "
                            "'abc-123' >/dev/null 2>&1 </dev/null & wait $!; exit $?");
}

}  // namespace tandrel
