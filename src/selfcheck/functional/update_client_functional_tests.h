#pragma once

// The feed side of self-update: the client reads a fixture answer and builds a check interface's
// address; a static manifest maps onto a response; the environment picks the feed; and the About
// tab's state when no feed at all is configured.

#include <QString>

namespace tandrel {

bool updateClientFunctionalTests(const QString& tempRoot);
bool staticUpdateManifestFunctionalTests(const QString& tempRoot);
bool aboutUpdateNoEndpointFunctionalTest(const QString& tempRoot);

}  // namespace tandrel
