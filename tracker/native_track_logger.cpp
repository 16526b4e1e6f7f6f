#include "tracker/native_track_logger.h"

namespace usage {
namespace lumora {

void NativeTrackLogger::open(const std::string& path) {
  if (path == path_) return;
  std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
  if (!lock.owns_lock()) return;
  if (stream_.is_open()) stream_.close();
  lineCount_ = 0;
  {
    // Create it empty when missing; an existing log keeps its lines.
    std::ofstream create(path, std::ios::app);
  }
  stream_.open(path, std::ios::in | std::ios::out);
  path_ = path;
}

void NativeTrackLogger::close() {
  std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
  if (!lock.owns_lock()) return;
  if (stream_.is_open()) stream_.close();
}

}  // namespace lumora
}  // namespace usage
