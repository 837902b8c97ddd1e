#include "events/bridge_fields.h"

#include "events/bridge_values.h"

#include <QHash>

namespace tandrel {
namespace {

const QHash<QString, int>& keyIndex() {
  static const QHash<QString, int> index = [] {
    QHash<QString, int> result;
    result.reserve(kBridgeKeyCount);
    for (int i = 0; i < kBridgeKeyCount; ++i) {
      const std::string_view name = kBridgeKeyNames[i];
      result.insert(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())), i);
    }
    return result;
  }();
  return index;
}

}  // namespace

BridgeFields::BridgeFields(const QJsonObject& object) {
  slots_.fill(-1);
  empty_ = object.isEmpty();
  const QHash<QString, int>& index = keyIndex();
  for (auto it = object.constBegin(), end = object.constEnd(); it != end; ++it) {
    const auto found = index.constFind(it.key());
    if (found == index.constEnd()) {
      continue;
    }
    slots_[static_cast<std::size_t>(found.value())] = static_cast<std::int16_t>(values_.size());
    values_.append(it.value());
  }
}

const QJsonValue& BridgeFields::value(int key) const {
  static const QJsonValue undefined(QJsonValue::Undefined);
  const std::int16_t slot = slots_[static_cast<std::size_t>(key)];
  return slot < 0 ? undefined : values_[slot];
}

std::optional<QString> firstString(const BridgeFields& fields, std::initializer_list<int> keys) {
  for (const int key : keys) {
    if (!fields.contains(key)) {
      continue;
    }
    if (auto text = stringValue(fields.value(key))) {
      return text;
    }
  }
  return std::nullopt;
}

}  // namespace tandrel
