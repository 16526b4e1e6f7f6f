#include "tracker/device_info.h"

#include <gdk/gdk.h>
#include <sys/random.h>
#include <sys/utsname.h>

#include <cstdio>
#include <mutex>
#include <random>

#include "platform/ini_file.h"
#include "platform/paths.h"
#include "utils/command_line.h"
#include "utils/files.h"
#include "utils/text.h"

namespace usage {
namespace lumora {
namespace device {

namespace {

constexpr int kRandomRetries = 10;
constexpr size_t kIniValueChars = 128;  // a read keeps at most 127 characters

std::wstring Wide(const std::string& text) {
  return Utils::MultiByteToWide(text, Utils::kCodePageUtf8);
}
std::string Narrow(const std::wstring& text) {
  return Utils::WideToMultiByte(text, Utils::kCodePageUtf8);
}

std::mutex gTestHooksMutex;
RandomSource gRandomSource;   // guarded by gTestHooksMutex
std::string gRedirectFolder;  // guarded by gTestHooksMutex

bool FillRandom(void* buffer, size_t size) {
  {
    std::lock_guard<std::mutex> lock(gTestHooksMutex);
    if (gRandomSource) return gRandomSource(buffer, size);
  }
  auto* bytes = static_cast<unsigned char*>(buffer);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = getrandom(bytes + done, size - done, 0);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

std::string MachineName() {
  struct utsname u {};
  if (uname(&u) != 0) return std::string();
  return u.machine;
}

std::string ReadIni(const std::string& path, const char* section, const char* key) {
  return Narrow(platform::ReadIniString(Wide(path), Wide(section), Wide(key), L"", kIniValueChars));
}

void WriteIni(const std::string& path, const char* section, const char* key,
              const std::string& value) {
  platform::WriteIniString(Wide(path), Wide(section), Wide(key), Wide(value));
}

}  // namespace

SystemName GetSystemName() {
  std::wstring family, version;
  Utils::GetOsName(&family, &version);
  return SystemName{Narrow(family), Narrow(version)};
}

std::string GetUserAgent() {
  const SystemName system = GetSystemName();
  return "Mozilla/5.0(" + system.name + " " + system.version + "; " + MachineName() + ";)";
}

LocaleInfo ParseLocaleText(const std::string& text) {
  LocaleInfo info;
  std::string base = text.substr(0, text.find_first_of(".@"));
  if (base.empty() || base == "C" || base == "POSIX") return info;
  const size_t underscore = base.find('_');
  info.language = base.substr(0, underscore);
  if (underscore != std::string::npos) info.country = base.substr(underscore + 1);
  info.locale = info.country.empty() ? info.language : info.language + "_" + info.country;
  return info;
}

LocaleInfo GetLocale(const std::string& storedLocale) {
  const size_t underscore = storedLocale.find('_');
  if (underscore != std::string::npos && underscore > 0) {
    return LocaleInfo{storedLocale, storedLocale.substr(0, underscore),
                      storedLocale.substr(underscore + 1)};
  }
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const std::string value = platform::GetEnv(name);
    if (!value.empty()) return ParseLocaleText(value);
  }
  return LocaleInfo{};
}

void GetScreenSize(int32_t* width, int32_t* height) {
  *width = 0;
  *height = 0;
  // Only a display this process already opened counts; none is opened here.
  GdkDisplay* display = gdk_display_get_default();
  if (display == nullptr) return;
  GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
  if (monitor == nullptr && gdk_display_get_n_monitors(display) > 0) {
    monitor = gdk_display_get_monitor(display, 0);
  }
  if (monitor == nullptr) return;
  GdkRectangle area{};
  gdk_monitor_get_geometry(monitor, &area);
  const int scale = gdk_monitor_get_scale_factor(monitor);
  *width = area.width * scale;
  *height = area.height * scale;
}

void SetRandomSourceForTesting(RandomSource source) {
  std::lock_guard<std::mutex> lock(gTestHooksMutex);
  gRandomSource = std::move(source);
}

std::string FallbackDistinctId() {
  static std::mutex mutex;
  static std::mt19937 generator;  // standard seed 5489
  std::uniform_int_distribution<uint32_t> draw(0, 2147483646);
  uint32_t places[8];
  {
    std::lock_guard<std::mutex> lock(mutex);
    for (int i = 7; i >= 0; --i) places[i] = draw(generator);
  }
  places[3] = (places[3] & 0xFFF) | 0x4000;
  places[4] = places[4] % 0x3FFF + 0x8000;
  char text[96];
  std::snprintf(text, sizeof text, "%x%x-%x-%x-%x-%x%x%x", places[0], places[1], places[2],
                places[3], places[4], places[5], places[6], places[7]);
  return text;
}

std::string NewDistinctId() {
  unsigned char g[16];
  bool ok = FillRandom(g, sizeof g);
  for (int retry = 0; !ok && retry < kRandomRetries; ++retry) ok = FillRandom(g, sizeof g);
  if (!ok) return FallbackDistinctId();
  g[6] = static_cast<unsigned char>((g[6] & 0x0F) | 0x40);  // version 4
  g[8] = static_cast<unsigned char>((g[8] & 0x3F) | 0x80);  // RFC 4122 variant
  const unsigned data1 =
      (unsigned{g[0]} << 24) | (unsigned{g[1]} << 16) | (unsigned{g[2]} << 8) | g[3];
  const unsigned data2 = (unsigned{g[4]} << 8) | g[5];
  const unsigned data3 = (unsigned{g[6]} << 8) | g[7];
  char text[48];
  std::snprintf(text, sizeof text, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", data1, data2,
                data3, g[8], g[9], g[10], g[11], g[12], g[13], g[14], g[15]);
  return text;
}

void SetRedirectFolderForTesting(const std::string& folder) {
  std::lock_guard<std::mutex> lock(gTestHooksMutex);
  gRedirectFolder = folder;
}

bool CreateFolderTree(const std::string& path) {
  if (path.empty()) return false;
  return Utils::CreateDirectoryTree(Wide(path));
}

TrackerPaths ResolvePaths(const std::string& appName) {
  TrackerPaths paths;
  std::string redirectFolder;
  {
    std::lock_guard<std::mutex> lock(gTestHooksMutex);
    redirectFolder = gRedirectFolder;
  }
  if (redirectFolder.empty()) redirectFolder = Narrow(platform::ExecutableDir());
  const std::string redirect = redirectFolder + "/Set.ini";
  if (platform::IsRegularFile(Wide(redirect))) {
    std::string target = ReadIni(redirect, "Install", "LMAnalyticsIni");
    for (char& c : target) {
      if (c == '\\') c = '/';
    }
    const size_t slash = target.rfind('/');
    if (slash != std::string::npos) {
      paths.iniPath = target;
      paths.dataFolder = target.substr(0, slash + 1);
      CreateFolderTree(paths.dataFolder);
      return paths;
    }
  }
  const std::string special =
      Narrow(platform::GetSpecialFolder(platform::SpecialFolder::kLocalAppData));
  if (special.empty()) return paths;
  paths.dataFolder = special + (special.back() == '/' ? "" : "/") + "LMLocal/" + appName + "/";
  paths.iniPath = paths.dataFolder + appName + "_LMSConfigure.ini";
  CreateFolderTree(paths.dataFolder);
  return paths;
}

std::string DefaultLogPath(const std::string& dataFolder, const std::string& appName) {
  return dataFolder + appName + "_LMSLog.txt";
}

std::string StagingFilePath(const std::string& dataFolder, const std::string& appName) {
  return dataFolder + appName + "_LMSEvents.txt";
}

void LoadIdentity(const std::string& iniPath, TrackerState* state) {
  state->userId.clear();
  state->distinctId.clear();
  state->primaryDistinctId.clear();
  state->storedUrl.clear();
  state->isLogined = false;
  if (platform::IsRegularFile(Wide(iniPath))) {
    state->distinctId = ReadIni(iniPath, "Base", "DistinctId");
    state->primaryDistinctId = ReadIni(iniPath, "Base", "PrimaryDistinctId");
    if (state->primaryDistinctId.empty()) state->primaryDistinctId = state->distinctId;
    state->userId = ReadIni(iniPath, "Base", "UserId");
    state->vipLevel = platform::ReadIniInt(Wide(iniPath), L"Base", L"UserVipLevel", 0);
    state->isLogined = ReadIni(iniPath, "Base", "isLogined") == "OK";
    state->storedUrl = ReadIni(iniPath, "Base", "URL");
  }
  if (state->distinctId.empty()) {
    state->distinctId = NewDistinctId();
    SaveIdentity(iniPath, *state);
  }
}

void SaveIdentity(const std::string& iniPath, const TrackerState& state) {
  WriteIni(iniPath, "Base", "DistinctId", state.distinctId);
  WriteIni(iniPath, "Base", "PrimaryDistinctId", state.primaryDistinctId);
  WriteIni(iniPath, "Base", "UserId", state.userId);
  WriteIni(iniPath, "Base", "UserVipLevel", std::to_string(state.vipLevel));
  WriteIni(iniPath, "Base", "URL", state.storedUrl);
  WriteIni(iniPath, "Base", "isLogined", state.isLogined ? "OK" : "NG");
}

void WriteAppRecord(const std::string& iniPath, const std::string& appStore,
                    const std::string& appName, const std::string& appVersion) {
  WriteIni(iniPath, "UninstallInfo", "AppStore", appStore);
  WriteIni(iniPath, "UninstallInfo", "AppName", appName);
  WriteIni(iniPath, "UninstallInfo", "AppVersion", appVersion);
}

}  // namespace device
}  // namespace lumora
}  // namespace usage
