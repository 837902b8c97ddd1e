#pragma once

#include <QString>

// Functional tests of what the island and the desktop companion keep running while nothing
// happens. Their views lie over stores of their own, on empty bridge files in `tempRoot` unless
// said otherwise, with settings in a defaults file there: the user's settings are never read.

namespace tandrel {

// 1000 animation ticks of a collapsed idle island, and of the settings page on its General, AI
// Tools and About tabs, redraw nothing and never enter the ticker's or the usage meters' rotation.
bool animationTickIdleGateFunctionalTest(const QString& tempRoot);

// A collapsed idle island runs no pet animation timer; expanded it runs one, at 30 Hz; collapsed
// again, none. A collapsed island whose ticker has two items to rotate runs one, at 1 s.
bool petAnimationTimerLifecycleFunctionalTest(const QString& tempRoot);

// A desktop companion made while reduce motion is on starts no animation timer at all; made with
// it off, exactly one, which its tear-down stops.
bool companionAnimationTimerReduceMotionFunctionalTest(const QString& tempRoot);

}  // namespace tandrel
