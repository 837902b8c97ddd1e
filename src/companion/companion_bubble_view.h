#pragma once

// The companion's status bubble as a view of its own: the status item's label in a dark rounded
// box with a border in the pet state's accent colour. The controller keeps its status item
// current (with the "No linked task" stand-in after a click that led nowhere); the companion
// view draws the status itself, so the bubble's window is never shown.

#include "attention/companion_status.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

namespace tandrel {

class TandrelCompanionBubbleView : public QWidget {
  Q_OBJECT

 public:
  static constexpr QSize kSize{156, 38};

  TandrelCompanionBubbleView();

  const std::optional<CompanionStatusItem>& statusItem() const { return statusItem_; }
  // Redraws.
  void setStatusItem(std::optional<CompanionStatusItem> item);
  // What a click on the shown item does.
  std::function<void(const CompanionStatusItem& item)> openStatus;

  void drawBubble(QPainter& painter) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  std::optional<CompanionStatusItem> statusItem_;
};

}  // namespace tandrel
