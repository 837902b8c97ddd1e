#include "inbox/message_normalizer.h"

#include "catalog/tool_catalog.h"

#include <QTextBoundaryFinder>

namespace tandrel {
namespace {

const QString kSpacedHyphen = QStringLiteral(" - ");
const QString kSpacedMiddleDot = QStringLiteral(" \u00B7 ");

// How many grapheme clusters `text` holds.
int graphemeCount(const QString& text) {
  QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
  int count = 0;
  while (finder.toNextBoundary() != -1) ++count;
  return count;
}

// The first `count` grapheme clusters of `text`.
QString firstGraphemes(const QString& text, int count) {
  QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
  int end = 0;
  for (int i = 0; i < count; ++i) {
    const qsizetype next = finder.toNextBoundary();
    if (next == -1) break;
    end = static_cast<int>(next);
  }
  return text.left(end);
}

// Printable ASCII: one character per code unit, no need to look for clusters.
bool isPrintableAscii(const QString& text) {
  for (const QChar c : text) {
    if (c.unicode() < 0x20 || c.unicode() > 0x7E) return false;
  }
  return true;
}

std::optional<MessageRisk> normalizedRisk(const QString& risk) {
  return parseMessageRisk(risk.trimmed().toLower());
}

bool isResponseStyleChannel(const ResponseChannel& channel) {
  switch (channel.kind()) {
    case ResponseChannel::Kind::responseFile:
    case ResponseChannel::Kind::responseCommand:
    case ResponseChannel::Kind::localSocket:
    case ResponseChannel::Kind::appServer:
      return true;
    default:
      return false;
  }
}

struct Classification {
  MessageIntent intent;
  MessageCategory category;
  ResponseChannel channel;
};

Classification classify(const TandrelEvent& event) {
  const QString& type = event.eventType;
  if (type == u"permission_request") {
    ResponseChannel channel = ResponseChannel::none();
    if (event.decisionFile) {
      channel = ResponseChannel::decisionFile(*event.decisionFile);
    } else if (event.decisionCommand) {
      channel = ResponseChannel::decisionCommand(*event.decisionCommand);
    }
    return {MessageIntent::permissionRequest, MessageCategory::humanLoop, channel};
  }
  if (type == u"waiting_input" || type == u"plan_ready") {
    const bool hasOptions = !event.choiceOptions.empty();
    const MessageIntent intent = hasOptions                 ? MessageIntent::choiceRequest
                                 : type == u"waiting_input" ? MessageIntent::inputRequest
                                                            : MessageIntent::planReview;
    // Only channels that carry a typed or chosen answer count here.
    const ResponseChannel channel =
        isResponseStyleChannel(event.responseChannel) ? event.responseChannel : ResponseChannel::none();
    return {intent, MessageCategory::humanLoop, channel};
  }
  if (type == u"task_completed" || type == u"task_failed" || type == u"task_cancelled") {
    return {MessageIntent::taskResult, MessageCategory::lifecycle, ResponseChannel::none()};
  }
  if (type == u"rate_limited") return {MessageIntent::usageAlert, MessageCategory::usage, ResponseChannel::none()};
  if (type == u"jump_notice") return {MessageIntent::jumpNotice, MessageCategory::workspace, ResponseChannel::none()};
  if (type == u"integration_notice") {
    return {MessageIntent::integrationNotice, MessageCategory::integration, ResponseChannel::none()};
  }
  if (event.status == u"usage_limited") {
    return {MessageIntent::usageAlert, MessageCategory::usage, ResponseChannel::none()};
  }
  return {MessageIntent::taskStatus, MessageCategory::lifecycle, ResponseChannel::none()};
}

std::optional<MessageInteraction> interactionFor(MessageIntent intent, const TandrelEvent& event,
                                                 const ResponseChannel& channel) {
  if (intent == MessageIntent::choiceRequest) {
    return MessageChoice{
        event.selectionMode,
        event.choiceOptions,
        MessageNote{event.noteEnabled, event.notePlaceholder, event.noteMaxLength},
        MessageSubmitBehavior{MessageSubmitKind::selectImmediately, channel, MessageSubmitFallback::jump},
    };
  }
  if (intent == MessageIntent::inputRequest) {
    return MessageTextInput{
        MessageNote{true, event.notePlaceholder, event.noteMaxLength},
        MessageSubmitBehavior{MessageSubmitKind::sendButton, channel, MessageSubmitFallback::jump},
    };
  }
  return std::nullopt;
}

bool isHumanLoop(MessageIntent intent) {
  return intent == MessageIntent::permissionRequest || intent == MessageIntent::choiceRequest ||
         intent == MessageIntent::inputRequest || intent == MessageIntent::planReview;
}

int priorityFor(MessageIntent intent, const TandrelEvent& event) {
  if (isHumanLoop(intent)) return 0;
  if (event.severity == u"critical" || event.eventType == u"task_failed") return 1;
  if (intent == MessageIntent::usageAlert) return 2;
  if (intent == MessageIntent::taskResult) return 4;
  return 5;
}

QString badgeFor(MessageIntent intent, const TandrelEvent& event) {
  switch (intent) {
    case MessageIntent::permissionRequest:
      return QStringLiteral("Approval");
    case MessageIntent::choiceRequest:
      return QStringLiteral("Choice");
    case MessageIntent::inputRequest:
      return QStringLiteral("Human");
    case MessageIntent::planReview:
      return QStringLiteral("Plan");
    case MessageIntent::taskResult:
      if (event.eventType == u"task_cancelled") return QStringLiteral("Cancelled");
      if (event.severity == u"critical" || event.eventType == u"task_failed") return QStringLiteral("Error");
      return QStringLiteral("Done");
    case MessageIntent::usageAlert:
      return QStringLiteral("Usage");
    case MessageIntent::jumpNotice:
      return QStringLiteral("Jump");
    case MessageIntent::integrationNotice:
      return QStringLiteral("Setup");
    case MessageIntent::taskStatus:
      break;
  }
  return capitalizedWords(event.eventType);
}

MessageActionSpec footerAction(MessageActionRole role, const QString& label) {
  MessageActionSpec spec;
  spec.role = role;
  spec.label = label;
  return spec;
}

MessageActionSpec jumpAction() { return footerAction(MessageActionRole::jump, QStringLiteral("Jump")); }
MessageActionSpec ignoreAction() { return footerAction(MessageActionRole::ignore, QStringLiteral("Ignore")); }
MessageActionSpec markReadAction() {
  return footerAction(MessageActionRole::markRead, QStringLiteral("Mark Read"));
}
MessageActionSpec configureAction() {
  return footerAction(MessageActionRole::configure, QStringLiteral("Configure"));
}

}  // namespace

QString tidyMessageText(const QString& text) {
  if (!text.contains(kSpacedHyphen)) return text;
  QString tidied = text;
  return tidied.replace(kSpacedHyphen, kSpacedMiddleDot);
}

QString capitalizedWords(const QString& text) {
  QString result = text;
  result.replace(QLatin1Char('_'), QLatin1Char(' '));
  bool atWordStart = true;
  for (qsizetype i = 0; i < result.size(); ++i) {
    const QChar c = result.at(i);
    if (c == QLatin1Char(' ')) {
      atWordStart = true;
      continue;
    }
    result[i] = atWordStart ? c.toUpper() : c.toLower();
    atWordStart = false;
  }
  return result;
}

QString shortSessionText(const QString& sessionId) {
  if (sessionId.size() < 13) return sessionId;  // never more clusters than code units
  if (isPrintableAscii(sessionId)) return sessionId.left(8) + QStringLiteral("...");
  if (graphemeCount(sessionId) < 13) return sessionId;
  return firstGraphemes(sessionId, 8) + QStringLiteral("...");
}

QString MessageNormalizer::detailText(const TandrelEvent& event) {
  QStringList parts;
  parts << tidyMessageText(event.toolName);
  parts << (event.message.isEmpty() ? tidyMessageText(event.project) : tidyMessageText(event.message));
  if (event.pid) parts << QStringLiteral("pid: ") + *event.pid;
  if (event.terminal) parts << QStringLiteral("terminal: ") + *event.terminal;
  if (event.sessionId) parts << QStringLiteral("session: ") + shortSessionText(*event.sessionId);
  parts.removeAll(QString());
  return parts.join(kSpacedMiddleDot);
}

std::vector<MessageActionSpec> MessageNormalizer::actions(MessageIntent intent, const TandrelEvent& event,
                                                          const ResponseChannel& channel,
                                                          const std::optional<MessageInteraction>& interaction) {
  switch (intent) {
    case MessageIntent::permissionRequest: {
      const auto kind = channel.kind();
      if (kind != ResponseChannel::Kind::decisionFile && kind != ResponseChannel::Kind::responseFile) {
        return {jumpAction(), ignoreAction()};
      }
      MessageActionSpec approve = footerAction(MessageActionRole::approve, QStringLiteral("Approve"));
      approve.risk = normalizedRisk(event.risk);
      approve.requiresConfirmation = approve.risk == MessageRisk::high;
      approve.channel = channel;
      MessageActionSpec reject = footerAction(MessageActionRole::reject, QStringLiteral("Reject"));
      reject.channel = channel;
      return {approve, reject, ignoreAction(), jumpAction()};
    }
    case MessageIntent::choiceRequest: {
      std::vector<MessageActionSpec> result;
      if (interaction) {
        result.reserve(event.choiceOptions.size() + 2);
        for (const MessageOption& option : event.choiceOptions) {
          MessageActionSpec spec = footerAction(MessageActionRole::chooseOption, option.label);
          spec.placement = MessageActionPlacement::expandedBody;
          spec.enabled = !option.disabledReason.has_value();
          spec.disabledReason = option.disabledReason;
          spec.risk = option.risk;
          spec.channel = channel;
          result.push_back(std::move(spec));
        }
      }
      result.push_back(jumpAction());
      result.push_back(ignoreAction());
      return result;
    }
    case MessageIntent::taskResult:
      if (event.eventType == u"task_failed") return {markReadAction(), ignoreAction(), configureAction()};
      return {markReadAction(), jumpAction()};
    case MessageIntent::usageAlert:
      return {markReadAction(), ignoreAction(), configureAction()};
    case MessageIntent::inputRequest:
    case MessageIntent::planReview:
    case MessageIntent::taskStatus:
    case MessageIntent::jumpNotice:
    case MessageIntent::integrationNotice:
      break;
  }
  return {ignoreAction(), jumpAction()};
}

std::optional<UserFacingMessage> MessageNormalizer::normalize(const std::vector<TandrelEvent>& events) {
  if (events.empty()) return std::nullopt;
  const TandrelEvent& event = events.front();
  Classification classification = classify(event);

  UserFacingMessage message;
  message.sourceEventIDs.reserve(static_cast<qsizetype>(events.size()));
  for (const TandrelEvent& member : events) message.sourceEventIDs << member.id;
  message.id = message.sourceEventIDs.join(QLatin1Char('+'));
  message.toolLabel = toolDisplayName(event.source);
  message.toolID = canonicalToolID(message.toolLabel);
  message.category = classification.category;
  message.intent = classification.intent;
  message.priority = priorityFor(classification.intent, event);
  message.title = tidyMessageText(event.title);
  message.detail = detailText(event);

  message.preview.user = tidyMessageText(event.preview.user);
  if (message.preview.user.isEmpty()) message.preview.user = message.title;
  message.preview.agent = tidyMessageText(event.preview.agent);
  if (message.preview.agent.isEmpty()) message.preview.agent = tidyMessageText(event.message);
  if (message.preview.agent.isEmpty()) message.preview.agent = message.detail;

  message.badge = badgeFor(classification.intent, event);
  message.risk = normalizedRisk(event.risk);
  message.timestamp = event.rawTimestamp;
  message.readState = MessageReadState::unread;
  message.interaction = interactionFor(classification.intent, event, classification.channel);
  message.actions = actions(classification.intent, event, classification.channel, message.interaction);
  return message;
}

}  // namespace tandrel
