#include "usage/scanners/local_usage_loaders.h"

#include "usage/scanners/claude_transcript_scanner.h"
#include "usage/scanners/codex_rollout_scanner.h"
#include "usage/scanners/cursor_trae_scanner.h"
#include "usage/scanners/local_files.h"
#include "usage/scanners/local_usage_file_event_cache.h"

#include <QFileInfo>

namespace tandrel {

namespace {

bool everyFile(const QString&) { return true; }

template <typename Scan>
std::vector<TandrelEvent> eventsOf(const QStringList& files, const QString& kind, Scan&& scan) {
  std::vector<TandrelEvent> events;
  for (const QString& path : files) {
    if (auto event = LocalUsageFileEventCache::event(kind, path, [&] { return scan(path); })) {
      events.push_back(std::move(*event));
    }
  }
  return events;
}

void append(std::vector<TandrelEvent>& to, std::vector<TandrelEvent> more) {
  to.insert(to.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
}

}  // namespace

std::vector<TandrelEvent> loadCodexRolloutUsageEvents(const std::optional<QString>& root) {
  const QStringList files = recentJSONLFiles(root, 16, QStringLiteral("codex-rollout"), [](const QString& path) {
    return QFileInfo(path).fileName().startsWith(QLatin1String("rollout-"));
  });
  return eventsOf(files, QStringLiteral("codex"), codexRolloutFileUsageEvent);
}

std::vector<TandrelEvent> loadClaudeTranscriptUsageEvents(const std::optional<QString>& root) {
  if (!root) {
    return {};
  }
  const QStringList files = recentJSONLFiles(root, 64, QStringLiteral("claude-transcript"), everyFile);
  auto events = eventsOf(files, QStringLiteral("claude"), claudeTranscriptFileUsageEvent);
  if (auto block = loadClaudeTranscriptBlockUsageEvent(root)) {
    events.push_back(std::move(*block));
  }
  return events;
}

std::vector<TandrelEvent> loadTraeTrajectoryUsageEvents(const std::optional<QString>& root) {
  const QStringList files = recentJSONFiles(root, 32, QStringLiteral("trae-trajectory"), everyFile);
  return eventsOf(files, QStringLiteral("trae-trajectory"), traeTrajectoryFileUsageEvent);
}

std::vector<TandrelEvent> loadCodexRolloutHotplugEvents(const std::optional<QString>& root) {
  return eventsOf(recentCodexHotplugRolloutFiles(root, 16), QStringLiteral("codex-hotplug"), [](const QString& path) {
    return codexRolloutFileApprovalEvent(path, QDateTime::currentDateTimeUtc());
  });
}

std::vector<TandrelEvent> loadCursorTranscriptHotplugEvents(const std::optional<QString>& root) {
  return eventsOf(recentCursorHotplugTranscriptFiles(root, 24), QStringLiteral("cursor-hotplug"),
                  [](const QString& path) { return cursorHotplugCompletionEvent(path, QDateTime::currentDateTimeUtc()); });
}

std::vector<TandrelEvent> loadTraeLogHotplugEvents(const std::optional<QString>& root) {
  return eventsOf(recentTraeRendererLogFiles(root, 8), QStringLiteral("trae-log-hotplug"), [](const QString& path) {
    return traeLogHotplugCompletionEvent(path, QDateTime::currentDateTimeUtc());
  });
}

std::vector<TandrelEvent> scanLocalUsageEvents(const std::optional<QString>& codexSessionsRoot,
                                               const std::optional<QString>& claudeProjectsRoot,
                                               const std::optional<QString>& traeTrajectoryRoot) {
  auto events = loadCodexRolloutUsageEvents(codexSessionsRoot);
  append(events, loadClaudeTranscriptUsageEvents(claudeProjectsRoot));
  append(events, loadTraeTrajectoryUsageEvents(traeTrajectoryRoot));
  return events;
}

std::vector<TandrelEvent> scanLocalHotplugEvents(const std::optional<QString>& codexSessionsRoot,
                                                 const std::optional<QString>& /*claudeProjectsRoot*/,
                                                 const std::optional<QString>& cursorProjectsRoot,
                                                 const std::optional<QString>& traeLogsRoot) {
  auto events = loadCodexRolloutHotplugEvents(codexSessionsRoot);
  append(events, loadCursorTranscriptHotplugEvents(cursorProjectsRoot));
  append(events, loadTraeLogHotplugEvents(traeLogsRoot));
  return events;
}

}  // namespace tandrel
