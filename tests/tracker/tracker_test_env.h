// A throw-away per-user environment for tracker tests: HOME, XDG_DATA_HOME,
// XDG_CONFIG_HOME and APPDATA point into a temporary folder, the "Set.ini"
// lookup goes to an empty folder, and the analytics variables are cleared.
// Everything is restored and removed at the end.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>

#include <map>
#include <optional>
#include <string>

#include "tests/sdk/sdk_test_util.h"
#include "tracker/device_info.h"

namespace tracker_test {

class ScopedEnv {
 public:
  void Set(const char* name, const std::string& value) {
    Remember(name);
    setenv(name, value.c_str(), 1);
  }
  void Unset(const char* name) {
    Remember(name);
    unsetenv(name);
  }
  ~ScopedEnv() {
    for (const auto& [name, value] : saved_) {
      if (value) {
        setenv(name.c_str(), value->c_str(), 1);
      } else {
        unsetenv(name.c_str());
      }
    }
  }

 private:
  void Remember(const char* name) {
    if (saved_.count(name) != 0) return;
    const char* old = getenv(name);
    saved_[name] = old != nullptr ? std::optional<std::string>(old) : std::nullopt;
  }
  std::map<std::string, std::optional<std::string>> saved_;
};

class TempHome {
 public:
  TempHome() {
    env_.Set("HOME", dir_.Path());
    env_.Set("XDG_DATA_HOME", dir_.File("data"));
    env_.Set("XDG_CONFIG_HOME", dir_.File("config"));
    env_.Set("APPDATA", dir_.File("appdata"));
    env_.Unset("QUILLON_ANALYTICS_URL");
    env_.Unset("DO_NOT_TRACK");
    redirect_ = dir_.File("exe");
    mkdir(redirect_.c_str(), 0700);
    usage::lumora::device::SetRedirectFolderForTesting(redirect_);
  }
  ~TempHome() { usage::lumora::device::SetRedirectFolderForTesting(std::string()); }

  const std::string& Path() const { return dir_.Path(); }
  std::string File(const std::string& name) const { return dir_.File(name); }
  // The folder where the tracker looks for "Set.ini".
  const std::string& RedirectFolder() const { return redirect_; }
  // The default data folder of an application id.
  std::string DataFolder(const std::string& appName) const {
    return dir_.File("data") + "/LMLocal/" + appName + "/";
  }
  ScopedEnv& Env() { return env_; }

 private:
  sdk_test::TempDir dir_;
  ScopedEnv env_;
  std::string redirect_;
};

}  // namespace tracker_test
