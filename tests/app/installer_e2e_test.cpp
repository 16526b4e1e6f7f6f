// The real quillon-installer program end to end: the package server with the
// published demo package, the analytics collector, unattended runs, a second
// instance, a crash, SIGUSR1, and a click in a real window under Xvfb.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "install/install_records.h"
#include "skin/embedded_skin.h"
#include "tests/app/test_support.h"
#include "tools/collector/collector.h"
#include "ui/skin_frame.h"
#include "ui/toolkit.h"
#include "utils/system.h"

namespace app {
namespace {

using namespace std::chrono_literals;

// One run of the installer program with its standard error collected.
class InstallerProcess {
 public:
  explicit InstallerProcess(const std::vector<std::string>& args) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(fds[1], STDERR_FILENO);
      const int null = open("/dev/null", O_RDWR);
      dup2(null, STDIN_FILENO);
      dup2(null, STDOUT_FILENO);
      std::vector<char*> argv{const_cast<char*>(QUILLON_INSTALLER)};
      for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
      argv.push_back(nullptr);
      execv(QUILLON_INSTALLER, argv.data());
      _exit(127);
    }
    close(fds[1]);
    fd_ = fds[0];
    reader_ = std::thread([this] {
      char buffer[4096];
      ssize_t n;
      while ((n = read(fd_, buffer, sizeof buffer)) > 0) {
        std::lock_guard<std::mutex> lock(mutex_);
        output_.append(buffer, static_cast<size_t>(n));
        changed_.notify_all();
      }
    });
  }
  ~InstallerProcess() {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      Wait(10s);
    }
    if (reader_.joinable()) reader_.join();
    if (fd_ >= 0) close(fd_);
  }

  pid_t Pid() const { return pid_; }

  bool WaitForOutput(const std::string& needle, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout,
                             [&] { return output_.find(needle) != std::string::npos; });
  }
  std::string Output() {
    std::lock_guard<std::mutex> lock(mutex_);
    return output_;
  }

  // The raw wait status, or nothing while the program still runs at the time-out.
  std::optional<int> Wait(std::chrono::milliseconds timeout) {
    if (exited_) return status_;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        exited_ = true;
        status_ = status;
        return status;
      }
      if (std::chrono::steady_clock::now() > deadline) return std::nullopt;
      std::this_thread::sleep_for(10ms);
    }
  }
  // The exit status, -1 when it did not exit normally in time.
  int ExitStatus(std::chrono::milliseconds timeout) {
    std::optional<int> status = Wait(timeout);
    return status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
  }

 private:
  pid_t pid_ = -1;
  int fd_ = -1;
  bool exited_ = false;
  int status_ = 0;
  std::thread reader_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::string output_;
};

class InstallerE2eTest : public testing::Test {
 protected:
  void SetUp() override {
    home_ = std::make_unique<app_test::ScratchHome>();
    unsetenv("DO_NOT_TRACK");
    server_ = std::make_unique<app_test::DemoPackageServer>(home_->Root() / "site");
    ASSERT_TRUE(server_->Started());
    collector_ = std::make_unique<collector::Collector>();
    ASSERT_TRUE(collector_->Start());
    setenv("QUILLON_ANALYTICS_URL", collector_->CollectUrl().c_str(), 1);
    downloadArg_ = "-downloadurl=" + platform::NativePath(server_->DownloadUrl());
  }
  void TearDown() override {
    // A package left running by a killed installer.
    if (pid_t left = install::FindProcessId(L"__Package_Quillon.exe")) kill(left, SIGKILL);
    collector_->Stop();
  }

  // Names of the collected events of `event` ("LmEventTask", ...; empty: all):
  // the task, click or view name, in arrival order.
  std::vector<std::string> Names(const std::string& event) {
    std::vector<std::string> names;
    for (const auto& e : collector_->Events()) {
      if (!event.empty() && e.value("event", "") != event) continue;
      const auto& props = e["properties"];
      if (props.contains("lm_task_name")) {
        names.push_back(props["lm_task_name"].get<std::string>());
      } else if (props.contains("lm_name")) {
        names.push_back(props["lm_name"].get<std::string>());
      } else {
        names.push_back("");
      }
    }
    return names;
  }
  static long Count(const std::vector<std::string>& names, const std::string& name) {
    return std::count(names.begin(), names.end(), name);
  }
  // Waits until the collector holds the task `name`.
  bool WaitForTask(const std::string& name, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (Count(Names("LmEventTask"), name) == 0) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(20ms);
    }
    return true;
  }

  // Properties of the first collected task `name` (null when none arrived).
  nlohmann::json TaskProperties(const std::string& name) {
    for (const auto& e : collector_->Events()) {
      if (e.value("event", "") == "LmEventTask" &&
          e["properties"].value("lm_task_name", "") == name) {
        return e["properties"];
      }
    }
    return nullptr;
  }

  std::wstring RecordedInstallPath() {
    uint32_t type = 0;
    std::wstring value;
    Utils::ReadRegistryString(L"InstallPath", &type, &value);
    return value;
  }

  std::unique_ptr<app_test::ScratchHome> home_;
  std::unique_ptr<app_test::DemoPackageServer> server_;
  std::unique_ptr<collector::Collector> collector_;
  std::string downloadArg_;
};

