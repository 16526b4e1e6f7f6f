// Paths and well-known folders on Linux. Paths are "/"-separated wide texts
// (UTF-8 on disk); file names keep the spelling the installer uses.
#pragma once

#include <string>

namespace platform {

// Joins with exactly one "/" between the parts ("a/" + "/b" -> "a/b");
// an empty part yields the other unchanged.
std::wstring JoinPath(const std::wstring& a, const std::wstring& b);
// Folder part ("/x/y/z.ini" -> "/x/y"), file part ("z.ini").
std::wstring DirName(const std::wstring& path);
std::wstring BaseName(const std::wstring& path);

// Narrow (UTF-8) form of a path for system calls, and back.
std::string NativePath(const std::wstring& path);
std::wstring FromNativePath(const std::string& path);

bool PathExists(const std::wstring& path);
bool IsDirectory(const std::wstring& path);
bool IsRegularFile(const std::wstring& path);

// /proc/self/exe, and its folder.
std::wstring ExecutablePath();
std::wstring ExecutableDir();

// The per-user temporary folder: $XDG_RUNTIME_DIR, else $TMPDIR, else /tmp.
std::wstring PerUserTempDir();

// Stand-ins for the special folders:
//  kAppData           $APPDATA when set, else $XDG_DATA_HOME
//  kLocalAppData      $XDG_DATA_HOME (default ~/.local/share)
//  kCommonDocuments   $XDG_DATA_HOME
//  kProgramFiles(X86) /opt for uid 0, else $XDG_DATA_HOME
//  kConfig            $XDG_CONFIG_HOME (default ~/.config)
//  kDesktopEntries    $XDG_DATA_HOME/applications
enum class SpecialFolder {
  kAppData,
  kLocalAppData,
  kCommonDocuments,
  kProgramFiles,
  kProgramFilesX86,
  kConfig,
  kDesktopEntries,
};
// Empty when the home folder cannot be found.
std::wstring GetSpecialFolder(SpecialFolder folder);

// The environment variable as UTF-8 text, or empty.
std::string GetEnv(const char* name);

}  // namespace platform
