#include "ui/overlay_settings.h"

#include "events/raw_value_table.h"

namespace tandrel {
namespace {

constexpr RawValueTable<CompanionDisplayMode, 4> kCompanionModes{{
    {CompanionDisplayMode::bubble, "bubble"},
    {CompanionDisplayMode::floating, "floating"},
    {CompanionDisplayMode::roaming, "roaming"},
    {CompanionDisplayMode::tucked, "tucked"},
}};

constexpr RawValueTable<PetPreviewMode, 4> kPreviewModes{{
    {PetPreviewMode::bubble, "bubble"},
    {PetPreviewMode::floating, "floating"},
    {PetPreviewMode::roaming, "roaming"},
    {PetPreviewMode::tucked, "tucked"},
}};

constexpr RawValueTable<SettingsTab, 5> kTabs{{
    {SettingsTab::general, "General"},
    {SettingsTab::pets, "Pets"},
    {SettingsTab::sound, "Sounds"},
    {SettingsTab::aiTools, "AI Tools"},
    {SettingsTab::about, "About"},
}};

}  // namespace

QString rawValue(CompanionDisplayMode mode) { return rawValueIn(kCompanionModes, mode); }
std::optional<CompanionDisplayMode> parseCompanionDisplayMode(QStringView raw) {
  return parseRawValueIn(kCompanionModes, raw);
}
QString rawValue(PetPreviewMode mode) { return rawValueIn(kPreviewModes, mode); }
std::optional<PetPreviewMode> parsePetPreviewMode(QStringView raw) { return parseRawValueIn(kPreviewModes, raw); }
QString rawValue(SettingsTab tab) { return rawValueIn(kTabs, tab); }
std::optional<SettingsTab> parseSettingsTab(QStringView raw) { return parseRawValueIn(kTabs, raw); }

PetPreviewStateStyle previewStateStyle(PetPreviewStateID state) {
  switch (state) {
    case PetPreviewStateID::idle:
      return {"Idle", QColor(0, 214, 163), PetState::idle};
    case PetPreviewStateID::running:
      return {"Running", QColor(77, 159, 255), PetState::working};
    case PetPreviewStateID::waitingInput:
      return {"Waiting Input", QColor(255, 187, 0), PetState::approval};
    case PetPreviewStateID::review:
      return {"Ready Review", QColor(0, 214, 163), PetState::done};
    case PetPreviewStateID::approval:
      return {"Approval", QColor(255, 187, 0), PetState::approval};
    case PetPreviewStateID::error:
      return {"Error", QColor(255, 85, 85), PetState::error};
    case PetPreviewStateID::rateLimit:
      return {"Rate Limit", QColor(255, 136, 85), PetState::tired};
    case PetPreviewStateID::sleeping:
      return {"Sleeping", QColor(119, 119, 119), PetState::idle};
  }
  return {"Idle", QColor(0, 214, 163), PetState::idle};
}

}  // namespace tandrel
