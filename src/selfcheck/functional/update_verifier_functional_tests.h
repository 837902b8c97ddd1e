#pragma once

// How a downloaded update is verified and stored: the checksum and signature verifier, where an
// artifact is staged and how its name is made safe, a copy that never destroys what it would
// replace, and a checksum mismatch in the About tab that keeps the artifact cached before it.

#include <QString>

namespace tandrel {

bool updateVerifierFunctionalTests(const QString& tempRoot);
bool updateArtifactDownloaderFunctionalTests(const QString& tempRoot);
bool aboutChecksumMismatchPreservesCachedArtifactFunctionalTest(const QString& tempRoot);

}  // namespace tandrel
