#include "selfcheck/checks/usage_merge_hotplug_checks.h"

#include "events/event_store.h"
#include "island/collapsed_ticker.h"
#include "jump/jump_resolver.h"
#include "selfcheck/checks/check_group.h"
#include "selfcheck/fixture_builders.h"
#include "usage/scanners/local_usage_file_event_cache.h"
#include "usage/usage_dates.h"
#include "usage/usage_snapshot.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace tandrel {

namespace {

QStringList buttonLabels(const IslandMessage& message) {
  QStringList labels;
  for (const IslandButton& button : message.buttons) labels << button.label;
  return labels;
}

// Whether Claude's brand enters the carousel while Claude Code's hooks need repair and no other
// tool is installed.
bool claudeEligibleWhileHooksNeedRepair(EventStore& store) {
  const std::vector<ToolHealth> health = catalogueToolHealth([](const QString& id) -> std::optional<HookStatus> {
    if (id == u"claude-code") return HookStatus::repair;
    return std::nullopt;
  });
  return eligibleUsageToolNames(health, {}, store, true, QDateTime::currentDateTimeUtc()).contains(QStringLiteral("Claude"));
}

QJsonObject claudeUsage(std::initializer_list<std::pair<const char*, QJsonValue>> values) {
  QJsonObject usage{{QStringLiteral("tool_id"), QStringLiteral("claude-code")}};
  for (const auto& [key, value] : values) usage.insert(QString::fromLatin1(key), value);
  return usage;
}

QJsonObject rateLimitedRecord(const char* id, const QString& timestamp) {
  return testEvent(
      QString::fromLatin1(id), "claude_code", "rate_limited", "critical", "Claude Code rate limit", "Limited",
      std::nullopt,
      claudeUsage({{"data_source", QStringLiteral("hook")}, {"quota_label", QStringLiteral("Rate limited")}}),
      timestamp);
}

class ClaudeBrandMergeGroup : CheckGroup {
 public:
  using CheckGroup::CheckGroup;

  void run() {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    checkRateLimitKeepsTranscript(now);
    checkStatusLineReplacesStaleBlock(now);
  }

 private:
  std::optional<UsageSnapshot> claudeUsageOf(const char* eventFile, const char* auditFile,
                                             std::unique_ptr<EventStore>& store) const {
    store = std::make_unique<EventStore>(storeOptionsWithoutAgentFolders(path(eventFile), path(auditFile)));
    store->reload(false);
    return store->latestUsage(QStringLiteral("Claude"));
  }

  // A transcript reading a minute old, then a hook's rate-limit signal now.
  void checkRateLimitKeepsTranscript(const QDateTime& now) {
    const QString older = formatUsageDate(now.addSecs(-60));
    const QJsonObject transcript = claudeUsage({{"data_source", QStringLiteral("transcript")},
                                                {"observed_at", older},
                                                {"context_remaining", QStringLiteral("64.2k")},
                                                {"context_total", QStringLiteral("200k")},
                                                {"context_remaining_percent", 32.1},
                                                {"input_tokens", 589},
                                                {"output_tokens", 76},
                                                {"cache_read_tokens", 135168}});
    const std::vector<QJsonObject> records{
        testEvent("claude-transcript-context", "claude_code", "task_completed", "info", "Claude transcript",
                  "Transcript usage", std::nullopt, transcript, older),
        rateLimitedRecord("claude-rate-limited", formatUsageDate(now)),
    };
    if (!written(writeJSONLines(records, path("merged-claude-events.jsonl")), "merged Claude usage fixture")) return;
    std::unique_ptr<EventStore> store;
    const std::optional<UsageSnapshot> merged =
        claudeUsageOf("merged-claude-events.jsonl", "merged-claude-audit.jsonl", store);
    if (!merged) {
      check(false, "merged Claude brand usage missing");
      return;
    }
    check(metricLabel(merged->context) == u"64.2k / 200k",
          "Claude brand usage should keep transcript remaining context when a newer rate-limit event exists");
    check(metricLabel(merged->tokens) == u"665 total",
          "Claude brand usage should keep transcript token data when a newer rate-limit event exists");
    // A quota label that says the limit is reached makes a rate-limit meter, not a five-hour one;
    // the "5-hour limit" row shows it.
    const std::vector<std::pair<QString, UsageMetric>> meterRows = merged->rows();
    const auto fiveHourRow =
        std::find_if(meterRows.begin(), meterRows.end(), [](const auto& row) { return row.first == u"5-hour limit"; });
    check(fiveHourRow != meterRows.end() && fiveHourRow->second.label == u"Blocked",
          "Claude brand usage should show the newer rate-limit signal in the 5-hour slot");
    const QStringList rows = usageRowLabels(*merged);
    check(rows.mid(0, 3) == QStringList({"Context window", "5-hour limit", "7-day limit"}),
          "Claude brand usage rows should keep the 7-day slot after metric merge");
    check(!rows.contains(QStringLiteral("Tokens")),
          "Claude brand usage rows should not include token totals after metric merge");
    check(claudeEligibleWhileHooksNeedRepair(*store),
          "Claude transcript usage should stay eligible when a newer hook-only event exists and hooks need repair");
  }

