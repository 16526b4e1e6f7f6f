// quillon-run-job: the whole installation job headless, from one call.
//
//   quillon-run-job --dir=DIR [--url=URL | --package=FILE] [--download-type=N]
//                   [--instcmd=TEXT] [--measure]
//
// Without --url it publishes the package (default: the built demo package)
// with the publishing script into a temporary site, serves it on a loopback
// package server and installs from http://127.0.0.1:<port>/software/277.
// It reads the installation records like the installer's window does: when an
// earlier installation is recorded (and its folder's set.ini allows it), the
// old version is uninstalled first. Every job event is printed as it arrives;
// after success the records and set.ini are written like the window writes
// them. --measure adds "-test-stamp=..." to the package options and prints the
// time from the package's exit to IST_CODE_SUCCESS. Exit status 0 after
// IST_CODE_SUCCESS, 1 after a failure, 2 for bad arguments.
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>

#include "app/config/installer_config.h"
#include "install/download_installer.h"
#include "install/install_records.h"
#include "platform/paths.h"
#include "tools/package_server/package_server.h"
#include "utils/text.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const char* EventName(int32_t code) {
  switch (code) {
    case DL_CODE_START:
      return "DL_CODE_START";
    case DL_CODE_PROGRESS:
      return "DL_CODE_PROGRESS";
    case DL_CODE_SUCCESS:
      return "DL_CODE_SUCCESS";
    case DL_CODE_FAIL:
      return "DL_CODE_FAIL";
    case DL_CODE_RETRY:
      return "DL_CODE_RETRY";
    case DL_CODE_MESSAGE:
      return "DL_CODE_MESSAGE";
    case IST_CODE_START:
      return "IST_CODE_START";
    case IST_CODE_PROGRESS:
      return "IST_CODE_PROGRESS";
    case IST_CODE_SUCCESS:
      return "IST_CODE_SUCCESS";
    case IST_CODE_FAIL:
      return "IST_CODE_FAIL";
    case IST_INFO_INSTPATH:
      return "IST_INFO_INSTPATH";
    case IST_INFO_EXEPATH:
      return "IST_INFO_EXEPATH";
    case IST_INFO_UNINSTEXEPATH:
      return "IST_INFO_UNINSTEXEPATH";
    case IST_INFO_UNINSTEP:
      return "IST_INFO_UNINSTEP";
    case IST_INFO_STARTURL:
      return "IST_INFO_STARTURL";
    case IST_INFO_STARTUPSTYLE:
      return "IST_INFO_STARTUPSTYLE";
    case IST_INFO_TOPSHOWDETENTION:
      return "IST_INFO_TOPSHOWDETENTION";
    case IST_INFO_FINISHCLOSEDETENTION:
      return "IST_INFO_FINISHCLOSEDETENTION";
    case IST_INFO_MESSAGE:
      return "IST_INFO_MESSAGE";
    case UNIST_CODE_START:
      return "UNIST_CODE_START";
    case UNIST_CODE_PROGRESS:
      return "UNIST_CODE_PROGRESS";
    case UNIST_CODE_SUCCESS:
      return "UNIST_CODE_SUCCESS";
    case UNIST_CODE_FAIL:
      return "UNIST_CODE_FAIL";
    case UNIST_CODE_ERROR:
      return "UNIST_CODE_ERROR";
    default:
      return "?";
  }
}

bool IsFinal(int32_t code) {
  return code == IST_CODE_SUCCESS || code == IST_CODE_FAIL || code == DL_CODE_FAIL ||
         code == UNIST_CODE_FAIL || code == UNIST_CODE_ERROR;
}

std::string Utf8(const std::wstring& text) {
  return Utils::WideToMultiByte(text, Utils::kCodePageUtf8);
}

