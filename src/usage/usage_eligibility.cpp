#include "usage/usage_eligibility.h"

#include "catalog/tool_catalog.h"
#include "events/event_store.h"
#include "events/raw_value_table.h"
#include "events/tandrel_event.h"
#include "usage/usage_dates.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <initializer_list>

namespace tandrel {
namespace {

constexpr RawValueTable<UsageEligibilityReason, 11> kReasons{{
    {UsageEligibilityReason::eligible, "eligible"},
    {UsageEligibilityReason::notEnabled, "notEnabled"},
    {UsageEligibilityReason::integrationMissing, "integrationMissing"},
    {UsageEligibilityReason::integrationUnhealthy, "integrationUnhealthy"},
    {UsageEligibilityReason::waitingFirstUsage, "waitingFirstUsage"},
    {UsageEligibilityReason::staleUsage, "staleUsage"},
    {UsageEligibilityReason::jumpOnly, "jumpOnly"},
    {UsageEligibilityReason::messagesOnly, "messagesOnly"},
    {UsageEligibilityReason::wrapperMissing, "wrapperMissing"},
    {UsageEligibilityReason::remoteSetupRequired, "remoteSetupRequired"},
    {UsageEligibilityReason::unsupported, "unsupported"},
}};

constexpr qint64 kLongLivedStaleLimitMs = 21'600'000;  // 6 hours
constexpr qint64 kStaleLimitMs = 600'000;              // 10 minutes

// Data sources whose readings stay fresh for six hours.
constexpr const char* kLongLivedSources[] = {"statusline", "rollout", "transcript", "trajectory", "opencode-plugin"};

// Whether a data source, lower-cased and with "_" as "-", is `normalized` (lower case, ASCII).
bool sameSource(const QString& dataSource, const char* normalized) {
  const qsizetype length = static_cast<qsizetype>(std::strlen(normalized));
  if (dataSource.size() != length) {
    return false;
  }
  for (qsizetype i = 0; i < length; ++i) {
    const char16_t u = dataSource[i].unicode();
    const QChar c = u == u'_' ? QChar(u'-') : u < 0x80 ? QChar(u >= u'A' && u <= u'Z' ? u + 32 : u) : dataSource[i].toLower();
    if (c != QLatin1Char(normalized[i])) {
      return false;
    }
  }
  return true;
}

// How old a reading of that data source may be before it is stale.
qint64 staleLimitMs(const QString& dataSource) {
  const bool longLived = std::any_of(std::begin(kLongLivedSources), std::end(kLongLivedSources),
                                     [&dataSource](const char* source) { return sameSource(dataSource, source); });
  return longLived ? kLongLivedStaleLimitMs : kStaleLimitMs;
}

const qint64 kDistantPastMs = distantPast().toMSecsSinceEpoch();

bool isOneOf(const QString& id, std::initializer_list<const char*> ids) {
  return std::any_of(ids.begin(), ids.end(), [&id](const char* candidate) { return id == QLatin1String(candidate); });
}

// The classes whose readings can put a meter in the carousel.
bool canShowUsage(UsageSourceClass sourceClass) {
  switch (sourceClass) {
    case UsageSourceClass::officialPush:
    case UsageSourceClass::stableLocalLoader:
    case UsageSourceClass::wrapperExplicit:
    case UsageSourceClass::remoteOptIn:
    case UsageSourceClass::rateLimitSignal:
      return true;
    case UsageSourceClass::jumpOnly:
    case UsageSourceClass::messagesOnly:
    case UsageSourceClass::unsupported:
      break;
  }
  return false;
}

// Detected and not missing.
bool isPresent(const ToolHealth& tool) { return tool.detected && tool.status != HookStatus::missing; }

// Whether `a` sorts before `b` by Unicode code points.
bool lessByCodePoints(const QString& a, const QString& b) {
  const auto ua = a.toUcs4();
  const auto ub = b.toUcs4();
  return std::lexicographical_compare(ua.begin(), ua.end(), ub.begin(), ub.end());
}

bool containsIgnoringCase(const QString& text, const char* needle) {
  return text.contains(QLatin1String(needle), Qt::CaseInsensitive);
}

UsageEligibilityReason decide(const ToolHealth& tool, bool disabled, UsageSourceClass sourceClass,
                              const std::optional<UsageSnapshot>& best, const std::optional<UsageSnapshot>& usage,
                              bool stale, bool healthy, bool wrapperBridgeReady) {
  using R = UsageEligibilityReason;
  using C = UsageSourceClass;
  if (disabled) {
    return R::notEnabled;
  }
  if (sourceClass == C::jumpOnly) {
    return R::jumpOnly;
  }
  if (best) {
    return R::eligible;
  }
  if (!isPresent(tool)) {
    return R::integrationMissing;
  }
  if (sourceClass == C::messagesOnly) {
    return R::messagesOnly;
  }
  if (sourceClass == C::wrapperExplicit && !wrapperBridgeReady) {
    return R::wrapperMissing;
  }
  if (sourceClass == C::remoteOptIn && !usage) {
    return R::remoteSetupRequired;
  }
  if (usage) {
    // Without a best reading, `usage` is the tool's newest reading.
    if (usage->toolID != tool.id) {
      return R::unsupported;
    }
    if (stale) {
      return R::staleUsage;
    }
    if (usage->quality != UsageQuality::demo && canShowUsage(sourceClass) && healthy) {
      return R::eligible;
    }
    return healthy ? R::unsupported : R::integrationUnhealthy;
  }
  return healthy ? R::waitingFirstUsage : R::integrationUnhealthy;
}

}  // namespace

QString rawValue(UsageEligibilityReason reason) { return rawValueIn(kReasons, reason); }

std::optional<UsageEligibilityReason> parseUsageEligibilityReason(QStringView raw) {
  return parseRawValueIn(kReasons, raw);
}

std::vector<UsageEligibility> deriveUsageEligibility(const std::vector<ToolHealth>& toolHealth,
                                                     const QSet<QString>& disabledToolIDs, EventStore& store,
                                                     bool wrapperBridgeReady, const QDateTime& now) {
  struct Row {
    const ToolHealth* tool;
    QString sortName;  // the name in canonical composition
  };
  std::vector<Row> rows;
  rows.reserve(toolHealth.size());
  for (const ToolHealth& tool : toolHealth) {
    rows.push_back({&tool, tool.name.normalized(QString::NormalizationForm_C)});
  }
  std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
    if (a.tool->priority != b.tool->priority) {
      return a.tool->priority < b.tool->priority;
    }
    return lessByCodePoints(a.sortName, b.sortName);
  });

  std::vector<UsageEligibility> result;
  result.reserve(rows.size());
  for (const Row& row : rows) {
    const ToolHealth& tool = *row.tool;
    const std::optional<UsageSnapshot> latest = store.latestUsageForToolID(tool.id);
    const std::optional<UsageSnapshot> best = bestUsageForEligibility(tool, store, wrapperBridgeReady, now);
    const std::optional<UsageSnapshot>& usage = best ? best : latest;
    const UsageSourceClass sourceClass = usage ? usage->sourceClass : configuredUsageSourceClass(tool);
    const bool disabled = disabledToolIDs.contains(tool.id);
    const bool stale = latest && isUsageSnapshotStale(*latest, now);
    const bool healthy = integrationIsHealthy(tool, sourceClass, wrapperBridgeReady);

    UsageEligibility eligibility;
    eligibility.toolID = tool.id;
    eligibility.displayName = tool.name;
    eligibility.enabledByUser = !disabled;
    eligibility.integrationHealthy = healthy;
    eligibility.usageObserved = latest.has_value();
    eligibility.stale = stale;
    if (usage) {
      eligibility.latestUsageSource = usage->dataSource;
      eligibility.latestUsageObservedAt = usage->observedAt;
      eligibility.quality = usage->quality;
    }
    eligibility.sourceClass = sourceClass;
    eligibility.reason = decide(tool, disabled, sourceClass, best, usage, stale, healthy, wrapperBridgeReady);
    result.push_back(std::move(eligibility));
  }
  return result;
}

