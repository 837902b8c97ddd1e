#pragma once

#include "base/result.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// The statement-level outline of a TOML text, enough to edit a user's file by replacing whole
// statements while leaving every other byte alone.
//
// The lexer knows the whole TOML syntax that can hide structure: basic, literal and multi-line
// strings, arrays over several lines with comments inside, inline tables, dotted and quoted keys.
// It is strict where TOML is about the lexical form (escapes, control characters, the shape of
// numbers, booleans and dates) but does not check ranges or that keys are unique; a text about to
// be written is checked whole by `checkToml`.

namespace tandrel {

// Arrays and inline tables nest at most this deep, and the keys of one statement (a header, or a
// key with the keys of its inline tables) have at most this many parts in all; a deeper text is
// refused as not valid TOML, so that no reader of ours, nor toml++, recurses deeper on a user's
// file.
inline constexpr int kMaxTomlNesting = 128;

struct TomlStatement {
  enum class Kind { Blank, Comment, Table, ArrayTable, KeyValue };
  Kind kind = Kind::Blank;
  // The key of a key/value line, or the table's name of a header, split at its dots with quotes
  // removed and escapes decoded ("a.\"b.c\"" -> {"a", "b.c"}).
  QStringList key;
  // The table a key/value line belongs to (the last header before it; empty at the root).
  QStringList table;
  int line = 0;  // 1-based line of the statement's first character
  // The statement's text: from the start of its first line to the end of its last line, without
  // that line's line break. A value over several lines makes one statement.
  qsizetype begin = 0;
  qsizetype end = 0;
  // A key/value line's value, as written.
  qsizetype valueBegin = 0;
  qsizetype valueEnd = 0;
  // The strings of a value that is an array, decoded, in order; other elements are skipped.
  std::optional<QStringList> arrayStrings;

  // `table` followed by `key`.
  QStringList fullKey() const;
  bool isHeader() const { return kind == Kind::Table || kind == Kind::ArrayTable; }
};

// The statements of `text` in order, or an error naming the line that could not be read.
Result<std::vector<TomlStatement>> outlineToml(const QString& text);

// A TOML basic string (with its double quotes) holding `value`.
QString tomlBasicString(const QString& value);

}  // namespace tandrel
