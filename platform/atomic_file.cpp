#include "platform/atomic_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <vector>

namespace platform {
namespace {

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = other.fd_;
      other.fd_ = -1;
    }
    return *this;
  }
  int get() const { return fd_; }
  void Reset() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, const std::string& data) {
  const char* p = data.data();
  size_t left = data.size();
  while (left > 0) {
    ssize_t n = write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Exclusive flock, retried for up to five seconds so that a stuck holder
// cannot hang the installer.
bool LockWithTimeout(int fd) {
  for (int attempt = 0; attempt < 500; ++attempt) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    struct timespec pause = {0, 10 * 1000 * 1000};
    nanosleep(&pause, nullptr);
  }
  return false;
}

}  // namespace

bool ReadWholeFile(const std::string& nativePath, std::string* content) {
  content->clear();
  Fd fd(open(nativePath.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return false;
  struct stat st;
  if (fstat(fd.get(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    ssize_t n = read(fd.get(), buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      content->clear();
      return false;
    }
    if (n == 0) break;
    content->append(buffer.data(), static_cast<size_t>(n));
  }
  return true;
}

bool UpdateFileAtomically(const std::string& nativePath, const FileUpdate& update,
                          mode_t newFileMode) {
  if (nativePath.empty()) return false;
  const std::string folder = FolderOf(nativePath);
  Fd folderFd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folderFd.get() < 0 || !LockWithTimeout(folderFd.get())) return false;

  std::string current;
  bool exists = ReadWholeFile(nativePath, &current);
  if (!exists) {
    struct stat st;
    // Present but unreadable: do not replace what we cannot keep.
    if (stat(nativePath.c_str(), &st) == 0) return false;
  }
  std::string next;
  if (!update(exists ? &current : nullptr, &next)) return false;

  struct stat st;
  bool keepMode = exists && stat(nativePath.c_str(), &st) == 0;

  // A fresh name in the same folder; O_EXCL with the new file's mode lets the
  // umask apply without touching the process-wide umask.
  static std::atomic<unsigned> counter{0};
  std::string temp;
  Fd tempFd;
  for (int attempt = 0; attempt < 100 && tempFd.get() < 0; ++attempt) {
    temp = nativePath + ".tmp." + std::to_string(getpid()) + "." +
           std::to_string(counter.fetch_add(1));
    tempFd = Fd(open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, newFileMode));
    if (tempFd.get() < 0 && errno != EEXIST) return false;
  }
  if (tempFd.get() < 0) return false;
  bool ok = WriteAll(tempFd.get(), next) &&
            (!keepMode || fchmod(tempFd.get(), st.st_mode & 07777) == 0) &&
            fsync(tempFd.get()) == 0;
  tempFd.Reset();
  if (!ok || rename(temp.c_str(), nativePath.c_str()) != 0) {
    unlink(temp.c_str());
    return false;
  }
  fsync(folderFd.get());
  return true;
}

}  // namespace platform
