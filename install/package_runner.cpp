#include "install/package_runner.h"

#include <sys/stat.h>

#include <vector>

#include "install/install_records.h"
#include "install/status_child.h"
#include "install/status_lines.h"
#include "platform/paths.h"
#include "utils/log.h"
#include "utils/process.h"

namespace install {
namespace {

const wchar_t* Flag(bool value) { return value ? L"true" : L"false"; }

std::wstring QuoteIfBlank(const std::wstring& text) {
  if (text.find_first_of(L" \t") == std::wstring::npos) return text;
  return L"\"" + text + L"\"";
}

// A downloaded package (or a copied uninstaller) may lack the execute bit.
void EnsureExecutable(const std::wstring& path) {
  std::string native = platform::NativePath(path);
  struct stat st {};
  if (::stat(native.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
  if ((st.st_mode & S_IXUSR) == 0) ::chmod(native.c_str(), (st.st_mode & 07777) | S_IXUSR);
}

std::wstring Unquote(const std::wstring& text) {
  if (text.size() >= 2 && text.front() == L'"' && text.back() == L'"') {
    return text.substr(1, text.size() - 2);
  }
  return text;
}

}  // namespace

std::wstring BuildInstallCommandLine(const std::wstring& quotedPackagePath,
                                     const PackageOptions& options) {
  std::wstring line = quotedPackagePath;
  line += L" /S -console=show -version=1.0.0";
  line += L" -adminact=";
  line += Flag(options.adminAccount);
  line += L" -authorizationact=";
  line += Flag(options.adminRights);
  line += L" -dsc=";
  line += Flag(options.desktopShortcut);
  line += L" -ssc=";
  line += Flag(options.quickLaunch);
  if (!options.extraOptions.empty()) line += L" " + options.extraOptions;
  if (!options.installDir.empty()) {
    line += L" -instdir=\"" + options.installDir + L"\"";
    line += L" /D=" + options.installDir;
  }
  return line;
}

std::wstring BuildUninstallCommandLine(const std::wstring& uninstallerPath, bool adminAccount,
                                       bool adminRights, const std::wstring& oldInstallDir) {
  return QuoteIfBlank(uninstallerPath) + L" /S -adminact=" + Flag(adminAccount) +
         L" -authorizationact=" + Flag(adminRights) + L" -console=show _?=" +
         QuoteIfBlank(oldInstallDir);
}

}  // namespace install

using install::StatusDecision;
using install::StatusEvent;

// ---------------------------------------------------------------------------
// CPackageRunner

CPackageRunner::CPackageRunner(DownloadEventCallback callback, std::wstring quotedPackagePath,
                               std::wstring installDir)
    : callback_(std::move(callback)), quotedPackagePath_(std::move(quotedPackagePath)) {
  options_.installDir = std::move(installDir);
}

CPackageRunner::~CPackageRunner() { thread_.reset(); }

void CPackageRunner::SetSettings(const std::wstring& installDir, bool desktopShortcut,
                                 bool quickLaunch, bool adminAccount, bool adminRights) {
  std::lock_guard<std::mutex> lock(mutex_);
  options_.installDir = installDir;
  options_.desktopShortcut = desktopShortcut;
  options_.quickLaunch = quickLaunch;
  options_.adminAccount = adminAccount;
  options_.adminRights = adminRights;
}

void CPackageRunner::SetExtraOptions(const std::wstring& extraOptions) {
  std::lock_guard<std::mutex> lock(mutex_);
  options_.extraOptions = extraOptions;
}

install::PackageOptions CPackageRunner::Options() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return options_;
}

std::wstring CPackageRunner::CommandLine() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return commandLine_;
}

void CPackageRunner::Start() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    commandLine_ = install::BuildInstallCommandLine(quotedPackagePath_, options_);
  }
  thread_.reset();  // waits for an earlier run
  thread_ = std::make_unique<Utils::Thread>(nullptr, L"ABDEF", [this](void*) { Run(); });
  thread_->Start();
}

