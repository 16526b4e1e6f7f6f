#include "utils/files.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <openssl/evp.h>

#include <memory>
#include <vector>

#include "platform/paths.h"

namespace Utils {
namespace {

constexpr wchar_t kWorkDirName[] = L"~LumoraTemp.92482B06FB471E17";
constexpr size_t kMaxPathChars = 260;
// Large reads keep the hash bound by MD5 itself, not by system calls.
constexpr size_t kMd5Chunk = 1 << 20;

// Our own, private folder: a real directory (not a symlink), owned by us.
// Group and other permission bits are removed.
bool IsOurPrivateFolder(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return false;
  if (!S_ISDIR(st.st_mode) || st.st_uid != geteuid()) return false;
  if ((st.st_mode & 077) != 0 && chmod(path.c_str(), 0700) != 0) return false;
  return true;
}

}  // namespace

std::wstring GetTempWorkDir() {
  std::wstring folder = platform::JoinPath(platform::PerUserTempDir(), kWorkDirName);
  std::string native = platform::NativePath(folder);
  if (native.empty()) return L"";
  if (mkdir(native.c_str(), 0700) != 0 && errno != EEXIST) return L"";
  // Whether we made it or found it: someone else's folder or a symlink that
  // another local user planted is refused.
  if (!IsOurPrivateFolder(native)) return L"";
  return folder + L"/";
}

bool CreateDirectoryTree(const std::wstring& path) {
  if (path.empty() || path.size() > kMaxPathChars) return false;
  std::string native = platform::NativePath(path);
  if (native.empty()) return false;
  for (size_t i = 1; i <= native.size(); ++i) {
    if (i != native.size() && native[i] != '/') continue;
    std::string prefix = native.substr(0, i);
    struct stat st;
    if (stat(prefix.c_str(), &st) == 0) {
      if (!S_ISDIR(st.st_mode)) return false;
      continue;
    }
    if (mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) return false;
  }
  return platform::IsDirectory(path);
}

std::string GetFileMd5(const std::string& path) {
  if (path.empty()) return "";
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return "";
  struct CloseFd {
    int fd;
    ~CloseFd() { close(fd); }
  } closer{fd};
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) return "";
  posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);

  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_md5(), nullptr) != 1) return "";
  std::vector<unsigned char> buffer(kMd5Chunk);
  for (;;) {
    ssize_t n = read(fd, buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return "";
    }
    if (n == 0) break;
    if (EVP_DigestUpdate(ctx.get(), buffer.data(), static_cast<size_t>(n)) != 1) return "";
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(ctx.get(), digest, &length) != 1 || length != 16) return "";
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  for (unsigned int i = 0; i < length; ++i) {
    text += kHex[digest[i] >> 4];
    text += kHex[digest[i] & 0x0F];
  }
  return text;
}

}  // namespace Utils
