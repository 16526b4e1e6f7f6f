#include "install/install_records.h"

#include <ctime>
#include <filesystem>

#include "platform/ini_file.h"
#include "platform/paths.h"
#include "platform/shell.h"
#include "utils/files.h"
#include "utils/log.h"
#include "utils/process.h"
#include "utils/system.h"

namespace install {
namespace {

// Lexical form used to compare folders: "." parts and doubled or trailing
// separators removed, ".." resolved against the text.
std::string NormalFolder(const std::wstring& folder) {
  std::string text =
      std::filesystem::path(platform::NativePath(folder)).lexically_normal().string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

bool SameFolder(const std::wstring& a, const std::wstring& b) {
  if (a.empty() || b.empty()) return false;
  return NormalFolder(a) == NormalFolder(b);
}

std::wstring LocalTimeText() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  wchar_t text[64];
  std::swprintf(text, 64, L"%d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}

}  // namespace

bool IsInstallDirTextSafe(const std::wstring& folder) {
  if (folder.empty() || folder.front() != L'/') return false;
  if (folder.back() == L'\\') return false;
  for (wchar_t c : folder) {
    if (c == L'"') return false;
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return false;
  }
  return true;
}

void ReadInstallRecords(InstallRecords* records) {
  records->installDir.clear();
  records->uninstallerPath.clear();
  uint32_t type = 0;
  std::wstring value;
  if (Utils::ReadRegistryString(kInstallPathValue, &type, &value)) records->installDir = value;
  value.clear();
  if (Utils::ReadRegistryString(kUninstallEpValue, &type, &value)) records->uninstallerPath = value;
  if (records->uninstallerPath.empty() && !records->installDir.empty()) {
    records->uninstallerPath = platform::JoinPath(records->installDir, kUninstallerFileName);
  }
}

std::wstring GetDefaultInstallDir(InstallRecords* records) {
  std::wstring user;
  records->consoleUserIsAdmin =
      Utils::GetActiveSessionUserName(&user) && Utils::IsUserAccountAdmin(user);
  records->processIsAdmin = Utils::IsProcessAdmin();
  if (!records->installDir.empty() && !records->uninstallerPath.empty() &&
      platform::PathExists(records->uninstallerPath)) {
    return records->installDir;
  }
  std::wstring base;
  std::string appData = platform::GetEnv("APPDATA");
  if (records->consoleUserIsAdmin && records->processIsAdmin && !appData.empty() &&
      appData.size() < 260) {
    base = platform::JoinPath(platform::FromNativePath(appData), kPerUserFolderName);
  } else {
    base = platform::GetSpecialFolder(platform::SpecialFolder::kProgramFilesX86);
    if (base.empty()) base = platform::GetSpecialFolder(platform::SpecialFolder::kProgramFiles);
  }
  return platform::JoinPath(base, kProductFolderName);
}

std::wstring ResolveInstallDir(InstallRecords* records, const std::wstring& editText) {
  std::wstring defaultDir = GetDefaultInstallDir(records);
  if (editText.empty()) return {};
  if (SameFolder(defaultDir, editText)) return defaultDir;
  return platform::JoinPath(editText, kProductFolderName);
}

bool IsOverrideForbidden(const InstallRecords& records, const std::wstring& folder) {
  if (SameFolder(records.installDir, folder)) return false;
  std::wstring value = platform::ReadIniString(platform::JoinPath(folder, kSetIniName),
                                               L"Uninstall", L"IsOverride", L"true", 20);
  return value == L"false";
}

void WriteInstallRecords(const std::wstring& productDir, const std::wstring& uninstallerPath) {
  if (!Utils::WriteRegistryString(kInstallPathValue, productDir)) {
    QLOG(L"cannot record the install folder\r\n");
  }
  std::wstring uninstaller = uninstallerPath;
  if (uninstaller.empty()) uninstaller = platform::JoinPath(productDir, kUninstallerFileName);
  if (platform::IsRegularFile(uninstaller))
    Utils::WriteRegistryString(kUninstallEpValue, uninstaller);
}

std::wstring AnalyticsDataDir() {
  std::wstring base;
  std::string appData = platform::GetEnv("APPDATA");
  if (!appData.empty()) {
    base = platform::FromNativePath(appData);
  } else {
    base = platform::GetSpecialFolder(platform::SpecialFolder::kCommonDocuments);
  }
  if (base.empty()) return {};
  return platform::JoinPath(platform::JoinPath(base, L"LumoraData"), kProductFolderName);
}

void WriteProductSetIni(const std::wstring& productDir) {
  std::wstring setIni = platform::JoinPath(productDir, kSetIniName);
  std::wstring appStore = platform::BaseName(platform::ExecutablePath());
  platform::WriteIniString(setIni, L"Install", L"APPStore", appStore);
  platform::WriteIniString(setIni, L"Install", L"AppName", kProductFolderName);
  platform::WriteIniString(setIni, L"Install", L"DeviceID", Utils::CreateGuidText());
  std::wstring dataDir = AnalyticsDataDir();
  if (dataDir.empty() || !Utils::CreateDirectoryTree(dataDir)) return;
  std::wstring analyticsIni = platform::JoinPath(dataDir, L"LMAnalytics.ini");
  platform::WriteIniString(setIni, L"Install", L"LMAnalyticsIni", analyticsIni);
  platform::WriteIniString(analyticsIni, L"Init", L"UpdateTime", LocalTimeText());
}

pid_t FindProcessId(const std::wstring& exeName) {
  if (exeName.empty()) return 0;
  for (const platform::ProcessEntry& entry : platform::ListProcesses()) {
    if (entry.exeName == exeName) return entry.pid;
  }
  return 0;
}

}  // namespace install
