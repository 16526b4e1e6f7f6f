// The demo product package: a self-extracting installer. Run silently with
//   /S -console=show -version=1.0.0 -adminact=.. -authorizationact=.. -dsc=..
//   -ssc=.. [extra options] -instdir="DIR" /D=DIR
// it unpacks its payload (Vantrel.exe, uninst.ep, data files) into DIR, writes
// the uninstall manifest, creates a desktop entry when -dsc=true and reports
// its progress as Key=Value status lines on standard output.
#include <archive.h>
#include <archive_entry.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tools/demo_package/demo_common.h"
#include "tools/demo_package/payload_format.h"

namespace {

struct PayloadFile {
  std::string name;  // relative, "/"-separated
  std::string data;
  unsigned mode;
};

bool SafeRelativeName(const std::string& name) {
  if (name.empty() || name[0] == '/') return false;
  size_t pos = 0;
  while (pos <= name.size()) {
    size_t next = name.find('/', pos);
    if (next == std::string::npos) next = name.size();
    std::string part = name.substr(pos, next - pos);
    if (part.empty() || part == "." || part == "..") return false;
    pos = next + 1;
  }
  return true;
}

// Reads the payload archive appended to our own program file.
bool ReadPayload(std::vector<PayloadFile>* files, std::string* error) {
  std::string self;
  if (!demo::ReadFileBytes("/proc/self/exe", &self)) {
    *error = "无法读取安装包";
    return false;
  }
  uint64_t offset = 0, size = 0;
  if (!demo::FindPayload(self, &offset, &size)) {
    *error = "安装包已损坏";
    return false;
  }
  archive* a = archive_read_new();
  archive_read_support_format_tar(a);
  bool ok = archive_read_open_memory(a, self.data() + offset, size) == ARCHIVE_OK;
  archive_entry* entry = nullptr;
  while (ok) {
    int rc = archive_read_next_header(a, &entry);
    if (rc == ARCHIVE_EOF) break;
    if (rc != ARCHIVE_OK) {
      ok = false;
      break;
    }
    if (archive_entry_filetype(entry) != AE_IFREG) continue;
    PayloadFile file;
    file.name = archive_entry_pathname(entry);
    file.mode = archive_entry_perm(entry);
    if (!SafeRelativeName(file.name)) {
      ok = false;
      break;
    }
    char buffer[65536];
    for (;;) {
      la_ssize_t n = archive_read_data(a, buffer, sizeof buffer);
      if (n < 0) ok = false;
      if (n <= 0) break;
      file.data.append(buffer, static_cast<size_t>(n));
    }
    files->push_back(std::move(file));
  }
  archive_read_free(a);
  if (!ok || files->empty()) *error = "安装包已损坏";
  return ok && !files->empty();
}

std::string DesktopExecQuote(const std::string& path) {
  std::string out = "\"";
  for (char c : path) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') out += "\\\\";
    out += c;
  }
  return out + "\"";
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  demo::TestOptions options;
  std::vector<std::string> uninstallOptions;
  bool desktopShortcut = false;
  for (const std::string& arg : args) {
    if (arg == "-dsc=true") desktopShortcut = true;
    if (arg.rfind("-uninst-test-", 0) == 0) uninstallOptions.push_back(arg.substr(7));
    demo::ParseTestOption(arg, &options);
  }
  demo::SleepMs(options.holdMs);
  demo::StatusWriter out(options);
  out.Announce();
  out.Line("Progress", "0.00");

  std::string dir = demo::FolderFromArgs(args, "-instdir=", "/D=");
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  if (dir.empty() || dir[0] != '/') {
    out.Line("Error", "安装目录无效");
    return 1;
  }
  std::vector<PayloadFile> files;
  std::string error;
  if (!ReadPayload(&files, &error)) {
    out.Line("Error", error);
    return 1;
  }
  if (!demo::MakeDirs(dir)) {
    out.Line("Error", "无法创建安装目录: " + dir);
    return 1;
  }
  out.Line("InstallVersion", "1.0.0");
  out.Line("Progress", "0.10");

  std::string manifest;
  for (size_t i = 0; i < files.size(); ++i) {
    const PayloadFile& file = files[i];
    std::string path = dir + "/" + file.name;
    size_t slash = path.rfind('/');
    if (!demo::MakeDirs(path.substr(0, slash)) ||
        !demo::WriteFileBytes(path, file.data, file.mode)) {
      out.Line("Error", "写入文件失败: " + path);
      return 1;
    }
    manifest += "file " + file.name + "\n";
    char progress[32];
    std::snprintf(progress, sizeof progress, "%.2f",
                  0.1 + 0.7 * double(i + 1) / double(files.size()));
    out.Line("Progress", progress);
    if (i == 0) demo::FailPartWay(options, out);
  }

  if (desktopShortcut) {
    std::string entryDir = demo::DesktopEntryDir();
    std::string entry = entryDir + "/" + demo::kDesktopEntryName;
    std::string text = "[Desktop Entry]\nType=Application\nName=Quillon助手\nExec=" +
                       DesktopExecQuote(dir + "/Vantrel.exe") + "\nPath=" + dir +
                       "\nTerminal=false\n";
    if (!entryDir.empty() && demo::MakeDirs(entryDir) && demo::WriteFileBytes(entry, text, 0644)) {
      manifest += "entry " + entry + "\n";
    }
  }
  std::string optionText;
  for (const std::string& option : uninstallOptions) optionText += option + "\n";
  if (!optionText.empty()) {
    demo::WriteFileBytes(dir + "/uninst.opt", optionText, 0644);
    manifest += "file uninst.opt\n";
  }
  if (!demo::WriteFileBytes(dir + "/uninst.manifest", manifest, 0644)) {
    out.Line("Error", "写入卸载清单失败");
    return 1;
  }
  out.Line("Progress", "0.90");
  out.Line("InstPath", dir);
  out.Line("ExePath", dir + "/Vantrel.exe");
  out.Line("UninstEp", dir + "/uninst.ep");
  out.Line("StartupStyle", "UserStartup");
  out.Line("StartUrl", "https://www.quillon.example/welcome");
  out.Line("TopShowDetention", "1000");
  out.Line("FinsihCloseDetention", "-1");
  out.Line("Progress", "1.00");
  if (!options.noState) out.Line("State", "Success");
  out.After("1.00");
  demo::WriteStamp(options.stampPath);
  return 0;
}
