#include "base/canonical_json.h"

#include <QVariant>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <utility>
#include <vector>

namespace tandrel {
namespace {

void writeValue(const QJsonValue& value, QByteArray& out);

bool needsEscape(unsigned char byte) {
  return byte < 0x20 || byte == 0x7f || byte == '"' || byte == '\\' || byte == '/';
}

// Appends UTF-8 bytes as a JSON string; runs of bytes that need no escape go in one append.
void writeUtf8String(const QByteArray& utf8, QByteArray& out) {
  static constexpr char kHex[] = "0123456789abcdef";
  out.append('"');
  const char* data = utf8.constData();
  const qsizetype size = utf8.size();
  qsizetype runStart = 0;
  for (qsizetype i = 0; i < size; ++i) {
    const auto byte = static_cast<unsigned char>(data[i]);
    if (!needsEscape(byte)) {
      continue;
    }
    out.append(data + runStart, i - runStart);
    runStart = i + 1;
    switch (byte) {
      case '"': out.append("\\\"", 2); break;
      case '\\': out.append("\\\\", 2); break;
      case '/': out.append("\\/", 2); break;
      case '\b': out.append("\\b", 2); break;
      case '\f': out.append("\\f", 2); break;
      case '\n': out.append("\\n", 2); break;
      case '\r': out.append("\\r", 2); break;
      case '\t': out.append("\\t", 2); break;
      default: {
        const char escape[6] = {'\\', 'u', '0', '0', kHex[byte >> 4], kHex[byte & 0xf]};
        out.append(escape, 6);
      }
    }
  }
  out.append(data + runStart, size - runStart);
  out.append('"');
}

void writeString(const QString& text, QByteArray& out) { writeUtf8String(text.toUtf8(), out); }

void writeNumber(const QJsonValue& value, QByteArray& out) {
  // QJsonValue keeps integers that came from JSON or from qint64 as integers; only those are
  // written as integers, so 2^53 + 1 survives exactly.
  const QVariant number = value.toVariant();
  char buffer[32];
  if (number.typeId() == QMetaType::LongLong) {
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, number.toLongLong());
    out.append(buffer, static_cast<qsizetype>(result.ptr - buffer));
    return;
  }
  const double real = value.toDouble();
  if (!std::isfinite(real)) {
    out.append("null");
    return;
  }
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, real);
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
    writeUtf8String(key, out);
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
  out.reserve(256);
  writeValue(value, out);
  return out;
}

QByteArray canonicalJson(const QJsonObject& object) {
  QByteArray out;
  out.reserve(256);
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
