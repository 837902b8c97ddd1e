#pragma once

// Where a pet came from, as the Pets tab shows it: a short coloured source badge, an author badge
// and a one-line provenance text. Pure functions of the catalogue entry.

#include "pets/pet_choice.h"

#include <QColor>
#include <QString>

#include <optional>

namespace tandrel {

// The public online pet gallery's host name.
inline constexpr char kPetGalleryDomain[] = "codexpets.dev";

// The host of a source address ("https://" assumed when it has no scheme), without a leading
// lower-case "www.", its letter case kept. Nothing for an absent or empty text or one without a
// host.
std::optional<QString> sourceHost(const std::optional<QString>& text);

// "@" + the author handle, else the author name, else nothing.
std::optional<QString> authorBadgeLabel(const PetChoice& pet);

// The provenance line: for pets that carry their own provenance (Tandrel pets, imported,
// generated and gallery pets) the source address or label and the author joined by " · ";
// otherwise, or when those are empty, the kind's name + " - " + the folder name, or the entry's
// detail when it has no folder.
QString petProvenanceDetail(const PetChoice& pet);

// The badge text: the source host, else the own source label of a pet that carries provenance,
// else the kind's badge ("built-in", "codex", "tandrel" or the gallery's domain).
QString sourceBadgeLabel(const PetChoice& pet);

// Violet for anything from the gallery (by host or label, any letter case), else by kind.
QColor sourceBadgeColor(const PetChoice& pet);
QColor sourceBadgeColor(PetSourceKind kind);

}  // namespace tandrel
