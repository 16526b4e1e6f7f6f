// Files and folders the installer needs.
#pragma once

#include <string>

namespace Utils {

// The installer's private work folder, "~LumoraTemp.92482B06FB471E17" under the
// per-user temporary folder (platform::PerUserTempDir()), created with mode
// 0700 when missing. Returns the folder path ending in "/", or the empty text
// when it cannot be created, is a symlink, or belongs to another user.
std::wstring GetTempWorkDir();

// Creates every missing folder of `path` (separators "/"). True when the whole
// tree exists afterwards. Paths longer than 260 characters fail at once.
bool CreateDirectoryTree(const std::wstring& path);

// MD5 of the file's bytes as 32 lower-case hex digits; empty for an empty path
// or a file that cannot be read. `path` is a narrow path in the locale charset.
std::string GetFileMd5(const std::string& path);

}  // namespace Utils
