// The per-user record store standing in for HKEY_CURRENT_USER keys. A key such
// as "Software\LumoraSoft\Quillon" maps to the file
// $XDG_CONFIG_HOME/LumoraSoft/Quillon/registry (the first "Software" segment is
// dropped). Any text without NUL round-trips (escaped on disk). Writes replace
// the file atomically under an advisory lock.
#pragma once

#include <string>

namespace platform {

bool WriteUserValue(const std::wstring& key, const std::wstring& name, const std::wstring& value);
bool ReadUserValue(const std::wstring& key, const std::wstring& name, std::wstring* value);
bool DeleteUserValue(const std::wstring& key, const std::wstring& name);
// The file backing a key (for tests and documentation).
std::wstring UserStorePath(const std::wstring& key);

}  // namespace platform
