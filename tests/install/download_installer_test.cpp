// The whole job headless against the loopback package server and the real
// demo package, published the way a distributor publishes it.
#include "install/download_installer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <thread>

#include "app/config/installer_config.h"
#include "install/install_records.h"
#include "install_test_env.h"
#include "platform/debug_output.h"
#include "tools/package_server/package_server.h"
#include "utils/files.h"

namespace {

namespace fs = std::filesystem;
using install_test::Event;
using install_test::EventLog;
using install_test::W;

// Runs the publishing script; returns the published path ("packages/<md5>/<name>").
std::string Publish(const fs::path& site) {
  std::string command = std::string("'") + QUILLON_PUBLISH_SCRIPT + "' '" + QUILLON_DEMO_PACKAGE +
                        "' '" + site.string() + "' Quillon_1.0.0.exe";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return {};
  char line[512] = {};
  std::string out = fgets(line, sizeof line, pipe) ? line : "";
  int rc = pclose(pipe);
  if (rc != 0) return {};
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

class DownloadInstallerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    site_ = env_.Root() / "site";
    published_ = Publish(site_);
    ASSERT_FALSE(published_.empty());
    package_server::Options options;
    options.root = site_;
    server_ = std::make_unique<package_server::PackageServer>(options);
    ASSERT_TRUE(server_->Start());
    server_->AddRedirect("/software/277", "/" + published_);
    url_ = platform::FromNativePath(server_->BaseUrl() + "/software/277");
    InstallerConfig& config = InstallerConfig::Instance();
    savedType_ = config.DownloadType;
    savedInstCmd_ = config.InstCmd;
    config.DownloadType = 1;
    config.InstCmd.clear();
  }
  void TearDown() override {
    InstallerConfig::Instance().DownloadType = savedType_;
    InstallerConfig::Instance().InstCmd = savedInstCmd_;
  }

