// Facts about the machine that every event carries, the naming of new
// identities, the tracker's files, and the INI file that holds the identity.
// Stateless except the fallback id generator; computed anew at each use.
// Texts are UTF-8; paths are "/"-separated.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "tracker/tracker_state.h"

namespace usage {
namespace lumora {
namespace device {

// "$os" and "$os_version": "Linux" and e.g. "debian 12" (Utils::GetOsName).
struct SystemName {
  std::string name;
  std::string version;
};
SystemName GetSystemName();

// "Mozilla/5.0(" + name + " " + version + "; " + machine + ";)", for
// example "Mozilla/5.0(Linux debian 12; x86_64;)".
std::string GetUserAgent();

struct LocaleInfo {
  std::string locale;    // language + "_" + country
  std::string language;  // "zh"
  std::string country;   // "CN"
};
// "zh_CN.UTF-8" or "zh_CN@euro" give zh_CN, zh, CN; "C", "POSIX" and the
// empty text give nothing; a text without country keeps the language.
LocaleInfo ParseLocaleText(const std::string& text);
// A stored locale holding "_" wins; otherwise LC_ALL, LC_MESSAGES or LANG.
LocaleInfo GetLocale(const std::string& storedLocale);

// The primary monitor in pixels when this process has a display open,
// else 0 by 0.
void GetScreenSize(int32_t* width, int32_t* height);

// A new random id "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X" from
// getrandom(2), retried up to 10 times; after that FallbackDistinctId().
std::string NewDistinctId();
// Eight draws of a process-wide Mersenne Twister (seed 5489) formatted
// "%x%x-%x-%x-%x-%x%x%x".
std::string FallbackDistinctId();
// Replaces getrandom (tests); an empty function restores it.
using RandomSource = std::function<bool(void* buffer, size_t size)>;
void SetRandomSourceForTesting(RandomSource source);

struct TrackerPaths {
  std::string dataFolder;  // ends with "/"
  std::string iniPath;
};
// "Set.ini" beside the executable, section "Install", key "LMAnalyticsIni"
// (at most 127 characters, "\" read as "/") names the INI file when it holds
// a "/"; its folder is the data folder. Otherwise the data folder is
// $XDG_DATA_HOME/LMLocal/<appName>/ and the INI file
// <appName>_LMSConfigure.ini in it. Creates the data folder. An empty data
// folder means no home folder could be found.
TrackerPaths ResolvePaths(const std::string& appName);
// Where ResolvePaths looks for "Set.ini" (tests); empty restores the
// executable's folder.
void SetRedirectFolderForTesting(const std::string& folder);

std::string DefaultLogPath(const std::string& dataFolder, const std::string& appName);
// The SDK's staging file in the data folder.
std::string StagingFilePath(const std::string& dataFolder, const std::string& appName);

// Creates every missing folder of `path`; true when it exists afterwards.
bool CreateFolderTree(const std::string& path);

// Reads "Base": DistinctId, PrimaryDistinctId (empty: DistinctId), UserId,
// UserVipLevel, isLogined ("OK" only), URL. A missing file reads as empty.
// When no distinct id is stored a new one is made and saved at once.
void LoadIdentity(const std::string& iniPath, TrackerState* state);
// Writes the six "Base" keys in order, empty values included.
void SaveIdentity(const std::string& iniPath, const TrackerState& state);
// Writes "UninstallInfo": AppStore, AppName, AppVersion.
void WriteAppRecord(const std::string& iniPath, const std::string& appStore,
                    const std::string& appName, const std::string& appVersion);

}  // namespace device
}  // namespace lumora
}  // namespace usage
