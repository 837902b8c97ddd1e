#pragma once

#include "base/result.h"

#include <QJsonValue>
#include <QString>
#include <QStringList>

#include <optional>
#include <variant>
#include <vector>

// A JSON text with the place of each of its values, so that an agent's configuration file can be
// edited by replacing or inserting text: the keys keep the user's order, the file its indentation
// and every value that does not change (numbers included) the bytes the user wrote.

namespace tandrel {

// One value of the text. Objects have their members' keys (decoded) and values in order; arrays
// their elements.
struct JsonSpan {
  enum class Kind { Object, Array, String, Number, Literal };
  Kind kind = Kind::Literal;
  qsizetype begin = 0;  // the value's first character
  qsizetype end = 0;    // one past its last
  QStringList keys;     // objects: one per child
  std::vector<qsizetype> childStarts;  // where each child begins (an object member: its key)
  std::vector<JsonSpan> children;

  bool isObject() const { return kind == Kind::Object; }
  bool isArray() const { return kind == Kind::Array; }
  // The indexes of the members named `key`, in order.
  std::vector<int> membersNamed(const QString& key) const;
};

// The outline of a whole JSON text (one value between optional white space), or an error naming
// the offset where it stopped.
Result<JsonSpan> outlineJson(const QString& text);

// One step of a path from the top value: an object's key or an array's index.
using JsonStep = std::variant<QString, int>;
using JsonPath = std::vector<JsonStep>;

// Edits that leave the rest of the text alone. Each one reads the text anew; new values are
// written in the file's style: on lines of their own with the indentation of their neighbours
// (or one step of the file's indent deeper than their container) where the container spreads over
// lines, on its line where it does not. An object on the path that holds the key twice, a step
// into a value of the wrong kind or a missing value is an error, and nothing is changed.
class JsonTextEditor {
 public:
  explicit JsonTextEditor(QString text) : text_(std::move(text)) {}

  const QString& text() const { return text_; }

  // Sets `key` of the object at `path`: replaces the value where the key is, else adds the member
  // after the last one.
  Result<void> setMember(const JsonPath& path, const QString& key, const QJsonValue& value);
  // Appends `value` to the array at `path`.
  Result<void> appendElement(const JsonPath& path, const QJsonValue& value);
  // Replaces the value at `path` (which must not be empty).
  Result<void> replaceValue(const JsonPath& path, const QJsonValue& value);

 private:
  Result<void> insertChild(const JsonPath& path, JsonSpan::Kind kind, const QString& key,
                           const QJsonValue& value);
  Result<void> replaceSpan(const JsonSpan& span, const QJsonValue& value);

  QString text_;
};

// The value at `path` of an outline, or nullptr where the path leads nowhere (or through an
// object holding the key twice).
const JsonSpan* jsonSpanAt(const JsonSpan& top, const JsonPath& path);

}  // namespace tandrel