  // A blocked signal two minutes old, then a status-line reading now.
  void checkStatusLineReplacesStaleBlock(const QDateTime& now) {
    const QJsonObject statusLine = claudeUsage({{"data_source", QStringLiteral("statusline")},
                                                {"observed_at", formatUsageDate(now)},
                                                {"limit_5h_label", QStringLiteral("85% used")},
                                                {"limit_5h_percent", 85},
                                                {"limit_5h_reset", QStringLiteral("11:30")}});
    const std::vector<QJsonObject> records{
        rateLimitedRecord("claude-stale-rate-limited", formatUsageDate(now.addSecs(-120))),
        testEvent("claude-statusline-current", "claude_code", "task_updated", "info", "Claude Code usage updated",
                  "StatusLine usage", std::nullopt, statusLine, formatUsageDate(now)),
    };
    if (!written(writeJSONLines(records, path("stale-blocked-claude-events.jsonl")),
                 "stale blocked Claude usage fixture")) {
      return;
    }
    std::unique_ptr<EventStore> store;
    const std::optional<UsageSnapshot> merged =
        claudeUsageOf("stale-blocked-claude-events.jsonl", "stale-blocked-claude-audit.jsonl", store);
    if (!merged) {
      check(false, "stale blocked Claude usage fixture missing");
      return;
    }
    check(merged->label == u"5h limit · 85% used",
          "fresh Claude statusline usage should own the collapsed status label");
    check(metricLabel(merged->fiveHour) == u"85% used",
          "fresh Claude statusline usage should own the usage panel 5-hour row");
    check(!merged->rateLimit,
          "stale Claude blocked signal should not keep the pet or capsule blocked after newer statusline usage");
  }
};

// ---- Local transcripts and hot-plug loaders ----

// A sample project on this platform, and the folder Codex ran in.
constexpr const char* kWorkspace = "/home/dev/Workspace/tandrel";
constexpr const char* kCodexSession = "019e2677-16d1-7b70-bbdf-b53e9c13ada0";
constexpr const char* kCodexCommand = "npx release-check --version";

QString codexWorkdir() { return QString::fromLatin1(kWorkspace) + QStringLiteral("/.codex/update"); }

QJsonObject rolloutLine(const QString& timestamp, const char* type, const QJsonObject& payload) {
  return {{QStringLiteral("timestamp"), timestamp},
          {QStringLiteral("type"), QString::fromLatin1(type)},
          {QStringLiteral("payload"), payload}};
}

// Finds the cmux session of the Codex fixture, its app and command only.
JumpResolver cmuxOnlyResolver() {
  JumpResolver resolver;
  const auto only = [](const char* accepted) {
    return [accepted](const QString& value) { return value == QLatin1String(accepted); };
  };
  resolver.commandExists = only("cmux");
  resolver.appExists = only("/Applications/cmux.app");
  resolver.appBundleExists = only("com.cmuxterm.app");
  resolver.cmuxSessionExists = only("cmux-update-session");
  return resolver;
}

const IslandMessage* firstMessage(EventStore& store, const std::function<bool(const TandrelEvent&)>& matches) {
  const std::vector<IslandMessage>& messages = store.allMessages();
  const auto found = std::find_if(messages.begin(), messages.end(),
                                  [&](const IslandMessage& message) { return matches(message.event); });
  return found == messages.end() ? nullptr : &*found;
}

std::function<bool(const TandrelEvent&)> ofSession(const char* session) {
  return [session](const TandrelEvent& event) { return event.sessionId == QLatin1String(session); };
}

class HotplugGroup : CheckGroup {
 public:
  using CheckGroup::CheckGroup;

