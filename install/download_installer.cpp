#include "install/download_installer.h"

#include <filesystem>
#include <system_error>

#include "app/config/installer_config.h"
#include "download/create_downloader.h"
#include "install/install_records.h"
#include "platform/paths.h"
#include "utils/files.h"
#include "utils/log.h"

namespace {

// The package path of the last cleanup; lives until the process ends.
std::mutex& RememberedMutex() {
  static std::mutex mutex;
  return mutex;
}
std::wstring& RememberedPackagePath() {
  static std::wstring* path = new std::wstring();  // never destroyed: outlives every job
  return *path;
}

// The stage handlers' records carry the handler's name qualified by the
// operation that installs them.
constexpr char kOnDownloadEvent[] = "CDownloadInstaller::Start::OnDownloadEvent";
constexpr char kOnUninstallEvent[] = "CDownloadInstaller::Start::OnUninstallEvent";
constexpr char kOnInstallEvent[] = "CDownloadInstaller::Start::OnInstallEvent";
#define HANDLER_LOG(handler, format) ::Utils::DiagnosticLogWrite(handler, __LINE__, format)

void RemoveFile(const std::wstring& path) {
  if (path.empty()) return;
  std::error_code ec;
  std::filesystem::remove(platform::NativePath(path), ec);
}

// Copies the old uninstaller over an earlier copy. An earlier copy is removed
// first, so a failed copy never leaves a stale program to run.
bool CopyUninstaller(const std::wstring& from, const std::wstring& to) {
  if (to.empty()) return false;
  RemoveFile(to);
  std::error_code ec;
  std::filesystem::copy_file(platform::NativePath(from), platform::NativePath(to),
                             std::filesystem::copy_options::overwrite_existing, ec);
  if (ec) return false;
  std::filesystem::permissions(platform::NativePath(to), std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  return true;
}

}  // namespace

CDownloadInstaller::CDownloadInstaller(DownloadEventCallback windowCallback,
                                       std::wstring packageUrl, std::wstring oldUninstallerPath,
                                       std::wstring installDir, bool desktopShortcut,
                                       bool quickLaunch, bool adminAccount)
    : windowCallback_(std::move(windowCallback)),
      packageUrl_(std::move(packageUrl)),
      oldUninstallerPath_(std::move(oldUninstallerPath)),
      installDir_(std::move(installDir)),
      desktopShortcut_(desktopShortcut),
      quickLaunch_(quickLaunch),
      adminAccount_(adminAccount) {}

CDownloadInstaller::~CDownloadInstaller() {
  // Each stage may start the next one from its own thread: the uninstaller
  // starts the downloader, the downloader starts the package runner (and
  // itself again on a retry). From here on no stage starts another; then
  // they are joined in chain order, each while the ones it could call still
  // exist.
  {
    std::lock_guard<std::mutex> lock(stageMutex_);
    closing_ = true;
  }
  uninstallRunner_.reset();
  downloader_.reset();
  packageRunner_.reset();
}

void CDownloadInstaller::Init(const std::wstring& packageUrl,
                              const std::wstring& oldUninstallerPath,
                              const std::wstring& installDir, bool desktopShortcut,
                              bool quickLaunch, bool adminAccount, bool adminRights) {
  std::lock_guard<std::mutex> lock(mutex_);
  packageUrl_ = packageUrl;
  oldUninstallerPath_ = oldUninstallerPath;
  installDir_ = installDir;
  desktopShortcut_ = desktopShortcut;
  quickLaunch_ = quickLaunch;
  adminAccount_ = adminAccount;
  adminRights_ = adminRights;
}

std::wstring CDownloadInstaller::GetPackagePath() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return platform::JoinPath(installDir_,
                            L"__Package_" + InstallerConfig::Instance().AppName + L".exe");
}

std::wstring CDownloadInstaller::CurrentPackagePath() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return packagePath_;
}

bool CDownloadInstaller::IsRunning() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return running_;
}

std::wstring CDownloadInstaller::RememberedPackagePathForTesting() {
  std::lock_guard<std::mutex> lock(RememberedMutex());
  return RememberedPackagePath();
}

