#include "platform/system_info.h"

#include <errno.h>
#include <grp.h>
#include <pwd.h>
#include <sys/random.h>
#include <sys/statvfs.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/paths.h"
#include "platform/text_codec.h"

namespace platform {
namespace {

// Value of KEY=value in an os-release style file (quotes removed).
std::string ShellValue(const std::string& content, const std::string& key) {
  size_t start = 0;
  while (start < content.size()) {
    size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    std::string line = content.substr(start, end - start);
    start = end + 1;
    if (line.compare(0, key.size() + 1, key + "=") != 0) continue;
    std::string value = line.substr(key.size() + 1);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    return value;
  }
  return "";
}

bool LookupUser(const std::string& name, uid_t* uid, gid_t* gid) {
  struct passwd pw;
  struct passwd* result = nullptr;
  std::vector<char> buffer(16384);
  if (getpwnam_r(name.c_str(), &pw, buffer.data(), buffer.size(), &result) != 0 || !result) {
    return false;
  }
  *uid = result->pw_uid;
  *gid = result->pw_gid;
  return true;
}

std::string UserNameOf(uid_t uid) {
  struct passwd pw;
  struct passwd* result = nullptr;
  std::vector<char> buffer(16384);
  if (getpwuid_r(uid, &pw, buffer.data(), buffer.size(), &result) != 0 || !result ||
      !result->pw_name) {
    return "";
  }
  return result->pw_name;
}

// "/a/b/" -> "/a", "a" -> ".", "/" -> "/" (no parent above the root).
std::string ParentFolder(const std::string& path) {
  size_t end = path.size();
  while (end > 1 && path[end - 1] == '/') --end;
  size_t slash = path.find_last_of('/', end - 1);
  if (slash == std::string::npos) return std::string(1, '.');
  if (slash == 0) return std::string(1, '/');
  return path.substr(0, slash);
}

}  // namespace

std::wstring OsVersionText(const std::string& osReleasePath) {
  std::string content;
  if (ReadWholeFile(osReleasePath, &content)) {
    std::string id = ShellValue(content, "ID");
    std::string version = ShellValue(content, "VERSION_ID");
    std::string text = id;
    if (!version.empty()) {
      if (!text.empty()) text.push_back(' ');
      text.append(version);
    }
    if (!text.empty()) return FromNativePath(text);
  }
  struct utsname uts;
  if (uname(&uts) == 0) return FromNativePath(uts.release);
  return L"";
}

bool Is32BitProcessOn64BitKernel() {
  if (sizeof(void*) != 4) return false;
  struct utsname uts;
  if (uname(&uts) != 0) return false;
  std::string machine = uts.machine;
  return machine == "x86_64" || machine == "aarch64" || machine == "ppc64" ||
         machine == "ppc64le" || machine == "s390x" || machine == "riscv64";
}

bool QueryDiskSpace(const std::wstring& path, DiskSpace* space, int* error) {
  *error = 0;
  std::string native = NativePath(path);
  if (native.empty()) {
    *error = path.empty() ? ENOENT : EILSEQ;
    return false;
  }
  // No drive letters here: the volume of the nearest existing ancestor.
  for (;;) {
    struct statvfs vfs;
    if (statvfs(native.c_str(), &vfs) == 0) {
      uint64_t unit = vfs.f_frsize ? vfs.f_frsize : vfs.f_bsize;
      space->freeToCaller = static_cast<uint64_t>(vfs.f_bavail) * unit;
      space->total = static_cast<uint64_t>(vfs.f_blocks) * unit;
      space->totalFree = static_cast<uint64_t>(vfs.f_bfree) * unit;
      return true;
    }
    if (errno != ENOENT && errno != ENOTDIR) {
      *error = errno;
      return false;
    }
    std::string parent = ParentFolder(native);
    if (parent == native) {
      *error = ENOENT;
      return false;
    }
    native.swap(parent);
  }
}

bool IsRoot() { return geteuid() == 0; }

bool IsAdminAccount(const std::wstring& userName) {
  std::string name;
  if (userName.empty() || !WideToNarrow(userName, "UTF-8", &name)) return false;
  uid_t uid;
  gid_t gid;
  if (!LookupUser(name, &uid, &gid)) return false;
  if (uid == 0) return true;
  int count = 64;
  std::vector<gid_t> groups(static_cast<size_t>(count));
  if (getgrouplist(name.c_str(), gid, groups.data(), &count) < 0) {
    groups.resize(static_cast<size_t>(count));
    if (getgrouplist(name.c_str(), gid, groups.data(), &count) < 0) return false;
  }
  groups.resize(static_cast<size_t>(count));
  for (const char* admin : {"sudo", "wheel", "admin"}) {
    struct group gr;
    struct group* result = nullptr;
    std::vector<char> buffer(65536);
    if (getgrnam_r(admin, &gr, buffer.data(), buffer.size(), &result) != 0 || !result) continue;
    for (gid_t g : groups) {
      if (g == result->gr_gid) return true;
    }
  }
  return false;
}

bool ActiveSeatUserName(std::wstring* userName) {
  std::string seat;
  if (ReadWholeFile("/run/systemd/seats/seat0", &seat)) {
    std::string uid = ShellValue(seat, "ACTIVE_UID");
    if (!uid.empty()) {
      std::string name = UserNameOf(static_cast<uid_t>(std::strtoul(uid.c_str(), nullptr, 10)));
      if (!name.empty()) {
        *userName = FromNativePath(name);
        return true;
      }
    }
  }
  std::string sudoUser = GetEnv("SUDO_USER");
  if (!sudoUser.empty()) {
    *userName = FromNativePath(sudoUser);
    return true;
  }
  std::string own = UserNameOf(getuid());
  if (own.empty()) return false;
  *userName = FromNativePath(own);
  return true;
}

bool FillRandom(void* buffer, size_t size) {
  auto* out = static_cast<unsigned char*>(buffer);
  while (size > 0) {
    ssize_t n = getrandom(out, size, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    out += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace platform
