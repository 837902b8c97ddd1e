#pragma once

#include <QString>

// The external capsule's usage line with a five-hour reset time: the reset text centred on the
// status text's line and in its slot, the status in the tool's colour and the reset text grey.
// Each reads a Claude Code status-line reading of its own under `tempRoot` and draws the capsule
// at 1× and at 2×.

namespace tandrel {

bool collapsedResetAccessoryAlignsWithStatusText(const QString& tempRoot);
bool collapsedStatusUsesPrimaryToneAndResetSecondary(const QString& tempRoot);

}  // namespace tandrel
