// Codex rollouts, Cursor agent transcripts and Trae logs and trajectories, as the usage and
// hot-plug scanners read them: whatever a file holds gives an event or none, and an event has an
// identifier.
#include "fuzz_target.h"

#include "usage/scanners/codex_rollout_scanner.h"
#include "usage/scanners/cursor_trae_scanner.h"

#include <QFile>

TANDREL_FUZZ_TARGET(local_scanners) {
  using namespace tandrel;
  static int count = 0;
  const QString path = fuzz::scratchFolder() +
                       QStringLiteral("/rollout-2026-05-09T12-56-00-0196b6e0-0000-7000-8000-%1.jsonl")
                           .arg(++count, 12, 10, QLatin1Char('0'));
  {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
      return 0;
    }
    file.write(fuzz::bytes(data, size));
  }
  const QDateTime now = QDateTime::fromMSecsSinceEpoch(1778331360000, Qt::UTC);
  const std::optional<TandrelEvent> events[] = {
      codexRolloutFileUsageEvent(path),        codexRolloutFileApprovalEvent(path, now),
      cursorHotplugCompletionEvent(path, now), traeLogHotplugCompletionEvent(path, now),
      traeTrajectoryFileUsageEvent(path),
  };
  for (const auto& event : events) {
    FUZZ_CHECK(!event || !event->id.isEmpty(), path);
  }
  QFile::remove(path);
  return 0;
}
