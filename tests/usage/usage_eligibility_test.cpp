// Usage eligibility: the reason rules per source class, staleness at its edges, the best reading,
// the order of the result, and the badge and settings-table texts.

#include "usage/usage_eligibility.h"

#include "events/event_store.h"
#include "events/event_store_test_support.h"
#include "usage/usage_dates.h"

#include <gtest/gtest.h>

namespace tandrel {
namespace {

using R = UsageEligibilityReason;
using C = UsageSourceClass;
using Q = UsageQuality;

ToolHealth tool(const QString& id, HookStatus status = HookStatus::healthy, bool detected = true,
                QStringList capabilities = {}, const QString& integration = {}) {
  ToolHealth t;
  t.id = id;
  t.name = id;
  t.status = status;
  t.detected = detected;
  t.capabilities = std::move(capabilities);
  t.integration = integration;
  return t;
}

// One usage reading of `toolID`, `ageSeconds` old (nothing for a time that does not parse).
struct Reading {
  QString toolID;
  QString dataSource;
  std::optional<qint64> ageSeconds;
  Q quality;
  C sourceClass;
};

class UsageEligibilityTest : public ::testing::Test, protected test::StoreFixture {
 protected:
  // A store whose local usage stream holds the readings, in order.
  std::unique_ptr<EventStore> storeWith(const std::vector<Reading>& readings) {
    loaders = std::make_unique<test::FakeLoaders>();
    int n = 0;
    for (const Reading& r : readings) {
      auto e = TandrelEvent::fromDictionary({{"event_id", QStringLiteral("u%1").arg(n++)}});
      UsageSnapshot s;
      s.tool = r.toolID;
      s.toolID = r.toolID;
      s.dataSource = r.dataSource;
      s.observedAt = r.ageSeconds ? formatUsageDate(clock.now().addSecs(-*r.ageSeconds)) : QStringLiteral("soon");
      s.quality = r.quality;
      s.sourceClass = r.sourceClass;
      s.tokens = UsageMetric{QStringLiteral("%1 total").arg(n), {}, std::nullopt, QStringLiteral("ok")};
      applyUsageHeadline(s);
      e->usage = s;
      loaders->usage.push_back(*e);
    }
    auto o = options();
    o.claudeProjectsRoot = home.file("claude-projects");
    loaders->install(o);
    auto store = make(std::move(o));
    store->reload();
    EXPECT_EQ(store->events().size(), readings.size());
    return store;
  }

