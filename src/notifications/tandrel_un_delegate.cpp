#include "notifications/tandrel_un_delegate.h"

#include "catalog/paths.h"
#include "catalog/tool_catalog.h"
#include "jump/jump_router.h"
#include "requests/agent_reply_marshaller.h"
#include "ui/window_activation.h"

#include <QApplication>
#include <QWidget>

namespace tandrel {

namespace {

void raiseVisibleWindows() {
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (window->isVisible()) {
      window->raise();
      activateIfItTakesFocus(*window);
    }
  }
}

void jumpToAgentOf(const PendingAction& action) {
  TandrelJumpRouter::jumpToAgent(action.payload.cwd, action.payload.transcriptPath,
                                 action.agentPID > 0 ? std::optional<qint64>(action.agentPID) : std::nullopt);
}

}  // namespace

TandrelUNDelegate::TandrelUNDelegate(Services services)
    : services_(std::move(services)), jumpQueue_(std::make_unique<SerialQueue>(QStringLiteral("app.tandrel.jump-router"))) {
  if (!services_.jumpToAgent) {
    services_.jumpToAgent = jumpToAgentOf;
  }
  if (!services_.activateApplication) {
    services_.activateApplication = raiseVisibleWindows;
  }
}

TandrelUNDelegate::~TandrelUNDelegate() = default;

void TandrelUNDelegate::dispatch(const QString& actionID, const QString& requestID, const QString& kindStr) {
  using R = NotificationCategoryRegistrar;
  using Verb = UserDecision::Verb;
  using Mode = UserDecision::Mode;
  if (!pendingActionKindFromRaw(kindStr)) {
    return;
  }
  const std::optional<PendingAction> action = services_.pendingActions.action(requestID);
  if (!action) {
    return;
  }
  if (actionID == R::kApproveOnce) {
    answer(*action, UserDecision{Verb::allow, Mode::once, std::nullopt, std::nullopt});
  } else if (actionID == R::kApproveAlways) {
    answer(*action, UserDecision{Verb::allow, Mode::always, std::nullopt, std::nullopt});
  } else if (actionID == R::kTextInputDeny && action->isFinishedTurn()) {
    letGo(action->requestID);  // nothing to deny at the end of a turn: the agent stops
  } else if (actionID == R::kDeny || actionID == R::kTextInputDeny) {
    answer(*action, UserDecision{Verb::deny, Mode::once, std::nullopt, std::nullopt});
  } else if (actionID.startsWith(R::kChoiceOptionPrefix)) {
    answer(*action, UserDecision{Verb::choice, Mode::once, actionID.mid(R::kChoiceOptionPrefix.size()), std::nullopt});
  } else if (actionID == R::kTextInputOpen) {
    openTextPanel(*action);
  } else if (actionID == R::kJump) {
    jump(*action);
  } else if (actionID == R::kChoiceMore || actionID == R::kDefaultAction || actionID == R::kDismissAction) {
    services_.activateApplication();
  }
}

void TandrelUNDelegate::answer(const PendingAction& action, const UserDecision& decision) {
  // The stored action's kind decides the reply's form, whatever the banner said.
  (void)services_.pendingActions.complete(action.requestID, AgentReplyMarshaller::userReply(action, decision),
                                          PendingActionStatus::answered);
  services_.banners.withdraw(action.requestID);
}

void TandrelUNDelegate::letGo(const QString& requestID) {
  (void)services_.pendingActions.complete(requestID, noDecisionReply(requestID), PendingActionStatus::answered);
  services_.banners.withdraw(requestID);
}

void TandrelUNDelegate::openTextPanel(const PendingAction& action) {
  services_.activateApplication();
  const QString requestID = action.requestID;
  TextInputPanel::Context context;
  context.agentID = action.agent;
  context.agentName = toolDisplayName(action.agent);
  context.folder = homeAbbreviated(action.payload.cwd.value_or(QString()));
  if (action.payload.extras) {
    context.lastMessage = action.payload.extras->value(QStringLiteral("last_assistant_message")).trimmed();
  }
  services_.panel.show(
      action.payload.prompt.value_or(QStringLiteral("Agent needs input")), action.payload.multiline.value_or(false),
      context,
      [this, requestID](const QString& text) {
        const QString answerText = TextInputPanel::truncate(text).text;
        if (answerText.trimmed().isEmpty()) {
          letGo(requestID);
          return;
        }
        // The request may have ended while the panel was open; then nothing is sent.
        const std::optional<PendingAction> current = services_.pendingActions.action(requestID);
        if (!current) {
          return;
        }
        answer(*current, UserDecision{UserDecision::Verb::input, UserDecision::Mode::once, std::nullopt, answerText});
      },
      [this, requestID] { letGo(requestID); }, [this, action] { jump(action); });
}

void TandrelUNDelegate::jump(const PendingAction& action) {
  std::function<bool()> terminal = services_.terminalJump ? services_.terminalJump(action) : nullptr;
  jumpQueue_->async([jumpToAgent = services_.jumpToAgent, terminal = std::move(terminal), action] {
    if (!terminal || !terminal()) {
      jumpToAgent(action);
    }
  });
}

void TandrelUNDelegate::respondTo(TandrelBanners& banners) {
  banners.onResponse = [this](const QString& actionID, const QVariantMap& info) {
    dispatch(actionID, info.value(QStringLiteral("request_id")).toString(), info.value(QStringLiteral("kind")).toString());
  };
}

void TandrelUNDelegate::drainJumps() { jumpQueue_->drain(); }

}  // namespace tandrel
