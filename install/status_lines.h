// The status-line protocol of the product package and of the old uninstaller:
// "Key=Value" lines on the child's standard output.
//
// StatusLineSplitter turns the bytes read from the pipe into whole lines, so
// that a line cut by a read boundary is parsed once, complete (also a
// multi-byte character cut in two). ParsePackageStatusLine and
// ParseUninstallStatusLine interpret one line each; they are pure functions,
// safe from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "download/downloader.h"

namespace install {

// One event a status line produces: code, value, text.
struct StatusEvent {
  int32_t code;
  double value;
  std::wstring text;
  bool operator==(const StatusEvent&) const = default;
};

// What a line decides about the run.
enum StatusDecision : int {
  kStatusNone = 0,
  kStatusSuccess = 1,
  kStatusFailure = 1000,
};

// Longest value text taken from a line (longer values are cut).
inline constexpr size_t kMaxStatusValueChars = 771;

// Fixed texts of the runners' failure events.
inline constexpr wchar_t kPackageFailedText[] = L"安装包安装失败";
inline constexpr wchar_t kUninstallFailedText[] = L"安装包卸载失败";
inline constexpr wchar_t kUninstallerMissingText[] = L"可执行卸载文件不存在";

// Start-up styles of "StartupStyle=" (IST_INFO_STARTUPSTYLE).
enum StartupStyle : int { kNonStartup = 0, kAutoStartup = 1, kUserStartup = 2 };

// Collects pipe bytes and hands out complete lines (without the line feed).
class StatusLineSplitter {
 public:
  // A line that grows past this without a line feed is handed out cut.
  static constexpr size_t kMaxLineBytes = 64 * 1024;

  void Append(const char* data, size_t size);
  // The next complete line; false when none is complete yet.
  bool NextLine(std::string* line);
  // At the end of the output: the unterminated rest, if any.
  bool TakeRest(std::string* line);

 private:
  std::string pending_;
};

// Converts one raw line to UTF-16 with the status code page (0 the locale's
// charset, 65001 UTF-8, others by number): the text up to the first zero
// byte, without a trailing carriage return (it would end up in the reported
// paths). When the code page cannot decode the line, its ASCII bytes are kept
// and every other byte becomes U+FFFD, so that the key is still recognised.
std::wstring DecodeStatusLine(const std::string& raw, unsigned codePage);

// Interprets one line of the package (keys in this order: Progress, InstPath,
// State, InstallVersion, ExePath, StartExe, UninstExePath, UninstExe, UninstEp,
// Error, TopShowDetention, FinsihCloseDetention, StartUrl, StartupStyle,
// Encode, Message; the first key the line starts with decides). Appends the
// line's events, may change `*codePage` ("Encode=": UTF8 65001, ACP 0, a
// decimal number, else 0), and returns the line's decision. Text values are
// the rest of the line (at most 771 characters), possibly empty: a key with
// an empty value sends its event with the empty text.
StatusDecision ParsePackageStatusLine(const std::wstring& line, unsigned* codePage,
                                      std::vector<StatusEvent>* events);

// The same for the uninstaller (Progress, Error, State, Encode; "Encode=UTF8"
// selects 65001, every other value 0).
StatusDecision ParseUninstallStatusLine(const std::wstring& line, unsigned* codePage,
                                        std::vector<StatusEvent>* events);

}  // namespace install
