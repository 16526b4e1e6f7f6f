#include "app/config/installer_config.h"

#include <cmath>
#include <limits>

#include "platform/ini_file.h"
#include "platform/paths.h"
#include "utils/text.h"

namespace {

constexpr wchar_t kRoutePlaceholder[] = L"${ROUTE}";
constexpr size_t kIniValueChars = 260;
constexpr int kProductsWith64BitPackage[] = {267, 385, 257, 335, 318};
constexpr double kDefaultScale = 0.7;

// The progress display needs a finite share within 0..1; anything else
// keeps the default.
double SaneScale(double scale) {
  if (!std::isfinite(scale) || scale < 0.0 || scale > 1.0) return kDefaultScale;
  return scale;
}

// wcstod without the process locale: only ASCII decimal text is a number.
// Not a number gives 0.0; a number out of range NaN (made sane later).
double ParseIniScale(const std::wstring& text) {
  Utils::CommandLineOptions holder;
  holder.Insert(L"v", text);
  // Two different fallbacks tell a parsed value from a fallback.
  double first = holder.GetNumber(L"v", -2.0);
  double second = holder.GetNumber(L"v", -3.0);
  if (!(first == -2.0 && second == -3.0)) return first;
  std::wstring trimmed = Utils::TrimLeft(text);
  size_t i = (!trimmed.empty() && (trimmed[0] == L'+' || trimmed[0] == L'-')) ? 1 : 0;
  auto digit = [&](size_t at) {
    return at < trimmed.size() && trimmed[at] >= L'0' && trimmed[at] <= L'9';
  };
  bool numeric = digit(i) || (i < trimmed.size() && trimmed[i] == L'.' && digit(i + 1));
  return numeric ? std::numeric_limits<double>::quiet_NaN() : 0.0;
}

}  // namespace

std::wstring InstallerConfig::RouteWord(const std::wstring& osVersion, bool isWow64) {
  bool has64BitPackage = false;
  for (int product : kProductsWith64BitPackage) {
    if (product == kProductNumber) has64BitPackage = true;
  }
  if (osVersion.find(L"XP") != std::wstring::npos) return L"download_silent_xp";
  if (has64BitPackage && isWow64) return L"download_silent_64";
  return L"download_silent";
}

void InstallerConfig::SetDownloadUrl(const std::wstring& url) {
  if (url.find(kRoutePlaceholder) == std::wstring::npos) {
    DownloadUrl = url;
    return;
  }
  std::wstring family, version;
  Utils::GetOsName(&family, &version);
  const std::wstring route = RouteWord(version, Utils::IsWow64());
  DownloadUrl = Utils::ReplaceAll(url, kRoutePlaceholder, route);
}

void InstallerConfig::LoadDefaultsAndIni(const std::wstring& executablePath,
                                         const std::wstring& iniPath) {
  *this = InstallerConfig();
  SetDownloadUrl(kDefaultDownloadUrl);
  InstallerFileName = platform::BaseName(executablePath);
  if (!platform::PathExists(iniPath)) return;

  auto text = [&](const wchar_t* key, const std::wstring& fallback) {
    return platform::ReadIniString(iniPath, kIniSection, key, fallback, kIniValueChars);
  };
  SetDownloadUrl(text(L"DownloadUrl", kDefaultDownloadUrl));
  DownloadType = platform::ReadIniInt(iniPath, kIniSection, L"DownloadType", 1);
  IsCheckNet = text(L"IsCheckNet", L"true") == L"true";
  IsEnableAppAnalytics = text(L"IsEnableAppAnalytics", L"true") == L"true";
  DlAppNameSuffix = text(L"DlAppNameSuffix", L".downloader");
  DlAppVersion = text(L"m_DlAppVersion", L"");
  DownloadScale = SaneScale(ParseIniScale(text(L"DownloadScale", L"0.7")));
  InstCmd = text(L"InstCmd", L"");
}

void InstallerConfig::ApplyCommandLine(const Utils::CommandLineOptions& options) {
  if (options.Has(L"-downloadurl")) SetDownloadUrl(options.GetText(L"-downloadurl"));
  if (options.Has(L"-downloadtype")) DownloadType = options.GetInt(L"-downloadtype");
  if (options.Has(L"-downloadscale")) {
    DownloadScale =
        SaneScale(options.GetNumber(L"-downloadscale", std::numeric_limits<double>::quiet_NaN()));
  }
  if (options.Has(L"-ischecknet")) IsCheckNet = options.GetFlag(L"-ischecknet");
  if (options.Has(L"-isenableappanalytics")) {
    IsEnableAppAnalytics = options.GetFlag(L"-isenableappanalytics");
  }
  if (options.Has(L"-dlappnamesuffix")) DlAppNameSuffix = options.GetText(L"-dlappnamesuffix");
  if (options.Has(L"-dlappversion")) DlAppVersion = options.GetText(L"-dlappversion");
  if (options.Has(L"-instcmd")) InstCmd = options.GetText(L"-instcmd");
}

void InstallerConfig::ApplyCommandLine() { ApplyCommandLine(Utils::ParseProcessCommandLine()); }

InstallerConfig& InstallerConfig::Instance() {
  // Built on first use, so whichever static initialiser asks first gets a
  // complete record.
  static InstallerConfig config = [] {
    InstallerConfig built;
    built.LoadDefaultsAndIni(platform::ExecutablePath(),
                             platform::JoinPath(platform::ExecutableDir(), kConfigFileName));
    return built;
  }();
  return config;
}

namespace {
// Applies the defaults and the INI layer while the process image initialises,
// before main() runs.
[[maybe_unused]] const InstallerConfig& gLoadedAtStartup = InstallerConfig::Instance();
}  // namespace
