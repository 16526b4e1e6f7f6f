#include "install/package_runner.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>

#include "install/install_records.h"
#include "install_test_env.h"
#include "utils/files.h"
#include "utils/text.h"

namespace {

namespace fs = std::filesystem;
using install_test::Event;
using install_test::EventLog;
using install_test::W;

TEST(InstallCommandLineTest, ExampleWordForWord) {
  install::PackageOptions options;
  options.installDir = L"C:\\Program Files\\Quillon";
  options.desktopShortcut = options.quickLaunch = true;
  options.adminAccount = options.adminRights = true;
  EXPECT_EQ(install::BuildInstallCommandLine(
                L"\"C:\\Program Files\\Quillon\\__Package_Quillon.exe\"", options),
            L"\"C:\\Program Files\\Quillon\\__Package_Quillon.exe\" /S -console=show "
            L"-version=1.0.0 -adminact=true -authorizationact=true -dsc=true -ssc=true "
            L"-instdir=\"C:\\Program Files\\Quillon\" /D=C:\\Program Files\\Quillon");
}

TEST(InstallCommandLineTest, EmptyFolderAndExtraOptions) {
  install::PackageOptions options;
  options.desktopShortcut = true;
  EXPECT_EQ(install::BuildInstallCommandLine(L"\"/p/pkg.exe\"", options),
            L"\"/p/pkg.exe\" /S -console=show -version=1.0.0 -adminact=false "
            L"-authorizationact=false -dsc=true -ssc=false");
  options.extraOptions = L"-test-slow=5 -x";
  options.installDir = L"/opt/Quillon";
  EXPECT_EQ(install::BuildInstallCommandLine(L"\"/p/pkg.exe\"", options),
            L"\"/p/pkg.exe\" /S -console=show -version=1.0.0 -adminact=false "
            L"-authorizationact=false -dsc=true -ssc=false -test-slow=5 -x "
            L"-instdir=\"/opt/Quillon\" /D=/opt/Quillon");
}

TEST(UninstallCommandLineTest, BareUnlessBlanks) {
  EXPECT_EQ(install::BuildUninstallCommandLine(L"/run/w/Quillon_un_asa.exe", true, false,
                                               L"/opt/Quillon"),
            L"/run/w/Quillon_un_asa.exe /S -adminact=true -authorizationact=false "
            L"-console=show _?=/opt/Quillon");
  EXPECT_EQ(install::BuildUninstallCommandLine(L"/tmp/my w/Quillon_un_asa.exe", false, true,
                                               L"/home/a/My Apps/Quillon"),
            L"\"/tmp/my w/Quillon_un_asa.exe\" /S -adminact=false -authorizationact=true "
            L"-console=show _?=\"/home/a/My Apps/Quillon\"");
}

// Runs the real demo package from <dir>/__Package_Quillon.exe.
class PackageRunnerTest : public ::testing::Test {
 protected:
  fs::path MakeDir(const std::string& name) {
    fs::path dir = env_.Root() / name / "Quillon";
    fs::create_directories(dir);
    return dir;
  }

  fs::path PlacePackage(const fs::path& dir) {
    fs::path package = dir / "__Package_Quillon.exe";
    fs::copy_file(QUILLON_DEMO_PACKAGE, package, fs::copy_options::overwrite_existing);
    // As downloaded: not executable.
    fs::permissions(package, fs::perms::owner_read | fs::perms::owner_write,
                    fs::perm_options::replace);
    return package;
  }

  // Runs the package to its end; returns its events.
  std::vector<Event> RunPackage(const fs::path& dir, const std::wstring& extra,
                                bool desktopShortcut = true) {
    fs::path package = PlacePackage(dir);
    EventLog log;
    {
      CPackageRunner runner(log.Callback(), L"\"" + W(package) + L"\"", W(dir));
      runner.SetSettings(W(dir), desktopShortcut, true, false, false);
      runner.SetExtraOptions(extra);
      runner.Start();
      EXPECT_TRUE(log.WaitFor({IST_CODE_SUCCESS, IST_CODE_FAIL}));
      lastCommandLine_ = runner.CommandLine();
    }
    return log.Events();
  }

