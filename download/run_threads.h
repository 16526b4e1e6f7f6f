// The worker threads of one downloader: each run gets a new Utils::Thread
// named "ABDEF". Internal to the download folder.
//
// Launch() may be called from any thread, including a run's own thread from
// inside one of its events (the owner's restart after DL_CODE_RETRY): it then
// does not wait for that thread, which is joined by a later Launch() from
// another thread or by StopAndJoin(). Every other earlier run is joined before
// the new one starts.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "utils/thread.h"

namespace download_internal {

inline constexpr wchar_t kWorkerThreadName[] = L"ABDEF";

class RunThreads {
 public:
  RunThreads() = default;
  ~RunThreads() { StopAndJoin(); }
  RunThreads(const RunThreads&) = delete;
  RunThreads& operator=(const RunThreads&) = delete;

  // Starts `work` on a new thread. False when the thread cannot be created or
  // StopAndJoin() has begun (the work then never runs).
  bool Launch(std::function<void()> work);

  // Sets the stop flag, wakes every SleepFor(), and joins every run. Must not
  // be called from a run's own thread.
  void StopAndJoin();

  bool Stopping() const;

  // Waits up to `duration`; false (at once) when stopping.
  bool SleepFor(std::chrono::milliseconds duration);

 private:
  struct Run {
    std::unique_ptr<Utils::Thread> thread;
    std::thread::id id;  // set by the run itself before its work starts
  };

  mutable std::mutex mutex_;  // guards everything below
  std::condition_variable wake_;
  bool stopping_ = false;
  std::vector<std::unique_ptr<Run>> runs_;
};

}  // namespace download_internal
