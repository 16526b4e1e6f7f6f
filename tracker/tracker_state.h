// The tracker's mutable state: the identity kept in its INI file between
// runs, its files, and the count of upload requests not yet served.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace usage {
namespace lumora {

struct TrackerState {
  TrackerState() = default;
  // Copies carry the value of `pending` at the time of the copy.
  TrackerState(const TrackerState& other) { *this = other; }
  TrackerState& operator=(const TrackerState& other) {
    if (this == &other) return *this;
    isLogined = other.isLogined;
    userId = other.userId;
    distinctId = other.distinctId;
    primaryDistinctId = other.primaryDistinctId;
    vipLevel = other.vipLevel;
    storedUrl = other.storedUrl;
    logFile = other.logFile;
    locale = other.locale;
    dataFolder = other.dataFolder;
    iniPath = other.iniPath;
    pending.store(other.pending.load());
    return *this;
  }

  // Identity, saved in the INI file's "Base" section.
  bool isLogined = false;         // the current distinct id is a login id
  std::string userId;             // empty when nobody is signed in
  std::string distinctId;         // identity sent with events
  std::string primaryDistinctId;  // the device's own identity
  int32_t vipLevel = 0;
  std::string storedUrl;  // server URL the stored identity belongs to

  std::string logFile;
  std::string locale;  // set by setLocale; empty by default
  std::string dataFolder;
  std::string iniPath;

  // Upload requests not yet served; only greater than 0 matters.
  std::atomic<int32_t> pending{0};
};

}  // namespace lumora
}  // namespace usage