  static int CountDecisive(const std::vector<Event>& events) {
    int n = 0;
    for (const Event& e : events) n += e.code == IST_CODE_SUCCESS || e.code == IST_CODE_FAIL;
    return n;
  }

  install_test::ScopedUserEnv env_;
  std::wstring lastCommandLine_;
};

TEST_F(PackageRunnerTest, InstallsAndReportsEveryValue) {
  fs::path dir = MakeDir("my apps");
  std::vector<Event> events = RunPackage(dir, L"");
  ASSERT_GE(events.size(), 3u);
  EXPECT_EQ(events[0].code, IST_CODE_START);
  EXPECT_EQ(events[1].code, IST_CODE_PROGRESS);
  EXPECT_EQ(events[1].value, 0.0);
  std::map<int32_t, Event> last;
  for (const Event& e : events) last[e.code] = e;
  EXPECT_EQ(last[IST_INFO_INSTPATH].text, W(dir));
  EXPECT_EQ(last[IST_INFO_EXEPATH].text, W(dir / "Vantrel.exe"));
  EXPECT_EQ(last[IST_INFO_UNINSTEP].text, W(dir / "uninst.ep"));
  EXPECT_EQ(last[IST_INFO_STARTUPSTYLE].value, 2.0);
  EXPECT_EQ(last[IST_INFO_STARTURL].text, L"https://www.quillon.example/welcome");
  EXPECT_EQ(last[IST_INFO_TOPSHOWDETENTION].value, 1000.0);
  EXPECT_EQ(last[IST_INFO_FINISHCLOSEDETENTION].value, 4294967295.0);
  EXPECT_EQ(last[IST_CODE_PROGRESS].value, 1.0);
  EXPECT_EQ(events.back().code, IST_CODE_SUCCESS);
  EXPECT_EQ(events.back().value, 0.0);
  EXPECT_EQ(CountDecisive(events), 1);

  EXPECT_NE(lastCommandLine_.find(L" -dsc=true -ssc=true -instdir=\"" + W(dir) + L"\" /D="),
            std::wstring::npos);
  struct stat st {};
  ASSERT_EQ(::stat((dir / "Vantrel.exe").c_str(), &st), 0);
  EXPECT_TRUE(st.st_mode & S_IXUSR);
  EXPECT_GE(fs::file_size(dir / "data" / "quillon-words.dat"), 1024u * 1024u);
  EXPECT_GE(fs::file_size(QUILLON_DEMO_PACKAGE), 1024u * 1024u);
  EXPECT_TRUE(fs::exists(dir / "uninst.ep"));
  std::string entry =
      install_test::ReadText(env_.DataHome() / "applications" / "quillon-vantrel.desktop");
  EXPECT_NE(entry.find((dir / "Vantrel.exe").string()), std::string::npos);
}

TEST_F(PackageRunnerTest, NoDesktopEntryWithoutTheChoice) {
  fs::path dir = MakeDir("plain");
  std::vector<Event> events = RunPackage(dir, L"", false);
  EXPECT_EQ(events.back().code, IST_CODE_SUCCESS);
  EXPECT_FALSE(fs::exists(env_.DataHome() / "applications" / "quillon-vantrel.desktop"));
}

TEST_F(PackageRunnerTest, EndingsOfARun) {
  const struct {
    const wchar_t* extra;
    int32_t code;
    double value;
    const wchar_t* text;
  } cases[] = {
      {L"-test-error=\"disk full\"", IST_CODE_FAIL, 1000.0, L"disk full"},
      {L"-test-state-fail", IST_CODE_FAIL, 0.0, L"安装包安装失败"},
      // Died by a signal without a decisive line: 128 + 9.
      {L"-test-signal=9", IST_CODE_FAIL, 137.0, L"安装包安装失败"},
      {L"-test-exit=3", IST_CODE_FAIL, 3.0, L"安装包安装失败"},
      {L"-test-no-state", IST_CODE_SUCCESS, 1.0, L""},
      {L"-test-slow=20", IST_CODE_SUCCESS, 0.0, L""},
      // Output after the decisive line is drained, not parsed: the package
      // writes far more than a pipe holds and still ends.
      {L"-test-error=boom -test-after=12000", IST_CODE_FAIL, 1000.0, L"boom"},
      {L"-test-after=12000", IST_CODE_SUCCESS, 0.0, L""},
      // Nothing after the decisive line counts, not even a contrary result.
      {L"-test-error=boom -test-after-line=State=Success -test-after-line=InstPath=/x",
       IST_CODE_FAIL, 1000.0, L"boom"},
      {L"-test-after-line=Error=late", IST_CODE_SUCCESS, 0.0, L""},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(Utils::WideToMultiByte(c.extra, Utils::kCodePageUtf8));
    fs::path dir = MakeDir("case" + std::to_string(n++));
    std::vector<Event> events = RunPackage(dir, c.extra);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(CountDecisive(events), 1);
    EXPECT_EQ(events.back().code, c.code);
    EXPECT_EQ(events.back().value, c.value);
    EXPECT_EQ(events.back().text, c.text);
  }
}

TEST_F(PackageRunnerTest, GbkOutputAndCutLinesArriveIntact) {
  for (const wchar_t* extra : {L"-test-gbk", L"-test-split", L"-test-gbk -test-split"}) {
    SCOPED_TRACE(Utils::WideToMultiByte(extra, Utils::kCodePageUtf8));
    fs::path dir = MakeDir(std::string("安装目录 ") + std::to_string(std::wcslen(extra)));
    std::vector<Event> events = RunPackage(dir, extra);
    std::vector<std::wstring> paths;
    for (const Event& e : events) {
      if (e.code == IST_INFO_INSTPATH) paths.push_back(e.text);
    }
    EXPECT_EQ(paths, std::vector<std::wstring>{W(dir)});
    EXPECT_EQ(events.back().code, IST_CODE_SUCCESS);
    EXPECT_EQ(events.back().value, 0.0);
  }
}

TEST_F(PackageRunnerTest, RefusalsBeforeAnyChild) {
  fs::path dir = MakeDir("refusals");
  const struct {
    std::wstring quotedPackage;
    std::wstring installDir;
    double value;
    std::wstring text;
  } cases[] = {
      {L"", W(dir), 1.0, L""},
      {L"\"" + W(dir / "missing.exe") + L"\"", W(dir), 2.0, L""},
      {L"\"" + W(dir / "__Package_Quillon.exe") + L"\"", W(dir) + L"\"x", 2.0, L"无效路径"},
      {L"\"" + W(dir / "__Package_Quillon.exe") + L"\"", W(dir) + L"\n", 2.0, L"无效路径"},
  };
  PlacePackage(dir);
  for (const auto& c : cases) {
    SCOPED_TRACE(Utils::WideToMultiByte(c.installDir, Utils::kCodePageUtf8));
    EventLog log;
    {
      CPackageRunner runner(log.Callback(), c.quotedPackage, c.installDir);
      runner.Start();
      ASSERT_TRUE(log.WaitFor({IST_CODE_FAIL, IST_CODE_SUCCESS}));
    }
    std::vector<Event> events = log.Events();
    EXPECT_EQ(events.front().code, IST_CODE_START);
    EXPECT_EQ(events.back().code, IST_CODE_FAIL);
    EXPECT_EQ(events.back().value, c.value);
    EXPECT_EQ(events.back().text, c.text);
  }
  EXPECT_FALSE(fs::exists(dir / "Vantrel.exe"));
}

// Installs the demo product with `extra`, then runs its uninstaller the way
// the job does: a copy in the private work folder.
class UninstallRunnerTest : public PackageRunnerTest {
 protected:
  std::vector<Event> Uninstall(const fs::path& dir) {
    std::wstring workDir = Utils::GetTempWorkDir();
    EXPECT_FALSE(workDir.empty());
    fs::path copy = fs::path(platform::NativePath(workDir)) / "Quillon_un_asa.exe";
    fs::copy_file(dir / "uninst.ep", copy, fs::copy_options::overwrite_existing);
    EventLog log;
    {
      CUninstallRunner runner(log.Callback(), W(copy), W(dir));
      runner.Start();
      EXPECT_TRUE(log.WaitFor({UNIST_CODE_SUCCESS, UNIST_CODE_ERROR, UNIST_CODE_FAIL}));
    }  // joined: every event of the run has arrived
    return log.Events();
  }

