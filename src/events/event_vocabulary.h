#pragma once

#include <QString>
#include <QStringView>

#include <optional>

namespace tandrel {

// The string-valued words an event carries about its emitter and its choices. The raw value of
// each case is the exact wire string; reading a string that names no case gives nothing.

// Risk of a request or choice option.
enum class MessageRisk { low, medium, high };

// Whether a choice takes one option or several.
enum class MessageSelectionMode { single, multiple };

// How trustworthy and direct the emitter of an event is.
enum class SourceEventClass { officialPush, wrapperExplicit, stableLocalLoader, jumpOnly, remoteOptIn };

// What the emitter of an event can do (in this order in an event's capability list).
enum class SourceCapability { messages, usage, approval, choice, input, jump, ignoreResponse };

QString rawValue(MessageRisk risk);
QString rawValue(MessageSelectionMode mode);
QString rawValue(SourceEventClass sourceClass);
QString rawValue(SourceCapability capability);

// Exact, case-sensitive matches of the raw values above.
std::optional<MessageRisk> parseMessageRisk(QStringView raw);
std::optional<MessageSelectionMode> parseMessageSelectionMode(QStringView raw);
std::optional<SourceEventClass> parseSourceEventClass(QStringView raw);
std::optional<SourceCapability> parseSourceCapability(QStringView raw);

}  // namespace tandrel
