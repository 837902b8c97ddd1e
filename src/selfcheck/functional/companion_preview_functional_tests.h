#pragma once

#include <QString>

namespace tandrel {

// The desktop companion shows a task's card preview (the user's request, not the event's title or
// message) and Jumps through the typed target of the event behind an item: a Codex session's
// command in its folder, a cmux session and window, an iTerm2 session, a Cursor workspace, the
// Claude and Codex apps. A click on the label the companion drew opens the item it showed. Its
// files lie under `tempRoot` with the prefix "companion-preview"; nothing is opened.
bool companionPreviewAndJumpFunctionalTest(const QString& tempRoot);

}  // namespace tandrel