  std::unique_ptr<test::FakeLoaders> loaders;
};

TEST_F(UsageEligibilityTest, ReasonsFollowTheRules) {
  const Reading rollout5h{"codex-cli", "rollout", 5 * 3600, Q::stableLocal, C::stableLocalLoader};
  const Reading rollout7h{"codex-cli", "rollout", 7 * 3600, Q::stableLocal, C::stableLocalLoader};
  const Reading hook11m{"codex-cli", "hook", 11 * 60, Q::official, C::officialPush};
  const Reading hookNow{"codex-cli", "hook", 30, Q::official, C::officialPush};
  struct Case {
    const char* name;
    ToolHealth tool;
    std::vector<Reading> readings;
    bool disabled;
    bool wrapperReady;
    R reason;
    C sourceClass;
    bool healthy;
    bool stale;
    std::optional<QString> source;  // the data source the decision used
  };
  const std::vector<Case> cases = {
      {"disabled, even with fresh usage", tool("codex-cli"), {rollout5h}, true, true, R::notEnabled,
       C::stableLocalLoader, true, false, "rollout"},
      {"a fresh rollout", tool("codex-cli"), {rollout5h}, false, true, R::eligible, C::stableLocalLoader, true, false,
       "rollout"},
      {"a stale rollout", tool("codex-cli"), {rollout7h}, false, true, R::staleUsage, C::stableLocalLoader, true, true,
       "rollout"},
      {"a hook reading eleven minutes old", tool("codex-cli"), {rollout5h, hook11m}, false, true, R::eligible,
       C::stableLocalLoader, true, true, "rollout"},
      {"the stale hook reading alone", tool("codex-cli"), {hook11m}, false, true, R::staleUsage, C::officialPush, true,
       true, "hook"},
      {"an official reading while the hooks need repair", tool("codex-cli", HookStatus::repair), {hookNow}, false,
       true, R::integrationUnhealthy, C::officialPush, false, false, "hook"},
      {"a stable local reading while the hooks need repair", tool("claude-code", HookStatus::repair),
       {{"claude-code", "transcript", 60, Q::stableLocal, C::stableLocalLoader},
        {"claude-code", "hook", 0, Q::official, C::officialPush}},
       false, true, R::eligible, C::stableLocalLoader, true, false, "transcript"},
      {"a source differing from opencode-plugin in case and separator lives long", tool("opencode-cli"),
       {{"opencode-cli", "OpenCode_Plugin", 2 * 3600, Q::official, C::officialPush}}, false, true, R::eligible,
       C::officialPush, true, false, "OpenCode_Plugin"},
      {"Cursor IDE, detected", tool("cursor-ide"), {}, false, true, R::jumpOnly, C::jumpOnly, true, false, {}},
      {"Cursor IDE, not detected", tool("cursor-ide", HookStatus::missing, false), {}, false, true, R::jumpOnly,
       C::jumpOnly, false, false, {}},
      {"Pi without the wrapper bridge", tool("pi"), {}, false, false, R::wrapperMissing, C::wrapperExplicit, false,
       false, {}},
      {"Pi with the wrapper bridge", tool("pi"), {}, false, true, R::waitingFirstUsage, C::wrapperExplicit, true, false,
       {}},
      {"Codex App without usage", tool("codex-app"), {}, false, true, R::remoteSetupRequired, C::remoteOptIn, true,
       false, {}},
      {"not detected", tool("codex-cli", HookStatus::healthy, false), {}, false, true, R::integrationMissing,
       C::officialPush, true, false, {}},
      {"status missing", tool("codex-cli", HookStatus::missing), {}, false, true, R::integrationMissing,
       C::officialPush, false, false, {}},
      {"not detected, but with a best reading", tool("codex-cli", HookStatus::healthy, false), {hookNow}, false, true,
       R::eligible, C::officialPush, true, false, "hook"},
      {"an unknown tool with Usage, healthy", tool("acme", HookStatus::healthy, true, {"usage"}), {}, false, true,
       R::waitingFirstUsage, C::officialPush, true, false, {}},
      {"an unknown tool with Usage, needing repair", tool("acme", HookStatus::repair, true, {"USAGE"}), {}, false,
       true, R::integrationUnhealthy, C::officialPush, false, false, {}},
      {"an unknown tool with Usage, alpha", tool("acme", HookStatus::alpha, true, {"Usage"}), {}, false, true,
       R::integrationUnhealthy, C::officialPush, false, false, {}},
      {"an unknown tool with messages", tool("acme", HookStatus::healthy, true, {"Agent messages"}), {}, false, true,
       R::messagesOnly, C::messagesOnly, true, false, {}},
      {"an unknown tool with neither", tool("acme", HookStatus::healthy, true, {"Usage stats"}), {}, false, true,
       R::integrationUnhealthy, C::unsupported, false, false, {}},
      {"a demo reading with a healthy integration", tool("codex-cli"),
       {{"codex-cli", "demo", 30, Q::demo, C::officialPush}}, false, true, R::unsupported, C::officialPush, true, false,
       "demo"},
      {"a demo reading without one", tool("codex-cli", HookStatus::repair),
       {{"codex-cli", "demo", 30, Q::demo, C::officialPush}}, false, true, R::integrationUnhealthy, C::officialPush,
       false, false, "demo"},
      {"a reading of a class without meters", tool("codex-cli"),
       {{"codex-cli", "hook", 30, Q::official, C::messagesOnly}}, false, true, R::messagesOnly, C::messagesOnly, true,
       false, "hook"},
      {"a time that does not parse is neither stale nor too old", tool("trae-agent-cli"),
       {{"trae-agent-cli", "trajectory", std::nullopt, Q::stableLocal, C::stableLocalLoader}}, false, true,
       R::eligible, C::stableLocalLoader, true, false, "trajectory"},
      {"Trae Agent CLI present without usage", tool("trae-agent-cli", HookStatus::repair), {}, false, true,
       R::waitingFirstUsage, C::stableLocalLoader, true, false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto store = storeWith(c.readings);
    const QSet<QString> disabled = c.disabled ? QSet<QString>{c.tool.id} : QSet<QString>{};
    const auto result = deriveUsageEligibility({c.tool}, disabled, *store, c.wrapperReady, clock.now());
    ASSERT_EQ(result.size(), 1u);
    const UsageEligibility& e = result[0];
    EXPECT_EQ(rawValue(e.reason), rawValue(c.reason));
    EXPECT_EQ(rawValue(e.sourceClass), rawValue(c.sourceClass));
    EXPECT_EQ(e.integrationHealthy, c.healthy);
    EXPECT_EQ(e.stale, c.stale);
    EXPECT_EQ(e.enabledByUser, !c.disabled);
    EXPECT_EQ(e.usageObserved, !c.readings.empty());
    EXPECT_EQ(e.latestUsageSource, c.source);
    EXPECT_EQ(e.latestUsageObservedAt.has_value(), c.source.has_value());
    EXPECT_EQ(e.quality.has_value(), c.source.has_value());
    EXPECT_EQ(e.toolID, c.tool.id);
    EXPECT_EQ(e.displayName, c.tool.name);
  }
}

TEST_F(UsageEligibilityTest, BestReadingIsTheNewestUsableOne) {
  auto store = storeWith({{"codex-cli", "rollout", 120, Q::stableLocal, C::stableLocalLoader},
                          {"codex-cli", "hook", 60, Q::official, C::officialPush},
                          {"codex-cli", "wrapper", 10, Q::wrapperExplicit, C::wrapperExplicit},
                          {"codex-cli", "hook", 5, Q::demo, C::officialPush}});
  struct Case {
    HookStatus status;
    bool wrapperReady;
    QString expectedTokens;  // of the best reading
  };
  const std::vector<Case> cases = {
      {HookStatus::healthy, true, "3 total"},   // the wrapper reading, newer than the hook's
      {HookStatus::healthy, false, "2 total"},  // no bridge: the hook reading
      {HookStatus::repair, false, "1 total"},   // no healthy hooks: the rollout
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expectedTokens.toStdString());
    const auto best = bestUsageForEligibility(tool("codex-cli", c.status), *store, c.wrapperReady, clock.now());
    ASSERT_TRUE(best.has_value());
    EXPECT_EQ(best->tokens->label, c.expectedTokens);
  }
  EXPECT_FALSE(bestUsageForEligibility(tool("codex-app"), *store, true, clock.now()).has_value());
}

TEST(UsageEligibilityRulesTest, StalenessLimits) {
  const QDateTime now = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);
  struct Case {
    const char* dataSource;
    qint64 ageSeconds;
    bool stale;
  };
  const std::vector<Case> cases = {
      {"hook", 600, false},          {"hook", 601, true},           {"hook", -3600, false},
      {"statusline", 21600, false},  {"statusline", 21601, true},   {"rollout", 21601, true},
      {"transcript", 21000, false},  {"trajectory", 21000, false},  {"OPENCODE_PLUGIN", 21000, false},
      {"opencode-plugin", 21601, true}, {"status_line", 3600, true}, {"local-transcript-block", 3600, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.dataSource) + " " + std::to_string(c.ageSeconds));
    UsageSnapshot s;
    s.dataSource = QString::fromLatin1(c.dataSource);
    s.observedAt = formatUsageDate(now.addSecs(-c.ageSeconds));
    EXPECT_EQ(isUsageSnapshotStale(s, now), c.stale);
  }
  UsageSnapshot unparseable;
  unparseable.dataSource = QStringLiteral("hook");
  unparseable.observedAt = QStringLiteral("2020-01-01");
  EXPECT_FALSE(isUsageSnapshotStale(unparseable, now));
}

