#include "utils/log.h"

#include <errno.h>
#include <locale.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cstdarg>
#include <cwchar>
#include <vector>

#include "platform/debug_output.h"
#include "utils/text.h"

namespace Utils {
namespace {

// Records longer than this are dropped rather than grown without bound.
constexpr size_t kMaxRecordChars = 1 << 20;

constexpr wchar_t kPrefix[] = L"<P%05d><T%05d><%04d-%02d-%02d %02d:%02d:%02d.%03d>(%s)<%04d>: ";

// Expands prefix + message as one format string. vswprintf does not report
// the length it needs, so the buffer is measured by growing it until the
// expansion fits. Empty on failure (the record is then dropped).
std::wstring FormatRecord(const char* function, int line, const wchar_t* format, va_list args) {
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  struct tm local;
  localtime_r(&now.tv_sec, &local);
  const int millis = static_cast<int>(now.tv_nsec / 1000000);
  const int pid = static_cast<int>(getpid());
  const int tid = static_cast<int>(syscall(SYS_gettid));

  // Narrow "%s" values (the function name, UTF-8 texts) are decoded as UTF-8
  // whatever the process locale is; uselocale only affects this thread.
  static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  locale_t previous = utf8 ? uselocale(utf8) : static_cast<locale_t>(nullptr);
  struct RestoreLocale {
    locale_t previous;
    ~RestoreLocale() {
      if (previous) uselocale(previous);
    }
  } restore{previous};

  std::vector<wchar_t> buffer(256);
  for (;;) {
    va_list copy;
    va_copy(copy, args);
    // Expanding the prefix and then the message into the same buffer gives
    // the text of one expansion of prefix + message.
    errno = 0;
    int prefixLen = swprintf(buffer.data(), buffer.size(), kPrefix, pid, tid, local.tm_year + 1900,
                             local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                             local.tm_sec, millis, function ? function : "", line);
    int messageLen = -1;
    if (prefixLen >= 0) {
      messageLen = vswprintf(buffer.data() + prefixLen, buffer.size() - prefixLen,
                             format ? format : L"", copy);
    }
    va_end(copy);
    if (prefixLen >= 0 && messageLen >= 0) {
      return std::wstring(buffer.data(), static_cast<size_t>(prefixLen + messageLen));
    }
    // An undecodable narrow value will not fit in any buffer.
    if (errno == EILSEQ || buffer.size() >= kMaxRecordChars) return L"";
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

std::wstring DiagnosticLogFormat(const char* function, int line, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  std::wstring record = FormatRecord(function, line, format, args);
  va_end(args);
  return record;
}

void DiagnosticLogWrite(const char* function, int line, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  std::wstring record = FormatRecord(function, line, format, args);
  va_end(args);
  if (record.empty()) return;
  std::string utf8 = WideToMultiByte(record, kCodePageUtf8);
  if (utf8.empty()) return;
  platform::WriteDebugOutput(utf8);
}

std::string QualifiedFunctionName(const char* prettyFunction) {
  if (!prettyFunction) return "";
  std::string text = prettyFunction;
  // Template functions: "void f() [with T = int]".
  size_t with = text.find(" [with ");
  if (with != std::string::npos) text.resize(with);

  // The parameter list opens at the first '(' outside template brackets;
  // "operator()" is part of the name.
  int angle = 0;
  size_t open = std::string::npos;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '<') {
      if (i >= 8 && text.compare(i - 8, 8, "operator") == 0) continue;
      ++angle;
    } else if (c == '>') {
      if (i >= 8 && text.compare(i - 8, 8, "operator") == 0) continue;
      if (i >= 1 && text[i - 1] == '-') continue;  // operator->
      if (angle > 0) --angle;
    } else if (c == '(' && angle == 0) {
      if (i >= 8 && text.compare(i - 8, 8, "operator") == 0 && i + 1 < text.size() &&
          text[i + 1] == ')') {
        ++i;
        continue;
      }
      open = i;
      break;
    }
  }
  std::string head = open == std::string::npos ? text : text.substr(0, open);

  // The name starts after the last blank outside template brackets (the
  // return type and "static"/"virtual" come before it).
  angle = 0;
  size_t start = 0;
  for (size_t i = 0; i < head.size(); ++i) {
    char c = head[i];
    if (c == '<') {
      ++angle;
    } else if (c == '>') {
      if (angle > 0) --angle;
    } else if (c == ' ' && angle == 0) {
      // "operator new", "operator delete": keep the blank.
      if (i >= 8 && head.compare(i - 8, 8, "operator") == 0) continue;
      start = i + 1;
    }
  }
  std::string name = head.substr(start);
  while (!name.empty() && (name[0] == '*' || name[0] == '&')) name.erase(0, 1);
  return name;
}

}  // namespace Utils