  void run() {
    now_ = QDateTime::currentDateTimeUtc();
    if (!writeMtimeFixture() || !writeClaudeHotplugFixture() || !writeCursorFixture() || !writeTraeFixture() ||
        !writeCodexFixture()) {
      return;
    }
    std::unique_ptr<EventStore> mtimeStore;
    std::optional<UsageSnapshot> mtimeClaude;
    checkMtimeTranscript(mtimeStore, mtimeClaude);
    checkHotplugLoaders(*mtimeStore, mtimeClaude);
  }

 private:
  // A store over one bridge file of the run's folder that reads only the given agent folders.
  EventStoreOptions options(const char* eventFile) const {
    const QString events = path(eventFile);
    return storeOptionsWithoutAgentFolders(
        events, QString(events).replace(QStringLiteral(".jsonl"), QStringLiteral("-audit.jsonl")));
  }
  // An empty bridge file, and the data folder emptied of what an earlier run left.
  std::optional<QString> emptyEventsAndFolder(const char* eventFile, const char* folder, const char* fixture) {
    if (!written(writeJSONLines({}, path(eventFile)), fixture)) return std::nullopt;
    return freshFolder(folder, fixture);
  }

  // An answer 70 minutes old in a transcript written just now: the session is active.
  bool writeMtimeFixture() {
    const char* fixture = "mtime-backed Claude usage fixture";
    const std::optional<QString> root =
        emptyEventsAndFolder("mtime-empty-events.jsonl", "mtime-claude-projects", fixture);
    if (!root) return false;
    const QJsonObject usage{{QStringLiteral("input_tokens"), 1200},
                            {QStringLiteral("output_tokens"), 340},
                            {QStringLiteral("cache_read_input_tokens"), 48000},
                            {QStringLiteral("cache_creation_input_tokens"), 900}};
    const QJsonObject record{{QStringLiteral("timestamp"), formatUsageDate(now_.addSecs(-4200))},
                             {QStringLiteral("type"), QStringLiteral("assistant")},
                             {QStringLiteral("message"), QJsonObject{{QStringLiteral("usage"), usage}}}};
    mtimeRoot_ = *root;
    return written(writeJSONLines({record}, *root + QStringLiteral("/project-active/session-active.jsonl")), fixture);
  }

  // A Write the user has not answered yet, as Claude Code records it before the tool runs.
  bool writeClaudeHotplugFixture() {
    const char* fixture = "Claude hotplug permission fixture";
    const std::optional<QString> root =
        emptyEventsAndFolder("hotplug-empty-events.jsonl", "hotplug-claude-projects", fixture);
    if (!root) return false;
    const QString stamp = formatUsageDate(now_.addSecs(-30));
    const QJsonObject user{
        {QStringLiteral("timestamp"), stamp},
        {QStringLiteral("type"), QStringLiteral("user")},
        {QStringLiteral("message"), QJsonObject{{QStringLiteral("role"), QStringLiteral("user")},
                                                {QStringLiteral("content"), QStringLiteral("测试，请你请求我权限")}}}};
    const QJsonObject toolUse{
        {QStringLiteral("type"), QStringLiteral("tool_use")},
        {QStringLiteral("id"), QStringLiteral("toolu_hotplug_write")},
        {QStringLiteral("name"), QStringLiteral("Write")},
        {QStringLiteral("input"), QJsonObject{{QStringLiteral("file_path"), QStringLiteral("/tmp/test-permission.txt")},
                                              {QStringLiteral("content"), QStringLiteral("测试权限请求")}}}};
    const QJsonObject assistant{
        {QStringLiteral("timestamp"), formatUsageDate(now_.addSecs(-20))},
        {QStringLiteral("type"), QStringLiteral("assistant")},
        {QStringLiteral("cwd"), QStringLiteral("/tmp/tandrel")},
        {QStringLiteral("sessionId"), QStringLiteral("claude-hotplug-session")},
        {QStringLiteral("message"), QJsonObject{{QStringLiteral("role"), QStringLiteral("assistant")},
                                                {QStringLiteral("content"), QJsonArray{toolUse}}}}};
    claudeRoot_ = *root;
    return written(writeJSONLines({user, assistant}, *root + QStringLiteral("/project-a/session-hotplug.jsonl")),
                   fixture);
  }

