#include "selfcheck/checks/about_update_checks.h"

#include "selfcheck/functional/about_download_functional_tests.h"
#include "selfcheck/functional/about_panel_functional_tests.h"
#include "selfcheck/functional/about_production_download_functional_tests.h"
#include "selfcheck/functional/about_update_state_functional_tests.h"
#include "selfcheck/functional/automatic_update_functional_tests.h"
#include "selfcheck/functional/update_client_functional_tests.h"
#include "selfcheck/functional/update_installer_functional_tests.h"
#include "selfcheck/functional/update_verifier_functional_tests.h"

namespace tandrel {

void runAboutUpdateChecks(SelfCheckFailures& failures, const QString& tempRoot) {
  const struct {
    bool (*test)(const QString&);
    const char* sentence;
  } checks[] = {
      {aboutUpdateFunctionalTest, "about update check should show available version and changelog rows"},
      {aboutNoRemoteLatestVersionFunctionalTest,
       "about update should not show placeholder latest version when no update exists"},
      {aboutUpdateStateFunctionalTests, "about update state should produce rows and primary actions"},
      {aboutProductionPolicyFunctionalTest, "production update policy should block unsigned restart-to-update"},
      {aboutStablePolicyAllowsTestInstallFunctionalTest, "stable update policy should allow explicit unsigned test installs"},
      {aboutPartialUpdatePolicyDefaultsFunctionalTest,
       "partial update security and policy objects should decode with safe defaults"},
      {aboutProductionDownloadBlockedAfterChecksumFunctionalTest,
       "about production download should verify then block unsigned restart-to-update"},
      {aboutMissingArtifactPrimaryActionFunctionalTest, "about update primary action should surface missing artifact errors"},
      {aboutUpdateUIActionFunctionalTest, "about update UI should expose primary action and all planned rows"},
      {automaticUpdateViewReminderFunctionalTest, "automatic update result should mark About and show one short reminder"},
      {aboutUpdatePanelLayoutFunctionalTest, "about update UI should render expandable prototype panels"},
      {aboutRestartActionInvokesInstallerFunctionalTest, "about restart action should invoke installer with downloaded artifact"},
      {aboutRestartActionResetsStateOnInstallFailureFunctionalTest,
       "about restart action should reset state on install failure so the user is not stuck looping"},
      {updateInstallerAdminAppleScriptFunctionalTest,
       "updater admin-elevation AppleScript must compile and quote every arg correctly"},
      {updateInstallerRoutesToOsascriptOnReadOnlyParentFunctionalTest,
       "installAndRelaunch must route through osascript-with-administrator-privileges when the target parent is not "
       "user-writable"},
      {updateInstallerZipReplacementFunctionalTest, "update installer should replace an app bundle from a downloaded ZIP"},
      {aboutDownloadActionFunctionalTest,
       "about update primary download action should verify artifact and become restart-ready"},
      {aboutRemoteDownloadActionFunctionalTest,
       "about update primary download action should fetch remote artifacts and become restart-ready"},
      {aboutChecksumMismatchPreservesCachedArtifactFunctionalTest, "about update checksum failure should preserve cached artifact"},
      {updateClientFunctionalTests, "update client should read fixtures and build endpoint URLs"},
      {staticUpdateManifestFunctionalTests, "update client should read static manifests and resolve default update URLs"},
      {updateVerifierFunctionalTests, "update verifier should pass matching sha256 and fail mismatches"},
      {updateArtifactDownloaderFunctionalTests,
       "update artifact downloader should sanitize names and preserve existing artifacts on failed copy"},
      {aboutUpdateNoEndpointFunctionalTest, "about update should keep local no-feed state without endpoint or fixture"},
  };
  for (const auto& check : checks) {
    failures.check(check.test(tempRoot), QString::fromUtf8(check.sentence));
  }
  failures.check(automaticUpdateThrottleFunctionalTests(),
                 QStringLiteral("automatic update throttle should enforce 12-hour checks and version-deduped reminders"));
  failures.check(automaticUpdateSchedulerPolicyFunctionalTests(),
                 QStringLiteral("automatic update scheduler policy should persist attempt and reminder state"));
}

}  // namespace tandrel
