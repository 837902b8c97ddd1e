#include "hooks/json_outline.h"

#include <QJsonArray>
#include <QJsonObject>

#include <cmath>

namespace tandrel {

namespace {

// Deeper than QJsonDocument reads (1,024), so that every file it accepts has an outline.
constexpr int kMaxDepth = 1100;

class Parser {
 public:
  explicit Parser(const QString& text) : t_(text) {}

  Result<JsonSpan> parse() {
    JsonSpan top;
    skipSpace();
    if (!value(top, 0)) {
      return failure();
    }
    skipSpace();
    if (i_ != t_.size()) {
      error_ = QStringLiteral("text after the value");
      return failure();
    }
    return top;
  }

 private:
  Result<JsonSpan> failure() const {
    return Result<JsonSpan>::failure(
        QStringLiteral("not valid JSON at character %1: %2").arg(i_).arg(error_));
  }

  void skipSpace() {
    while (i_ < t_.size() && (t_[i_] == u' ' || t_[i_] == u'\t' || t_[i_] == u'\n' || t_[i_] == u'\r')) {
      ++i_;
    }
  }

  bool expect(QChar c) {
    if (i_ < t_.size() && t_[i_] == c) {
      ++i_;
      return true;
    }
    error_ = QStringLiteral("expected '%1'").arg(c);
    return false;
  }

  bool value(JsonSpan& out, int depth) {
    if (depth > kMaxDepth) {
      error_ = QStringLiteral("nested too deeply");
      return false;
    }
    if (i_ >= t_.size()) {
      error_ = QStringLiteral("the text ends early");
      return false;
    }
    out.begin = i_;
    const QChar c = t_[i_];
    bool ok = false;
    if (c == u'{') {
      out.kind = JsonSpan::Kind::Object;
      ok = container(out, depth, u'}');
    } else if (c == u'[') {
      out.kind = JsonSpan::Kind::Array;
      ok = container(out, depth, u']');
    } else if (c == u'"') {
      out.kind = JsonSpan::Kind::String;
      ok = string(nullptr);
    } else if (c == u'-' || c.isDigit()) {
      out.kind = JsonSpan::Kind::Number;
      ok = number();
    } else {
      out.kind = JsonSpan::Kind::Literal;
      ok = literal();
    }
    out.end = i_;
    return ok;
  }

  bool container(JsonSpan& out, int depth, QChar close) {
    ++i_;
    skipSpace();
    if (i_ < t_.size() && t_[i_] == close) {
      ++i_;
      return true;
    }
    while (true) {
      skipSpace();
      out.childStarts.push_back(i_);
      if (close == u'}') {
        QString key;
        if (i_ >= t_.size() || t_[i_] != u'"') {
          error_ = QStringLiteral("expected a key");
          return false;
        }
        if (!string(&key)) {
          return false;
        }
        out.keys.append(key);
        skipSpace();
        if (!expect(u':')) {
          return false;
        }
        skipSpace();
      }
      JsonSpan child;
      if (!value(child, depth + 1)) {
        return false;
      }
      out.children.push_back(std::move(child));
      skipSpace();
      if (i_ < t_.size() && t_[i_] == u',') {
        ++i_;
        continue;
      }
      return expect(close);
    }
  }

