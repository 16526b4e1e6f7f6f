// The tracker's mutable state: the identity kept in its INI file between
// runs, its files, and the count of upload requests not yet served.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace usage {
namespace lumora {

struct TrackerState {
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