  // Waits until the job has acted on its last event.
  static void WaitForEnd(const CDownloadInstaller& job) {
    for (int i = 0; i < 500 && job.IsRunning(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_FALSE(job.IsRunning());
  }

  // What the main window does after IST_CODE_SUCCESS.
  static void RecordLikeTheWindow(const EventLog& log) {
    std::wstring instPath, uninstEp;
    for (const Event& e : log.Events()) {
      if (e.code == IST_INFO_INSTPATH) instPath = e.text;
      if (e.code == IST_INFO_UNINSTEP) uninstEp = e.text;
    }
    install::WriteInstallRecords(instPath, uninstEp);
    install::WriteProductSetIni(instPath);
  }

  // A fresh installation into `dir`, recorded like the window records it.
  void InstallFresh(const fs::path& dir) {
    EventLog log;
    CDownloadInstaller job(log.Callback(), L"", L"", L"", true, true, true);
    job.Init(url_, L"", W(dir), true, true, false, false);
    job.Start();
    ASSERT_TRUE(log.WaitFor({IST_CODE_SUCCESS, IST_CODE_FAIL, DL_CODE_FAIL}));
    WaitForEnd(job);
    ASSERT_EQ(log.Events().back().code, IST_CODE_SUCCESS);
    RecordLikeTheWindow(log);
  }

  install_test::ScopedUserEnv env_;
  fs::path site_;
  std::string published_;
  std::unique_ptr<package_server::PackageServer> server_;
  std::wstring url_;
  int savedType_ = 1;
  std::wstring savedInstCmd_;
};

// The job's diagnostic records ("(function)<line>: message"): function and
// message of every record written by the job's start or its stage handlers.
class JobRecords {
 public:
  JobRecords() {
    platform::SetDebugOutputHook([this](const std::string& record) {
      size_t open = record.find(">(CDownloadInstaller::Start");
      if (open == std::string::npos) return;
      size_t close = record.find(")<", open);
      size_t colon = record.find(">: ", close);
      if (close == std::string::npos || colon == std::string::npos) return;
      std::lock_guard<std::mutex> lock(mutex_);
      records_.push_back(record.substr(open + 2, close - open - 2) + " " +
                         record.substr(colon + 3));
    });
  }
  ~JobRecords() { platform::SetDebugOutputHook(nullptr); }
  std::vector<std::string> Records() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return records_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> records_;
};

TEST_F(DownloadInstallerTest, FreshInstall) {
  JobRecords jobRecords;
  fs::path dir = env_.Root() / "apps" / "Quillon";
  fs::path package = dir / "__Package_Quillon.exe";
  EventLog log;
  bool dirExistedAtStart = true;
  bool packageExistedAtSuccess = false;
  auto forward = log.Callback();
  CDownloadInstaller job(
      [&](int32_t code, double value, const wchar_t* text) {
        // The window sees each event before the job acts on it.
        if (code == DL_CODE_START) dirExistedAtStart = fs::exists(dir);
        if (code == IST_CODE_SUCCESS) packageExistedAtSuccess = fs::exists(package);
        forward(code, value, text);
      },
      L"", L"", L"", true, true, true);
  job.Init(url_, L"", W(dir), true, true, false, false);
  EXPECT_EQ(job.GetPackagePath(), W(package));
  job.Start();
  job.Start();  // ignored: a job is running
  ASSERT_TRUE(log.WaitFor({IST_CODE_SUCCESS, IST_CODE_FAIL, DL_CODE_FAIL}));
  WaitForEnd(job);

  std::vector<int32_t> codes = log.Codes();
  ASSERT_FALSE(codes.empty());
  EXPECT_EQ(codes.front(), DL_CODE_START);
  EXPECT_EQ(std::count(codes.begin(), codes.end(), DL_CODE_START), 1);
  EXPECT_LT(log.IndexOf(DL_CODE_SUCCESS), log.IndexOf(IST_CODE_START));
  EXPECT_EQ(codes.back(), IST_CODE_SUCCESS);
  for (int32_t code : codes) EXPECT_LT(code, 5000) << "no uninstall stage";
  EXPECT_FALSE(dirExistedAtStart);
  EXPECT_TRUE(packageExistedAtSuccess);
  EXPECT_FALSE(fs::exists(package));
  EXPECT_EQ(CDownloadInstaller::RememberedPackagePathForTesting(), W(package));
  EXPECT_TRUE(fs::exists(dir / "Vantrel.exe"));
  EXPECT_EQ(server_->Requests("GET").size(), 1u);

  // The job's own records, in the order the stages pass.
  const std::vector<std::string> expected = {
      "CDownloadInstaller::Start DL_TYPE=1\r\n",
      "CDownloadInstaller::Start::OnDownloadEvent DL_CODE_START\r\n",
      "CDownloadInstaller::Start::OnDownloadEvent DOWNLOAD_SUCCESS\r\n",
      "CDownloadInstaller::Start::OnInstallEvent IST_CODE_START\r\n",
      "CDownloadInstaller::Start::OnInstallEvent INSTALL_SUCCESS\r\n",
  };
  std::vector<std::string> written = jobRecords.Records();
  auto at = written.begin();
  for (const std::string& record : expected) {
    at = std::find(at, written.end(), record);
    EXPECT_NE(at, written.end()) << "missing or out of order: " << record;
  }
  EXPECT_NE(std::find(written.begin(), written.end(),
                      "CDownloadInstaller::Start::OnDownloadEvent DL_CODE_SUCCESS\r\n"),
            written.end());

  RecordLikeTheWindow(log);
  install::InstallRecords records;
  install::ReadInstallRecords(&records);
  EXPECT_EQ(records.installDir, W(dir));
  EXPECT_EQ(records.uninstallerPath, W(dir / "uninst.ep"));
  EXPECT_EQ(install::GetDefaultInstallDir(&records), W(dir));
}

TEST_F(DownloadInstallerTest, ReplacesAnOldInstallation) {
  fs::path dir = env_.Root() / "apps" / "Quillon";
  ASSERT_NO_FATAL_FAILURE(InstallFresh(dir));
  ASSERT_TRUE(fs::exists(dir / "uninst.manifest"));
  server_->ClearRequests();
  install::InstallRecords records;
  install::ReadInstallRecords(&records);
  ASSERT_FALSE(install::IsOverrideForbidden(records, W(dir)));

  EventLog log;
  size_t requestsAtUninstallSuccess = 99;
  fs::path copy = fs::path(platform::NativePath(Utils::GetTempWorkDir())) / "Quillon_un_asa.exe";
  bool copyExisted = false;
  auto forward = log.Callback();
  CDownloadInstaller job(
      [&](int32_t code, double value, const wchar_t* text) {
        if (code == UNIST_CODE_SUCCESS) {
          requestsAtUninstallSuccess = server_->Requests().size();
          copyExisted = fs::exists(copy);
        }
        forward(code, value, text);
      },
      L"", L"", L"", true, true, true);
  job.Init(url_, records.uninstallerPath, W(dir), true, true, false, false);
  job.Start();
  ASSERT_TRUE(log.WaitFor(
      {IST_CODE_SUCCESS, IST_CODE_FAIL, DL_CODE_FAIL, UNIST_CODE_ERROR, UNIST_CODE_FAIL}));
  WaitForEnd(job);
  std::vector<int32_t> codes = log.Codes();
  ASSERT_FALSE(codes.empty());
  EXPECT_EQ(codes.front(), UNIST_CODE_PROGRESS);
  EXPECT_EQ(log.WithCode(UNIST_CODE_SUCCESS).size(), 1u);
  EXPECT_LT(log.IndexOf(UNIST_CODE_SUCCESS), log.IndexOf(DL_CODE_START));
  EXPECT_EQ(requestsAtUninstallSuccess, 0u) << "nothing downloaded before the old version is gone";
  EXPECT_TRUE(copyExisted);
  EXPECT_EQ(codes.back(), IST_CODE_SUCCESS);
  EXPECT_TRUE(fs::exists(dir / "Vantrel.exe"));
  EXPECT_FALSE(fs::exists(dir / "__Package_Quillon.exe"));
}

TEST_F(DownloadInstallerTest, FailedUninstallEndsTheJob) {
  fs::path dir = env_.Root() / "apps" / "Quillon";
  // The uninstaller fails, then claims success: the job must still end.
  InstallerConfig::Instance().InstCmd =
      L"-uninst-test-error=\"in use\" -uninst-test-after-line=State=Success";
  ASSERT_NO_FATAL_FAILURE(InstallFresh(dir));
  server_->ClearRequests();
  EventLog log;
  {
    CDownloadInstaller job(log.Callback(), L"", L"", L"", true, true, true);
    job.Init(url_, W(dir / "uninst.ep"), W(dir), true, true, false, false);
    job.Start();
    ASSERT_TRUE(log.WaitFor({UNIST_CODE_ERROR, UNIST_CODE_FAIL}));
    WaitForEnd(job);
  }  // the uninstaller has been read to its end
  std::vector<Event> events = log.Events();
  EXPECT_EQ(events.back().code, UNIST_CODE_ERROR);
  EXPECT_EQ(events.back().text, L"in use");
  EXPECT_EQ(log.IndexOf(UNIST_CODE_SUCCESS), -1);
  EXPECT_EQ(log.IndexOf(DL_CODE_START), -1);
  EXPECT_TRUE(server_->Requests().empty());
}

TEST_F(DownloadInstallerTest, UninstallerThatCannotBeCopiedEndsTheJob) {
  // The private work folder is unusable (a planted symlink): no copy can be
  // made, the runner finds no uninstaller, nothing is downloaded.
  fs::path old = env_.Root() / "old" / "Quillon" / "uninst.ep";
  fs::create_directories(old.parent_path());
  std::ofstream(old) << "#!/bin/sh\necho State=Success\n";
  fs::create_directories(env_.Root() / "elsewhere");
  fs::create_directory_symlink(env_.Root() / "elsewhere",
                               env_.Root() / "runtime" / "~LumoraTemp.92482B06FB471E17");
  ASSERT_TRUE(Utils::GetTempWorkDir().empty());
  EventLog log;
  {
    CDownloadInstaller job(log.Callback(), L"", L"", L"", true, true, true);
    job.Init(url_, W(old), W(env_.Root() / "apps" / "Quillon"), true, true, false, false);
    job.Start();
    ASSERT_TRUE(log.WaitFor({UNIST_CODE_FAIL, UNIST_CODE_SUCCESS, UNIST_CODE_ERROR}));
    WaitForEnd(job);
  }
  std::vector<Event> events = log.Events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].code, UNIST_CODE_FAIL);
  EXPECT_EQ(events[0].value, 1.0);
  EXPECT_EQ(events[0].text, L"可执行卸载文件不存在");
  EXPECT_TRUE(server_->Requests().empty());
  EXPECT_TRUE(fs::is_empty(env_.Root() / "elsewhere"));
}

