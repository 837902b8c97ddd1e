#include "selfcheck/checks/collapsed_ticker_checks.h"

#include "events/event_store.h"
#include "island/collapsed_ticker.h"
#include "island/island_painters_ticker.h"
#include "island/tandrel_view.h"
#include "platform/clock.h"
#include "platform/user_defaults.h"
#include "selfcheck/checks/check_group.h"
#include "selfcheck/checks/usage_display_checks.h"
#include "selfcheck/fixture_builders.h"
#include "selfcheck/harness.h"
#include "ui/island_geometry.h"
#include "ui/settings_model.h"
#include "usage/usage_brand.h"

#include <QJsonObject>

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

namespace tandrel {

namespace {

QJsonObject shellAction() {
  return {{QStringLiteral("kind"), QStringLiteral("shell")}, {QStringLiteral("risk"), QStringLiteral("low")}};
}

QJsonObject completionSnippet(const char* snippet) {
  return {{QStringLiteral("completion_snippet"), QString::fromUtf8(snippet)}};
}

// The island views of these checks: over the given store, with settings of their own under the
// run's folder and the wrapper bridge taken as ready (the user's own is never read), showing the
// carousel's tool health.
class TickerViews {
 public:
  TickerViews(const QString& tempRoot, const char* defaultsName)
      : defaults_(scratchPath(tempRoot, QString::fromUtf8(defaultsName))), settings_(defaults_) {}

  std::unique_ptr<TandrelView> make(const QSizeF& size, EventStore& store, OverlayMode mode,
                                    DisplayKind kind = DisplayKind::externalVirtual) {
    auto view = std::make_unique<TandrelView>(size.toSize(), store, settings_);
    view->wrapperBridgeReadyProbe = [] { return true; };
    view->setDisplayKind(kind);
    view->update();
    view->setMode(mode);
    view->toolHealth = carouselHealth();
    return view;
  }

  // The last usage-tool rotation ten seconds ago on the views' media clock: the next one is due.
  static void makeUsageRotationDue(TandrelView& view) {
    view.lastUsageRotationAt = static_cast<double>(Clock::system().monotonicMs()) / 1000.0 - 10;
  }

