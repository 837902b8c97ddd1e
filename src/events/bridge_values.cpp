#include "events/bridge_values.h"

#include "events/paths.h"

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

// The exact value of an integral JSON number (Qt keeps those as 64-bit integers), else nothing.
std::optional<qint64> integralNumber(const QJsonValue& value) {
  if (!std::isfinite(value.toDouble())) {
    return std::nullopt;  // Qt turns NaN into an integer otherwise
  }
  const qint64 asZero = value.toInteger(0);
  if (asZero != 0 || value.toInteger(1) == 0) {
    return asZero;
  }
  return std::nullopt;
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

std::optional<double> parseFiniteDouble(QStringView text) {
  if (text.startsWith(u'+')) {
    text = text.mid(1);
    if (text.isEmpty() || text.front() == u'-' || text.front() == u'+') {
      return std::nullopt;
    }
  }
  QVarLengthArray<char, 64> bytes;
  if (text.isEmpty() || !asciiBytes(text, bytes)) {
    return std::nullopt;
  }
  double result = 0;
  const char* end = bytes.data() + bytes.size();
  const auto [ptr, ec] = std::from_chars(bytes.data(), end, result, std::chars_format::general);
  if (ec != std::errc() || ptr != end || !std::isfinite(result)) {
    return std::nullopt;
  }
  return result;
}

std::optional<QString> numberText(const QJsonValue& value) {
  if (!value.isDouble()) {
    return std::nullopt;
  }
  if (const auto integral = integralNumber(value)) {
    return QString::number(*integral);
  }
  const double d = value.toDouble();
  if (!std::isfinite(d)) {
    return std::nullopt;
  }
  return QString::number(d, 'g', QLocale::FloatingPointShortest);
}

std::optional<QString> stringValue(const QJsonValue& value) {
  if (value.isString()) {
    return nonEmptyString(value.toString());
  }
  return numberText(value);
}

std::optional<bool> boolValue(const QJsonValue& value) {
  if (value.isBool()) {
    return value.toBool();
  }
  if (value.isDouble()) {
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

std::optional<qint64> intValue(const QJsonValue& value) {
  if (value.isDouble()) {
    if (const auto integral = integralNumber(value)) {
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
