// Test helper: runs the analytics bridge in a loop against an unreachable
// collector, so that every StopAnalytics rewrites the staging file with up
// to 1024 records. The parent test kills it at random moments.
// The environment (HOME, XDG_DATA_HOME, QUILLON_ANALYTICS_URL) comes from
// the parent. Prints "cycle N" after each StopAnalytics.
#include <cstdio>
#include <string>

#include "tracker/analytics_bridge.h"

int main() {
  const std::wstring reason(600, L'r');
  for (int cycle = 0;; ++cycle) {
    analytics::StartAnalytics();
    for (int i = 0; i < 300; ++i) {
      analytics::ReportTask(L"task " + std::to_wstring(cycle) + L"-" + std::to_wstring(i), 0,
                            reason, {{L"AB", L"IN"}});
    }
    analytics::StopAnalytics();
    std::printf("cycle %d\n", cycle);
    std::fflush(stdout);
  }
}