std::optional<UsageSnapshot> bestUsageForEligibility(const ToolHealth& tool, EventStore& store,
                                                     bool wrapperBridgeReady, const QDateTime& now) {
  // The newest kept reading: a later one wins only when strictly later.
  const std::vector<int>& group = store.usageSnapshotIndicesForToolID(tool.id);
  const std::vector<UsageSnapshot>& snapshots = store.cachedUsageSnapshots();
  const std::vector<qint64>& dates = store.cachedUsageSortMs();
  const qint64 nowMs = now.toMSecsSinceEpoch();
  const UsageSnapshot* best = nullptr;
  qint64 bestDate = 0;
  for (const int k : group) {
    const UsageSnapshot& snapshot = snapshots[k];
    if (snapshot.toolID != tool.id || snapshot.quality == UsageQuality::demo || !canShowUsage(snapshot.sourceClass) ||
        !integrationIsHealthy(tool, snapshot.sourceClass, wrapperBridgeReady)) {
      continue;
    }
    // The sort date is the parsed observation time; the distant past stands for one that does not
    // parse, which is never too old.
    const qint64 date = dates[k];
    const bool parsed = date != kDistantPastMs || parseUsageDate(snapshot.observedAt).has_value();
    if (parsed && nowMs - date > staleLimitMs(snapshot.dataSource)) {
      continue;
    }
    if (!best || date > bestDate) {
      best = &snapshot;
      bestDate = date;
    }
  }
  return best ? std::optional<UsageSnapshot>(*best) : std::nullopt;
}

