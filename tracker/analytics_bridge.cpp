// Placeholder until the tracker layer lands: every report is dropped.
#include "tracker/analytics_bridge.h"

namespace analytics {

void StartAnalytics() {}
void StopAnalytics() {}
void ReportTask(const std::wstring&, float, const std::wstring&, ExtraProperties) {}
void ReportClick(const std::wstring&, ExtraProperties) {}
void ReportView(ExtraProperties) {}
void ReportCrash() {}

}  // namespace analytics