  static int CountDecisive(const std::vector<Event>& events) {
    int n = 0;
    for (const Event& e : events) {
      n += e.code == UNIST_CODE_SUCCESS || e.code == UNIST_CODE_ERROR || e.code == UNIST_CODE_FAIL;
    }
    return n;
  }
};

// The names of this process's threads.
std::vector<std::string> ThreadNames() {
  std::vector<std::string> names;
  for (const auto& task : fs::directory_iterator("/proc/self/task")) {
    std::string name = install_test::ReadText(task.path() / "comm");
    while (!name.empty() && name.back() == '\n') name.pop_back();
    names.push_back(name);
  }
  return names;
}

TEST_F(UninstallRunnerTest, WorkerThreadsAreNamed) {
  fs::path dir = MakeDir("names");
  fs::path package = PlacePackage(dir);
  EventLog installLog;
  {
    CPackageRunner runner(installLog.Callback(), L"\"" + W(package) + L"\"", W(dir));
    runner.SetSettings(W(dir), false, false, false, false);
    runner.SetExtraOptions(L"-test-hold=400 -uninst-test-hold=400");
    runner.Start();
    ASSERT_TRUE(installLog.WaitFor({IST_CODE_PROGRESS}));
    std::vector<std::string> names = ThreadNames();
    EXPECT_NE(std::find(names.begin(), names.end(), "ABDEF"), names.end());
    ASSERT_TRUE(installLog.WaitFor({IST_CODE_SUCCESS, IST_CODE_FAIL}));
  }
  ASSERT_EQ(installLog.Events().back().code, IST_CODE_SUCCESS);
  EventLog log;
  CUninstallRunner runner(log.Callback(), W(dir / "uninst.ep"), W(dir));
  runner.Start();
  ASSERT_TRUE(log.WaitFor({UNIST_CODE_PROGRESS}));
  std::vector<std::string> names = ThreadNames();
  EXPECT_NE(std::find(names.begin(), names.end(), "UnInstaller"), names.end());
  EXPECT_TRUE(log.WaitFor({UNIST_CODE_SUCCESS, UNIST_CODE_ERROR, UNIST_CODE_FAIL}));
}

TEST_F(UninstallRunnerTest, MissingUninstallerIsReportedAlone) {
  EventLog log;
  {
    CUninstallRunner runner(log.Callback(), W(env_.Root() / "nothing.exe"), W(env_.Root()));
    runner.Start();
    ASSERT_TRUE(log.WaitFor({UNIST_CODE_FAIL}));
  }
  std::vector<Event> events = log.Events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].code, UNIST_CODE_FAIL);
  EXPECT_EQ(events[0].value, 1.0);
  EXPECT_EQ(events[0].text, L"可执行卸载文件不存在");
}

