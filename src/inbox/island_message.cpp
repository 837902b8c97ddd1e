#include "inbox/island_message.h"

#include "attention/event_priority.h"
#include "attention/event_reminder_policy.h"
#include "inbox/message_normalizer.h"
#include "catalog/tool_catalog.h"

#include <QHash>

namespace tandrel {
namespace {

const QString kSpacedMiddleDot = QStringLiteral(" \u00B7 ");

bool isHumanLoopType(const QString& type) {
  return type == u"permission_request" || type == u"waiting_input" || type == u"plan_ready";
}

QColor rgb(double red, double green, double blue, double alpha = 1.0) {
  return QColor::fromRgbF(static_cast<float>(red), static_cast<float>(green), static_cast<float>(blue),
                          static_cast<float>(alpha));
}

QColor withAlpha(QColor color, double alpha) {
  color.setAlphaF(static_cast<float>(alpha));
  return color;
}

QColor whiteWithAlpha(double alpha) { return rgb(1.0, 1.0, 1.0, alpha); }

const QColor& dangerRed() {
  static const QColor color = rgb(1.0, 85.0 / 255.0, 85.0 / 255.0);
  return color;
}

const QColor& attentionAmber() {
  static const QColor color = rgb(1.0, 187.0 / 255.0, 0.0);
  return color;
}

const QColor& limitOrange() {
  static const QColor color = rgb(1.0, 136.0 / 255.0, 0.0);
  return color;
}

const QColor& doneGreen() {
  static const QColor color = rgb(0.0, 214.0 / 255.0, 163.0 / 255.0);
  return color;
}

// Accent and fill of a card by its lead event. The risk compared is the normalized one, so a risk
// written "High" colours the card as the "HIGH" it shows and the confirmation Approve asks for.
std::pair<QColor, QColor> cardColors(const TandrelEvent& lead, const std::optional<MessageRisk>& risk,
                                     const QColor& toolColor) {
  const QString& type = lead.eventType;
  if (type == u"permission_request") {
    const QColor& accent = risk == MessageRisk::high ? dangerRed() : attentionAmber();
    return {accent, withAlpha(accent, 0.06)};
  }
  if (type == u"waiting_input" || type == u"plan_ready") {
    return {attentionAmber(), withAlpha(attentionAmber(), 0.055)};
  }
  if (lead.severity == u"critical" || type == u"task_failed") {
    return {dangerRed(), withAlpha(dangerRed(), 0.05)};
  }
  if (type == u"rate_limited") return {limitOrange(), withAlpha(limitOrange(), 0.045)};
  if (type == u"task_completed") return {doneGreen(), whiteWithAlpha(0.028)};
  return {toolColor, whiteWithAlpha(0.024)};
}

QString cardBadge(const TandrelEvent& lead) {
  const QString& type = lead.eventType;
  if (type == u"permission_request") return QStringLiteral("Approval");
  if (type == u"waiting_input") return QStringLiteral("Human");
  if (type == u"plan_ready") return QStringLiteral("Plan");
  if (type == u"task_completed") return QStringLiteral("Done");
  if (type == u"task_failed") return QStringLiteral("Error");
  if (type == u"rate_limited") return QStringLiteral("Rate Limit");
  return capitalizedWords(lead.status);
}

// Unlike the normalized detail line, the card shows the tool name and the project as they are and
// tidies only the message.
QString cardDetail(const TandrelEvent& lead) {
  QStringList parts;
  parts << lead.toolName;
  parts << (lead.message.isEmpty() ? lead.project : tidyMessageText(lead.message));
  if (lead.pid) parts << QStringLiteral("pid: ") + *lead.pid;
  if (lead.terminal) parts << QStringLiteral("terminal: ") + *lead.terminal;
  if (lead.sessionId) parts << QStringLiteral("session: ") + shortSessionText(*lead.sessionId);
  parts.removeAll(QString());
  return parts.join(kSpacedMiddleDot);
}

// An ended request's card keeps only the buttons that answer nobody.
bool answersTheAgent(MessageActionRole role) {
  return role == MessageActionRole::approve || role == MessageActionRole::reject ||
         role == MessageActionRole::chooseOption || role == MessageActionRole::sendInput;
}

QString pendingCardLabel(PendingCardAction action) {
  switch (action) {
    case PendingCardAction::approve: return QStringLiteral("Approve");
    case PendingCardAction::always: return QStringLiteral("Always");
    case PendingCardAction::deny: return QStringLiteral("Deny");
    case PendingCardAction::openInput: return QStringLiteral("Reply\u2026");
    case PendingCardAction::jump: return QStringLiteral("Jump");
    case PendingCardAction::letStop: return QStringLiteral("Let it stop");
    case PendingCardAction::choice: break;
  }
  return {};
}

// The buttons of a card with a waiting request: its pending card actions (a choice's options are
// drawn in the card's body instead). No agent we answer keeps a rule from an "always" answer, so
// none is offered.
std::vector<IslandButton> pendingCardButtons(const PendingAction& action) {
  std::vector<IslandButton> buttons;
  for (const PendingCardAction card : pendingCardActions(action, false)) {
    if (card != PendingCardAction::choice) buttons.push_back({pendingCardLabel(card), pendingCardRole(card)});
  }
  return buttons;
}

QList<MessageOption> pendingChoiceOptions(const PendingAction& action) {
  QList<MessageOption> options;
  for (const HookRequestOption& option : action.payload.options.value_or(QList<HookRequestOption>{})) {
    options.append(MessageOption{option.id, option.label, option.detail, std::nullopt, std::nullopt});
  }
  return options;
}

std::vector<IslandButton> cardButtons(const UserFacingMessage& normalized, bool ended) {
  std::vector<IslandButton> buttons;
  for (const MessageActionSpec& action : normalized.actions) {
    if (action.placement != MessageActionPlacement::cardFooter || !action.enabled) continue;
    if (ended && answersTheAgent(action.role)) continue;
    const QString role = cardButtonRole(action.role);
    buttons.push_back({action.role == MessageActionRole::approve ? QStringLiteral("Authorize") : action.label, role});
  }
  return buttons;
}

}  // namespace

QString pendingCardRole(PendingCardAction action) { return kPendingCardRolePrefix + rawValue(action); }

std::optional<PendingCardAction> pendingCardActionOfRole(const QString& role) {
  if (!role.startsWith(kPendingCardRolePrefix)) return std::nullopt;
  const QString raw = role.mid(kPendingCardRolePrefix.size());
  for (const PendingCardAction action :
       {PendingCardAction::approve, PendingCardAction::always, PendingCardAction::deny, PendingCardAction::openInput,
        PendingCardAction::choice, PendingCardAction::jump, PendingCardAction::letStop}) {
    if (rawValue(action) == raw) return action;
  }
  return std::nullopt;
}

bool messageWaitsForUser(const IslandMessage& message) {
  return isHumanLoopType(message.event.eventType) && !message.outcome;
}

QString cardButtonRole(MessageActionRole role) {
  return role == MessageActionRole::approve ? QStringLiteral("authorize") : rawValue(role);
}

QString normalizedGroupPart(const QString& part) {
  QString result = part.toLower();
  result.replace(QStringLiteral(" - "), QStringLiteral(" "));
  result.replace(kSpacedMiddleDot, QStringLiteral(" "));
  return result.trimmed();
}

QString inboxGroupKey(const TandrelEvent& event) {
  const QString tool = normalizedGroupPart(toolDisplayName(event.source));
  const QString& type = event.eventType;
  QStringList parts;
  if (type == u"permission_request") {
    parts << QStringLiteral("human_loop") << tool << event.taskKey << normalizedGroupPart(event.cwd)
          << normalizedGroupPart(event.actionKind) << normalizedGroupPart(event.title)
          << normalizedGroupPart(event.risk);
  } else if (type == u"waiting_input" || type == u"plan_ready") {
    parts << QStringLiteral("human_loop") << tool << event.taskKey << normalizedGroupPart(event.title);
  } else {
    parts << QStringLiteral("task") << tool << event.taskKey;
  }
  if (event.requestOutcome) parts << QStringLiteral("ended");  // never grouped with a waiting one
  return parts.join(QLatin1Char('|'));
}

std::optional<IslandMessage> makeMessage(const std::vector<TandrelEvent>& events, const MessageBuildContext& context) {
  if (events.empty()) return std::nullopt;
  const TandrelEvent& lead = events.front();
  std::optional<UserFacingMessage> normalized = MessageNormalizer::normalize(events);
  if (!normalized) return std::nullopt;

  const QString tool = toolDisplayName(lead.source);
  const QColor color = toolColor(tool);
  const bool ended = lead.requestOutcome.has_value();
  // An ended request is coloured as an ordinary message.
  const auto [accent, fill] =
      ended ? std::pair{color, whiteWithAlpha(0.024)} : cardColors(lead, normalized->risk, color);
  std::optional<PendingAction> pending =
      !ended && context.waitingRequest ? context.waitingRequest(lead) : std::nullopt;

  QList<MessageOption> choiceOptions;
  ResponseChannel responseChannel = ResponseChannel::none();
  if (normalized->interaction && !ended) {
    if (const auto* choice = std::get_if<MessageChoice>(&*normalized->interaction)) choiceOptions = choice->options;
    responseChannel = submitBehavior(*normalized->interaction).channel;
  }
  if (pending && pending->kind == PendingActionKind::waitingChoice) {
    choiceOptions = pendingChoiceOptions(*pending);
  }

  std::optional<QString> risk;
  if (lead.eventType == u"permission_request" && !lead.risk.isEmpty() && !ended) risk = lead.risk.toUpper();
  QString detail = cardDetail(lead);
  if (ended) detail = detail.isEmpty() ? *lead.requestOutcome : *lead.requestOutcome + kSpacedMiddleDot + detail;

  IslandMessage message{
      .event = lead,
      .events = events,
      .tool = tool,
      .sourceType = lead.sourceType,
      .toolColor = color,
      .badge = cardBadge(lead),
      .title = tidyMessageText(lead.title),
      .detail = std::move(detail),
      .preview = normalized->preview,
      .time = relativeTime(lead.rawTimestamp, lead.timestamp, context.now),
      .risk = std::move(risk),
      .accent = accent,
      .fill = fill,
      .buttons = pending ? pendingCardButtons(*pending) : cardButtons(*normalized, ended),
      .normalized = std::nullopt,
      .choiceOptions = std::move(choiceOptions),
      .responseChannel = std::move(responseChannel),
      .jump = context.jumpTarget ? context.jumpTarget(lead) : std::nullopt,
      .pendingAction = std::move(pending),
      .outcome = lead.requestOutcome,
  };
  message.normalized = std::move(normalized);
  return message;
}

InboxMessages buildIslandMessages(std::span<const TandrelEvent> events, const QSet<QString>& readIDs,
                                  const QSet<QString>& hiddenIDs, const MessageBuildContext& context) {
  InboxMessages inbox;

  for (const TandrelEvent& event : events) {
    if (hiddenIDs.contains(event.id) || readIDs.contains(event.id)) continue;
    if (!eventReminderPolicy(event).isHumanFacing && !event.requestOutcome) continue;
    inbox.sortedActiveEvents.push_back(event);
  }
  sortEventsByPriority(inbox.sortedActiveEvents);

  QHash<QString, std::size_t> groupIndexByKey;
  for (const TandrelEvent& event : inbox.sortedActiveEvents) {
    const QString key = inboxGroupKey(event);
    const auto found = groupIndexByKey.constFind(key);
    if (found != groupIndexByKey.constEnd()) {
      inbox.groupedActiveEvents[*found].push_back(event);
    } else {
      groupIndexByKey.insert(key, inbox.groupedActiveEvents.size());
      inbox.groupedActiveEvents.push_back({event});
    }
  }

  inbox.messages.reserve(inbox.groupedActiveEvents.size());
  for (const std::vector<TandrelEvent>& group : inbox.groupedActiveEvents) {
    if (std::optional<IslandMessage> message = makeMessage(group, context)) {
      if (messageWaitsForUser(*message)) ++inbox.approvalCount;
      inbox.messages.push_back(std::move(*message));
    }
  }

  const TandrelEvent* latest = nullptr;
  for (const TandrelEvent& event : events) {
    if (latest == nullptr || event.timestamp > latest->timestamp) latest = &event;
  }
  if (latest != nullptr) inbox.latestEvent = *latest;
  return inbox;
}

}  // namespace tandrel
