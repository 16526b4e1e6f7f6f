// Worker thread wrapper: created behind a start gate (the work does not run
// before Start()), named for debuggers, joined by its owner.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace Utils {

class Thread {
 public:
  using Work = std::function<void(void*)>;

  // Creates the thread suspended and names it (`name` in the locale charset,
  // cut to 15 bytes; empty gives "t<id>"). The work does not run yet.
  Thread(void* argument, const std::wstring& name, Work work);
  // Waits without limit for the thread (starting it first if it never started,
  // so that it can end without running the work).
  ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Lets the work run. True unless the thread could not be created.
  bool Start();
  // Waits without limit for the work to end; the id becomes 0xFFFFFFFF.
  void Join();

  uint32_t Id() const { return id_; }
  const std::wstring& Name() const { return name_; }

 private:
  void CallBack();

  void* argument_;
  std::wstring name_;
  Work work_;
  uint32_t id_ = 0xFFFFFFFF;
  std::thread thread_;
  std::mutex gateMutex_;
  std::condition_variable gate_;
  enum class Gate { kClosed, kRun, kSkip } gateState_ = Gate::kClosed;
};

}  // namespace Utils
