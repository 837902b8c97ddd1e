#include "pets/pet_provenance.h"

#include <QCollator>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace tandrel {

namespace {

bool carriesProvenance(PetSourceKind kind) {
  return kind == PetSourceKind::tandrelPet || kind == PetSourceKind::imported || kind == PetSourceKind::generated ||
         kind == PetSourceKind::galleryPet;
}

QString detailPrefix(PetSourceKind kind) {
  switch (kind) {
    case PetSourceKind::builtIn: return QStringLiteral("Built-in");
    case PetSourceKind::galleryPet: return QString::fromLatin1(kPetGalleryDomain);
    case PetSourceKind::codexPet: return QStringLiteral("Codex pet");
    case PetSourceKind::codexAvatar: return QStringLiteral("Codex avatar");
    case PetSourceKind::tandrelPet: return QStringLiteral("Tandrel pet");
    case PetSourceKind::imported: return QStringLiteral("Imported");
    case PetSourceKind::generated: return QStringLiteral("Generated");
  }
  return QString();
}

QString badgeText(PetSourceKind kind) {
  switch (kind) {
    case PetSourceKind::builtIn: return QStringLiteral("built-in");
    case PetSourceKind::galleryPet: return QString::fromLatin1(kPetGalleryDomain);
    case PetSourceKind::tandrelPet: return QStringLiteral("tandrel");
    case PetSourceKind::codexPet:
    case PetSourceKind::codexAvatar:
    case PetSourceKind::imported:
    case PetSourceKind::generated: return QStringLiteral("codex");
  }
  return QString();
}

// The host of an authority ("user:password@host:port"), or nothing when it has none. Parsed by
// hand: the host keeps its letter case.
std::optional<QString> hostOfAuthority(QStringView authority) {
  if (const qsizetype at = authority.lastIndexOf(QLatin1Char('@')); at >= 0) {
    authority = authority.mid(at + 1);
  }
  QStringView host = authority;
  if (host.startsWith(QLatin1Char('['))) {
    const qsizetype close = host.indexOf(QLatin1Char(']'));
    if (close < 0) {
      return std::nullopt;
    }
    host = host.mid(1, close - 1);
  } else if (const qsizetype colon = host.indexOf(QLatin1Char(':')); colon >= 0) {
    const QStringView port = host.mid(colon + 1);
    for (const QChar c : port) {
      if (!c.isDigit()) {
        return std::nullopt;
      }
    }
    host = host.left(colon);
  }
  if (host.isEmpty()) {
    return std::nullopt;
  }
  for (const QChar c : host) {
    if (c.isSpace() || QStringView(u"<>\"\\^`{|}").contains(c)) {
      return std::nullopt;
    }
  }
  return host.toString();
}

}  // namespace

std::optional<QString> sourceHost(const std::optional<QString>& text) {
  if (!text || text->isEmpty()) {
    return std::nullopt;
  }
  QString address = *text;
  if (!address.contains(QStringLiteral("://"))) {
    address.prepend(QStringLiteral("https://"));
  }
  const qsizetype schemeEnd = address.indexOf(QStringLiteral("://"));
  const QStringView scheme = QStringView(address).left(schemeEnd);
  if (scheme.isEmpty() || !scheme.front().isLetter()) {
    return std::nullopt;
  }
  for (const QChar c : scheme) {
    if (!(c.isLetterOrNumber() || c == QLatin1Char('+') || c == QLatin1Char('-') || c == QLatin1Char('.')) ||
        c.unicode() > 0x7f) {
      return std::nullopt;
    }
  }
  QStringView rest = QStringView(address).mid(schemeEnd + 3);
  const qsizetype authorityEnd = [&] {
    for (qsizetype i = 0; i < rest.size(); ++i) {
      if (rest[i] == QLatin1Char('/') || rest[i] == QLatin1Char('?') || rest[i] == QLatin1Char('#')) {
        return i;
      }
    }
    return rest.size();
  }();
  std::optional<QString> host = hostOfAuthority(rest.left(authorityEnd));
  if (host && host->startsWith(QStringLiteral("www."))) {
    host->remove(0, 4);
  }
  return host;
}

std::optional<QString> authorBadgeLabel(const PetChoice& pet) {
  if (pet.authorHandle) {
    return QLatin1Char('@') + *pet.authorHandle;
  }
  return pet.authorName;
}

QString petProvenanceDetail(const PetChoice& pet) {
  if (carriesProvenance(pet.sourceKind)) {
    QStringList parts;
    if (const std::optional<QString> source = pet.sourceURL ? pet.sourceURL : pet.sourceLabel) {
      parts.append(*source);
    }
    if (const std::optional<QString> author = authorBadgeLabel(pet)) {
      parts.append(*author);
    }
    const QString joined = parts.join(QStringLiteral(" \u00b7 "));
    if (!joined.isEmpty()) {
      return joined;
    }
  }
  if (!pet.sourcePath) {
    return pet.detail;
  }
  return detailPrefix(pet.sourceKind) + QStringLiteral(" - ") + QFileInfo(QDir::cleanPath(*pet.sourcePath)).fileName();
}

QString sourceBadgeLabel(const PetChoice& pet) {
  if (std::optional<QString> host = sourceHost(pet.sourceURL)) {
    return *host;
  }
  if (pet.sourceLabel && carriesProvenance(pet.sourceKind)) {
    return *pet.sourceLabel;
  }
  return badgeText(pet.sourceKind);
}

QColor sourceBadgeColor(const PetChoice& pet) {
  const std::optional<QString> text = sourceHost(pet.sourceURL) ? sourceHost(pet.sourceURL) : pet.sourceLabel;
  if (text) {
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    if (collator.compare(*text, QString::fromLatin1(kPetGalleryDomain)) == 0) {
      return sourceBadgeColor(PetSourceKind::galleryPet);
    }
  }
  return sourceBadgeColor(pet.sourceKind);
}

QColor sourceBadgeColor(PetSourceKind kind) {
  switch (kind) {
    case PetSourceKind::builtIn: return QColor(77, 159, 255);
    case PetSourceKind::galleryPet: return QColor(185, 159, 255);
    default: return QColor(0, 214, 163);
  }
}

}  // namespace tandrel