TEST_F(UninstallRunnerTest, RemovesTheInstallationWithOneSuccess) {
  fs::path dir = MakeDir("old version");
  ASSERT_EQ(RunPackage(dir, L"").back().code, IST_CODE_SUCCESS);
  fs::path entry = env_.DataHome() / "applications" / "quillon-vantrel.desktop";
  ASSERT_TRUE(fs::exists(entry));
  std::vector<Event> events = Uninstall(dir);
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.front().code, UNIST_CODE_PROGRESS);
  EXPECT_EQ(events.front().value, 0.0);
  EXPECT_EQ(CountDecisive(events), 1);
  EXPECT_EQ(events.back().code, UNIST_CODE_SUCCESS);
  EXPECT_EQ(events.back().value, 0.0);
  EXPECT_FALSE(fs::exists(dir / "Vantrel.exe"));
  EXPECT_FALSE(fs::exists(dir / "data"));
  EXPECT_FALSE(fs::exists(entry));
}

TEST_F(UninstallRunnerTest, EndingsOfARun) {
  const struct {
    const wchar_t* extra;  // given to the package, kept for its uninstaller
    int32_t code;
    double value;
    const wchar_t* text;  // nullptr: any text but the fixed failure text
  } cases[] = {
      {L"-uninst-test-error=\"file in use\"", UNIST_CODE_ERROR, 0.0, L"file in use"},
      {L"-uninst-test-state-fail", UNIST_CODE_ERROR, 0.0, L"安装包卸载失败"},
      {L"-uninst-test-signal=15", UNIST_CODE_ERROR, 143.0, L"安装包卸载失败"},
      {L"-uninst-test-exit=4", UNIST_CODE_ERROR, 4.0, L"安装包卸载失败"},
      {L"-uninst-test-no-state", UNIST_CODE_SUCCESS, 1.0, L""},
      // After a success nothing more counts: the job has moved on.
      {L"-uninst-test-after=50 -uninst-test-after-line=Error=late", UNIST_CODE_SUCCESS, 0.0, L""},
      // "Encode=936" selects the locale's charset for the uninstaller: the
      // GBK error text may not decode, but the Error line still decides.
      {L"-uninst-test-gbk -uninst-test-error=磁盘已满", UNIST_CODE_ERROR, 0.0, nullptr},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(Utils::WideToMultiByte(c.extra, Utils::kCodePageUtf8));
    fs::path dir = MakeDir("u" + std::to_string(n++));
    ASSERT_EQ(RunPackage(dir, c.extra).back().code, IST_CODE_SUCCESS);
    std::vector<Event> events = Uninstall(dir);
    EXPECT_EQ(CountDecisive(events), 1);
    EXPECT_EQ(events.back().code, c.code);
    EXPECT_EQ(events.back().value, c.value);
    if (c.text) {
      EXPECT_EQ(events.back().text, c.text);
    } else {
      EXPECT_FALSE(events.back().text.empty());
      EXPECT_NE(events.back().text, L"安装包卸载失败");
    }
  }
}

