#include "hooks/hook_manager.h"

#include "catalog/paths.h"
#include "hooks/claude_settings.h"
#include "hooks/codex_config.h"
#include "hooks/hook_files.h"
#include "platform/app_locator.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStringDecoder>

#include <algorithm>

namespace tandrel {

namespace {

const QString kEvent = QStringLiteral("tandrel-event");
const QString kWrap = QStringLiteral("tandrel-wrap");
const QString kCodexNotify = QStringLiteral("tandrel-codex-notify");
const QString kClaudeStatusLine = QStringLiteral("tandrel-claude-statusline");
const QString kHookClaude = QStringLiteral("tandrel-hook-claude");
const QString kHookCodex = QStringLiteral("tandrel-hook-codex");
const QString kPlugin = QStringLiteral("tandrel.js");

std::function<Result<void>(const QString&)>& installOverride() {
  static std::function<Result<void>(const QString&)> hook;
  return hook;
}

bool isOneOf(const QString& id, std::initializer_list<const char*> ids) {
  return std::any_of(ids.begin(), ids.end(),
                     [&id](const char* candidate) { return id == QLatin1String(candidate); });
}

// A file's text, or the empty text when it cannot be read.
QString readText(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    return {};
  }
  return QString::fromUtf8(file.readAll());
}

// The file's whole content equals `text`.
bool holdsExactly(const QString& path, const QByteArray& text) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) && file.readAll() == text;
}

// The file's whole content equals the text the app carries.
bool isCurrent(const QString& path, const QString& name) {
  const auto embedded = embeddedHookText(name);
  return embedded && holdsExactly(path, embedded.value());
}

bool isExecutableFile(const QString& path) {
  const QFileInfo info(path);
  return info.isFile() && info.isExecutable();
}

// The text of a configuration file as read: empty when missing; an error when it is not UTF-8.
Result<QString> configText(const QString& path, const ExistingFile& file) {
  QStringDecoder decoder(QStringDecoder::Utf8);
  QString text = decoder.decode(file.bytes);
  if (decoder.hasError()) {
    return Result<QString>::failure(
        QStringLiteral("%1 is not UTF-8 text; nothing was changed").arg(path));
  }
  return text;
}

// A JSON configuration's text for editing: an empty object for a missing or blank file; an
// error, and no plan, for one that is not UTF-8, not JSON or not an object, so that it is never
// replaced.
Result<QString> jsonConfigText(const QString& path, const ExistingFile& file) {
  if (!file.exists || file.bytes.trimmed().isEmpty()) {
    return QStringLiteral("{\n}");
  }
  auto text = configText(path, file);
  if (!text) {
    return text;
  }
  QJsonParseError error{};
  const QJsonDocument document = QJsonDocument::fromJson(file.bytes, &error);
  if (error.error != QJsonParseError::NoError) {
    return Result<QString>::failure(
        QStringLiteral("%1 is not valid JSON (%2 at byte %3); fix or move it first, nothing was "
                       "changed")
            .arg(path, error.errorString())
            .arg(error.offset));
  }
  if (!document.isObject()) {
    return Result<QString>::failure(
        QStringLiteral("%1 does not hold a JSON object; fix or move it first, nothing was changed")
            .arg(path));
  }
  return text;
}

// A plan refused by the editor, worded for the user.
QString unsafeEdit(const QString& path, const QString& reason) {
  return QStringLiteral("%1 cannot be changed safely: %2; fix or move it first, nothing was changed")
      .arg(path, reason);
}

