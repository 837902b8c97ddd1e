#pragma once

namespace tandrel {

// The pet animation timers running in the process, the island views' and the desktop
// companion's together: +1 when one is armed, -1 when it stops. Only self-tests read and reset it
// (as TandrelView::livePetAnimationTimerCountForTests).
inline int liveAnimationTimerCount = 0;

}  // namespace tandrel
