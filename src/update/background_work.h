#pragma once

#include "platform/dispatch.h"

#include <functional>
#include <thread>
#include <utility>

namespace tandrel {

// Runs `work` on a thread of its own and hands its result to `done` on the main thread. The
// thread holds only what `work` captured, and the app does not wait for it when it quits (a
// stalled transfer ends by its own time-outs). Update checks and downloads run this way.
template <typename T>
void runUpdateWorkInBackground(std::function<T()> work, std::function<void(T)> done) {
  std::thread([work = std::move(work), done = std::move(done)]() mutable {
    T result = work();
    postToMain([done = std::move(done), result = std::move(result)]() mutable { done(std::move(result)); });
  }).detach();
}

}  // namespace tandrel
