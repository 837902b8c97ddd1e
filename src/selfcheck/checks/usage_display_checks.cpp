#include "selfcheck/checks/usage_display_checks.h"

#include "catalog/tool_catalog.h"
#include "events/event_store.h"
#include "island/collapsed_ticker.h"
#include "selfcheck/checks/check_group.h"
#include "selfcheck/fixture_builders.h"
#include "usage/usage_dates.h"
#include "usage/usage_eligibility.h"
#include "usage/usage_snapshot.h"

#include <QJsonObject>

#include <algorithm>
#include <cmath>
#include <optional>

namespace tandrel {

namespace {

const UsageEligibility* eligibilityOf(const std::vector<UsageEligibility>& all, const char* toolID) {
  const auto found = std::find_if(all.begin(), all.end(),
                                  [toolID](const UsageEligibility& e) { return e.toolID == QLatin1String(toolID); });
  return found == all.end() ? nullptr : &*found;
}

}  // namespace

std::vector<ToolHealth> carouselHealth() {
  return catalogueToolHealth(
      [](const QString& id) { return id == u"cursor-ide" ? HookStatus::alpha : HookStatus::healthy; });
}

QStringList carouselNames(EventStore& store, const QDateTime& now) {
  return eligibleUsageToolNames(carouselHealth(), {}, store, true, now);
}

void runUsageSnapshotAndCarouselChecks(SelfCheckFailures& failures, EventStore& store) {
  const auto check = [&](bool condition, const char* sentence) {
    failures.check(condition, QString::fromUtf8(sentence));
  };

  if (const std::optional<UsageSnapshot> codex = store.latestUsage(QStringLiteral("Codex CLI"))) {
    check(metricLabel(codex->context) == u"1200 / 8000", "usage context label should use real token values");
    check(metricLabel(codex->tokens) == u"3.2k total", "usage tokens should show input/output/total data");
    check(metricLabel(codex->cost) == u"$0.42", "usage cost should show real cost when provided");
    const double fiveHourPercent = codex->fiveHour && codex->fiveHour->percent ? *codex->fiveHour->percent : -1;
    check(std::trunc(fiveHourPercent) == 42, "5-hour percent should parse");
    check(codex->fiveHour && codex->fiveHour->suffix == u"11:30",
          "5-hour reset should render as a compact reset time without a window suffix");
    check(!codex->weekly, "missing weekly usage should not render a Not provided placeholder");
    const QStringList rows = usageRowLabels(*codex);
    check(rows.mid(0, 3) == QStringList({"Context window", "5-hour limit", "7-day limit"}),
          "usage rows should keep the 7-day slot when weekly data is unavailable");
    check(!rows.contains(QStringLiteral("Tokens")), "usage rows should not show token totals in the panel");
    check(metricLabel(codex->rateLimit) == u"Blocked", "rate limit should live on the usage snapshot");
    check(codex->dataSource == u"rollout", "usage snapshot should preserve source provenance");
  } else {
    check(false, "usage snapshot missing");
  }

  if (const std::optional<UsageSnapshot> kilo = store.latestUsage(QStringLiteral("Kilo Code"))) {
    check(metricLabel(kilo->tokens) == u"13.9k total", "Kilo Code usage should be available in the usage module");
    check(metricLabel(kilo->fiveHour) == u"24% left", "remaining quota labels should use left for any wrapper-backed tool");
    check(kilo->dataSource == u"wrapper", "Kilo Code usage should preserve wrapper provenance");
  } else {
    check(false, "Kilo Code usage snapshot missing");
  }

  const QDateTime now = QDateTime::currentDateTimeUtc();
  const QStringList names = carouselNames(store, now);
  check(names.contains(QStringLiteral("Codex")),
        "Codex brand should enter usage carousel when Codex CLI is enabled, healthy, and backed by rollout usage");
  check(!names.contains(QStringLiteral("Codex CLI")),
        "Codex CLI should be grouped under the Codex brand in the usage carousel");
  check(names.contains(QStringLiteral("Kilo Code")), "explicit wrapper usage should enter usage carousel");
  check(!names.contains(QStringLiteral("Cursor IDE")),
        "jump-only Cursor IDE should not enter usage carousel without usage");
  check(!names.contains(QStringLiteral("Pi")), "message-only Pi should not enter usage carousel without usage");
  check(!names.contains(QStringLiteral("Claude App")),
        "jump-only Claude App should not enter usage carousel without app usage");
  check(!names.contains(QStringLiteral("Codex App")),
        "Codex App should not enter usage carousel without app-server usage");
  const QStringList withoutCodex =
      eligibleUsageToolNames(carouselHealth(), {QStringLiteral("codex-cli")}, store, true, now);
  check(!withoutCodex.contains(QStringLiteral("Codex")), "disabled Codex CLI should not enter usage carousel");
}

namespace {

class UsageEligibilityGroup : CheckGroup {
 public:
  using CheckGroup::CheckGroup;