TEST_F(UninstallRunnerTest, FollowedAfterAFailureButNeverSucceeds) {
  // An uninstaller that fails is still read to its end: its progress and a
  // later failure line are reported, a later success line is not.
  fs::path dir = MakeDir("after failure");
  ASSERT_EQ(RunPackage(dir,
                       L"-uninst-test-error=\"in use\" -uninst-test-after=3000 "
                       L"-uninst-test-after-line=State=Fail "
                       L"-uninst-test-after-line=State=Success")
                .back()
                .code,
            IST_CODE_SUCCESS);
  std::vector<Event> events = Uninstall(dir);
  std::vector<Event> tail;
  bool failed = false;
  for (const Event& e : events) {
    if (failed) tail.push_back(e);
    if (e.code == UNIST_CODE_ERROR && !failed) {
      failed = true;
      EXPECT_EQ(e.text, L"in use");
    }
  }
  ASSERT_TRUE(failed);
  ASSERT_EQ(tail.size(), 3001u);
  for (size_t i = 0; i + 1 < tail.size(); ++i) {
    ASSERT_EQ(tail[i].code, UNIST_CODE_PROGRESS);
    ASSERT_EQ(tail[i].value, 0.5);
  }
  EXPECT_EQ(tail.back().code, UNIST_CODE_ERROR);
  EXPECT_EQ(tail.back().value, 0.0);
  EXPECT_EQ(tail.back().text, L"安装包卸载失败");
  for (const Event& e : events) EXPECT_NE(e.code, UNIST_CODE_SUCCESS);
}

}  // namespace