TEST(UsageEligibilityRulesTest, ResultIsOrderedByPriorityThenName) {
  auto row = [](const QString& id, const QString& name, int priority) {
    ToolHealth t = tool(id);
    t.name = name;
    t.priority = priority;
    return t;
  };
  const std::vector<ToolHealth> rows = {
      row("b", "Beta", 2),  row("z", "alpha", 1), row("y", "Zeta", 1), row("e1", "Caf\u00E9", 1),
      row("e2", "Cafe\u0301", 1), row("x", "Beta", 2), row("w", "Aardvark", 3),
  };
  test::StoreFixture fixture;
  auto store = fixture.make();
  QStringList ids;
  for (const auto& e : deriveUsageEligibility(rows, {}, *store, true, fixture.clock.now())) {
    ids.push_back(e.toolID);
  }
  // Upper case before lower case; the two spellings of "Café" are equal and keep their order.
  EXPECT_EQ(ids, (QStringList{"e1", "e2", "y", "z", "b", "x", "w"}));
}

TEST(UsageEligibilityRulesTest, Badges) {
  struct Case {
    R reason;
    std::optional<QString> source;
    QString badge;
  };
  const std::vector<Case> cases = {
      {R::eligible, "rollout", "Rollout usage active"},
      {R::eligible, "transcript", "Transcript usage active"},
      {R::eligible, "trajectory", "Trajectory usage active"},
      {R::eligible, "statusline", "StatusLine usage active"},
      {R::eligible, "opencode-plugin", "OpenCode plugin active"},
      {R::eligible, "OpenCode_Plugin", "Live usage ready"},
      {R::eligible, "Rollout", "Live usage ready"},
      {R::eligible, "hook", "Live usage ready"},
      {R::eligible, std::nullopt, "Live usage ready"},
      {R::notEnabled, "rollout", "Disabled in Tandrel"},
      {R::integrationMissing, {}, "Install tool first"},
      {R::integrationUnhealthy, {}, "Repair integration"},
      {R::waitingFirstUsage, {}, "Waiting for first usage"},
      {R::staleUsage, "rollout", "Stale usage"},
      {R::jumpOnly, {}, "No usage source"},
      {R::messagesOnly, {}, "Messages only"},
      {R::wrapperMissing, {}, "Needs wrapper bridge"},
      {R::remoteSetupRequired, {}, "Requires explicit setup"},
      {R::unsupported, {}, "Unsupported"},
  };
  for (const Case& c : cases) {
    UsageEligibility e;
    e.reason = c.reason;
    e.latestUsageSource = c.source;
    EXPECT_EQ(reasonBadge(e), c.badge) << rawValue(c.reason).toStdString();
    EXPECT_EQ(parseUsageEligibilityReason(rawValue(c.reason)), c.reason);
  }
  EXPECT_FALSE(parseUsageEligibilityReason(u"Eligible").has_value());
}

