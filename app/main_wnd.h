// CMainWnd: the installer's main window. Four pages in "mainTabLt" (quick
// install, custom install, progress, finished); the clicks become one
// installation job (CDownloadInstaller), whose events come back through
// window message 2024 and are handled here on the UI thread.
//
// Threads: everything runs on the UI thread except the job callback (any
// thread: it only allocates a JobEventRecord and posts it) and the network
// test thread (it only queues the "checknet" notification). The window must
// outlive the job's threads; the destructor destroys the job (joining them)
// before anything else goes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "app/job_events.h"
#include "install/install_records.h"
#include "ui/sequence_controls.h"
#include "ui/skin_frame.h"
#include "utils/system.h"
#include "utils/thread.h"

class CDownloadInstaller;
struct InstallerConfig;

namespace app {

// What the window asks of the machine outside the toolkit and the install
// pipeline. The defaults use the real services; tests replace single
// entries where the real service cannot be steered (the connection state,
// a nearly full disk, a browser).
struct MainWndServices {
  std::function<uint32_t()> checkNetwork;                          // Utils::CheckNetwork
  std::function<uint64_t(const std::wstring& folder)> freeBytes;   // bytes free to the caller
  std::function<void(const std::wstring& url)> openUrl;            // platform::OpenUrl
  std::function<void(const std::wstring& program)> launchProgram;  // platform::LaunchProgram

  static MainWndServices Default();
};

class CMainWnd : public qui::CSkinFrame {
 public:
  explicit CMainWnd(const InstallerConfig& config,
                    MainWndServices services = MainWndServices::Default());
  ~CMainWnd() override;

  // --- Toolkit hooks (UI thread) --------------------------------------------
  void InitWindow() override;
  void Notify(qui::Notification& msg) override;
  void OnClick(qui::Notification& msg) override;
  qui::LRESULT HandleMessage(qui::UINT msg, qui::WPARAM wParam, qui::LPARAM lParam) override;
  qui::LRESULT HandleCustomMessage(qui::UINT msg, qui::WPARAM wParam, qui::LPARAM lParam,
                                   bool& handled) override;
  qui::LRESULT OnSysCommand(qui::UINT msg, qui::WPARAM wParam, qui::LPARAM lParam,
                            bool& handled) override;
  std::unique_ptr<qui::Control> CreateControl(const std::wstring& tag) override;

  // Window timers: no effect.
  virtual qui::LRESULT OnTimerHook(qui::WPARAM id);
  // Handles one job event and frees it (null: ignored).
  virtual void OnJobEvent(JobEventRecord* record);

  // --- Own operations -------------------------------------------------------
  // Checks (running product, folder, disk space), prepares the job and
  // requests its start (directly or after the network test). True when the
  // start was requested.
  bool StartInstall(const std::wstring& folder, bool desktopShortcut, bool quickLaunch);
  // The "install" notification: flag 1 starts the job on the progress page.
  void StartJob(qui::WPARAM flag);

  // --- State for tests ------------------------------------------------------
  int CurrentPage() const;
  int StartPage() const { return startPage_; }
  bool IsAlreadyInstalled() const { return alreadyInstalled_; }
  const PackageFacts& Facts() const { return facts_; }
  const std::wstring& AbValue() const { return abValue_; }
  bool DownloaderStartedReported() const { return downloaderStartedReported_; }
  double SmoothedInstallFraction() const { return progress_.Smoothed(); }
  CDownloadInstaller* Job() const { return job_.get(); }
  // Makes the download stopwatch look started `seconds` ago.
  void SetDownloadElapsedForTesting(float seconds);
  // Posts a job event as the job callback does (any thread).
  void PostJobEventForTesting(int32_t code, double number, const std::wstring& text);

 private:
  void FindControls();
  void OnSelectChanged(qui::Notification& msg);
  void OnTabSelect(int page);
  void OnCheckNet(qui::WPARAM result);
  void OnRootTimer(qui::WPARAM id);
  void ShowRunningProductMessage();
  void ShowMessage2(const std::wstring& text);
  void SendInstall(qui::WPARAM flag, bool async);
  // Before a new start: waits (briefly) until a job whose last event was
  // handled has ended.
  void WaitForEndedJob();
  void ReportClick(const std::wstring& name);
  void ReportDownloaderStarted(bool fromDownloadStart);
  void ShowProgress(int percent);
  float DownloadSeconds() const;
  void OnDownloadFailed(const JobEventRecord& record);
  void OnInstallFailed(const JobEventRecord& record);
  void OnUninstallFailed();
  void FinishInstall();
  void LaunchProduct();
  bool RestartFromStartPage();
  void PostJobEvent(int32_t code, double value, const wchar_t* text);

  // Constant after construction.
  const InstallerConfig& config_;
  const MainWndServices services_;

  // Controls (not owned; null when the layout has no such control).
  qui::Control* winCtn_ = nullptr;
  qui::TabLayout* titleTabLt_ = nullptr;
  qui::TabLayout* mainTabLt_ = nullptr;
  qui::Control* titleGrpCtn_ = nullptr;
  qui::Button* defaultInstallBtn_ = nullptr;
  qui::CheckBox* treatyCb_ = nullptr;
  qui::CheckBox* treatyBtn_ = nullptr;
  qui::Button* customeBtn_ = nullptr;
  qui::Control* tipLbl_ = nullptr;
  qui::Button* backBtn_ = nullptr;
  qui::Edit* installDirEdit_ = nullptr;
  qui::Button* chDirBtn_ = nullptr;
  qui::CheckBox* createDSCb_ = nullptr;
  qui::CheckBox* createQSCb_ = nullptr;
  qui::Button* customeInstallBtn_ = nullptr;
  qui::CSequenceLabelUI* progressAnLb_ = nullptr;
  qui::Control* progressLb_ = nullptr;
  qui::Progress* installPrg_ = nullptr;
  qui::Button* openProduceBtn_ = nullptr;
  qui::Control* closeBtn_ = nullptr;

  // UI thread state.
  std::unique_ptr<Utils::Thread> netThread_;
  install::InstallRecords records_;  // recorded folder, uninstaller, administrator facts
  bool alreadyInstalled_ = false;
  int startPage_ = 0;
  PackageFacts facts_;  // target folder and the package's values
  Utils::Stopwatch downloadStopwatch_;
  ProgressModel progress_;
  std::wstring abValue_ = L"IN";
  bool downloaderStartedReported_ = false;
  bool jobEnded_ = false;  // the last event of the current job was handled

  // Records posted but not handled yet (any thread): freed by the destructor
  // when the window goes before their message is handled.
  std::mutex pendingMutex_;
  std::set<JobEventRecord*> pending_;

  // Declared last: destroyed first, so its threads end before the rest goes.
  std::unique_ptr<CDownloadInstaller> job_;
};

// Steps 7 to 11 and 14 of the start-up frame around the window: toolkit and
// skin, the window created, centred and run modally. SIGUSR1 reaches the
// window as message 1224 meanwhile. `afterModal` runs after the modal loop
// while the window object still exists (analytics stop, HTTP clean-up).
// Returns false when the toolkit (a display; QUILLON_HEADLESS=1 gives the
// off-screen host) or the window could not be created.
bool RunMainWindow(const InstallerConfig& config, const std::function<void()>& afterModal);

}  // namespace app
