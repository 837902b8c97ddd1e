// Presses on the island and what the inbox's buttons do: hit-testing the page's rectangles, the
// two-click confirmation of risky answers, opening and closing choice cards, card actions through
// the store, clearing, and the banner that reports each outcome.

#include "island/island_view.h"

#include "events/event_store.h"
#include "island/tandrel_view.h"
#include "island/usage_header.h"
#include "notifications/tandrel_banners.h"

#include <QCoreApplication>

namespace tandrel {

using namespace inbox_hit_test;

namespace {

QString countedMessages(int count, const QString& prefix, const QString& noun) {
  return prefix + QString::number(count) + u' ' + noun + (count == 1 ? QString() : QStringLiteral("s"));
}

}  // namespace

void IslandView::mousePressed(QPointF point, QPointF screenPoint) {
  const OverlayMode mode = view_.mode();
  if (mode == OverlayMode::collapsed) {
    const CollapsedCapsuleLayout layout = collapsedCapsuleLayout(QSizeF(view_.size()), view_.displayKind(), mode);
    if (collapsedPetPressRect(layout).contains(point)) {
      view_.activateSettingsTab(SettingsTab::pets);
      inbox_->resetInteraction();
      view_.requestMode(OverlayMode::settings);
    } else {
      view_.requestMode(OverlayMode::expanded);
    }
    return;
  }

  const ExpandedClickTarget target = expandedClickTarget(point);
  inbox_->clearPendingConfirmationUnlessConfirming(target);
  const inbox_layout::InboxPageLayout layout = inbox_->pageLayout(mode);
  if (const std::optional<int> noted = choiceNoteMessage(layout, point)) {
    inbox_->focusNote(layout.page()[static_cast<size_t>(*noted)].event.id);
    takeKeyboardFocus();
    view_.update();
    return;
  }
  const bool onChoiceControl = choiceAction(layout, point) || choiceOptionContains(layout, point) ||
                               messageAction(layout, point).has_value();
  const std::optional<int> card = choiceCardOrBodyMessage(layout, point);
  if (!onChoiceControl && card) {
    toggleChoiceCard(layout.page()[static_cast<size_t>(*card)]);
    return;
  }

  using Kind = ExpandedClickTarget::Kind;
  switch (target.kind) {
    case Kind::usageTool:
      view_.selectUsageTool(target.tool, true);
      break;
    case Kind::messageAction:
      performExpandedMessageAction(*target.message, target.role);
      break;
    case Kind::quit:
      if (quitApplication) {
        quitApplication();
      } else {
        QCoreApplication::quit();
      }
      break;
    case Kind::settings:
      view_.activateSettingsTab(SettingsTab::general);
      inbox_->resetInteraction();
      view_.requestMode(OverlayMode::settings);
      break;
    case Kind::clearPage:
      clearPage();
      break;
    case Kind::clearAll:
      clearAll();
      break;
    case Kind::none:
      if (petRailPressRect().contains(point)) {
        pendingPetDragStart = screenPoint;
        petDragOutActive = false;
      }
      break;
  }
}

ExpandedClickTarget IslandView::expandedClickTarget(QPointF point) {
  return inbox_hit_test::expandedClickTarget(inbox_->pageLayout(view_.mode()), QSizeF(view_.size()), view_.mode(),
                                             usageTabHitRects(), point);
}

std::vector<std::pair<QString, QRectF>> IslandView::usageTabHitRects() {
  const QStringList& tools = ticker_->enabledUsageTools();
  const std::vector<QRectF> rects = usageTabRects(tools);
  std::vector<std::pair<QString, QRectF>> hits;
  for (qsizetype i = 0; i < tools.size(); ++i) {
    hits.emplace_back(tools.at(i), rects[static_cast<size_t>(i)]);
  }
  return hits;
}

void IslandView::toggleChoiceCard(const IslandMessage& message) {
  if (inbox_->toggleChoiceCard(message)) {
    takeKeyboardFocus();
  }
  view_.update();
  // The island's height follows the open body: the controller lays the panel out again.
  view_.requestMode(OverlayMode::expanded);
}

void IslandView::takeKeyboardFocus() {
  view_.setFocusPolicy(Qt::ClickFocus);
  view_.setFocus(Qt::MouseFocusReason);
  if (auto* panel = dynamic_cast<KeyboardFocusPanel*>(view_.window())) {
    panel->takeKeyboardFocus();
  }
}

bool IslandView::deferMessageActionForConfirmationIfNeeded(const IslandMessage& message, const QString& role) {
  if (!inbox_->deferForConfirmation(message, role)) {
    return false;
  }
  showBanner(message.pendingAction ? QStringLiteral("Click Approve again to confirm")
                                   : QStringLiteral("Click Authorize again to confirm"),
             TandrelView::kAttentionColor);
  return true;
}

void IslandView::showBanner(const QString& text, const QColor& color) {
  view_.statusBannerColor = color;
  view_.setStatusBanner(text);
}

void IslandView::performPendingCardAction(const IslandMessage& message, const QString& role) {
  using R = NotificationCategoryRegistrar;
  const PendingAction action = *message.pendingAction;  // the store may rebuild its cards meanwhile
  QString actionID;
  QString done;
  if (role.startsWith(kChooseOptionPrefix)) {
    actionID = R::kChoiceOptionPrefix + role.mid(kChooseOptionPrefix.size());
    done = QStringLiteral("Response sent");
  } else if (const std::optional<PendingCardAction> card = pendingCardActionOfRole(role)) {
    switch (*card) {
      case PendingCardAction::approve:
        actionID = R::kApproveOnce;
        done = QStringLiteral("Approved");
        break;
      case PendingCardAction::always:
        actionID = R::kApproveAlways;
        done = QStringLiteral("Approved");
        break;
      case PendingCardAction::deny:
        actionID = action.kind == PendingActionKind::permissionRequest ? R::kDeny : R::kTextInputDeny;
        done = QStringLiteral("Denied");
        break;
      case PendingCardAction::openInput:
        actionID = R::kTextInputOpen;
        break;
      case PendingCardAction::choice:
        break;
      case PendingCardAction::jump:
        actionID = R::kJump;
        break;
      case PendingCardAction::letStop:
        // What the banner's Deny does for a finished turn: the agent stops at once.
        actionID = R::kTextInputDeny;
        done = QStringLiteral("Let it stop");
        break;
    }
  }
  if (actionID.isEmpty() || !respondToRequest) {
    showBanner(QStringLiteral("Action failed: the request cannot be answered from here"), TandrelView::kFailureColor);
    view_.update();
    return;
  }
  if (deferMessageActionForConfirmationIfNeeded(message, role)) {
    return;
  }
  respondToRequest(actionID, action);
  if (!done.isEmpty()) {
    showBanner(done, TandrelView::kSuccessColor);
    inbox_->clearChoiceState();
    view_.requestMode(OverlayMode::expanded);
  }
  view_.update();
}

void IslandView::performExpandedMessageAction(const IslandMessage& message, const QString& role) {
  if (message.pendingAction &&
      (role.startsWith(kChooseOptionPrefix) || role.startsWith(kPendingCardRolePrefix))) {
    performPendingCardAction(message, role);
    return;
  }
  QPointer<TandrelView> view(&view_);
  if (role.startsWith(kChooseOptionPrefix)) {
    const QString optionID = role.mid(kChooseOptionPrefix.size());
    const auto option = std::find_if(message.choiceOptions.begin(), message.choiceOptions.end(),
                                     [&optionID](const MessageOption& o) { return o.id == optionID; });
    if (option == message.choiceOptions.end()) {
      showBanner(QStringLiteral("Response failed: option missing"), TandrelView::kFailureColor);
      return;
    }
    store_.performChoice(message, *option, inbox_->activeChoiceNote, [this, view](ActionResult result) {
      if (!view) {
        return;
      }
      if (!result.succeeded) {
        showBanner(QStringLiteral("Response failed: ") + result.text.value_or(QString()), TandrelView::kFailureColor);
        return;
      }
      showBanner(result.text.value_or(QStringLiteral("Response sent")), TandrelView::kSuccessColor);
      inbox_->clearChoiceState();
      view->requestMode(OverlayMode::expanded);
    });
    view_.update();
    return;
  }

  if (role == u"configure") {
    view_.activateSettingsTab(SettingsTab::aiTools);
    inbox_->resetInteraction();
    view_.requestMode(OverlayMode::settings);
    return;
  }

  if (deferMessageActionForConfirmationIfNeeded(message, role)) {
    return;
  }
  store_.perform(role, message, [this, view](ActionResult result) {
    if (!view) {
      return;
    }
    if (!result.succeeded) {
      showBanner(QStringLiteral("Action failed: ") + result.text.value_or(QString()), TandrelView::kFailureColor);
      return;
    }
    if (result.text) {
      showBanner(*result.text, TandrelView::kSuccessColor);
    }
    inbox_->clearChoiceState();
    view->requestMode(OverlayMode::expanded);
    view->update();
  });
  view_.update();
}

void IslandView::clearPage() {
  const int count = inbox_->clearPage();
  if (count == 0) {
    showBanner(QStringLiteral("No current-page messages"), TandrelView::kAttentionColor);
  } else {
    showBanner(countedMessages(count, QStringLiteral("Cleared "), QStringLiteral("current-page message")),
               TandrelView::kSuccessColor);
  }
  view_.requestMode(OverlayMode::expanded);
  view_.update();
}

void IslandView::clearAll() {
  const int count = inbox_->clearAll();
  if (count == 0) {
    showBanner(QStringLiteral("No messages to clear"), TandrelView::kAttentionColor);
  } else {
    showBanner(countedMessages(count, QStringLiteral("Cleared all "), QStringLiteral("message")), TandrelView::kSuccessColor);
  }
  view_.requestMode(OverlayMode::expanded);
  view_.update();
}

}  // namespace tandrel
