// Keys and drags: Escape, typing into an open choice card's note, the desktop a settings panel
// moved by hand stays on, and dragging the pet out of the expanded island onto the desktop. Every point here
// is in Qt's y-down coordinates, the screen's as well as the view's.

#include "island/tandrel_view.h"

#include "island/choice_note_input.h"

#include <QKeyEvent>
#include <QLineF>

namespace tandrel {

bool petTravelStartsDragOut(QPointF start, QPointF point) {
  return QLineF(start, point).length() > kPetDragOutThreshold;
}

void TandrelView::keyPressEvent(QKeyEvent* event) {
  if (!keyPressed(event->key(), event->modifiers(), event->text())) {
    QWidget::keyPressEvent(event);
  }
}

bool TandrelView::keyPressed(int key, Qt::KeyboardModifiers modifiers, const QString& text) {
  if (key == Qt::Key_Escape) {
    if (mode_ == OverlayMode::expanded && clearChoiceState()) {
      pendingMessageConfirmation.reset();
      update();
      requestMode(OverlayMode::expanded);  // the island loses the closed body's height
    } else {
      requestMode(OverlayMode::collapsed);
    }
    return true;
  }
  if (mode_ != OverlayMode::expanded || !choiceNoteFocusedMessageID) {
    return false;
  }

  const std::vector<IslandMessage>& page = filteredMessages();
  const inbox_layout::InboxPageLayout layout = pageLayout();
  const auto focused = std::find_if(page.begin(), page.end(), [&](const IslandMessage& message) {
    return message.event.id == *choiceNoteFocusedMessageID && layout.isChoiceExpanded(message);
  });
  const std::optional<MessageNote> note =
      focused == page.end() ? std::nullopt : std::optional(inbox_layout::choiceNote(*focused));
  if (!note || !note->enabled) {
    choiceNoteFocusedMessageID.reset();
    activeChoiceNote.clear();
    update();
    return true;
  }

  if (key == Qt::Key_Backspace) {
    if (const std::optional<QString> shorter = noteAfterDelete(activeChoiceNote)) {
      activeChoiceNote = *shorter;
      update();
    }
    return true;
  }
  if (modifiers & (Qt::ControlModifier | Qt::MetaModifier)) {
    return true;  // shortcuts never type into the note
  }
  if (text.isEmpty()) {
    return false;
  }
  if (const std::optional<QString> longer = noteAfterTyping(activeChoiceNote, text, note->maxLength)) {
    activeChoiceNote = *longer;
    update();
  }
  return true;
}

void TandrelView::mouseDragged(QPointF screenPoint) {
  if (!pendingPetDragStart) {
    return;
  }
  if (petDragOutActive) {
    if (companionDragOut != nullptr) {
      companionDragOut->move(screenPoint);
    }
    return;
  }
  if (!petTravelStartsDragOut(*pendingPetDragStart, screenPoint)) {
    return;  // jitter: still a click on the pet
  }
  petDragOutActive = companionDragOut != nullptr && companionDragOut->begin(screenPoint);
}

void TandrelView::mouseReleased(QPointF screenPoint) {
  if (settingsPanelPointerInteraction) {
    settingsPanelPointerInteraction.reset();
    return;
  }
  if (!pendingPetDragStart) {
    petDragOutActive = false;
    return;
  }
  if (!petDragOutActive) {
    activateSettingsTab(SettingsTab::pets);
    requestMode(OverlayMode::settings);
  } else if (companionDragOut != nullptr) {
    companionDragOut->finish(screenPoint);
  }
  pendingPetDragStart.reset();
  petDragOutActive = false;
}

}  // namespace tandrel
