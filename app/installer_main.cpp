#include "app/installer_main.h"

#include <curl/curl.h>
#include <signal.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "app/config/installer_config.h"
#include "app/console_progress.h"
#include "app/crash_handler.h"
#include "app/main_wnd.h"
#include "app/signals.h"
#include "app/unattended.h"
#include "platform/debug_output.h"
#include "platform/paths.h"
#include "tracker/analytics_bridge.h"
#include "utils/command_line.h"
#include "utils/files.h"
#include "utils/log.h"

namespace app {

namespace {

// On Windows the program first narrows the DLL search order to the system
// folder. The dynamic loader here takes no library from the current folder
// and the program loads none by name, so there is nothing to narrow.
void HardenLibrarySearchPath() {}

// In unattended mode standard error carries the progress for the person or
// tool that runs the installer; the developer records go to a file in the
// private work folder instead (kept after the run for support).
std::string RedirectDiagnosticsToFile() {
  const std::wstring folder = Utils::GetTempWorkDir();
  if (folder.empty()) return std::string();
  const std::string path = platform::NativePath(folder + L"installer-debug.log");
  auto file = std::make_shared<std::ofstream>(path, std::ios::app | std::ios::binary);
  if (!file->is_open()) return std::string();
  auto mutex = std::make_shared<std::mutex>();
  platform::SetDebugOutputHook([file, mutex](const std::string& record) {
    std::lock_guard<std::mutex> lock(*mutex);
    file->write(record.data(), static_cast<std::streamsize>(record.size()));
    file->flush();
  });
  return path;
}

}  // namespace

int InstallerMain(int argc, char** argv) {
  InstallerConfig& config = InstallerConfig::Instance();
  const Utils::CommandLineOptions options = Utils::ParseCommandLine(argc, argv);
  const bool silent = options.GetFlag(L"-silent");
  const std::string diagnostics = silent ? RedirectDiagnosticsToFile() : std::string();

  HardenLibrarySearchPath();
  InstallCrashHandlers();
  if (curl_global_init(CURL_GLOBAL_ALL) != CURLE_OK) {
    config.CurlReady = false;
    // Dropped by the bridge: analytics has not started yet.
    analytics::ReportTask(L"libcurl初始化失败", 0.0f, L"",
                          analytics::ExtraProperties{{L"AB", L"IN"}});
  }

  Utils::SingleInstanceMutex guard(InstallerConfig::kInstanceName);
  guard.Acquire();
  if (!guard.IsHeld()) {
    if (silent) std::fprintf(stderr, "quillon-installer: another installer is running\n");
    return kExitAnotherInstaller;
  }
  // SIGUSR1 must never end the program, also before the window exists.
  InstallDownloaderStartedSignal();

  analytics::StartAnalytics();
  config.ApplyCommandLine(options);

  // The window (or the unattended job) must outlive analytics shutdown and the
  // HTTP clean-up, as in the original order.
  auto shutDown = [&config] {
    if (config.IsEnableAppAnalytics) analytics::StopAnalytics();
    curl_global_cleanup();
  };

  int status = 0;
  if (silent) {
    UnattendedOptions unattended;
    if (options.Has(L"-targetdir")) unattended.targetDir = options.GetText(L"-targetdir");
    ConsoleProgress console;
    {
      UnattendedInstaller installer(config, unattended, console);
      status = installer.Run();
      shutDown();
    }
    if (status != kUnattendedInstalled && !diagnostics.empty()) {
      std::fprintf(stderr, "quillon-installer: details in %s\n", diagnostics.c_str());
    }
  } else if (!RunMainWindow(config, shutDown)) {
    // Nothing was shown, so nothing was installed: say so instead of 0.
    std::fprintf(stderr,
                 "quillon-installer: the window could not be created (no display?); "
                 "use -silent=true for an unattended installation\n");
    status = 1;
  }
  guard.Release();
  return status;
}

}  // namespace app
