#pragma once

#include "events/bridge_fields.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QLatin1String>
#include <QString>
#include <QStringList>

#include <initializer_list>
#include <optional>

// Readers for the free-form values of bridge records. Writers differ, so a value is coerced from
// strings, numbers and booleans where that is meaningful, and anything else counts as absent.
// Number texts are read and written independently of the user's locale.

namespace tandrel {

// The text of a string after trimming whitespace and newlines when that is non-empty; else the
// decimal text of a finite number ("4242", "0.5"); else nothing (booleans, arrays, objects, null,
// non-finite numbers).
std::optional<QString> stringValue(const QJsonValue& value);
std::optional<QString> stringValue(const BridgeValue& value);

// A boolean as it is; a number: non-zero is true; else the lowercased stringValue: "true", "1",
// "yes", "on" give true and "false", "0", "no", "off" give false; anything else gives nothing.
std::optional<bool> boolValue(const QJsonValue& value);
std::optional<bool> boolValue(const BridgeValue& value);

// An integral number as it is; another finite number truncated toward zero when it fits 64 bits;
// else stringValue read as a base-10 integer with an optional leading "+" or "-" and nothing
// else. Overflow, non-finite numbers and any other character give nothing.
std::optional<qint64> intValue(const QJsonValue& value);
std::optional<qint64> intValue(const BridgeValue& value);

// An array whose elements are all strings, as it is; another array contributes, in order, each
// string with non-blank trimmed text (trimmed) and each finite number (its decimal text); anything
// else gives an empty list.
QStringList stringArray(const QJsonValue& value);

// The decimal text of a finite JSON number: integers exactly to 64 bits, other values in their
// shortest round-trip form; nothing for non-numbers and non-finite values.
std::optional<QString> numberText(const QJsonValue& value);
std::optional<QString> numberText(const BridgeValue& value);

// The base-10 integer a whole text spells, with an optional leading "+" or "-"; nothing on
// overflow or any other character (no surrounding whitespace either).
std::optional<qint64> parseDecimalInteger(QStringView text);

// The floating-point number a whole text spells in the C locale, with an optional leading "+";
// nothing for anything else, and for infinities, NaN and values out of range ("1e400").
std::optional<double> parseFiniteDouble(QStringView text);
std::optional<double> parseFiniteDouble(QLatin1StringView text);  // the same for ASCII bytes

// The stringValue of the first key, in order, whose value converts; a present key whose value
// does not convert counts as absent.
std::optional<QString> firstString(const QJsonObject& object, std::initializer_list<QLatin1String> keys);

}  // namespace tandrel
