#pragma once

#include "base/posix_error.h"

#include <QString>

#include <optional>

namespace tandrel {

// Creates `folder` and any missing parents with mode 0700: our folders hold the hook socket, the
// approval audit, the bridge file and settings, which are the user's alone. Folders that exist
// keep their mode. Fails with "mkdir <the folder that could not be made>" (ENOTDIR when a
// file is in the way).
std::optional<POSIXError> makePrivateFolder(const QString& folder);

// Takes group and other access away from a folder of ours that an earlier version created 0755.
// Only a folder (not a link to one) owned by this user is changed; returns whether it now grants
// access to its owner alone.
bool restrictFolderToOwner(const QString& folder);

}  // namespace tandrel
