#pragma once

// What the self-check groups share besides the failure list (self_check.h): putting process-wide
// state back, timing, waiting on the event loop, and the paths of their scratch files.

#include "platform/user_defaults.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>

#include <algorithm>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace tandrel {

// Puts back, when it goes out of scope by whatever path, every environment variable, user-defaults
// key and variable (a `…ForTests` override or switch) recorded on it, in the order they were
// recorded: a variable that was absent is unset or removed again. Each is recorded once, the first
// time it is named; later changes within the scope are the caller's.
class ScopedRestore {
 public:
  ScopedRestore() = default;
  ~ScopedRestore();
  ScopedRestore(const ScopedRestore&) = delete;
  ScopedRestore& operator=(const ScopedRestore&) = delete;
  ScopedRestore(ScopedRestore&& other) noexcept : restorers_(std::exchange(other.restorers_, {})) {}
  ScopedRestore& operator=(ScopedRestore&&) = delete;

  // Records the environment variable `name` as it is now.
  ScopedRestore& environment(const char* name);
  // Records `name`, then sets it to `value` (std::nullopt unsets it).
  ScopedRestore& setEnvironment(const char* name, const std::optional<QByteArray>& value);

  // Records `key` of `defaults` (the standard domain unless given) as it is now, with its type.
  ScopedRestore& defaultsKey(const QString& key, UserDefaults& defaults = UserDefaults::standard());

  // Runs `restore` at the end of the scope, in its place among the others.
  ScopedRestore& atExit(std::function<void()> restore) {
    restorers_.push_back(std::move(restore));
    return *this;
  }

  // Records `variable` by copy.
  template <typename T>
  ScopedRestore& variable(T& variable) {
    restorers_.emplace_back([&variable, saved = variable]() mutable { variable = std::move(saved); });
    return *this;
  }
  // Records `variable`, then gives it `value`: `restore.set(Tab::openerForTests, fake)`.
  template <typename T, typename V>
  ScopedRestore& set(T& variable, V&& value) {
    this->variable(variable);
    variable = std::forward<V>(value);
    return *this;
  }

 private:
  std::vector<std::function<void()>> restorers_;
};

// How long `work` took, in seconds, on the monotonic clock.
template <typename Work>
double secondsTaken(Work&& work) {
  QElapsedTimer timer;
  timer.start();
  std::forward<Work>(work)();
  return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

// The fastest of three timed attempts, in seconds; `attempt` gets the attempt's number (0 to 2),
// sets up what it needs untimed and returns what it measured. A busy machine may take a core away
// from one attempt for longer than a budget; a cache that does not work is slow in all three.
template <typename Attempt>
double fastestOfThree(Attempt&& attempt) {
  double fastest = attempt(0);
  for (int i = 1; i < 3; ++i) fastest = std::min(fastest, attempt(i));
  return fastest;
}

// `prefix` followed by `seconds` in the shortest decimal form that reads back as the same number
// ("0.0123", "1e-05") and "s": the sentence of a timing check that reports what it measured.
QString sentenceWithSeconds(const QString& prefix, double seconds);

// Runs the main thread's event loop in slices of 10 ms until `done()` holds or `limitSeconds` have
// passed; returns whether it held. `done` is asked first, so work that is already finished costs
// no wait.
bool waitOnEventLoop(const std::function<bool()>& done, double limitSeconds);

// `tempRoot`/`name`: where a check keeps a file or folder of its own. Each check names its files
// with a prefix of its own ("bridge-currentness", "ai-tools-repair-events.jsonl"), so that no
// check reads another's.
QString scratchPath(const QString& tempRoot, const QString& name);

// `tempRoot`/`name` as an empty folder: whatever an earlier run left there is removed first.
// Nothing when the folder cannot be made.
std::optional<QString> freshScratchFolder(const QString& tempRoot, const QString& name);

}  // namespace tandrel
