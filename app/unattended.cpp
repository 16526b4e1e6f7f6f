#include "app/unattended.h"

#include <glib.h>

#include <cstdio>
#include <deque>
#include <mutex>
#include <utility>

#include "app/config/installer_config.h"
#include "app/signals.h"
#include "install/download_installer.h"
#include "tracker/analytics_bridge.h"
#include "utils/files.h"
#include "utils/text.h"

namespace app {

std::string Narrow(const std::wstring& text) {
  return Utils::WideToMultiByte(text, Utils::kCodePageUtf8);
}

namespace {

std::string Format(const char* format, double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

}  // namespace

// Job events on their way from the worker threads to the main loop, in
// posting order. Any thread may post; the main thread drains.
struct UnattendedInstaller::EventQueue {
  std::mutex mutex;
  std::deque<std::unique_ptr<JobEventRecord>> records;
  guint source = 0;  // the scheduled drain, 0 when none
  UnattendedInstaller* owner = nullptr;

  ~EventQueue() {
    std::lock_guard<std::mutex> lock(mutex);
    if (source != 0) g_source_remove(source);
  }

  static gboolean OnIdle(gpointer data) {
    auto* self = static_cast<EventQueue*>(data);
    {
      std::lock_guard<std::mutex> lock(self->mutex);
      self->source = 0;
    }
    self->owner->DrainEvents();
    return G_SOURCE_REMOVE;
  }
};

UnattendedInstaller::UnattendedInstaller(const InstallerConfig& config, UnattendedOptions options,
                                         ConsoleProgress& console)
    : config_(config),
      options_(std::move(options)),
      console_(console),
      progress_(config.DownloadScale),
      queue_(std::make_unique<EventQueue>()) {
  queue_->owner = this;
  job_ = std::make_unique<CDownloadInstaller>(
      [this](int32_t code, double value, const wchar_t* text) { PostEvent(code, value, text); },
      L"", L"", L"", true, true, true);
}

UnattendedInstaller::~UnattendedInstaller() {
  job_.reset();  // joins the job's threads; their last posts land in the queue
  queue_.reset();
}

void UnattendedInstaller::PostEvent(int32_t code, double value, const wchar_t* text) {
  auto record = std::make_unique<JobEventRecord>();
  record->code = code;
  record->number = value;
  record->text = text ? text : L"";
  std::lock_guard<std::mutex> lock(queue_->mutex);
  queue_->records.push_back(std::move(record));
  if (queue_->source == 0) queue_->source = g_idle_add(&EventQueue::OnIdle, queue_.get());
}

void UnattendedInstaller::DrainEvents() {
  for (;;) {
    std::unique_ptr<JobEventRecord> record;
    {
      std::lock_guard<std::mutex> lock(queue_->mutex);
      if (queue_->records.empty()) return;
      record = std::move(queue_->records.front());
      queue_->records.pop_front();
    }
    HandleEvent(*record);
  }
}

int UnattendedInstaller::Refuse(const std::string& reason) {
  console_.Stage("refused: " + reason);
  return kUnattendedRefused;
}

int UnattendedInstaller::Run() {
  install::ReadInstallRecords(&records_);
  const std::wstring defaultDir = install::GetDefaultInstallDir(&records_);
  if (records_.AlreadyInstalled() && install::FindProcessId(install::kProductExeName) != 0) {
    return Refuse(Narrow(InstallerConfig::kDisplayName) + " is running; quit it and try again");
  }
  const std::wstring folder =
      options_.targetDir ? install::ResolveInstallDir(&records_, *options_.targetDir) : defaultDir;
  analytics::ReportClick(options_.targetDir ? L"自定义安装_立即安装" : L"立即安装",
                         analytics::ExtraProperties{{L"AB", abValue_}});
  if (!PrepareJob(folder)) return kUnattendedRefused;

  console_.Stage("installing " + Narrow(InstallerConfig::kDisplayName) + " into " + Narrow(folder));
  analytics::ReportView(analytics::ExtraProperties{{L"AB", abValue_}});
  SetDownloaderStartedHandler([this] { ReportDownloaderStarted(false); });
  job_->Start();

  GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
  loop_ = loop;
  if (!status_) g_main_loop_run(loop);
  loop_ = nullptr;
  g_main_loop_unref(loop);
  SetDownloaderStartedHandler(nullptr);
  console_.Finish();
  job_.reset();  // the package file is removed by the job's last step; wait for it
  return status_.value_or(kUnattendedJobFailed);
}

bool UnattendedInstaller::PrepareJob(const std::wstring& folder) {
  const std::string product = Narrow(InstallerConfig::kDisplayName);
  if (install::FindProcessId(kProductUninstallerProcess) != 0 ||
      install::FindProcessId(install::kProductExeName) != 0) {
    Refuse(product + " is running; quit it and try again");
    return false;
  }
  if (!install::IsInstallDirTextSafe(folder) || !Utils::CreateDirectoryTree(folder)) {
    Refuse(Narrow(install::kInvalidPathText) + " (invalid folder): " + Narrow(folder));
    return false;
  }
  if (FreeGigabytes(folder) < 1.0) {
    Refuse("less than 1 GB free in " + Narrow(folder));
    return false;
  }
  facts_.targetFolder = folder;
  const std::wstring uninstaller =
      install::IsOverrideForbidden(records_, folder) ? std::wstring() : records_.uninstallerPath;
  job_->Init(config_.DownloadUrl, uninstaller, folder, true, true, records_.consoleUserIsAdmin,
             records_.processIsAdmin);
  if (config_.IsCheckNet) {
    const uint32_t network = Utils::CheckNetwork();
    if (((network >> 16) & 0xFFFF) != 0) {
      Refuse("no usable internet connection");
      return false;
    }
  }
  return true;
}

float UnattendedInstaller::DownloadSeconds() const {
  return downloadStopwatch_.IsRunning() ? downloadStopwatch_.Elapsed() : 0.0f;
}

void UnattendedInstaller::ReportDownloaderStarted(bool fromDownloadStart) {
  if (downloaderStartedReported_) return;
  downloaderStartedReported_ = true;
  if (fromDownloadStart) abValue_ = config_.AbGroup;
  ReportJobTask(L"下载器启动", 0.0f, L"", abValue_);
}

void UnattendedInstaller::Finish(int status) {
  if (status_) return;
  status_ = status;
  if (loop_) g_main_loop_quit(static_cast<GMainLoop*>(loop_));
}

void UnattendedInstaller::HandleEvent(const JobEventRecord& record) {
  if (status_) return;  // the job has ended; late events change nothing
  switch (record.code) {
    case DL_CODE_START:
      ReportDownloaderStarted(true);
      if (!downloadStopwatch_.IsRunning()) downloadStopwatch_.Start();
      ReportJobTask(L"开始下载大包", 0.0f, L"", abValue_);
      console_.Stage("downloading the package");
      break;
    case DL_CODE_PROGRESS:
      console_.Percent(progress_.DownloadPercent(record.number));
      break;
    case DL_CODE_SUCCESS:
      ReportJobTask(L"大包下载完毕", DownloadSeconds(), L"", abValue_);
      console_.Stage(Format("download finished (%.1f s)", DownloadSeconds()));
      break;
    case DL_CODE_FAIL: {
      const std::wstring reason = BuildDownloadFailureReason(
          record.number, record.text, job_->GetPackagePath(), Utils::CheckNetwork());
      ReportJobTask(L"下载失败原因", 0.0f, reason, abValue_);
      console_.Stage("download failed: " + Narrow(reason));
      Finish(kUnattendedJobFailed);
      break;
    }
    case DL_CODE_RETRY:
      console_.Stage("download failed, trying once more");
      break;
    case DL_CODE_MESSAGE:
      ReportJobTask(L"下载失败原因", 0.0f, FormatTextFailureReason(record.number, record.text),
                    abValue_);
      console_.Stage("download: " + Narrow(record.text));
      break;
    case IST_CODE_START:
      install::WriteProductSetIni(facts_.targetFolder);
      console_.Stage("running the package");
      break;
    case IST_CODE_PROGRESS:
      console_.Percent(progress_.InstallPercent(record.number));
      break;
    case IST_CODE_SUCCESS:
      ReportJobTask(L"安装成功", DownloadSeconds(), L"", abValue_);
      console_.Percent(100);
      install::WriteInstallRecords(facts_.targetFolder, facts_.uninstallerPath);
      install::WriteProductSetIni(facts_.targetFolder);
      console_.Stage("installed into " + Narrow(facts_.targetFolder));
      Finish(kUnattendedInstalled);
      break;
    case IST_CODE_FAIL:
      ReportJobTask(L"安装失败原因", 0.0f, FormatTextFailureReason(record.number, record.text),
                    abValue_);
      console_.Stage("install failed: " + Narrow(record.text.empty() ? L"安装失败" : record.text));
      Finish(kUnattendedJobFailed);
      break;
    case IST_INFO_MESSAGE:
      console_.Stage("message from the package: " + Narrow(record.text));
      break;
    case UNIST_CODE_PROGRESS:
      if (!uninstallAnnounced_) console_.Stage("removing the earlier installation");
      uninstallAnnounced_ = true;
      break;
    case UNIST_CODE_SUCCESS:
      console_.Stage("earlier installation removed");
      break;
    case UNIST_CODE_FAIL:
    case UNIST_CODE_ERROR:
      console_.Stage("the earlier installation could not be removed (" + Narrow(record.text) +
                     "); is " + Narrow(InstallerConfig::kDisplayName) + " running?");
      Finish(kUnattendedJobFailed);
      break;
    default:
      facts_.Apply(record.code, record.number, record.text);
      break;
  }
}

}  // namespace app
