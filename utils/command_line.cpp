#include "utils/command_line.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "platform/atomic_file.h"
#include "platform/paths.h"
#include "platform/system_info.h"
#include "utils/process.h"
#include "utils/text.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace Utils {
namespace {

constexpr wchar_t kMutexPrefix[] = L"D1A547DB89C0BC61_";

// Leading blanks and one sign, then the number as from_chars reads it, in
// ASCII. Anything after the number is ignored. False when no number starts
// the text or it is out of range.
template <typename T>
bool ParseLeading(const std::wstring& text, T* value) {
  size_t i = 0;
  while (i < text.size() && (text[i] == L' ' || text[i] == L'\t' || text[i] == L'\n' ||
                             text[i] == L'\v' || text[i] == L'\f' || text[i] == L'\r')) {
    ++i;
  }
  std::string ascii;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
    if (text[i] == L'-') ascii += '-';
    ++i;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) return false;
  }
  for (; i < text.size() && text[i] > 0 && text[i] < 0x80; ++i) {
    ascii += static_cast<char>(text[i]);
  }
  const char* begin = ascii.data();
  const char* end = begin + ascii.size();
  std::from_chars_result result = std::from_chars(begin, end, *value);
  return result.ec == std::errc() && result.ptr != begin;
}

}  // namespace

void CommandLineOptions::Insert(const std::wstring& key, const std::wstring& value) {
  entries_.emplace(key, value);  // keeps the first value
}

bool CommandLineOptions::Has(const std::wstring& key) const { return entries_.count(key) != 0; }

std::wstring CommandLineOptions::GetText(const std::wstring& key) const {
  auto it = entries_.find(key);
  return it == entries_.end() ? std::wstring() : it->second;
}

int CommandLineOptions::GetInt(const std::wstring& key) const {
  auto it = entries_.find(key);
  int value = 0;
  if (it == entries_.end() || !ParseLeading(it->second, &value)) return 0;
  return value;
}

bool CommandLineOptions::GetFlag(const std::wstring& key) const {
  auto it = entries_.find(key);
  return it != entries_.end() && it->second == L"true";
}

double CommandLineOptions::GetNumber(const std::wstring& key, double fallback) const {
  auto it = entries_.find(key);
  double value = 0.0;
  if (it == entries_.end() || !ParseLeading(it->second, &value)) return fallback;
  return value;
}

namespace {
CommandLineOptions OptionsFrom(const std::vector<std::wstring>& elements) {
  CommandLineOptions options;
  for (const std::wstring& element : elements) {
    size_t eq = element.find(L'=');
    if (!element.empty() && element[0] == L'-' && eq != std::wstring::npos) {
      options.Insert(element.substr(0, eq), element.substr(eq + 1));
    } else {
      options.Insert(element, L"");
    }
  }
  return options;
}

std::wstring ArgToWide(const std::string& arg) {
  // Arguments arrive in the locale's charset; UTF-8 as the fallback.
  std::wstring wide = MultiByteToWide(arg, kCodePageAnsi);
  if (wide.empty() && !arg.empty()) wide = MultiByteToWide(arg, kCodePageUtf8);
  return wide;
}
}  // namespace

CommandLineOptions ParseCommandLine(const std::wstring& commandLine) {
  return OptionsFrom(SplitCommandLine(commandLine));
}

CommandLineOptions ParseCommandLine(int argc, const char* const* argv) {
  std::vector<std::wstring> elements;
  for (int i = 0; i < argc && argv && argv[i]; ++i) elements.push_back(ArgToWide(argv[i]));
  return OptionsFrom(elements);
}

CommandLineOptions ParseProcessCommandLine() {
  std::string content;
  std::vector<std::wstring> elements;
  if (platform::ReadWholeFile("/proc/self/cmdline", &content)) {
    size_t start = 0;
    while (start < content.size()) {
      size_t end = content.find('\0', start);
      if (end == std::string::npos) end = content.size();
      elements.push_back(ArgToWide(content.substr(start, end - start)));
      start = end + 1;
    }
  }
  return OptionsFrom(elements);
}

bool GetOsName(std::wstring* family, std::wstring* version) {
  if (family) *family = L"Linux";
  if (version) *version = platform::OsVersionText();
  return true;
}

bool IsWow64() { return platform::Is32BitProcessOn64BitKernel(); }

std::wstring SingleInstanceMutex::LockPath() const {
  std::wstring folder;
  std::string runtime = platform::GetEnv("XDG_RUNTIME_DIR");
  folder = runtime.empty() ? platform::PerUserTempDir() : platform::FromNativePath(runtime);
  return platform::JoinPath(folder, kMutexPrefix + name_ + L".lock");
}

void SingleInstanceMutex::Acquire() {
  if (fd_ >= 0) return;
  std::string path = platform::NativePath(LockPath());
  if (path.empty()) return;
  // O_NOFOLLOW: a symlink planted in a shared folder is not followed.
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);  // another process holds it; leave nothing open
    return;
  }
  fd_ = fd;
}

void SingleInstanceMutex::Release() {
  if (fd_ < 0) return;
  // The file stays: removing it would let a third process lock a new inode
  // while a second one still waits on the old.
  flock(fd_, LOCK_UN);
  close(fd_);
  fd_ = -1;
}

}  // namespace Utils