  void run() {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    // Never written: its store sees no events.
    EventStore empty(fixtureStoreOptions("empty-events.jsonl"));
    empty.reload(false);
    check(carouselNames(empty, now).isEmpty(), "no eligible usage should not fall back to hardcoded tools");
    checkReasons(empty, now);
    checkStaleUsage(now);
    checkColdStart(now);
  }

 private:
  // A store over one bridge file of the run's folder, auditing beside it, reading no agent folder.
  EventStoreOptions fixtureStoreOptions(const char* eventFile) const {
    return storeOptionsWithoutAgentFolders(path(eventFile), path("usage-eligibility-audit.jsonl"));
  }

  void checkReasons(EventStore& empty, const QDateTime& now) {
    const QSet<QString> sourceClassTools{"claude-code",  "codex-cli",  "gemini-cli",       "claude-app",
                                         "codex-app",    "cursor-ide", "cursor-agent-cli", "trae-agent-cli",
                                         "opencode-cli", "vscode-host"};
    const std::vector<UsageEligibility> eligibility = deriveUsageEligibility(
        catalogueToolHealth([&](const QString& id) -> std::optional<HookStatus> {
          if (sourceClassTools.contains(id)) return HookStatus::healthy;
          return std::nullopt;
        }), {}, empty, false, now);
    const struct {
      const char* toolID;
      UsageEligibilityReason reason;
      const char* sentence;
    } rows[] = {
        {"claude-app", UsageEligibilityReason::jumpOnly, "Claude App should be jump-only for usage"},
        {"cursor-ide", UsageEligibilityReason::jumpOnly, "Cursor IDE should be jump-only for usage"},
        {"cursor-agent-cli", UsageEligibilityReason::wrapperMissing,
         "Cursor Agent CLI should require wrapper bridge before stream-json usage"},
        {"trae-agent-cli", UsageEligibilityReason::waitingFirstUsage,
         "Trae Agent CLI should wait for trajectory usage"},
        {"opencode-cli", UsageEligibilityReason::waitingFirstUsage, "OpenCode CLI should wait for plugin usage"},
        {"vscode-host", UsageEligibilityReason::jumpOnly, "VS Code host should be jump-only for usage"},
        {"gemini-cli", UsageEligibilityReason::wrapperMissing, "Gemini CLI should require wrapper bridge before usage"},
        {"codex-app", UsageEligibilityReason::remoteSetupRequired, "Codex App should wait for app-server usage source"},
    };
    for (const auto& row : rows) {
      const UsageEligibility* found = eligibilityOf(eligibility, row.toolID);
      check(found != nullptr && found->reason == row.reason, row.sentence);
    }

    if (const UsageEligibility* gemini = eligibilityOf(eligibility, "gemini-cli")) {
      check(reasonBadge(*gemini).contains(QStringLiteral("Needs wrapper bridge")),
            "Gemini reason badge should explain missing wrapper");
    } else {
      check(false, "Gemini CLI source-class eligibility missing");
    }
    const QStringList removed{"qwen-code-cli", "qoder-cli", "codebuddy-code-cli"};
    const std::vector<AIToolCatalogItem>& catalogue = aiToolCatalog();
    check(std::none_of(catalogue.begin(), catalogue.end(),
                       [&](const AIToolCatalogItem& item) { return removed.contains(item.id); }),
          "removed light connectors should not render in the AI tool catalog");
  }

