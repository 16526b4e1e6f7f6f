#include "app/main_wnd.h"

#include <chrono>
#include <thread>
#include <utility>

#include "app/config/installer_config.h"
#include "app/signals.h"
#include "install/download_installer.h"
#include "install/install_records.h"
#include "platform/paths.h"
#include "platform/shell.h"
#include "skin/embedded_skin.h"
#include "tracker/analytics_bridge.h"
#include "ui/message_box_wnd.h"
#include "ui/message_pump.h"
#include "ui/toolkit.h"
#include "utils/files.h"
#include "utils/log.h"

namespace app {

namespace {

constexpr wchar_t kCaptionHint[] = L"温馨提示";
constexpr wchar_t kRunningProductText[] =
    L"安装程序检测到Quillon助手\r\n正在运行，请退出程序后再安装";
constexpr wchar_t kLowDiskText[] = L"当前磁盘剩余空间低于1GB，请修改安装路径";
constexpr wchar_t kPoorNetworkText[] = L"当前网络环境较差，请在网络通畅时进行安装";
constexpr wchar_t kFolderPickerTitle[] = L"选择一个文件夹";
constexpr wchar_t kInstallFailedText[] = L"安装失败";
constexpr wchar_t kPageBackgrounds[4][24] = {L"res\\mainWnd\\bg1.png", L"res\\mainWnd\\bg2.png",
                                             L"res\\mainWnd\\bg3.png", L"res\\mainWnd\\bg4.png"};
constexpr wchar_t kFinishedFillImage[] = L"res\\mainWnd\\installPrg3.png";
constexpr double kOneGigabyte = 1073741824.0;

constexpr int kPageQuick = 0;
constexpr int kPageCustom = 1;
constexpr int kPageProgress = 2;
constexpr int kPageFinished = 3;

}  // namespace

MainWndServices MainWndServices::Default() {
  MainWndServices services;
  services.checkNetwork = [] { return Utils::CheckNetwork(); };
  services.freeBytes = [](const std::wstring& folder) -> uint64_t {
    Utils::HardDiskManager disk;
    disk.CheckFreeSpace(folder);  // a failed query leaves 0
    return disk.FreeBytesAvailable();
  };
  services.openUrl = [](const std::wstring& url) { platform::OpenUrl(url); };
  services.launchProgram = [](const std::wstring& program) { platform::LaunchProgram(program); };
  return services;
}

CMainWnd::CMainWnd(const InstallerConfig& config, MainWndServices services)
    : CSkinFrame(qui::ResourceKind::kArchiveResource, qui::kSkinResourceId, L"", L"MainWnd.xml",
                 L"MainWnd"),
      config_(config),
      services_(std::move(services)),
      progress_(config.DownloadScale) {}

CMainWnd::~CMainWnd() {
  // The job's threads may still post; end them while the window exists.
  job_.reset();
  netThread_.reset();
  std::lock_guard<std::mutex> lock(pendingMutex_);
  for (JobEventRecord* record : pending_) delete record;
  pending_.clear();
}

// ---------------------------------------------------------------------------
// Start-up

void CMainWnd::InitWindow() {
  CSkinFrame::InitWindow();
  SetWindowStyle((GetWindowStyle() & ~(qui::WS_CAPTION | qui::WS_MAXIMIZEBOX)) |
                 qui::WS_CLIPSIBLINGS | qui::WS_CLIPCHILDREN);
  SetWindowExStyle(GetWindowExStyle() & ~qui::WS_EX_TOPMOST);
  SetIcon(qui::kIconResourceId);
  FindControls();

  job_ = std::make_unique<CDownloadInstaller>(
      [this](int32_t code, double value, const wchar_t* text) { PostJobEvent(code, value, text); },
      L"", L"", L"", true, true, true);

  install::ReadInstallRecords(&records_);
  alreadyInstalled_ = records_.AlreadyInstalled();
  const std::wstring defaultDir = install::GetDefaultInstallDir(&records_);
  if (installDirEdit_) installDirEdit_->SetText(defaultDir);
  CenterWindow();

  if (!alreadyInstalled_) return;
  if (install::FindProcessId(install::kProductExeName) != 0) {
    ShowRunningProductMessage();
    Close(1);
    return;
  }
  switch (ShowPrompt(this, L"InstalledPathTipWnd.xml")) {
    case kPromptOk:
      StartInstall(records_.installDir, true, true);
      break;
    case kPromptCancel:
      services_.launchProgram(platform::JoinPath(records_.installDir, install::kProductExeName));
      Close(1);
      break;
    default:
      Close(1);
      break;
  }
}

void CMainWnd::FindControls() {
  winCtn_ = FindControl(L"winCtn");
  titleTabLt_ = FindControlAs<qui::TabLayout>(L"titleTabLt");
  mainTabLt_ = FindControlAs<qui::TabLayout>(L"mainTabLt");
  titleGrpCtn_ = FindControl(L"titleGrpCtn");
  defaultInstallBtn_ = FindControlAs<qui::Button>(L"defaultInstallBtn");
  treatyCb_ = FindControlAs<qui::CheckBox>(L"treatyCb");
  treatyBtn_ = FindControlAs<qui::CheckBox>(L"treatyBtn");
  customeBtn_ = FindControlAs<qui::Button>(L"customeBtn");
  tipLbl_ = FindControl(L"tipLbl");
  backBtn_ = FindControlAs<qui::Button>(L"backBtn");
  installDirEdit_ = FindControlAs<qui::Edit>(L"installDirEdit");
  chDirBtn_ = FindControlAs<qui::Button>(L"chDirBtn");
  createDSCb_ = FindControlAs<qui::CheckBox>(L"createDSCb");
  createQSCb_ = FindControlAs<qui::CheckBox>(L"createQSCb");
  customeInstallBtn_ = FindControlAs<qui::Button>(L"customeInstallBtn");
  progressAnLb_ = FindControlAs<qui::CSequenceLabelUI>(L"progressAnLb");
  progressLb_ = FindControl(L"progressLb");
  installPrg_ = FindControlAs<qui::Progress>(L"installPrg");
  openProduceBtn_ = FindControlAs<qui::Button>(L"openProduceBtn");
  closeBtn_ = FindControl(L"closebtn");
}

std::unique_ptr<qui::Control> CMainWnd::CreateControl(const std::wstring& tag) {
  if (qui::EqualsNoCase(tag, L"SequenceButton")) return std::make_unique<qui::CSequenceButtonUI>();
  if (qui::EqualsNoCase(tag, L"SequenceLabel")) return std::make_unique<qui::CSequenceLabelUI>();
  return nullptr;
}

// ---------------------------------------------------------------------------
// Notifications and messages

void CMainWnd::Notify(qui::Notification& msg) {
  if (msg.type == L"selectchanged") {
    OnSelectChanged(msg);
  } else if (msg.type == L"tabselect") {
    if (mainTabLt_ && msg.sender == mainTabLt_) OnTabSelect(static_cast<int>(msg.wParam));
  } else if (msg.type == L"checknet") {
    OnCheckNet(msg.wParam);
  } else if (msg.type == L"install") {
    StartJob(msg.wParam);
  } else if (msg.type == L"timer") {
    if (msg.sender == GetRoot()) OnRootTimer(msg.wParam);
  }
  CSkinFrame::Notify(msg);
}

void CMainWnd::OnSelectChanged(qui::Notification& msg) {
  if (!treatyCb_) return;
  if (msg.sender == treatyCb_) {
    const bool agreed = treatyCb_->IsSelected();
    if (treatyBtn_) treatyBtn_->Selected(agreed, true);
    if (customeBtn_) customeBtn_->SetEnabled(agreed);
    if (agreed && tipLbl_) tipLbl_->SetVisible(false);
  } else if (treatyBtn_ && msg.sender == treatyBtn_) {
    // The link never changes state on its own.
    if (treatyBtn_->IsSelected() != treatyCb_->IsSelected()) {
      treatyBtn_->Selected(treatyCb_->IsSelected(), true);
    }
  }
}

void CMainWnd::OnTabSelect(int page) {
  const bool known = page >= kPageQuick && page <= kPageFinished;
  if (winCtn_) {
    winCtn_->SetBkImage(kPageBackgrounds[known ? page : 0]);
    winCtn_->Invalidate();
  }
  if (titleTabLt_) {
    if (page == kPageQuick || page == kPageCustom) {
      titleTabLt_->SelectItem(1, false);
    } else if (page == kPageFinished) {
      titleTabLt_->SelectItem(2, false);
    } else if (!known) {
      titleTabLt_->SelectItem(0, false);
    }
  }
  if (progressAnLb_) {
    if (page == kPageProgress) progressAnLb_->Start();
    if (page == kPageFinished) progressAnLb_->KillTimer(qui::kAnimationTimerId);
  }
  if (titleGrpCtn_) titleGrpCtn_->SetVisible(page != kPageProgress);
  if (backBtn_) backBtn_->SetVisible(page == kPageCustom);
}

void CMainWnd::OnRootTimer(qui::WPARAM id) {
  if (id == static_cast<qui::WPARAM>(kTimerBringToFront)) {
    BringToFront();
    GetRoot()->KillTimer(kTimerBringToFront);
  } else if (id == static_cast<qui::WPARAM>(kTimerClose)) {
    GetRoot()->KillTimer(kTimerClose);
    Close(1);
  }
}

void CMainWnd::OnClick(qui::Notification& msg) {
  qui::Control* sender = msg.sender;
  if (!sender) return CSkinFrame::OnClick(msg);
  const std::wstring& name = sender->GetName();
  if (name == L"defaultInstallBtn") {
    ReportClick(L"立即安装");
    if (treatyCb_ && treatyCb_->IsSelected()) {
      StartInstall(install::GetDefaultInstallDir(&records_), true, true);
    } else if (tipLbl_) {
      tipLbl_->SetVisible(true);
    }
  } else if (name == L"customeBtn") {
    ReportClick(L"自定义安装");
    if (mainTabLt_) mainTabLt_->SelectItem(kPageCustom, true);
    if (customeInstallBtn_) customeInstallBtn_->SetFocus();
  } else if (name == L"treatyBtn") {
    services_.openUrl(kTermsPageUrl);
  } else if (name == L"backBtn") {
    if (mainTabLt_) mainTabLt_->SelectItem(kPageQuick, true);
  } else if (name == L"chDirBtn") {
    std::optional<std::wstring> folder = BrowseForFolder(kFolderPickerTitle);
    if (folder && installDirEdit_) installDirEdit_->SetText(*folder);
  } else if (name == L"customeInstallBtn") {
    ReportClick(L"自定义安装_立即安装");
    const std::wstring text = installDirEdit_ ? installDirEdit_->GetText() : std::wstring();
    StartInstall(install::ResolveInstallDir(&records_, text),
                 createDSCb_ ? createDSCb_->IsSelected() : false,
                 createQSCb_ ? createQSCb_->IsSelected() : false);
  } else if (name == L"openProduceBtn") {
    ReportClick(L"立即体验");
    if (facts_.startupStyle == 2) LaunchProduct();
    Close(1);
  } else if (name == L"closebtn") {
    if (CurrentPage() == kPageFinished) {
      Close(1);
    } else if (ShowPrompt(this, L"ExitTipWnd.xml") == kPromptOk) {
      Close(1);
    }
  } else {
    CSkinFrame::OnClick(msg);
  }
}

qui::LRESULT CMainWnd::HandleMessage(qui::UINT msg, qui::WPARAM wParam, qui::LPARAM lParam) {
  // No way out while the job runs: neither the close button nor Alt+F4.
  if (msg == qui::WM_CLOSE && CurrentPage() == kPageProgress) return 0;
  if (msg == kMsgDownloaderStarted) ReportDownloaderStarted(false);
  return CSkinFrame::HandleMessage(msg, wParam, lParam);
}

qui::LRESULT CMainWnd::OnSysCommand(qui::UINT msg, qui::WPARAM wParam, qui::LPARAM lParam,
                                    bool& handled) {
  return CSkinFrame::OnSysCommand(msg, wParam, lParam, handled);
}

qui::LRESULT CMainWnd::HandleCustomMessage(qui::UINT msg, qui::WPARAM wParam, qui::LPARAM lParam,
                                           bool& handled) {
  if (msg == qui::WM_TIMER) {
    handled = true;
    return OnTimerHook(wParam);
  }
  if (msg == kMsgJobEvent) {
    handled = true;
    OnJobEvent(reinterpret_cast<JobEventRecord*>(lParam));
    return 0;
  }
  return CSkinFrame::HandleCustomMessage(msg, wParam, lParam, handled);
}

qui::LRESULT CMainWnd::OnTimerHook(qui::WPARAM) { return 0; }

int CMainWnd::CurrentPage() const { return mainTabLt_ ? mainTabLt_->GetCurSel() : -1; }

// ---------------------------------------------------------------------------
// Starting a job

void CMainWnd::ShowRunningProductMessage() {
  ShowPrompt(this, L"MessageBox1Wnd.xml", std::wstring(kRunningProductText),
             std::wstring(kCaptionHint));
}

void CMainWnd::ShowMessage2(const std::wstring& text) {
  ShowPrompt(this, L"MessageBox2Wnd.xml", text, std::wstring(kCaptionHint));
}

void CMainWnd::SendInstall(qui::WPARAM flag, bool async) {
  GetPaintManager().SendNotify(nullptr, L"install", flag, 0, async);
}

bool CMainWnd::StartInstall(const std::wstring& folder, bool desktopShortcut, bool quickLaunch) {
  if (install::FindProcessId(kProductUninstallerProcess) != 0) {
    ShowRunningProductMessage();
    if (alreadyInstalled_) Close(1);
    return false;
  }
  if (install::FindProcessId(install::kProductExeName) != 0) {
    ShowRunningProductMessage();
    Close(1);
    return false;
  }
  if (customeInstallBtn_) customeInstallBtn_->SetEnabled(false);

  // A folder text that cannot travel safely on the package's command line is
  // refused like a folder that cannot be created.
  if (!install::IsInstallDirTextSafe(folder) || !Utils::CreateDirectoryTree(folder)) {
    ShowMessage2(install::kInvalidPathText);
    SendInstall(0, false);
    return false;
  }
  if (static_cast<double>(services_.freeBytes(folder)) / kOneGigabyte < 1.0) {
    ShowMessage2(kLowDiskText);
    SendInstall(0, false);
    return false;
  }

  facts_.targetFolder = folder;
  const std::wstring uninstaller =
      install::IsOverrideForbidden(records_, folder) ? std::wstring() : records_.uninstallerPath;
  job_->Init(config_.DownloadUrl, uninstaller, folder, desktopShortcut, quickLaunch,
             records_.consoleUserIsAdmin, records_.processIsAdmin);

  if (config_.IsCheckNet) {
    netThread_.reset();  // joins an earlier test
    netThread_ = std::make_unique<Utils::Thread>(this, L"ABDEF", [](void* argument) {
      auto* self = static_cast<CMainWnd*>(argument);
      const uint32_t result = self->services_.checkNetwork();
      self->GetPaintManager().SendNotify(nullptr, L"checknet", result, 0, true);
    });
    netThread_->Start();
  } else {
    SendInstall(1, true);
  }
  return true;
}

void CMainWnd::OnCheckNet(qui::WPARAM result) {
  const bool usable = ((static_cast<uint32_t>(result) >> 16) & 0xFFFF) == 0;
  if (!usable) ShowMessage2(kPoorNetworkText);
  SendInstall(usable ? 1 : 0, false);
}

void CMainWnd::StartJob(qui::WPARAM flag) {
  if (flag != 0) {
    if (mainTabLt_) {
      startPage_ = mainTabLt_->GetCurSel();
      mainTabLt_->SelectItem(kPageProgress, true);
    }
    analytics::ReportView(analytics::ExtraProperties{{L"AB", abValue_}});
    WaitForEndedJob();
    job_->Start();
  }
  if (customeInstallBtn_) customeInstallBtn_->SetEnabled(true);
}

void CMainWnd::WaitForEndedJob() {
  if (!jobEnded_) return;
  jobEnded_ = false;
  // The job sends its last event before it has removed the package and marked
  // itself ended; a restart chosen at once would otherwise be ignored and
  // leave the window on the progress page for good. Those last steps are
  // short, so the wait is too.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (job_->IsRunning() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

void CMainWnd::ReportClick(const std::wstring& name) {
  analytics::ReportClick(name, analytics::ExtraProperties{{L"AB", abValue_}});
}

// ---------------------------------------------------------------------------
// Job events

void CMainWnd::PostJobEvent(int32_t code, double value, const wchar_t* text) {
  auto record = std::make_unique<JobEventRecord>();
  record->code = code;
  record->number = value;
  record->text = text ? text : L"";
  JobEventRecord* raw = record.release();
  {
    std::lock_guard<std::mutex> lock(pendingMutex_);
    pending_.insert(raw);
  }
  if (!PostMessage(kMsgJobEvent, 0, reinterpret_cast<qui::LPARAM>(raw))) {
    // The window is gone: the record is freed here rather than lost.
    std::lock_guard<std::mutex> lock(pendingMutex_);
    if (pending_.erase(raw) != 0) delete raw;
  }
}

void CMainWnd::PostJobEventForTesting(int32_t code, double number, const std::wstring& text) {
  PostJobEvent(code, number, text.c_str());
}

void CMainWnd::SetDownloadElapsedForTesting(float seconds) {
  downloadStopwatch_.StartAtTickForTesting(Utils::Stopwatch::TickCount() -
                                           static_cast<uint32_t>(seconds * 1000.0f));
}

float CMainWnd::DownloadSeconds() const {
  return downloadStopwatch_.IsRunning() ? downloadStopwatch_.Elapsed() : 0.0f;
}

void CMainWnd::ReportDownloaderStarted(bool fromDownloadStart) {
  if (downloaderStartedReported_) return;
  downloaderStartedReported_ = true;
  if (fromDownloadStart) abValue_ = config_.AbGroup;
  ReportJobTask(L"下载器启动", 0.0f, L"", abValue_);
}

void CMainWnd::ShowProgress(int percent) {
  const std::wstring format = progressLb_ ? progressLb_->GetUserData() : std::wstring();
  const std::wstring text = FormatProgressText(format, DownloadSeconds(), percent);
  if (progressLb_) progressLb_->SetText(text);
  if (installPrg_) installPrg_->SetValue(percent);
}

void CMainWnd::OnJobEvent(JobEventRecord* raw) {
  if (!raw) return;
  {
    std::lock_guard<std::mutex> lock(pendingMutex_);
    pending_.erase(raw);
  }
  std::unique_ptr<JobEventRecord> record(raw);
  switch (record->code) {
    case DL_CODE_FAIL:
    case IST_CODE_SUCCESS:
    case IST_CODE_FAIL:
    case UNIST_CODE_FAIL:
    case UNIST_CODE_ERROR:
      jobEnded_ = true;  // the job's last event
      break;
    default:
      break;
  }
  switch (record->code) {
    case DL_CODE_START:
      ReportDownloaderStarted(true);
      if (!downloadStopwatch_.IsRunning()) downloadStopwatch_.Start();
      ReportJobTask(L"开始下载大包", 0.0f, L"", abValue_);
      break;
    case DL_CODE_PROGRESS:
      ShowProgress(progress_.DownloadPercent(record->number));
      break;
    case DL_CODE_SUCCESS:
      ReportJobTask(L"大包下载完毕", DownloadSeconds(), L"", abValue_);
      break;
    case DL_CODE_FAIL:
      OnDownloadFailed(*record);
      break;
    case DL_CODE_MESSAGE:
      ReportJobTask(L"下载失败原因", 0.0f, FormatTextFailureReason(record->number, record->text),
                    abValue_);
      break;
    case IST_CODE_START:
      install::WriteProductSetIni(facts_.targetFolder);
      break;
    case IST_CODE_PROGRESS:
      ShowProgress(progress_.InstallPercent(record->number));
      break;
    case IST_CODE_SUCCESS:
      FinishInstall();
      break;
    case IST_CODE_FAIL:
      OnInstallFailed(*record);
      break;
    case IST_INFO_MESSAGE:
      ShowPrompt(this, L"MessageBox1Wnd.xml", record->text, std::wstring(L"消息"));
      break;
    case UNIST_CODE_FAIL:
    case UNIST_CODE_ERROR:
      OnUninstallFailed();
      break;
    default:
      facts_.Apply(record->code, record->number, record->text);  // other codes are dropped
      break;
  }
}

void CMainWnd::OnDownloadFailed(const JobEventRecord& record) {
  const std::wstring reason = BuildDownloadFailureReason(
      record.number, record.text, job_->GetPackagePath(), services_.checkNetwork());
  ReportJobTask(L"下载失败原因", 0.0f, reason, abValue_);
  switch (ShowPrompt(this, L"NetworkTipWnd.xml")) {
    case kPromptOk:
      RestartFromStartPage();
      break;
    case kPromptCancel:
      if (alreadyInstalled_) Close(1);
      break;
    default:
      break;
  }
  if (mainTabLt_) mainTabLt_->SelectItem(startPage_, true);
}

bool CMainWnd::RestartFromStartPage() {
  if (startPage_ == kPageCustom) {
    const std::wstring text = installDirEdit_ ? installDirEdit_->GetText() : std::wstring();
    return StartInstall(install::ResolveInstallDir(&records_, text),
                        createDSCb_ ? createDSCb_->IsSelected() : false,
                        createQSCb_ ? createQSCb_->IsSelected() : false);
  }
  return StartInstall(install::GetDefaultInstallDir(&records_), true, true);
}

void CMainWnd::OnInstallFailed(const JobEventRecord& record) {
  ReportJobTask(L"安装失败原因", 0.0f, FormatTextFailureReason(record.number, record.text),
                abValue_);
  ShowMessage2(record.text.empty() ? std::wstring(kInstallFailedText) : record.text);
  if (installPrg_ && installPrg_->GetValue() >= kProgressResetThreshold) {
    if (progressLb_) progressLb_->SetText(kProgressResetText);
    installPrg_->SetValue(0);
  }
  if (mainTabLt_) mainTabLt_->SelectItem(kPageQuick, true);
}

void CMainWnd::OnUninstallFailed() {
  ShowRunningProductMessage();
  if (mainTabLt_) mainTabLt_->SelectItem(startPage_, true);
  if (alreadyInstalled_) Close(1);
}

void CMainWnd::FinishInstall() {
  ReportJobTask(L"安装成功", DownloadSeconds(), L"", abValue_);
  if (installPrg_) {
    installPrg_->SetValue(100);
    const std::wstring onDisk =
        platform::JoinPath(GetPaintManager().GetResourcePath(), L"res/mainWnd/installPrg3.png");
    if (platform::IsRegularFile(onDisk)) {
      installPrg_->SetForeImage(kFinishedFillImage);
      installPrg_->Invalidate();
    }
  }
  if (mainTabLt_) mainTabLt_->SelectItem(kPageFinished, true);
  install::WriteInstallRecords(facts_.targetFolder, facts_.uninstallerPath);
  install::WriteProductSetIni(facts_.targetFolder);
  if (facts_.startupStyle == 1) LaunchProduct();
  // A delay of 4294967295 ms (the package's "-1") never fires.
  if (facts_.bringToFrontDelayMs != 0 && facts_.bringToFrontDelayMs != kNeverFires) {
    GetRoot()->SetTimer(kTimerBringToFront, facts_.bringToFrontDelayMs);
  }
  if (facts_.closeDelayMs != 0 && facts_.closeDelayMs != kNeverFires) {
    GetRoot()->SetTimer(kTimerClose, facts_.closeDelayMs);
  }
}

void CMainWnd::LaunchProduct() {
  if (facts_.productPageUrl.size() > 5) services_.openUrl(facts_.productPageUrl);
  if (!facts_.productExePath.empty() && platform::IsRegularFile(facts_.productExePath)) {
    Utils::PumpMessagesBriefly(this);
    services_.launchProgram(facts_.productExePath);
  }
}

// ---------------------------------------------------------------------------
// The window around the modal loop

bool RunMainWindow(const InstallerConfig& config, const std::function<void()>& afterModal) {
  // Only a real window will do: without a display the program must not sit
  // in an invisible off-screen window (QUILLON_HEADLESS=1 asks for one in tests).
  const bool headless = platform::GetEnv("QUILLON_HEADLESS") == "1";
  if (!qui::Toolkit::Initialize(headless ? qui::HostKind::kHeadless : qui::HostKind::kGtk)) {
    afterModal();
    return false;
  }
  skin::RegisterEmbeddedSkin();
  CMainWnd window(config);
  bool created = window.Create(nullptr, InstallerConfig::kDisplayName,
                               qui::WS_VISIBLE | qui::WS_OVERLAPPEDWINDOW, 0);
  if (created) {
    SetDownloaderStartedHandler([&window] { window.PostMessage(kMsgDownloaderStarted); });
    window.CenterWindow();
    window.ShowModal();
    SetDownloaderStartedHandler(nullptr);
  } else {
    QLOG(L"main window could not be created\r\n");
  }
  afterModal();
  return created;
}

}  // namespace app
