// Installation records and prior-install detection: the two record-store
// values "InstallPath" and "UnInstallEp" under "Software\LumoraSoft\Quillon",
// the product folder's "set.ini", the analytics INI time stamp, the default
// and custom install folders, and the running-process lookup.
//
// Threads: everything here is meant for the UI thread (none of it is shared
// with the job's workers), but each function only touches files and the
// record store, so calling it elsewhere is safe too. Failures are silent, as
// documented per function: a record stays empty or unwritten.
#pragma once

#include <sys/types.h>

#include <string>

namespace install {

// Fixed names.
inline constexpr wchar_t kProductFolderName[] = L"Quillon";
inline constexpr wchar_t kPerUserFolderName[] = L"lumora";
inline constexpr wchar_t kProductExeName[] = L"Vantrel.exe";
inline constexpr wchar_t kUninstallerFileName[] = L"uninst.ep";
inline constexpr wchar_t kUninstallerCopyName[] = L"Quillon_un_asa.exe";  // AppName + "_un_asa.exe"
inline constexpr wchar_t kSetIniName[] = L"set.ini";
inline constexpr wchar_t kInstallPathValue[] = L"InstallPath";
inline constexpr wchar_t kUninstallEpValue[] = L"UnInstallEp";
// The message the main window shows for a folder it cannot use.
inline constexpr wchar_t kInvalidPathText[] = L"无效路径";

// What the main window keeps of the records (filled by the functions below).
struct InstallRecords {
  std::wstring installDir;          // recorded "InstallPath"; empty when absent
  std::wstring uninstallerPath;     // recorded "UnInstallEp", or installDir + "/uninst.ep"
  bool consoleUserIsAdmin = false;  // set by GetDefaultInstallDir
  bool processIsAdmin = false;      // set by GetDefaultInstallDir

  // True exactly when the recorded install folder is not empty.
  bool AlreadyInstalled() const { return !installDir.empty(); }
};

// The check the main window makes on a folder before a job starts: true when
// the text can be passed on the package's command line and names an absolute
// folder. Refused (false): the empty text, a relative path, a double quote, a
// control character (U+0000..U+001F, U+007F..U+009F) and a trailing
// backslash (it would escape the closing quote of -instdir="..."). Refused
// folders get the "无效路径" message.
bool IsInstallDirTextSafe(const std::wstring& folder);

// Clears both records, then reads "InstallPath" and "UnInstallEp"; when only
// the folder is known, the uninstaller path becomes folder + "/uninst.ep".
void ReadInstallRecords(InstallRecords* records);

// The folder proposed to the user; also refreshes the two administrator flags.
// The recorded folder when its recorded uninstaller file exists; otherwise,
// when both administrator flags are true and $APPDATA is set (and shorter than
// 260 characters), $APPDATA/lumora/Quillon; otherwise the 32-bit program
// files folder (the program files folder when that is unknown) + "/Quillon".
std::wstring GetDefaultInstallDir(InstallRecords* records);

// The folder to install into for the custom page's edit text: the default
// folder when the text names the same folder (lexically, ignoring "." parts
// and trailing separators), else the text + "/Quillon". An empty text gives
// the empty text (not a usable folder).
std::wstring ResolveInstallDir(InstallRecords* records, const std::wstring& editText);

// True when the old installation must not be removed for `folder`: never for
// the recorded install folder itself; otherwise exactly when folder/set.ini
// says "IsOverride=false" in section "Uninstall" (case-sensitive value; a
// missing file or key means "true").
bool IsOverrideForbidden(const InstallRecords& records, const std::wstring& folder);

// After a successful installation: writes "InstallPath" = `productDir`; then
// "UnInstallEp" = `uninstallerPath` (or productDir + "/uninst.ep" when
// empty), only when that file exists, else the old value stays.
void WriteInstallRecords(const std::wstring& productDir, const std::wstring& uninstallerPath);

// Writes productDir/set.ini, section "Install": "APPStore" (this program's file
// name), "AppName" = "Quillon", "DeviceID" (a new GUID text), and, when the
// analytics data folder ($APPDATA, else the common documents folder, +
// "/LumoraData/Quillon") exists or can be created, "LMAnalyticsIni" = its
// "LMAnalytics.ini", whose section "Init" gets "UpdateTime" = the local time
// "%d-%02d-%02d %02d:%02d:%02d". INI files are UTF-8; the process locale is
// not touched. Write failures are ignored.
void WriteProductSetIni(const std::wstring& productDir);

// The analytics data folder described above (no folder is created).
std::wstring AnalyticsDataDir();

// The id of a running process whose executable file name equals `exeName`
// (case-sensitive), or 0 (also when the process list cannot be read).
pid_t FindProcessId(const std::wstring& exeName);

}  // namespace install