void CPackageRunner::Run() {
  callback_(IST_CODE_START, 0.0, L"");
  std::wstring packagePath = install::Unquote(quotedPackagePath_);
  if (packagePath.empty()) {
    callback_(IST_CODE_FAIL, 1.0, L"");
    return;
  }
  callback_(IST_CODE_PROGRESS, 0.0, L"");
  install::PackageOptions options = Options();
  std::wstring commandLine = CommandLine();
  if (!options.installDir.empty() && !install::IsInstallDirTextSafe(options.installDir)) {
    QLOG(L"refused install folder %ls\r\n", options.installDir.c_str());
    callback_(IST_CODE_FAIL, 2.0, install::kInvalidPathText);
    return;
  }
  install::EnsureExecutable(packagePath);
  install::StatusChild child;
  if (!child.Start(commandLine)) {
    QLOG(L"cannot start %ls\r\n", commandLine.c_str());
    callback_(IST_CODE_FAIL, 2.0, L"");
    return;
  }
  codePage_ = 0;
  StatusDecision decision = install::kStatusNone;
  std::vector<StatusEvent> events;
  child.ReadLines([&](const std::string& raw) {
    if (decision != install::kStatusNone) return;  // decided: only drain the pipe
    events.clear();
    decision = install::ParsePackageStatusLine(install::DecodeStatusLine(raw, codePage_),
                                               &codePage_, &events);
    for (const StatusEvent& e : events) callback_(e.code, e.value, e.text.c_str());
  });
  int status = child.Wait();
  if (decision != install::kStatusNone) return;
  if (status == 0 && !child.KilledBySignal()) {
    callback_(IST_CODE_SUCCESS, 1.0, L"");
  } else {
    QLOG(L"package ended with status %d without a result\r\n", status);
    callback_(IST_CODE_FAIL, static_cast<double>(status), install::kPackageFailedText);
  }
}

// ---------------------------------------------------------------------------
// CUninstallRunner

CUninstallRunner::CUninstallRunner(DownloadEventCallback callback, std::wstring uninstallerPath,
                                   std::wstring oldInstallDir)
    : callback_(std::move(callback)),
      uninstallerPath_(std::move(uninstallerPath)),
      oldInstallDir_(std::move(oldInstallDir)) {}

CUninstallRunner::~CUninstallRunner() { thread_.reset(); }

std::wstring CUninstallRunner::CommandLine() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return commandLine_;
}

void CUninstallRunner::Start() {
  std::wstring user;
  bool adminAccount = Utils::GetActiveSessionUserName(&user) && Utils::IsUserAccountAdmin(user);
  bool adminRights = Utils::IsProcessAdmin();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    commandLine_ = install::BuildUninstallCommandLine(uninstallerPath_, adminAccount, adminRights,
                                                      oldInstallDir_);
  }
  thread_.reset();
  thread_ = std::make_unique<Utils::Thread>(nullptr, L"UnInstaller", [this](void*) { Run(); });
  thread_->Start();
}

void CUninstallRunner::Run() {
  if (uninstallerPath_.empty() || !platform::IsRegularFile(uninstallerPath_)) {
    callback_(UNIST_CODE_FAIL, 1.0, install::kUninstallerMissingText);
    return;
  }
  callback_(UNIST_CODE_PROGRESS, 0.0, L"");
  if (!install::IsInstallDirTextSafe(oldInstallDir_) ||
      !install::IsInstallDirTextSafe(uninstallerPath_)) {
    QLOG(L"refused uninstall of %ls\r\n", oldInstallDir_.c_str());
    callback_(UNIST_CODE_FAIL, 2.0, L"");
    return;
  }
  install::EnsureExecutable(uninstallerPath_);
  std::wstring commandLine = CommandLine();
  install::StatusChild child;
  if (!child.Start(commandLine)) {
    QLOG(L"cannot start %ls\r\n", commandLine.c_str());
    callback_(UNIST_CODE_FAIL, 2.0, L"");
    return;
  }
  codePage_ = 0;
  StatusDecision decision = install::kStatusNone;
  std::vector<StatusEvent> events;
  child.ReadLines([&](const std::string& raw) {
    // After a success the job has moved on to the download: later lines are
    // only drained. After a failure the uninstaller is still followed (its
    // progress and further errors are reported), but nothing it prints can
    // turn the failed run into a success.
    if (decision == install::kStatusSuccess) return;
    events.clear();
    StatusDecision line = install::ParseUninstallStatusLine(
        install::DecodeStatusLine(raw, codePage_), &codePage_, &events);
    for (const StatusEvent& e : events) {
      if (decision == install::kStatusFailure && e.code == UNIST_CODE_SUCCESS) continue;
      callback_(e.code, e.value, e.text.c_str());
    }
    if (decision == install::kStatusNone) decision = line;
  });
  int status = child.Wait();
  if (decision != install::kStatusNone) return;
  if (status == 0 && !child.KilledBySignal()) {
    callback_(UNIST_CODE_SUCCESS, 1.0, L"");
  } else {
    QLOG(L"uninstaller ended with status %d without a result\r\n", status);
    callback_(UNIST_CODE_ERROR, static_cast<double>(status), install::kUninstallFailedText);
  }
}
