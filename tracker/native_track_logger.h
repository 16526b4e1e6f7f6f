// The tracker's log file. The tracker opens it on the track-log path at
// initialisation and closes it at destruction. Operations use try-lock:
// concurrent callers never wait, the losing call does nothing. Never throws.
#pragma once

#include <cstdint>
#include <fstream>
#include <mutex>
#include <string>

namespace usage {
namespace lumora {

class TrackLogger {
 public:
  virtual ~TrackLogger() = default;
  virtual void open(const std::string& path) = 0;
  virtual void close() = 0;
};

class NativeTrackLogger : public TrackLogger {
 public:
  NativeTrackLogger() = default;
  ~NativeTrackLogger() override = default;
  NativeTrackLogger(const NativeTrackLogger&) = delete;
  NativeTrackLogger& operator=(const NativeTrackLogger&) = delete;

  // Nothing when `path` is the current path; otherwise closes the stream,
  // resets the line count, creates the file empty when missing and opens it.
  void open(const std::string& path) override;
  void close() override;

  const std::string& pathForTesting() const { return path_; }
  bool isOpenForTesting() const { return stream_.is_open(); }

 private:
  std::string path_;
  std::fstream stream_;
  std::mutex mutex_;
  int32_t lineCount_ = 0;
};

}  // namespace lumora
}  // namespace usage
