#pragma once

#include "base/result.h"
#include "catalog/tool_catalog.h"
#include "hooks/hook_files.h"
#include "hooks/line_diff.h"

#include <QByteArray>
#include <QColor>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <utility>
#include <vector>

// Hook installation: which agent tools are here, whether their integration is installed and
// current, and installing or repairing it (bridge scripts, Claude settings, Codex configuration
// and hooks file, OpenCode plug-in), with previews and backups.

namespace tandrel {

class AppLocator;

// The display state of a tool's integration.
enum class HookStatus { healthy, missing, repair, alpha };
// "Healthy", "Not installed", "Needs repair", "Alpha".
QString hookStatusRawValue(HookStatus status);
std::optional<HookStatus> hookStatusFromRawValue(const QString& raw);

// Detection and installation state of one catalogue tool.
struct ToolHealth {
  QString id;
  QString product;
  QString name;
  QString path;  // displayPath(row, true)
  HookStatus status = HookStatus::missing;
  QString detail;
  bool detected = false;
  QColor color;
  QString surface;
  QString integration;
  QStringList capabilities;
  int priority = 0;
  // What a click on the tool opens: an application path, a file path or a web address.
  std::optional<QString> jumpTarget;
};

// Whether a JSON configuration text holds a script's path, also with its slashes escaped as "\/".
bool jsonConfigMentions(const QString& jsonText, const QString& path);

// The detail of the Codex CLI row while our hooks are written but Codex has not trusted them yet
// (its status is then alpha): what the user does about it.
QString codexAwaitingTrustDetail();

// Where the integrations live. Everything is under the user's home except the OpenCode root,
// which follows its own variables; TANDREL_HOME and CODEX_HOME move none of it.
struct HookPaths {
  QString home;
  QString bridgeDirectory;        // ~/.tandrel/bin
  QString bridgeConfigDirectory;  // ~/.tandrel/config
  QString claudeSettings;         // ~/.claude/settings.json
  QString codexConfig;            // ~/.codex/config.toml
  QString codexHooks;             // ~/.codex/hooks.json
  QString opencodePlugin;         // <OpenCode root>/plugins/tandrel.js

  static HookPaths forHome(const QString& home, const QString& opencodeRoot);
  // The user's home and opencodeConfigRootURL(), read now.
  static HookPaths system();
};

// The names of the six bridge scripts, in the order they are written.
const QStringList& bridgeScriptNames();
// The text the app carries for a bridge script or "tandrel.js", or an error when it has none.
Result<QByteArray> embeddedHookText(const QString& name);
// Whether installed scripts are current: every `folder`/<name> reads back exactly its expected
// text, byte for byte. A script that cannot be read is not current.
bool bridgeScriptsCurrent(const QString& folder, const std::vector<std::pair<QString, QByteArray>>& expected);

class HookManager {
 public:
  // Wall-clock seconds since 1970, for backup names.
  using SecondsClock = std::function<qint64()>;

  HookManager(HookPaths paths, const AppLocator& locator, SecondsClock now = {});
  HookManager(const HookManager&) = delete;
  HookManager& operator=(const HookManager&) = delete;

  // The one instance of the process, for the user's real home; made on first use.
  static HookManager& shared();

  const HookPaths& paths() const { return paths_; }
  QString eventCommandPath() const;
  QString wrapperPath() const;
  QString codexNotifyPath() const;
  QString claudeStatusLinePath() const;
  QString claudeHookPath() const;
  QString codexHookPath() const;

  // One record per catalogue row, in catalogue order. Reads the disk on every call; never fails.
  std::vector<ToolHealth> health() const;
  std::vector<ToolHealth> health(const std::vector<AIToolCatalogItem>& catalog) const;
  bool isDetected(const AIToolCatalogItem& row) const;
  static bool isWrapperTool(const QString& id);
  QString displayPath(const AIToolCatalogItem& row, bool includeWrapper) const;
  QString resolvedPath(const QString& path) const;
  // Some entry of `folder`, lowercased, begins with one of the prefixes (lowercased).
  static bool directoryContainsAny(const QStringList& prefixes, const QString& folder);
  // The wrapper script is installed, executable and current (always true in the test
  // environment). The usage meters ask this.
  bool wrapperBridgeReady() const;

  // Installs or repairs one tool's integration: the bridge scripts for every tool, then the
  // tool's own configuration. Every configuration edit is planned (and refused when unsafe)
  // before anything is written.
  Result<void> install(const QString& toolID) const;
  Result<void> installBridgeScripts() const;
  Result<void> installClaudeHooks() const;
  Result<void> installCodexNotify() const;
  Result<void> installOpenCodePlugin() const;

  // The new texts of the configuration files, without writing them. An existing file that
  // cannot be read or edited safely is an error.
  Result<QString> plannedClaudeSettings() const;
  Result<QString> plannedCodexConfig() const;
  Result<QString> plannedCodexHooks() const;

  // What install(toolID) will change, for the confirmation before it.
  Result<QString> installationPreview(const QString& toolID) const;

  // Test seam: while set, install() calls this instead and does nothing else.
  static void setInstallOverrideForTests(std::function<Result<void>(const QString&)> install);

 private:
  struct ScriptFacts;
  ScriptFacts scriptFacts() const;
  bool onPath(const AIToolCatalogItem& row) const;
  ToolHealth healthRecord(const AIToolCatalogItem& row, const ScriptFacts& facts) const;
  std::optional<QString> jumpTarget(const AIToolCatalogItem& row) const;
  // The plans from a file's bytes as read.
  Result<QString> planClaudeSettings(const ExistingFile& file) const;
  Result<QString> planCodexConfig(const ExistingFile& file) const;
  Result<QString> planCodexHooks(const ExistingFile& file) const;
  // Reads the file, plans, and when the plan changes it: backs it up (the newest five backups
  // stay), runs `beforeWrite` with what was read, reads the file again and writes the plan, or
  // plans again when another writer changed it in between. The caller holds its folder's lock.
  Result<void> editConfig(const QString& path,
                          const std::function<Result<QString>(const ExistingFile&)>& plan,
                          const std::function<Result<void>(const ExistingFile&)>& beforeWrite = {}) const;
  // The folder of an agent's configuration file and our chain-file folder.
  Result<void> makeConfigFolders(const QString& configFile) const;
  Result<void> writeChain(const QString& name, const QJsonObject& chain) const;

  HookPaths paths_;
  const AppLocator& locator_;
  SecondsClock now_;
};

}  // namespace tandrel
