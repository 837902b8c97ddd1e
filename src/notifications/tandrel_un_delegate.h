#pragma once

// Turns the user's response to a banner into an answer to the waiting agent, the text-reply
// panel, a Jump to the agent or bringing the application forward.

#include "notifications/tandrel_banners.h"
#include "notifications/text_input_panel.h"
#include "platform/dispatch.h"
#include "requests/pending_action_store.h"

#include <QString>

#include <functional>
#include <memory>

namespace tandrel {

class TandrelUNDelegate {
 public:
  struct Services {
    PendingActionStore& pendingActions;
    TandrelBanners& banners;
    TextInputPanel& panel;
    // Jumps to the agent behind a request; blocks while children run, so it runs on the
    // delegate's own thread. TandrelJumpRouter::jumpToAgent unless a test replaces it.
    std::function<void(const PendingAction& action)> jumpToAgent;
    // Brings the application's windows to the front; raising every visible top-level window
    // unless a test replaces it.
    std::function<void()> activateApplication;
    // The Jump to the agent's own terminal (its tmux pane, kitty window or terminal window, as the
    // agent's events recorded it), made on the main thread and run first on the delegate's
    // thread; it answers whether it opened. None (or nothing made): jumpToAgent alone.
    std::function<std::function<bool()>(const PendingAction& action)> terminalJump;
  };

  explicit TandrelUNDelegate(Services services);
  ~TandrelUNDelegate();
  TandrelUNDelegate(const TandrelUNDelegate&) = delete;
  TandrelUNDelegate& operator=(const TandrelUNDelegate&) = delete;

  // A response to the banner of `requestID`: answers, opens the panel, jumps or activates. Deny
  // on a finished turn lets the agent go with no decision. An
  // unknown kind or request id is ignored. Answers are marshalled for the stored action's own kind
  // (not the banner's), and the banner is withdrawn whether or not the request still waited.
  void dispatch(const QString& actionID, const QString& requestID, const QString& kindStr);

  // Lets the request go without an answer: the agent gets "no decision" at once (at the end of a
  // turn it stops as it would on its own) and the banner is withdrawn. Nothing is sent once the
  // request has ended.
  void letGo(const QString& requestID);

  // Opens the text-reply panel for `action`: the agent's name, logo, folder and last message above
  // the field. Submit answers with the typed text; Cancel, closing the panel and an empty answer
  // let the request go at once; Jump leaves it waiting.
  void openTextPanel(const PendingAction& action);

  // Takes the responses to `banners`' banners.
  void respondTo(TandrelBanners& banners);

  // Starts a Jump to the agent behind `action` on the delegate's own thread (the banner's Jump,
  // the text panel's Jump button and the hot keys).
  void jump(const PendingAction& action);

  // Waits until the Jumps started so far have finished (tests and shutdown).
  void drainJumps();

 private:
  void answer(const PendingAction& action, const UserDecision& decision);

  Services services_;
  std::unique_ptr<SerialQueue> jumpQueue_;
};

}  // namespace tandrel
