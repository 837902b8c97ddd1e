// EventStore: choosing an event's Jump, the candidates a Jump tries, opening them (inline or on the
// jump thread) and the companion item's Jump.

#include "events/event_store.h"

#include "catalog/tool_catalog.h"

#include <QFileInfo>

#include <algorithm>

namespace tandrel {

namespace {

struct CliCommand {
  const char* command;
  QStringList arguments;
};

// The command lines of the tools that run in a terminal, in the order they are tried.
const std::vector<CliCommand>* cliCommands(const QString& toolID) {
  static const QHash<QString, std::vector<CliCommand>> table{
      {QStringLiteral("claude-code"), {{"claude", {}}}},
      {QStringLiteral("codex-cli"), {{"codex", {}}}},
      {QStringLiteral("cursor-agent-cli"), {{"cursor-agent", {}}, {"cursor", {}}}},
      {QStringLiteral("kilo-code"), {{"kilo", {}}}},
      {QStringLiteral("pi"), {{"pi", {}}}},
      {QStringLiteral("factory-droid"), {{"factory-droid", {}}, {"droid", {}}}},
      {QStringLiteral("trae-agent-cli"), {{"trae-cli", {}}, {"trae", {}}}},
      {QStringLiteral("gemini-cli"), {{"gemini", {}}}},
      {QStringLiteral("opencode-cli"), {{"opencode", {}}}},
      {QStringLiteral("copilot-cli"), {{"gh", {QStringLiteral("copilot")}}}},
      {QStringLiteral("kimi-cli"), {{"kimi-cli", {}}, {"kimi", {}}}},
  };
  const auto it = table.constFind(toolID);
  return it == table.cend() ? nullptr : &*it;
}

// The application name of a path: its last component without ".app".
QString appNameOf(const QString& path) {
  QString name = QFileInfo(path).fileName();
  if (name.endsWith(QLatin1String(".app"), Qt::CaseInsensitive)) {
    name.chop(4);
  }
  return name;
}

bool allowsRuntimeFallback(const JumpTarget& target) {
  if (target.kind() == JumpTarget::Kind::cli) {
    return false;
  }
  if (const auto* window = target.as<JumpTarget::TerminalWindow>()) {
    const auto has = [](const std::optional<QString>& value) { return value && !value->isEmpty(); };
    return !terminalApplicationName(window->terminal).toLower().contains(QLatin1String("iterm")) &&
           !has(window->windowID) && !has(window->tabID) && !has(window->sessionID);
  }
  return true;
}

}  // namespace

std::optional<ResolvedJumpTarget> EventStore::jumpTarget(const TandrelEvent& event) const {
  const JumpResolver& resolver = jumpResolver_;
  const std::optional<QString> cwd = event.hasExplicitCwd ? std::optional<QString>(event.cwd) : std::nullopt;
  // A jump text is a URL when it has a scheme, otherwise a path.
  const auto urlOrPath = [&resolver](const QString& text) {
    return resolver.resolve(isURLJumpTarget(text) ? JumpTarget::url(text) : JumpTarget::file(text, std::nullopt));
  };

  if (event.typedJumpTarget) {
    return resolver.resolve(*event.typedJumpTarget);
  }
  if (const auto text = nonEmptyString(event.jumpTarget.value_or(QString()))) {
    return urlOrPath(*text);
  }
  if (auto known = knownBridgeJumpTarget(event)) {
    return known;
  }
  if (event.source.toLower().contains(QLatin1String("cmux")) || event.sourceType.toLower().contains(QLatin1String("cmux"))) {
    return resolver.resolve(JumpTarget::cmux(event.sessionId, std::nullopt, cwd));
  }
  if (event.terminal && event.terminal->toLower().contains(QLatin1String("iterm")) && event.hasExplicitCwd) {
    return resolver.resolve(JumpTarget::terminalWindow(*event.terminal, std::nullopt, std::nullopt, std::nullopt, cwd));
  }
  const QString toolID = canonicalToolID(event.source);
  if (auto inferred = inferredAppOrWorkspaceJumpTarget(toolID, event)) {
    return inferred;
  }
  if (const std::vector<CliCommand>* commands = cliCommands(toolID)) {
    std::optional<ResolvedJumpTarget> first;
    for (const CliCommand& candidate : *commands) {
      ResolvedJumpTarget resolved =
          resolver.resolve(JumpTarget::cli(QString::fromLatin1(candidate.command), candidate.arguments, cwd));
      if (resolved.available) {
        return resolved;
      }
      if (!first) {
        first = std::move(resolved);
      }
    }
    return first;
  }
  if (event.transcriptPath && !event.transcriptPath->isEmpty()) {
    return urlOrPath(*event.transcriptPath);
  }
  if (event.hasExplicitCwd) {
    return resolver.resolve(JumpTarget::terminalCwd(event.cwd, event.terminal));
  }
  return std::nullopt;
}

std::optional<ResolvedJumpTarget> EventStore::knownBridgeJumpTarget(const TandrelEvent& event) const {
  if (event.sourceType != QLatin1String("stable_local_loader") || !event.sessionId) {
    return std::nullopt;
  }
  std::vector<const TandrelEvent*> candidates;
  for (const TandrelEvent& other : events_) {
    if (other.id != event.id && other.sessionId == event.sessionId &&
        (other.typedJumpTarget || (other.jumpTarget && !other.jumpTarget->isEmpty()))) {
      candidates.push_back(&other);
    }
  }
  if (candidates.empty()) {
    return std::nullopt;
  }
  std::stable_sort(candidates.begin(), candidates.end(),
                   [](const TandrelEvent* a, const TandrelEvent* b) { return a->timestamp > b->timestamp; });
  const TandrelEvent& newest = *candidates.front();
  if (newest.typedJumpTarget) {
    return jumpResolver_.resolve(*newest.typedJumpTarget);
  }
  const QString& text = *newest.jumpTarget;
  return jumpResolver_.resolve(isURLJumpTarget(text) ? JumpTarget::url(text) : JumpTarget::file(text, std::nullopt));
}

std::optional<ResolvedJumpTarget> EventStore::inferredAppOrWorkspaceJumpTarget(const QString& toolID,
                                                                               const TandrelEvent& event) const {
  const JumpResolver& resolver = jumpResolver_;
  // An editor opens the event's folder when it has one, else the editor itself.
  const auto workspaceApp = [&](const QString& appName, const std::optional<QString>& bundleID,
                                const std::optional<QString>& appPath) {
    if (event.hasExplicitCwd) {
      ResolvedJumpTarget folder = resolver.resolve(JumpTarget::terminalCwd(event.cwd, bundleID.value_or(appName)));
      if (folder.available) {
        return folder;
      }
    }
    return resolver.resolve(JumpTarget::app(bundleID, appPath, std::nullopt));
  };
  const auto app = [&resolver](const std::optional<QString>& bundleID, const std::optional<QString>& appPath) {
    return resolver.resolve(JumpTarget::app(bundleID, appPath, std::nullopt));
  };

  if (toolID == QLatin1String("claude-app")) {
    return app(QStringLiteral("com.anthropic.claudefordesktop"), QStringLiteral("/Applications/Claude.app"));
  }
  if (toolID == QLatin1String("codex-app")) {
    return app(QStringLiteral("com.openai.codex"), QStringLiteral("/Applications/Codex.app"));
  }
  if (toolID == QLatin1String("cursor-ide")) {
    return workspaceApp(QStringLiteral("Cursor"), QStringLiteral("com.todesktop.230313mzl4w4u92"),
                        QStringLiteral("/Applications/Cursor.app"));
  }
  if (toolID == QLatin1String("cursor-glass")) {
    const QString path = QStringLiteral("/Applications/Cursor Glass.app");
    return workspaceApp(QStringLiteral("Cursor Glass"), bundleIdentifierAt(path), path);
  }
  if (toolID == QLatin1String("trae-ide")) {
    const auto path = preferredExistingAppPath({QStringLiteral("/Applications/Trae.app"), QStringLiteral("/Applications/Trae CN.app")},
                                               resolver.appExists);
    return workspaceApp(path ? appNameOf(*path) : QStringLiteral("Trae"), QStringLiteral("cn.trae.app"), path);
  }
  if (toolID == QLatin1String("trae-solo")) {
    return app(QStringLiteral("cn.trae.solo.app"),
               preferredExistingAppPath({QStringLiteral("/Applications/TRAE SOLO CN.app"), QStringLiteral("/Applications/Trae SOLO.app")}));
  }
  if (toolID == QLatin1String("vscode-host") || toolID == QLatin1String("cline") || toolID == QLatin1String("roo-code") ||
      toolID == QLatin1String("copilot-vscode-extension")) {
    return workspaceApp(QStringLiteral("Visual Studio Code"), QStringLiteral("com.microsoft.VSCode"),
                        QStringLiteral("/Applications/Visual Studio Code.app"));
  }
  if (toolID == QLatin1String("kimi-app-web")) {
    return app(std::nullopt, QStringLiteral("/Applications/Kimi.app"));
  }
  if (toolID == QLatin1String("windsurf")) {
    const auto path = preferredExistingAppPath({QStringLiteral("/Applications/Windsurf.app"), QStringLiteral("~/Applications/Windsurf.app")});
    const auto bundle = path ? bundleIdentifierAt(*path) : std::nullopt;
    return workspaceApp(QStringLiteral("Windsurf"), bundle.value_or(QStringLiteral("com.exafunction.windsurf")), path);
  }
  return std::nullopt;
}

std::vector<JumpCandidate> EventStore::jumpOpenCandidates(const ResolvedJumpTarget& resolved) const {
  std::vector<JumpCandidate> candidates;
  const auto append = [&candidates](const std::optional<ResolvedJumpTarget>& candidate) {
    if (!candidate || !candidate->available) {
      return;
    }
    for (const JumpCandidate& listed : candidates) {
      if (listed.target.target == candidate->target) {
        return;
      }
    }
    candidates.push_back(JumpCandidate{*candidate, true});
  };

  if (resolved.available) {
    candidates.push_back(JumpCandidate{resolved, false});
  }
  if (resolved.fallback) {
    append(resolved.fallback->value);
  }
  if (resolved.available && allowsRuntimeFallback(resolved.target)) {
    if (resolved.target.kind() == JumpTarget::Kind::cmux) {
      append(jumpResolver_.resolve(
          JumpTarget::app(QStringLiteral("com.cmuxterm.app"), QStringLiteral("/Applications/cmux.app"), std::nullopt)));
    } else if (const auto* window = resolved.target.as<JumpTarget::TerminalWindow>(); window && window->cwd) {
      append(jumpResolver_.resolve(JumpTarget::terminalCwd(*window->cwd, window->terminal)));
    }
  }
  return candidates;
}

std::optional<JumpCandidate> EventStore::openFirstJumpCandidate(const std::vector<JumpCandidate>& candidates) const {
  for (const JumpCandidate& candidate : candidates) {
    if (jumpOpener_(candidate.target)) {
      return candidate;
    }
  }
  return std::nullopt;
}

void EventStore::openFirstJumpCandidateInBackground(std::vector<JumpCandidate> candidates, JumpCompletion done) {
  jumpQueue_->async([opener = jumpOpener_, candidates = std::move(candidates), done = std::move(done),
                     weak = weakSelf()]() mutable {
    JumpOpeners::setLastJumpOpenError(std::nullopt);
    std::optional<JumpCandidate> opened;
    for (const JumpCandidate& candidate : candidates) {
      if (opener(candidate.target)) {
        opened = candidate;
        break;
      }
    }
    postToMain(weak, [opened = std::move(opened), error = JumpOpeners::lastJumpOpenError(),
                      done = std::move(done)](EventStore*&) mutable { done(std::move(opened), std::move(error)); });
  });
}

bool EventStore::openCompanionStatus(const CompanionStatusItem& item) {
  const auto resolved = jumpTarget(item.event);
  if (!resolved) {
    return false;
  }
  const auto opened = openFirstJumpCandidate(jumpOpenCandidates(*resolved));
  if (!opened) {
    return false;
  }
  audit(opened->isFallback ? QStringLiteral("companion_jump_fallback") : QStringLiteral("companion_jump"), item.event, 1);
  return true;
}

void EventStore::openCompanionStatusInBackground(const CompanionStatusItem& item, std::function<void(bool)> done) {
  const auto resolved = jumpTarget(item.event);
  if (!resolved) {
    done(false);
    return;
  }
  openFirstJumpCandidateInBackground(
      jumpOpenCandidates(*resolved),
      [this, event = item.event, done = std::move(done)](std::optional<JumpCandidate> opened, std::optional<QString>) {
        // Runs only while the store exists.
        if (opened) {
          audit(opened->isFallback ? QStringLiteral("companion_jump_fallback") : QStringLiteral("companion_jump"), event, 1);
        }
        done(opened.has_value());
      });
}

}  // namespace tandrel
