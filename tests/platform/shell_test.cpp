#include "platform/shell.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/utils/test_support.h"
#include "utils/process.h"

namespace {

void WriteScript(const std::string& path, const std::string& body) {
  std::ofstream(path) << "#!/bin/sh\n" << body;
  chmod(path.c_str(), 0755);
}

// Waits up to five seconds for a detached program to leave its file.
std::string WaitForFile(const std::string& path) {
  for (int i = 0; i < 500; ++i) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    if (s.str().find("done") != std::string::npos) return s.str();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return "";
}

TEST(Shell, LaunchProgramRunsInItsOwnFolderWithArguments) {
  quillon_test::TempDir dir;
  std::filesystem::create_directory(dir.File("prog dir"));
  std::string script = dir.File("prog dir/Vantrel.exe");
  WriteScript(script,
              "{ pwd; printf '[%s]' \"$@\"; echo; echo done; } > \"" + dir.File("out") + "\"\n");
  ASSERT_TRUE(platform::LaunchProgram(std::filesystem::path(script).wstring(), {L"a b", L"中"}));
  std::string out = WaitForFile(dir.File("out"));
  EXPECT_EQ(out, dir.File("prog dir") + "\n[a b][\xE4\xB8\xAD]\ndone\n");
  EXPECT_FALSE(platform::LaunchProgram(dir.WFile("missing.exe")));
  EXPECT_FALSE(platform::LaunchProgram(L""));
}

TEST(Shell, OpenUrlHandsTheUrlToXdgOpen) {
  quillon_test::TempDir dir;
  WriteScript(dir.File("xdg-open"),
              "{ printf '%s\\n' \"$1\"; echo done; } > \"" + dir.File("out") + "\"\n");
  std::string path =
      dir.path() + ":" + std::string(getenv("PATH") ? getenv("PATH") : "/usr/bin:/bin");
  quillon_test::ScopedEnv env("PATH", path);
  ASSERT_TRUE(platform::OpenUrl(L"http://quillon.example/a b?x=1&y=%20"));
  EXPECT_EQ(WaitForFile(dir.File("out")), "http://quillon.example/a b?x=1&y=%20\ndone\n");
  EXPECT_FALSE(platform::OpenUrl(L""));
}

TEST(Shell, ListProcessesFindsOurselvesAndAChild) {
  Utils::ChildProcess child;
  child.Start(L"sleep 5");
  bool self = false, sleeper = false;
  for (const platform::ProcessEntry& entry : platform::ListProcesses()) {
    if (entry.pid == getpid()) self = entry.exeName == L"shell_test";
    if (entry.pid == child.Pid()) sleeper = entry.exeName == L"sleep";
  }
  EXPECT_TRUE(self);
  EXPECT_TRUE(sleeper);
  kill(child.Pid(), SIGKILL);
  child.Wait();
}

TEST(Shell, ListProcessesNamesAProgramWhoseFileWasRemoved) {
  quillon_test::TempDir dir;
  std::string copy = dir.File("Vantrel.exe");
  std::filesystem::copy_file("/bin/sleep", copy);
  Utils::ChildProcess child;
  child.Start(std::filesystem::path(copy).wstring() + L" 5");
  ASSERT_EQ(unlink(copy.c_str()), 0);  // /proc/PID/exe now ends in " (deleted)"
  std::wstring name;
  for (const platform::ProcessEntry& entry : platform::ListProcesses()) {
    if (entry.pid == child.Pid()) name = entry.exeName;
  }
  EXPECT_EQ(name, L"Vantrel.exe");
  kill(child.Pid(), SIGKILL);
  child.Wait();
}

}  // namespace
