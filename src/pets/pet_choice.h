#pragma once

// One pet of the catalogue and where it comes from.

#include "attention/pet_state.h"

#include <QString>

#include <optional>

namespace tandrel {

// Raw values 0 to 6, in this order.
enum class PetSourceKind { builtIn, galleryPet, codexPet, codexAvatar, tandrelPet, imported, generated };

struct PetChoice {
  QString id;      // unique within the catalogue; stored as the selected pet
  QString name;    // display name
  QString detail;  // one-line description
  PetState state = PetState::idle;
  std::optional<QString> sourcePath;  // the pet's folder; none for the two fixed built-ins
  std::optional<QString> spritePath;  // the sprite sheet; none for the fixed built-ins
  PetSourceKind sourceKind = PetSourceKind::builtIn;
  bool isCodexSprite = false;  // drawn from an 8 × 9 sprite sheet
  std::optional<QString> badge;
  bool isNew = false;
  // Provenance, from the manifest's "tandrel" object.
  std::optional<QString> sourceLabel;
  std::optional<QString> sourceURL;
  std::optional<QString> websiteTag;
  std::optional<QString> authorHandle;  // without "@"
  std::optional<QString> authorName;
  bool isDeletable = false;

  bool operator==(const PetChoice&) const = default;
};

}  // namespace tandrel
