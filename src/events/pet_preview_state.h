#pragma once

#include <QString>
#include <QStringView>

#include <optional>

namespace tandrel {

// The pet pose an event suggests; the settings panel previews the same states. Raw values are
// the case names.
enum class PetPreviewStateID { idle, running, waitingInput, review, approval, error, rateLimit, sleeping };

QString rawValue(PetPreviewStateID state);
std::optional<PetPreviewStateID> parsePetPreviewStateID(QStringView raw);

}  // namespace tandrel