struct JumpFallback {
  const char* id;
  const char* target;
};
// Where a click goes for a tool that is not installed as an application.
constexpr JumpFallback kJumpFallbacks[] = {
    {"claude-app", "/Applications/Claude.app"},
    {"codex-app", "/Applications/Codex.app"},
    {"cursor-ide", "/Applications/Cursor.app"},
    {"cursor-glass", "/Applications/Cursor Glass.app"},
    {"vscode-host", "/Applications/Visual Studio Code.app"},
    {"kilo-code", "https://kilocode.ai/docs/getting-started/installing"},
    {"pi", "https://github.com/badlogic/pi-mono/tree/main/packages/coding-agent"},
    {"cline", "https://marketplace.visualstudio.com/items?itemName=saoudrizwan.claude-dev"},
    {"roo-code", "https://marketplace.visualstudio.com/items?itemName=RooVeterinaryInc.roo-cline"},
    {"trae-ide", "https://www.trae.ai/download"},
    {"trae-solo", "https://www.trae.ai/download"},
    {"trae-agent-cli", "https://github.com/bytedance/trae-agent"},
    {"windsurf", "https://windsurf.com/download"},
    {"kimi-app-web", "https://www.kimi.com"},
    {"kimi-cli", "https://www.kimi.com"},
    {"copilot-coding-agent", "https://github.com/features/copilot"},
    {"copilot-vscode-extension", "https://github.com/features/copilot"},
    {"copilot-cli", "https://github.com/features/copilot"},
};

const QString kWrapperUsage = QStringLiteral(
    " -- <command> [args...]\n\nThe wrapper writes task_started before launching the command, "
    "passes its output through (on a terminal of its own when run from one), then records "
    "task_completed, task_failed with the last lines of its error output, or task_cancelled when "
    "it was stopped with Ctrl-C. If the command prints a JSON usage report (Gemini CLI: "
    "--output-format json or stream-json), Tandrel imports its token counts as wrapper usage; "
    "nothing else the command prints is recorded.");

}  // namespace

QString hookStatusRawValue(HookStatus status) {
  switch (status) {
    case HookStatus::healthy: return QStringLiteral("Healthy");
    case HookStatus::missing: return QStringLiteral("Not installed");
    case HookStatus::repair: return QStringLiteral("Needs repair");
    case HookStatus::alpha: return QStringLiteral("Alpha");
  }
  return {};
}

std::optional<HookStatus> hookStatusFromRawValue(const QString& raw) {
  for (HookStatus status :
       {HookStatus::healthy, HookStatus::missing, HookStatus::repair, HookStatus::alpha}) {
    if (hookStatusRawValue(status) == raw) {
      return status;
    }
  }
  return std::nullopt;
}

HookPaths HookPaths::forHome(const QString& home, const QString& opencodeRoot) {
  HookPaths paths;
  paths.home = home;
  paths.bridgeDirectory = home + QStringLiteral("/.tandrel/bin");
  paths.bridgeConfigDirectory = home + QStringLiteral("/.tandrel/config");
  paths.claudeSettings = home + QStringLiteral("/.claude/settings.json");
  paths.codexConfig = home + QStringLiteral("/.codex/config.toml");
  paths.codexHooks = home + QStringLiteral("/.codex/hooks.json");
  paths.opencodePlugin = opencodeRoot + QStringLiteral("/plugins/tandrel.js");
  return paths;
}

HookPaths HookPaths::system() {
  return forHome(QDir::homePath(), opencodeConfigRootURL());
}

const QStringList& bridgeScriptNames() {
  static const QStringList names{kEvent,   kCodexNotify, kClaudeStatusLine,
                                 kWrap,    kHookClaude,  kHookCodex};
  return names;
}

Result<QByteArray> embeddedHookText(const QString& name) {
  QFile file(QStringLiteral(":/hooks/scripts/") + name);
  if (!file.open(QIODevice::ReadOnly)) {
    return Result<QByteArray>::failure(
        QStringLiteral("This build of Tandrel carries no %1 to install").arg(name));
  }
  return file.readAll();
}

bool bridgeScriptsCurrent(const QString& folder, const std::vector<std::pair<QString, QByteArray>>& expected) {
  return std::all_of(expected.begin(), expected.end(), [&folder](const auto& script) {
    return holdsExactly(folder + u'/' + script.first, script.second);
  });
}

HookManager::HookManager(HookPaths paths, const AppLocator& locator, SecondsClock now)
    : paths_(std::move(paths)), locator_(locator), now_(std::move(now)) {
  if (!now_) {
    now_ = [] { return QDateTime::currentSecsSinceEpoch(); };
  }
}