TEST_F(DownloadInstallerTest, DestroyedDuringTheUninstallStartsNothingMore) {
  fs::path dir = env_.Root() / "apps" / "Quillon";
  InstallerConfig::Instance().InstCmd = L"-uninst-test-slow=30";
  ASSERT_NO_FATAL_FAILURE(InstallFresh(dir));
  server_->ClearRequests();
  EventLog log;
  {
    CDownloadInstaller job(log.Callback(), L"", L"", L"", true, true, true);
    job.Init(url_, W(dir / "uninst.ep"), W(dir), true, true, false, false);
    job.Start();
    ASSERT_TRUE(log.WaitFor({UNIST_CODE_PROGRESS}));
  }  // the window closes while the old version is being removed
  EXPECT_EQ(log.WithCode(UNIST_CODE_SUCCESS).size(), 1u) << "the uninstaller ran to its end";
  EXPECT_EQ(log.IndexOf(DL_CODE_START), -1);
  EXPECT_TRUE(server_->Requests().empty());
}

TEST_F(DownloadInstallerTest, MissingOldUninstallerDownloadsAtOnce) {
  fs::path dir = env_.Root() / "apps" / "Quillon";
  EventLog log;
  CDownloadInstaller job(log.Callback(), L"", L"", L"", true, true, true);
  job.Init(url_, W(env_.Root() / "gone" / "uninst.ep"), W(dir), false, false, false, false);
  job.Start();
  ASSERT_TRUE(log.WaitFor({IST_CODE_SUCCESS, IST_CODE_FAIL, DL_CODE_FAIL}));
  WaitForEnd(job);
  EXPECT_EQ(log.Codes().front(), DL_CODE_START);
  EXPECT_EQ(log.Codes().back(), IST_CODE_SUCCESS);
}

