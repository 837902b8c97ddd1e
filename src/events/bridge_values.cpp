#include "events/bridge_values.h"

#include "catalog/paths.h"

#include <QJsonArray>
#include <QLocale>
#include <QVarLengthArray>

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace tandrel {
namespace {

// The ASCII bytes of a text, or false when it holds anything else.
bool asciiBytes(QStringView text, QVarLengthArray<char, 64>& out) {
  out.resize(text.size());
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t c = text[i].unicode();
    if (c == 0 || c > 0x7f) {
      return false;
    }
    out[i] = static_cast<char>(c);
  }
  return true;
}

// Whether a finite double truncates to a value inside qint64 (2^63 itself does not).
bool fitsInt64(double d) {
  return std::isfinite(d) && d >= -9223372036854775808.0 && d < 9223372036854775808.0;
}

}  // namespace

std::optional<qint64> parseDecimalInteger(QStringView text) {
  if (text.startsWith(u'+')) {
    text = text.mid(1);
    if (text.isEmpty() || !text.front().isDigit()) {
      return std::nullopt;
    }
  }
  QVarLengthArray<char, 64> bytes;
  if (text.isEmpty() || !asciiBytes(text, bytes)) {
    return std::nullopt;
  }
  qint64 result = 0;
  const char* end = bytes.data() + bytes.size();
  const auto [ptr, ec] = std::from_chars(bytes.data(), end, result, 10);
  if (ec != std::errc() || ptr != end) {
    return std::nullopt;
  }
  return result;
}

std::optional<double> parseFiniteDouble(QLatin1StringView text) {
  if (text.startsWith(QLatin1Char('+'))) {
    text = text.mid(1);
    if (text.isEmpty() || text.front() == QLatin1Char('-') || text.front() == QLatin1Char('+')) {
      return std::nullopt;
    }
  }
  if (text.isEmpty()) {
    return std::nullopt;
  }
  double result = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, result, std::chars_format::general);
  if (ec != std::errc() || ptr != end || !std::isfinite(result)) {
    return std::nullopt;
  }
  return result;
}

std::optional<double> parseFiniteDouble(QStringView text) {
  QVarLengthArray<char, 64> bytes;
  if (!asciiBytes(text, bytes)) {
    return std::nullopt;
  }
  return parseFiniteDouble(QLatin1StringView(bytes.data(), bytes.size()));
}

std::optional<QString> numberText(const BridgeValue& value) {
  if (!value.isNumber()) {
    return std::nullopt;
  }
  if (const auto integral = value.integral()) {
    return QString::number(*integral);
  }
  const double d = value.toDouble();
  if (!std::isfinite(d)) {
    return std::nullopt;
  }
  return QString::number(d, 'g', QLocale::FloatingPointShortest);
}

std::optional<QString> stringValue(const BridgeValue& value) {
  if (value.isString()) {
    return nonEmptyString(value.string());
  }
  return numberText(value);
}

std::optional<bool> boolValue(const BridgeValue& value) {
  if (value.isBool()) {
    return value.toBool();
  }
  if (value.isNumber()) {
    return value.toDouble() != 0.0;
  }
  const auto text = stringValue(value);
  if (!text) {
    return std::nullopt;
  }
  const QString lower = text->toLower();
  if (lower == QLatin1String("true") || lower == QLatin1String("1") || lower == QLatin1String("yes") ||
      lower == QLatin1String("on")) {
    return true;
  }
  if (lower == QLatin1String("false") || lower == QLatin1String("0") || lower == QLatin1String("no") ||
      lower == QLatin1String("off")) {
    return false;
  }
  return std::nullopt;
}

std::optional<qint64> intValue(const BridgeValue& value) {
  if (value.isNumber()) {
    if (const auto integral = value.integral()) {
      return integral;
    }
    const double d = value.toDouble();
    if (fitsInt64(d)) {
      return static_cast<qint64>(d);
    }
    return std::nullopt;
  }
  const auto text = stringValue(value);
  if (!text) {
    return std::nullopt;
  }
  return parseDecimalInteger(*text);
}

std::optional<QString> numberText(const QJsonValue& value) { return numberText(BridgeValue::fromJson(value)); }
std::optional<QString> stringValue(const QJsonValue& value) { return stringValue(BridgeValue::fromJson(value)); }
std::optional<bool> boolValue(const QJsonValue& value) { return boolValue(BridgeValue::fromJson(value)); }
std::optional<qint64> intValue(const QJsonValue& value) { return intValue(BridgeValue::fromJson(value)); }

QStringList stringArray(const QJsonValue& value) {
  if (!value.isArray()) {
    return {};
  }
  const QJsonArray array = value.toArray();
  QStringList result;
  result.reserve(array.size());
  bool allStrings = true;
  for (const QJsonValue element : array) {
    if (!element.isString()) {
      allStrings = false;
      break;
    }
    result.append(element.toString());
  }
  if (allStrings) {
    return result;
  }
  result.clear();
  for (const QJsonValue element : array) {
    if (element.isString()) {
      if (auto text = nonEmptyString(element.toString())) {
        result.append(std::move(*text));
      }
    } else if (auto text = numberText(element)) {
      result.append(std::move(*text));
    }
  }
  return result;
}

std::optional<QString> firstString(const QJsonObject& object, std::initializer_list<QLatin1String> keys) {
  for (const QLatin1String key : keys) {
    const auto it = object.constFind(key);
    if (it == object.constEnd()) {
      continue;
    }
    if (auto text = stringValue(it.value())) {
      return text;
    }
  }
  return std::nullopt;
}

}  // namespace tandrel
