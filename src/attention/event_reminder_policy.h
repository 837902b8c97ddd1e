#pragma once

#include "events/tandrel_event.h"

#include <QtGlobal>

#include <optional>

// What kind of attention one event asks for, and whether it may remind the user. One
// classification drives the sounds and banners, the inbox filter, the companion's status and
// ticker, and the pet's mood.

namespace tandrel {

// The attention class of an event. The numeric values are part of the packed policy.
enum class EventReminderKind : quint8 {
  none = 0,
  working = 1,
  permission = 2,
  waitingChoice = 3,
  waitingAnswer = 4,
  completion = 5,
  failure = 6,
  rateLimit = 7,
};

// permission, waitingChoice and waitingAnswer: the kinds that wait for the user's answer.
bool isApprovalKind(EventReminderKind kind);

struct EventReminderPolicy {
  // The event may play a sound or post a reminder.
  bool allowsReminder = false;
  // Set together with allowsReminder. Approvals count for the companion and the sounds only with
  // it; completions count for the companion, the pet and the sounds only with it.
  bool isHumanFacing = false;
  // True for every kind but none.
  bool isClassified = false;
  EventReminderKind kind = EventReminderKind::none;

  // The policy as one 32-bit value: kind << 24 | classified << 16 | human-facing << 8 | allows.
  // A reminding permission is 0x02010101, a failure 0x06010000.
  quint32 packed() const;

  bool operator==(const EventReminderPolicy&) const = default;
};
static_assert(sizeof(EventReminderPolicy) == 4);

// The event's reminder policy; the first matching rule wins:
//  1. a response receipt, or a request that has ended (`requestOutcome`): none (receipts are
//     passive whatever their type; an ended request waits for nobody);
//  2. "permission_request": permission with flags when the event has a decision file, a decision
//     command, a decision-file or response-file channel, or an action kind; otherwise none;
//  3. "rate_limited", status "usage_limited", or a usage rate-limit metric whose status is exactly
//     "error": rateLimit;
//  4. "task_failed" or "error", severity "critical", or status "failed": failure;
//  5. "waiting_input" or "plan_ready" with choice options: waitingChoice with flags;
//  6. the same without options but with a decision-file or response-file channel: waitingAnswer
//     with flags;
//  7. "task_completed" or status "completed": completion, with flags only when its completion is
//     human-facing;
//  8. notify policy "usage_only": none;
//  9. "task_started", "task_updated" or "working", or phase "started", "running" or
//     "runningTool": working;
// 10. otherwise none.
// "With flags" means allowsReminder and isHumanFacing are both set when the notify policy allows
// reminders (eventReminderAllowsReminder).
EventReminderPolicy eventReminderPolicy(const TandrelEvent& event);

// The usage reading is present, has a rate-limit metric, and that metric's status is exactly
// "error" (no trimming, no case folding).
bool usageRateLimitIsError(const std::optional<UsageSnapshot>& usage);

// The notify policy, trimmed and lowercased, is neither "usage_only" nor "silent".
bool eventReminderAllowsReminder(const TandrelEvent& event);

// The notify policy, trimmed and lowercased, is "usage_only".
bool eventReminderSuppressesOrdinaryStatus(const TandrelEvent& event);

// Whether a completion is worth telling the user about, judged by the hook that reported it (its
// raw event name lowercased, without "-" and "_", trimmed): "sessionend" never; "stop" and
// "taskcompleted" when the event has human-facing content; any other hook only with a completion
// snippet.
bool eventReminderCompletionIsHumanFacing(const TandrelEvent& event);

// The event carries a completion snippet, a user or agent preview, or a message that is neither
// empty nor one of the writer scripts' placeholder texts.
bool eventReminderHasHumanFacingCompletionContent(const TandrelEvent& event);

// How much an event matters to the user, from its reminder policy. The sound player sounds only
// for needsUser and completed.
enum class EventSignificance : quint8 { needsUser = 0, completed = 1, inProgress = 2, quiet = 3 };

struct EventClassifier {
  // needsUser for a human-facing approval kind, completed for a human-facing completion,
  // inProgress for working, quiet for everything else.
  static EventSignificance classify(const TandrelEvent& event);
};

}  // namespace tandrel
