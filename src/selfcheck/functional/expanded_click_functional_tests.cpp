#include "selfcheck/functional/expanded_click_functional_tests.h"

#include "island/tandrel_view.h"
#include "selfcheck/fixture_builders.h"
#include "selfcheck/functional/check_store.h"
#include "selfcheck/functional/jump_check_support.h"
#include "selfcheck/harness.h"

#include <QFile>

#include <algorithm>
#include <memory>

namespace tandrel {
namespace {

// A view over `store` as wide as the expanded island and as high as it is for `messages` cards.
std::unique_ptr<TandrelView> islandView(EventStore& store, int messages, bool expanded) {
  auto view = std::make_unique<TandrelView>(
      QSize(static_cast<int>(island::kExpandedWidth), static_cast<int>(std::ceil(expandedOverlayHeight(messages)))), store);
  if (expanded) {
    view->setMode(OverlayMode::expanded);
  }
  return view;
}

QString fileText(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

const QString kAllowed = QStringLiteral("\"decision\":\"allow\"");

std::unique_ptr<EventStore> loadedStore(const QString& tempRoot, const QString& prefix, JumpOpener opener = {}) {
  EventStoreOptions options = storeOptionsWithoutAgentFolders(scratchPath(tempRoot, prefix + QStringLiteral("-events.jsonl")),
                                                scratchPath(tempRoot, prefix + QStringLiteral("-audit.jsonl")));
  if (opener) {
    options.jumpOpener = std::move(opener);
  }
  auto store = std::make_unique<EventStore>(options);
  store->reload(false);
  store->ensureMessageCache();
  return store;
}

bool targetIs(const ExpandedClickTarget& target, const QString& eventID, const QString& role) {
  return target.kind == ExpandedClickTarget::Kind::messageAction && target.message &&
         target.message->event.id == eventID && target.role == role;
}

}  // namespace

bool highRiskApprovalConfirmationFunctionalTest(const QString& tempRoot) {
  const QString prefix = QStringLiteral("approval-confirm");
  const QString decisionFile = scratchPath(tempRoot, QStringLiteral("approval-confirm-decision.json"));
  QFile::remove(decisionFile);
  const QJsonObject action{{"kind", "shell"}, {"risk", "high"}, {"decision_file", decisionFile}};
  if (!writeJSONLines({testEvent(prefix, "claude_code", "permission_request", "warning", "Run deployment",
                                 "deploy production", action)},
                      scratchPath(tempRoot, prefix + QStringLiteral("-events.jsonl")))) {
    return false;
  }
  const std::unique_ptr<EventStore> store = loadedStore(tempRoot, prefix);
  const std::optional<IslandMessage> message = messageWithID(*store, prefix);
  if (!message || !message->normalized) {
    return false;
  }
  const auto& actions = message->normalized->actions;
  const auto approve = std::find_if(actions.begin(), actions.end(),
                                    [](const MessageActionSpec& spec) { return spec.role == MessageActionRole::approve; });
  if (approve == actions.end() || !approve->requiresConfirmation) {
    return false;
  }

  const std::unique_ptr<TandrelView> view = islandView(*store, 5, false);
  const QString authorize = QStringLiteral("authorize");
  if (!view->deferMessageActionForConfirmationIfNeeded(*message, authorize) || !fileText(decisionFile).isEmpty()) {
    return false;
  }
  // A click elsewhere (a usage tab) drops the pending confirmation: the next click is a first one.
  ExpandedClickTarget usageTab;
  usageTab.kind = ExpandedClickTarget::Kind::usageTool;
  usageTab.tool = QStringLiteral("Codex");
  view->clearPendingConfirmationUnlessConfirming(usageTab);
  if (view->pendingMessageConfirmation == std::pair(prefix, authorize)) {
    return false;
  }
  if (!view->deferMessageActionForConfirmationIfNeeded(*message, authorize) || !fileText(decisionFile).isEmpty()) {
    return false;
  }
  if (view->deferMessageActionForConfirmationIfNeeded(*message, authorize)) {
    return false;
  }
  const std::optional<ActionResult> result = performAndWait(*store, authorize, *message);
  return result && result->succeeded && fileText(decisionFile).contains(kAllowed);
}

bool expandedMessageActionClickFunctionalTest(const QString& tempRoot) {
  const QString prefix = QStringLiteral("expanded-action-click");
  const QString targetFile = scratchPath(tempRoot, QStringLiteral("expanded-action-click-target.md"));
  const QString decisionFile = scratchPath(tempRoot, QStringLiteral("expanded-action-approve.json"));
  QFile::remove(decisionFile);
  if (!writeFileAtomically(QByteArrayLiteral("jump target"), targetFile)) {
    return false;
  }
  const std::vector<QJsonObject> records = {
      testEvent("expanded-click-jump", "codex", "task_completed", "info", "Codex completed", "Ready to inspect",
                std::nullopt, std::nullopt, QStringLiteral("2026-05-12T10:00:00Z"),
                {{"session_id", "expanded-click-jump-session"}, {"jump_target", targetFile}}),
      testEvent("expanded-click-approve", "claude_code", "permission_request", "warning", "Claude Code needs approval",
                "Run local tests", QJsonObject{{"kind", "shell"}, {"risk", "low"}, {"decision_file", decisionFile}},
                std::nullopt, QStringLiteral("2026-05-12T10:01:00Z"), {{"session_id", "expanded-click-approve-session"}}),
  };
  if (!writeJSONLines(records, scratchPath(tempRoot, prefix + QStringLiteral("-events.jsonl")))) {
    return false;
  }
  const RecordingJumpOpener opener([](const JumpTarget&) { return true; });
  const std::unique_ptr<EventStore> store = loadedStore(tempRoot, prefix, opener.opener());
  const std::unique_ptr<TandrelView> view = islandView(*store, 2, true);

  const std::optional<QRectF> jump = view->messageActionButtonRectForTests(QStringLiteral("expanded-click-jump"), QStringLiteral("jump"));
  const std::optional<QRectF> approve =
      view->messageActionButtonRectForTests(QStringLiteral("expanded-click-approve"), QStringLiteral("authorize"));
  if (!jump || !approve) {
    return false;
  }
  const ExpandedClickTarget jumpHit = view->expandedClickTarget(jump->center());
  const ExpandedClickTarget approveHit = view->expandedClickTarget(approve->center());
  if (!targetIs(jumpHit, QStringLiteral("expanded-click-jump"), QStringLiteral("jump")) ||
      !targetIs(approveHit, QStringLiteral("expanded-click-approve"), QStringLiteral("authorize"))) {
    return false;
  }
  view->performExpandedMessageAction(*jumpHit.message, jumpHit.role);
  view->performExpandedMessageAction(*approveHit.message, approveHit.role);

  // The Jump opens on the store's jump thread.
  const auto done = [&] {
    return !opener.targets().empty() && store->isReadForTests(QStringLiteral("expanded-click-jump")) &&
           store->isReadForTests(QStringLiteral("expanded-click-approve")) && fileText(decisionFile).contains(kAllowed);
  };
  waitOnEventLoop(done, 5.0);
  const std::vector<JumpTarget> opened = opener.targets();
  return done() && opened.back() == JumpTarget::file(targetFile, std::nullopt);
}

bool expandedClearToolbarHitTargetsMatchPrototype(EventStore& store) {
  const std::unique_ptr<TandrelView> view = islandView(store, 5, true);
  const qreal width = island::kExpandedWidth;
  return view->expandedClickTarget(QPointF(width - 63, 173)).kind == ExpandedClickTarget::Kind::clearPage &&
         view->expandedClickTarget(QPointF(width - 35, 173)).kind == ExpandedClickTarget::Kind::clearAll;
}

bool expandedSettingsClickTargetsSettings(EventStore& store) {
  const std::unique_ptr<TandrelView> view = islandView(store, 5, true);
  const QRectF button(view->width() - 35, 5, 24, 24);
  return view->expandedClickTarget(button.center()).kind == ExpandedClickTarget::Kind::settings;
}

bool expandedPetClickWaitsForDragDecision(EventStore& store) {
  const std::unique_ptr<TandrelView> view = islandView(store, 5, true);
  // On the rail's pet: the middle of the 112-wide rail at x 12.
  return view->expandedClickTarget(QPointF(12 + 112 * 0.5, 91.5)).kind == ExpandedClickTarget::Kind::none;
}

}  // namespace tandrel