HookManager& HookManager::shared() {
  static HookManager manager(HookPaths::system(), AppLocator::system());
  return manager;
}

QString HookManager::eventCommandPath() const { return paths_.bridgeDirectory + u'/' + kEvent; }
QString HookManager::wrapperPath() const { return paths_.bridgeDirectory + u'/' + kWrap; }
QString HookManager::codexNotifyPath() const {
  return paths_.bridgeDirectory + u'/' + kCodexNotify;
}
QString HookManager::claudeStatusLinePath() const {
  return paths_.bridgeDirectory + u'/' + kClaudeStatusLine;
}
QString HookManager::claudeHookPath() const { return paths_.bridgeDirectory + u'/' + kHookClaude; }
QString HookManager::codexHookPath() const { return paths_.bridgeDirectory + u'/' + kHookCodex; }

void HookManager::setInstallOverrideForTests(
    std::function<Result<void>(const QString&)> install) {
  installOverride() = std::move(install);
}

// ---- detection and health

bool jsonConfigMentions(const QString& jsonText, const QString& path) {
  QString unescaped = jsonText;
  unescaped.replace(QLatin1String("\\/"), QLatin1String("/"));
  return unescaped.contains(path);
}

QString codexAwaitingTrustDetail() {
  return QStringLiteral(
      "Hooks written, waiting for trust in Codex: open Codex and review its hooks (/hooks)");
}

bool HookManager::isWrapperTool(const QString& id) {
  return isOneOf(id, {"cursor-agent-cli", "kilo-code", "pi", "cline", "roo-code", "factory-droid",
                      "trae-agent-cli", "trae-solo", "gemini-cli", "copilot-cli", "kimi-cli"});
}

QString HookManager::resolvedPath(const QString& path) const {
  return path.startsWith(QLatin1String("~/")) ? paths_.home + u'/' + path.mid(2) : path;
}

bool HookManager::directoryContainsAny(const QStringList& prefixes, const QString& folder) {
  const QDir dir(folder);
  if (!dir.exists()) {
    return false;
  }
  const QStringList names =
      dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
  return std::any_of(names.begin(), names.end(), [&prefixes](const QString& name) {
    const QString lowered = name.toLower();
    return std::any_of(prefixes.begin(), prefixes.end(), [&lowered](const QString& prefix) {
      return lowered.startsWith(prefix.toLower());
    });
  });
}

QString HookManager::displayPath(const AIToolCatalogItem& row, bool includeWrapper) const {
  QString base;
  if (row.configPath) {
    base = *row.configPath;
  } else if (!row.appPaths.isEmpty()) {
    const auto found = std::find_if(row.appPaths.begin(), row.appPaths.end(),
                                    [this](const QString& p) {
                                      return locator_.appExists(resolvedPath(p));
                                    });
    base = found != row.appPaths.end() ? *found : row.appPaths.first();
  } else if (!row.commandNames.isEmpty()) {
    base = row.commandNames.first();
  } else {
    base = row.installTarget;
  }
  if (includeWrapper && isWrapperTool(row.id)) {
    return base + QStringLiteral(" \u00B7 ") + kWrap;
  }
  return base;
}

bool HookManager::onPath(const AIToolCatalogItem& row) const {
  // Besides PATH, where npm, pipx and installers put command-line tools for one user.
  QStringList folders = locator_.searchDirectories();
  for (const QString& extra : {paths_.home + QStringLiteral("/.local/bin"),
                               QStringLiteral("/usr/local/bin"),
                               paths_.home + QStringLiteral("/.npm-global/bin")}) {
    if (!folders.contains(extra)) {
      folders.append(extra);
    }
  }
  return std::any_of(row.commandNames.begin(), row.commandNames.end(), [&](const QString& name) {
    return std::any_of(folders.begin(), folders.end(), [&](const QString& folder) {
      return locator_.isExecutableFile(folder + u'/' + name);
    });
  });
}

