// The installer's only door into usage analytics. Every function checks
// InstallerConfig::IsEnableAppAnalytics (and the DO_NOT_TRACK=1 consent
// convention) first and returns at once when analytics is off. Reports made
// before StartAnalytics or after StopAnalytics are dropped. No function
// throws; any thread may report.
#pragma once

#include <map>
#include <string>

namespace analytics {

// Extra properties of a report; only "AB" (the A/B value) is read.
using ExtraProperties = std::map<std::wstring, std::wstring>;

void StartAnalytics();
// Uploads what is due, stores the rest, and closes the tracker.
void StopAnalytics();

void ReportTask(const std::wstring& name, float elapsedSeconds, const std::wstring& reason,
                ExtraProperties extra);
void ReportClick(const std::wstring& name, ExtraProperties extra);
// The view "安装中".
void ReportView(ExtraProperties extra);
// The crash event "AppCrashed" with the reason "崩溃".
void ReportCrash();

}  // namespace analytics
