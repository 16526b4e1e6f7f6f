#include "utils/system.h"

#include <time.h>

#include <cwchar>

#include "platform/network.h"
#include "platform/system_info.h"
#include "platform/user_store.h"
#include "utils/log.h"

namespace Utils {
namespace {
constexpr wchar_t kProductKey[] = L"Software\\LumoraSoft\\Quillon";
}  // namespace

std::wstring CreateGuidText() {
  unsigned char b[16];
  if (!platform::FillRandom(b, sizeof(b))) return L"";
  b[6] = static_cast<unsigned char>((b[6] & 0x0F) | 0x40);  // version 4
  b[8] = static_cast<unsigned char>((b[8] & 0x3F) | 0x80);  // RFC 4122 variant
  unsigned long data1 = (static_cast<unsigned long>(b[0]) << 24) |
                        (static_cast<unsigned long>(b[1]) << 16) |
                        (static_cast<unsigned long>(b[2]) << 8) | b[3];
  unsigned data2 = (static_cast<unsigned>(b[4]) << 8) | b[5];
  unsigned data3 = (static_cast<unsigned>(b[6]) << 8) | b[7];
  wchar_t text[40];
  swprintf(text, sizeof(text) / sizeof(text[0]), L"%08lX%04X%04x%02X%02X%02X%02X%02X%02X%02X%02X",
           data1, data2, data3, b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
  return text;
}

uint32_t CheckNetwork() {
  platform::NetworkState state;
  if (!platform::QueryNetworkState(&state)) return 0;
  uint32_t flags = 0;
  if (state.networkAvailable) flags |= kNetFlagAvailable;
  if (state.connectivity == platform::Connectivity::kFull) flags |= kNetFlagInternet;
  uint32_t status = 0;
  if (flags == 0) {
    QLOG(L"GetConnectivity %d", static_cast<int>(flags));
    status = 1;
  } else if (state.connectivity != platform::Connectivity::kFull) {
    QLOG(L"get_IsConnectedToInternet:%d", 0);
    status = 2;
  }
  return flags | (status << 16);
}

uint32_t Stopwatch::TickCount() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  uint64_t ms =
      static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);  // wraps like a 32-bit tick count
}

void Stopwatch::Start() {
  start_ = TickCount();
  running_ = true;
}

float Stopwatch::Elapsed() const { return ElapsedAtTickForTesting(TickCount()); }

float Stopwatch::ElapsedAtTickForTesting(uint32_t now) const {
  if (!running_) return 0.0f;
  uint32_t difference = now - start_;  // unsigned: right across the wrap
  return static_cast<float>(difference) / 1000.0f;
}

bool HardDiskManager::CheckFreeSpace(const std::wstring& path) {
  platform::DiskSpace space;
  int error = 0;
  if (!platform::QueryDiskSpace(path, &space, &error)) {
    QLOG(L"HardDiskManager::CheckFreeSpace FAIL code=%ld\r\n", static_cast<long>(error));
    return false;
  }
  freeToCaller_ = space.freeToCaller;
  total_ = space.total;
  totalFree_ = space.totalFree;
  return true;
}

bool WriteRegistryString(const std::wstring& name, const std::wstring& value) {
  return platform::WriteUserValue(kProductKey, name, value);
}

bool ReadRegistryString(const std::wstring& name, uint32_t* type, std::wstring* value) {
  std::wstring text;
  if (!platform::ReadUserValue(kProductKey, name, &text)) return false;
  if (type) *type = kRegSz;
  if (value) *value = text;
  return true;
}

}  // namespace Utils