bool HookManager::isDetected(const AIToolCatalogItem& row) const {
  const auto exists = [this](const char* relative) {
    return locator_.fileExists(paths_.home + u'/' + QLatin1String(relative));
  };
  const QStringList extensionFolders{paths_.home + QStringLiteral("/.vscode/extensions"),
                                     paths_.home + QStringLiteral("/.cursor/extensions")};
  const auto inExtensions = [&extensionFolders](const QStringList& prefixes) {
    return std::any_of(extensionFolders.begin(), extensionFolders.end(),
                       [&prefixes](const QString& folder) {
                         return directoryContainsAny(prefixes, folder);
                       });
  };
  const QString& id = row.id;
  if (id == QLatin1String("copilot-coding-agent")) {
    return exists(".tandrel/config/copilot-coding-agent-webhook.json");
  }
  if (id == QLatin1String("copilot-vscode-extension")) {
    return inExtensions({QStringLiteral("github.copilot")});
  }
  if (id == QLatin1String("kilo-code")) {
    return onPath(row) || exists(".kilo") || exists(".kilocode") ||
           inExtensions({QStringLiteral("kilocode."), QStringLiteral("kilo-code"),
                         QStringLiteral("kilo-org.kilo")});
  }
  if (id == QLatin1String("pi")) {
    return onPath(row) || exists(".pi/agent") || exists(".pi");
  }
  if (id == QLatin1String("cline")) {
    return inExtensions({QStringLiteral("cline."), QStringLiteral("saoudrizwan.claude-dev")}) ||
           exists(".cline");
  }
  if (id == QLatin1String("roo-code")) {
    return inExtensions({QStringLiteral("roocode."), QStringLiteral("rooveterinaryinc.roo-cline"),
                         QStringLiteral("roo-cline"), QStringLiteral("roo-code")}) ||
           exists(".roo");
  }
  if (id == QLatin1String("codex-cli")) {
    return locator_.fileExists(paths_.codexConfig) || onPath(row);
  }
  if (id == QLatin1String("claude-code")) {
    return locator_.fileExists(paths_.claudeSettings) || onPath(row) ||
           locator_.isExecutableFile(paths_.home + QStringLiteral("/.local/bin/claude"));
  }
  if (row.configPath && locator_.fileExists(resolvedPath(*row.configPath))) {
    return true;
  }
  return onPath(row) ||
         std::any_of(row.appPaths.begin(), row.appPaths.end(), [this](const QString& p) {
           return locator_.appExists(resolvedPath(p));
         });
}

std::optional<QString> HookManager::jumpTarget(const AIToolCatalogItem& row) const {
  for (const QString& app : row.appPaths) {
    if (locator_.appExists(resolvedPath(app))) {
      return resolvedPath(app);
    }
  }
  if (row.id == QLatin1String("opencode-cli")) {
    return paths_.opencodePlugin;
  }
  for (const JumpFallback& fallback : kJumpFallbacks) {
    if (row.id == QLatin1String(fallback.id)) {
      return QString::fromUtf8(fallback.target);
    }
  }
  if (row.configPath) {
    return resolvedPath(*row.configPath);
  }
  return std::nullopt;
}

struct HookManager::ScriptFacts {
  bool bridgeReady = false;
  bool wrapperReady = false;
  bool pluginReady = false;
  bool claudeReady = false;
  bool codexReady = false;
  bool codexTrusted = false;
  // Why config.toml could not be read, when it could not.
  QString codexConfigProblem;
};

bool HookManager::wrapperBridgeReady() const {
  return isTestEnvironment() || (isExecutableFile(wrapperPath()) && isCurrent(wrapperPath(), kWrap));
}

