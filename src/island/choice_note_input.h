#pragma once

// Typing into an open choice card's note: what a keystroke's text does to the note, counted in
// characters as the user sees them (grapheme clusters).

#include <QString>
#include <QtGlobal>

#include <optional>

namespace tandrel {

// The note after a keystroke delivered `typed` (one or several characters, from an input method
// or a dead key). Nothing changes (none) when the text holds a line break or a tab, when nothing
// is left once every character with a control or format code point is dropped, or when the note
// already holds `maxLength` characters (a negative maximum counts as 0). Otherwise as many
// leading characters as there is room for are appended.
std::optional<QString> noteAfterTyping(const QString& note, const QString& typed, qint64 maxLength);

// The note without its last character; none for an empty note.
std::optional<QString> noteAfterDelete(const QString& note);

// The number of characters as the user sees them.
qint64 graphemeCount(const QString& text);

}  // namespace tandrel