  // The user's request in Cursor's wrapper tags and the agent's final answer.
  bool writeCursorFixture() {
    const char* fixture = "Cursor hotplug completion fixture";
    const std::optional<QString> root =
        emptyEventsAndFolder("cursor-hotplug-empty-events.jsonl", "cursor-hotplug-projects", fixture);
    if (!root) return false;
    const auto text = [](const char* role, const char* content) {
      const QJsonObject part{{QStringLiteral("type"), QStringLiteral("text")},
                             {QStringLiteral("text"), QString::fromUtf8(content)}};
      return QJsonObject{{QStringLiteral("role"), QString::fromLatin1(role)},
                         {QStringLiteral("message"), QJsonObject{{QStringLiteral("content"), QJsonArray{part}}}}};
    };
    // Cursor names the project folder after the workspace, its slashes turned into dashes.
    const QString project = QString::fromLatin1(kWorkspace).mid(1).replace(u'/', u'-');
    cursorRoot_ = *root;
    return written(writeJSONLines({text("user", "<user_query>\n修复 Cursor 任务完成通知\n</user_query>"),
                                   text("assistant", "已修复 Cursor 完成通知。")},
                                  *root + u'/' + project +
                                      QStringLiteral("/agent-transcripts/cursor-session/cursor-session.jsonl")),
                   fixture);
  }

  // A completion that Trae SOLO announced with its own sound half an hour ago.
  bool writeTraeFixture() {
    const char* fixture = "Trae hotplug completion fixture";
    const std::optional<QString> root =
        emptyEventsAndFolder("trae-hotplug-empty-events.jsonl", "trae-hotplug-logs", fixture);
    if (!root) return false;
    const QString line =
        formatUsageDate(now_.addSecs(-1800)) +
        QStringLiteral(
            " [info] [ai-chat][ai-chat][☕] event:  code_comp_complete_shown ; params:  "
            "{\"session_id\":\"trae-session\",\"message_id\":\"trae-message\",\"agent_name\":\"SOLO Coder\","
            "\"agent_id\":\"solo_coder\",\"is_sound_notif\":1}\n");
    traeRoot_ = *root;
    return written(writeFileAtomically(line.toUtf8(), *root + QStringLiteral("/20260515T231846/window1/renderer.log")),
                   fixture);
  }