UsageSourceClass configuredUsageSourceClass(const ToolHealth& tool) {
  const QString& id = tool.id;
  if (isOneOf(id, {"claude-app", "cursor-ide", "vscode-host", "kimi-app-web", "trae-ide", "copilot-vscode-extension"})) {
    return UsageSourceClass::jumpOnly;
  }
  if (isOneOf(id, {"codex-app", "trae-solo", "copilot-coding-agent"})) {
    return UsageSourceClass::remoteOptIn;
  }
  if (id == QLatin1String("trae-agent-cli")) {
    return UsageSourceClass::stableLocalLoader;
  }
  if (isOneOf(id, {"opencode-cli", "claude-code", "codex-cli"})) {
    return UsageSourceClass::officialPush;
  }
  if (isOneOf(id, {"cursor-agent-cli", "kilo-code", "pi", "cline", "roo-code", "factory-droid", "gemini-cli",
                   "copilot-cli", "kimi-cli"})) {
    return UsageSourceClass::wrapperExplicit;
  }
  if (hasExactUsageCapability(tool)) {
    return UsageSourceClass::officialPush;
  }
  if (std::any_of(tool.capabilities.begin(), tool.capabilities.end(),
                  [](const QString& capability) { return containsIgnoringCase(capability, "Messages"); })) {
    return UsageSourceClass::messagesOnly;
  }
  return UsageSourceClass::unsupported;
}

bool hasExactUsageCapability(const ToolHealth& tool) {
  return std::any_of(tool.capabilities.begin(), tool.capabilities.end(), [](const QString& capability) {
    return capability.compare(QLatin1String("Usage"), Qt::CaseInsensitive) == 0;
  });
}

bool integrationIsHealthy(const ToolHealth& tool, UsageSourceClass sourceClass, bool wrapperBridgeReady) {
  switch (sourceClass) {
    case UsageSourceClass::officialPush:
    case UsageSourceClass::rateLimitSignal:
      return tool.status == HookStatus::healthy;
    case UsageSourceClass::stableLocalLoader:
    case UsageSourceClass::jumpOnly:
    case UsageSourceClass::messagesOnly:
      return isPresent(tool);
    case UsageSourceClass::wrapperExplicit:
      return isPresent(tool) && wrapperBridgeReady;
    case UsageSourceClass::remoteOptIn:
      return tool.detected && tool.status == HookStatus::healthy;
    case UsageSourceClass::unsupported:
      break;
  }
  return false;
}

bool isUsageSnapshotStale(const UsageSnapshot& snapshot, const QDateTime& now) {
  const auto observed = parseUsageDate(snapshot.observedAt);
  if (!observed) {
    return false;
  }
  return observed->msecsTo(now) > staleLimitMs(snapshot.dataSource);
}

