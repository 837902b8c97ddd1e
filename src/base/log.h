#pragma once

#include <QString>

namespace tandrel {

// The prefix of every line the app writes to its log.
inline constexpr char kLogPrefix[] = "[Tandrel] ";

// Writes "[Tandrel] <message>" to the system log (standard error and the journal) at info level.
void logInfo(const QString& message);
// The same at warning level, for failures the user may want to look into.
void logWarning(const QString& message);

}  // namespace tandrel
