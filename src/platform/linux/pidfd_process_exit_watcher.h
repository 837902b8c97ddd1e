#pragma once

#include "platform/process_exit_watcher.h"

#include <QByteArray>

#include <optional>

namespace tandrel {

// The Linux watcher: pidfd_open and a readiness notifier on the main event loop; where pidfd is
// unavailable or no descriptor is left (or `forceProcPoll` is set, for tests) a /proc/<pid>/stat
// poll every `kProcPollIntervalMs`, which falls back to kill(pid, 0) when /proc cannot be read. A
// pid that is already gone (ESRCH) is reported at once; a process that merely cannot be looked at
// never counts as exited.
std::unique_ptr<ProcessExitWatcher> watchProcessExit(qint32 pid, ProcessExitCallback onExit,
                                                     bool forceProcPoll = false);

inline constexpr int kProcPollIntervalMs = 250;

// The state letter of a /proc/<pid>/stat line (the field after the parenthesised command name,
// which may itself hold parentheses and blanks), or nothing when the line has none.
std::optional<char> procStatState(const QByteArray& statLine);

}  // namespace tandrel
