// CDownloadInstaller: the installation job. Optionally removes an earlier
// installation with its own uninstaller, downloads the product package, runs
// it silently, and removes the package file afterwards.
//
// Use (main window, UI thread): construct once with the window callback,
// then for every installation Init(...) with the job's settings and Start().
// The job has no thread of its own: each stage runs on the worker thread of
// its downloader or runner, and every event of every stage is forwarded
// unchanged (code, value, text) to the window callback *before* the job acts
// on it. Stage order:
//   1. with an old uninstaller file: copy it to the private work folder as
//      "Quillon_un_asa.exe" and run it (UNIST_CODE_*); UNIST_CODE_SUCCESS leads
//      to the download, UNIST_CODE_FAIL / UNIST_CODE_ERROR end the job;
//   2. download into <install folder>/__Package_Quillon.exe (DL_CODE_*); the
//      folder is created at DL_CODE_START; DL_CODE_RETRY restarts the
//      downloader, DL_CODE_FAIL ends the job (package removed), DL_CODE_SUCCESS
//      starts the package;
//   3. install (IST_CODE_*, IST_INFO_*); IST_CODE_SUCCESS or IST_CODE_FAIL end
//      the job, the package file is removed.
// Removing the package also removes the one of the previous cleanup (a retry
// in another folder leaves nothing behind).
//
// The window callback is called on worker threads, must not block and must
// not touch window objects (post the event to the UI thread instead). A
// Start() while a job is still running is ignored (and logged).
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "download/downloader.h"
#include "install/package_runner.h"

class CDownloadInstaller {
 public:
  // Stores the settings; admin rights start false; nothing is created yet.
  CDownloadInstaller(DownloadEventCallback windowCallback, std::wstring packageUrl,
                     std::wstring oldUninstallerPath, std::wstring installDir, bool desktopShortcut,
                     bool quickLaunch, bool adminAccount);
  // Stops the stages from starting one another, then destroys the uninstall
  // runner, the downloader and the package runner (each waits for its
  // threads and its child), then the window callback. A stage still running
  // ends normally; the next one is not started.
  virtual ~CDownloadInstaller();
  CDownloadInstaller(const CDownloadInstaller&) = delete;
  CDownloadInstaller& operator=(const CDownloadInstaller&) = delete;

  // Replaces the job's settings; an empty old uninstaller path means no
  // uninstall. Call before Start(), not while a job runs.
  void Init(const std::wstring& packageUrl, const std::wstring& oldUninstallerPath,
            const std::wstring& installDir, bool desktopShortcut, bool quickLaunch,
            bool adminAccount, bool adminRights);

  // Begins the job and returns at once. The downloader (chosen by the
  // configured DownloadType) and the package runner are made at the first
  // Start() and kept while the package URL and the package path stay the same
  // (a retry then resumes the partial package); a Start() for another folder
  // or URL makes new ones. Every Start() passes the current folder, flags and
  // "InstCmd" to the package runner. An uninstaller of the previous job that
  // is still running (it is followed after its failure) is waited for first.
  void Start();

  // <install folder>/__Package_Quillon.exe for the current install folder.
  std::wstring GetPackagePath() const;

  // True between Start() and the event that ends the job.
  bool IsRunning() const;

  // The package path the last cleanup remembered (process-wide).
  static std::wstring RememberedPackagePathForTesting();

 private:
  void OnDownloadEvent(int32_t code, double value, const wchar_t* text);
  void OnUninstallEvent(int32_t code, double value, const wchar_t* text);
  void OnInstallEvent(int32_t code, double value, const wchar_t* text);
  // Runs `start` (the next stage's Start()) unless the job is being destroyed.
  void StartStage(const std::function<void()>& start);
  void CleanUpPackage();
  void EndJob();
  std::wstring CurrentPackagePath() const;

  // Constant after construction.
  const DownloadEventCallback windowCallback_;

  mutable std::mutex mutex_;  // guards the settings and running_
  std::wstring packageUrl_;
  std::wstring oldUninstallerPath_;
  std::wstring installDir_;
  std::wstring packagePath_;  // derived by Start()
  bool desktopShortcut_;
  bool quickLaunch_;
  bool adminAccount_;
  bool adminRights_ = false;
  bool running_ = false;

  std::mutex stageMutex_;  // guards closing_ and the stage starts of the handlers
  bool closing_ = false;   // set by the destructor: no stage starts another

  // Created by Start() on the owner's thread while no job runs; the stages
  // only use them. Destroyed in this order.
  std::unique_ptr<CDownloader> downloader_;
  std::wstring downloaderUrl_;  // what downloader_ and packageRunner_ were built for
  std::wstring downloaderPath_;
  std::unique_ptr<CPackageRunner> packageRunner_;
  std::unique_ptr<CUninstallRunner> uninstallRunner_;
};
