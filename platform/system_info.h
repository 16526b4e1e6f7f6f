// Facts about the machine and its accounts. Internal to the platform layer
// and utils. Every function reports failure by its result.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// "ID VERSION_ID" from /etc/os-release (or `osReleasePath`), the kernel
// release when the file or both keys are missing.
std::wstring OsVersionText(const std::string& osReleasePath = "/etc/os-release");
// True for a 32-bit process on a 64-bit kernel.
bool Is32BitProcessOn64BitKernel();

// statvfs of the nearest existing ancestor of `path`. On failure false and
// *error the errno.
struct DiskSpace {
  uint64_t freeToCaller = 0;
  uint64_t total = 0;
  uint64_t totalFree = 0;
};
bool QueryDiskSpace(const std::wstring& path, DiskSpace* space, int* error);

// Effective uid 0.
bool IsRoot();
// The account is uid 0 or a member of group sudo, wheel or admin.
bool IsAdminAccount(const std::wstring& userName);
// The user of the active seat (logind's /run/systemd/seats/seat0), else
// $SUDO_USER, else the process's own account. False when none is known.
bool ActiveSeatUserName(std::wstring* userName);

// getrandom(2); false when the kernel cannot supply the bytes.
bool FillRandom(void* buffer, size_t size);

}  // namespace platform
