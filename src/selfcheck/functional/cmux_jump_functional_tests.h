#pragma once

#include <QString>

// cmux Jumps: a typed cmux target stays a cmux target, the cmux app comes forward only after a
// precise open failed, and the opener's strategy chain. Nothing runs the cmux CLI: its strategies
// and the app's activation are replaced for the checks.

namespace tandrel {

// A cmux window whose session is gone is unavailable and opens nothing, although the cmux app
// exists ("targeted-cmux-no-app-…").
bool eventStoreTargetedCmuxDoesNotDowngradeToAppFunctionalTest(const QString& tempRoot);

// With no cmux CLI to be found, a targeted open fails with "cmux CLI not found" and activates
// nothing; an untargeted open activates the app (its diagnostics go to
// `tempRoot`/"targeted-cmux-stale-data").
bool eventStoreTargetedCmuxMissingCLIAtOpenDoesNotActivateAppFunctionalTest(const QString& tempRoot);

// A precise cmux open that fails at run time falls back to the cmux app: the Jump succeeds, reads
// its card and is audited "jump_fallback" ("targeted-cmux-runtime-app-fallback-…").
bool eventStoreTargetedCmuxRuntimeFailureFallsBackToAppFunctionalTest(const QString& tempRoot);

// The companion's Jump and the card's open the same typed cmux target; a card whose session is
// gone opens nothing ("cmux-app-only-…").
bool eventStoreCmuxJumpPreservesTypedTargetFunctionalTest(const QString& tempRoot);

// The cmux opener's strategies ("direct", "shell_detached", "login_shell") in seven scripted
// scenarios, with the commands they are given and the error they leave; then the shell quoting and
// the detached-shell script. The opener's diagnostics go to `tempRoot`/"cmux-chain-data".
bool eventStoreCmuxJumpFallbackChainFunctionalTest(const QString& tempRoot);

}  // namespace tandrel