TEST_F(InstallerE2eTest, UnattendedInstallWritesRecordsAndReports) {
  InstallerProcess installer({"-silent=true", downloadArg_});
  ASSERT_EQ(installer.ExitStatus(90s), 0) << installer.Output();
  const std::string output = installer.Output();
  EXPECT_NE(output.find("installed into"), std::string::npos) << output;

  const std::wstring product = RecordedInstallPath();
  ASSERT_FALSE(product.empty());
  const std::filesystem::path folder(platform::NativePath(product));
  EXPECT_TRUE(std::filesystem::is_regular_file(folder / "Vantrel.exe"));
  EXPECT_TRUE(std::filesystem::is_regular_file(folder / "set.ini"));
  EXPECT_FALSE(std::filesystem::exists(folder / "__Package_Quillon.exe"));

  ASSERT_TRUE(WaitForTask("安装成功", 5s));
  const auto tasks = Names("LmEventTask");
  for (const char* task : {"下载器启动", "开始下载大包", "大包下载完毕", "安装成功"}) {
    SCOPED_TRACE(task);
    EXPECT_EQ(Count(tasks, task), 1);
  }
  EXPECT_EQ(Names("LmEventClick"), std::vector<std::string>{"立即安装"});
  EXPECT_EQ(Names("LmEventView"), std::vector<std::string>{"安装中"});
  // Elapsed seconds: 0 at the start, the download stopwatch afterwards.
  const auto started = TaskProperties("开始下载大包");
  const auto downloaded = TaskProperties("大包下载完毕");
  const auto installed = TaskProperties("安装成功");
  ASSERT_TRUE(started.is_object() && downloaded.is_object() && installed.is_object());
  EXPECT_EQ(started.value("lm_task_elapsed", -1.0), 0.0);
  EXPECT_GT(downloaded.value("lm_task_elapsed", -1.0), 0.0);
  EXPECT_GE(installed.value("lm_task_elapsed", -1.0), downloaded.value("lm_task_elapsed", -1.0));
  EXPECT_FALSE(installed.contains("lm_reason"));
  // Every report of the installer carries its A/B value.
  for (const auto& e : collector_->Events()) {
    const std::string event = e.value("event", "");
    if (event != "LmEventTask" && event != "LmEventClick" && event != "LmEventView") continue;
    SCOPED_TRACE(e.dump());
    EXPECT_EQ(e["properties"].value("lmc_ab", ""), "IN");
  }
}

TEST_F(InstallerE2eTest, UnattendedTargetDirIsResolvedAsOnTheCustomPage) {
  const auto apps = home_->Root() / "apps";
  InstallerProcess installer({"-silent=true", downloadArg_, "-targetdir=" + apps.string()});
  ASSERT_EQ(installer.ExitStatus(90s), 0) << installer.Output();
  EXPECT_EQ(RecordedInstallPath(), app_test::Wide(apps / "Quillon"));
  EXPECT_TRUE(std::filesystem::is_regular_file(apps / "Quillon" / "Vantrel.exe"));
  ASSERT_TRUE(WaitForTask("安装成功", 5s));
  EXPECT_EQ(Names("LmEventClick"), std::vector<std::string>{"自定义安装_立即安装"});
}

