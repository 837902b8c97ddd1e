#include "hooks/toml_outline.h"

#include <QRegularExpression>

namespace tandrel {

namespace {

// A control character that TOML allows in no string and no comment (tab is allowed).
bool isForbiddenControl(QChar c) {
  return (c.unicode() < 0x20 && c != u'\t') || c.unicode() == 0x7f;
}

int hexDigit(QChar c) {
  const char16_t u = c.unicode();
  if (u >= u'0' && u <= u'9') {
    return u - u'0';
  }
  if ((u | 0x20) >= u'a' && (u | 0x20) <= u'f') {
    return (u | 0x20) - u'a' + 10;
  }
  return -1;
}

// A value that is not a string, array or inline table: a boolean, an integer, a float, or an
// offset or local date-time, date or time. Ranges (month 13, hour 25) are for the full parser.
bool isBareValue(QStringView text) {
  static const QRegularExpression kBare(QStringLiteral(
      "^(?:true|false"
      "|[+-]?(?:0|[1-9](?:_?[0-9])*)"
      "(?:(?:\\.[0-9](?:_?[0-9])*)(?:[eE][+-]?[0-9](?:_?[0-9])*)?|[eE][+-]?[0-9](?:_?[0-9])*)?"
      "|0x[0-9A-Fa-f](?:_?[0-9A-Fa-f])*|0o[0-7](?:_?[0-7])*|0b[01](?:_?[01])*"
      "|[+-]?(?:inf|nan)"
      "|[0-9]{4}-[0-9]{2}-[0-9]{2}"
      "(?:[Tt ][0-9]{2}:[0-9]{2}:[0-9]{2}(?:\\.[0-9]+)?(?:[Zz]|[+-][0-9]{2}:[0-9]{2})?)?"
      "|[0-9]{2}:[0-9]{2}:[0-9]{2}(?:\\.[0-9]+)?)$"));
  return kBare.match(text.toString()).hasMatch();
}

class Lexer {
 public:
  explicit Lexer(const QString& text) : s_(text), n_(text.size()) {}

  Result<std::vector<TomlStatement>> run() {
    std::vector<TomlStatement> out;
    QStringList table;
    while (pos_ < n_) {
      TomlStatement statement;
      keyParts_ = 0;
      statement.begin = pos_;
      statement.line = line_;
      skipSpaces();
      if (atLineEnd()) {
        statement.kind = TomlStatement::Kind::Blank;
      } else if (peek() == u'#') {
        statement.kind = TomlStatement::Kind::Comment;
        if (!skipComment()) {
          return failure();
        }
      } else if (peek() == u'[') {
        const bool array = peek(1) == u'[';
        pos_ += array ? 2 : 1;
        skipSpaces();
        if (!readKey(statement.key)) {
          return failure();
        }
        skipSpaces();
        if (!take(u']') || (array && !take(u']'))) {
          return failure();
        }
        statement.kind = array ? TomlStatement::Kind::ArrayTable : TomlStatement::Kind::Table;
        table = statement.key;
      } else {
        if (!readKey(statement.key)) {
          return failure();
        }
        skipSpaces();
        if (!take(u'=')) {
          return failure();
        }
        skipSpaces();
        statement.kind = TomlStatement::Kind::KeyValue;
        statement.table = table;
        statement.valueBegin = pos_;
        QStringList strings;
        bool isArray = peek() == u'[';
        if (!readValue(isArray ? &strings : nullptr)) {
          return failure();
        }
        statement.valueEnd = pos_;
        if (isArray) {
          statement.arrayStrings = strings;
        }
      }
      // The rest of the line: spaces and a comment only.
      skipSpaces();
      if (peek() == u'#' && !skipComment()) {
        return failure();
      }
      if (!atLineEnd()) {
        return failure();
      }
      statement.end = pos_;
      if (statement.end > statement.begin && s_[statement.end - 1] == u'\r') {
        --statement.end;
      }
      takeLineBreak();
      out.push_back(std::move(statement));
    }
    return out;
  }

 private:
  Result<std::vector<TomlStatement>> failure() const {
    QString text = QStringLiteral("it is not valid TOML at line %1").arg(line_);
    if (tooDeep_) {
      text += QStringLiteral(" (nested deeper than %1)").arg(kMaxTomlNesting);
    }
    return Result<std::vector<TomlStatement>>::failure(text);
  }

