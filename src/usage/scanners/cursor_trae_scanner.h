#pragma once

#include "events/tandrel_event.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>

// Cursor and Trae, watched through the files they write themselves:
// - a recent assistant answer in a Cursor agent transcript ("agent-transcripts" folders below the
//   Cursor projects root) becomes a "task_completed" event;
// - a recent "code_comp_complete_shown" line in a Trae "renderer.log" becomes one too;
// - a Trae Agent trajectory (one JSON object per file) becomes a usage event for
//   "trae-agent-cli" with its token counts summed.

namespace tandrel {

QStringList recentCursorHotplugTranscriptFiles(const std::optional<QString>& root, int limit);
QStringList recentTraeRendererLogFiles(const std::optional<QString>& root, int limit);

// The workspace a transcript belongs to, decoded from its project folder's name ("home-dev-app"
// on Linux, "Users-dev-app" on macOS, stand for "/home/dev/app" and "/Users/dev/app"), when that
// folder exists.
std::optional<QString> cursorWorkspacePath(const QString& transcriptPath);
// The completion event of a transcript whose newest assistant answer is at most 2 hours old.
std::optional<TandrelEvent> cursorHotplugCompletionEvent(const QString& path, const QDateTime& now);

// The time at the start of a log line, else the file's modification time (else now).
QString traeLogTimestamp(const QString& line, const QString& path, const QDateTime& now);
// The completion event of the log's newest completion line, when it is at most 6 hours old.
std::optional<TandrelEvent> traeLogHotplugCompletionEvent(const QString& path, const QDateTime& now);

// The usage event of a trajectory object; nothing without interactions or tokens.
std::optional<TandrelEvent> traeTrajectoryUsageEvent(const QJsonObject& trajectory, const QString& path);
// The same for a trajectory file.
std::optional<TandrelEvent> traeTrajectoryFileUsageEvent(const QString& path);

}  // namespace tandrel
