#include "jump/jump_target.h"

#include "events/bridge_values.h"
#include "events/raw_value_table.h"

namespace tandrel {
namespace {

constexpr RawValueTable<JumpQuality, 5> kQualities{{
    {JumpQuality::exactWindow, "exact_window"},
    {JumpQuality::sessionLevel, "session_level"},
    {JumpQuality::workspaceLevel, "workspace_level"},
    {JumpQuality::appLevel, "app_level"},
    {JumpQuality::unavailable, "unavailable"},
}};

constexpr RawValueTable<ResolvedJumpAction, 8> kActions{{
    {ResolvedJumpAction::openApp, "open_app"},
    {ResolvedJumpAction::openCLI, "open_cli"},
    {ResolvedJumpAction::openCmux, "open_cmux"},
    {ResolvedJumpAction::focusTerminalWindow, "focus_terminal_window"},
    {ResolvedJumpAction::openTerminal, "open_terminal"},
    {ResolvedJumpAction::openURL, "open_url"},
    {ResolvedJumpAction::openFile, "open_file"},
    {ResolvedJumpAction::configure, "configure"},
}};

std::optional<QString> field(const QJsonObject& object, QLatin1String key) {
  return stringValue(object.value(key));
}

}  // namespace

JumpTarget JumpTarget::app(std::optional<QString> bundleID, std::optional<QString> appPath,
                           std::optional<QString> deepLink) {
  return App{std::move(bundleID), std::move(appPath), std::move(deepLink)};
}

JumpTarget JumpTarget::cli(QString command, QStringList args, std::optional<QString> cwd) {
  return Cli{std::move(command), std::move(args), std::move(cwd)};
}

JumpTarget JumpTarget::cmux(std::optional<QString> sessionID, std::optional<QString> windowID,
                            std::optional<QString> cwd) {
  return Cmux{std::move(sessionID), std::move(windowID), std::move(cwd)};
}

JumpTarget JumpTarget::terminalWindow(QString terminal, std::optional<QString> windowID,
                                      std::optional<QString> tabID, std::optional<QString> sessionID,
                                      std::optional<QString> cwd, std::optional<QString> socket,
                                      std::optional<QString> processID) {
  return TerminalWindow{std::move(terminal), std::move(windowID), std::move(tabID), std::move(sessionID),
                        std::move(cwd),      std::move(socket),   std::move(processID)};
}

JumpTarget JumpTarget::terminalCwd(QString cwd, std::optional<QString> terminal) {
  return TerminalCwd{std::move(cwd), std::move(terminal)};
}

JumpTarget JumpTarget::url(QString url) { return Url{std::move(url)}; }

JumpTarget JumpTarget::file(QString path, std::optional<qint64> line) {
  return File{std::move(path), line};
}

std::optional<JumpTarget> JumpTarget::fromBridgeObject(const QJsonObject& object) {
  const auto kindText = stringValue(object.value(QLatin1String("kind")));
  if (!kindText) {
    return std::nullopt;
  }
  const QString kind = kindText->toLower();
  const auto first = [&object](std::initializer_list<QLatin1String> keys) { return firstString(object, keys); };

  if (kind == QLatin1String("app")) {
    return app(first({QLatin1String("bundle_id"), QLatin1String("bundleId")}),
               first({QLatin1String("app_path"), QLatin1String("appPath")}),
               first({QLatin1String("deep_link"), QLatin1String("deepLink")}));
  }
  if (kind == QLatin1String("cli")) {
    auto command = field(object, QLatin1String("command"));
    if (!command) {
      return std::nullopt;
    }
    return cli(std::move(*command), stringArray(object.value(QLatin1String("args"))),
               field(object, QLatin1String("cwd")));
  }
  if (kind == QLatin1String("cmux")) {
    return cmux(first({QLatin1String("session_id"), QLatin1String("sessionId")}),
                first({QLatin1String("window_id"), QLatin1String("windowId")}), field(object, QLatin1String("cwd")));
  }
  if (kind == QLatin1String("terminal_window") || kind == QLatin1String("terminal-window") ||
      kind == QLatin1String("iterm") || kind == QLatin1String("iterm2")) {
    QString terminal = field(object, QLatin1String("terminal"))
                           .value_or(kind.contains(QLatin1String("iterm")) ? QStringLiteral("iTerm2")
                                                                           : QStringLiteral("Terminal"));
    return terminalWindow(std::move(terminal), first({QLatin1String("window_id"), QLatin1String("windowId")}),
                          first({QLatin1String("tab_id"), QLatin1String("tabId")}),
                          first({QLatin1String("session_id"), QLatin1String("sessionId")}),
                          field(object, QLatin1String("cwd")), field(object, QLatin1String("socket")),
                          field(object, QLatin1String("pid")));
  }
  if (kind == QLatin1String("terminal_cwd") || kind == QLatin1String("terminal")) {
    auto cwd = field(object, QLatin1String("cwd"));
    if (!cwd) {
      return std::nullopt;
    }
    return terminalCwd(std::move(*cwd), field(object, QLatin1String("terminal")));
  }
  if (kind == QLatin1String("url")) {
    auto text = first({QLatin1String("url"), QLatin1String("value")});
    if (!text) {
      return std::nullopt;
    }
    return url(std::move(*text));
  }
  if (kind == QLatin1String("file")) {
    auto path = field(object, QLatin1String("path"));
    if (!path) {
      return std::nullopt;
    }
    return file(std::move(*path), intValue(object.value(QLatin1String("line"))));
  }
  return std::nullopt;
}

QString rawValue(JumpQuality quality) { return rawValueIn(kQualities, quality); }
QString rawValue(ResolvedJumpAction action) { return rawValueIn(kActions, action); }

std::optional<JumpQuality> parseJumpQuality(QStringView raw) { return parseRawValueIn(kQualities, raw); }

std::optional<ResolvedJumpAction> parseResolvedJumpAction(QStringView raw) {
  return parseRawValueIn(kActions, raw);
}

bool ResolvedJumpTarget::operator==(const ResolvedJumpTarget& other) const {
  if (available != other.available || !(target == other.target) || label != other.label ||
      reason != other.reason || quality != other.quality || action != other.action) {
    return false;
  }
  if (!fallback || !other.fallback) {
    return !fallback && !other.fallback;
  }
  return fallback == other.fallback || *fallback == *other.fallback;
}

std::shared_ptr<const BoxedResolvedJumpTarget> boxed(ResolvedJumpTarget value) {
  return std::make_shared<const BoxedResolvedJumpTarget>(BoxedResolvedJumpTarget{std::move(value)});
}

}  // namespace tandrel
