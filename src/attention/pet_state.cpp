#include "attention/pet_state.h"

#include "attention/event_reminder_policy.h"

namespace tandrel {

QString rawValue(PetState state) {
  switch (state) {
    case PetState::idle:
      return QStringLiteral("idle");
    case PetState::working:
      return QStringLiteral("working");
    case PetState::approval:
      return QStringLiteral("approval");
    case PetState::done:
      return QStringLiteral("done");
    case PetState::error:
      return QStringLiteral("error");
    case PetState::tired:
      return QStringLiteral("tired");
  }
  return QString();
}

PetState PetStateResolver::resolve(std::span<const TandrelEvent> events,
                                   const std::optional<UsageSnapshot>& usageStatus, bool hasSocketLoopPending) {
  if (hasSocketLoopPending) return PetState::approval;
  bool failure = false;
  bool rateLimit = false;
  bool working = false;
  bool done = false;
  for (const TandrelEvent& event : events) {
    const EventReminderPolicy policy = eventReminderPolicy(event);
    switch (policy.kind) {
      case EventReminderKind::permission:
      case EventReminderKind::waitingChoice:
      case EventReminderKind::waitingAnswer:
        return PetState::approval;
      case EventReminderKind::failure:
        failure = true;
        break;
      case EventReminderKind::rateLimit:
        rateLimit = true;
        break;
      case EventReminderKind::working:
        working = true;
        break;
      case EventReminderKind::completion:
        done = done || policy.isHumanFacing;
        break;
      case EventReminderKind::none:
        break;
    }
  }
  if (failure) return PetState::error;
  if (usageRateLimitIsError(usageStatus) || rateLimit) return PetState::tired;
  if (working) return PetState::working;
  if (done) return PetState::done;
  return PetState::idle;
}

QColor petAccentColor(PetState state) {
  switch (state) {
    case PetState::idle:
      return QColor::fromRgbF(0.58f, 0.58f, 0.58f);
    case PetState::working:
      return QColor(139, 92, 246);
    case PetState::approval:
      return QColor(245, 179, 1);
    case PetState::done:
      return QColor(0, 214, 163);
    case PetState::error:
      return QColor(255, 77, 94);
    case PetState::tired:
      return QColor(255, 155, 61);
  }
  return QColor::fromRgbF(0.58f, 0.58f, 0.58f);
}

}  // namespace tandrel