  QChar peek(qsizetype ahead = 0) const {
    return pos_ + ahead < n_ ? s_[pos_ + ahead] : QChar();
  }
  bool take(QChar c) {
    if (peek() == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  bool startsWith(const char* literal) const {
    return QStringView(s_).mid(pos_).startsWith(QLatin1String(literal));
  }
  bool atLineEnd() const {
    return pos_ >= n_ || peek() == u'\n' || (peek() == u'\r' && peek(1) == u'\n');
  }
  void takeLineBreak() {
    if (peek() == u'\r') {
      ++pos_;
    }
    if (peek() == u'\n') {
      ++pos_;
      ++line_;
    }
  }
  void skipSpaces() {
    while (peek() == u' ' || peek() == u'\t') {
      ++pos_;
    }
  }
  // Spaces, line breaks and comments, as found between the elements of an array.
  bool skipGaps() {
    for (;;) {
      skipSpaces();
      if (peek() == u'#') {
        if (!skipComment()) {
          return false;
        }
      } else if (pos_ < n_ && atLineEnd()) {
        takeLineBreak();
      } else {
        return true;
      }
    }
  }
  bool skipComment() {
    while (!atLineEnd()) {
      const QChar c = peek();
      if (c == u'\r' || (c.unicode() < 0x20 && c != u'\t') || c.unicode() == 0x7f) {
        return false;
      }
      ++pos_;
    }
    return true;
  }

  static bool isBareKeyChar(QChar c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           c == u'_' || c == u'-';
  }

  bool readKey(QStringList& parts) {
    for (;;) {
      if (++keyParts_ > kMaxTomlNesting) {
        tooDeep_ = true;
        return false;
      }
      skipSpaces();
      QString part;
      if (peek() == u'"') {
        if (startsWith("\"\"\"") || !readBasicString(&part)) {
          return false;
        }
      } else if (peek() == u'\'') {
        if (startsWith("'''") || !readLiteralString(&part)) {
          return false;
        }
      } else {
        const qsizetype from = pos_;
        while (isBareKeyChar(peek())) {
          ++pos_;
        }
        if (pos_ == from) {
          return false;
        }
        part = s_.mid(from, pos_ - from);
      }
      parts.append(part);
      skipSpaces();
      if (!take(u'.')) {
        return true;
      }
    }
  }

  bool readHex(int digits, QString* out) {
    if (pos_ + digits > n_) {
      return false;
    }
    uint code = 0;
    for (int i = 0; i < digits; ++i) {
      const int digit = hexDigit(s_[pos_ + i]);
      if (digit < 0) {
        return false;  // exactly `digits` hex digits: no sign, space or other character
      }
      code = code * 16 + static_cast<uint>(digit);
    }
    if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      return false;
    }
    pos_ += digits;
    if (out != nullptr) {
      const char32_t c = code;
      out->append(QString::fromUcs4(&c, 1));
    }
    return true;
  }

  // One escape after a backslash of a basic string.
  bool readEscape(QString* out, bool multiLine) {
    const QChar c = peek();
    ++pos_;
    const auto put = [out](QChar v) {
      if (out != nullptr) {
        out->append(v);
      }
    };
    switch (c.unicode()) {
      case 'b': put(u'\b'); return true;
      case 't': put(u'\t'); return true;
      case 'n': put(u'\n'); return true;
      case 'f': put(u'\f'); return true;
      case 'r': put(u'\r'); return true;
      case '"': put(u'"'); return true;
      case '\\': put(u'\\'); return true;
      case 'u': return readHex(4, out);
      case 'U': return readHex(8, out);
      default: break;
    }
    if (multiLine && (c == u' ' || c == u'\t' || c == u'\r' || c == u'\n')) {
      // A line-ending backslash: the break and the white space after it vanish.
      --pos_;
      skipSpaces();
      if (!atLineEnd()) {
        return false;
      }
      while (pos_ < n_ && (atLineEnd() || peek() == u' ' || peek() == u'\t')) {
        if (atLineEnd()) {
          takeLineBreak();
        } else {
          ++pos_;
        }
      }
      return true;
    }
    return false;
  }

  bool readBasicString(QString* out) {
    if (startsWith("\"\"\"")) {
      pos_ += 3;
      if (atLineEnd()) {
        takeLineBreak();  // a break right after the opening quotes is not part of the text
      }
      for (;;) {
        if (pos_ >= n_) {
          return false;
        }
        if (startsWith("\"\"\"")) {
          pos_ += 3;
          // Up to two quotes may stand right before the closing three.
          for (int extra = 0; extra < 2 && peek() == u'"'; ++extra) {
            ++pos_;
            if (out != nullptr) {
              out->append(u'"');
            }
          }
          return true;
        }
        const QChar c = peek();
        if (c == u'\\') {
          ++pos_;
          if (!readEscape(out, true)) {
            return false;
          }
        } else if (atLineEnd()) {
          if (out != nullptr) {
            out->append(u'\n');
          }
          takeLineBreak();
        } else if (isForbiddenControl(c)) {
          return false;
        } else {
          if (out != nullptr) {
            out->append(c);
          }
          ++pos_;
        }
      }
    }
    ++pos_;  // the opening quote
    for (;;) {
      if (pos_ >= n_ || atLineEnd() || peek() == u'\r') {
        return false;
      }
      const QChar c = peek();
      ++pos_;
      if (c == u'"') {
        return true;
      }
      if (c == u'\\') {
        if (!readEscape(out, false)) {
          return false;
        }
      } else if (isForbiddenControl(c)) {
        return false;
      } else if (out != nullptr) {
        out->append(c);
      }
    }
  }

  bool readLiteralString(QString* out) {
    if (startsWith("'''")) {
      pos_ += 3;
      if (atLineEnd()) {
        takeLineBreak();
      }
      for (;;) {
        if (pos_ >= n_) {
          return false;
        }
        if (startsWith("'''")) {
          pos_ += 3;
          for (int extra = 0; extra < 2 && peek() == u'\''; ++extra) {
            ++pos_;
            if (out != nullptr) {
              out->append(u'\'');
            }
          }
          return true;
        }
        if (atLineEnd()) {
          if (out != nullptr) {
            out->append(u'\n');
          }
          takeLineBreak();
        } else if (isForbiddenControl(peek())) {
          return false;
        } else {
          if (out != nullptr) {
            out->append(peek());
          }
          ++pos_;
        }
      }
    }
    ++pos_;
    for (;;) {
      if (pos_ >= n_ || atLineEnd() || peek() == u'\r') {
        return false;
      }
      const QChar c = peek();
      ++pos_;
      if (c == u'\'') {
        return true;
      }
      if (isForbiddenControl(c)) {
        return false;
      }
      if (out != nullptr) {
        out->append(c);
      }
    }
  }

  // A value; `strings` (for an array) receives its string elements. Arrays and inline tables
  // nest at most kMaxTomlNesting deep, so that no file can exhaust the stack.
  bool readValue(QStringList* strings) {
    const QChar c = peek();
    if (c == u'"') {
      return readBasicString(nullptr);
    }
    if (c == u'\'') {
      return readLiteralString(nullptr);
    }
    if (c == u'[' || c == u'{') {
      if (depth_ >= kMaxTomlNesting) {
        tooDeep_ = true;
        return false;
      }
      ++depth_;
      const bool ok = c == u'[' ? readArray(strings) : readInlineTable();
      --depth_;
      return ok;
    }
    return readBareValue();
  }

  bool readArray(QStringList* strings) {
    ++pos_;
    for (;;) {
      if (!skipGaps()) {
        return false;
      }
      if (take(u']')) {
        return true;
      }
      if (strings != nullptr && (peek() == u'"' || peek() == u'\'')) {
        QString value;
        const bool ok = peek() == u'"' ? readBasicString(&value) : readLiteralString(&value);
        if (!ok) {
          return false;
        }
        strings->append(value);
      } else if (!readValue(nullptr)) {
        return false;
      }
      if (!skipGaps()) {
        return false;
      }
      if (take(u']')) {
        return true;
      }
      if (!take(u',')) {
        return false;
      }
    }
  }

  bool readInlineTable() {
    ++pos_;
    skipSpaces();
    if (take(u'}')) {
      return true;
    }
    for (;;) {
      QStringList key;
      skipSpaces();
      if (!readKey(key)) {
        return false;
      }
      skipSpaces();
      if (!take(u'=')) {
        return false;
      }
      skipSpaces();
      if (!readValue(nullptr)) {
        return false;
      }
      skipSpaces();
      if (take(u'}')) {
        return true;
      }
      if (!take(u',')) {
        return false;
      }
    }
  }

  // A number, a boolean or a date and time (which may hold one space).
  bool readBareValue() {
    const qsizetype from = pos_;
    const auto bareChar = [](QChar ch) {
      return !(ch.isNull() || ch == u' ' || ch == u'\t' || ch == u'\r' || ch == u'\n' ||
               ch == u',' || ch == u']' || ch == u'}' || ch == u'#' || ch == u'"' ||
               ch == u'\'' || ch == u'[' || ch == u'{' || ch == u'=');
    };
    while (bareChar(peek())) {
      ++pos_;
    }
    const qsizetype length = pos_ - from;
    if (length == 10 && s_[from + 4] == u'-' && s_[from + 7] == u'-' && peek() == u' ' &&
        peek(1).isDigit()) {
      ++pos_;
      while (bareChar(peek())) {
        ++pos_;
      }
    }
    return isBareValue(QStringView(s_).mid(from, pos_ - from));
  }

  const QString& s_;
  const qsizetype n_;
  qsizetype pos_ = 0;
  int line_ = 1;
  int depth_ = 0;     // arrays and inline tables open around the current position
  int keyParts_ = 0;  // the parts of every key of the current statement so far
  bool tooDeep_ = false;
};

}  // namespace

QStringList TomlStatement::fullKey() const {
  return isHeader() ? key : table + key;
}

Result<std::vector<TomlStatement>> outlineToml(const QString& text) {
  return Lexer(text).run();
}

QString tomlBasicString(const QString& value) {
  QString out = QStringLiteral("\"");
  for (const QChar c : value) {
    if (c == u'\\' || c == u'"') {
      out += u'\\';
      out += c;
    } else if (c.unicode() < 0x20 || c.unicode() == 0x7f) {
      out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
    } else {
      out += c;
    }
  }
  return out + u'"';
}

}  // namespace tandrel
