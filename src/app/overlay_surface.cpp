#include "app/overlay_surface.h"

#include "island/tandrel_view.h"

#include <QCloseEvent>
#include <QEasingCurve>
#include <QWindow>

namespace tandrel {
namespace {

constexpr int kLayoutAnimationMs = 180;

Qt::WindowFlags flagsFor(PanelStyle style) {
  switch (style) {
    case PanelStyle::island:
      return Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus;
    case PanelStyle::debugRegularIsland:
      return Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint;
    case PanelStyle::settings:
      return Qt::Window;
  }
  return Qt::Window;
}

// The timing curve of an ease-in-ease-out layout animation.
QEasingCurve easeInEaseOut() {
  QEasingCurve curve(QEasingCurve::BezierSpline);
  curve.addCubicBezierSegment(QPointF(0.42, 0.0), QPointF(0.58, 1.0), QPointF(1.0, 1.0));
  return curve;
}

}  // namespace

TandrelOverlayPanel::TandrelOverlayPanel(PanelStyle style, bool translucent, WindowServer* windowServer)
    : QWidget(nullptr, flagsFor(style)), style_(style), translucent_(translucent), windowServer_(windowServer) {
  setAttribute(Qt::WA_ShowWithoutActivating, style != PanelStyle::settings);
  setAttribute(Qt::WA_TranslucentBackground, translucent && style != PanelStyle::settings);
  setAttribute(Qt::WA_NoSystemBackground, style != PanelStyle::settings);
  setMouseTracking(true);
  if (style == PanelStyle::settings) {
    setWindowTitle(QStringLiteral("Tandrel"));
  }
}

void TandrelOverlayPanel::setContentView(TandrelView* view) {
  view_ = view;
  if (view != nullptr) {
    view->setParent(this);
    view->setGeometry(rect());
    if (style_ == PanelStyle::settings) {
      // The settings window takes the keyboard: its keys (Escape) go to the view it shows.
      view->setFocusPolicy(Qt::StrongFocus);
      view->setFocus(Qt::OtherFocusReason);
    }
  }
  updateShape();
}

void TandrelOverlayPanel::setFrame(const QRect& frame) {
  if (animation_ != nullptr) {
    animation_->stop();
  }
  setGeometry(frame);
  // A hidden window gets its resize event only when shown; the view takes the size now.
  if (view_ != nullptr) {
    view_->setGeometry(QRect(QPoint(), frame.size()));
  }
}

void TandrelOverlayPanel::takeKeyboardFocus() {
  // On the native window only: changing the widget's flags would hide and recreate the panel.
  if (QWindow* window = windowHandle(); window != nullptr && style_ == PanelStyle::island) {
    window->setFlag(Qt::WindowDoesNotAcceptFocus, false);
  }
  activateWindow();
}

void TandrelOverlayPanel::releaseKeyboardFocus() {
  if (QWindow* window = windowHandle(); window != nullptr && style_ == PanelStyle::island) {
    window->setFlag(Qt::WindowDoesNotAcceptFocus, true);
  }
}

void TandrelOverlayPanel::animateFrame(const QRect& frame) {
  if (animation_ != nullptr) {
    animation_->stop();
  } else {
    animation_ = new QPropertyAnimation(this, "geometry", this);
    animation_->setDuration(kLayoutAnimationMs);
    animation_->setEasingCurve(easeInEaseOut());
  }
  animation_->setStartValue(geometry());
  animation_->setEndValue(frame);
  animation_->start();
}

void TandrelOverlayPanel::updateShape() {
  if (translucent_ || style_ == PanelStyle::settings || view_ == nullptr) {
    clearMask();
    return;
  }
  if (windowServer_ != nullptr &&
      windowServer_->setWindowShape(winId(), view_->islandShape(size(), devicePixelRatioF()))) {
    clearMask();
    return;
  }
  setMask(view_->islandShape(size()));
}

void TandrelOverlayPanel::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (view_ != nullptr) {
    view_->setGeometry(rect());
  }
  updateShape();
}

void TandrelOverlayPanel::closeEvent(QCloseEvent* event) {
  if (closeHandler_) {
    event->ignore();
    closeHandler_();
    return;
  }
  QWidget::closeEvent(event);
}

}  // namespace tandrel