void CDownloadInstaller::Start() {
  const InstallerConfig& config = InstallerConfig::Instance();
  std::wstring packagePath = GetPackagePath();
  std::wstring url, oldUninstaller, installDir;
  bool dsc, ssc, adminAccount, adminRights;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (running_) {
      QLOG(L"a job is already running\r\n");
      return;
    }
  }
  // An uninstaller that failed in the previous job may still be reporting:
  // wait for it, so that none of its events reaches the new job.
  uninstallRunner_.reset();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    running_ = true;
    packagePath_ = packagePath;
    url = packageUrl_;
    oldUninstaller = oldUninstallerPath_;
    installDir = installDir_;
    dsc = desktopShortcut_;
    ssc = quickLaunch_;
    adminAccount = adminAccount_;
    adminRights = adminRights_;
  }
  QLOG(L"DL_TYPE=%d\r\n", config.DownloadType);

  // Parts are kept between jobs so that a retry resumes the partial package,
  // but only while they serve the same package: a retry in another folder (or
  // from another address) must not fill the folder the user gave up.
  if (downloader_ && (downloaderUrl_ != url || downloaderPath_ != packagePath)) {
    QLOG(L"package moved: new downloader and package runner\r\n");
    downloader_.reset();
    packageRunner_.reset();
  }
  if (!downloader_) {
    downloaderUrl_ = url;
    downloaderPath_ = packagePath;
    downloader_ = CreateDownloader(
        config.DownloadType,
        [this](int32_t code, double value, const wchar_t* text) {
          OnDownloadEvent(code, value, text);
        },
        url, packagePath);
  }
  if (!packageRunner_) {
    packageRunner_ = std::make_unique<CPackageRunner>(
        [this](int32_t code, double value, const wchar_t* text) {
          OnInstallEvent(code, value, text);
        },
        L"\"" + packagePath + L"\"", installDir);
  }
  packageRunner_->SetSettings(installDir, dsc, ssc, adminAccount, adminRights);
  packageRunner_->SetExtraOptions(config.InstCmd);

  if (!oldUninstaller.empty() && platform::IsRegularFile(oldUninstaller)) {
    std::wstring workDir = Utils::GetTempWorkDir();
    std::wstring copyPath = workDir.empty()
                                ? std::wstring()
                                : platform::JoinPath(workDir, install::kUninstallerCopyName);
    std::wstring oldInstallDir = platform::DirName(oldUninstaller);
    if (!CopyUninstaller(oldUninstaller, copyPath)) {
      QLOG(L"cannot copy the uninstaller %ls\r\n", oldUninstaller.c_str());
    }
    uninstallRunner_ = std::make_unique<CUninstallRunner>(
        [this](int32_t code, double value, const wchar_t* text) {
          OnUninstallEvent(code, value, text);
        },
        copyPath, oldInstallDir);
    uninstallRunner_->Start();
    return;
  }
  downloader_->Start();
}

void CDownloadInstaller::OnDownloadEvent(int32_t code, double value, const wchar_t* text) {
  windowCallback_(code, value, text);
  switch (code) {
    case DL_CODE_START: {
      std::wstring installDir;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        installDir = installDir_;
      }
      Utils::CreateDirectoryTree(installDir);
      HANDLER_LOG(kOnDownloadEvent, L"DL_CODE_START\r\n");
      break;
    }
    case DL_CODE_PROGRESS:
      HANDLER_LOG(kOnDownloadEvent, L"DL_CODE_PROGRESS\r\n");
      break;
    case DL_CODE_SUCCESS:
      HANDLER_LOG(kOnDownloadEvent, L"DOWNLOAD_SUCCESS\r\n");
      StartStage([this] { packageRunner_->Start(); });
      HANDLER_LOG(kOnDownloadEvent, L"DL_CODE_SUCCESS\r\n");
      break;
    case DL_CODE_FAIL:
      CleanUpPackage();
      HANDLER_LOG(kOnDownloadEvent, L"DL_CODE_FAIL\r\n");
      EndJob();
      break;
    case DL_CODE_RETRY:
      HANDLER_LOG(kOnDownloadEvent, L"DL_CODE_RETRY\r\n");
      StartStage([this] { downloader_->Start(); });
      break;
    default:
      break;
  }
}

void CDownloadInstaller::OnUninstallEvent(int32_t code, double value, const wchar_t* text) {
  windowCallback_(code, value, text);
  switch (code) {
    case UNIST_CODE_START:
      HANDLER_LOG(kOnUninstallEvent, L"UNIST_CODE_START\r\n");
      break;
    case UNIST_CODE_PROGRESS:
      HANDLER_LOG(kOnUninstallEvent, L"UNIST_CODE_PROGRESS\r\n");
      break;
    case UNIST_CODE_SUCCESS:
      HANDLER_LOG(kOnUninstallEvent, L"UNIST_CODE_SUCCESS\r\n");
      if (packageRunner_) StartStage([this] { downloader_->Start(); });
      break;
    case UNIST_CODE_FAIL:
      HANDLER_LOG(kOnUninstallEvent, L"UNIST_CODE_FAIL\r\n");
      EndJob();
      break;
    case UNIST_CODE_ERROR:
      HANDLER_LOG(kOnUninstallEvent, L"UNIST_CODE_ERROR\r\n");
      EndJob();
      break;
    default:
      break;
  }
}

void CDownloadInstaller::OnInstallEvent(int32_t code, double value, const wchar_t* text) {
  windowCallback_(code, value, text);
  switch (code) {
    case IST_CODE_START:
      HANDLER_LOG(kOnInstallEvent, L"IST_CODE_START\r\n");
      break;
    case IST_CODE_SUCCESS:
      CleanUpPackage();
      HANDLER_LOG(kOnInstallEvent, L"INSTALL_SUCCESS\r\n");
      EndJob();
      break;
    case IST_CODE_FAIL:
      CleanUpPackage();
      HANDLER_LOG(kOnInstallEvent, L"IST_CODE_FAIL\r\n");
      EndJob();
      break;
    default:
      break;
  }
}

void CDownloadInstaller::StartStage(const std::function<void()>& start) {
  // Each Start() returns at once (the stage runs on its own thread), so the
  // lock is held only briefly; it keeps the destructor from taking the stage
  // away in between.
  std::lock_guard<std::mutex> lock(stageMutex_);
  if (closing_) {
    QLOG(L"closing: next stage not started\r\n");
    return;
  }
  start();
}

void CDownloadInstaller::CleanUpPackage() {
  std::wstring current = CurrentPackagePath();
  RemoveFile(current);
  std::lock_guard<std::mutex> lock(RememberedMutex());
  std::wstring& remembered = RememberedPackagePath();
  if (!remembered.empty()) RemoveFile(remembered);
  remembered = current;
}

void CDownloadInstaller::EndJob() {
  std::lock_guard<std::mutex> lock(mutex_);
  running_ = false;
}
