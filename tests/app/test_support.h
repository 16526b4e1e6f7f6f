// Shared pieces of the installer program's tests: a throw-away per-user
// environment, the demo package on a loopback package server, and a main
// loop pump.
#pragma once

#include <glib.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>

#include "platform/paths.h"
#include "tools/package_server/package_server.h"

namespace app_test {

inline std::wstring Wide(const std::filesystem::path& path) {
  return platform::FromNativePath(path.string());
}

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A fresh home with its own XDG folders, temporary folder and APPDATA; removed
// again by the destructor.
class ScratchHome {
 public:
  ScratchHome() {
    char pattern[] = "/tmp/quillon_app_test_XXXXXX";
    root_ = mkdtemp(pattern);
    home_ = root_ / "home";
    std::filesystem::create_directories(home_);
    std::filesystem::create_directories(root_ / "run");
    std::filesystem::permissions(root_ / "run", std::filesystem::perms::owner_all);
    Set("HOME", home_);
    Set("XDG_CONFIG_HOME", home_ / ".config");
    Set("XDG_DATA_HOME", home_ / ".local/share");
    Set("XDG_CACHE_HOME", home_ / ".cache");
    Set("APPDATA", home_ / ".local/share");
    Set("XDG_RUNTIME_DIR", root_ / "run");
    Set("TMPDIR", root_ / "run");
  }
  ~ScratchHome() {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  ScratchHome(const ScratchHome&) = delete;
  ScratchHome& operator=(const ScratchHome&) = delete;

  const std::filesystem::path& Root() const { return root_; }
  const std::filesystem::path& Home() const { return home_; }

 private:
  static void Set(const char* name, const std::filesystem::path& value) {
    setenv(name, value.c_str(), 1);
  }
  std::filesystem::path root_;
  std::filesystem::path home_;
};

// The published demo package behind "/software/277" on a loopback server.
class DemoPackageServer {
 public:
  explicit DemoPackageServer(const std::filesystem::path& root) {
    package_server::Options options;
    options.root = root;
    std::filesystem::create_directories(root);
    server_ = std::make_unique<package_server::PackageServer>(options);
    const std::string path =
        server_->AddPackage("Quillon_1.0.0.exe", ReadFile(QUILLON_DEMO_PACKAGE));
    server_->AddRedirect("/software/277", path);
    started_ = server_->Start();
  }
  bool Started() const { return started_; }
  std::wstring DownloadUrl() const {
    return platform::FromNativePath(server_->BaseUrl() + "/software/277");
  }
  package_server::PackageServer& Server() { return *server_; }

 private:
  std::unique_ptr<package_server::PackageServer> server_;
  bool started_ = false;
};

// Runs the default main context until `done` holds; false after `timeout`.
inline bool PumpUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    if (!g_main_context_iteration(nullptr, FALSE)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
  return true;
}

// Runs the default main context for `duration`.
inline void PumpFor(std::chrono::milliseconds duration) {
  PumpUntil([] { return false; }, duration);
}

}  // namespace app_test