TEST_F(DownloadInstallerTest, FailedInstallationsRemoveThePackage) {
  const struct {
    const wchar_t* instCmd;
    double value;
    const wchar_t* text;
  } cases[] = {
      {L"-test-error=\"disk full\"", 1000.0, L"disk full"},
      // The package dies by a signal before it says anything decisive.
      {L"-test-signal=9", 137.0, L"安装包安装失败"},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(n);
    fs::path dir = env_.Root() / ("fail" + std::to_string(n++)) / "Quillon";
    InstallerConfig::Instance().InstCmd = c.instCmd;
    EventLog log;
    CDownloadInstaller job(log.Callback(), L"", L"", L"", true, true, true);
    job.Init(url_, L"", W(dir), true, true, false, false);
    job.Start();
    ASSERT_TRUE(log.WaitFor({IST_CODE_SUCCESS, IST_CODE_FAIL, DL_CODE_FAIL}));
    WaitForEnd(job);
    std::vector<Event> events = log.Events();
    EXPECT_EQ(events.back().code, IST_CODE_FAIL);
    EXPECT_EQ(events.back().value, c.value);
    EXPECT_EQ(events.back().text, c.text);
    EXPECT_TRUE(log.WithCode(IST_CODE_SUCCESS).empty());
    EXPECT_FALSE(fs::exists(dir / "__Package_Quillon.exe"));
  }
}

TEST_F(DownloadInstallerTest, DownloadFailureInOneFolderThenRetryInAnother) {
  // A package whose folder name is not its MD5: the checksum fails, the job
  // retries once by itself, then fails.
  std::string bytes = install_test::ReadText(QUILLON_DEMO_PACKAGE);
  std::string bad = server_->AddPackage("Quillon_1.0.0.exe", bytes, std::string(32, 'a'));
  server_->AddRedirect("/software/bad", bad);
  std::wstring badUrl = platform::FromNativePath(server_->BaseUrl() + "/software/bad");

  fs::path dirA = env_.Root() / "A" / "Quillon";
  fs::path dirB = env_.Root() / "B" / "Quillon";
  EventLog log;
  CDownloadInstaller job(log.Callback(), L"", L"", L"", true, true, true);
  job.Init(badUrl, L"", W(dirA), true, true, false, false);
  job.Start();
  ASSERT_TRUE(log.WaitFor({DL_CODE_FAIL, IST_CODE_SUCCESS, IST_CODE_FAIL}));
  WaitForEnd(job);
  EXPECT_EQ(log.Codes().back(), DL_CODE_FAIL);
  EXPECT_EQ(log.WithCode(DL_CODE_RETRY).size(), 1u);
  EXPECT_EQ(log.WithCode(DL_CODE_START).size(), 2u) << "the retry needs no action of the window";
  EXPECT_FALSE(fs::exists(dirA / "__Package_Quillon.exe"));

  // Something left a package in A since; the retry in B (the window's
  // "重新安装" with another folder: Init and Start on the same job) cleans it up too.
  std::ofstream(dirA / "__Package_Quillon.exe") << "left over";
  size_t mark = log.Events().size();
  job.Init(url_, L"", W(dirB), true, true, false, false);
  job.Start();
  ASSERT_TRUE(log.WaitFor({IST_CODE_SUCCESS, IST_CODE_FAIL}));
  WaitForEnd(job);
  std::vector<Event> events = log.Events();
  ASSERT_GT(events.size(), mark);
  EXPECT_EQ(events[mark].code, DL_CODE_START);
  EXPECT_EQ(events.back().code, IST_CODE_SUCCESS);
  EXPECT_TRUE(fs::exists(dirB / "Vantrel.exe"));
  EXPECT_FALSE(fs::exists(dirB / "__Package_Quillon.exe"));
  EXPECT_FALSE(fs::exists(dirA / "__Package_Quillon.exe"));
}

}  // namespace
