// Unattended installation ("-silent=true"): the quick install without any
// window, for administrators deploying the product. The same checks, job,
// records and analytics reports as "立即安装", into the default folder or into
// the folder "-targetdir=DIR" resolved as the custom page would. Progress goes
// to standard error (ConsoleProgress); questions a window would ask are
// answered the safe way (no retry, no product start).
//
// Runs on the main thread with the default GLib main context: job events are
// handled there in posting order, and SIGUSR1 makes the downloader-started
// report.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "app/console_progress.h"
#include "app/job_events.h"
#include "install/install_records.h"
#include "utils/system.h"

class CDownloadInstaller;
struct InstallerConfig;

namespace app {

// Exit statuses of the unattended mode.
enum UnattendedStatus : int {
  kUnattendedInstalled = 0,
  kUnattendedJobFailed = 1,
  kUnattendedRefused = 2,  // product running, invalid folder, low disk space, no network
  kUnattendedAnotherInstaller = 255,
};

struct UnattendedOptions {
  // "-targetdir=DIR" when given (resolved like the custom page's edit text).
  std::optional<std::wstring> targetDir;
};

class UnattendedInstaller {
 public:
  UnattendedInstaller(const InstallerConfig& config, UnattendedOptions options,
                      ConsoleProgress& console);
  ~UnattendedInstaller();
  UnattendedInstaller(const UnattendedInstaller&) = delete;
  UnattendedInstaller& operator=(const UnattendedInstaller&) = delete;

  // Runs the checks and the job to its end; returns the exit status.
  int Run();

  // The product folder after a successful run.
  const std::wstring& ProductFolder() const { return facts_.targetFolder; }

 private:
  struct EventQueue;

  int Refuse(const std::string& reason);
  bool PrepareJob(const std::wstring& folder);
  void PostEvent(int32_t code, double value, const wchar_t* text);
  void DrainEvents();
  void HandleEvent(const JobEventRecord& record);
  void ReportDownloaderStarted(bool fromDownloadStart);
  void Finish(int status);
  float DownloadSeconds() const;

  const InstallerConfig& config_;
  const UnattendedOptions options_;
  ConsoleProgress& console_;

  install::InstallRecords records_;
  PackageFacts facts_;
  ProgressModel progress_;
  Utils::Stopwatch downloadStopwatch_;
  std::wstring abValue_ = L"IN";
  bool downloaderStartedReported_ = false;
  bool uninstallAnnounced_ = false;
  std::optional<int> status_;  // set when the job ended
  void* loop_ = nullptr;       // GMainLoop* while Run() waits

  std::unique_ptr<EventQueue> queue_;
  // Declared last: destroyed first, so the job's threads end before the rest.
  std::unique_ptr<CDownloadInstaller> job_;
};

// Text helpers for standard error (UTF-8).
std::string Narrow(const std::wstring& text);

}  // namespace app
