// Presses on the island and what the inbox's buttons do: hit-testing the page's rectangles, the
// two-click confirmation of risky answers, opening and closing choice cards, card actions through
// the store, clearing, and the banner that reports each outcome.

#include "island/tandrel_view.h"

#include "events/event_store.h"
#include "island/usage_header.h"
#include "notifications/tandrel_banners.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QWindow>

namespace tandrel {

using namespace inbox_hit_test;

namespace {

QString countedMessages(int count, const QString& prefix, const QString& noun) {
  return prefix + QString::number(count) + u' ' + noun + (count == 1 ? QString() : QStringLiteral("s"));
}

}  // namespace

void TandrelView::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    mousePressed(event->position(), event->globalPosition());
  }
}

void TandrelView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    mouseReleased(event->globalPosition());
  }
}

void TandrelView::mousePressed(QPointF point, QPointF screenPoint) {
  switch (mode_) {
    case OverlayMode::settings:
      settingsMouseDown(point, false);
      return;
    case OverlayMode::collapsed: {
      const CollapsedCapsuleLayout layout = collapsedCapsuleLayout(QSizeF(size()), displayKind_, mode_);
      if (collapsedPetPressRect(layout).contains(point)) {
        activateSettingsTab(SettingsTab::pets);
        inbox_->resetInteraction();
        requestMode(OverlayMode::settings);
      } else {
        requestMode(OverlayMode::expanded);
      }
      return;
    }
    case OverlayMode::expanded:
      break;
  }

  const ExpandedClickTarget target = expandedClickTarget(point);
  clearPendingConfirmationUnlessConfirming(target);
  const inbox_layout::InboxPageLayout layout = pageLayout();
  if (const std::optional<int> noted = choiceNoteMessage(layout, point)) {
    inbox_->focusNote(layout.page()[static_cast<size_t>(*noted)].event.id);
    takeKeyboardFocus();
    update();
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
      selectUsageTool(target.tool, true);
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
      activateSettingsTab(SettingsTab::general);
      inbox_->resetInteraction();
      requestMode(OverlayMode::settings);
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

ExpandedClickTarget TandrelView::expandedClickTarget(QPointF point) {
  return inbox_hit_test::expandedClickTarget(pageLayout(), QSizeF(size()), mode_, usageTabHitRects(), point);
}

std::vector<std::pair<QString, QRectF>> TandrelView::usageTabHitRects() {
  const QStringList& tools = enabledUsageTools();
  const std::vector<QRectF> rects = usageTabRects(tools);
  std::vector<std::pair<QString, QRectF>> hits;
  for (qsizetype i = 0; i < tools.size(); ++i) {
    hits.emplace_back(tools.at(i), rects[static_cast<size_t>(i)]);
  }
  return hits;
}

void TandrelView::toggleChoiceCard(const IslandMessage& message) {
  if (inbox_->toggleChoiceCard(message)) {
    takeKeyboardFocus();
  }
  update();
  // The island's height follows the open body: the controller lays the panel out again.
  requestMode(OverlayMode::expanded);
}

void TandrelView::takeKeyboardFocus() {
  setFocusPolicy(Qt::ClickFocus);
  setFocus(Qt::MouseFocusReason);
  if (auto* panel = dynamic_cast<KeyboardFocusPanel*>(window())) {
    panel->takeKeyboardFocus();
  }
}

bool TandrelView::deferMessageActionForConfirmationIfNeeded(const IslandMessage& message, const QString& role) {
  if (!inbox_->deferForConfirmation(message, role)) {
    return false;
  }
  showBanner(message.pendingAction ? QStringLiteral("Click Approve again to confirm")
                                   : QStringLiteral("Click Authorize again to confirm"),
             kAttentionColor);
  return true;
}

void TandrelView::showBanner(const QString& text, const QColor& color) {
  statusBannerColor = color;
  setStatusBanner(text);
}

void TandrelView::performPendingCardAction(const IslandMessage& message, const QString& role) {
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
    showBanner(QStringLiteral("Action failed: the request cannot be answered from here"), kFailureColor);
    update();
    return;
  }
  if (deferMessageActionForConfirmationIfNeeded(message, role)) {
    return;
  }
  respondToRequest(actionID, action);
  if (!done.isEmpty()) {
    showBanner(done, kSuccessColor);
    clearChoiceState();
    requestMode(OverlayMode::expanded);
  }
  update();
}

void TandrelView::performExpandedMessageAction(const IslandMessage& message, const QString& role) {
  if (message.pendingAction &&
      (role.startsWith(kChooseOptionPrefix) || role.startsWith(kPendingCardRolePrefix))) {
    performPendingCardAction(message, role);
    return;
  }
  QPointer<TandrelView> self(this);
  if (role.startsWith(kChooseOptionPrefix)) {
    const QString optionID = role.mid(kChooseOptionPrefix.size());
    const auto option = std::find_if(message.choiceOptions.begin(), message.choiceOptions.end(),
                                     [&optionID](const MessageOption& o) { return o.id == optionID; });
    if (option == message.choiceOptions.end()) {
      showBanner(QStringLiteral("Response failed: option missing"), kFailureColor);
      return;
    }
    store_.performChoice(message, *option, activeChoiceNote, [self](ActionResult result) {
      if (!self) {
        return;
      }
      if (!result.succeeded) {
        self->showBanner(QStringLiteral("Response failed: ") + result.text.value_or(QString()), kFailureColor);
        return;
      }
      self->showBanner(result.text.value_or(QStringLiteral("Response sent")), kSuccessColor);
      self->clearChoiceState();
      self->requestMode(OverlayMode::expanded);
    });
    update();
    return;
  }

  if (role == u"configure") {
    activateSettingsTab(SettingsTab::aiTools);
    inbox_->resetInteraction();
    requestMode(OverlayMode::settings);
    return;
  }

  if (deferMessageActionForConfirmationIfNeeded(message, role)) {
    return;
  }
  store_.perform(role, message, [self](ActionResult result) {
    if (!self) {
      return;
    }
    if (!result.succeeded) {
      self->showBanner(QStringLiteral("Action failed: ") + result.text.value_or(QString()), kFailureColor);
      return;
    }
    if (result.text) {
      self->showBanner(*result.text, kSuccessColor);
    }
    self->clearChoiceState();
    self->requestMode(OverlayMode::expanded);
    self->update();
  });
  update();
}

void TandrelView::clearPage() {
  const int count = inbox_->clearPage();
  if (count == 0) {
    showBanner(QStringLiteral("No current-page messages"), kAttentionColor);
  } else {
    showBanner(countedMessages(count, QStringLiteral("Cleared "), QStringLiteral("current-page message")),
               kSuccessColor);
  }
  requestMode(OverlayMode::expanded);
  update();
}

void TandrelView::clearAll() {
  const int count = inbox_->clearAll();
  if (count == 0) {
    showBanner(QStringLiteral("No messages to clear"), kAttentionColor);
  } else {
    showBanner(countedMessages(count, QStringLiteral("Cleared all "), QStringLiteral("message")), kSuccessColor);
  }
  requestMode(OverlayMode::expanded);
  update();
}

}  // namespace tandrel
