#include "selfcheck/functional/store_jump_functional_tests.h"

#include "catalog/tool_catalog.h"
#include "jump/jump_openers.h"
#include "selfcheck/fixture_builders.h"
#include "selfcheck/functional/check_store.h"
#include "selfcheck/functional/jump_check_support.h"
#include "selfcheck/harness.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QUrl>

#include <algorithm>
#include <map>
#include <memory>

namespace tandrel {

namespace {

bool failedWith(const std::optional<ActionResult>& result, const QString& part) {
  return result && !result->succeeded && result->text.value_or(QString()).contains(part);
}

bool succeeded(const std::optional<ActionResult>& result) { return result && result->succeeded; }

// The key under which the event-store check keeps the last target of each kind it was handed.
QString openerKey(const JumpTarget& target) {
  if (const auto* app = target.as<JumpTarget::App>()) return QStringLiteral("app:") + app->bundleID.value_or(QString());
  if (const auto* cli = target.as<JumpTarget::Cli>()) return QStringLiteral("cli:") + cli->command;
  if (const auto* cmux = target.as<JumpTarget::Cmux>()) return QStringLiteral("cmux:") + cmux->sessionID.value_or(QString());
  if (const auto* window = target.as<JumpTarget::TerminalWindow>()) {
    const std::optional<QString>& id = window->windowID ? window->windowID : window->tabID ? window->tabID : window->sessionID;
    return QStringLiteral("terminal:") + window->terminal + QLatin1Char(':') + id.value_or(QString());
  }
  if (const auto* folder = target.as<JumpTarget::TerminalCwd>()) return folder->cwd;
  if (const auto* url = target.as<JumpTarget::Url>()) return url->url;
  return target.as<JumpTarget::File>()->path;
}

}  // namespace

bool eventStoreJumpResolverFunctionalTest(const QString& tempRoot) {
  const auto files = prepareCheckFiles(tempRoot, QStringLiteral("jump"), QStringLiteral("jump-workspace"));
  const QString missing = scratchPath(tempRoot, QStringLiteral("missing.md"));
  const QString source = scratchPath(tempRoot, QStringLiteral("jump-source.md"));
  const QString failing = scratchPath(tempRoot, QStringLiteral("jump-open-fails.md"));
  const QString terminalWorkspace = scratchPath(tempRoot, QStringLiteral("jump-terminal-workspace"));
  if (!files || !writeFileAtomically("source", source) || !writeFileAtomically("source", failing) ||
      !QDir().mkpath(terminalWorkspace)) {
    return false;
  }
  const QString w = files->workspace;
  const QString fileURL = QUrl::fromLocalFile(source).toString();
  const QString web = QStringLiteral("https://example.com/tandrel");
  const QString appLink = QStringLiteral("https://example.com/app");
  const auto session = [](const char* id) { return QJsonObject{{QStringLiteral("session_id"), QString::fromLatin1(id)}}; };
  const auto with = [](QJsonObject object, const char* key, const QJsonValue& value) {
    object.insert(QString::fromLatin1(key), value);
    return object;
  };
  const std::vector<QJsonObject> records{
      jumpRecord("jump-unavailable", "codex", "Open missing file", "Need source", QStringLiteral("2026-05-11T12:00:00Z"),
                 with(session("jump-unavailable-session"), "jump_target", missing)),
      jumpRecord("jump-file", "codex", "Open file", "Need source", QStringLiteral("2026-05-11T12:00:01Z"),
                 with(session("jump-file-session"), "jump_target", source)),
      jumpRecord("jump-file-url", "codex", "Open file URL", "Need source", QStringLiteral("2026-05-11T12:00:02Z"),
                 with(session("jump-file-url-session"), "jump_target", fileURL)),
      jumpRecord("jump-http-url", "codex", "Open web URL", "Need source", QStringLiteral("2026-05-11T12:00:03Z"),
                 with(session("jump-http-session"), "jump_target", web)),
      jumpRecord("jump-conductor-url", "conductor", "Open Conductor", "Need workspace", QStringLiteral("2026-05-11T12:00:03Z"),
                 with(session("jump-conductor-session"), "jump_target", QStringLiteral("conductor://workspace/session-1"))),
      jumpRecord("jump-cwd", "generic_agent", "Open cwd", "Need workspace", QStringLiteral("2026-05-11T12:00:04Z"),
                 with(session("jump-cwd-session"), "cwd", w)),
      jumpRecord("jump-terminal", "codex", "Open terminal", "Need terminal workspace", QStringLiteral("2026-05-11T12:00:04Z"),
                 with(with(session("jump-terminal-session"), "cwd", terminalWorkspace), "terminal", QStringLiteral("iTerm.app"))),
      jumpRecord("jump-open-fails", "codex", "Open fails", "Need source", QStringLiteral("2026-05-11T12:00:05Z"),
                 with(session("jump-open-fails-session"), "jump_target", failing)),
      jumpRecord("jump-app", "codex_app", "Open app", "Need app", QStringLiteral("2026-05-11T12:00:06Z"),
                 with(session("jump-app-session"), "jump_target",
                      typedTarget({{"kind", "app"}, {"bundleId", "com.example.Codex"}, {"deepLink", appLink}}))),
      jumpRecord("jump-cli", "codex", "Open CLI", "Need terminal", QStringLiteral("2026-05-11T12:00:07Z"),
                 with(session("jump-cli-session"), "jump_target",
                      typedTarget({{"kind", "cli"}, {"command", "codex"}, {"args", QJsonArray{"resume"}}, {"cwd", w}}))),
      jumpRecord("jump-cmux", "cmux", "Open cmux", "Need session", QStringLiteral("2026-05-11T12:00:08Z"),
                 with(session("jump-cmux-session"), "jump_target",
                      typedTarget({{"kind", "cmux"}, {"sessionId", "session-1"}, {"windowId", "main"}, {"cwd", w}}))),
      jumpRecord("jump-infer-codex-app", "codex_app", "Open inferred Codex app", "Need app",
                 QStringLiteral("2026-05-11T12:00:09Z"), with(session("jump-infer-codex-app-session"), "cwd", w)),
      jumpRecord("jump-infer-cmux", "cmux", "Open inferred cmux", "Need session", QStringLiteral("2026-05-11T12:00:10Z"),
                 with(session("session-2"), "cwd", w)),
  };
  if (!writeJSONLines(records, files->eventFile)) {
    return false;
  }
  RecordingJumpOpener opener([failing](const JumpTarget& target) {
    const auto* file = target.as<JumpTarget::File>();
    return !(file && file->path == failing);
  });
  auto store = loadedCheckStore(
      *files,
      listedJumpResolver(onlyFor({QStringLiteral("codex")}),
                         onlyFor({QStringLiteral("/Applications/iTerm.app"), QStringLiteral("/Applications/cmux.app")}),
                         onlyFor({QStringLiteral("com.example.Codex"), QStringLiteral("com.openai.codex"),
                                  QStringLiteral("com.cmuxterm.app")}),
                         onlyFor({QStringLiteral("session-1"), QStringLiteral("session-2")})),
      opener.opener());

  std::map<QString, std::optional<ActionResult>> results;
  for (const QJsonObject& record : records) {
    const QString id = record.value(QLatin1String("event_id")).toString();
    const auto message = messageWithID(*store, id);
    if (!message) {
      return false;
    }
    results[id] = performAndWait(*store, QStringLiteral("jump"), *message);
  }
  std::map<QString, JumpTarget> opened;
  for (const JumpTarget& target : opener.targets()) {
    opened.insert_or_assign(openerKey(target), target);
  }

  if (!failedWith(results["jump-unavailable"], QStringLiteral("File does not exist")) || opened.count(missing) != 0) {
    return false;
  }
  for (const char* id : {"jump-file", "jump-file-url", "jump-http-url", "jump-conductor-url", "jump-cwd", "jump-terminal",
                         "jump-app", "jump-cli", "jump-infer-codex-app", "jump-cmux", "jump-infer-cmux"}) {
    if (!succeeded(results[QString::fromLatin1(id)])) {
      return false;
    }
  }
  if (!failedWith(results["jump-open-fails"], QStringLiteral("could not be opened"))) {
    return false;
  }
  const auto none = std::nullopt;
  const std::vector<std::pair<QString, JumpTarget>> expectedEntries{
      {source, JumpTarget::file(source, none)},
      {fileURL, JumpTarget::url(fileURL)},
      {web, JumpTarget::url(web)},
      {QStringLiteral("conductor://workspace/session-1"), JumpTarget::url(QStringLiteral("conductor://workspace/session-1"))},
      {w, JumpTarget::terminalCwd(w, none)},
      {QStringLiteral("terminal:iTerm.app:"),
       JumpTarget::terminalWindow(QStringLiteral("iTerm.app"), none, none, none, terminalWorkspace)},
      {QStringLiteral("app:com.example.Codex"), JumpTarget::app(QStringLiteral("com.example.Codex"), none, appLink)},
      {QStringLiteral("cli:codex"), JumpTarget::cli(QStringLiteral("codex"), {QStringLiteral("resume")}, w)},
      {QStringLiteral("app:com.openai.codex"), JumpTarget::app(QStringLiteral("com.openai.codex"), none, none)},
      {failing, JumpTarget::file(failing, none)},
  };
  for (const auto& [key, target] : expectedEntries) {
    const auto found = opened.find(key);
    if (found == opened.end() || !(found->second == target)) {
      return false;
    }
  }
  if (opened.count(QStringLiteral("app:com.cmuxterm.app")) != 0) {
    return false;
  }

  const std::vector<QJsonObject> audit = auditRecords(files->auditFile);
  const std::vector<std::pair<const char*, const char*>> expectedAudit{
      {"jump_unavailable", "jump-unavailable"}, {"jump", "jump-file"},           {"jump", "jump-file-url"},
      {"jump", "jump-http-url"},                {"jump", "jump-conductor-url"}, {"jump", "jump-cwd"},
      {"jump", "jump-terminal"},                {"jump", "jump-app"},           {"jump", "jump-cli"},
      {"jump_unavailable", "jump-cmux"},        {"jump", "jump-infer-codex-app"}, {"jump_unavailable", "jump-infer-cmux"},
      {"jump_failed", "jump-open-fails"},
  };
  for (const auto& [role, id] : expectedAudit) {
    if (!hasAudit(audit, QString::fromLatin1(role), QString::fromLatin1(id))) {
      return false;
    }
  }
  return true;
}

bool eventStoreUnavailableCLIJumpDoesNotOpenWorkspaceFallbackFunctionalTest(const QString& tempRoot) {
  const auto files = prepareCheckFiles(tempRoot, QStringLiteral("unavailable-cli-no-fallback"),
                                       QStringLiteral("unavailable-cli-no-fallback-workspace"));
  if (!files) {
    return false;
  }
  const QString w = files->workspace;
  const QString id = QStringLiteral("unavailable-cli-no-fallback");
  if (!writeJSONLines({jumpRecord(id, "codex", "Open unavailable CLI", "Need exact CLI session",
                                  QStringLiteral("2026-05-11T12:01:00Z"),
                                  {{"jump_target", typedTarget({{"kind", "cli"},
                                                                {"command", "missing-codex"},
                                                                {"args", QJsonArray{"resume"}},
                                                                {"cwd", w}})}})},
                      files->eventFile)) {
    return false;
  }
  // Opening the folder would succeed; it must not be tried.
  RecordingJumpOpener opener([w](const JumpTarget& target) { return target == JumpTarget::terminalCwd(w, std::nullopt); });
  JumpResolver resolver = listedJumpResolver(always(false), JumpResolver::defaultFileExists,
                                             JumpResolver::defaultAppBundleExists, JumpResolver::defaultCmuxSessionExists);
  auto store = loadedCheckStore(*files, std::move(resolver), opener.opener());
  const auto message = messageWithID(*store, id);
  if (!message) {
    return false;
  }
  const auto result = performAndWait(*store, QStringLiteral("jump"), *message);
  const std::vector<QJsonObject> audit = auditRecords(files->auditFile);
  return message->jump &&
         message->jump->target == JumpTarget::cli(QStringLiteral("missing-codex"), {QStringLiteral("resume")}, w) &&
         !message->jump->available && result && !result->succeeded && opener.targets().empty() &&
         hasAudit(audit, QStringLiteral("jump_unavailable"), id) && !hasAudit(audit, QStringLiteral("jump_fallback"), id);
}

bool eventStoreExactSessionJumpFallbackPolicyFunctionalTest(const QString& tempRoot) {
  const auto files =
      prepareCheckFiles(tempRoot, QStringLiteral("exact-session-jump"), QStringLiteral("exact-session-workspace"));
  if (!files) {
    return false;
  }
  const QString w = files->workspace;
  const QJsonObject cwd{{QStringLiteral("cwd"), w}};
  const auto withSession = [](QJsonObject extra, const char* session) {
    extra.insert(QStringLiteral("session_id"), QString::fromLatin1(session));
    return extra;
  };
  const auto typed = [&withSession](const char* session, const QJsonObject& target) {
    return withSession({{QStringLiteral("jump_target"), target}}, session);
  };
  const std::vector<QJsonObject> records{
      jumpRecord("exact-codex-cli", "codex", "Codex session needs input", "Jump to Codex CLI",
                 QStringLiteral("2026-05-11T12:01:10Z"),
                 typed("codex-session",
                       typedTarget({{"kind", "cli"}, {"command", "codex"}, {"args", QJsonArray{"resume"}}, {"cwd", w}}))),
      jumpRecord("exact-cursor-agent", "cursor-agent-cli", "Cursor Agent session needs input", "Jump to Cursor Agent",
                 QStringLiteral("2026-05-11T12:01:09Z"), withSession(cwd, "cursor-agent-session")),
      jumpRecord("exact-trae-agent", "trae-agent-cli", "Trae Agent session needs input", "Jump to Trae Agent",
                 QStringLiteral("2026-05-11T12:01:08Z"), withSession(cwd, "trae-agent-session")),
      jumpRecord("exact-gemini-cli", "gemini-cli", "Gemini session needs input", "Jump to Gemini CLI",
                 QStringLiteral("2026-05-11T12:01:07Z"), withSession(cwd, "gemini-session")),
      jumpRecord("exact-iterm", "codex", "iTerm session needs input", "Jump to iTerm", QStringLiteral("2026-05-11T12:01:06Z"),
                 typed("iterm-session", typedTarget({{"kind", "terminal_window"},
                                                     {"terminal", "iTerm2"},
                                                     {"sessionId", "w0t0p0:EXACT-ITERM-SESSION"},
                                                     {"cwd", w}}))),
      jumpRecord("exact-cmux", "cmux", "cmux session needs input", "Jump to cmux", QStringLiteral("2026-05-11T12:01:05Z"),
                 typed("cmux-session",
                       typedTarget({{"kind", "cmux"}, {"sessionId", "cmux-session"}, {"windowId", "main"}, {"cwd", w}}))),
  };
  if (!writeJSONLines(records, files->eventFile)) {
    return false;
  }
  RecordingJumpOpener opener([](const JumpTarget& target) { return target.kind() == JumpTarget::Kind::app; });
  auto store = loadedCheckStore(
      *files,
      listedJumpResolver(onlyFor({QStringLiteral("codex"), QStringLiteral("cursor-agent"), QStringLiteral("trae-cli"),
                                  QStringLiteral("gemini"), QStringLiteral("cmux")}),
                         onlyFor({QStringLiteral("/Applications/cmux.app")}),
                         onlyFor({QStringLiteral("com.googlecode.iterm2"), QStringLiteral("com.cmuxterm.app")}),
                         onlyFor({QStringLiteral("cmux-session")})),
      opener.opener());

  // Each Jump opens exactly its target once and is audited as it ended.
  const auto attempt = [&](const QString& id, const std::vector<JumpTarget>& expected, bool succeeds) {
    const auto message = messageWithID(*store, id);
    if (!message) {
      return false;
    }
    opener.clear();
    const auto result = performAndWait(*store, QStringLiteral("jump"), *message);
    const std::vector<QJsonObject> audit = auditRecords(files->auditFile);
    const QString ended = succeeds ? QStringLiteral("jump_fallback") : QStringLiteral("jump_failed");
    const QString notEnded = succeeds ? QStringLiteral("jump_failed") : QStringLiteral("jump_fallback");
    return result && result->succeeded == succeeds && opener.targets() == expected && hasAudit(audit, ended, id) &&
           !hasAudit(audit, notEnded, id);
  };
  const auto none = std::nullopt;
  const std::vector<std::pair<QString, JumpTarget>> strict{
      {QStringLiteral("exact-codex-cli"), JumpTarget::cli(QStringLiteral("codex"), {QStringLiteral("resume")}, w)},
      {QStringLiteral("exact-cursor-agent"), JumpTarget::cli(QStringLiteral("cursor-agent"), {}, w)},
      {QStringLiteral("exact-trae-agent"), JumpTarget::cli(QStringLiteral("trae-cli"), {}, w)},
      {QStringLiteral("exact-gemini-cli"), JumpTarget::cli(QStringLiteral("gemini"), {}, w)},
      {QStringLiteral("exact-iterm"), JumpTarget::terminalWindow(QStringLiteral("iTerm2"), none, none,
                                                                 QStringLiteral("w0t0p0:EXACT-ITERM-SESSION"), w)},
  };
  for (const auto& [id, target] : strict) {
    if (!attempt(id, {target}, false)) {
      return false;
    }
  }
  return attempt(QStringLiteral("exact-cmux"),
                 {JumpTarget::cmux(QStringLiteral("cmux-session"), QStringLiteral("main"), w),
                  JumpTarget::app(QStringLiteral("com.cmuxterm.app"), QStringLiteral("/Applications/cmux.app"), none)},
                 true);
}

bool eventStoreUnavailableIdentifiedTerminalWindowDoesNotDowngradeFunctionalTest(const QString& tempRoot) {
  const auto files = prepareCheckFiles(tempRoot, QStringLiteral("unavailable-identified-terminal"),
                                       QStringLiteral("unavailable-identified-terminal-workspace"));
  if (!files) {
    return false;
  }
  const QString w = files->workspace;
  const QString id = QStringLiteral("unavailable-iterm-session");
  const QString session = QStringLiteral("w0t0p0:UNAVAILABLE-ITERM-SESSION");
  if (!writeJSONLines({jumpRecord(id, "codex", "iTerm session needs input", "Jump to unavailable iTerm session",
                                  QStringLiteral("2026-05-11T12:01:11Z"),
                                  {{"session_id", "iterm-session"},
                                   {"jump_target", typedTarget({{"kind", "terminal_window"},
                                                                {"terminal", "iTerm2"},
                                                                {"sessionId", session},
                                                                {"cwd", w}})}})},
                      files->eventFile)) {
    return false;
  }
  RecordingJumpOpener opener([](const JumpTarget& target) { return target.kind() == JumpTarget::Kind::terminalCwd; });
  auto store = loadedCheckStore(*files,
                                listedJumpResolver(JumpResolver::defaultCommandExists, always(false), always(false),
                                                   JumpResolver::defaultCmuxSessionExists),
                                opener.opener());
  const auto message = messageWithID(*store, id);
  if (!message) {
    return false;
  }
  const auto result = performAndWait(*store, QStringLiteral("jump"), *message);
  const auto none = std::nullopt;
  return message->jump &&
         message->jump->target == JumpTarget::terminalWindow(QStringLiteral("iTerm2"), none, none, session, w) &&
         !message->jump->available && result && !result->succeeded && opener.targets().empty() &&
         hasAudit(auditRecords(files->auditFile), QStringLiteral("jump_unavailable"), id);
}

bool eventStoreUnsupportedIdentifiedTerminalWindowDoesNotOpenWorkspaceFunctionalTest(const QString& tempRoot) {
  std::vector<QString> started;
  ScopedRestore restore;
  restore
      .setEnvironment("XDG_DATA_HOME", QFile::encodeName(scratchPath(tempRoot, QStringLiteral("unsupported-identified-terminal-data"))))
      .set(JumpOpeners::runDetachedCommandCapturingOverrideForTests,
           [&started](const QString& command, const QStringList&, const std::optional<QString>&) {
             started.push_back(command);
             return CapturedProcessResult{true, 0, {}, {}, std::nullopt};
           });
  const auto files = prepareCheckFiles(tempRoot, QStringLiteral("unsupported-identified-terminal"),
                                       QStringLiteral("unsupported-identified-terminal-workspace"));
  if (!files) {
    return false;
  }
  const QString w = files->workspace;
  const auto window = [&w](const char* terminal, const char* id) {
    return QJsonObject{{QStringLiteral("jump_target"),
                        typedTarget({{"kind", "terminal_window"}, {"terminal", terminal}, {"windowId", id}, {"cwd", w}})}};
  };
  if (!writeJSONLines({jumpRecord("cursor-window", "cursor-ide", "Cursor window needs input", "Jump to Cursor window",
                                  QStringLiteral("2026-05-11T12:01:13Z"), window("Cursor", "cursor-window-1")),
                       jumpRecord("trae-window", "trae-ide", "Trae window needs input", "Jump to Trae window",
                                  QStringLiteral("2026-05-11T12:01:12Z"), window("Trae", "trae-window-1"))},
                      files->eventFile)) {
    return false;
  }
  // The store's own opener, whose children are recorded instead of started.
  auto store = loadedCheckStore(
      *files,
      listedJumpResolver(JumpResolver::defaultCommandExists,
                         onlyFor({QStringLiteral("/Applications/Cursor.app"), QStringLiteral("/Applications/Trae.app")}),
                         onlyFor({QStringLiteral("com.todesktop.230313mzl4w4u92"), QStringLiteral("cn.trae.app")}),
                         JumpResolver::defaultCmuxSessionExists),
      JumpOpeners::defaultJumpOpener);
  const auto fails = [&store](const QString& id) {
    const auto message = messageWithID(*store, id);
    if (!message) {
      return false;
    }
    const auto result = performAndWait(*store, QStringLiteral("jump"), *message);
    return result && !result->succeeded;
  };
  const bool cursorFails = fails(QStringLiteral("cursor-window"));
  const bool traeFails = fails(QStringLiteral("trae-window"));
  return cursorFails && traeFails && started.empty();
}

bool eventStoreJumpFailureSurfacesOpenerDetailFunctionalTest(const QString& tempRoot) {
  const auto files =
      prepareCheckFiles(tempRoot, QStringLiteral("jump-failure-detail"), QStringLiteral("jump-failure-workspace"));
  if (!files) {
    return false;
  }
  const QString id = QStringLiteral("jump-detail-event");
  if (!writeJSONLines({jumpRecord(id, "cmux", "Open cmux", "Needs detail", QStringLiteral("2026-05-15T03:00:00Z"),
                                  {{"jump_target", typedTarget({{"kind", "cmux"},
                                                                {"sessionId", "detail-session"},
                                                                {"cwd", files->workspace}})}})},
                      files->eventFile)) {
    return false;
  }
  JumpResolver resolver = listedJumpResolver(onlyFor({QStringLiteral("cmux")}), onlyFor({QStringLiteral("/Applications/cmux.app")}),
                                             onlyFor({QStringLiteral("com.cmuxterm.app")}),
                                             onlyFor({QStringLiteral("detail-session")}));
  resolver.directoryExists = always(true);
  // Every open fails, and says why, as the real openers do.
  auto store = loadedCheckStore(*files, std::move(resolver), [](const ResolvedJumpTarget&) {
    JumpOpeners::setLastJumpOpenError(QStringLiteral("cmux app open failed: no desktop entry for /Applications/cmux.app"));
    return false;
  });
  const auto message = messageWithID(*store, id);
  if (!message) {
    return false;
  }
  const auto result = performAndWait(*store, QStringLiteral("jump"), *message);
  if (!result || result->succeeded) {
    return false;
  }
  QFile audit(files->auditFile);
  const QString auditText = audit.open(QIODevice::ReadOnly) ? QString::fromUtf8(audit.readAll()) : QString();
  const QString text = result->text.value_or(QString());
  return auditText.contains(QLatin1String("\"open_error\"")) && auditText.contains(QLatin1String("cmux app open failed")) &&
         text.contains(QLatin1String("Jump target could not be opened")) && text.contains(QLatin1String("cmux app open failed"));
}

bool eventStoreCommonToolJumpQualityFunctionalTest(const QString& tempRoot) {
  const QString eventFile = scratchPath(tempRoot, QStringLiteral("common-tool-jump-events.jsonl"));
  const QString w = scratchPath(tempRoot, QStringLiteral("common-tool-workspace"));
  if (!QDir().mkpath(w)) {
    return false;
  }
  const QString pullRequest = QStringLiteral("https://example.com/org/repo/pull/1");
  struct Row {
    const char* id;
    const char* source;
    const char* title;
    const char* message;
    QJsonObject extra;  // besides the session
    const char* session;
    JumpQuality quality;
    JumpTarget target;
  };
  const QJsonObject inW{{QStringLiteral("cwd"), w}};
  const auto ofType = [&inW](const char* type) {
    QJsonObject extra = inW;
    extra.insert(QStringLiteral("source_type"), QString::fromLatin1(type));
    return extra;
  };
  const QString soloPath = preferredExistingAppPath({QStringLiteral("/Applications/TRAE SOLO CN.app"),
                                                     QStringLiteral("/Applications/Trae SOLO.app")})
                               .value_or(QStringLiteral("/Applications/TRAE SOLO CN.app"));
  const QString vscode = QStringLiteral("com.microsoft.VSCode");
  using Q = JumpQuality;
  const auto none = std::nullopt;
  const auto cli = [&w](const char* command, QStringList args = {}) {
    return JumpTarget::cli(QString::fromLatin1(command), std::move(args), w);
  };
  QJsonObject copilotCloud = ofType("remote_agent");
  copilotCloud.insert(QStringLiteral("jump_target"), pullRequest);
  const std::vector<Row> rows{
      {"quality-claude-iterm", "claude_code", "Claude Code needs input", "Focus the iTerm window",
       {{"jump_target", typedTarget({{"kind", "iterm2"}, {"terminal", "iTerm2"}, {"window_id", "101"}, {"cwd", w}})}},
       "claude-iterm-session", Q::exactWindow,
       JumpTarget::terminalWindow(QStringLiteral("iTerm2"), QStringLiteral("101"), none, none, w)},
      {"quality-cmux", "cmux", "cmux needs input", "Focus cmux",
       {{"jump_target", typedTarget({{"kind", "cmux"}, {"session_id", "cmux-session"}, {"window_id", "main"}, {"cwd", w}})}},
       "cmux-session", Q::exactWindow, JumpTarget::cmux(QStringLiteral("cmux-session"), QStringLiteral("main"), w)},
      {"quality-codex-app", "codex-app", "Codex app needs input", "Open Codex app", ofType("app"), "codex-app-session",
       Q::appLevel, JumpTarget::app(QStringLiteral("com.openai.codex"), QStringLiteral("/Applications/Codex.app"), none)},
      {"quality-claude-app", "claude_app", "Claude app needs input", "Open Claude", ofType("app"), "claude-app-session",
       Q::appLevel,
       JumpTarget::app(QStringLiteral("com.anthropic.claudefordesktop"), QStringLiteral("/Applications/Claude.app"), none)},
      {"quality-cursor-ide", "cursor-ide", "Cursor needs input", "Open Cursor workspace", ofType("ide"), "cursor-ide-session",
       Q::workspaceLevel, JumpTarget::terminalCwd(w, QStringLiteral("com.todesktop.230313mzl4w4u92"))},
      {"quality-cursor-agent-cli", "cursor-agent-cli", "Cursor Agent needs input", "Open Cursor Agent session", inW,
       "cursor-agent-session", Q::sessionLevel, cli("cursor-agent")},
      {"quality-codex-cli", "codex", "Codex CLI needs input", "Open Codex session", inW, "codex-cli-session",
       Q::sessionLevel, cli("codex")},
      {"quality-vscode-host", "vscode-host", "VS Code needs input", "Open VS Code workspace", ofType("ide"),
       "vscode-session", Q::workspaceLevel, JumpTarget::terminalCwd(w, vscode)},
      {"quality-cline-extension", "cline", "Cline needs input", "Open Cline host workspace", ofType("extension"),
       "cline-session", Q::workspaceLevel, JumpTarget::terminalCwd(w, vscode)},
      {"quality-roo-extension", "roo-code", "Roo Code needs input", "Open Roo host workspace", ofType("extension"),
       "roo-session", Q::workspaceLevel, JumpTarget::terminalCwd(w, vscode)},
      {"quality-copilot-extension", "copilot-vscode-extension", "Copilot extension needs input",
       "Open Copilot host workspace", ofType("extension"), "copilot-extension-session", Q::workspaceLevel,
       JumpTarget::terminalCwd(w, vscode)},
      {"quality-trae-app", "trae", "Trae needs input", "Open Trae", ofType("ide"), "trae-session", Q::workspaceLevel,
       JumpTarget::terminalCwd(w, QStringLiteral("cn.trae.app"))},
      {"quality-trae-solo", "trae-solo", "Trae SOLO needs input", "Open Trae SOLO", ofType("remote_agent"),
       "trae-solo-session", Q::appLevel, JumpTarget::app(QStringLiteral("cn.trae.solo.app"), soloPath, none)},
      {"quality-trae-agent-cli", "trae-agent-cli", "Trae Agent needs input", "Open Trae Agent session", inW,
       "trae-agent-session", Q::sessionLevel, cli("trae-cli")},
      {"quality-opencode-cli", "opencode", "OpenCode needs input", "Open OpenCode session", inW, "opencode-session",
       Q::sessionLevel, cli("opencode")},
      {"quality-gemini-cli", "gemini-cli", "Gemini needs input", "Open Gemini session", inW, "gemini-session",
       Q::sessionLevel, cli("gemini")},
      {"quality-kilo-cli", "kilo-code", "Kilo needs input", "Open Kilo session", inW, "kilo-session", Q::sessionLevel,
       cli("kilo")},
      {"quality-pi-cli", "pi", "Pi needs input", "Open Pi session", inW, "pi-session", Q::sessionLevel, cli("pi")},
      {"quality-factory-cli", "factory-droid", "Factory Droid needs input", "Open Factory Droid session", inW,
       "factory-session", Q::sessionLevel, cli("factory-droid")},
      {"quality-copilot-cli", "copilot-cli", "Copilot CLI needs input", "Open Copilot CLI session", inW,
       "copilot-cli-session", Q::sessionLevel, cli("gh", {QStringLiteral("copilot")})},
      {"quality-copilot-cloud", "copilot-coding-agent", "Copilot Coding Agent needs input", "Open Copilot run",
       copilotCloud, "copilot-cloud-session", Q::appLevel, JumpTarget::url(pullRequest)},
      {"quality-kimi-app", "kimi-app-web", "Kimi needs input", "Open Kimi", ofType("app"), "kimi-app-session", Q::appLevel,
       JumpTarget::app(none, QStringLiteral("/Applications/Kimi.app"), none)},
      {"quality-kimi-cli", "kimi-cli", "Kimi CLI needs input", "Open Kimi CLI session", inW, "kimi-cli-session",
       Q::sessionLevel, cli("kimi-cli")},
  };
  std::vector<QJsonObject> records;
  for (const Row& row : rows) {
    QJsonObject extra = row.extra;
    extra.insert(QStringLiteral("session_id"), QString::fromLatin1(row.session));
    records.push_back(testEvent(QString::fromLatin1(row.id), QString::fromLatin1(row.source),
                                QStringLiteral("task_completed"), QStringLiteral("info"), QString::fromLatin1(row.title),
                                QString::fromLatin1(row.message), std::nullopt, std::nullopt, std::nullopt, extra));
  }
  if (!writeJSONLines(records, eventFile)) {
    return false;
  }
  EventStoreOptions options = storeOptionsWithoutAgentFolders(eventFile, scratchPath(tempRoot, QStringLiteral("common-tool-jump-audit.jsonl")));
  options.jumpResolver = listedJumpResolver(
      onlyFor({QStringLiteral("cmux"), QStringLiteral("codex"), QStringLiteral("opencode"), QStringLiteral("cursor-agent"),
               QStringLiteral("gemini"), QStringLiteral("kilo"), QStringLiteral("pi"), QStringLiteral("factory-droid"),
               QStringLiteral("gh"), QStringLiteral("trae-cli"), QStringLiteral("kimi-cli")}),
      onlyFor({QStringLiteral("/Applications/Claude.app"), QStringLiteral("/Applications/Codex.app"),
               QStringLiteral("/Applications/Cursor.app"), QStringLiteral("/Applications/Trae.app"),
               QStringLiteral("/Applications/Trae CN.app"), QStringLiteral("/Applications/TRAE SOLO CN.app"),
               QStringLiteral("/Applications/Trae SOLO.app"), QStringLiteral("/Applications/Visual Studio Code.app"),
               QStringLiteral("/Applications/Kimi.app")}),
      onlyFor({QStringLiteral("com.googlecode.iterm2"), QStringLiteral("com.cmuxterm.app"),
               QStringLiteral("com.anthropic.claudefordesktop"), QStringLiteral("com.openai.codex"),
               QStringLiteral("com.todesktop.230313mzl4w4u92"), QStringLiteral("cn.trae.app"),
               QStringLiteral("cn.trae.solo.app"), vscode}),
      onlyFor({QStringLiteral("cmux-session")}));
  // No Jump is opened: an opener that opens nothing stands in for the real one.
  options.jumpOpener = RecordingJumpOpener([](const JumpTarget&) { return false; }).opener();
  EventStore store(options);
  store.reload(false);

  for (const Row& row : rows) {
    const auto message = messageWithID(store, QString::fromLatin1(row.id));
    if (!message || !message->jump || message->jump->quality != row.quality || !(message->jump->target == row.target)) {
      return false;
    }
    if (std::none_of(message->buttons.begin(), message->buttons.end(),
                     [](const IslandButton& button) { return button.role == QLatin1String("jump"); })) {
      return false;
    }
  }
  return true;
}

}  // namespace tandrel
