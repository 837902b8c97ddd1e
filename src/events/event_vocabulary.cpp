#include "events/event_vocabulary.h"

#include "events/raw_value_table.h"

namespace tandrel {
namespace {

constexpr RawValueTable<MessageRisk, 3> kRisks{{
    {MessageRisk::low, "low"},
    {MessageRisk::medium, "medium"},
    {MessageRisk::high, "high"},
}};

constexpr RawValueTable<MessageSelectionMode, 2> kSelectionModes{{
    {MessageSelectionMode::single, "single"},
    {MessageSelectionMode::multiple, "multiple"},
}};

constexpr RawValueTable<SourceEventClass, 5> kSourceClasses{{
    {SourceEventClass::officialPush, "official_push"},
    {SourceEventClass::wrapperExplicit, "wrapper_explicit"},
    {SourceEventClass::stableLocalLoader, "stable_local_loader"},
    {SourceEventClass::jumpOnly, "jump_only"},
    {SourceEventClass::remoteOptIn, "remote_opt_in"},
}};

constexpr RawValueTable<SourceCapability, 7> kCapabilities{{
    {SourceCapability::messages, "messages"},
    {SourceCapability::usage, "usage"},
    {SourceCapability::approval, "approval"},
    {SourceCapability::choice, "choice"},
    {SourceCapability::input, "input"},
    {SourceCapability::jump, "jump"},
    {SourceCapability::ignoreResponse, "ignore_response"},
}};

}  // namespace

QString rawValue(MessageRisk risk) { return rawValueIn(kRisks, risk); }
QString rawValue(MessageSelectionMode mode) { return rawValueIn(kSelectionModes, mode); }
QString rawValue(SourceEventClass sourceClass) { return rawValueIn(kSourceClasses, sourceClass); }
QString rawValue(SourceCapability capability) { return rawValueIn(kCapabilities, capability); }

std::optional<MessageRisk> parseMessageRisk(QStringView raw) { return parseRawValueIn(kRisks, raw); }
std::optional<MessageSelectionMode> parseMessageSelectionMode(QStringView raw) {
  return parseRawValueIn(kSelectionModes, raw);
}
std::optional<SourceEventClass> parseSourceEventClass(QStringView raw) {
  return parseRawValueIn(kSourceClasses, raw);
}
std::optional<SourceCapability> parseSourceCapability(QStringView raw) {
  return parseRawValueIn(kCapabilities, raw);
}

}  // namespace tandrel
