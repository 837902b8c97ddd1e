#pragma once

#include "base/result.h"

#include <QString>

namespace tandrel {

// Parses `text` with a complete TOML parser (duplicate keys, tables defined twice, values and
// their ranges): success, or "it is not valid TOML at line N: <what the parser says>". Call it
// only on a text that `outlineToml` accepted, whose nesting is bounded.
Result<void> checkToml(const QString& text);

}  // namespace tandrel
