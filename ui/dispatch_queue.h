// A queue of work for the UI thread's GLib main context. Any thread may
// post; the work runs on the UI thread in posting order. After Close()
// posts are refused and queued work is dropped. Internal to the toolkit.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace qui {

class DispatchQueue : public std::enable_shared_from_this<DispatchQueue> {
 public:
  static std::shared_ptr<DispatchQueue> Create();
  ~DispatchQueue();

  // False when closed.
  bool Post(std::function<void()> work);
  void Close();
  bool IsClosed() const;

 private:
  DispatchQueue() = default;
  static int OnIdle(void* data);
  void ScheduleLocked();
  void RunOne();

  mutable std::mutex mutex_;
  std::deque<std::function<void()>> work_;
  bool closed_ = false;
  bool scheduled_ = false;
};

}  // namespace qui
