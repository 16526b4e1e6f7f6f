#include "app/job_events.h"

#include <cmath>
#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <limits>

#include "platform/paths.h"
#include "tracker/analytics_bridge.h"
#include "utils/system.h"

namespace app {

namespace {

constexpr size_t kReasonMaxChars = 199;  // a 200-character buffer with its terminator

std::wstring CutText(std::wstring text, size_t maxChars) {
  if (text.size() > maxChars) text.resize(maxChars);
  return text;
}

// Formats through a buffer large enough for any reason text; the caller cuts.
template <typename... Args>
std::wstring FormatWide(const wchar_t* format, Args... args) {
  std::wstring buffer(1024, L'\0');
  for (;;) {
    int n = std::swprintf(buffer.data(), buffer.size(), format, args...);
    if (n >= 0 && static_cast<size_t>(n) < buffer.size()) {
      buffer.resize(static_cast<size_t>(n));
      return buffer;
    }
    if (buffer.size() >= (1u << 20)) return std::wstring();
    buffer.resize(buffer.size() * 4);
  }
}

}  // namespace

long CutToLong(double value) {
  if (std::isnan(value)) return 0;
  if (value >= static_cast<double>(std::numeric_limits<long>::max()))
    return std::numeric_limits<long>::max();
  if (value <= static_cast<double>(std::numeric_limits<long>::min()))
    return std::numeric_limits<long>::min();
  return static_cast<long>(value);
}

int CutToInt(double value) {
  if (std::isnan(value)) return 0;
  if (value >= static_cast<double>(std::numeric_limits<int>::max()))
    return std::numeric_limits<int>::max();
  if (value <= static_cast<double>(std::numeric_limits<int>::min()))
    return std::numeric_limits<int>::min();
  return static_cast<int>(value);
}

uint32_t ToDelayMs(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 4294967295.0) return kNeverFires;
  if (value <= -2147483648.0) return 0x80000000u;
  if (value < 0) return static_cast<uint32_t>(static_cast<int32_t>(value));
  return static_cast<uint32_t>(value);
}

ProgressModel::ProgressModel(double downloadScale) {
  if (std::isnan(downloadScale)) downloadScale = 0.7;
  scale_ = std::fmin(std::fmax(downloadScale, 0.0), 1.0);
}

namespace {
int ClampPercent(double percent) {
  if (std::isnan(percent) || percent <= 0.0) return 0;
  if (percent >= 100.0) return 100;
  return static_cast<int>(percent);
}
}  // namespace

int ProgressModel::DownloadPercent(double fraction) const {
  return ClampPercent(fraction * scale_ * 100);
}

int ProgressModel::InstallPercent(double reported) {
  // The step never takes back what a larger report gave: after 0.99 the bar
  // stays at 99 instead of falling to the cap's 98.
  smoothed_ = std::fmax(smoothed_, std::fmin(smoothed_ + 0.15, 0.95));
  if (reported > smoothed_) smoothed_ = std::fmin(reported, 1.0);
  return ClampPercent(((1 - scale_) * smoothed_ + scale_) * 100);
}

std::wstring FormatProgressText(const std::wstring& customFormat, float downloadSeconds,
                                int percent) {
  std::wstring format = customFormat;
  if (format.empty()) {
    format =
        downloadSeconds > kPatienceThresholdSeconds ? kProgressFormatLate : kProgressFormatEarly;
  }
  // The layout's user data is outside data: never hand it to printf.
  std::wstring out;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] == L'%' && i + 1 < format.size()) {
      if (format[i + 1] == L'd') {
        out += std::to_wstring(percent);
        ++i;
        continue;
      }
      if (format[i + 1] == L'%') {
        out += L'%';
        ++i;
        continue;
      }
    }
    out += format[i];
  }
  return CutText(std::move(out), 249);
}

std::wstring FormatTextFailureReason(double number, const std::wstring& message) {
  return CutText(FormatWide(L":1.code=%ld；2.msg=%ls", CutToLong(number), message.c_str()),
                 kReasonMaxChars);
}

std::wstring FormatDownloadFailureReason(double number, const std::wstring& message,
                                         double freeGigabytes, const std::wstring& permission,
                                         uint32_t networkResult) {
  return CutText(FormatWide(L"1.code=%ld；2.msg=%ls；3.缓存磁盘容量=%.2fG；4.缓存读写权限=%ls；5."
                            L"服务器连接状态code=%d",
                            CutToLong(number), message.c_str(), freeGigabytes, permission.c_str(),
                            static_cast<int>(networkResult)),
                 kReasonMaxChars);
}

std::wstring ProbePackageWritePermission(const std::wstring& packagePath) {
  static const std::wstring kNoPermission = L"无权限";
  static const std::wstring kReadable = L"可读";
  if (packagePath.empty()) return kNoPermission;
  const std::filesystem::path path(platform::NativePath(packagePath));
  std::error_code ec;
  const bool exists =
      std::filesystem::symlink_status(path, ec).type() != std::filesystem::file_type::not_found;
  if (!ec && exists && !std::filesystem::remove(path, ec)) return kNoPermission;
  if (ec && exists) return kNoPermission;
  {
    std::ofstream probe(path, std::ios::binary | std::ios::trunc);
    if (!probe.is_open()) return kNoPermission;
  }
  std::filesystem::remove(path, ec);
  return kReadable;
}

double FreeGigabytes(const std::wstring& path) {
  Utils::HardDiskManager disk;
  disk.CheckFreeSpace(path);  // a failed query leaves 0
  return static_cast<double>(disk.FreeBytesAvailable()) / 1073741824.0;
}

std::wstring BuildDownloadFailureReason(double number, const std::wstring& message,
                                        const std::wstring& packagePath, uint32_t networkResult) {
  const std::wstring permission = ProbePackageWritePermission(packagePath);
  const double freeGb = FreeGigabytes(packagePath);
  return FormatDownloadFailureReason(number, message, freeGb, permission, networkResult);
}

bool PackageFacts::Apply(int32_t code, double number, const std::wstring& text) {
  switch (code) {
    case IST_INFO_INSTPATH:
      targetFolder = text;
      return true;
    case IST_INFO_EXEPATH:
      productExePath = text;
      return true;
    case IST_INFO_UNINSTEP:
      uninstallerPath = text;
      return true;
    case IST_INFO_STARTURL:
      productPageUrl = text;
      return true;
    case IST_INFO_STARTUPSTYLE:
      startupStyle = CutToInt(number);
      return true;
    case IST_INFO_TOPSHOWDETENTION:
      bringToFrontDelayMs = ToDelayMs(number);
      return true;
    case IST_INFO_FINISHCLOSEDETENTION:
      closeDelayMs = ToDelayMs(number);
      return true;
    default:
      return false;
  }
}

void ReportJobTask(const std::wstring& name, float elapsed, const std::wstring& reason,
                   const std::wstring& ab) {
  analytics::ReportTask(name, elapsed, reason, analytics::ExtraProperties{{L"AB", ab}});
}

}  // namespace app
