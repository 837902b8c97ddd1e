#pragma once

#include "events/tandrel_event.h"

#include <QString>

#include <optional>
#include <vector>

// The loaders that the event store runs over the agents' data roots: each discovers its files,
// passes them newest first through the per-file event cache with its scanner, and keeps the
// events that come back. An absent root gives nothing. They may run on any thread.

namespace tandrel {

// Usage: the 16 newest Codex rollouts; the 64 newest Claude transcripts and then the active
// five-hour block over the 256 newest; the 32 newest Trae Agent trajectories.
std::vector<TandrelEvent> loadCodexRolloutUsageEvents(const std::optional<QString>& root);
std::vector<TandrelEvent> loadClaudeTranscriptUsageEvents(const std::optional<QString>& root);
std::vector<TandrelEvent> loadTraeTrajectoryUsageEvents(const std::optional<QString>& root);

// Hot-plug: pending Codex approvals (16 rollouts), Cursor completions (24 transcripts), Trae
// completions (8 logs).
std::vector<TandrelEvent> loadCodexRolloutHotplugEvents(const std::optional<QString>& root);
std::vector<TandrelEvent> loadCursorTranscriptHotplugEvents(const std::optional<QString>& root);
std::vector<TandrelEvent> loadTraeLogHotplugEvents(const std::optional<QString>& root);

// The three usage loaders in that order, and the three hot-plug loaders in that order (the Claude
// projects root is not used for hot-plug events).
std::vector<TandrelEvent> scanLocalUsageEvents(const std::optional<QString>& codexSessionsRoot,
                                               const std::optional<QString>& claudeProjectsRoot,
                                               const std::optional<QString>& traeTrajectoryRoot);
std::vector<TandrelEvent> scanLocalHotplugEvents(const std::optional<QString>& codexSessionsRoot,
                                                 const std::optional<QString>& claudeProjectsRoot,
                                                 const std::optional<QString>& cursorProjectsRoot,
                                                 const std::optional<QString>& traeLogsRoot);

}  // namespace tandrel
