#pragma once

#include <QJsonObject>
#include <QString>

// The jump diagnostics file: one JSON object per line recording what a jump opener tried and how
// it ended, so that failed jumps can be examined afterwards. Nothing reads or rotates it.

namespace tandrel {

// "jump_diagnostic.jsonl" in the application-support folder.
QString jumpDiagnosticFile();

// Appends `entry` with "timestamp" set to now (UTC, milliseconds; a caller's own "timestamp" is
// replaced), creating the folder and file when needed. Any thread. Every failure is ignored: a
// jump never depends on its diagnostics.
void recordJumpDiagnostic(QJsonObject entry);

// `text` trimmed; when longer than `limit` characters, its first limit - 3 followed by "...".
QString truncatedDiagnostic(const QString& text, int limit);

}  // namespace tandrel
