#include "island/notch_status_words.h"

#include <QStringList>

namespace tandrel {
namespace {

bool isPunctuation(QChar c) { return c.isPunct(); }
bool isSymbol(QChar c) { return c.isSymbol(); }

// Pieces of `text` between the characters `separates` picks, empty ones dropped.
template <typename Separates>
QStringList pieces(const QString& text, Separates separates) {
  QStringList result;
  QString current;
  for (const QChar c : text) {
    if (separates(c)) {
      if (!current.isEmpty()) result.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.isEmpty()) result.push_back(current);
  return result;
}

QStringList percentPieces(const QString& text) {
  return pieces(text, [](QChar c) {
    return c.isSpace() || (isPunctuation(c) && c != u'%' && c != u'.');
  });
}

bool isOneOf(const QString& piece, std::initializer_list<const char*> words) {
  for (const char* word : words) {
    if (piece == QLatin1String(word)) return true;
  }
  return false;
}

}  // namespace

QString shortPetStateLabel(PetState state) {
  switch (state) {
    case PetState::idle:
      return QStringLiteral("Idle");
    case PetState::working:
      return QStringLiteral("Busy");
    case PetState::approval:
      return QStringLiteral("Wait");
    case PetState::done:
      return QStringLiteral("Done");
    case PetState::error:
      return QStringLiteral("Error");
    case PetState::tired:
      return QStringLiteral("Tired");
  }
  return QStringLiteral("Idle");
}

QColor macBookPetStateColor(PetState state) {
  switch (state) {
    case PetState::idle:
      return QColor::fromRgbF(1, 1, 1, 0.58);
    case PetState::working:
      return QColor::fromRgbF(139 / 255.0, 92 / 255.0, 246 / 255.0);
    case PetState::approval:
      return kMacBookApprovalAmber;
    case PetState::done:
      return QColor::fromRgbF(0, 214 / 255.0, 163 / 255.0);
    case PetState::error:
      return QColor::fromRgbF(1.0, 77 / 255.0, 94 / 255.0);
    case PetState::tired:
      return kMacBookLimitOrange;
  }
  return QColor::fromRgbF(1, 1, 1, 0.58);
}

std::optional<QString> compactMacBookStatusWord(const QString& text) {
  for (const QString& piece : pieces(text, [](QChar c) { return c.isSpace() || isPunctuation(c) || isSymbol(c); })) {
    if (piece.size() > 1) {
      return piece.left(6);
    }
  }
  return std::nullopt;
}

std::optional<QString> cleanedPercentToken(const QString& token) {
  const auto kept = [](QChar c) { return c.isDigit() || c == u'.' || c == u'%'; };
  QString result;
  qsizetype i = 0;
  while (i < token.size() && !kept(token[i])) ++i;
  for (; i < token.size() && kept(token[i]); ++i) {
    result += token[i];
    if (token[i] == u'%') break;
  }
  const bool hasDigit = std::any_of(result.begin(), result.end(), [](QChar c) { return c.isDigit(); });
  if (!hasDigit || !result.contains(u'%')) {
    return std::nullopt;
  }
  return result.left(5);
}

std::optional<QString> firstPercentToken(const QString& text) {
  for (const QString& piece : percentPieces(text)) {
    if (const std::optional<QString> cleaned = cleanedPercentToken(piece)) {
      return cleaned;
    }
  }
  return std::nullopt;
}

std::optional<QString> compactMacBookUsageToken(const QString& text) {
  const QStringList list = percentPieces(text.toLower());
  std::optional<QString> period;
  for (qsizetype i = 0; i < list.size(); ++i) {
    const QString& piece = list[i];
    const QString next = i + 1 < list.size() ? list[i + 1] : QString();
    if (isOneOf(piece, {"5h", "5hr", "5hrs", "5hour", "5hours"})) {
      period = QStringLiteral("5h");
    } else if (isOneOf(piece, {"7d", "7day", "7days", "weekly", "week"})) {
      period = QStringLiteral("7d");
    } else if (piece == u"5" && isOneOf(next, {"h", "hr", "hrs", "hour", "hours"})) {
      period = QStringLiteral("5h");
      ++i;
    } else if (piece == u"7" && isOneOf(next, {"d", "day", "days"})) {
      period = QStringLiteral("7d");
      ++i;
    } else if (const std::optional<QString> percent = cleanedPercentToken(piece); percent && period) {
      return *period + u' ' + *percent;
    }
  }
  return std::nullopt;
}

bool macBookUsageIsLimited(const QString& label) {
  return label.contains(QLatin1String("blocked"), Qt::CaseInsensitive) ||
         label.contains(QLatin1String("limit"), Qt::CaseInsensitive);
}

QString macBookUsageStatusWord(const QString& label, PetState fallback) {
  if (label.contains(QLatin1String("blocked"), Qt::CaseInsensitive)) {
    return QStringLiteral("Limit");
  }
  if (const std::optional<QString> token = compactMacBookUsageToken(label)) {
    return *token;
  }
  if (label.contains(QLatin1String("limit"), Qt::CaseInsensitive)) {
    return QStringLiteral("Limit");
  }
  if (const std::optional<QString> percent = firstPercentToken(label)) {
    return *percent;
  }
  return compactMacBookStatusWord(label).value_or(shortPetStateLabel(fallback));
}

}  // namespace tandrel
