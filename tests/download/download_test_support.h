// Shared pieces of the download tests: a temporary folder with a running
// package server, an event recorder, and a capture of diagnostic records.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "download/downloader.h"
#include "platform/debug_output.h"
#include "tools/package_server/package_server.h"
#include "utils/text.h"

namespace download_test {

struct Event {
  int32_t code;
  double value;
  std::wstring text;
  std::chrono::steady_clock::time_point at;
};

inline bool IsFinal(int32_t code) {
  return code == DL_CODE_SUCCESS || code == DL_CODE_FAIL || code == DL_CODE_RETRY;
}

// Records every event; optionally runs a reaction on the delivering thread
// (a restart after DL_CODE_RETRY, as the installer does).
class EventLog {
 public:
  DownloadEventCallback Callback() {
    return [this](int32_t code, double value, const wchar_t* text) {
      Event event{code, value, text ? text : L"", std::chrono::steady_clock::now()};
      {
        std::lock_guard lock(mutex_);
        events_.push_back(event);
        if (IsFinal(code)) ++finals_;
      }
      changed_.notify_all();
      if (onEvent) onEvent(event);
    };
  }

  // Waits until `count` final events arrived; false on timeout.
  bool WaitForFinals(size_t count, std::chrono::seconds timeout = std::chrono::seconds(60)) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return finals_ >= count; });
  }
  bool WaitFor(std::function<bool(const std::vector<Event>&)> done,
               std::chrono::seconds timeout = std::chrono::seconds(60)) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return done(events_); });
  }

  std::vector<Event> Events() const {
    std::lock_guard lock(mutex_);
    return events_;
  }
  // Codes in order without the progress events.
  std::vector<int32_t> Codes() const {
    std::vector<int32_t> codes;
    for (auto& event : Events()) {
      if (event.code != DL_CODE_PROGRESS) codes.push_back(event.code);
    }
    return codes;
  }
  std::vector<Event> Only(int32_t code) const {
    std::vector<Event> out;
    for (auto& event : Events()) {
      if (event.code == code) out.push_back(event);
    }
    return out;
  }

  std::function<void(const Event&)> onEvent;

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Event> events_;
  size_t finals_ = 0;
};

// Captures diagnostic records for the lifetime of the object.
class RecordCapture {
 public:
  RecordCapture() {
    platform::SetDebugOutputHook([this](const std::string& record) {
      std::lock_guard lock(mutex_);
      records_.push_back(record);
    });
  }
  ~RecordCapture() { platform::SetDebugOutputHook(nullptr); }

  // Records whose message (after the prefix) contains `text`.
  size_t Count(const std::string& text) const {
    std::lock_guard lock(mutex_);
    size_t n = 0;
    for (auto& record : records_) {
      size_t message = record.find(">: ");
      if (message != std::string::npos && record.find(text, message) != std::string::npos) ++n;
    }
    return n;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> records_;
};

inline std::string RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 generator(seed);
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; i += 4) {
    uint32_t word = generator();
    for (size_t j = 0; j < 4 && i + j < size; ++j)
      bytes[i + j] = static_cast<char>(word >> (8 * j));
  }
  return bytes;
}

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::wstring Wide(const std::string& text) {
  return Utils::MultiByteToWide(text, Utils::kCodePageUtf8);
}

// A temporary folder (removed afterwards) with a package server serving
// <dir>/root, and a place for downloads in <dir>/out.
class ServerFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "quillon-dl-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    std::filesystem::create_directories(dir_ / "root");
    std::filesystem::create_directories(dir_ / "out");
    package_server::Options options;
    options.root = dir_ / "root";
    server_ = std::make_unique<package_server::PackageServer>(options);
    ASSERT_TRUE(server_->Start());
  }
  void TearDown() override {
    server_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  // Publishes `bytes` as /packages/<folder or md5>/<name> and redirects
  // /software/277 to it. Returns the redirecting URL.
  std::wstring Publish(const std::string& bytes, const std::string& folder = "",
                       const std::string& name = "pkg.exe") {
    packagePath_ = server_->AddPackage(name, bytes, folder);
    server_->AddRedirect("/software/277", packagePath_);
    return Wide(server_->BaseUrl() + "/software/277");
  }
  std::filesystem::path Out(const std::string& name = "package.exe") const {
    return dir_ / "out" / name;
  }
  std::wstring OutWide(const std::string& name = "package.exe") const {
    return Wide(Out(name).string());
  }

  std::filesystem::path dir_;
  std::unique_ptr<package_server::PackageServer> server_;
  std::string packagePath_;
};

}  // namespace download_test