HookManager::ScriptFacts HookManager::scriptFacts() const {
  ScriptFacts facts;
  if (isTestEnvironment()) {
    facts = {true, true, true, true, true, true, {}};
    return facts;
  }
  const auto ready = [this](const QString& name) {
    const QString path = paths_.bridgeDirectory + u'/' + name;
    return isExecutableFile(path) && isCurrent(path, name);
  };
  facts.bridgeReady = ready(kEvent) && ready(kCodexNotify) && ready(kClaudeStatusLine);
  facts.wrapperReady = wrapperBridgeReady();
  facts.pluginReady = isCurrent(paths_.opencodePlugin, kPlugin);

  const QJsonObject claude = QJsonDocument::fromJson(readText(paths_.claudeSettings).toUtf8()).object();
  facts.claudeReady =
      facts.bridgeReady && ready(kHookClaude) &&
      claudeHooksInstalled(claude, {eventCommandPath(), claudeHookPath(), claudeStatusLinePath()});

  const QString config = readText(paths_.codexConfig);
  const QJsonObject hooks = QJsonDocument::fromJson(readText(paths_.codexHooks).toUtf8()).object();
  const CodexHookCommands commands{eventCommandPath(), codexHookPath()};
  const auto notifyInstalled = codexNotifyInstalled(config);
  if (!notifyInstalled) {
    facts.codexConfigProblem =
        QStringLiteral("Codex config.toml could not be read: ") + notifyInstalled.error();
  }
  facts.codexReady = facts.bridgeReady && ready(kHookCodex) && notifyInstalled.valueOr(false) &&
                     (tomlFeatureFlagEnabled(config, QStringLiteral("features"),
                                             QStringLiteral("hooks")) ||
                      tomlFeatureFlagEnabled(config, QStringLiteral("features"),
                                             QStringLiteral("codex_hooks"))) &&
                     codexHooksInstalled(hooks, commands);
  facts.codexTrusted = codexHooksTrusted(config, paths_.codexHooks, hooks,
                                         ourCodexHookHandlers(hooks, commands));
  return facts;
}

ToolHealth HookManager::healthRecord(const AIToolCatalogItem& row, const ScriptFacts& facts) const {
  ToolHealth health;
  health.id = row.id;
  health.product = row.product;
  health.name = row.name;
  health.path = displayPath(row, true);
  health.detected = isTestEnvironment() || isDetected(row);
  health.color = row.color;
  health.surface = row.surface;
  health.integration = row.integration;
  health.capabilities = row.capabilities;
  health.priority = row.priority;
  health.jumpTarget = jumpTarget(row);

  const auto set = [&health](HookStatus status, const QString& detail) {
    health.status = status;
    health.detail = detail;
  };
  const HookStatus absentOrRepair = health.detected ? HookStatus::repair : HookStatus::missing;
  const HookStatus absentOrAlpha = health.detected ? HookStatus::alpha : HookStatus::missing;
  const QString& id = row.id;
  if (id == QLatin1String("claude-code")) {
    facts.claudeReady ? set(HookStatus::healthy, row.detail)
                      : set(absentOrRepair, QStringLiteral("Install or repair Claude Code hooks"));
  } else if (id == QLatin1String("codex-cli")) {
    if (!facts.codexConfigProblem.isEmpty()) {
      set(absentOrRepair, facts.codexConfigProblem);
    } else if (!facts.codexReady) {
      set(absentOrRepair, QStringLiteral("Install or repair Codex CLI notify and hooks"));
    } else if (!facts.codexTrusted) {
      // Codex skips a new or changed hook until the user trusts it.
      set(HookStatus::alpha, codexAwaitingTrustDetail());
    } else {
      set(HookStatus::healthy, row.detail);
    }
  } else if (id == QLatin1String("opencode-cli")) {
    const QString detail =
        facts.pluginReady ? row.detail
                          : QStringLiteral("Install the OpenCode plugin to record session usage");
    set(facts.pluginReady && health.detected ? HookStatus::healthy : absentOrAlpha, detail);
  } else if (isWrapperTool(id)) {
    const QString detail =
        facts.wrapperReady ? row.detail
                           : QStringLiteral("Install wrapper bridge to record ") + row.name +
                                 QStringLiteral(" runs");
    set(facts.wrapperReady && health.detected ? HookStatus::healthy : absentOrAlpha, detail);
  } else if (id == QLatin1String("codex-app")) {
    health.detected ? set(HookStatus::alpha, row.detail)
                    : set(HookStatus::missing, QStringLiteral("Install Codex App to enable app Jump"));
  } else if (id == QLatin1String("copilot-coding-agent")) {
    set(absentOrAlpha,
        QStringLiteral("Configure a webhook before Tandrel can receive cloud-agent events"));
  } else {
    health.detected ? set(HookStatus::alpha, row.detail)
                    : set(HookStatus::missing, QStringLiteral("Install ") + row.name +
                                                   QStringLiteral(" to enable ") + row.integration);
  }
  return health;
}

