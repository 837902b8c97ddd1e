#pragma once

#include "base/result.h"

#include <QByteArray>
#include <QString>

namespace tandrel {

// Appends `bytes` (normally one complete line) to the file at `path` with a single write on an
// O_APPEND descriptor, so that lines appended by several writers at once never interleave. A new
// file is created with mode 0600 (the logs hold commands and folders); an existing file keeps its
// mode. When the file cannot be opened nothing is written anywhere: the file is never replaced.
// Failures read "POSIX open failed: errno=…" or "POSIX write failed: …". The parent folder must
// exist.
Result<void> appendFile(const QString& path, const QByteArray& bytes);

}  // namespace tandrel
