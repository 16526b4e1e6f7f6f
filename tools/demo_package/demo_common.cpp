#include "tools/demo_package/demo_common.h"

#include <fcntl.h>
#include <iconv.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace demo {
namespace {

bool StartsWith(const std::string& text, const char* prefix, std::string* rest) {
  size_t n = std::strlen(prefix);
  if (text.compare(0, n, prefix) != 0) return false;
  if (rest) *rest = text.substr(n);
  return true;
}

int ToInt(const std::string& text) {
  return static_cast<int>(std::strtol(text.c_str(), nullptr, 10));
}

}  // namespace

bool ParseTestOption(const std::string& arg, TestOptions* options) {
  std::string value;
  if (StartsWith(arg, "-test-error=", &value)) {
    options->errorText = value;
  } else if (arg == "-test-state-fail") {
    options->stateFail = true;
  } else if (StartsWith(arg, "-test-signal=", &value)) {
    options->signal = ToInt(value);
  } else if (StartsWith(arg, "-test-exit=", &value)) {
    options->exitCode = ToInt(value);
  } else if (arg == "-test-no-state") {
    options->noState = true;
  } else if (StartsWith(arg, "-test-slow=", &value)) {
    options->slowMs = ToInt(value);
  } else if (arg == "-test-gbk") {
    options->gbk = true;
  } else if (arg == "-test-split") {
    options->split = true;
  } else if (StartsWith(arg, "-test-after=", &value)) {
    options->afterLines = ToInt(value);
  } else if (StartsWith(arg, "-test-after-line=", &value)) {
    options->linesAfter.push_back(value);
  } else if (StartsWith(arg, "-test-stamp=", &value)) {
    options->stampPath = value;
  } else if (StartsWith(arg, "-test-hold=", &value)) {
    options->holdMs = ToInt(value);
  } else {
    return false;
  }
  return true;
}

std::string Utf8ToGbk(const std::string& text) {
  iconv_t cd = iconv_open("GBK", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return text;
  std::string out(text.size() * 2 + 8, '\0');
  char* in = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  char* outPtr = out.data();
  size_t outLeft = out.size();
  size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
  iconv_close(cd);
  if (rc == static_cast<size_t>(-1)) return text;
  out.resize(out.size() - outLeft);
  return out;
}

void SleepMs(int ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void WriteStamp(const std::string& path) {
  if (path.empty()) return;
  auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                std::chrono::steady_clock::now().time_since_epoch())
                .count();
  WriteFileBytes(path, std::to_string(ns) + "\n", 0644);
}

void FailPartWay(const TestOptions& options, StatusWriter& out) {
  if (options.signal > 0) {
    WriteStamp(options.stampPath);
    ::kill(::getpid(), options.signal);
    SleepMs(5000);  // a caught or ignored signal: still no decisive line
    _exit(125);
  }
  if (!options.errorText.empty()) {
    out.Line("Error", options.errorText);
  } else if (options.stateFail) {
    out.Line("State", "Fail");
  } else if (options.exitCode >= 0) {
    WriteStamp(options.stampPath);
    _exit(options.exitCode);
  } else {
    return;
  }
  out.After("0.5");
  WriteStamp(options.stampPath);
  _exit(1);
}

void StatusWriter::Write(const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(STDOUT_FILENO, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // the reader went away; nothing more to tell
    done += static_cast<size_t>(n);
  }
}

void StatusWriter::Announce() { Write(options_.gbk ? "Encode=936\n" : "Encode=UTF8\n"); }

void StatusWriter::Line(const std::string& key, const std::string& value) {
  std::string line = key + "=" + value + "\n";
  if (options_.gbk) line = Utf8ToGbk(line);
  if (options_.split && line.size() > 1) {
    // Cut inside the line (inside a multi-byte character when there is one)
    // so that the reader gets it in two reads.
    size_t cut = line.size() / 2;
    Write(line.substr(0, cut));
    SleepMs(40);
    Write(line.substr(cut));
  } else {
    Write(line);
  }
  SleepMs(options_.slowMs);
}

void StatusWriter::After(const std::string& fillerProgress) {
  for (int i = 0; i < options_.afterLines; ++i) Line("Progress", fillerProgress);
  for (const std::string& line : options_.linesAfter) {
    size_t eq = line.find('=');
    if (eq == std::string::npos) {
      Line(line, "");
    } else {
      Line(line.substr(0, eq), line.substr(eq + 1));
    }
  }
}

bool MakeDirs(const std::string& path) {
  if (path.empty()) return false;
  std::string partial;
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t next = path.find('/', pos);
    if (next == std::string::npos) next = path.size();
    partial = path.substr(0, next);
    if (!partial.empty() && ::mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) return false;
    pos = next + 1;
  }
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool WriteFileBytes(const std::string& path, const std::string& data, unsigned mode) {
  // Replace rather than rewrite in place: the old file may be a running program.
  std::string temp = path + ".part";
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  if (fd < 0) return false;
  size_t done = 0;
  bool ok = true;
  while (done < data.size()) {
    ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    done += static_cast<size_t>(n);
  }
  ok = ::fchmod(fd, mode) == 0 && ok;
  ok = ::close(fd) == 0 && ok;
  if (ok) ok = ::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

bool ReadFileBytes(const std::string& path, std::string* data) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  data->clear();
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    data->append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return true;
}

std::string DesktopEntryDir() {
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  if (dataHome && *dataHome == '/') return std::string(dataHome) + "/applications";
  const char* home = std::getenv("HOME");
  if (home && *home == '/') return std::string(home) + "/.local/share/applications";
  return {};
}

std::string FolderFromArgs(const std::vector<std::string>& args, const std::string& quotedKey,
                           const std::string& restKey) {
  if (!quotedKey.empty()) {
    for (const std::string& arg : args) {
      std::string value;
      if (StartsWith(arg, quotedKey.c_str(), &value) && !value.empty()) return value;
    }
  }
  for (size_t i = 0; i < args.size(); ++i) {
    std::string value;
    if (!StartsWith(args[i], restKey.c_str(), &value)) continue;
    // The folder is last on the line and not quoted: the blanks inside it
    // separated it into several arguments.
    for (size_t j = i + 1; j < args.size(); ++j) value += " " + args[j];
    return value;
  }
  return {};
}

}  // namespace demo
