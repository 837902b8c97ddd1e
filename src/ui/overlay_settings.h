#pragma once

// The settings vocabularies that the overlay panels, the island view and the settings page share.
// Raw values are the stored and shown strings; a string that names no case gives none (callers
// then use their default).

#include "attention/pet_state.h"
#include "events/pet_preview_state.h"

#include <QColor>
#include <QString>
#include <QStringView>

#include <optional>

namespace tandrel {

// Where the desktop companion sits.
enum class CompanionDisplayMode { bubble, floating, roaming, tucked };
QString rawValue(CompanionDisplayMode mode);
std::optional<CompanionDisplayMode> parseCompanionDisplayMode(QStringView raw);

// How the Pets tab's live preview places the pet.
enum class PetPreviewMode { bubble, floating, roaming, tucked };
QString rawValue(PetPreviewMode mode);
std::optional<PetPreviewMode> parsePetPreviewMode(QStringView raw);

// The settings page's tabs; the raw values are their titles.
enum class SettingsTab { general, pets, sound, aiTools, about };
QString rawValue(SettingsTab tab);
std::optional<SettingsTab> parseSettingsTab(QStringView raw);

// The Pets tab's preview states: their label, colour and the pet pose they show.
struct PetPreviewStateStyle {
  const char* label;
  QColor color;
  PetState petState;
};
PetPreviewStateStyle previewStateStyle(PetPreviewStateID state);

}  // namespace tandrel
