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

constexpr char kHex[] = "0123456789abcdef";

// Appends UTF-8 bytes as the inside of a JSON string; runs of bytes that need no escape go in one
// append.
void writeUtf8Body(const QByteArray& utf8, QByteArray& out) {
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
}

bool isLoneSurrogate(const QString& text, qsizetype i) {
  const QChar c = text[i];
  if (c.isHighSurrogate()) {
    return i + 1 >= text.size() || !text[i + 1].isLowSurrogate();
  }
  return c.isLowSurrogate() && (i == 0 || !text[i - 1].isHighSurrogate());
}

// Appends a JSON string. UTF-8 cannot hold a surrogate that is not part of a pair (JSON text can
// send one as "\ud801"), so such a code unit is written as its escape, not as the "?" that
// QString::toUtf8 would put in its place.
void writeString(const QString& text, const QByteArray& utf8, QByteArray& out) {
  out.append('"');
  if (!utf8.contains('?')) {  // toUtf8 wrote a lone surrogate as "?"
    writeUtf8Body(utf8, out);
    out.append('"');
    return;
  }
  qsizetype runStart = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (!isLoneSurrogate(text, i)) {
      continue;
    }
    writeUtf8Body(QStringView(text).mid(runStart, i - runStart).toUtf8(), out);
    const char16_t unit = text[i].unicode();
    const char escape[6] = {'\\', 'u', kHex[unit >> 12], kHex[(unit >> 8) & 0xf],
                            kHex[(unit >> 4) & 0xf], kHex[unit & 0xf]};
    out.append(escape, 6);
    runStart = i + 1;
  }
  writeUtf8Body(QStringView(text).mid(runStart).toUtf8(), out);
  out.append('"');
}

void writeString(const QString& text, QByteArray& out) { writeString(text, text.toUtf8(), out); }

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
  struct Member {
    QByteArray order;  // the key's UTF-8 bytes
    QString key;
    QJsonValue value;
  };
  std::vector<Member> members;
  members.reserve(static_cast<size_t>(object.size()));
  for (auto it = object.begin(); it != object.end(); ++it) {
    members.push_back({it.key().toUtf8(), it.key(), it.value()});
  }
  std::sort(members.begin(), members.end(),
            [](const Member& a, const Member& b) { return a.order < b.order; });
  out.append('{');
  bool first = true;
  for (const Member& member : members) {
    if (!first) {
      out.append(',');
    }
    first = false;
    writeString(member.key, member.order, out);
    out.append(':');
    writeValue(member.value, out);
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
