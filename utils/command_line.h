// Command-line option map, operating-system name and bitness, and the
// single-instance guard. Failures are results, never exceptions.
#pragma once

#include <map>
#include <string>

namespace Utils {

// Option key -> value; keys are case-sensitive and keep their leading dash.
// A key holds the first value given for it.
class CommandLineOptions {
 public:
  void Insert(const std::wstring& key, const std::wstring& value);  // first value stays
  bool Has(const std::wstring& key) const;
  // The value, or the empty text when absent.
  std::wstring GetText(const std::wstring& key) const;
  // Leading blanks, sign, digits; 0 when absent, not a number, or out of range.
  int GetInt(const std::wstring& key) const;
  // True only for the exact value "true".
  bool GetFlag(const std::wstring& key) const;
  // strtod-style; `fallback` when absent, not a number, or out of range.
  double GetNumber(const std::wstring& key, double fallback) const;
  const std::map<std::wstring, std::wstring>& Entries() const { return entries_; }

 private:
  std::map<std::wstring, std::wstring> entries_;
};

// Splits the command line (SplitCommandLine of utils/process.h, first element
// included): "-k=v" gives key "-k" and value "v" (after the first '='); any
// other element is a key with an empty value.
CommandLineOptions ParseCommandLine(const std::wstring& commandLine);
// Same over an argv array (argv[0] is the first element).
CommandLineOptions ParseCommandLine(int argc, const char* const* argv);
// The running process's own argv, from /proc/self/cmdline.
CommandLineOptions ParseProcessCommandLine();

// Family "Linux" and version "ID VERSION_ID" from /etc/os-release (the kernel
// release when that is missing). Always true.
bool GetOsName(std::wstring* family, std::wstring* version);
// True for a 32-bit process on a 64-bit kernel.
bool IsWow64();

// Exclusive non-blocking flock on "D1A547DB89C0BC61_" + name + ".lock" in
// $XDG_RUNTIME_DIR (else the per-user temporary folder). Released by Release(),
// the destructor, or the process ending (also by a crash).
class SingleInstanceMutex {
 public:
  explicit SingleInstanceMutex(const std::wstring& name) : name_(name) {}
  ~SingleInstanceMutex() { Release(); }
  SingleInstanceMutex(const SingleInstanceMutex&) = delete;
  SingleInstanceMutex& operator=(const SingleInstanceMutex&) = delete;

  // Tries once, when nothing is held yet. Afterwards IsHeld() tells whether
  // this process is the holder; a failed attempt leaves nothing open.
  void Acquire();
  bool IsHeld() const { return fd_ >= 0; }
  void Release();
  // The lock file's full path.
  std::wstring LockPath() const;

 private:
  std::wstring name_;
  int fd_ = -1;
};

}  // namespace Utils
