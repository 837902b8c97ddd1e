#include "selfcheck/checks/jump_checks.h"

#include "selfcheck/functional/cmux_jump_functional_tests.h"
#include "selfcheck/functional/companion_preview_functional_tests.h"
#include "selfcheck/functional/event_bridge_functional_tests.h"
#include "selfcheck/functional/inbox_functional_tests.h"
#include "selfcheck/functional/jump_resolver_functional_tests.h"
#include "selfcheck/functional/message_action_functional_tests.h"
#include "selfcheck/functional/message_functional_tests.h"
#include "selfcheck/functional/store_jump_functional_tests.h"

namespace tandrel {

void runJumpChecks(SelfCheckFailures& failures, const QString& tempRoot) {
  failures.check(messageNormalizerFunctionalTest(),
                 QStringLiteral("message normalizer should map choices, gated approvals, and jump-only permissions"));
  failures.check(messageActionDispatcherFunctionalTest(tempRoot),
                 QStringLiteral("message action dispatcher should write choice response payloads and receipts"));
  failures.check(jumpResolverFunctionalTest(tempRoot),
                 QStringLiteral("jump resolver should validate cmux, file, cwd fallback, and URL schemes"));
  // Terminal tabs and iTerm sessions are focused by AppleScript on macOS; here the terminal
  // opener's check covers tmux, kitty, WezTerm and X11 windows instead.
  failures.notAvailable(QStringLiteral("the Terminal and iTerm focus scripts (AppleScript)"));
  failures.check(terminalJumpOpenerFunctionalTest(tempRoot),
                 QStringLiteral("terminal jump opener should open cwd in Terminal, iTerm, Cursor, WezTerm, Warp, and Ghostty"));
  failures.check(eventBridgeChoicePayloadFunctionalTest(),
                 QStringLiteral("event bridge schema should preserve options and response metadata"));
  failures.check(eventBridgeExecutableFunctionalTest(tempRoot),
                 QStringLiteral("event bridge executable should preserve options, response metadata, and string booleans"));
  failures.check(eventStoreChoiceMessageFunctionalTest(tempRoot),
                 QStringLiteral("event store should expose normalized choice messages with compact card buttons"));
  failures.check(eventStoreChoiceDispatchFunctionalTest(tempRoot),
                 QStringLiteral("event store should submit choice responses and hide answered messages"));
  failures.check(eventStoreJumpResolverFunctionalTest(tempRoot),
                 QStringLiteral("event store jump resolver should disable unavailable jump targets"));
  failures.check(eventStoreUnavailableCLIJumpDoesNotOpenWorkspaceFallbackFunctionalTest(tempRoot),
                 QStringLiteral("event store should not open workspace fallback for unavailable CLI jumps"));
  failures.check(eventStoreExactSessionJumpFallbackPolicyFunctionalTest(tempRoot),
                 QStringLiteral("event store should keep exact CLI/terminal jumps strict and fall back cmux to app"));
  failures.check(eventStoreUnavailableIdentifiedTerminalWindowDoesNotDowngradeFunctionalTest(tempRoot),
                 QStringLiteral("event store should not downgrade unavailable identified terminal windows to workspace jumps"));
  failures.check(eventStoreUnsupportedIdentifiedTerminalWindowDoesNotOpenWorkspaceFunctionalTest(tempRoot),
                 QStringLiteral("event store should not open workspace for unsupported identified terminal windows"));
  failures.check(eventStoreTargetedCmuxDoesNotDowngradeToAppFunctionalTest(tempRoot),
                 QStringLiteral("event store should not downgrade targeted cmux jumps to app opens"));
  failures.check(eventStoreTargetedCmuxMissingCLIAtOpenDoesNotActivateAppFunctionalTest(tempRoot),
                 QStringLiteral("event store should not activate cmux app when targeted cmux CLI is missing at open time"));
  failures.check(eventStoreTargetedCmuxRuntimeFailureFallsBackToAppFunctionalTest(tempRoot),
                 QStringLiteral("event store should fall back to app when targeted cmux open fails at runtime"));
  failures.check(eventStoreCmuxJumpPreservesTypedTargetFunctionalTest(tempRoot),
                 QStringLiteral("event store should preserve typed cmux targets for session/window jumps"));
}

void runCmuxFallbackChainChecks(SelfCheckFailures& failures, const QString& tempRoot) {
  failures.check(eventStoreCmuxJumpFallbackChainFunctionalTest(tempRoot),
                 QStringLiteral("cmux jump opener should fall back safely when precise session selection fails"));
}

void runStoreJumpChecks(SelfCheckFailures& failures, const QString& tempRoot) {
  failures.check(eventStoreJumpFailureSurfacesOpenerDetailFunctionalTest(tempRoot),
                 QStringLiteral("event store jump failure should surface opener detail in banner and audit"));
  failures.check(eventStoreReadIgnoreStateFunctionalTest(tempRoot),
                 QStringLiteral("event store should keep Mark Read and Ignore state separate"));
  failures.check(eventStoreMessageReminderAdmissionFunctionalTest(tempRoot),
                 QStringLiteral("event store should only remind for approvals, choices, and completed work"));
  failures.check(eventStoreCommonToolJumpQualityFunctionalTest(tempRoot),
                 QStringLiteral("event store should classify common tool jump targets by quality"));
  failures.check(companionPreviewAndJumpFunctionalTest(tempRoot),
                 QStringLiteral("companion should mirror message preview text and use typed jump routing"));
  failures.check(responseReceiptIngestionFunctionalTest(tempRoot),
                 QStringLiteral("event store should ingest response receipts and surface failed choice receipts"));
}

}  // namespace tandrel
