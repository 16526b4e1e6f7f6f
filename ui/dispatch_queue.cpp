#include "ui/dispatch_queue.h"

#include <glib.h>

#include <utility>

namespace qui {

std::shared_ptr<DispatchQueue> DispatchQueue::Create() {
  return std::shared_ptr<DispatchQueue>(new DispatchQueue());
}

DispatchQueue::~DispatchQueue() = default;

bool DispatchQueue::Post(std::function<void()> work) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (closed_) return false;
  work_.push_back(std::move(work));
  if (!scheduled_) ScheduleLocked();
  return true;
}

void DispatchQueue::ScheduleLocked() {
  scheduled_ = true;
  // The idle source keeps the queue alive until it has run; attaching a
  // source to a context is safe from any thread.
  GSource* source = g_idle_source_new();
  g_source_set_priority(source, G_PRIORITY_DEFAULT);
  auto* self = new std::shared_ptr<DispatchQueue>(shared_from_this());
  g_source_set_callback(
      source, reinterpret_cast<GSourceFunc>(&DispatchQueue::OnIdle), self,
      [](gpointer data) { delete static_cast<std::shared_ptr<DispatchQueue>*>(data); });
  g_source_attach(source, g_main_context_default());
  g_source_unref(source);
}

int DispatchQueue::OnIdle(void* data) {
  auto* self = static_cast<std::shared_ptr<DispatchQueue>*>(data);
  (*self)->RunOne();
  return G_SOURCE_REMOVE;
}

void DispatchQueue::RunOne() {
  // One item per dispatch, and the next dispatch scheduled before the item
  // runs: an item that runs a nested loop (a modal prompt) must not keep the
  // items behind it, or later posts, from being handled inside that loop.
  std::function<void()> work;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    scheduled_ = false;
    if (closed_ || work_.empty()) return;
    work = std::move(work_.front());
    work_.pop_front();
    if (!work_.empty()) ScheduleLocked();
  }
  work();
}

void DispatchQueue::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  closed_ = true;
  work_.clear();
}

bool DispatchQueue::IsClosed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return closed_;
}

}  // namespace qui
