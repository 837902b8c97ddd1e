#pragma once

#include <QString>

// The line comparison the installation preview shows: what a configuration edit changes, with a
// few lines around each change.

namespace tandrel {

// Lines of context around each change.
inline constexpr int kDiffContextLines = 3;

// "--- title" and "+++ title", then one hunk per group of changes: "@@ -<old line>,<count>
// +<new line>,<count> @@", unchanged lines as "  line", removed ones as "- line", added ones as
// "+ line", and `kDiffContextLines` unchanged lines before and after (hunks whose context meets
// are one). A shortest line edit (inserted lines shift nothing), every change, never cut. A final
// line break ends the last line. A line that only gains or loses its final comma shows as changed
// where it is. Equal texts give title + "\nNo config line changes; bridge scripts will be
// refreshed."
QString unifiedDiff(const QString& title, const QString& oldText, const QString& newText);

}  // namespace tandrel
