// Shared helpers of the foundation tests: a temporary folder removed at the
// end, scoped environment variables, and a debug-output capture.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/debug_output.h"

namespace quillon_test {

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quillon_test.XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data())) path_ = name.data();
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::wstring wpath() const { return std::filesystem::path(path_).wstring(); }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  std::wstring WFile(const std::string& name) const {
    return std::filesystem::path(File(name)).wstring();
  }

 private:
  std::string path_;
};

// Sets (or unsets, for nullopt) an environment variable for the scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old;
    if (value) {
      setenv(name, value->c_str(), 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_.c_str(), old_->c_str(), 1);
    } else {
      unsetenv(name_.c_str());
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// Captures every debug-output record for its lifetime.
class DebugCapture {
 public:
  DebugCapture() {
    platform::SetDebugOutputHook([this](const std::string& record) {
      std::lock_guard<std::mutex> lock(mutex_);
      records_.push_back(record);
    });
  }
  ~DebugCapture() { platform::SetDebugOutputHook(nullptr); }
  DebugCapture(const DebugCapture&) = delete;
  DebugCapture& operator=(const DebugCapture&) = delete;
  std::vector<std::string> Records() {
    std::lock_guard<std::mutex> lock(mutex_);
    return records_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> records_;
};

}  // namespace quillon_test
