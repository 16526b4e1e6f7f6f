// A throw-away per-user environment for the install tests: HOME, XDG_*,
// TMPDIR point into a fresh temporary folder (APPDATA and SUDO_USER unset),
// restored and removed afterwards. Also small helpers to run the real demo
// package and collect job events.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "download/downloader.h"
#include "platform/paths.h"

namespace install_test {

namespace fs = std::filesystem;

class ScopedUserEnv {
 public:
  ScopedUserEnv() {
    char pattern[] = "/tmp/quillon-install-test-XXXXXX";
    char* made = mkdtemp(pattern);
    if (!made) throw std::runtime_error("mkdtemp failed");
    root_ = made;
    for (const char* sub : {"home", "config", "data", "runtime", "tmp"}) {
      fs::create_directories(root_ / sub);
    }
    fs::permissions(root_ / "runtime", fs::perms::owner_all, fs::perm_options::replace);
    Set("HOME", (root_ / "home").string());
    Set("XDG_CONFIG_HOME", (root_ / "config").string());
    Set("XDG_DATA_HOME", (root_ / "data").string());
    Set("XDG_RUNTIME_DIR", (root_ / "runtime").string());
    Set("TMPDIR", (root_ / "tmp").string());
    Unset("APPDATA");
    Unset("SUDO_USER");
  }
  ~ScopedUserEnv() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->second) {
        setenv(it->first.c_str(), it->second->c_str(), 1);
      } else {
        unsetenv(it->first.c_str());
      }
    }
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  ScopedUserEnv(const ScopedUserEnv&) = delete;
  ScopedUserEnv& operator=(const ScopedUserEnv&) = delete;

  const fs::path& Root() const { return root_; }
  fs::path DataHome() const { return root_ / "data"; }

  void Set(const std::string& name, const std::string& value) {
    Save(name);
    setenv(name.c_str(), value.c_str(), 1);
  }
  void Unset(const std::string& name) {
    Save(name);
    unsetenv(name.c_str());
  }

 private:
  void Save(const std::string& name) {
    for (const auto& entry : saved_) {
      if (entry.first == name) return;
    }
    const char* value = getenv(name.c_str());
    saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
  }

  fs::path root_;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

struct Event {
  int32_t code;
  double value;
  std::wstring text;
};

// Collects events from any thread; waits for a code.
class EventLog {
 public:
  DownloadEventCallback Callback() {
    return [this](int32_t code, double value, const wchar_t* text) {
      std::lock_guard<std::mutex> lock(mutex_);
      events_.push_back(Event{code, value, text ? text : L""});
      changed_.notify_all();
    };
  }
  // True when an event with one of `codes` arrived within `timeout`.
  bool WaitFor(std::initializer_list<int32_t> codes,
               std::chrono::milliseconds timeout = std::chrono::seconds(60)) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] {
      for (const Event& e : events_) {
        for (int32_t c : codes) {
          if (e.code == c) return true;
        }
      }
      return false;
    });
  }
  std::vector<Event> Events() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }
  std::vector<Event> WithCode(int32_t code) const {
    std::vector<Event> out;
    for (const Event& e : Events()) {
      if (e.code == code) out.push_back(e);
    }
    return out;
  }
  std::vector<int32_t> Codes() const {
    std::vector<int32_t> out;
    for (const Event& e : Events()) out.push_back(e.code);
    return out;
  }
  // Index of the first event with `code`, or -1.
  int IndexOf(int32_t code) const {
    std::vector<Event> events = Events();
    for (size_t i = 0; i < events.size(); ++i) {
      if (events[i].code == code) return static_cast<int>(i);
    }
    return -1;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Event> events_;
};

inline std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline std::wstring W(const fs::path& path) { return platform::FromNativePath(path.string()); }

}  // namespace install_test
