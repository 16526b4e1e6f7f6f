// Prints the process-wide configuration as loaded during static
// initialisation, then (with "--apply" anywhere) after the command-line layer.
// With "--remove-ini" first, the INI file beside the executable is removed
// before main() touches the configuration.
#include <cstdio>
#include <cstring>
#include <string>

#include "app/config/installer_config.h"
#include "platform/paths.h"
#include "utils/text.h"

namespace {
void Print(const InstallerConfig& c) {
  auto u = [](const std::wstring& w) { return Utils::WideToMultiByte(w, Utils::kCodePageUtf8); };
  std::printf(
      "InstallerFileName=%s\nDownloadUrl=%s\nDownloadType=%d\nIsCheckNet=%d\n"
      "IsEnableAppAnalytics=%d\nDownloadScale=%g\nDlAppNameSuffix=%s\nDlAppVersion=%s\n"
      "InstCmd=%s\n",
      u(c.InstallerFileName).c_str(), u(c.DownloadUrl).c_str(), c.DownloadType, c.IsCheckNet,
      c.IsEnableAppAnalytics, c.DownloadScale, u(c.DlAppNameSuffix).c_str(),
      u(c.DlAppVersion).c_str(), u(c.InstCmd).c_str());
}
}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--remove-ini") == 0) {
    std::string ini = platform::NativePath(
        platform::JoinPath(platform::ExecutableDir(), InstallerConfig::kConfigFileName));
    if (std::remove(ini.c_str()) != 0) return 3;
  }
  InstallerConfig& config = InstallerConfig::Instance();
  Print(config);
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--apply") == 0) {
      config.ApplyCommandLine();
      std::printf("--\n");
      Print(config);
    }
  }
  return 0;
}
