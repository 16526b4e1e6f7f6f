#include "tracker/usage_tracker.h"

#include <mutex>

#include "platform/debug_output.h"
#include "sdk/sdk.h"
#include "tracker/usage_tracker_impl.h"
#include "tracker/usage_tracker_wrapper.h"

namespace usage {
namespace lumora {

namespace {

// The process-wide tracker. A tracker still held at process exit is
// destroyed here (with its final upload), so everything it uses then must
// outlive this holder: function-level statics are destroyed in the reverse
// order of their construction, and the constructor builds those first.
struct Holder {
  Holder() {
    event_sdk::Sdk::IsInitialized();
    platform::WriteDebugOutput(std::string());
  }
  std::mutex mutex;
  std::shared_ptr<UsageTracker> tracker;  // guarded by mutex
};

Holder& GetHolder() {
  static Holder holder;
  return holder;
}

}  // namespace

void createTracker(const TrackerSettings& settings) {
  // The earlier tracker goes first: it closes the SDK instance on release,
  // which the new tracker would otherwise share and lose.
  releaseTracker();
  try {
    auto impl = std::make_unique<UsageTrackerImpl>(settings);
    try {
      impl->init();
    } catch (...) {
      // A tracker whose initialisation failed is still installed; its
      // events are dropped by the SDK.
    }
    auto wrapper = std::make_shared<UsageTrackerWrapper>(std::move(impl));
    Holder& holder = GetHolder();
    std::lock_guard<std::mutex> lock(holder.mutex);
    holder.tracker = std::move(wrapper);
  } catch (...) {
  }
}

void releaseTracker() {
  std::shared_ptr<UsageTracker> released;
  {
    Holder& holder = GetHolder();
    std::lock_guard<std::mutex> lock(holder.mutex);
    released = std::move(holder.tracker);
    holder.tracker.reset();
  }
  // Destroyed outside the lock (the final upload may take a while), here
  // unless a report still holds it.
  released.reset();
}

std::shared_ptr<UsageTracker> getTracker() {
  Holder& holder = GetHolder();
  std::lock_guard<std::mutex> lock(holder.mutex);
  return holder.tracker;
}

}  // namespace lumora
}  // namespace usage
