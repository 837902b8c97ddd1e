#pragma once

#include "base/result.h"

#include <QString>

// Installing a folder of the user's (a sound or pet package) under one of our folders without
// ever losing what was there: the copy is built in a hidden folder beside the target and renamed
// into place, so a failed copy leaves the old target untouched, and real paths (links resolved)
// decide whether the source and the target overlap.

namespace tandrel {

// The path with every symbolic link resolved, for a path that exists; for one that does not, its
// deepest existing ancestor resolved with the rest appended. Always absolute and clean.
QString realPathOf(const QString& path);

// Whether `path` is `folder` itself or lies below it, compared as real paths.
bool isSameOrInsideFolder(const QString& path, const QString& folder);

// Creates an empty hidden folder beside `target` (".<name>.staging-XXXXXX") to build a
// replacement in; its path, or the reason it could not be made.
Result<QString> makeStagingFolder(const QString& target);

// Copies the contents of the folder `source` into the existing folder `destination`: folders
// recursively and regular files (a link to a file is copied as the file it names). Links to
// folders and special files (sockets, pipes, devices) are skipped, so a loop of links or a pipe
// cannot hang the copy.
Result<void> copyFolderContents(const QString& source, const QString& destination);

// Puts the folder `staged` in the place of `target`: when `target` exists it is first moved
// aside, and moved back if the rename fails; what was moved aside is removed afterwards.
Result<void> moveFolderIntoPlace(const QString& staged, const QString& target);

// Replaces `target` by a copy of the folder `source` (staging, copy, move into place; the staging
// folder is removed on failure). Refuses a source that is the target or lies inside it, and a
// target inside the source.
Result<void> replaceFolderWithCopy(const QString& source, const QString& target);

// Removes `path` and everything below it without following links; true when nothing is left.
bool removeTree(const QString& path);

}  // namespace tandrel
