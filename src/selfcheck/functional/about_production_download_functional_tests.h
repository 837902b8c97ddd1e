#pragma once

#include <QString>

namespace tandrel {

// The About tab checks, downloads and verifies an update that the stable channel may not install
// (unsigned in the feed, no test installs): the panel ends in the one error row with a red banner,
// offers the check again and leaves the artifact cached under the same name untouched. The same
// download whose feed calls it signed and notarized, but whose signature is not by the trusted
// key, is refused as well.
bool aboutProductionDownloadBlockedAfterChecksumFunctionalTest(const QString& tempRoot);

}  // namespace tandrel
