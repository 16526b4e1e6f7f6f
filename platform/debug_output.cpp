#include "platform/debug_output.h"

#include <errno.h>
#include <unistd.h>

#include <memory>
#include <mutex>

namespace platform {
namespace {

std::mutex& HookMutex() {
  static std::mutex mutex;
  return mutex;
}

std::shared_ptr<DebugOutputHook>& HookSlot() {
  static std::shared_ptr<DebugOutputHook> hook;
  return hook;
}

}  // namespace

void WriteDebugOutput(const std::string& record) {
  std::shared_ptr<DebugOutputHook> hook;
  {
    std::lock_guard<std::mutex> lock(HookMutex());
    hook = HookSlot();
  }
  if (hook && *hook) {
    (*hook)(record);
    return;
  }
  // One write per record so that records of different threads never mix; a
  // short write (pipe full, signal) continues where it stopped.
  const char* data = record.data();
  size_t left = record.size();
  while (left > 0) {
    ssize_t n = write(STDERR_FILENO, data, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;
    }
    data += n;
    left -= static_cast<size_t>(n);
  }
}

void SetDebugOutputHook(DebugOutputHook hook) {
  std::shared_ptr<DebugOutputHook> next;
  if (hook) next = std::make_shared<DebugOutputHook>(std::move(hook));
  std::lock_guard<std::mutex> lock(HookMutex());
  HookSlot() = std::move(next);
}

}  // namespace platform
