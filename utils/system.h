// Machine facts and small services: GUIDs, network state, disk space,
// the product's per-user record store ("registry"), a stopwatch.
#pragma once

#include <cstdint>
#include <string>

namespace Utils {

// A new random (version 4) GUID as 32 hex characters, formatted
// "%08X%04X%04x%02X%02X%02X%02X%02X%02X%02X%02X" (only the third group lower case).
std::wstring CreateGuidText();

// Connectivity: flags in the low 16 bits, status in the high 16 bits
// (0 connected to the internet, 1 no network, 2 network without full
// connectivity). Exactly 0 when no network monitor is available.
// Low-half flags: kNetFlagAvailable | kNetFlagInternet.
constexpr uint32_t kNetFlagAvailable = 0x1;
constexpr uint32_t kNetFlagInternet = 0x40;
uint32_t CheckNetwork();

// Seconds since Start() as float, from a 32-bit millisecond tick; the unsigned
// difference keeps it right across the tick wrap. One thread at a time.
class Stopwatch {
 public:
  void Start();
  void Stop() { running_ = false; }
  bool IsRunning() const { return running_; }
  float Elapsed() const;

  // Test hooks: the tick source is replaceable so the wrap can be exercised.
  static uint32_t TickCount();
  void StartAtTickForTesting(uint32_t tick) {
    start_ = tick;
    running_ = true;
  }
  float ElapsedAtTickForTesting(uint32_t now) const;

 private:
  uint32_t start_ = 0;
  bool running_ = false;
};

// Free space of the volume holding a path (statvfs of its nearest existing
// ancestor). All three results stay 0 until a query succeeds.
class HardDiskManager {
 public:
  virtual ~HardDiskManager() = default;
  // True and the results filled; false (and a diagnostic record) on failure.
  bool CheckFreeSpace(const std::wstring& path);
  uint64_t FreeBytesAvailable() const { return freeToCaller_; }
  uint64_t TotalBytes() const { return total_; }
  uint64_t TotalFreeBytes() const { return totalFree_; }

 private:
  uint64_t freeToCaller_ = 0;
  uint64_t total_ = 0;
  uint64_t totalFree_ = 0;
};

// The product's record store "Software\LumoraSoft\Quillon" (per user, under
// $XDG_CONFIG_HOME; see platform/user_store.h). Texts of any content but NUL
// round-trip. Writes replace the store atomically under a lock.
constexpr uint32_t kRegSz = 1;  // the only type this store writes
bool WriteRegistryString(const std::wstring& name, const std::wstring& value);
// True and `*type` (kRegSz) and `*value` filled when the value exists.
bool ReadRegistryString(const std::wstring& name, uint32_t* type, std::wstring* value);

}  // namespace Utils
