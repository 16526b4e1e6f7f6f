// The silent runners of the product package and of the old uninstaller.
//
// Each starts its child hidden with its standard streams on pipes, reads the
// child's status lines (install/status_lines.h) on its own worker thread and
// turns them into job events through the event callback of
// download/downloader.h. Every run has one decisive event (after an
// uninstaller's failure, further UNIST_CODE_ERROR events may follow it):
//
//   CPackageRunner   IST_CODE_START (0.0, "") and IST_CODE_PROGRESS (0.0, "")
//                    first, then progress and IST_INFO_* events, and one of
//     IST_CODE_SUCCESS  0.0 from "State=Success"; 1.0 when the package exited
//                       with status 0 without a decisive line
//     IST_CODE_FAIL     1.0 empty package path; 2.0 the child cannot be
//                       started, or an install folder that cannot be passed
//                       on the command line ("无效路径"); 1000.0 and the text
//                       of an "Error=" line; 0.0 "安装包安装失败" from
//                       "State=Fail"; the exit status (128 + signal number)
//                       and "安装包安装失败" when the package exited otherwise
//                       without a decisive line
//   CUninstallRunner UNIST_CODE_PROGRESS (0.0, "") first, progress, then one of
//     UNIST_CODE_SUCCESS  0.0 from "State=Success"; 1.0 after a clean exit
//     UNIST_CODE_FAIL     1.0 "可执行卸载文件不存在" (no uninstaller file);
//                         2.0 the child cannot be started
//     UNIST_CODE_ERROR    0.0 and the text of an "Error=" line; 0.0
//                         "安装包卸载失败" from "State=Fail"; the exit status
//                         and "安装包卸载失败" for a failed exit
// The decisive event is sent as soon as its line is read; the end-of-run
// events after the child has exited. The output is always read to its end so
// that the child never blocks on a full pipe. For the package, the decisive
// event is the last event of a run: later lines are drained, not parsed. The
// uninstall runner drains after a success too (the job has moved on to the
// download), but keeps parsing after a failure: the uninstaller's progress
// and further UNIST_CODE_ERROR events still arrive, only a success is never
// reported after a failure.
//
// Threads: construction, the setters, Start() and destruction on the owner's
// thread (Start() also from another runner's or a downloader's event thread,
// as the orchestrator does); events arrive on the runner's worker thread
// ("ABDEF" / "UnInstaller"), never on the caller's. Destruction waits for a
// running child without limit.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "download/downloader.h"
#include "utils/thread.h"

namespace install {

// The package's options, as the orchestrator hands them over.
struct PackageOptions {
  std::wstring installDir;       // may be empty: then neither -instdir= nor /D=
  bool desktopShortcut = false;  // -dsc=
  bool quickLaunch = false;      // -ssc=
  bool adminAccount = false;     // -adminact=
  bool adminRights = false;      // -authorizationact=
  std::wstring extraOptions;     // "InstCmd", appended after one blank when not empty
};

// The install command line: the quoted package path, " /S -console=show
// -version=1.0.0", " -adminact=", " -authorizationact=", " -dsc=", " -ssc="
// (each "true"/"false"), the extra options, then -instdir="DIR" /D=DIR.
std::wstring BuildInstallCommandLine(const std::wstring& quotedPackagePath,
                                     const PackageOptions& options);

// The uninstall command line "%s /S -adminact=%s -authorizationact=%s
// -console=show _?=%s". The uninstaller path and the folder are put in double
// quotes when they contain a blank or a tab, so that they reach the child as
// one argument each; otherwise they stand bare.
std::wstring BuildUninstallCommandLine(const std::wstring& uninstallerPath, bool adminAccount,
                                       bool adminRights, const std::wstring& oldInstallDir);

}  // namespace install

// The runner classes live in the global namespace beside CDownloader.
class CPackageRunner {
 public:
  // `quotedPackagePath` is the package file path in double quotes. The flags
  // start false, the extra options empty.
  CPackageRunner(DownloadEventCallback callback, std::wstring quotedPackagePath,
                 std::wstring installDir);
  virtual ~CPackageRunner();
  CPackageRunner(const CPackageRunner&) = delete;
  CPackageRunner& operator=(const CPackageRunner&) = delete;

  // Replace the stored settings (the extra options are kept).
  void SetSettings(const std::wstring& installDir, bool desktopShortcut, bool quickLaunch,
                   bool adminAccount, bool adminRights);
  void SetExtraOptions(const std::wstring& extraOptions);
  install::PackageOptions Options() const;

  // Builds the command line and runs the package on a new worker thread
  // ("ABDEF"); an earlier run's thread is waited for first. Returns at once.
  virtual void Start();
  // The command line of the latest Start() (empty before).
  std::wstring CommandLine() const;

 private:
  void Run();

  const DownloadEventCallback callback_;
  const std::wstring quotedPackagePath_;

  mutable std::mutex mutex_;  // guards the members below
  install::PackageOptions options_;
  std::wstring commandLine_;
  unsigned codePage_ = 0;  // the status code page; worker thread only while running

  std::unique_ptr<Utils::Thread> thread_;  // owner's thread only
};

class CUninstallRunner {
 public:
  CUninstallRunner(DownloadEventCallback callback, std::wstring uninstallerPath,
                   std::wstring oldInstallDir);
  virtual ~CUninstallRunner();
  CUninstallRunner(const CUninstallRunner&) = delete;
  CUninstallRunner& operator=(const CUninstallRunner&) = delete;

  // Builds the command line (with the administrator facts of this process and
  // of the console user) and runs the uninstaller on a new worker thread
  // ("UnInstaller"); an earlier run's thread is waited for first.
  virtual void Start();
  std::wstring CommandLine() const;

 private:
  void Run();

  const DownloadEventCallback callback_;
  const std::wstring uninstallerPath_;
  const std::wstring oldInstallDir_;

  mutable std::mutex mutex_;  // guards commandLine_
  std::wstring commandLine_;
  unsigned codePage_ = 0;

  std::unique_ptr<Utils::Thread> thread_;
};
