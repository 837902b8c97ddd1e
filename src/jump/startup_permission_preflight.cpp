#include "jump/startup_permission_preflight.h"

#include "base/log.h"
#include "jump/jump_resolver.h"

namespace tandrel {

namespace {

// The target a message's preflight looks at: its Jump when available, else the Jump's first
// fallback when that is available.
std::optional<JumpTarget> preflightTarget(const IslandMessage& message) {
  if (!message.jump) {
    return std::nullopt;
  }
  if (message.jump->available) {
    return message.jump->target;
  }
  if (message.jump->fallback && message.jump->fallback->value.available) {
    return message.jump->fallback->value.target;
  }
  return std::nullopt;
}

}  // namespace

std::optional<QString> StartupPermissionPreflight::preflightKey(const JumpTarget& target) {
  if (target.kind() == JumpTarget::Kind::cmux) {
    return QStringLiteral("app:cmux");
  }
  if (const auto* app = target.as<JumpTarget::App>()) {
    if (app->bundleID && !app->bundleID->isEmpty()) {
      return QStringLiteral("app:") + *app->bundleID;
    }
    if (app->appPath && !app->appPath->isEmpty()) {
      return QStringLiteral("app:") + *app->appPath;
    }
    return std::nullopt;
  }
  if (const auto* window = target.as<JumpTarget::TerminalWindow>()) {
    return QStringLiteral("terminal:") + terminalApplicationName(window->terminal);
  }
  if (const auto* folder = target.as<JumpTarget::TerminalCwd>()) {
    return QStringLiteral("terminal:") + terminalApplicationName(folder->terminal);
  }
  return std::nullopt;
}

bool StartupPermissionPreflight::hasAutomationTarget(const std::vector<IslandMessage>& messages) {
  for (const IslandMessage& message : messages) {
    if (const auto target = preflightTarget(message); target && preflightKey(*target)) {
      return true;
    }
  }
  return false;
}

int StartupPermissionPreflight::preflight(const std::vector<IslandMessage>& /*messages*/) {
  logInfo(QStringLiteral("jump preflight: nothing to authorise on this platform"));
  return 0;
}

}  // namespace tandrel
