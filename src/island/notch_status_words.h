#pragma once

// The compact words shown beside the camera housing of a notched display's collapsed capsule: a
// ticker line reduced to one short word, a usage line to its period and percent ("5h 42%"), and
// the pet's state as a word and a colour when nothing else is shown. Pure functions of texts.

#include "attention/pet_state.h"

#include <QColor>
#include <QString>

#include <optional>

namespace tandrel {

// "Idle", "Busy", "Wait", "Done", "Error" or "Tired".
QString shortPetStateLabel(PetState state);
// White at 58 %, working purple, approval amber, done green, error red or limit orange.
QColor macBookPetStateColor(PetState state);
inline const QColor kMacBookLimitOrange = QColor::fromRgbF(1.0, 155 / 255.0, 61 / 255.0);
inline const QColor kMacBookApprovalAmber = QColor::fromRgbF(245 / 255.0, 179 / 255.0, 1 / 255.0);

// The first piece of more than one character between white space, punctuation and symbols, cut
// to 6 characters.
std::optional<QString> compactMacBookStatusWord(const QString& text);
// A token reduced to its percent (digits and "." up to a "%", at most 5 characters); none
// without a digit or a "%".
std::optional<QString> cleanedPercentToken(const QString& token);
// The first piece of the text (split at white space and punctuation other than "%" and ".")
// that holds a percent, cleaned.
std::optional<QString> firstPercentToken(const QString& text);
// "5h" or "7d" and the first percent after it ("5h 42%"), the period read from "5h", "5 hours",
// "weekly" and their kin; none when no percent follows a period.
std::optional<QString> compactMacBookUsageToken(const QString& text);

// A usage line's word: "Limit" when it says blocked, else its period and percent, else "Limit"
// when it mentions a limit, else its first percent, else its first word, else the pet's state.
QString macBookUsageStatusWord(const QString& label, PetState fallback);
// Whether a usage line speaks of a limit (it is then shown in limit orange).
bool macBookUsageIsLimited(const QString& label);

}  // namespace tandrel