  bool string(QString* decoded) {
    ++i_;  // the opening quote
    while (i_ < t_.size()) {
      const QChar c = t_[i_++];
      if (c == u'"') {
        return true;
      }
      if (c.unicode() < 0x20) {
        error_ = QStringLiteral("a control character in a string");
        return false;
      }
      if (c != u'\\') {
        if (decoded != nullptr) {
          decoded->append(c);
        }
        continue;
      }
      if (i_ >= t_.size()) {
        break;
      }
      const QChar e = t_[i_++];
      QChar plain;
      switch (e.unicode()) {
        case '"': plain = u'"'; break;
        case '\\': plain = u'\\'; break;
        case '/': plain = u'/'; break;
        case 'b': plain = u'\b'; break;
        case 'f': plain = u'\f'; break;
        case 'n': plain = u'\n'; break;
        case 'r': plain = u'\r'; break;
        case 't': plain = u'\t'; break;
        case 'u': {
          bool hex = false;
          const ushort code = t_.mid(i_, 4).toUShort(&hex, 16);
          if (!hex || t_.mid(i_, 4).size() != 4) {
            error_ = QStringLiteral("a bad \\u escape");
            return false;
          }
          i_ += 4;
          plain = QChar(code);
          break;
        }
        default:
          error_ = QStringLiteral("a bad escape");
          return false;
      }
      if (decoded != nullptr) {
        decoded->append(plain);
      }
    }
    error_ = QStringLiteral("a string that does not end");
    return false;
  }

  bool number() {
    const qsizetype start = i_;
    while (i_ < t_.size() && (t_[i_].isDigit() || t_[i_] == u'-' || t_[i_] == u'+' || t_[i_] == u'.' ||
                              t_[i_] == u'e' || t_[i_] == u'E')) {
      ++i_;
    }
    bool ok = false;
    t_.mid(start, i_ - start).toDouble(&ok);
    if (!ok) {
      error_ = QStringLiteral("a bad number");
    }
    return ok;
  }

  bool literal() {
    for (const char* word : {"true", "false", "null"}) {
      const QLatin1String w(word);
      if (QStringView(t_).mid(i_).startsWith(w)) {
        i_ += w.size();
        return true;
      }
    }
    error_ = QStringLiteral("an unknown value");
    return false;
  }