  // A bridge event of the Codex session that names its cmux session, and the session's rollout
  // with the user's prompt and a command waiting for escalated permissions.
  bool writeCodexFixture() {
    const char* fixture = "Codex hotplug permission fixture";
    const QString session = QString::fromLatin1(kCodexSession);
    const QJsonObject cmux{{QStringLiteral("kind"), QStringLiteral("cmux")},
                           {QStringLiteral("session_id"), QStringLiteral("cmux-update-session")},
                           {QStringLiteral("cwd"), codexWorkdir()}};
    const QJsonObject known =
        testEvent("codex-hotplug-known-jump", "codex", "task_completed", "info", "Previous completion", "Done",
                  std::nullopt, std::nullopt, formatUsageDate(now_.addSecs(-600)),
                  {{QStringLiteral("session_id"), session}, {QStringLiteral("jump_target"), cmux}});
    if (!written(writeJSONLines({known}, path("hotplug-codex-events.jsonl")), fixture)) return false;
    const std::optional<QString> root = freshFolder("hotplug-codex-sessions", fixture);
    if (!root) return false;
    const QString stamp = formatUsageDate(now_.addSecs(-60));
    // Codex writes a call's arguments as compact JSON text, keys in the order it asked.
    const QString argumentText = QStringLiteral(
                                     "{\"cmd\":\"%1\",\"workdir\":\"%2\",\"sandbox_permissions\":\"require_escalated\","
                                     "\"justification\":\"允许我通过 npx 运行发布检查工具\"}")
                                     .arg(QString::fromLatin1(kCodexCommand), codexWorkdir());
    const std::vector<QJsonObject> records{
        rolloutLine(stamp, "session_meta", {{QStringLiteral("id"), session}, {QStringLiteral("cwd"), codexWorkdir()}}),
        rolloutLine(stamp, "turn_context", {{QStringLiteral("cwd"), codexWorkdir()}}),
        rolloutLine(stamp, "event_msg",
                    {{QStringLiteral("type"), QStringLiteral("user_message")},
                     {QStringLiteral("message"), QStringLiteral("上传测试安装包到服务器")}}),
        rolloutLine(stamp, "response_item",
                    {{QStringLiteral("type"), QStringLiteral("function_call")},
                     {QStringLiteral("name"), QStringLiteral("exec_command")},
                     {QStringLiteral("call_id"), QStringLiteral("call_release_check")},
                     {QStringLiteral("arguments"), argumentText}}),
    };
    codexRoot_ = *root;
    return written(writeJSONLines(records, *root + QStringLiteral("/2026/05/14/rollout-2026-05-14T20-29-59-") +
                                               session + QStringLiteral(".jsonl")),
                   fixture);
  }

  // A store over the mtime fixture, as the application reads Claude's projects.
  void checkMtimeTranscript(std::unique_ptr<EventStore>& store, std::optional<UsageSnapshot>& claude) {
    EventStoreOptions mtime = options("mtime-empty-events.jsonl");
    mtime.claudeProjectsRoot = mtimeRoot_;
    store = std::make_unique<EventStore>(std::move(mtime));
    store->reload(false);
    store->ensureMessageCache();
    const std::vector<IslandMessage>& inbox = store->cachedAllMessages();
    check(std::none_of(inbox.begin(), inbox.end(),
                       [](const IslandMessage& message) {
                         return std::any_of(
                             message.events.begin(), message.events.end(), [](const TandrelEvent& event) {
                               return event.usage && event.usage->sourceClass == UsageSourceClass::stableLocalLoader;
                             });
                       }),
          "local usage loader snapshots should not enter the message inbox");
    claude = store->latestUsage(QStringLiteral("Claude"));
    check(claude.has_value(), "mtime-backed Claude transcript usage missing");
  }

  // A store over one hot-plug fixture: its bridge file, the data folder `setRoot` gives it, and
  // no local usage, so that only the hot-plug loader brings events from agent files.
  std::unique_ptr<EventStore> hotplugStore(const char* eventFile,
                                           const std::function<void(EventStoreOptions&)>& setRoot) {
    EventStoreOptions hotplug = options(eventFile);
    hotplug.localUsageLoader = [](const std::optional<QString>&, const std::optional<QString>&,
                                  const std::optional<QString>&) { return std::vector<TandrelEvent>{}; };
    setRoot(hotplug);
    auto store = std::make_unique<EventStore>(std::move(hotplug));
    store->reload(false);
    return store;
  }

