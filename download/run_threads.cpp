#include "download/run_threads.h"

namespace download_internal {

bool RunThreads::Launch(std::function<void()> work) {
  const auto self = std::this_thread::get_id();
  std::vector<std::unique_ptr<Run>> finished;
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return false;
    for (auto it = runs_.begin(); it != runs_.end();) {
      if ((*it)->id != self) {
        finished.push_back(std::move(*it));
        it = runs_.erase(it);
      } else {
        ++it;
      }
    }
  }
  // Joined outside the lock: a run that is ending may still take it.
  for (auto& run : finished) run->thread->Join();
  finished.clear();

  auto run = std::make_unique<Run>();
  Run* raw = run.get();
  run->thread = std::make_unique<Utils::Thread>(nullptr, kWorkerThreadName,
                                                [this, raw, work = std::move(work)](void*) {
                                                  {
                                                    std::lock_guard lock(mutex_);
                                                    raw->id = std::this_thread::get_id();
                                                  }
                                                  work();
                                                });
  {
    std::lock_guard lock(mutex_);
    runs_.push_back(std::move(run));
  }
  return raw->thread->Start();
}

void RunThreads::StopAndJoin() {
  std::vector<std::unique_ptr<Run>> runs;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    runs.swap(runs_);
  }
  wake_.notify_all();
  for (auto& run : runs) run->thread->Join();
}

bool RunThreads::Stopping() const {
  std::lock_guard lock(mutex_);
  return stopping_;
}

bool RunThreads::SleepFor(std::chrono::milliseconds duration) {
  std::unique_lock lock(mutex_);
  return !wake_.wait_for(lock, duration, [this] { return stopping_; });
}

}  // namespace download_internal
