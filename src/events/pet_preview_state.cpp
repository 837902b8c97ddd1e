#include "events/pet_preview_state.h"

#include "events/raw_value_table.h"

namespace tandrel {
namespace {

constexpr RawValueTable<PetPreviewStateID, 8> kStates{{
    {PetPreviewStateID::idle, "idle"},
    {PetPreviewStateID::running, "running"},
    {PetPreviewStateID::waitingInput, "waitingInput"},
    {PetPreviewStateID::review, "review"},
    {PetPreviewStateID::approval, "approval"},
    {PetPreviewStateID::error, "error"},
    {PetPreviewStateID::rateLimit, "rateLimit"},
    {PetPreviewStateID::sleeping, "sleeping"},
}};

}  // namespace

QString rawValue(PetPreviewStateID state) { return rawValueIn(kStates, state); }

std::optional<PetPreviewStateID> parsePetPreviewStateID(QStringView raw) {
  return parseRawValueIn(kStates, raw);
}

}  // namespace tandrel
