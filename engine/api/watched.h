#pragma once

// An analysis for a host that notices its user on one thread only (an interpreter that takes Ctrl-C
// there): the analysis on a thread of its own, the host's thread asking every `period` whether to stop.

#include <pthread.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <functional>
#include <future>
#include <system_error>
#include <utility>

#include "engine/api/trov.h"

namespace trov::api {

// Calls work(control) on a thread of its own while this thread asks interrupted() every `period`; once
// it says yes, control.stop is set, interrupted() is asked no more, and the work ends soon. Where the
// system starts no thread, the work runs on this thread, which then cannot stop it. Returns the work's
// result and whether it was interrupted.
template <class Work>
auto run_watched(const Work& work, const std::function<bool()>& interrupted,
                 std::chrono::milliseconds period) {
  std::atomic<bool> stop{false};
  const Control control{.progress = {}, .stop = &stop};
  using Result = decltype(work(control));
  std::future<Result> done;
  // the work's threads (and the workers they start) keep SIGINT and SIGTERM blocked, so that the
  // host's handler runs on this thread, the one that asks interrupted()
  sigset_t host_signals, blocked;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGINT);
  sigaddset(&blocked, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &blocked, &host_signals);
  try {
    done = std::async(std::launch::async, [&] { return work(control); });
  } catch (const std::system_error&) {
    pthread_sigmask(SIG_SETMASK, &host_signals, nullptr);
    return std::pair<Result, bool>(work(control), false);
  }
  pthread_sigmask(SIG_SETMASK, &host_signals, nullptr);
  while (done.wait_for(period) != std::future_status::ready)
    if (!stop && interrupted()) stop = true;
  return std::pair<Result, bool>(done.get(), stop.load());
}

}  // namespace trov::api
