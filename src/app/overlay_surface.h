#pragma once

// One island panel per shown screen: the top-level window (`TandrelOverlayPanel`) holding the
// island view, and the record that ties both to their screen (`OverlaySurface`).

#include "app/display_policy.h"
#include "island/tandrel_view.h"
#include "platform/window_server.h"
#include "ui/overlay_host.h"

#include <QPointer>
#include <QPropertyAnimation>
#include <QWidget>

#include <functional>
#include <memory>

namespace tandrel {


// How a panel is made: an island panel (frameless, above ordinary windows, never focused, on
// every workspace, without taskbar entry), the same as an ordinary focusable window for
// debugging (TANDREL_DEBUG_REGULAR), or the settings page's decorated window.
enum class PanelStyle { island, debugRegularIsland, settings };

class TandrelOverlayPanel : public QWidget, public KeyboardFocusPanel {
  Q_OBJECT

 public:
  // `translucent`: a compositor blends the transparent corners; without one the panel is cut to
  // the view's shape instead, in device pixels through `windowServer` where it can.
  TandrelOverlayPanel(PanelStyle style, bool translucent, WindowServer* windowServer = nullptr);

  PanelStyle style() const { return style_; }
  // Whether the panel may take focus like a regular window (the settings page).
  bool allowsRegularWindowActivation = false;

  // The island view fills the panel, also while the panel's size animates.
  void setContentView(TandrelView* view);
  TandrelView* contentView() const { return view_; }
  // Runs instead of closing when the user closes the window (the settings page's close button).
  void setCloseHandler(std::function<void()> handler) { closeHandler_ = std::move(handler); }

  // Moves and sizes the panel at once, or over 0.18 s with ease-in-ease-out timing.
  void setFrame(const QRect& frame);
  void animateFrame(const QRect& frame);
  bool isAnimating() const { return animation_ != nullptr && animation_->state() == QAbstractAnimation::Running; }

  // Cuts the panel to the view's shape when there is no compositor: the native window in device
  // pixels where the window server can (a widget's mask is in logical pixels, which at twice the
  // scale turns the round corners into 2-pixel steps), else the widget.
  void updateShape();

  // An island panel takes no focus, except while the user types into a card's note: then it
  // accepts focus and asks for it, until the island leaves the expanded mode.
  void takeKeyboardFocus() override;
  void releaseKeyboardFocus() override;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  PanelStyle style_;
  bool translucent_;
  WindowServer* windowServer_;
  QPointer<TandrelView> view_;
  QPointer<QPropertyAnimation> animation_;
  std::function<void()> closeHandler_;
};

// One shown screen's panel and view. The surface owns the panel; the panel owns the view.
struct OverlaySurface {
  QString id;  // the screen id of its screen
  ScreenInfo screen;
  std::unique_ptr<TandrelOverlayPanel> panel;
  TandrelView* view = nullptr;
};

}  // namespace tandrel
