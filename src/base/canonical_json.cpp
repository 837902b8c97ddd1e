#include "base/canonical_json.h"

#include <QCborValue>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <utility>
#include <vector>

namespace tandrel {
namespace {

void writeValue(const QJsonValue& value, QByteArray& out);

void writeString(const QString& text, QByteArray& out) {
  static constexpr char kHex[] = "0123456789abcdef";
  const QByteArray utf8 = text.toUtf8();
  out.append('"');
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    switch (byte) {
      case '"': out.append("\\\""); break;
      case '\\': out.append("\\\\"); break;
      case '/': out.append("\\/"); break;
      case '\b': out.append("\\b"); break;
      case '\f': out.append("\\f"); break;
      case '\n': out.append("\\n"); break;
      case '\r': out.append("\\r"); break;
      case '\t': out.append("\\t"); break;
      default:
        if (byte < 0x20 || byte == 0x7f) {
          out.append("\\u00");
          out.append(kHex[byte >> 4]);
          out.append(kHex[byte & 0xf]);
        } else {
          out.append(c);
        }
    }
  }
  out.append('"');
}

void writeNumber(const QJsonValue& value, QByteArray& out) {
  // QJsonValue keeps integers that came from JSON or from qint64 as integers; only those are
  // written as integers, so 2^53 + 1 survives exactly.
  const QCborValue cbor = QCborValue::fromJsonValue(value);
  char buffer[32];
  if (cbor.isInteger()) {
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, cbor.toInteger());
    out.append(buffer, static_cast<qsizetype>(result.ptr - buffer));
    return;
  }
  const double number = value.toDouble();
  if (!std::isfinite(number)) {
    out.append("null");
    return;
  }
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
  out.append(buffer, static_cast<qsizetype>(result.ptr - buffer));
}

void writeObject(const QJsonObject& object, QByteArray& out) {
  std::vector<std::pair<QByteArray, QJsonValue>> members;
  members.reserve(static_cast<size_t>(object.size()));
  for (auto it = object.begin(); it != object.end(); ++it) {
    members.emplace_back(it.key().toUtf8(), it.value());
  }
  std::sort(members.begin(), members.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  out.append('{');
  bool first = true;
  for (const auto& [key, member] : members) {
    if (!first) {
      out.append(',');
    }
    first = false;
    writeString(QString::fromUtf8(key), out);
    out.append(':');
    writeValue(member, out);
  }
  out.append('}');
}

void writeArray(const QJsonArray& array, QByteArray& out) {
  out.append('[');
  bool first = true;
  for (const QJsonValue& element : array) {
    if (!first) {
      out.append(',');
    }
    first = false;
    writeValue(element, out);
  }
  out.append(']');
}

void writeValue(const QJsonValue& value, QByteArray& out) {
  switch (value.type()) {
    case QJsonValue::Null:
    case QJsonValue::Undefined: out.append("null"); break;
    case QJsonValue::Bool: out.append(value.toBool() ? "true" : "false"); break;
    case QJsonValue::Double: writeNumber(value, out); break;
    case QJsonValue::String: writeString(value.toString(), out); break;
    case QJsonValue::Array: writeArray(value.toArray(), out); break;
    case QJsonValue::Object: writeObject(value.toObject(), out); break;
  }
}

}  // namespace

QByteArray canonicalJson(const QJsonValue& value) {
  QByteArray out;
  writeValue(value, out);
  return out;
}

QByteArray canonicalJson(const QJsonObject& object) {
  QByteArray out;
  writeObject(object, out);
  return out;
}

QByteArray canonicalJson(const QJsonArray& array) {
  QByteArray out;
  writeArray(array, out);
  return out;
}

QByteArray canonicalJsonLine(const QJsonValue& value) {
  QByteArray out = canonicalJson(value);
  out.append('\n');
  return out;
}

QByteArray canonicalJsonLine(const QJsonObject& object) {
  QByteArray out = canonicalJson(object);
  out.append('\n');
  return out;
}

}  // namespace tandrel
