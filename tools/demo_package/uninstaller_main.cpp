// The demo product's uninstaller ("uninst.ep"). Run silently with
//   /S -adminact=.. -authorizationact=.. -console=show _?=DIR
// it removes what the package recorded in DIR/uninst.manifest (the payload
// files and the desktop entry), the manifest itself, the product's set.ini and
// every folder left empty, and reports Progress and State lines. Test options
// come from its own command line and from DIR/uninst.opt.
#include <unistd.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "tools/demo_package/demo_common.h"

namespace {

bool SafeRelativeName(const std::string& name) {
  if (name.empty() || name[0] == '/') return false;
  std::istringstream parts(name);
  std::string part;
  while (std::getline(parts, part, '/')) {
    if (part.empty() || part == "." || part == "..") return false;
  }
  return true;
}

// Removes `path`'s parent folders up to (and including) `dir` while empty.
void RemoveEmptyParents(const std::string& dir, std::string path) {
  for (;;) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash < dir.size()) break;
    path.resize(slash);
    if (::rmdir(path.c_str()) != 0) break;
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string dir = demo::FolderFromArgs(args, "", "_?=");
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();

  demo::TestOptions options;
  for (const std::string& arg : args) demo::ParseTestOption(arg, &options);
  std::string optionText;
  if (!dir.empty() && demo::ReadFileBytes(dir + "/uninst.opt", &optionText)) {
    std::istringstream lines(optionText);
    std::string line;
    while (std::getline(lines, line)) demo::ParseTestOption(line, &options);
  }
  demo::SleepMs(options.holdMs);
  demo::StatusWriter out(options);
  out.Announce();
  out.Line("Progress", "0.00");

  std::string manifest;
  if (dir.empty() || dir[0] != '/' || !demo::ReadFileBytes(dir + "/uninst.manifest", &manifest)) {
    out.Line("Error", "未找到安装记录: " + dir);
    return 1;
  }
  demo::FailPartWay(options, out);

  std::vector<std::string> entries;
  std::istringstream lines(manifest);
  std::string line;
  while (std::getline(lines, line)) entries.push_back(line);
  for (size_t i = 0; i < entries.size(); ++i) {
    const std::string& entry = entries[i];
    if (entry.rfind("file ", 0) == 0) {
      std::string name = entry.substr(5);
      if (!SafeRelativeName(name)) continue;
      std::string path = dir + "/" + name;
      ::unlink(path.c_str());
      RemoveEmptyParents(dir, path);
    } else if (entry.rfind("entry ", 0) == 0) {
      // Only the product's own desktop entry, wherever the package put it.
      std::string path = entry.substr(6);
      size_t slash = path.rfind('/');
      if (slash != std::string::npos && path.substr(slash + 1) == demo::kDesktopEntryName) {
        ::unlink(path.c_str());
      }
    }
    char progress[32];
    std::snprintf(progress, sizeof progress, "%.2f", 0.9 * double(i + 1) / double(entries.size()));
    out.Line("Progress", progress);
  }
  ::unlink((dir + "/uninst.manifest").c_str());
  ::unlink((dir + "/set.ini").c_str());
  ::rmdir(dir.c_str());
  out.Line("Progress", "1.00");
  if (!options.noState) out.Line("State", "Success");
  out.After("1.00");
  demo::WriteStamp(options.stampPath);
  return 0;
}
