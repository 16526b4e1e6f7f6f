// The installer's side of the job-event contract, free of any window: the
// event record carried to the UI thread, the progress arithmetic of the one
// progress bar, the progress and failure texts, and the values the package
// reports about itself (stage codes: StageCode of download/downloader.h).
// Used by CMainWnd and by the unattended runner; every
// function here runs on the thread that handles job events (the UI thread).
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "download/downloader.h"

namespace app {

// Window messages of the main window.
inline constexpr uint32_t kMsgJobEvent = 2024;           // WM_USER + 1000, lParam = JobEventRecord*
inline constexpr uint32_t kMsgDownloaderStarted = 1224;  // WM_USER + 200, from outside (SIGUSR1)

// Root-control timers of the finished page.
inline constexpr int kTimerBringToFront = 10;
inline constexpr int kTimerClose = 11;
// A delay with this value never fires (the package's "-1").
inline constexpr uint32_t kNeverFires = 0xFFFFFFFFu;

// One job event, allocated by the job callback on a worker thread and owned by
// the posted message until the UI thread has handled it.
struct JobEventRecord {
  int32_t code = 0;
  double number = 0.0;
  std::wstring text;
};

// Fixed texts of the progress page.
inline constexpr wchar_t kProgressFormatEarly[] = L"正在安装中:%d%%，请稍候...";
inline constexpr wchar_t kProgressFormatLate[] = L"正在安装中:%d%%，请耐心等待...";
inline constexpr wchar_t kProgressResetText[] = L"正在安装中:0%，请稍候...";
inline constexpr float kPatienceThresholdSeconds = 60.0f;
inline constexpr int kProgressResetThreshold = 70;

// Web pages on the product's site.
inline constexpr wchar_t kProductPageUrl[] = L"https://www.quillon.example/converter";
inline constexpr wchar_t kTermsPageUrl[] = L"https://www.quillon.example/terms";

// Fixed product files.
inline constexpr wchar_t kProductExeName[] = L"Vantrel.exe";
inline constexpr wchar_t kProductUninstallerProcess[] = L"Quillon_un_asa.exe";

// Numbers from events converted without undefined behaviour: NaN gives 0,
// values beyond the range give its nearest end.
long CutToLong(double value);
int CutToInt(double value);
// Delay in milliseconds: negative values wrap like a 32-bit integer (-1 gives
// 4294967295), larger values than 32 bits give 4294967295.
uint32_t ToDelayMs(double value);

// Progress arithmetic of the single bar (0 to 100). The download fills the
// first `downloadScale` share, the installation the rest.
class ProgressModel {
 public:
  // `downloadScale` is clamped to 0..1 (NaN gives the default 0.7).
  explicit ProgressModel(double downloadScale);

  // fraction x scale x 100, cut towards zero, kept within 0..100.
  int DownloadPercent(double fraction) const;
  // Smooths the reported install fraction: every event moves on by 0.15 up to
  // 0.95, a larger report wins, and the fraction never goes back. Returns ((1 - scale) x smoothed +
  // scale) x 100.
  int InstallPercent(double reported);
  double Smoothed() const { return smoothed_; }

 private:
  double scale_;
  double smoothed_ = 0.0;
};

// The progress text for `percent`. A non-empty `customFormat` (the progress
// label's user data) is used for every text; otherwise the early or the late
// format by the seconds since the download started. Formats are applied
// safely: "%d" takes the percent, "%%" gives "%", any other "%" stays as it is.
std::wstring FormatProgressText(const std::wstring& customFormat, float downloadSeconds,
                                int percent);

// ":1.code=%ld；2.msg=%s" with the number cut to an integer; at most 199 characters.
std::wstring FormatTextFailureReason(double number, const std::wstring& message);

// The five facts of a download failure, at most 199 characters:
// "1.code=..；2.msg=..；3.缓存磁盘容量=%.2fG；4.缓存读写权限=..；5.服务器连接状态code=..".
std::wstring FormatDownloadFailureReason(double number, const std::wstring& message,
                                         double freeGigabytes, const std::wstring& permission,
                                         uint32_t networkResult);

// Write test on the package path: "无权限" when an existing file cannot be
// deleted or a new one cannot be created there, "可读" otherwise (the test
// file is removed again).
std::wstring ProbePackageWritePermission(const std::wstring& packagePath);

// Free gigabytes (2^30 bytes) to the caller on the volume of `path`; 0 when
// the query fails.
double FreeGigabytes(const std::wstring& path);

// Collects the whole download-failure reason for a package path.
std::wstring BuildDownloadFailureReason(double number, const std::wstring& message,
                                        const std::wstring& packagePath, uint32_t networkResult);

// Values the package reports about itself, kept for the finish and the launch.
struct PackageFacts {
  std::wstring targetFolder;
  std::wstring productExePath;
  std::wstring uninstallerPath;
  std::wstring productPageUrl = kProductPageUrl;
  int startupStyle = 0;  // 0 never, 1 at success, 2 on "立即体验"
  uint32_t bringToFrontDelayMs = 3000;
  uint32_t closeDelayMs = kNeverFires;

  // Takes the value of a 3000-series event (3000, 3001, 3003, 3004, 3005,
  // 3007, 3008). True when the code was one of these.
  bool Apply(int32_t code, double number, const std::wstring& text);
};

// The analytics report helpers of the window: every report carries {"AB": ab}.
void ReportJobTask(const std::wstring& name, float elapsed, const std::wstring& reason,
                   const std::wstring& ab);

}  // namespace app
