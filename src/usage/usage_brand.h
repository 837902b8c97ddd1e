#pragma once

#include <QString>
#include <QStringList>

// Usage is shown per brand, not per tool: Claude Code and the Claude app share one "Claude" meter,
// the Codex command line and app share "Codex", and so on. These map any brand name, tool
// identifier or source word to its brand and to the tool identifiers merged under it.

namespace tandrel {

// The brand a name belongs to, lowercased with "_" as "-": "Claude" for a name containing
// "claude" (but not "claude-dev"), else "Codex", "Cursor", "Trae" or "OpenCode" for a name
// containing "codex", "cursor", "trae" or "opencode". Any other name gives its tool display name
// ("gemini-cli" gives "Gemini CLI").
QString usageBrandName(const QString& brandOrTool);

// The tool identifiers of that brand, in merge order ("claude-code", "claude-app" for Claude);
// for any other name the one canonical identifier of the name.
QStringList usageToolIDs(const QString& brandOrTool);

}  // namespace tandrel