std::string Publish(const std::string& package, const fs::path& site) {
  std::string command = std::string("'") + QUILLON_PUBLISH_SCRIPT + "' '" + package + "' '" +
                        site.string() + "' Quillon_1.0.0.exe";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return {};
  char line[512] = {};
  std::string out = fgets(line, sizeof line, pipe) ? line : "";
  if (pclose(pipe) != 0) return {};
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

int Usage() {
  std::fprintf(stderr,
               "usage: quillon-run-job --dir=DIR [--url=URL | --package=FILE] "
               "[--download-type=N] [--instcmd=TEXT] [--measure]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string dirArg, urlArg, packageArg = QUILLON_DEMO_PACKAGE, instCmd;
  int downloadType = 1;
  bool measure = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](const char* key) -> const char* {
      size_t n = std::strlen(key);
      return arg.compare(0, n, key) == 0 ? argv[i] + n : nullptr;
    };
    if (const char* v = value("--dir=")) {
      dirArg = v;
    } else if (const char* v = value("--url=")) {
      urlArg = v;
    } else if (const char* v = value("--package=")) {
      packageArg = v;
    } else if (const char* v = value("--download-type=")) {
      downloadType = std::atoi(v);
    } else if (const char* v = value("--instcmd=")) {
      instCmd = v;
    } else if (arg == "--measure") {
      measure = true;
    } else {
      return Usage();
    }
  }
  if (dirArg.empty()) return Usage();
  std::wstring dir = platform::FromNativePath(dirArg);
  if (!install::IsInstallDirTextSafe(dir)) {
    std::fprintf(stderr, "quillon-run-job: %s: %s\n", Utf8(install::kInvalidPathText).c_str(),
                 dirArg.c_str());
    return 2;
  }

  // A temporary site for the package server, removed at the end.
  fs::path site;
  std::unique_ptr<package_server::PackageServer> server;
  if (urlArg.empty()) {
    char pattern[] = "/tmp/quillon-run-job-XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    site = pattern;
    std::string published = Publish(packageArg, site);
    if (published.empty()) {
      std::fprintf(stderr, "quillon-run-job: cannot publish %s\n", packageArg.c_str());
      return 1;
    }
    package_server::Options options;
    options.root = site;
    server = std::make_unique<package_server::PackageServer>(options);
    if (!server->Start()) return 1;
    server->AddRedirect("/software/277", "/" + published);
    urlArg = server->BaseUrl() + "/software/277";
    std::printf("package server: %s -> /%s\n", urlArg.c_str(), published.c_str());
  }
  fs::path stamp = site.empty() ? fs::path("/tmp/quillon-run-job.stamp") : site / "exit.stamp";
  if (measure)
    instCmd += (instCmd.empty() ? "" : " ") + std::string("-test-stamp=") + stamp.string();

  InstallerConfig& config = InstallerConfig::Instance();
  config.DownloadType = downloadType;
  config.InstCmd = platform::FromNativePath(instCmd);

  // What the window reads at start and decides before the job.
  install::InstallRecords records;
  install::ReadInstallRecords(&records);
  std::wstring defaultDir = install::GetDefaultInstallDir(&records);
  std::wstring oldUninstaller =
      install::IsOverrideForbidden(records, dir) ? L"" : records.uninstallerPath;
  std::printf("records: installed=%s folder=\"%s\" uninstaller=\"%s\" default=\"%s\"\n",
              records.AlreadyInstalled() ? "yes" : "no", Utf8(records.installDir).c_str(),
              Utf8(records.uninstallerPath).c_str(), Utf8(defaultDir).c_str());
  std::printf("job: dir=\"%s\" old uninstaller=\"%s\" download type %d\n", dirArg.c_str(),
              Utf8(oldUninstaller).c_str(), downloadType);
  std::fflush(stdout);

  std::mutex mutex;
  std::condition_variable done;
  int32_t finalCode = 0;
  Clock::time_point successAt{};
  std::wstring instPath = dir, uninstEp;
  const Clock::time_point start = Clock::now();
  CDownloadInstaller job(
      [&](int32_t code, double value, const wchar_t* text) {
        Clock::time_point now = Clock::now();
        std::lock_guard<std::mutex> lock(mutex);
        double ms = std::chrono::duration<double, std::milli>(now - start).count();
        std::printf("%8.1f ms  %4d %-30s value=%-12.10g text=\"%s\"\n", ms, code, EventName(code),
                    value, Utf8(text ? text : L"").c_str());
        std::fflush(stdout);
        if (code == IST_INFO_INSTPATH) instPath = text;
        if (code == IST_INFO_UNINSTEP) uninstEp = text;
        if (code == IST_CODE_SUCCESS) successAt = now;
        if (IsFinal(code)) {
          finalCode = code;
          done.notify_all();
        }
      },
      L"", L"", L"", true, true, true);
  job.Init(platform::FromNativePath(urlArg), oldUninstaller, dir, true, true,
           records.consoleUserIsAdmin, records.processIsAdmin);
  job.Start();
  {
    std::unique_lock<std::mutex> lock(mutex);
    done.wait(lock, [&] { return finalCode != 0; });
  }
  while (job.IsRunning()) usleep(1000);

  if (finalCode == IST_CODE_SUCCESS) {
    install::WriteInstallRecords(instPath, uninstEp);
    install::WriteProductSetIni(instPath);
    install::InstallRecords after;
    install::ReadInstallRecords(&after);
    std::printf("recorded: InstallPath=\"%s\" UnInstallEp=\"%s\"; package file %s\n",
                Utf8(after.installDir).c_str(), Utf8(after.uninstallerPath).c_str(),
                fs::exists(platform::NativePath(job.GetPackagePath())) ? "LEFT" : "removed");
  }
  if (measure) {
    std::ifstream in(stamp);
    long long exitNs = 0;
    if (finalCode == IST_CODE_SUCCESS && (in >> exitNs) && exitNs > 0) {
      long long successNs =
          std::chrono::duration_cast<std::chrono::nanoseconds>(successAt.time_since_epoch())
              .count();
      std::printf(
          "package exit -> IST_CODE_SUCCESS: %.2f ms (negative: the success line was "
          "read before the package had exited)\n",
          double(successNs - exitNs) / 1e6);
    } else {
      std::printf("package exit -> IST_CODE_SUCCESS: not measured\n");
    }
    std::error_code ec;
    fs::remove(stamp, ec);
  }
  server.reset();
  if (!site.empty()) {
    std::error_code ec;
    fs::remove_all(site, ec);
  }
  return finalCode == IST_CODE_SUCCESS ? 0 : 1;
}
