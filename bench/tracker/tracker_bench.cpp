// A report that does not wait (a click) while the collector is down: how
// long the caller is held, beside the same report while the collector is up
// and the last upload succeeded (then the request is served on the caller).
// Target: under 1 ms while the collector is down.
//
//   build/<dir>/bench/tracker/tracker_bench
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "sdk/batch_sender.h"
#include "tools/collector/collector.h"
#include "tracker/analytics_bridge.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Figures {
  double median;
  double p99;
  double max;
};

Figures TimeClicks(int count) {
  std::vector<double> ms;
  for (int i = 0; i < count; ++i) {
    const auto start = Clock::now();
    analytics::ReportClick(L"立即安装", {{L"AB", L"IN"}});
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  std::sort(ms.begin(), ms.end());
  return Figures{ms[ms.size() / 2], ms[ms.size() * 99 / 100], ms.back()};
}

}  // namespace

int main() {
  std::string home = (std::filesystem::temp_directory_path() / "quillon-bench-XXXXXX").string();
  if (mkdtemp(home.data()) == nullptr) return 1;
  setenv("HOME", home.c_str(), 1);
  setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
  unsetenv("DO_NOT_TRACK");

  std::string downUrl;
  {
    collector::Collector probe;
    if (!probe.Start()) return 1;
    downUrl = probe.CollectUrl();
  }
  constexpr int kReports = 300;

  setenv("QUILLON_ANALYTICS_URL", downUrl.c_str(), 1);
  analytics::StartAnalytics();
  const Figures down = TimeClicks(kReports);
  analytics::StopAnalytics();

  collector::Collector server;
  if (!server.Start()) return 1;
  setenv("QUILLON_ANALYTICS_URL", server.CollectUrl().c_str(), 1);
  analytics::StartAnalytics();
  // A waiting upload that succeeds: later requests are served on the caller.
  analytics::ReportClick(L"warm-up", {{L"AB", L"IN"}});
  analytics::ReportCrash();
  for (int i = 0; i < 500 && !event_sdk::LastSendSucceeded(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const Figures up = TimeClicks(kReports);
  analytics::StopAnalytics();

  std::printf(
      "not-waiting report, collector down: median %.3f ms, p99 %.3f ms, max %.3f ms "
      "(target < 1 ms, max is %.2f of target)\n",
      down.median, down.p99, down.max, down.max / 1.0);
  std::printf(
      "not-waiting report, collector up:   median %.3f ms, p99 %.3f ms, max %.3f ms "
      "(served on the caller, 1 ms pause included); down/up median ratio %.2f\n",
      up.median, up.p99, up.max, down.median / up.median);
  std::printf("events at the collector after both runs: %zu of %d\n", server.Events().size(),
              2 * kReports + 2);
  std::filesystem::remove_all(home);
  return 0;
}