std::vector<ToolHealth> HookManager::health() const { return health(aiToolCatalog()); }

std::vector<ToolHealth> HookManager::health(const std::vector<AIToolCatalogItem>& catalog) const {
  const ScriptFacts facts = scriptFacts();
  std::vector<ToolHealth> out;
  out.reserve(catalog.size());
  for (const AIToolCatalogItem& row : catalog) {
    out.push_back(healthRecord(row, facts));
  }
  return out;
}

// ---- planning

Result<QString> HookManager::planClaudeSettings(const ExistingFile& file) const {
  auto text = jsonConfigText(paths_.claudeSettings, file);
  if (!text) {
    return text;
  }
  auto planned = plannedClaudeSettingsText(
      text.value(), {eventCommandPath(), claudeHookPath(), claudeStatusLinePath()});
  if (!planned) {
    return Result<QString>::failure(unsafeEdit(paths_.claudeSettings, planned.error()));
  }
  return planned;
}

Result<QString> HookManager::planCodexConfig(const ExistingFile& file) const {
  auto config = configText(paths_.codexConfig, file);
  if (!config) {
    return config;
  }
  auto planned = plannedCodexConfigText(config.value(), codexNotifyPath());
  if (!planned) {
    return Result<QString>::failure(paths_.codexConfig + QStringLiteral(": ") + planned.error());
  }
  return planned;
}

Result<QString> HookManager::planCodexHooks(const ExistingFile& file) const {
  auto text = jsonConfigText(paths_.codexHooks, file);
  if (!text) {
    return text;
  }
  auto planned = plannedCodexHooksText(text.value(), {eventCommandPath(), codexHookPath()});
  if (!planned) {
    return Result<QString>::failure(unsafeEdit(paths_.codexHooks, planned.error()));
  }
  return planned;
}

namespace {

// Plans from the file as it is now.
Result<QString> planFromDisk(const QString& path,
                             const std::function<Result<QString>(const ExistingFile&)>& plan) {
  auto file = readExistingFile(path);
  if (!file) {
    return Result<QString>::failure(file.error());
  }
  return plan(file.value());
}

}  // namespace

Result<QString> HookManager::plannedClaudeSettings() const {
  return planFromDisk(paths_.claudeSettings, [this](const ExistingFile& f) { return planClaudeSettings(f); });
}

Result<QString> HookManager::plannedCodexConfig() const {
  return planFromDisk(paths_.codexConfig, [this](const ExistingFile& f) { return planCodexConfig(f); });
}

Result<QString> HookManager::plannedCodexHooks() const {
  return planFromDisk(paths_.codexHooks, [this](const ExistingFile& f) { return planCodexHooks(f); });
}

// ---- installing

Result<void> HookManager::install(const QString& toolID) const {
  if (installOverride()) {
    return installOverride()(toolID);
  }
  // Plan first: a configuration that cannot be edited safely stops the install before anything
  // is written.
  if (isOneOf(toolID, {"claude", "claude-code"})) {
    if (auto plan = plannedClaudeSettings(); !plan) {
      return Result<void>::failure(plan.error());
    }
  } else if (isOneOf(toolID, {"codex", "codex-cli"})) {
    if (auto plan = plannedCodexConfig(); !plan) {
      return Result<void>::failure(plan.error());
    }
    if (auto plan = plannedCodexHooks(); !plan) {
      return Result<void>::failure(plan.error());
    }
  }
  if (auto scripts = installBridgeScripts(); !scripts) {
    return scripts;
  }
  if (isOneOf(toolID, {"claude", "claude-code"})) {
    return installClaudeHooks();
  }
  if (isOneOf(toolID, {"codex", "codex-cli"})) {
    return installCodexNotify();
  }
  if (isOneOf(toolID, {"opencode", "opencode-cli"})) {
    return installOpenCodePlugin();
  }
  return {};
}

