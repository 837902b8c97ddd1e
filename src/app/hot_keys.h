#pragma once

// The application's three global hot keys and the choice of the waiting request each one jumps
// to, as pure functions over the waiting actions (oldest first, as PendingActionStore lists them).

#include "platform/global_hot_keys.h"
#include "requests/pending_action.h"

#include <QString>

#include <array>
#include <optional>
#include <vector>

namespace tandrel {

enum class HotKeyOperation { toggle = 1, jumpToLatestPending = 2, cycleToNextPending = 3 };

// Ctrl+Alt+Space toggles the island; Super+Shift+U jumps to the newest waiting request;
// Ctrl+Super+U cycles through the waiting requests. Command is Super, never Control: Ctrl+Shift+U
// is the input method's Unicode entry.
inline constexpr std::array<HotKey, 3> kApplicationHotKeys = {{
    {static_cast<int>(HotKeyOperation::toggle), 0x20, kHotKeyControl | kHotKeyAlt},
    {static_cast<int>(HotKeyOperation::jumpToLatestPending), 0x75, kHotKeySuper | kHotKeyShift},
    {static_cast<int>(HotKeyOperation::cycleToNextPending), 0x75, kHotKeyControl | kHotKeySuper},
}};

// The newest waiting action (the last one); none when nothing waits.
std::optional<PendingAction> latestPendingAction(const std::vector<PendingAction>& waiting);

// The action the cycle key reaches next: the one after `lastCycledRequestID`, wrapping to the
// oldest after the newest; the oldest when nothing was cycled yet or that request no longer
// waits; none when nothing waits.
std::optional<PendingAction> nextPendingActionToCycle(const std::vector<PendingAction>& waiting,
                                                      const std::optional<QString>& lastCycledRequestID);

}  // namespace tandrel