QString reasonBadge(const UsageEligibility& eligibility) {
  using R = UsageEligibilityReason;
  switch (eligibility.reason) {
    case R::eligible: {
      const QString source = eligibility.latestUsageSource.value_or(QString());
      if (source == QLatin1String("rollout")) {
        return QStringLiteral("Rollout usage active");
      }
      if (source == QLatin1String("transcript")) {
        return QStringLiteral("Transcript usage active");
      }
      if (source == QLatin1String("trajectory")) {
        return QStringLiteral("Trajectory usage active");
      }
      if (source == QLatin1String("statusline")) {
        return QStringLiteral("StatusLine usage active");
      }
      if (source == QLatin1String("opencode-plugin")) {
        return QStringLiteral("OpenCode plugin active");
      }
      return QStringLiteral("Live usage ready");
    }
    case R::notEnabled: return QStringLiteral("Disabled in Tandrel");
    case R::integrationMissing: return QStringLiteral("Install tool first");
    case R::integrationUnhealthy: return QStringLiteral("Repair integration");
    case R::waitingFirstUsage: return QStringLiteral("Waiting for first usage");
    case R::staleUsage: return QStringLiteral("Stale usage");
    case R::jumpOnly: return QStringLiteral("No usage source");
    case R::messagesOnly: return QStringLiteral("Messages only");
    case R::wrapperMissing: return QStringLiteral("Needs wrapper bridge");
    case R::remoteSetupRequired: return QStringLiteral("Requires explicit setup");
    case R::unsupported: break;
  }
  return QStringLiteral("Unsupported");
}

QString usageSourceClass(const ToolHealth& tool) {
  const QString& id = tool.id;
  if (isOneOf(id, {"claude-app", "cursor-ide", "trae-ide", "copilot-vscode-extension", "vscode-host", "kimi-app-web",
                   "windsurf"})) {
    return QStringLiteral("jump-only");
  }
  if (isOneOf(id, {"claude-code", "codex-cli", "opencode-cli"})) {
    return QStringLiteral("official-push");
  }
  if (id == QLatin1String("trae-agent-cli")) {
    return QStringLiteral("stable-local-loader");
  }
  if (isOneOf(id, {"codex-app", "trae-solo", "copilot-coding-agent"})) {
    return QStringLiteral("remote-opt-in");
  }
  if (id == QLatin1String("factory-droid")) {
    return QStringLiteral("messages-only");
  }
  if (containsIgnoringCase(tool.integration, "wrapper")) {
    return QStringLiteral("wrapper-explicit");
  }
  return QStringLiteral("unsupported");
}

QString wrapperRunHint(const QString& toolID) {
  const AIToolCatalogItem* item = catalogItem(toolID);
  const QString command = item && !item->commandNames.isEmpty() ? item->commandNames.first() : toolID;
  return QStringLiteral("Run: tandrel-wrap --source %1 -- %2").arg(toolID, command);
}

QString usageReason(const ToolHealth& tool) {
  const QString& id = tool.id;
  if (id == QLatin1String("claude-code")) {
    return QStringLiteral("Hooks + transcript ready");
  }
  if (id == QLatin1String("codex-cli")) {
    return QStringLiteral("Notify + rollout active");
  }
  if (id == QLatin1String("opencode-cli")) {
    return QStringLiteral("OpenCode plugin active");
  }
  if (id == QLatin1String("trae-agent-cli")) {
    return QStringLiteral("Trajectory loader ready");
  }
  if (id == QLatin1String("codex-app")) {
    return QStringLiteral("Waiting app usage");
  }
  if (isOneOf(id, {"trae-solo", "copilot-coding-agent"})) {
    return QStringLiteral("Requires webhook");
  }
  if (id == QLatin1String("factory-droid")) {
    return QStringLiteral("Lifecycle only");
  }
  if (id == QLatin1String("cursor-agent-cli")) {
    return QStringLiteral("Stream JSON wrapper");
  }
  if (isOneOf(id, {"claude-app", "cursor-ide", "trae-ide", "copilot-vscode-extension", "vscode-host", "kimi-app-web",
                   "windsurf"})) {
    return QStringLiteral("No usage");
  }
  if (id == QLatin1String("gemini-cli") || containsIgnoringCase(tool.integration, "wrapper")) {
    // The wrapper is installed and the tool found (a healthy wrapper row): how to run it through.
    if (tool.detected && tool.status == HookStatus::healthy) return wrapperRunHint(id);
    return id == QLatin1String("gemini-cli") ? QStringLiteral("Needs wrapper bridge") : QStringLiteral("Install wrapper");
  }
  return QStringLiteral("Unsupported");
}

}  // namespace tandrel