Result<void> HookManager::installBridgeScripts() const {
  for (const QString& folder : {paths_.bridgeDirectory, paths_.bridgeConfigDirectory}) {
    if (auto made = makeDirectories(folder, true); !made) {
      return made;
    }
  }
  for (const QString& name : bridgeScriptNames()) {
    auto text = embeddedHookText(name);
    if (!text) {
      return Result<void>::failure(text.error());
    }
    if (auto written = writeFileAtomically(paths_.bridgeDirectory + u'/' + name, text.value(), true);
        !written) {
      return written;
    }
  }
  return {};
}

Result<void> HookManager::editConfig(
    const QString& path, const std::function<Result<QString>(const ExistingFile&)>& plan,
    const std::function<Result<void>(const ExistingFile&)>& beforeWrite) const {
  // The caller holds the folder's lock; a writer that does not take it is caught by reading the
  // file once more just before the write, and planning again from what it left.
  for (int attempt = 0; attempt < 3; ++attempt) {
    auto current = readExistingFile(path);
    if (!current) {
      return Result<void>::failure(current.error());
    }
    auto planned = plan(current.value());
    if (!planned) {
      return Result<void>::failure(planned.error());
    }
    const QByteArray bytes = planned->toUtf8();
    if (current->exists && current->bytes == bytes) {
      return {};  // nothing changes: no backup, no write
    }
    if (auto backup = backupFile(path, now_()); !backup) {
      return Result<void>::failure(backup.error());
    }
    if (beforeWrite) {
      if (auto done = beforeWrite(current.value()); !done) {
        return done;
      }
    }
    auto again = readExistingFile(path);
    if (!again) {
      return Result<void>::failure(again.error());
    }
    if (again->exists != current->exists || again->bytes != current->bytes) {
      continue;
    }
    return writeFileAtomically(path, bytes);
  }
  return Result<void>::failure(
      QStringLiteral("%1 kept changing while Tandrel edited it; nothing was changed").arg(path));
}

Result<void> HookManager::makeConfigFolders(const QString& configFile) const {
  if (auto made = makeDirectories(QFileInfo(configFile).path(), false); !made) {
    return made;
  }
  return makeDirectories(paths_.bridgeConfigDirectory, true);
}

Result<void> HookManager::writeChain(const QString& name, const QJsonObject& chain) const {
  return writeFileAtomically(paths_.bridgeConfigDirectory + u'/' + name,
                             QJsonDocument(chain).toJson(QJsonDocument::Indented));
}

Result<void> HookManager::installClaudeHooks() const {
  if (auto made = makeConfigFolders(paths_.claudeSettings); !made) {
    return made;
  }
  auto lock = FolderLock::acquire(QFileInfo(paths_.claudeSettings).path());
  if (!lock) {
    return Result<void>::failure(lock.error());
  }
  return editConfig(
      paths_.claudeSettings, [this](const ExistingFile& f) { return planClaudeSettings(f); },
      [this](const ExistingFile& before) -> Result<void> {
        const QJsonObject settings = QJsonDocument::fromJson(before.bytes).object();
        if (const auto chain = claudeStatusLineChain(settings)) {
          return writeChain(QStringLiteral("claude-statusline-chain.json"), {{QStringLiteral("statusLine"), *chain}});
        }
        return {};
      });
}

