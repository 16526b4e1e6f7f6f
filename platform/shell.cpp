#include "platform/shell.h"

#include <dirent.h>
#include <glib.h>
#include <limits.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/atomic_file.h"
#include "platform/paths.h"
#include "platform/text_codec.h"

namespace platform {
namespace {

// Spawns argv detached: without G_SPAWN_DO_NOT_REAP_CHILD GLib starts the
// program through an intermediate child, so it is reparented to init and we
// never collect (or leave) a zombie. Descriptors other than 0..2 are closed.
bool SpawnDetached(const std::vector<std::string>& args, const std::string& workingDir) {
  if (args.empty() || args[0].empty()) return false;
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  GError* error = nullptr;
  gboolean ok =
      g_spawn_async(workingDir.empty() ? nullptr : workingDir.c_str(), argv.data(), nullptr,
                    static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_STDOUT_TO_DEV_NULL |
                                             G_SPAWN_STDERR_TO_DEV_NULL),
                    nullptr, nullptr, nullptr, &error);
  if (error) g_error_free(error);
  return ok == TRUE;
}

bool IsAllDigits(const char* text) {
  if (*text == '\0') return false;
  for (; *text; ++text) {
    if (*text < '0' || *text > '9') return false;
  }
  return true;
}

std::string BaseNameNarrow(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool OpenUrl(const std::wstring& url) {
  std::string narrow;
  if (url.empty() || !WideToNarrow(url, "UTF-8", &narrow)) return false;
  return SpawnDetached({"xdg-open", narrow}, "");
}

bool LaunchProgram(const std::wstring& program, const std::vector<std::wstring>& args) {
  std::vector<std::string> argv;
  std::string narrow;
  if (program.empty() || !WideToNarrow(program, "UTF-8", &narrow)) return false;
  argv.push_back(narrow);
  for (const std::wstring& arg : args) {
    if (!WideToNarrow(arg, "UTF-8", &narrow)) return false;
    argv.push_back(narrow);
  }
  std::wstring folder = DirName(program);
  return SpawnDetached(argv, folder.empty() ? std::string() : NativePath(folder));
}

std::vector<ProcessEntry> ListProcesses() {
  std::vector<ProcessEntry> entries;
  DIR* proc = opendir("/proc");
  if (!proc) return entries;
  while (struct dirent* entry = readdir(proc)) {
    if (!IsAllDigits(entry->d_name)) continue;
    const std::string base = std::string("/proc/") + entry->d_name;
    std::string name;
    char target[PATH_MAX + 1];
    ssize_t n = readlink((base + "/exe").c_str(), target, PATH_MAX);
    if (n > 0) {
      std::string exe(target, static_cast<size_t>(n));
      const std::string deleted = " (deleted)";
      if (exe.size() > deleted.size() &&
          exe.compare(exe.size() - deleted.size(), deleted.size(), deleted) == 0) {
        exe.resize(exe.size() - deleted.size());
      }
      name = BaseNameNarrow(exe);
    } else {
      // Another user's process: /proc/PID/exe is not readable, argv[0] is.
      std::string cmdline;
      if (ReadWholeFile(base + "/cmdline", &cmdline) && !cmdline.empty()) {
        name = BaseNameNarrow(std::string(cmdline.c_str()));
      }
    }
    if (name.empty()) continue;
    entries.push_back({static_cast<pid_t>(std::atol(entry->d_name)), FromNativePath(name)});
  }
  closedir(proc);
  return entries;
}

}  // namespace platform
