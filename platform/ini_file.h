// INI files with the semantics the installer relies on: section and key names
// case-insensitive; a missing file or key gives the caller's default; values
// trimmed of surrounding blanks; a read into an n-character buffer keeps at
// most n-1 characters; the Int form reads leading decimal digits (0 otherwise);
// a write keeps every other line and comment, creates file and section when
// missing, and replaces the file atomically (temporary file, fsync, rename)
// under an advisory lock. Files are UTF-8.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

std::wstring ReadIniString(const std::wstring& path, const std::wstring& section,
                           const std::wstring& key, const std::wstring& fallback,
                           size_t bufferChars = 260);
int ReadIniInt(const std::wstring& path, const std::wstring& section, const std::wstring& key,
               int fallback);
// True when the file was written.
bool WriteIniString(const std::wstring& path, const std::wstring& section, const std::wstring& key,
                    const std::wstring& value);

}  // namespace platform