  void checkStaleUsage(const QDateTime& now) {
    const QJsonObject usage{{QStringLiteral("total_tokens"), 1000},
                            {QStringLiteral("data_source"), QStringLiteral("rollout")}};
    if (!writeJSONLines({testEvent("stale-codex", "codex", "task_completed", "info", "Old Codex completed", "Old usage",
                                   std::nullopt, usage, QStringLiteral("2020-01-01T00:00:00Z"))},
                        path("stale-events.jsonl"))) {
      check(false, "could not write stale usage fixture");
      return;
    }
    EventStore stale(fixtureStoreOptions("stale-events.jsonl"));
    stale.reload(false);
    check(carouselNames(stale, now).isEmpty(), "stale usage should not enter usage carousel");
  }

  // A Claude status-line reading 20 minutes old followed by 650 newer completions: it lies beyond
  // the store's active tail of 500 events, and still has to be found when the store loads.
  void checkColdStart(const QDateTime& now) {
    const QJsonObject usage{{QStringLiteral("tool_id"), QStringLiteral("claude-code")},
                            {QStringLiteral("data_source"), QStringLiteral("statusline")},
                            {QStringLiteral("limit_5h_label"), QStringLiteral("12% used")},
                            {QStringLiteral("limit_5h_percent"), 12},
                            {QStringLiteral("weekly_label"), QStringLiteral("34% used")},
                            {QStringLiteral("weekly_percent"), 34}};
    std::vector<QJsonObject> records{testEvent("claude-statusline-history-seed", "claude_code", "task_updated", "info",
                                               "Claude Code usage updated", "StatusLine usage", std::nullopt, usage,
                                               formatUsageDate(now.addSecs(-1200)),
                                               {{QStringLiteral("notify_policy"), QStringLiteral("usage_only")}})};
    for (int i = 0; i < 650; ++i) {
      records.push_back(testEvent(QStringLiteral("cold-start-noise-%1").arg(i), "codex", "task_completed", "info",
                                  QStringLiteral("Cold start noise %1").arg(i), "Completed task", std::nullopt,
                                  std::nullopt, formatUsageDate(now.addSecs(-1140 + i))));
    }
    if (!written(writeJSONLines(records, path("cold-start-usage-history-events.jsonl")),
                 "cold-start usage history fixture")) {
      return;
    }
    EventStore coldStart(fixtureStoreOptions("cold-start-usage-history-events.jsonl"));
    coldStart.reload(false);
    if (const std::optional<UsageSnapshot> claude = coldStart.latestUsage(QStringLiteral("Claude"))) {
      check(claude->label == u"5h 12% used · 7d 34% used",
            "Claude cold-start headline should show both 5h and 7d quota values");
      check(metricLabel(claude->fiveHour) == u"12% used",
            "cold start should seed Claude 5h usage from history beyond the active event tail");
      check(metricLabel(claude->weekly) == u"34% used",
            "cold start should seed Claude 7d usage from history beyond the active event tail");
    } else {
      check(false, "cold-start Claude statusline usage seed missing");
    }
    check(carouselNames(coldStart, now).contains(QStringLiteral("Claude")),
          "recent historical Claude statusLine usage should be eligible immediately after cold start");
    std::vector<ToolHealth> undetectedClaude = carouselHealth();
    for (ToolHealth& tool : undetectedClaude) {
      if (tool.id == u"claude-code") tool.detected = false;
    }
    const QStringList names = eligibleUsageToolNames(undetectedClaude, {}, coldStart, true, now);
    check(!names.isEmpty() && names.first() == u"Claude",
          "fresh Claude statusLine usage should be the default usage tab even when the GUI process cannot detect the "
          "claude command");
  }
};

}  // namespace

void runUsageEligibilityChecks(SelfCheckFailures& failures, const QString& tempRoot) {
  UsageEligibilityGroup(failures, tempRoot).run();
}

}  // namespace tandrel
