#pragma once

#include "events/tandrel_event.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>

// The Codex CLI's rollout files (JSON lines "rollout-….jsonl" below the sessions root, in
// year/month/day folders) read two ways: the newest record with token counts, context window or
// rate limits becomes a usage event for "codex-cli", and a function call that asked for escalated
// permissions and has no output yet becomes a "permission_request" event, so that a Codex
// approval shows even without hooks.

namespace tandrel {

// The usage event of one record; nothing when it carries no token counts, context or limits.
std::optional<TandrelEvent> codexRolloutUsageEvent(const QJsonObject& record, const QString& path);
// The per-file usage scan: of the records in the file's last 256 KiB, the newest whose usage has a
// context or token meter, else the newest that yields any usage event.
std::optional<TandrelEvent> codexRolloutFileUsageEvent(const QString& path);

// The newest rollout files for the approval scan: the root and at most four newest child folders
// per folder, three levels deep; exact "jsonl" extension and a "rollout-" name.
QStringList recentCodexHotplugRolloutFiles(const std::optional<QString>& root, int limit);

// A call's "arguments" as an object (an object, or text holding one); else empty.
QJsonObject codexFunctionArguments(const QJsonObject& payload);
// The last 36 characters of the file's name without extension when they hold exactly four "-".
std::optional<QString> codexSessionID(const QString& path);
// A "function_call" that asks for escalated sandbox permissions or gives a justification.
bool codexRolloutFunctionCallNeedsApproval(const QJsonObject& payload, const QJsonObject& arguments);
// The approval event of a pending call; nothing when it needs no approval or is over 6 hours old.
std::optional<TandrelEvent> codexHotplugPermissionEvent(const QJsonObject& payload, const QJsonObject& record,
                                                        const std::optional<QString>& latestUserPrompt,
                                                        const std::optional<QString>& turnCwd, const QString& path,
                                                        const QDateTime& now);
// The per-file approval scan over the file's last 512 KiB.
std::optional<TandrelEvent> codexRolloutFileApprovalEvent(const QString& path, const QDateTime& now);

}  // namespace tandrel