  const QString& t_;
  qsizetype i_ = 0;
  QString error_;
};

QString quoted(const QString& text) {
  QString out = QStringLiteral("\"");
  for (const QChar c : text) {
    switch (c.unicode()) {
      case '"': out += QLatin1String("\\\""); break;
      case '\\': out += QLatin1String("\\\\"); break;
      case '\b': out += QLatin1String("\\b"); break;
      case '\f': out += QLatin1String("\\f"); break;
      case '\n': out += QLatin1String("\\n"); break;
      case '\r': out += QLatin1String("\\r"); break;
      case '\t': out += QLatin1String("\\t"); break;
      default:
        if (c.unicode() < 0x20) {
          out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        } else {
          out += c;
        }
    }
  }
  return out + u'"';
}

// How the file writes what we add.
struct Style {
  QString unit = QStringLiteral("  ");     // one step of indentation
  QString colon = QStringLiteral(": ");    // between a key and its value
  bool multiLine = true;                   // containers spread over lines
};

QString write(const QJsonValue& value, const QString& indent, const Style& style) {
  switch (value.type()) {
    case QJsonValue::Object: {
      const QJsonObject object = value.toObject();
      if (object.isEmpty()) {
        return QStringLiteral("{}");
      }
      const QString inner = indent + style.unit;
      QStringList members;
      for (auto it = object.begin(); it != object.end(); ++it) {
        members.append((style.multiLine ? inner : QString()) + quoted(it.key()) + style.colon +
                       write(it.value(), inner, style));
      }
      return style.multiLine ? QStringLiteral("{\n") + members.join(QStringLiteral(",\n")) + u'\n' + indent + u'}'
                             : u'{' + members.join(QStringLiteral(", ")) + u'}';
    }
    case QJsonValue::Array: {
      const QJsonArray array = value.toArray();
      if (array.isEmpty()) {
        return QStringLiteral("[]");
      }
      const QString inner = indent + style.unit;
      QStringList elements;
      for (const QJsonValue& element : array) {
        elements.append((style.multiLine ? inner : QString()) + write(element, inner, style));
      }
      return style.multiLine ? QStringLiteral("[\n") + elements.join(QStringLiteral(",\n")) + u'\n' + indent + u']'
                             : u'[' + elements.join(QStringLiteral(", ")) + u']';
    }
    case QJsonValue::String:
      return quoted(value.toString());
    case QJsonValue::Double: {
      const double number = value.toDouble();
      if (std::trunc(number) == number && std::abs(number) < 9007199254740992.0) {
        return QString::number(static_cast<qint64>(number));
      }
      return QString::number(number, 'g', 17);
    }
    case QJsonValue::Bool:
      return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QJsonValue::Null:
    case QJsonValue::Undefined:
      break;
  }
  return QStringLiteral("null");
}

// The white space that begins the line holding `position`.
QString lineIndent(const QString& text, qsizetype position) {
  const qsizetype start = position <= 0 ? 0 : text.lastIndexOf(u'\n', position - 1) + 1;
  qsizetype end = start;
  while (end < text.size() && (text[end] == u' ' || text[end] == u'\t')) {
    ++end;
  }
  return text.mid(start, end - start);
}

bool spreadsOverLines(const QString& text, const JsonSpan& container) {
  if (container.children.empty()) {
    return false;
  }
  return QStringView(text).mid(container.begin, container.childStarts.front() - container.begin).contains(u'\n');
}

// The first container spread over lines, depth first, for the file's indentation step.
const JsonSpan* firstSpreadContainer(const QString& text, const JsonSpan& span) {
  if (spreadsOverLines(text, span)) {
    return &span;
  }
  for (const JsonSpan& child : span.children) {
    if (const JsonSpan* found = firstSpreadContainer(text, child)) {
      return found;
    }
  }
  return nullptr;
}

// The first object member anywhere, for the file's colon.
std::optional<std::pair<qsizetype, qsizetype>> firstMember(const JsonSpan& span) {
  if (span.isObject() && !span.children.empty()) {
    return std::make_pair(span.childStarts.front(), span.children.front().begin);
  }
  for (const JsonSpan& child : span.children) {
    if (auto found = firstMember(child)) {
      return found;
    }
  }
  return std::nullopt;
}

Style styleOf(const QString& text, const JsonSpan& top) {
  Style style;
  style.multiLine = text.contains(u'\n');
  if (const JsonSpan* spread = firstSpreadContainer(text, top)) {
    const QString outer = lineIndent(text, spread->begin);
    const QString inner = lineIndent(text, spread->childStarts.front());
    if (inner.size() > outer.size() && inner.startsWith(outer)) {
      style.unit = inner.mid(outer.size());
    }
  }
  if (const auto member = firstMember(top)) {
    const qsizetype colon = text.lastIndexOf(u':', member->second - 1);
    if (colon >= member->first && colon + 1 == member->second) {
      style.colon = QStringLiteral(":");
    }
  }
  return style;
}

Result<void> failed(const QString& reason) { return Result<void>::failure(reason); }

QString pathText(const JsonPath& path) {
  QStringList parts;
  for (const JsonStep& step : path) {
    if (const QString* key = std::get_if<QString>(&step)) {
      parts.append(*key);
    } else {
      parts.append(QString::number(std::get<int>(step)));
    }
  }
  return parts.isEmpty() ? QStringLiteral("the top value") : parts.join(u'.');
}

}  // namespace

std::vector<int> JsonSpan::membersNamed(const QString& key) const {
  std::vector<int> out;
  for (int i = 0; i < keys.size(); ++i) {
    if (keys[i] == key) {
      out.push_back(i);
    }
  }
  return out;
}

Result<JsonSpan> outlineJson(const QString& text) { return Parser(text).parse(); }

const JsonSpan* jsonSpanAt(const JsonSpan& top, const JsonPath& path) {
  const JsonSpan* at = &top;
  for (const JsonStep& step : path) {
    if (const QString* key = std::get_if<QString>(&step)) {
      if (!at->isObject()) {
        return nullptr;
      }
      const std::vector<int> found = at->membersNamed(*key);
      if (found.size() != 1) {
        return nullptr;
      }
      at = &at->children[static_cast<std::size_t>(found.front())];
    } else {
      const int index = std::get<int>(step);
      if (!at->isArray() || index < 0 || static_cast<std::size_t>(index) >= at->children.size()) {
        return nullptr;
      }
      at = &at->children[static_cast<std::size_t>(index)];
    }
  }
  return at;
}

Result<void> JsonTextEditor::setMember(const JsonPath& path, const QString& key, const QJsonValue& value) {
  auto top = outlineJson(text_);
  if (!top) {
    return failed(top.error());
  }
  const JsonSpan* object = jsonSpanAt(top.value(), path);
  if (object == nullptr || !object->isObject()) {
    return failed(QStringLiteral("%1 is not an object").arg(pathText(path)));
  }
  const std::vector<int> found = object->membersNamed(key);
  if (found.size() > 1) {
    return failed(QStringLiteral("%1 holds the key \"%2\" twice").arg(pathText(path), key));
  }
  if (found.size() == 1) {
    return replaceSpan(object->children[static_cast<std::size_t>(found.front())], value);
  }
  return insertChild(path, JsonSpan::Kind::Object, key, value);
}

Result<void> JsonTextEditor::appendElement(const JsonPath& path, const QJsonValue& value) {
  return insertChild(path, JsonSpan::Kind::Array, QString(), value);
}

Result<void> JsonTextEditor::replaceValue(const JsonPath& path, const QJsonValue& value) {
  auto top = outlineJson(text_);
  if (!top) {
    return failed(top.error());
  }
  const JsonSpan* span = jsonSpanAt(top.value(), path);
  if (span == nullptr || path.empty()) {
    return failed(QStringLiteral("%1 is not there").arg(pathText(path)));
  }
  return replaceSpan(*span, value);
}

Result<void> JsonTextEditor::replaceSpan(const JsonSpan& span, const QJsonValue& value) {
  auto top = outlineJson(text_);
  if (!top) {
    return failed(top.error());
  }
  const QString written = write(value, lineIndent(text_, span.begin), styleOf(text_, top.value()));
  text_.replace(span.begin, span.end - span.begin, written);
  return {};
}

Result<void> JsonTextEditor::insertChild(const JsonPath& path, JsonSpan::Kind kind, const QString& key,
                                         const QJsonValue& value) {
  auto top = outlineJson(text_);
  if (!top) {
    return failed(top.error());
  }
  const JsonSpan* container = jsonSpanAt(top.value(), path);
  if (container == nullptr || container->kind != kind) {
    return failed(QStringLiteral("%1 is not an %2")
                      .arg(pathText(path), kind == JsonSpan::Kind::Object ? QStringLiteral("object")
                                                                          : QStringLiteral("array")));
  }
  Style style = styleOf(text_, top.value());
  const auto child = [&](const QString& indent) {
    const QString written = write(value, indent, style);
    return kind == JsonSpan::Kind::Object ? quoted(key) + style.colon + written : written;
  };
  if (!container->children.empty()) {
    const qsizetype at = container->children.back().end;
    if (spreadsOverLines(text_, *container)) {
      const QString indent = lineIndent(text_, container->childStarts.front());
      text_.insert(at, QStringLiteral(",\n") + indent + child(indent));
    } else {
      style.multiLine = false;
      text_.insert(at, QStringLiteral(", ") + child(QString()));
    }
    return {};
  }
  const qsizetype inside = container->begin + 1;
  const qsizetype insideLength = container->end - 1 - inside;
  if (!style.multiLine) {
    text_.replace(inside, insideLength, child(QString()));
    return {};
  }
  const QString outer = lineIndent(text_, container->begin);
  const QString indent = outer + style.unit;
  text_.replace(inside, insideLength, u'\n' + indent + child(indent) + u'\n' + outer);
  return {};
}

}  // namespace tandrel
