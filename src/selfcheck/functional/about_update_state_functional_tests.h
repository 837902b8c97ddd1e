#pragma once

// The About tab's update panel, state by state: its rows and primary button, and what the
// production policy makes of a verified download. Each returns true when every expectation held.

#include <QString>

namespace tandrel {

// A fixture feed offering 0.1.1 shows it as available, with its changelog.
bool aboutUpdateFunctionalTest(const QString& tempRoot);
// A feed without an update shows the running version, never its placeholder "0.0.0".
bool aboutNoRemoteLatestVersionFunctionalTest(const QString& tempRoot);
// The rows and actions of available, up-to-date and error states.
bool aboutUpdateStateFunctionalTests(const QString& tempRoot);
// A verified, unsigned download on the stable channel is blocked.
bool aboutProductionPolicyFunctionalTest(const QString& tempRoot);
// The same download is ready to install when the policy allows test installs.
bool aboutStablePolicyAllowsTestInstallFunctionalTest(const QString& tempRoot);
// Security and policy blocks with missing keys decode with safe defaults.
bool aboutPartialUpdatePolicyDefaultsFunctionalTest(const QString& tempRoot);
// Downloading an update without an artifact shows the error in the panel and the banner.
bool aboutMissingArtifactPrimaryActionFunctionalTest(const QString& tempRoot);

}  // namespace tandrel