TEST_F(InstallerE2eTest, UnattendedRefusalsAndFailuresHaveTheirStatus) {
  const std::string missing =
      "-downloadurl=" + platform::NativePath(server_->DownloadUrl()) + "-missing";
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string says;
    std::string task;    // failure report expected, with its reason text
    std::string reason;  // (regular expression)
  } cases[] = {
      {{"-silent=true", downloadArg_, "-targetdir=/tmp/a\"b"}, 2, "refused", "", ""},
      {{"-silent=true", downloadArg_, "-targetdir=/proc/quillon"}, 2, "refused", "", ""},
      {{"-silent=true", downloadArg_, "-instcmd=-test-state-fail"},
       1,
       "install failed",
       "安装失败原因",
       "^:1\\.code=-?[0-9]+；2\\.msg=.*$"},
      {{"-silent=true", missing},
       1,
       "download failed",
       "下载失败原因",
       "^1\\.code=-?[0-9]+；2\\.msg=.*；3\\.缓存磁盘容量=[0-9]+\\.[0-9]{2}G；4\\.缓存读写权限=("
       "可读|无权限)；5\\.服务器连接状态code=-?[0-9]+$"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.back());
    InstallerProcess installer(c.args);
    EXPECT_EQ(installer.ExitStatus(60s), c.status) << installer.Output();
    EXPECT_NE(installer.Output().find(c.says), std::string::npos) << installer.Output();
    EXPECT_TRUE(RecordedInstallPath().empty());
    if (c.task.empty()) continue;
    ASSERT_TRUE(WaitForTask(c.task, 5s));
    // The downloader makes reports of the same name with texts of its own.
    const std::regex reason(c.reason);
    std::string seen;
    bool found = false;
    for (const auto& e : collector_->Events()) {
      const auto& props = e["properties"];
      if (props.value("lm_task_name", "") != c.task) continue;
      seen += props.value("lm_reason", "") + "\n";
      if (!std::regex_match(props.value("lm_reason", ""), reason)) continue;
      found = true;
      EXPECT_EQ(props.value("lm_task_elapsed", -1.0), 0.0);
    }
    EXPECT_TRUE(found) << seen;
  }
}

TEST_F(InstallerE2eTest, WithoutADisplayTheWindowModeFailsClearly) {
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  InstallerProcess installer({downloadArg_});
  EXPECT_EQ(installer.ExitStatus(20s), 1);
  EXPECT_NE(installer.Output().find("use -silent=true"), std::string::npos) << installer.Output();
  EXPECT_TRUE(RecordedInstallPath().empty());
}

TEST_F(InstallerE2eTest, SecondInstanceExitsAtOnce) {
  InstallerProcess first({"-silent=true", downloadArg_, "-instcmd=-test-hold=3000"});
  ASSERT_TRUE(first.WaitForOutput("running the package", 30s)) << first.Output();
  const auto started = std::chrono::steady_clock::now();
  InstallerProcess second({"-silent=true", downloadArg_});
  EXPECT_EQ(second.ExitStatus(5s), 255) << second.Output();
  EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
  EXPECT_NE(second.Output().find("another installer is running"), std::string::npos);
  EXPECT_EQ(first.ExitStatus(60s), 0) << first.Output();
}

TEST_F(InstallerE2eTest, CrashIsReportedAndTheProcessDiesBySegv) {
  InstallerProcess installer({"-silent=true", downloadArg_, "-instcmd=-test-hold=20000"});
  ASSERT_TRUE(installer.WaitForOutput("running the package", 30s)) << installer.Output();
  ASSERT_EQ(kill(installer.Pid(), SIGSEGV), 0);
  std::optional<int> status = installer.Wait(20s);
  ASSERT_TRUE(status.has_value());
  EXPECT_TRUE(WIFSIGNALED(*status));
  EXPECT_EQ(WTERMSIG(*status), SIGSEGV);
  ASSERT_TRUE(WaitForTask("崩溃退出", 5s));
  bool crashed = false;
  for (const auto& e : collector_->Events()) {
    if (e.value("event", "") == "AppCrashed") {
      crashed = true;
      EXPECT_EQ(e["properties"].value("app_crashed_reason", ""), "崩溃");
    }
  }
  EXPECT_TRUE(crashed);
  EXPECT_EQ(Count(Names("LmEventTask"), "崩溃退出"), 1);
}

// --- A real window under Xvfb ------------------------------------------------

class Xvfb {
 public:
  Xvfb() {
    if (access("/usr/bin/Xvfb", X_OK) != 0) return;
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(fds[0]);
      const int null = open("/dev/null", O_RDWR);
      dup2(null, STDOUT_FILENO);
      dup2(null, STDERR_FILENO);
      const std::string fd = std::to_string(fds[1]);
      execl("/usr/bin/Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24",
            "-nolisten", "tcp", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    std::string number;
    char c;
    for (;;) {
      const ssize_t n = read(fds[0], &c, 1);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0 || c == '\n') break;
      number += c;
    }
    close(fds[0]);
    if (!number.empty()) display_ = ":" + number;
  }
  ~Xvfb() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  const std::string& Display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

std::string RunCommand(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[256];
    while (fgets(buffer, sizeof buffer, pipe)) out += buffer;
    pclose(pipe);
  }
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}

