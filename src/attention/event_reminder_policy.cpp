#include "attention/event_reminder_policy.h"

#include <QStringView>

namespace tandrel {

namespace {

QString cleanedNotifyPolicy(const TandrelEvent& event) { return event.notifyPolicy.trimmed().toLower(); }

bool hasFileChannel(const TandrelEvent& event) {
  const auto kind = event.responseChannel.kind();
  return kind == ResponseChannel::Kind::decisionFile || kind == ResponseChannel::Kind::responseFile;
}

bool isPromptType(const QString& type) { return type == u"waiting_input" || type == u"plan_ready"; }

EventReminderPolicy makePolicy(EventReminderKind kind, bool flags) {
  EventReminderPolicy policy;
  policy.kind = kind;
  policy.isClassified = kind != EventReminderKind::none;
  policy.allowsReminder = flags;
  policy.isHumanFacing = flags;
  return policy;
}

}  // namespace

bool isApprovalKind(EventReminderKind kind) {
  return kind == EventReminderKind::permission || kind == EventReminderKind::waitingChoice ||
         kind == EventReminderKind::waitingAnswer;
}

quint32 EventReminderPolicy::packed() const {
  return (quint32(kind) << 24) | (quint32(isClassified) << 16) | (quint32(isHumanFacing) << 8) |
         quint32(allowsReminder);
}

bool usageRateLimitIsError(const std::optional<UsageSnapshot>& usage) {
  return usage && usage->rateLimit && usage->rateLimit->status == u"error";
}

bool eventReminderAllowsReminder(const TandrelEvent& event) {
  const QString policy = cleanedNotifyPolicy(event);
  return policy != u"usage_only" && policy != u"silent";
}

bool eventReminderSuppressesOrdinaryStatus(const TandrelEvent& event) {
  return cleanedNotifyPolicy(event) == u"usage_only";
}

bool eventReminderHasHumanFacingCompletionContent(const TandrelEvent& event) {
  if (event.completionSnippet || !event.preview.user.isEmpty() || !event.preview.agent.isEmpty()) {
    return true;
  }
  const QString message = event.message.trimmed();
  if (message.isEmpty()) return false;
  // The texts the writer scripts put in when they had nothing to say.
  const QString lowered = message.toLower();
  return lowered != u"lifecycle event captured locally." &&
         lowered != u"turn complete. prompt and response text were not stored by tandrel." &&
         lowered != u"completed.";
}

bool eventReminderCompletionIsHumanFacing(const TandrelEvent& event) {
  QString hook = event.rawEventName.value_or(QString()).toLower();
  hook.remove(u'-');
  hook.remove(u'_');
  hook = hook.trimmed();
  if (hook == u"sessionend") return false;
  if (hook == u"stop" || hook == u"taskcompleted") return eventReminderHasHumanFacingCompletionContent(event);
  return event.completionSnippet.has_value();
}

EventReminderPolicy eventReminderPolicy(const TandrelEvent& event) {
  using Kind = EventReminderKind;
  if (event.responseReceipt || event.requestOutcome) return makePolicy(Kind::none, false);

  const bool allows = eventReminderAllowsReminder(event);
  const QString& type = event.eventType;
  const QString& status = event.status;

  if (type == u"permission_request") {
    const bool answerable = event.decisionFile || event.decisionCommand || hasFileChannel(event) ||
                            !event.actionKind.isEmpty();
    return answerable ? makePolicy(Kind::permission, allows) : makePolicy(Kind::none, false);
  }
  if (type == u"rate_limited" || status == u"usage_limited" || usageRateLimitIsError(event.usage)) {
    return makePolicy(Kind::rateLimit, false);
  }
  if (type == u"task_failed" || type == u"error" || event.severity == u"critical" || status == u"failed") {
    return makePolicy(Kind::failure, false);
  }
  if (isPromptType(type)) {
    if (!event.choiceOptions.empty()) return makePolicy(Kind::waitingChoice, allows);
    if (hasFileChannel(event)) return makePolicy(Kind::waitingAnswer, allows);
  }
  if (type == u"task_completed" || status == u"completed") {
    return makePolicy(Kind::completion, allows && eventReminderCompletionIsHumanFacing(event));
  }
  if (eventReminderSuppressesOrdinaryStatus(event)) return makePolicy(Kind::none, false);
  const QString& phase = event.phase;
  if (type == u"task_started" || type == u"task_updated" || type == u"working" || phase == u"started" ||
      phase == u"running" || phase == u"runningTool") {
    return makePolicy(Kind::working, false);
  }
  return makePolicy(Kind::none, false);
}

EventSignificance EventClassifier::classify(const TandrelEvent& event) {
  const EventReminderPolicy policy = eventReminderPolicy(event);
  if (isApprovalKind(policy.kind)) {
    return policy.isHumanFacing ? EventSignificance::needsUser : EventSignificance::quiet;
  }
  switch (policy.kind) {
    case EventReminderKind::completion:
      return policy.isHumanFacing ? EventSignificance::completed : EventSignificance::quiet;
    case EventReminderKind::working:
      return EventSignificance::inProgress;
    default:
      return EventSignificance::quiet;
  }
}

}  // namespace tandrel
