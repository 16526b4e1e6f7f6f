// The installer's configuration: built-in defaults, then
// "LumoraInstallerConfig.ini" beside the executable (section "Install"), then
// the command line (ApplyCommandLine). Written on the main thread during
// start-up only; read-only afterwards except CurlReady.
#pragma once

#include <string>

#include "utils/command_line.h"

// The built-in package address (a reserved host name).
inline constexpr wchar_t kDefaultDownloadUrl[] = L"http://download.quillon.example/software/277";

struct InstallerConfig {
  // Fixed product identity.
  static constexpr wchar_t kDisplayName[] = L"Quillon助手";
  static constexpr wchar_t kInstanceName[] = L"Installer_Quillon";
  static constexpr int kProductNumber = 497;
  static constexpr wchar_t kConfigFileName[] = L"LumoraInstallerConfig.ini";
  static constexpr wchar_t kIniSection[] = L"Install";

  std::wstring AppName = L"Quillon";
  std::wstring AppVersion = L"1.7.9";
  std::wstring InstallerFileName = L"NULL";
  std::wstring DlAppNameSuffix = L".downloader";
  std::wstring DlAppVersion;
  std::wstring InstCmd;
  std::wstring DownloadUrl = kDefaultDownloadUrl;
  int DownloadType = 1;
  bool IsCheckNet = false;
  bool IsEnableAppAnalytics = true;
  double DownloadScale = 0.7;  // always finite and within 0..1
  bool CurlReady = true;
  std::wstring AbGroup = L"IN";

  // Route substitution of "${ROUTE}", then stored in DownloadUrl.
  void SetDownloadUrl(const std::wstring& url);
  // The word that replaces "${ROUTE}" on a system with that version name
  // (Utils::GetOsName) and bitness (Utils::IsWow64): "download_silent_xp"
  // when the name contains "XP", "download_silent_64" for a product with a
  // 64-bit package under WOW64, else "download_silent".
  static std::wstring RouteWord(const std::wstring& osVersion, bool isWow64);

  // Resets to the defaults, then reads `iniPath` when it exists.
  // InstallerFileName is the file part of `executablePath` either way.
  void LoadDefaultsAndIni(const std::wstring& executablePath, const std::wstring& iniPath);

  // The command-line layer over a parsed option map.
  void ApplyCommandLine(const Utils::CommandLineOptions& options);
  // The command-line layer over the process's own argv.
  void ApplyCommandLine();

  // The process-wide instance; its defaults and INI layer are applied during
  // static initialisation from the executable's folder.
  static InstallerConfig& Instance();
};
