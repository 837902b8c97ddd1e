#pragma once

#include <QString>

// The open choice card of the expanded island: its option buttons and note field inside its body,
// the island growing by the body so that the cards around it stay on the page, and the open card,
// the note's focus and its text cleared on Esc, on leaving the expanded island and when its message
// is hidden; a choice without a note neither shows nor takes one. Each reads bridge records of its
// own under `tempRoot`.

namespace tandrel {

bool expandedChoiceHitTargetsFunctionalTest(const QString& tempRoot);
bool expandedChoiceLowerPageMessageStaysVisibleFunctionalTest(const QString& tempRoot);
bool expandedChoiceEscClearsInlineStateFunctionalTest(const QString& tempRoot);
bool expandedChoiceNoteDisabledFunctionalTest(const QString& tempRoot);
bool expandedChoiceModeExitClearsStateFunctionalTest(const QString& tempRoot);
bool expandedChoiceHiddenMessageClearsStateFunctionalTest(const QString& tempRoot);

}  // namespace tandrel
