#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <memory>
#include <optional>
#include <variant>

namespace tandrel {

// Where a Jump goes: an app (optionally a deep link into it), a CLI, a cmux workspace, a terminal
// window, a terminal opened on a folder, a URL or a file. Two targets are equal when they are the
// same case with every payload value equal.
class JumpTarget {
 public:
  // The cases, in their fixed order.
  enum class Kind { app, cli, cmux, terminalWindow, terminalCwd, url, file };

  struct App {
    std::optional<QString> bundleID;
    std::optional<QString> appPath;
    std::optional<QString> deepLink;
    bool operator==(const App&) const = default;
  };
  struct Cli {
    QString command;
    QStringList args;
    std::optional<QString> cwd;
    bool operator==(const Cli&) const = default;
  };
  struct Cmux {
    std::optional<QString> sessionID;
    std::optional<QString> windowID;
    std::optional<QString> cwd;
    bool operator==(const Cmux&) const = default;
  };
  struct TerminalWindow {
    QString terminal;
    std::optional<QString> windowID;
    std::optional<QString> tabID;
    std::optional<QString> sessionID;
    std::optional<QString> cwd;
    // The control socket of the terminal's server (tmux's -S path, kitty's remote-control address).
    std::optional<QString> socket;
    // The agent's process: its nearest ancestor that owns a window is the terminal's.
    std::optional<QString> processID;
    bool operator==(const TerminalWindow&) const = default;
  };
  struct TerminalCwd {
    QString cwd;
    std::optional<QString> terminal;
    bool operator==(const TerminalCwd&) const = default;
  };
  struct Url {
    QString url;
    bool operator==(const Url&) const = default;
  };
  struct File {
    QString path;
    std::optional<qint64> line;
    bool operator==(const File&) const = default;
  };

  using Value = std::variant<App, Cli, Cmux, TerminalWindow, TerminalCwd, Url, File>;

  JumpTarget(App v) : value_(std::move(v)) {}             // NOLINT: implicit by design
  JumpTarget(Cli v) : value_(std::move(v)) {}             // NOLINT
  JumpTarget(Cmux v) : value_(std::move(v)) {}            // NOLINT
  JumpTarget(TerminalWindow v) : value_(std::move(v)) {}  // NOLINT
  JumpTarget(TerminalCwd v) : value_(std::move(v)) {}     // NOLINT
  JumpTarget(Url v) : value_(std::move(v)) {}             // NOLINT
  JumpTarget(File v) : value_(std::move(v)) {}            // NOLINT

  static JumpTarget app(std::optional<QString> bundleID, std::optional<QString> appPath,
                        std::optional<QString> deepLink);
  static JumpTarget cli(QString command, QStringList args, std::optional<QString> cwd);
  static JumpTarget cmux(std::optional<QString> sessionID, std::optional<QString> windowID,
                         std::optional<QString> cwd);
  static JumpTarget terminalWindow(QString terminal, std::optional<QString> windowID,
                                   std::optional<QString> tabID, std::optional<QString> sessionID,
                                   std::optional<QString> cwd, std::optional<QString> socket = std::nullopt,
                                   std::optional<QString> processID = std::nullopt);
  static JumpTarget terminalCwd(QString cwd, std::optional<QString> terminal);
  static JumpTarget url(QString url);
  static JumpTarget file(QString path, std::optional<qint64> line);

  Kind kind() const { return static_cast<Kind>(value_.index()); }
  const Value& value() const { return value_; }

  // The payload when the target is of that case, else null.
  template <typename Case>
  const Case* as() const {
    return std::get_if<Case>(&value_);
  }

  bool operator==(const JumpTarget&) const = default;

  // The structured target of a bridge record's jump object (the value of "jump_target",
  // "jumpTarget" or "jump"). Its "kind", lowercased, selects the case; a missing or unknown kind,
  // or a missing required field, gives nothing.
  static std::optional<JumpTarget> fromBridgeObject(const QJsonObject& object);

 private:
  Value value_;
};

// How good a Jump is; the case order is the rank, best first.
enum class JumpQuality { exactWindow, sessionLevel, workspaceLevel, appLevel, unavailable };

// What the opener does with a resolved target.
enum class ResolvedJumpAction {
  openApp,
  openCLI,
  openCmux,
  focusTerminalWindow,
  openTerminal,
  openURL,
  openFile,
  configure,
};

QString rawValue(JumpQuality quality);
QString rawValue(ResolvedJumpAction action);
std::optional<JumpQuality> parseJumpQuality(QStringView raw);
std::optional<ResolvedJumpAction> parseResolvedJumpAction(QStringView raw);

struct BoxedResolvedJumpTarget;

// A Jump checked against the machine: whether it can be opened now, what the opener acts on
// (which may differ from the target asked for), its button label, why it is unavailable, its
// quality, the next target to try and the opener's action.
struct ResolvedJumpTarget {
  bool available = false;
  JumpTarget target;
  QString label;
  std::optional<QString> reason;
  JumpQuality quality = JumpQuality::unavailable;
  // Shared and never changed once built.
  std::shared_ptr<const BoxedResolvedJumpTarget> fallback;
  ResolvedJumpAction action = ResolvedJumpAction::configure;

  // All seven fields; fallbacks are equal when both are absent or both hold equal values.
  bool operator==(const ResolvedJumpTarget& other) const;
};

// Lets a resolved target hold another as its fallback.
struct BoxedResolvedJumpTarget {
  ResolvedJumpTarget value;
  bool operator==(const BoxedResolvedJumpTarget& other) const { return value == other.value; }
};

std::shared_ptr<const BoxedResolvedJumpTarget> boxed(ResolvedJumpTarget value);

}  // namespace tandrel