  void checkHotplugLoaders(EventStore& mtimeStore, const std::optional<UsageSnapshot>& mtimeClaude) {
    // The hot-plug loaders read their files afresh.
    clearLocalUsageFileEventCache();
    const auto claudeStore =
        hotplugStore("hotplug-empty-events.jsonl", [&](EventStoreOptions& o) { o.claudeProjectsRoot = claudeRoot_; });
    const auto cursorStore = hotplugStore("cursor-hotplug-empty-events.jsonl",
                                          [&](EventStoreOptions& o) { o.cursorProjectsRoot = cursorRoot_; });
    const auto codexStore = hotplugStore("hotplug-codex-events.jsonl", [&](EventStoreOptions& o) {
      o.codexSessionsRoot = codexRoot_;
      o.jumpResolver = cmuxOnlyResolver();
    });
    const auto traeStore =
        hotplugStore("trae-hotplug-empty-events.jsonl", [&](EventStoreOptions& o) { o.traeLogsRoot = traeRoot_; });

    check(firstMessage(*claudeStore, ofSession("claude-hotplug-session")) == nullptr,
          "Claude transcript loader must NOT synthesize permission_request events — in-flight auto-approved tool_uses "
          "look identical and produced false approval cards");
    const IslandMessage* cursor = firstMessage(*cursorStore, ofSession("cursor-session"));
    check(cursor != nullptr, "Cursor transcript completion message missing");
    const IslandMessage* codex = firstMessage(*codexStore, [](const TandrelEvent& event) {
      return event.source == u"codex" && event.sourceType == u"stable_local_loader" &&
             event.message.contains(QLatin1String(kCodexCommand));
    });
    check(codex != nullptr, "Codex hotplug permission message missing");
    const IslandMessage* trae = firstMessage(*traeStore, ofSession("trae-session"));
    check(trae != nullptr, "Trae log completion message missing");

    if (mtimeClaude) {
      const std::optional<QDateTime> observed = parseUsageDate(mtimeClaude->observedAt);
      check(observed && std::abs(observed->secsTo(QDateTime::currentDateTimeUtc())) <= 60,
            "Claude transcript loader should refresh observed_at from the transcript file mtime when the session file "
            "is active");
    }
    check(claudeEligibleWhileHooksNeedRepair(mtimeStore),
          "recently modified Claude transcript usage should stay eligible while hooks need repair");

    if (cursor) {
      check(cursor->event.eventType == u"task_completed",
            "Cursor transcript hotplug loader should surface assistant completion messages");
      check(cursor->event.completionSnippet == QStringLiteral("已修复 Cursor 完成通知。"),
            "Cursor transcript completion should preserve the final assistant message");
      check(cursor->preview.user == QStringLiteral("修复 Cursor 任务完成通知"),
            "Cursor transcript completion should preserve the latest user request without wrapper tags");
      check(buttonLabels(*cursor).contains(QStringLiteral("Jump")), "Cursor transcript completion should expose Jump");
    }
    if (codex) {
      check(codex->event.eventType == u"permission_request",
            "Codex hotplug rollout loader should surface pending escalated function calls");
      check(codex->event.message.contains(QLatin1String(kCodexCommand)),
            "Codex hotplug approval should include the requested command");
      check(codex->preview.user == QStringLiteral("上传测试安装包到服务器"),
            "Codex hotplug approval should preserve the latest user prompt");
      check(buttonLabels(*codex) == QStringList({"Jump", "Ignore"}),
            "Codex hotplug approvals should not fake Authorize/Reject without a decision channel");
      check(codex->jump && codex->jump->target ==
                               JumpTarget::cmux(QStringLiteral("cmux-update-session"), std::nullopt, codexWorkdir()),
            "Codex hotplug approval should preserve the bridge cmux session target");
    }
    if (trae) {
      check(trae->event.eventType == u"task_completed",
            "Trae log hotplug loader should keep recent desktop completion events in Messages after Trae's own sound");
      check(trae->event.source == u"trae-solo", "Trae log completion should keep Trae source identity");
      check(trae->event.completionSnippet == QStringLiteral("SOLO Coder completed."),
            "Trae log completion should produce a human-facing completion snippet");
    }
  }

  QDateTime now_;
  QString mtimeRoot_;
  QString claudeRoot_;
  QString cursorRoot_;
  QString traeRoot_;
  QString codexRoot_;
};

}  // namespace

void runClaudeBrandUsageMergeChecks(SelfCheckFailures& failures, const QString& tempRoot) {
  ClaudeBrandMergeGroup(failures, tempRoot).run();
}

void runLocalTranscriptAndHotplugChecks(SelfCheckFailures& failures, const QString& tempRoot) {
  HotplugGroup(failures, tempRoot).run();
}

}  // namespace tandrel
