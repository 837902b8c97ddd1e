#pragma once

#include "base/result.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>

// Starting other programs: each child runs in a session (and so a process group) of its own, so
// that a time-out can end it together with everything it started.
//
// Both functions block the calling thread until they are done (the first for as long as the child
// runs, at most the time-out). Call them from a worker thread, never from the main thread.

namespace tandrel {

// How one child run ended.
struct ChildProcessOutcome {
  bool started = false;   // the program could be executed
  bool timedOut = false;  // killed (with its process group) when the time-out passed
  int exitCode = -1;      // the exit status; -1 when it did not start, crashed or timed out
  QByteArray standardOutput;
  QByteArray standardError;
  QString error;  // why it did not start, or "timed out", or "crashed"; empty otherwise

  // Started, exited normally with status 0.
  bool succeeded() const { return started && !timedOut && error.isEmpty() && exitCode == 0; }
};

// Runs `program` with `arguments` in `workingDirectory` (the current one when empty) with standard
// input closed, captures both outputs and waits for its exit, at most `timeout`.
ChildProcessOutcome runChildProcess(const QString& program, const QStringList& arguments,
                                    const QString& workingDirectory, std::chrono::milliseconds timeout);

// Starts `program` detached (it outlives the app and is not waited for) in `workingDirectory`, with
// its standard streams on /dev/null. Fails with the reason when the program cannot be executed.
Result<void> startDetachedChildProcess(const QString& program, const QStringList& arguments,
                                       const QString& workingDirectory);

// Starts `program` (looked up on PATH when it holds no "/") in a session of its own, with its
// standard streams on /dev/null, and watches it for at most `window`: an exit within that time
// decides (status 0 succeeds, any other fails with "exit=<status>"); a child still running after it
// is left to run, never killed, and counts as started. For openers such as xdg-open, which report a
// missing handler at once but may stay in the foreground of the program they open.
Result<void> startChildProcessWatchingEarlyExit(const QString& program, const QStringList& arguments,
                                                const QString& workingDirectory, std::chrono::milliseconds window);

}  // namespace tandrel
