#include "island/choice_note_input.h"

#include <QStringList>
#include <QTextBoundaryFinder>

#include <algorithm>

namespace tandrel {
namespace {

QStringList graphemes(const QString& text) {
  QStringList pieces;
  QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
  qsizetype start = 0;
  while (finder.toNextBoundary() > 0) {
    pieces.push_back(text.mid(start, finder.position() - start));
    start = finder.position();
  }
  return pieces;
}

bool endsTheLine(char32_t c) {
  return c == U'\n' || c == U'\v' || c == U'\f' || c == U'\r' || c == U'\u0085' || c == U'\u2028' ||
         c == U'\u2029' || c == U'\t';
}

bool isControlOrFormat(char32_t c) {
  const QChar::Category category = QChar::category(c);
  return category == QChar::Other_Control || category == QChar::Other_Format;
}

}  // namespace

qint64 graphemeCount(const QString& text) { return graphemes(text).size(); }

std::optional<QString> noteAfterTyping(const QString& note, const QString& typed, qint64 maxLength) {
  const QList<uint> codePoints = typed.toUcs4();
  if (std::any_of(codePoints.begin(), codePoints.end(), [](uint c) { return endsTheLine(c); })) {
    return std::nullopt;
  }
  QStringList kept;
  for (const QString& character : graphemes(typed)) {
    const QList<uint> scalars = character.toUcs4();
    if (std::none_of(scalars.begin(), scalars.end(), [](uint c) { return isControlOrFormat(c); })) {
      kept.push_back(character);
    }
  }
  const qint64 room = std::max<qint64>(maxLength, 0) - graphemeCount(note);
  if (kept.isEmpty() || room < 1) {
    return std::nullopt;
  }
  return note + kept.mid(0, static_cast<qsizetype>(std::min<qint64>(room, kept.size()))).join(QString());
}

std::optional<QString> noteAfterDelete(const QString& note) {
  if (note.isEmpty()) {
    return std::nullopt;
  }
  QStringList pieces = graphemes(note);
  pieces.removeLast();
  return pieces.join(QString());
}

}  // namespace tandrel
