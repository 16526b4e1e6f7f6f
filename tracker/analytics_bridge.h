// The installer's only door into usage analytics. Every function checks
// InstallerConfig::IsEnableAppAnalytics (and the DO_NOT_TRACK=1 consent
// convention) first and returns at once when analytics is off. Reports made
// before StartAnalytics or after StopAnalytics are dropped. No function
// throws; any thread may report.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "tracker/context_properties.h"

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

// Registers the map's "AB" value under "lmc_ab" for `kinds` when it is a
// valid A/B value. True when registered; an absent, empty or invalid value
// (or a key already registered) registers nothing and never throws.
bool ApplyAbValue(const ExtraProperties& extra,
                  const std::vector<usage::lumora::LmEventType>& kinds,
                  usage::lumora::LmContextProperties* context);

// False when IsEnableAppAnalytics is false or DO_NOT_TRACK is "1".
bool AnalyticsEnabled();

}  // namespace analytics
