#include "platform/paths.h"

#include <limits.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "platform/text_codec.h"

namespace platform {

std::wstring JoinPath(const std::wstring& a, const std::wstring& b) {
  if (a.empty()) return b;
  if (b.empty()) return a;
  size_t end = a.size();
  while (end > 1 && a[end - 1] == L'/') --end;
  size_t start = 0;
  while (start < b.size() && b[start] == L'/') ++start;
  std::wstring head = a.substr(0, end);
  if (head == L"/") return head + b.substr(start);
  return head + L"/" + b.substr(start);
}

std::wstring DirName(const std::wstring& path) {
  size_t slash = path.find_last_of(L'/');
  if (slash == std::wstring::npos) return L"";
  if (slash == 0) return L"/";
  return path.substr(0, slash);
}

std::wstring BaseName(const std::wstring& path) {
  size_t slash = path.find_last_of(L'/');
  if (slash == std::wstring::npos) return path;
  return path.substr(slash + 1);
}

std::string NativePath(const std::wstring& path) { return WideToUtf8(path); }

std::wstring FromNativePath(const std::string& path) {
  std::wstring wide;
  if (NarrowToWide(path, "UTF-8", &wide)) return wide;
  // A name that is not UTF-8 on disk: read it in the locale's charset.
  NarrowToWide(path, LocaleCharset(), &wide);
  return wide;
}

bool PathExists(const std::wstring& path) {
  struct stat st;
  return !path.empty() && stat(NativePath(path).c_str(), &st) == 0;
}

bool IsDirectory(const std::wstring& path) {
  struct stat st;
  return !path.empty() && stat(NativePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRegularFile(const std::wstring& path) {
  struct stat st;
  return !path.empty() && stat(NativePath(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::wstring ExecutablePath() {
  std::vector<char> buffer(PATH_MAX + 1);
  ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (n <= 0) return L"";
  return FromNativePath(std::string(buffer.data(), static_cast<size_t>(n)));
}

std::wstring ExecutableDir() { return DirName(ExecutablePath()); }

std::string GetEnv(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

std::wstring PerUserTempDir() {
  for (const char* name : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
    std::string value = GetEnv(name);
    if (!value.empty()) return FromNativePath(value);
  }
  return L"/tmp";
}

namespace {

std::wstring HomeDir() {
  std::string home = GetEnv("HOME");
  if (!home.empty()) return FromNativePath(home);
  struct passwd pw;
  struct passwd* result = nullptr;
  std::vector<char> buffer(16384);
  if (getpwuid_r(geteuid(), &pw, buffer.data(), buffer.size(), &result) == 0 && result &&
      result->pw_dir) {
    return FromNativePath(result->pw_dir);
  }
  return L"";
}

std::wstring XdgDir(const char* variable, const wchar_t* homeRelative) {
  std::string value = GetEnv(variable);
  // XDG base folders must be absolute; a relative value is ignored.
  if (!value.empty() && value[0] == '/') return FromNativePath(value);
  std::wstring home = HomeDir();
  if (home.empty()) return L"";
  return JoinPath(home, homeRelative);
}

}  // namespace

std::wstring GetSpecialFolder(SpecialFolder folder) {
  switch (folder) {
    case SpecialFolder::kAppData: {
      std::string appData = GetEnv("APPDATA");
      if (!appData.empty()) return FromNativePath(appData);
      return XdgDir("XDG_DATA_HOME", L".local/share");
    }
    case SpecialFolder::kLocalAppData:
    case SpecialFolder::kCommonDocuments:
      return XdgDir("XDG_DATA_HOME", L".local/share");
    case SpecialFolder::kProgramFiles:
    case SpecialFolder::kProgramFilesX86:
      if (geteuid() == 0) return L"/opt";
      return XdgDir("XDG_DATA_HOME", L".local/share");
    case SpecialFolder::kConfig:
      return XdgDir("XDG_CONFIG_HOME", L".config");
    case SpecialFolder::kDesktopEntries: {
      std::wstring data = XdgDir("XDG_DATA_HOME", L".local/share");
      return data.empty() ? data : JoinPath(data, L"applications");
    }
  }
  return L"";
}

}  // namespace platform
