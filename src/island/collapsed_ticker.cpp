#include "island/collapsed_ticker.h"

#include "catalog/tool_catalog.h"
#include "events/event_store.h"
#include "pets/pet_rail.h"
#include "usage/usage_brand.h"
#include "usage/usage_eligibility.h"

#include <algorithm>
#include <cmath>

namespace tandrel {
namespace {

const QString kMiddleDot = QStringLiteral(" \u00B7 ");

// What a completion's message says when the agent left no text of its own.
bool isPlaceholderCompletionText(const QString& text) {
  return text == QLatin1String("Lifecycle event captured locally.") ||
         text == QLatin1String("Turn complete. Prompt and response text were not stored by Tandrel.");
}

QString messageLabel(const IslandMessage& message) {
  for (const QString* text : {&message.title, &message.detail}) {
    const QString trimmed = text->trimmed();
    if (!trimmed.isEmpty()) {
      return trimmed;
    }
  }
  return message.badge;
}

QString completionLabel(const TandrelEvent& event) {
  if (event.completionSnippet) {
    const QString snippet = event.completionSnippet->trimmed();
    if (!snippet.isEmpty()) {
      return snippet;
    }
  }
  const QString text = event.message.trimmed();
  if (!text.isEmpty() && !isPlaceholderCompletionText(text)) {
    return text;
  }
  return QStringLiteral("Done");
}

bool isCompletion(const IslandMessage& message) {
  return message.event.eventType == QLatin1String("task_completed");
}

}  // namespace

bool collapsedMessageIsApproval(const IslandMessage& message) { return messageWaitsForUser(message); }

std::vector<IslandMessage> collapsedTickerMessages(const std::vector<IslandMessage>& filteredMessages) {
  std::vector<IslandMessage> messages;
  for (const IslandMessage& message : filteredMessages) {
    if (!message.event.usage && !message.outcome) {
      messages.push_back(message);
    }
  }
  return messages;
}

std::optional<QString> collapsedUsageDeadlineLabel(const std::optional<UsageSnapshot>& snapshot) {
  if (!snapshot) {
    return std::nullopt;
  }
  for (const std::optional<UsageMetric>* metric :
       {&snapshot->fiveHour, &snapshot->daily, &snapshot->weekly, &snapshot->rateLimit}) {
    if (!*metric) {
      continue;
    }
    const QString suffix = (*metric)->suffix.trimmed();
    if (suffix.isEmpty()) {
      continue;
    }
    if (suffix.startsWith(QLatin1String("resets"), Qt::CaseInsensitive)) {
      return suffix;
    }
    return QStringLiteral("Resets ") + suffix;
  }
  return std::nullopt;
}

QString collapsedUsageLabel(const UsageSnapshot& snapshot, bool hasDeadline) {
  if (snapshot.rateLimit) {
    return hasDeadline ? snapshot.rateLimit->label : QStringLiteral("Usage limit") + kMiddleDot + snapshot.rateLimit->label;
  }
  const QString fiveHourName =
      snapshot.fiveHour ? usageQuotaShortName(*snapshot.fiveHour, QStringLiteral("5h")) : QString();
  if (snapshot.fiveHour && snapshot.weekly) {
    return fiveHourName + QLatin1Char(' ') + snapshot.fiveHour->label + kMiddleDot +
           usageQuotaShortName(*snapshot.weekly, QStringLiteral("7d")) + QLatin1Char(' ') + snapshot.weekly->label;
  }
  if (snapshot.fiveHour) {
    return hasDeadline ? snapshot.fiveHour->label
                       : fiveHourName + QStringLiteral(" limit") + kMiddleDot + snapshot.fiveHour->label;
  }
  if (snapshot.daily) {
    return hasDeadline ? snapshot.daily->label : snapshot.label;
  }
  if (snapshot.weekly) {
    return hasDeadline ? snapshot.weekly->label : snapshot.label;
  }
  return snapshot.label;
}

std::vector<CollapsedTickerDisplay> buildCollapsedTickerItems(const std::vector<IslandMessage>& tickerMessages,
                                                              int approvalCount,
                                                              const std::vector<TickerUsageReading>& usage) {
  std::vector<CollapsedTickerDisplay> items;
  for (const IslandMessage& message : tickerMessages) {
    if (collapsedMessageIsApproval(message)) {
      items.push_back({CollapsedTickerKind::approval, message.tool, QStringLiteral("Need approve"),
                       ticker::kApprovalAccent, std::nullopt, false, 0});
    }
  }
  for (const IslandMessage& message : tickerMessages) {
    if (!collapsedMessageIsApproval(message) && !isCompletion(message)) {
      items.push_back({CollapsedTickerKind::message, message.tool, messageLabel(message), message.toolColor,
                       std::nullopt, approvalCount != 0, approvalCount});
    }
  }
  for (const IslandMessage& message : tickerMessages) {
    if (isCompletion(message)) {
      items.push_back({CollapsedTickerKind::completion, message.tool, completionLabel(message.event), message.accent,
                       std::nullopt, false, 0});
    }
  }
  for (const TickerUsageReading& reading : usage) {
    std::optional<QString> deadline = collapsedUsageDeadlineLabel(reading.snapshot);
    items.push_back({CollapsedTickerKind::usage, reading.brand,
                     collapsedUsageLabel(reading.snapshot, deadline.has_value()), toolColor(reading.brand),
                     std::move(deadline), false, 0});
  }
  if (items.empty()) {
    items.push_back({CollapsedTickerKind::idle, QStringLiteral("Tandrel"), QStringLiteral("All clear"),
                     ticker::kIdleAccent, std::nullopt, false, 0});
  }
  return items;
}

QString minutesAndSecondsLabel(qint64 seconds) {
  const qint64 clamped = std::max<qint64>(seconds, 0);
  return QString::number(clamped / 60) + QLatin1Char(':') +
         QStringLiteral("%1").arg(clamped % 60, 2, 10, QLatin1Char('0'));
}

CollapsedTickerDisplay finishedTurnTickerItem(const QString& agentName, qint64 secondsLeft) {
  return {CollapsedTickerKind::approval, agentName,
          agentName + QStringLiteral(" waits for your reply \u00B7 ") + minutesAndSecondsLabel(secondsLeft),
          ticker::kApprovalAccent, std::nullopt, false, 0};
}

std::vector<CollapsedTickerDisplay> withFinishedTurnsFirst(std::vector<CollapsedTickerDisplay> finishedTurns,
                                                           const std::vector<CollapsedTickerDisplay>& items) {
  const bool waiting = !finishedTurns.empty();
  for (const CollapsedTickerDisplay& item : items) {
    if (!waiting || item.kind == CollapsedTickerKind::approval) {
      finishedTurns.push_back(item);
    }
  }
  return finishedTurns;
}

QString usageToolsHealthSignature(const std::vector<ToolHealth>& toolHealth) {
  // Built on every read of the usage tools (several times a second while the ticker rotates), so
  // into one buffer rather than a string per tool.
  QString signature;
  signature.reserve(static_cast<qsizetype>(toolHealth.size()) * 40);
  for (const ToolHealth& tool : toolHealth) {
    if (!signature.isEmpty()) {
      signature += QLatin1Char('|');
    }
    signature += tool.id;
    signature += QLatin1Char(':');
    signature += hookStatusRawValue(tool.status);
    signature += tool.detected ? QLatin1String(":true") : QLatin1String(":false");
  }
  return signature;
}

QStringList eligibleUsageToolNames(const std::vector<ToolHealth>& toolHealth, const QSet<QString>& disabledToolIDs,
                                   EventStore& store, bool wrapperBridgeReady, const QDateTime& now) {
  QStringList names;
  for (const UsageEligibility& entry :
       deriveUsageEligibility(toolHealth, disabledToolIDs, store, wrapperBridgeReady, now)) {
    if (entry.reason != UsageEligibilityReason::eligible) {
      continue;
    }
    const QString brand = usageBrandName(entry.displayName);
    if (!names.contains(brand)) {
      names.append(brand);
    }
  }
  return names;
}

bool collapsedMessageRotationDue(int itemCount, double now, double lastRotationAt) {
  return itemCount >= 2 && now - lastRotationAt >= ticker::kRotationInterval;
}

bool usageToolRotationDue(bool pinnedByUser, int toolCount, double now, double lastRotationAt) {
  return !pinnedByUser && toolCount >= 2 && now - lastRotationAt >= ticker::kRotationInterval;
}

QString nextUsageTool(const QStringList& tools, const QString& active) {
  const qsizetype position = std::max<qsizetype>(tools.indexOf(active), 0);
  return tools.at((position + 1) % tools.size());
}

NormalizedUsageTool normalizedUsageTool(const QStringList& tools, const QString& active) {
  if (tools.isEmpty()) {
    return {QString(), true, false};
  }
  if (tools.contains(active)) {
    return {active, false, false};
  }
  return {tools.first(), true, true};
}

ExpandedTickRedraw expandedTickRedraw(double now, double modeAnimationStarted, double usageAnimationStarted) {
  constexpr double kSettleTime = 0.75;
  constexpr double kRailCycle = kPetRailRestSeconds + kPetRailPeekSeconds;
  if (now - std::max(modeAnimationStarted, usageAnimationStarted) < kSettleTime) {
    return ExpandedTickRedraw::whole;
  }
  return std::fmod(now - modeAnimationStarted, kRailCycle) < kPetRailPeekSeconds ? ExpandedTickRedraw::petRailStrip
                                                                           : ExpandedTickRedraw::none;
}

}  // namespace tandrel
