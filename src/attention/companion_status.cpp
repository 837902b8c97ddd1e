#include "attention/companion_status.h"

#include "attention/event_priority.h"
#include "attention/event_reminder_policy.h"
#include "attention/outdated_session_records.h"
#include "platform/clock.h"

#include <QStringList>

namespace tandrel {

namespace {

// The companion kind an event stands for, or nothing when the companion passes it over.
std::optional<CompanionStatusKind> companionKind(const EventReminderPolicy& policy) {
  if (policy.kind == EventReminderKind::working) return CompanionStatusKind::working;
  if (!policy.isHumanFacing) return std::nullopt;
  if (isApprovalKind(policy.kind)) return CompanionStatusKind::approval;
  if (policy.kind == EventReminderKind::completion) return CompanionStatusKind::finished;
  return std::nullopt;
}

CompanionStatusItem makeItem(CompanionStatusKind kind, const TandrelEvent& event) {
  return CompanionStatusItem{kind, shortCompanionLabel(event), event};
}

// Each space-separated word with its first letter in upper case and the rest in lower case.
QString capitalizedWords(const QString& text) {
  QStringList words = text.split(u' ');
  for (QString& word : words) {
    if (word.isEmpty()) continue;
    const qsizetype head = word.front().isHighSurrogate() && word.size() > 1 ? 2 : 1;
    word = word.left(head).toUpper() + word.mid(head).toLower();
  }
  return words.join(u' ');
}

}  // namespace

std::vector<TandrelEvent> companionCandidateEvents(std::span<const TandrelEvent> events,
                                                   const QSet<QString>& hiddenIDs,
                                                   const QSet<QString>& readIDs) {
  const std::vector<bool> outdated = outdatedSessionRecords(events);
  std::vector<TandrelEvent> candidates;
  candidates.reserve(events.size());
  for (std::size_t i = 0; i < events.size(); ++i) {
    const TandrelEvent& event = events[i];
    if (!outdated[i] && !hiddenIDs.contains(event.id) && !readIDs.contains(event.id)) candidates.push_back(event);
  }
  sortEventsByPriority(candidates);
  return candidates;
}

std::optional<CompanionStatusItem> companionStatusItem(std::span<const TandrelEvent> events) {
  // The first approval in the order a stable priority sort would give (a later event replaces
  // the best so far only when it strictly goes first). Without one, the newest working or
  // finished event: an agent that finished a task and started the next one is working. Events of
  // the same time keep the priority order, so a completion goes before work then.
  const TandrelEvent* firstApproval = nullptr;
  const TandrelEvent* newest = nullptr;
  CompanionStatusKind newestKind = CompanionStatusKind::working;
  for (const TandrelEvent& event : events) {
    const std::optional<CompanionStatusKind> kind = companionKind(eventReminderPolicy(event));
    if (!kind) continue;
    if (*kind == CompanionStatusKind::approval) {
      if (!firstApproval || eventGoesFirst(event, *firstApproval)) firstApproval = &event;
      continue;
    }
    if (!newest || event.timestamp > newest->timestamp ||
        (event.timestamp == newest->timestamp && eventGoesFirst(event, *newest))) {
      newest = &event;
      newestKind = *kind;
    }
  }
  if (firstApproval) return makeItem(CompanionStatusKind::approval, *firstApproval);
  if (newest) return makeItem(newestKind, *newest);
  return std::nullopt;
}

std::vector<CompanionStatusItem> companionTickerItems(std::span<const TandrelEvent> candidates) {
  std::vector<std::optional<CompanionStatusKind>> kinds;
  kinds.reserve(candidates.size());
  for (const TandrelEvent& event : candidates) kinds.push_back(companionKind(eventReminderPolicy(event)));

  std::vector<CompanionStatusItem> items;
  for (const CompanionStatusKind pass :
       {CompanionStatusKind::approval, CompanionStatusKind::working, CompanionStatusKind::finished}) {
    for (std::size_t i = 0; i < candidates.size(); ++i) {
      if (kinds[i] == pass) items.push_back(makeItem(pass, candidates[i]));
    }
  }
  return items;
}

std::optional<QString> companionEventText(const TandrelEvent& event) {
  for (const QString* field : {&event.preview.user, &event.preview.agent, &event.message, &event.title}) {
    QString text = *field;
    text.replace(QStringLiteral(" - "), QStringLiteral(" · "));
    text = text.trimmed();
    if (!text.isEmpty()) return text;
  }
  return std::nullopt;
}

QString shortCompanionLabel(const TandrelEvent& event) {
  if (std::optional<QString> text = companionEventText(event)) return *text;
  const QString& type = event.eventType;
  if (type == u"permission_request") return QStringLiteral("Approval needed");
  if (type == u"waiting_input" || type == u"plan_ready") return QStringLiteral("Choice needed");
  if (type == u"task_started" || type == u"working" || type == u"task_updated") {
    return toolDisplayName(event.source) + QStringLiteral(" working");
  }
  if (type == u"task_completed") return toolDisplayName(event.source) + QStringLiteral(" done");
  if (type == u"task_failed") return toolDisplayName(event.source) + QStringLiteral(" failed");
  if (type == u"rate_limited") return QStringLiteral("Rate limited");
  QString status = event.status;
  status.replace(u'_', u' ');
  return capitalizedWords(status);
}

std::optional<CompanionStatusItem> companionBubbleStatus(const std::optional<CompanionStatusItem>& storeStatus,
                                                         const std::optional<CompanionBubbleFallback>& fallback,
                                                         double now) {
  if (fallback && now < fallback->expiresAt) return fallback->item;
  return storeStatus;
}

double companionBubbleTime(const Clock& clock) { return double(clock.monotonicMs()) / 1000.0; }

std::optional<QString> companionJumpTarget(const TandrelEvent& event, const PathPredicate& fileExists) {
  std::optional<QString> routes[] = {
      event.jumpTarget,
      event.transcriptPath,
      event.hasExplicitCwd ? std::optional<QString>(event.cwd) : std::nullopt,
  };
  for (const std::optional<QString>& route : routes) {
    if (!route) continue;
    const QString path = route->trimmed();
    if (!path.isEmpty() && fileExists(path)) return path;
  }
  return std::nullopt;
}

}  // namespace tandrel