TEST(UsageEligibilityRulesTest, SourceClassesAndSettingsTexts) {
  struct Case {
    QString id;
    QString integration;
    C configured;
    QString label;
    QString reason;
  };
  const std::vector<Case> cases = {
      {"claude-code", "", C::officialPush, "official-push", "Hooks + transcript ready"},
      {"codex-cli", "", C::officialPush, "official-push", "Notify + rollout active"},
      {"opencode-cli", "", C::officialPush, "official-push", "OpenCode plugin active"},
      {"trae-agent-cli", "Wrapper", C::stableLocalLoader, "stable-local-loader", "Trajectory loader ready"},
      {"codex-app", "", C::remoteOptIn, "remote-opt-in", "Waiting app usage"},
      {"trae-solo", "", C::remoteOptIn, "remote-opt-in", "Requires webhook"},
      {"copilot-coding-agent", "", C::remoteOptIn, "remote-opt-in", "Requires webhook"},
      {"factory-droid", "Wrapper", C::wrapperExplicit, "messages-only", "Lifecycle only"},
      {"cursor-agent-cli", "Stream JSON wrapper", C::wrapperExplicit, "wrapper-explicit", "Stream JSON wrapper"},
      {"cursor-agent-cli", "Hooks", C::wrapperExplicit, "unsupported", "Stream JSON wrapper"},
      {"gemini-cli", "tandrel-WRAP wrapper", C::wrapperExplicit, "wrapper-explicit",
       "Run: tandrel-wrap --source gemini-cli -- gemini"},
      {"kilo-code", "Wrapper", C::wrapperExplicit, "wrapper-explicit", "Run: tandrel-wrap --source kilo-code -- kilo"},
      {"claude-app", "", C::jumpOnly, "jump-only", "No usage"},
      {"vscode-host", "", C::jumpOnly, "jump-only", "No usage"},
      {"windsurf", "", C::unsupported, "jump-only", "No usage"},
      {"kimi-app-web", "", C::jumpOnly, "jump-only", "No usage"},
      {"Claude-Code", "", C::unsupported, "unsupported", "Unsupported"},
      {"acme", "", C::unsupported, "unsupported", "Unsupported"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE((c.id + " / " + c.integration).toStdString());
    const ToolHealth t = tool(c.id, HookStatus::healthy, true, {}, c.integration);
    EXPECT_EQ(rawValue(configuredUsageSourceClass(t)), rawValue(c.configured));
    EXPECT_EQ(usageSourceClass(t), c.label);
    EXPECT_EQ(usageReason(t), c.reason);
  }
  // A wrapper row says what is missing only while something is: the wrapper (the row is not
  // healthy) or the tool itself.
  const struct {
    const char* id;
    HookStatus status;
    bool detected;
    const char* reason;
  } wrapperRows[] = {
      {"gemini-cli", HookStatus::alpha, true, "Needs wrapper bridge"},
      {"gemini-cli", HookStatus::healthy, false, "Needs wrapper bridge"},
      {"pi", HookStatus::alpha, true, "Install wrapper"},
      {"pi", HookStatus::healthy, true, "Run: tandrel-wrap --source pi -- pi"},
  };
  for (const auto& row : wrapperRows) {
    SCOPED_TRACE(row.id);
    EXPECT_EQ(usageReason(tool(row.id, row.status, row.detected, {}, QStringLiteral("Wrapper"))), row.reason);
  }
}

TEST(UsageEligibilityRulesTest, IntegrationHealthPerSourceClass) {
  struct Case {
    C sourceClass;
    // Expected health for a tool that is healthy and detected, healthy and not detected, in repair
    // and detected, missing and detected; each first with the wrapper bridge ready, then without.
    std::array<bool, 8> healthy;
  };
  const std::vector<Case> cases = {
      {C::officialPush, {true, true, true, true, false, false, false, false}},
      {C::rateLimitSignal, {true, true, true, true, false, false, false, false}},
      {C::stableLocalLoader, {true, true, false, false, true, true, false, false}},
      {C::jumpOnly, {true, true, false, false, true, true, false, false}},
      {C::messagesOnly, {true, true, false, false, true, true, false, false}},
      {C::wrapperExplicit, {true, false, false, false, true, false, false, false}},
      {C::remoteOptIn, {true, true, false, false, false, false, false, false}},
      {C::unsupported, {false, false, false, false, false, false, false, false}},
  };
  const std::array<ToolHealth, 4> tools = {tool("t"), tool("t", HookStatus::healthy, false),
                                           tool("t", HookStatus::repair), tool("t", HookStatus::missing)};
  for (const Case& c : cases) {
    for (std::size_t i = 0; i < 8; ++i) {
      EXPECT_EQ(integrationIsHealthy(tools[i / 2], c.sourceClass, i % 2 == 0), c.healthy[i])
          << rawValue(c.sourceClass).toStdString() << " row " << i;
    }
  }
}

}  // namespace
}  // namespace tandrel
