#pragma once

#include <QLatin1String>
#include <QString>
#include <QStringView>

#include <array>
#include <cstddef>
#include <optional>
#include <utility>

namespace tandrel {

// A string-valued enumeration's cases with their exact wire strings, and the two look-ups every
// such enumeration needs.
template <typename E, std::size_t N>
using RawValueTable = std::array<std::pair<E, const char*>, N>;

template <typename E, std::size_t N>
QString rawValueIn(const RawValueTable<E, N>& table, E value) {
  for (const auto& [candidate, raw] : table) {
    if (candidate == value) {
      return QString::fromLatin1(raw);
    }
  }
  return {};
}

// Exact, case-sensitive match; nothing for a string that names no case.
template <typename E, std::size_t N>
std::optional<E> parseRawValueIn(const RawValueTable<E, N>& table, QStringView raw) {
  for (const auto& [candidate, text] : table) {
    if (raw == QLatin1String(text)) {
      return candidate;
    }
  }
  return std::nullopt;
}

}  // namespace tandrel