 private:
  UserDefaults defaults_;
  SettingsModel settings_;
};

// A store over one bridge file of the run's folder, auditing beside it, reading no agent folder.
std::unique_ptr<EventStore> fixtureStore(const QString& tempRoot, const char* eventFile, const char* auditFile) {
  auto store = std::make_unique<EventStore>(storeOptionsWithoutAgentFolders(
      scratchPath(tempRoot, QString::fromUtf8(eventFile)), scratchPath(tempRoot, QString::fromUtf8(auditFile))));
  store->reload(false);
  return store;
}

std::vector<CollapsedTickerKind> kindsOf(const std::vector<CollapsedTickerDisplay>& items) {
  std::vector<CollapsedTickerKind> kinds;
  for (const CollapsedTickerDisplay& item : items) kinds.push_back(item.kind);
  return kinds;
}

}  // namespace

void runUsageTabAndCollapsedTickerChecks(SelfCheckFailures& failures, EventStore& store, const QString& tempRoot) {
  const auto check = [&](bool condition, const char* sentence) {
    failures.check(condition, QString::fromUtf8(sentence));
  };
  TickerViews views(tempRoot, "collapsed-ticker-defaults.json");
  const QStringList names = carouselNames(store);

  // A tab the user clicked stays while the carousel would move on.
  {
    const std::unique_ptr<TandrelView> view = views.make(expandedOverlaySize(true), store, OverlayMode::expanded);
    view->normalizeActiveUsageTool();
    const auto other =
        std::find_if(names.begin(), names.end(), [&](const QString& name) { return name != view->activeUsageTool; });
    if (other == names.end()) {
      check(false, "usage carousel needs two eligible tools for click pinning test");
    } else {
      view->selectUsageTool(*other, true);
      check(view->activeUsageTool == *other, "usage tab click should select the clicked tool before rotation");
      TickerViews::makeUsageRotationDue(*view);
      view->rotateUsageToolIfNeeded();
      check(view->activeUsageTool == *other, "manual usage tab selection should stop carousel auto-rotation");
    }
  }

  // With messages in the inbox the capsule shows one of them, not Claude's meters.
  {
    const std::unique_ptr<TandrelView> view = views.make(expandedOverlaySize(true), store, OverlayMode::collapsed);
    view->normalizeActiveUsageTool();
    view->selectUsageTool(QStringLiteral("Claude"), false);
    const CollapsedTickerDisplay shown = view->collapsedTickerDisplayForTests();
    check(!(shown.tool == u"Claude" &&
            (shown.label.contains(QStringLiteral("Context")) || shown.label.contains(QStringLiteral("Tokens")))),
          "collapsed capsule should show message text before usage when inbox messages exist");
    check(!shown.label.isEmpty(), "collapsed capsule message ticker should render a non-empty message label");
  }

  // An approval, an ordinary update, a completion with its snippet and a usage-only reading.
  const QJsonObject usage{{QStringLiteral("tool_id"), QStringLiteral("codex-cli")},
                          {QStringLiteral("data_source"), QStringLiteral("statusline")},
                          {QStringLiteral("limit_5h_label"), QStringLiteral("42% used")},
                          {QStringLiteral("limit_5h_percent"), 42},
                          {QStringLiteral("weekly_label"), QStringLiteral("18% used")},
                          {QStringLiteral("weekly_percent"), 18}};
  const std::vector<QJsonObject> records{
      testEvent("collapsed-ticker-approval", "claude_code", "permission_request", "warning", "Claude needs approval",
                "Approve the command", shellAction()),
      testEvent("collapsed-ticker-message", "claude_code", "task_updated", "info", "Write to /tmp/app/config.json",
                "Edit"),
      testEvent("collapsed-ticker-completion", "codex", "task_completed", "success", "Codex completed",
                "generic completion", std::nullopt, std::nullopt, std::nullopt,
                completionSnippet("Implemented ticker queue")),
      testEvent("collapsed-ticker-usage", "codex", "task_updated", "info", "Codex usage updated", "StatusLine usage",
                std::nullopt, usage, std::nullopt, {{QStringLiteral("notify_policy"), QStringLiteral("usage_only")}}),
  };
  // Unwritten, the store reads whatever the file holds.
  check(static_cast<bool>(
            writeJSONLines(records, scratchPath(tempRoot, QStringLiteral("collapsed-unified-ticker-events.jsonl")))),
        "collapsed unified ticker fixture should be writable");
  const std::unique_ptr<EventStore> fixture =
      fixtureStore(tempRoot, "collapsed-unified-ticker-events.jsonl", "collapsed-unified-ticker-audit.jsonl");
  const std::unique_ptr<TandrelView> view =
      views.make(QSizeF(island::kCollapsedWidth, 32), *fixture, OverlayMode::collapsed);
  const std::vector<CollapsedTickerDisplay> items = view->collapsedTickerItems();
  const std::vector<CollapsedTickerKind> kinds = kindsOf(items);
  check(
      kinds == std::vector{CollapsedTickerKind::approval, CollapsedTickerKind::completion, CollapsedTickerKind::usage},
      "collapsed capsule should build one unified approval/completion/usage ticker queue");
  check(!items.empty() && items.front().label == u"Need approve",
        "collapsed approval ticker should use the approved Need approve copy");
  check(std::find(kinds.begin(), kinds.end(), CollapsedTickerKind::message) == kinds.end(),
        "collapsed ticker should suppress ordinary task update messages");
  check(items.size() >= 2 && items[1].label == u"Implemented ticker queue",
        "collapsed completion ticker should show explicit AI message snippets");
  // Codex's quotas read as what is left, as its meter rows show them: 42 % and 18 % used.
  check(!items.empty() && items.back().label == u"5h 58% left · 7d 82% left",
        "collapsed usage ticker should stay in the same unified queue with full used/left labels");
  const CollapsedTickerKind before = view->collapsedTickerDisplayForTests().kind;
  view->forceCollapsedMessageRotationDueForTests();
  view->rotateCollapsedMessageIfNeeded();
  check(view->collapsedTickerDisplay().kind != before, "collapsed unified ticker should rotate across item kinds");
}

void runNotchStatusAndUsageRotationChecks(SelfCheckFailures& failures, EventStore& store, const QString& tempRoot) {
  const auto check = [&](bool condition, const char* sentence) {
    failures.check(condition, QString::fromUtf8(sentence));
  };
  TickerViews views(tempRoot, "macbook-collapsed-defaults.json");

  // The word beside the notch moves on with the ticker: an approval, then a completion.
  {
    const std::vector<QJsonObject> records{
        testEvent("macbook-carousel-wait", "claude_code", "permission_request", "warning", "Approve deploy",
                  "Waiting for approval", shellAction()),
        testEvent("macbook-carousel-done", "codex", "task_completed", "success", "Codex completed", "Done",
                  std::nullopt, std::nullopt, std::nullopt, completionSnippet("Built feature")),
    };
    check(static_cast<bool>(writeJSONLines(
              records, scratchPath(tempRoot, QStringLiteral("macbook-collapsed-carousel-events.jsonl")))),
          "macbook collapsed carousel fixture should be writable");
    const std::unique_ptr<EventStore> fixture =
        fixtureStore(tempRoot, "macbook-collapsed-carousel-events.jsonl", "macbook-collapsed-carousel-audit.jsonl");
    const std::unique_ptr<TandrelView> view =
        views.make(collapsedOverlaySize(DisplayKind::macBookPhysical, 0, 0), *fixture, OverlayMode::collapsed,
                   DisplayKind::macBookPhysical);
    const QString first = view->macBookCollapsedStatusDisplay().label;
    view->forceCollapsedMessageRotationDueForTests();
    view->rotateCollapsedMessageIfNeeded();
    check(view->macBookCollapsedStatusDisplay().label != first,
          "macbook notch status should consume the collapsed message carousel");
  }

  const auto usageItem = [](const char* label) {
    CollapsedTickerDisplay item;
    item.kind = CollapsedTickerKind::usage;
    item.tool = QStringLiteral("Codex");
    item.label = QString::fromUtf8(label);
    return item;
  };
  const struct {
    const char* label;
    const char* word;
    const char* sentence;
  } words[] = {
      {"5h 42% used · 7d 18% used", "5h 42%", "macbook notch usage status should include the 5h window before percent"},
      {"7d 18% used", "7d 18%", "macbook notch usage status should include the 7d window before percent"},
      {"5h limit · 85% used", "5h 85%",
       "macbook notch usage status should keep the usage window when a limit label also has a percent"},
  };
  for (const auto& row : words) {
    check(macBookCollapsedStatusLabel(usageItem(row.label), PetState::idle) == QString::fromUtf8(row.word),
          row.sentence);
  }

  // The Codex base event's five-hour window resets at 11:30.
  const std::optional<UsageSnapshot> codex =
      store.mergedUsage(usageToolIDs(QStringLiteral("Codex")), usageBrandName(QStringLiteral("Codex")));
  check(collapsedUsageDeadlineLabel(codex) == QStringLiteral("Resets 11:30"),
        "collapsed usage ticker should show usage reset as a Resets accessory");

  // Tools the user did not pin move on once the rotation is due.
  const std::unique_ptr<TandrelView> view = views.make(expandedOverlaySize(true), store, OverlayMode::collapsed);
  view->normalizeActiveUsageTool();
  const QString before = view->activeUsageTool;
  if (carouselNames(store).size() < 2) {
    check(false, "usage carousel needs two eligible tools for collapsed auto-rotation test");
  } else {
    TickerViews::makeUsageRotationDue(*view);
    view->rotateUsageToolIfNeeded();
    check(view->activeUsageTool != before, "collapsed capsule should auto-rotate usage tools");
  }
}

}  // namespace tandrel