Result<void> HookManager::installCodexNotify() const {
  if (auto made = makeConfigFolders(paths_.codexConfig); !made) {
    return made;
  }
  if (auto made = makeDirectories(QFileInfo(paths_.codexHooks).path(), false); !made) {
    return made;
  }
  auto locks = FolderLock::acquireAll({QFileInfo(paths_.codexConfig).path(), QFileInfo(paths_.codexHooks).path()});
  if (!locks) {
    return Result<void>::failure(locks.error());
  }
  auto config = editConfig(
      paths_.codexConfig, [this](const ExistingFile& f) { return planCodexConfig(f); },
      [this](const ExistingFile& before) -> Result<void> {
        if (const auto chain = codexNotifyChain(QString::fromUtf8(before.bytes))) {
          return writeChain(QStringLiteral("codex-notify-chain.json"),
                            {{QStringLiteral("notify"), QJsonArray::fromStringList(*chain)}});
        }
        return {};
      });
  if (!config) {
    return config;
  }
  return editConfig(paths_.codexHooks, [this](const ExistingFile& f) { return planCodexHooks(f); });
}

Result<void> HookManager::installOpenCodePlugin() const {
  auto text = embeddedHookText(kPlugin);
  if (!text) {
    return Result<void>::failure(text.error());
  }
  if (auto made = makeDirectories(QFileInfo(paths_.opencodePlugin).path(), false); !made) {
    return made;
  }
  auto lock = FolderLock::acquire(QFileInfo(paths_.opencodePlugin).path());
  if (!lock) {
    return Result<void>::failure(lock.error());
  }
  const QString plugin = QString::fromUtf8(text.value());
  return editConfig(paths_.opencodePlugin, [plugin](const ExistingFile&) { return Result<QString>(plugin); });
}

// ---- preview

Result<QString> HookManager::installationPreview(const QString& toolID) const {
  QStringList scripts{QStringLiteral("Bridge scripts:")};
  for (const QString& name : bridgeScriptNames()) {
    scripts.append(QStringLiteral("+ ") + paths_.bridgeDirectory + u'/' + name);
  }
  const QString header = scripts.join(u'\n');
  // A file that is not there yet is all new lines.
  const auto current = [](const QString& path) {
    auto file = readExistingFile(path);
    return file && file->exists ? QString::fromUtf8(file->bytes) : QString();
  };
  if (isOneOf(toolID, {"claude", "claude-code"})) {
    auto planned = plannedClaudeSettings();
    if (!planned) {
      return planned;
    }
    return header + QStringLiteral("\n\n") +
           unifiedDiff(paths_.claudeSettings, current(paths_.claudeSettings), planned.value());
  }
  if (isOneOf(toolID, {"codex", "codex-cli"})) {
    auto config = plannedCodexConfig();
    if (!config) {
      return config;
    }
    auto hooks = plannedCodexHooks();
    if (!hooks) {
      return hooks;
    }
    return header + QStringLiteral("\n\n") + QStringLiteral("Codex hooks:\n+ [features] hooks = true\n+ ") +
           paths_.codexHooks + QStringLiteral(": PermissionRequest, UserPromptSubmit, Stop") +
           QStringLiteral("\n+ approval gate: PermissionRequest, Stop (waits up to %1 s)")
               .arg(kGateTimeoutSeconds) +
           QStringLiteral("\n\n") + unifiedDiff(paths_.codexConfig, current(paths_.codexConfig), config.value()) +
           QStringLiteral("\n\n") + unifiedDiff(paths_.codexHooks, current(paths_.codexHooks), hooks.value());
  }
  if (isOneOf(toolID, {"opencode", "opencode-cli"})) {
    auto plugin = embeddedHookText(kPlugin);
    if (!plugin) {
      return Result<QString>::failure(plugin.error());
    }
    return header + QStringLiteral("\nOpenCode plugin:\n+ ") + paths_.opencodePlugin +
           QStringLiteral("\n\n") +
           unifiedDiff(paths_.opencodePlugin, current(paths_.opencodePlugin), QString::fromUtf8(plugin.value()));
  }
  if (isWrapperTool(toolID)) {
    return header + QStringLiteral("\nWrapper adapter:\n+ ") + wrapperPath() +
           QStringLiteral("\n\nUsage:\n") + wrapperPath() + QStringLiteral(" --source ") + toolID +
           kWrapperUsage;
  }
  return QStringLiteral("No hook writer is available for this adapter yet.");
}

}  // namespace tandrel
