// Test helper: runs the analytics bridge in a loop against an unreachable
// collector, so that every StopAnalytics rewrites the staging file with up
// to 1024 large records. The parent test kills it at random moments.
// The environment (HOME, XDG_DATA_HOME, QUILLON_ANALYTICS_URL) comes from
// the parent. Prints "stopping N" before each StopAnalytics and
// "stopped N <ms>" after it.
//
// With --report-and-exit it makes three reports and returns from main
// without StopAnalytics: the tracker still held then is released during
// process exit, which must upload the events and end cleanly.
#include <chrono>
#include <cstdio>
#include <string>

#include "tracker/analytics_bridge.h"

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--report-and-exit") {
    analytics::StartAnalytics();
    analytics::ReportTask(L"下载器启动", 0, L"", {{L"AB", L"IN"}});
    analytics::ReportClick(L"立即安装", {{L"AB", L"IN"}});
    analytics::ReportView({{L"AB", L"IN"}});
    return 0;
  }
  const std::wstring reason(4000, L'r');
  for (int cycle = 0;; ++cycle) {
    analytics::StartAnalytics();
    for (int i = 0; i < 40; ++i) {
      analytics::ReportTask(L"task " + std::to_wstring(cycle) + L"-" + std::to_wstring(i), 0,
                            reason, {{L"AB", L"IN"}});
    }
    std::printf("stopping %d\n", cycle);
    std::fflush(stdout);
    const auto start = std::chrono::steady_clock::now();
    analytics::StopAnalytics();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    std::printf("stopped %d %lld\n", cycle, static_cast<long long>(ms));
    std::fflush(stdout);
  }
}