// Centre of a control of the main layout, in window coordinates.
qui::Point CentreOf(const std::wstring& name) {
  EXPECT_TRUE(qui::Toolkit::Initialize(qui::HostKind::kHeadless));
  skin::RegisterEmbeddedSkin();
  qui::CSkinFrame layout(qui::ResourceKind::kArchiveResource, qui::kSkinResourceId, L"",
                         L"MainWnd.xml", L"MainWnd");
  EXPECT_TRUE(layout.Create(nullptr, L"layout", qui::WS_OVERLAPPEDWINDOW));
  layout.GetPaintManager().UpdateLayout();
  qui::Control* control = layout.FindControl(name);
  EXPECT_NE(control, nullptr);
  return control ? control->GetPos().Center() : qui::Point{};
}

TEST_F(InstallerE2eTest, WindowInstallsOnAClickAndSigusr1ReportsOnce) {
  if (access("/usr/bin/xdotool", X_OK) != 0) GTEST_SKIP() << "xdotool is not installed";
  const qui::Point install = CentreOf(L"defaultInstallBtn");
  const qui::Point close = CentreOf(L"closebtn");
  Xvfb xvfb;
  ASSERT_FALSE(xvfb.Display().empty());
  setenv("DISPLAY", xvfb.Display().c_str(), 1);
  unsetenv("QUILLON_HEADLESS");

  InstallerProcess installer({downloadArg_});
  std::string window;
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (window.empty() && std::chrono::steady_clock::now() < deadline) {
    window = RunCommand("xdotool search --onlyvisible --name '^Quillon' 2>/dev/null | head -n 1");
    if (window.empty()) std::this_thread::sleep_for(50ms);
  }
  ASSERT_FALSE(window.empty()) << "display " << xvfb.Display() << " running "
                               << !installer.Wait(0ms).has_value() << "\n"
                               << installer.Output();
  std::this_thread::sleep_for(300ms);

  // Message 1224 from outside, twice: one report, made before the click.
  kill(installer.Pid(), SIGUSR1);
  kill(installer.Pid(), SIGUSR1);
  std::this_thread::sleep_for(500ms);

  RunCommand("xdotool mousemove --window " + window + " " + std::to_string(install.x) + " " +
             std::to_string(install.y) + " click 1");
  const auto finish = std::chrono::steady_clock::now() + 60s;
  while (RecordedInstallPath().empty() && std::chrono::steady_clock::now() < finish) {
    std::this_thread::sleep_for(100ms);
  }
  ASSERT_FALSE(RecordedInstallPath().empty()) << installer.Output().substr(0, 4000);
  std::this_thread::sleep_for(500ms);
  const std::string shot = std::string(QUILLON_TEST_OUTPUT_DIR) + "/installer_finished.png";
  RunCommand("import -display " + xvfb.Display() + " -window " + window + " " + shot);
  EXPECT_GT(std::filesystem::exists(shot) ? std::filesystem::file_size(shot) : 0u, 1000u);

  // The finished page closes without asking.
  RunCommand("xdotool mousemove --window " + window + " " + std::to_string(close.x) + " " +
             std::to_string(close.y) + " click 1");
  EXPECT_EQ(installer.ExitStatus(20s), 0);

  const std::filesystem::path product(platform::NativePath(RecordedInstallPath()));
  EXPECT_TRUE(std::filesystem::is_regular_file(product / "Vantrel.exe"));
  ASSERT_TRUE(WaitForTask("安装成功", 5s));
  const auto tasks = Names("LmEventTask");
  EXPECT_EQ(Count(tasks, "下载器启动"), 1);
  EXPECT_EQ(Count(tasks, "开始下载大包"), 1);
  EXPECT_EQ(Names("LmEventClick"), std::vector<std::string>{"立即安装"});
  EXPECT_EQ(Names("LmEventView"), std::vector<std::string>{"安装中"});
  // The report came from the signal: it precedes the click.
  const auto all = Names("");
  const auto started = std::find(all.begin(), all.end(), "下载器启动");
  const auto clicked = std::find(all.begin(), all.end(), "立即安装");
  EXPECT_LT(started - all.begin(), clicked - all.begin());
}

}  // namespace
}  // namespace app
