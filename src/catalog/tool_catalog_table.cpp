// The rows of the agent-tool catalogue.
#include "catalog/tool_catalog.h"

namespace tandrel {

namespace {

QStringList list(std::initializer_list<const char*> items) {
  QStringList out;
  for (const char* item : items) {
    out.append(QString::fromUtf8(item));
  }
  return out;
}

AIToolCatalogItem row(const char* id, const char* product, const char* name, const char* surface,
                      const char* installTarget, QStringList commandNames, QStringList appPaths,
                      const char* configPath, const char* integration, QStringList capabilities,
                      int priority, int red, int green, int blue, const char* detail) {
  AIToolCatalogItem item;
  item.product = QString::fromUtf8(product);
  item.id = QString::fromUtf8(id);
  item.name = QString::fromUtf8(name);
  item.surface = QString::fromUtf8(surface);
  item.installTarget = QString::fromUtf8(installTarget);
  item.commandNames = std::move(commandNames);
  item.appPaths = std::move(appPaths);
  if (configPath != nullptr) {
    item.configPath = QString::fromUtf8(configPath);
  }
  item.integration = QString::fromUtf8(integration);
  item.capabilities = std::move(capabilities);
  item.priority = priority;
  item.color = QColor::fromRgb(red, green, blue);
  item.detail = QString::fromUtf8(detail);
  return item;
}

std::vector<AIToolCatalogItem> buildCatalog() {
  return {
      row("claude-app", "Claude", "Claude App", "App", "macos-app", {},
          list({"/Applications/Claude.app"}), nullptr, "Jump only",
          list({"Jump", "Messages limited"}), 0, 217, 119, 87,
          "Open the Claude desktop app for source context"),
      row("claude-code", "Claude", "Claude Code", "CLI", "command", list({"claude"}), {},
          "~/.claude/settings.json", "Hooks",
          list({"Messages", "Approval", "Usage", "Rate limit", "Jump"}), 0, 217, 119, 87,
          "Hooks write local Tandrel events"),
      row("codex-app", "OpenAI Codex", "Codex App", "App", "macos-app", {},
          list({"/Applications/Codex.app"}), nullptr, "App Server",
          list({"Usage", "Approval", "Jump"}), 0, 0, 214, 163, "App detection and Jump reserved"),
      row("codex-cli", "OpenAI Codex", "Codex CLI", "CLI", "command", list({"codex"}), {},
          "~/.codex/config.toml", "Notify", list({"Messages", "Usage", "Rate limit", "Jump"}), 0,
          0, 214, 163, "notify bridge writes local Tandrel events"),
      row("cursor-ide", "Cursor", "Cursor IDE", "IDE", "macos-app", list({"cursor"}),
          list({"/Applications/Cursor.app"}), nullptr, "Jump / Wrapper",
          list({"Messages", "Jump"}), 0, 0, 107, 255,
          "Jump to Cursor (Edit); wrapper can record runs"),
      row("cursor-glass", "Cursor", "Cursor Glass", "IDE", "macos-app", {},
          list({"/Applications/Cursor Glass.app"}), nullptr, "Jump", list({"Messages", "Jump"}),
          0, 0, 107, 255, "Jump to Cursor Glass (preview build) when installed"),
      row("cursor-agent-cli", "Cursor", "Cursor Agent CLI", "CLI", "command",
          list({"cursor-agent", "cursor"}), {}, nullptr, "Stream JSON / Wrapper",
          list({"Messages", "Usage", "Jump"}), 0, 0, 107, 255,
          "Wrapper adapter can record Cursor Agent stream-json usage"),
      row("kilo-code", "Kilo Code", "Kilo Code", "IDE / CLI", "command", list({"kilo"}), {},
          "~/.kilo", "Wrapper", list({"Messages", "Usage", "Approval limited", "Jump"}), 1, 108,
          112, 126, "Wrapper adapter can record Kilo Code start/complete/fail and usage"),
      row("pi", "Pi", "Pi", "CLI", "command", list({"pi"}), {}, "~/.pi/agent", "Wrapper",
          list({"Messages", "Usage", "Jump"}), 1, 9, 9, 11,
          "Wrapper adapter can record Pi terminal agent runs and usage"),
      row("cline", "Cline", "Cline", "Extension", "vscode-extension", {}, {},
          "~/.vscode/extensions", "VS Code Extension / Wrapper",
          list({"Messages", "Usage", "Approval", "Jump"}), 1, 36, 41, 47,
          "Wrapper adapter can record Cline task, approval, and usage events"),
      row("roo-code", "Roo Code", "Roo Code", "Extension", "vscode-extension", {}, {},
          "~/.vscode/extensions", "VS Code Extension / Wrapper",
          list({"Messages", "Usage", "Approval", "Jump"}), 1, 116, 83, 219,
          "Wrapper adapter can record Roo Code task, approval, and usage events"),
      row("factory-droid", "Factory", "Factory Droid", "CLI", "command",
          list({"factory-droid", "droid"}), {}, nullptr, "Wrapper", list({"Messages", "Jump"}), 0,
          255, 159, 67, "Wrapper adapter can record Factory Droid start/complete/fail"),
      row("trae-ide", "Trae", "Trae IDE", "IDE", "macos-app", {},
          list({"/Applications/Trae.app", "/Applications/Trae CN.app", "~/Applications/Trae.app",
                "~/Applications/Trae CN.app"}),
          nullptr, "Jump / Notifications", list({"Messages limited", "Jump"}), 1, 28, 126, 214,
          "Jump and notification adapter reserved"),
      row("trae-solo", "Trae", "Trae SOLO", "App/Cloud", "macos-app", list({"trae-solo"}),
          list({"/Applications/TRAE SOLO CN.app", "/Applications/Trae SOLO.app",
                "~/Applications/TRAE SOLO CN.app", "~/Applications/Trae SOLO.app"}),
          nullptr, "Webhook / Wrapper", list({"Messages", "Completion", "Jump"}), 1, 28, 126, 214,
          "Wrapper adapter can record Trae SOLO runs"),
      row("trae-agent-cli", "Trae", "Trae Agent CLI", "CLI", "command", list({"trae-cli"}), {},
          "~/.tandrel/usage/trae-agent", "Trajectory file / Wrapper",
          list({"Messages", "Usage", "Jump"}), 0, 28, 126, 214,
          "Trajectory files publish local token usage snapshots"),
      row("gemini-cli", "Gemini", "Gemini CLI", "CLI", "command", list({"gemini"}), {},
          "~/.gemini", "Wrapper", list({"Messages", "Usage limited", "Jump"}), 1, 142, 117, 178,
          "Wrapper adapter can record Gemini start/complete/fail"),
      row("opencode-cli", "OpenCode", "OpenCode CLI", "CLI", "command", list({"opencode"}), {},
          "~/.config/opencode/plugins/tandrel.js", "Plugin / Wrapper",
          list({"Messages", "Usage", "Approval limited", "Jump"}), 0, 0, 180, 216,
          "OpenCode plugin writes session usage updates"),
      row("copilot-vscode-extension", "GitHub Copilot", "Copilot VS Code Extension", "Extension",
          "vscode-extension", {}, {}, "~/.vscode/extensions", "Jump only",
          list({"Jump", "Messages limited"}), 2, 24, 23, 23,
          "Detects local Copilot VS Code extension"),
      row("copilot-cli", "GitHub Copilot", "Copilot CLI", "CLI", "command", list({"gh"}), {},
          "~/.config/gh", "Wrapper", list({"Messages", "Jump"}), 1, 24, 23, 23,
          "Wrapper adapter can record gh copilot runs"),
      row("copilot-coding-agent", "GitHub Copilot", "Copilot Coding Agent", "Cloud Agent",
          "webhook", {}, {}, nullptr, "Webhook", list({"Messages", "Completion", "Jump"}), 1, 24,
          23, 23, "Cloud webhook setup reserved"),
      row("vscode-host", "VS Code", "VS Code Host", "IDE", "macos-app", list({"code"}),
          list({"/Applications/Visual Studio Code.app"}), nullptr, "Jump only", list({"Jump"}), 2,
          0, 122, 204, "Host app for extensions and source Jump"),
      row("kimi-app-web", "Kimi", "Kimi App / Web", "App/Web", "macos-app", {},
          list({"/Applications/Kimi.app"}), nullptr, "Jump only",
          list({"Jump", "Messages limited"}), 2, 0, 0, 0, "Open Kimi app or web context"),
      row("kimi-cli", "Kimi", "Kimi CLI", "CLI", "command", list({"kimi", "kimi-cli"}), {},
          "~/.kimi", "Wrapper", list({"Messages", "Usage limited", "Jump"}), 2, 0, 0, 0,
          "Wrapper adapter can record Kimi CLI runs"),
      row("warp", "Warp", "Warp", "Terminal / AI", "macos-app", {},
          list({"/Applications/Warp.app", "~/Applications/Warp.app"}), nullptr, "Jump",
          list({"Jump"}), 1, 120, 90, 220,
          "Jump opens Warp at the agent's cwd (dev.warp.Warp-Stable)"),
      row("windsurf", "Windsurf", "Windsurf", "IDE", "macos-app", {},
          list({"/Applications/Windsurf.app", "~/Applications/Windsurf.app"}), nullptr, "Jump",
          list({"Messages limited", "Jump"}), 1, 0, 178, 169,
          "Jump opens Windsurf at the agent's cwd"),
  };
}

}  // namespace

const std::vector<AIToolCatalogItem>& aiToolCatalog() {
  static const std::vector<AIToolCatalogItem> catalog = buildCatalog();
  return catalog;
}

const QStringList& phaseOneToolIDs() {
  static const QStringList ids = [] {
    QStringList out;
    for (const AIToolCatalogItem& item : aiToolCatalog()) {
      out.append(item.id);
    }
    return out;
  }();
  return ids;
}

}  // namespace tandrel
