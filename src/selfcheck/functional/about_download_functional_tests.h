#pragma once

// The last steps of an update: the real installer replacing an install folder from a zip (and
// putting it back when the new build does not start), and the About tab's download button on a
// local artifact and on one served over HTTP from 127.0.0.1.

#include <QString>

namespace tandrel {

bool updateInstallerZipReplacementFunctionalTest(const QString& tempRoot);
bool aboutDownloadActionFunctionalTest(const QString& tempRoot);
bool aboutRemoteDownloadActionFunctionalTest(const QString& tempRoot);

}  // namespace tandrel
