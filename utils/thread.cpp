#include "utils/thread.h"

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <exception>
#include <system_error>

#include "utils/log.h"
#include "utils/text.h"

namespace Utils {
namespace {

// pthread names hold 15 bytes; cut at a character boundary so the name stays
// valid text in its charset (UTF-8 continuation bytes are 10xxxxxx).
std::string ThreadNameFor(const std::wstring& name, uint32_t id) {
  std::string narrow;
  if (name.empty()) {
    narrow.push_back('t');
    narrow.append(std::to_string(id));
  } else {
    narrow = WideToMultiByte(name, kCodePageAnsi);
  }
  if (narrow.size() > 15) {
    size_t cut = 15;
    while (cut > 0 && (static_cast<unsigned char>(narrow[cut]) & 0xC0) == 0x80) --cut;
    narrow.resize(cut);
  }
  return narrow;
}

}  // namespace

Thread::Thread(void* argument, const std::wstring& name, Work work)
    : argument_(argument), name_(name), work_(std::move(work)) {
  try {
    thread_ = std::thread([this] {
      {
        std::lock_guard<std::mutex> lock(gateMutex_);
        id_ = static_cast<uint32_t>(syscall(SYS_gettid));
      }
      gate_.notify_all();
      CallBack();
    });
  } catch (const std::system_error&) {
    return;  // no thread: Start() reports false and the work never runs
  }
  {
    std::unique_lock<std::mutex> lock(gateMutex_);
    gate_.wait(lock, [this] { return id_ != 0xFFFFFFFF; });
  }
  std::string threadName = ThreadNameFor(name_, id_);
  if (!threadName.empty()) pthread_setname_np(thread_.native_handle(), threadName.c_str());
}

Thread::~Thread() {
  Join();
  name_.clear();
  work_ = nullptr;
}

bool Thread::Start() {
  if (!thread_.joinable()) return false;
  {
    std::lock_guard<std::mutex> lock(gateMutex_);
    if (gateState_ == Gate::kClosed) gateState_ = Gate::kRun;
  }
  gate_.notify_all();
  return true;
}

void Thread::Join() {
  if (!thread_.joinable()) return;
  {
    // A thread that was never started ends without running the work.
    std::lock_guard<std::mutex> lock(gateMutex_);
    if (gateState_ == Gate::kClosed) gateState_ = Gate::kSkip;
  }
  gate_.notify_all();
  thread_.join();
  id_ = 0xFFFFFFFF;
}

void Thread::CallBack() {
  {
    std::unique_lock<std::mutex> lock(gateMutex_);
    gate_.wait(lock, [this] { return gateState_ != Gate::kClosed; });
    if (gateState_ == Gate::kSkip) return;
  }
  QLOG(L"THREAD BEGIN\r\n");
  if (work_) {
    try {
      work_(argument_);
    } catch (const std::exception& e) {
      // An escaping exception would end the whole installer.
      QLOG(L"THREAD EXCEPTION %s\r\n", e.what());
    } catch (...) {
      QLOG(L"THREAD EXCEPTION\r\n");
    }
  }
  QLOG(L"THREAD END\r\n");
}

}  // namespace Utils
