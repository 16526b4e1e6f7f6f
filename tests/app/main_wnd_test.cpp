// The main window on the headless host: pages, checks, prompts and job events,
// with the real toolkit, the real install pipeline and the demo package on a
// loopback package server.
#include "app/main_wnd.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "app/config/installer_config.h"
#include "app/unattended.h"
#include "install/install_records.h"
#include "platform/user_store.h"
#include "skin/embedded_skin.h"
#include "tests/app/test_support.h"
#include "ui/message_box_wnd.h"
#include "ui/toolkit.h"
#include "utils/system.h"

namespace app {
namespace {

using app_test::PumpFor;
using app_test::PumpUntil;
using app_test::Wide;
using namespace std::chrono_literals;

constexpr uint64_t kPlentyOfSpace = 50ull << 30;

struct PromptSeen {
  std::wstring className;
  std::wstring text;
  std::wstring caption;
};

class MainWndTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    setenv("DO_NOT_TRACK", "1", 1);
    ASSERT_TRUE(qui::Toolkit::Initialize(qui::HostKind::kHeadless));
    skin::RegisterEmbeddedSkin();
  }

  void SetUp() override {
    home_ = std::make_unique<app_test::ScratchHome>();
    server_ = std::make_unique<app_test::DemoPackageServer>(home_->Root() / "site");
    ASSERT_TRUE(server_->Started());
    config_.DownloadUrl = server_->DownloadUrl();
    config_.IsEnableAppAnalytics = false;
    services_ = MainWndServices::Default();
    services_.openUrl = [this](const std::wstring& url) { opened_.push_back(url); };
    services_.launchProgram = [this](const std::wstring& p) { launched_.push_back(p); };
    services_.freeBytes = [this](const std::wstring&) { return freeBytes_.load(); };
    services_.checkNetwork = [this] {
      ++networkTests_;
      return network_.load();
    };
  }

  void TearDown() override {
    wnd_.reset();
    qui::SkinWindowBase::ClearModalHooksForTesting();
    qui::SkinWindowBase::SetFolderPickerForTesting(nullptr);
    if (product_ > 0) {
      kill(product_, SIGKILL);
      waitpid(product_, nullptr, 0);
    }
  }

  CMainWnd& Open() {
    wnd_ = std::make_unique<CMainWnd>(config_, services_);
    EXPECT_TRUE(wnd_->Create(nullptr, InstallerConfig::kDisplayName,
                             qui::WS_VISIBLE | qui::WS_OVERLAPPEDWINDOW));
    PumpFor(20ms);
    return *wnd_;
  }

  // The next prompt is answered by a click on `control`; what it showed is kept.
  void Answer(const std::wstring& control) {
    qui::SkinWindowBase::PushModalHookForTesting([this, control](qui::SkinWindowBase& prompt) {
      PromptSeen seen{prompt.GetWindowClassName(), L"", L""};
      if (qui::Control* text = prompt.FindControl(L"textLbl")) seen.text = text->GetText();
      if (qui::Control* caption = prompt.FindControl(L"captionLbl")) {
        seen.caption = caption->GetText();
      }
      prompts_.push_back(seen);
      EXPECT_TRUE(prompt.ClickControlForTesting(control)) << Narrow(control);
    });
  }

  void Click(const std::wstring& name) {
    ASSERT_TRUE(wnd_->ClickControlForTesting(name));
    PumpFor(10ms);
  }

  template <class T = qui::Control>
  T* Get(const std::wstring& name) {
    T* control = wnd_->FindControlAs<T>(name);
    EXPECT_NE(control, nullptr);
    return control;
  }

  bool Closed() const { return !wnd_->IsWindow(); }

  void Post(int32_t code, double number, const std::wstring& text = L"") {
    wnd_->PostJobEventForTesting(code, number, text);
  }

  // Records an earlier installation in `folder` (with its uninstaller file).
  std::filesystem::path RecordEarlierInstallation() {
    const auto folder = home_->Root() / "old" / "Quillon";
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "uninst.ep") << "not a real uninstaller";
    EXPECT_TRUE(Utils::WriteRegistryString(L"InstallPath", Wide(folder)));
    return folder;
  }

  // Starts the demo product program under its own name, as a user would run it.
  void StartProduct() {
    const auto exe = home_->Root() / "running" / "Vantrel.exe";
    std::filesystem::create_directories(exe.parent_path() / "data");
    std::ofstream(exe.parent_path() / "data" / "quillon-words.dat") << "words";
    std::filesystem::copy_file(QUILLON_DEMO_VANTREL, exe);
    std::filesystem::permissions(exe, std::filesystem::perms::owner_all);
    product_ = fork();
    if (product_ == 0) {
      execl(exe.c_str(), "Vantrel.exe", "--stay=60", static_cast<char*>(nullptr));
      _exit(127);
    }
    ASSERT_TRUE(PumpUntil([] { return install::FindProcessId(L"Vantrel.exe") != 0; }, 5s));
  }

  std::unique_ptr<app_test::ScratchHome> home_;
  std::unique_ptr<app_test::DemoPackageServer> server_;
  InstallerConfig config_;
  MainWndServices services_;
  std::unique_ptr<CMainWnd> wnd_;
  std::vector<PromptSeen> prompts_;
  std::vector<std::wstring> opened_;
  std::vector<std::wstring> launched_;
  std::atomic<uint64_t> freeBytes_{kPlentyOfSpace};
  std::atomic<uint32_t> network_{0};
  std::atomic<int> networkTests_{0};
  pid_t product_ = -1;
};

TEST_F(MainWndTest, AgreementBoxGuardsTheQuickInstallAndTheLinkKeepsItsState) {
  Open();
  auto* treatyCb = Get<qui::CheckBox>(L"treatyCb");
  auto* treatyBtn = Get<qui::CheckBox>(L"treatyBtn");
  auto* customeBtn = Get(L"customeBtn");
  auto* tipLbl = Get(L"tipLbl");
  ASSERT_TRUE(treatyCb && treatyBtn && customeBtn && tipLbl);
  EXPECT_TRUE(treatyCb->IsSelected());
  EXPECT_FALSE(tipLbl->IsVisible());

  Click(L"treatyCb");
  EXPECT_FALSE(treatyCb->IsSelected());
  EXPECT_FALSE(treatyBtn->IsSelected());
  EXPECT_FALSE(customeBtn->IsEnabled());

  Click(L"defaultInstallBtn");
  EXPECT_TRUE(tipLbl->IsVisible());
  EXPECT_EQ(wnd_->CurrentPage(), 0);

  Click(L"treatyBtn");
  EXPECT_FALSE(treatyBtn->IsSelected());
  EXPECT_EQ(opened_, std::vector<std::wstring>{kTermsPageUrl});

  Click(L"treatyCb");
  EXPECT_TRUE(treatyBtn->IsSelected());
  EXPECT_TRUE(customeBtn->IsEnabled());
  EXPECT_FALSE(tipLbl->IsVisible());
  Click(L"treatyBtn");
  EXPECT_TRUE(treatyBtn->IsSelected());
  EXPECT_TRUE(prompts_.empty());
}

TEST_F(MainWndTest, CustomPageAndBackChangeBackgroundAndTitleButtons) {
  Open();
  auto* winCtn = Get(L"winCtn");
  auto* backBtn = Get(L"backBtn");
  auto* titleTab = Get<qui::TabLayout>(L"titleTabLt");
  ASSERT_TRUE(winCtn && backBtn && titleTab);

  Click(L"customeBtn");
  EXPECT_EQ(wnd_->CurrentPage(), 1);
  EXPECT_EQ(winCtn->GetBkImage(), L"res\\mainWnd\\bg2.png");
  EXPECT_TRUE(backBtn->IsVisible());
  EXPECT_EQ(titleTab->GetCurSel(), 1);
  EXPECT_TRUE(Get(L"titleGrpCtn")->IsVisible());
  EXPECT_EQ(wnd_->GetPaintManager().GetFocus(), Get(L"customeInstallBtn"));

  Click(L"backBtn");
  EXPECT_EQ(wnd_->CurrentPage(), 0);
  EXPECT_EQ(winCtn->GetBkImage(), L"res\\mainWnd\\bg1.png");
  EXPECT_FALSE(backBtn->IsVisible());
}

TEST_F(MainWndTest, CloseAsksFirstAndOnlyYesCloses) {
  Open();
  for (const wchar_t* keepOpen : {L"cancelBtn", L"closebtn"}) {
    SCOPED_TRACE(Narrow(keepOpen));
    Answer(keepOpen);
    Click(L"closebtn");
    PumpFor(30ms);
    EXPECT_FALSE(Closed());
  }
  Answer(L"okBtn");
  Click(L"closebtn");
  EXPECT_TRUE(PumpUntil([&] { return Closed(); }, 2s));
  ASSERT_EQ(prompts_.size(), 3u);
  for (const auto& prompt : prompts_) EXPECT_EQ(prompt.className, L"ExitTipWnd");
}

TEST_F(MainWndTest, QuickInstallRunsTheJobToTheFinishedPage) {
  Open();
  Click(L"defaultInstallBtn");
  ASSERT_TRUE(PumpUntil([&] { return wnd_->CurrentPage() == 2; }, 5s));
  EXPECT_FALSE(Get(L"titleGrpCtn")->IsVisible());
  // Neither Alt+F4 nor a close message ends the installer during the job.
  wnd_->RequestCloseForTesting();
  wnd_->PostMessage(qui::WM_CLOSE, 1);
  PumpFor(20ms);
  EXPECT_FALSE(Closed());

  ASSERT_TRUE(PumpUntil([&] { return wnd_->CurrentPage() == 3; }, 60s));
  auto& root = *wnd_->GetRoot();
  // The demo package asks to come to the front after 1000 ms and never to close.
  EXPECT_TRUE(wnd_->GetPaintManager().HasTimer(&root, kTimerBringToFront));
  EXPECT_FALSE(wnd_->GetPaintManager().HasTimer(&root, kTimerClose));

  const std::filesystem::path product(platform::NativePath(wnd_->Facts().targetFolder));
  EXPECT_TRUE(std::filesystem::is_regular_file(product / "Vantrel.exe"));
  EXPECT_TRUE(std::filesystem::is_regular_file(product / "set.ini"));
  EXPECT_FALSE(std::filesystem::exists(product / "__Package_Quillon.exe"));
  uint32_t type = 0;
  std::wstring recorded;
  ASSERT_TRUE(Utils::ReadRegistryString(L"InstallPath", &type, &recorded));
  EXPECT_EQ(recorded, wnd_->Facts().targetFolder);
  EXPECT_EQ(Get<qui::Progress>(L"installPrg")->GetValue(), 100);
  EXPECT_FALSE(Get<qui::CSequenceLabelUI>(L"progressAnLb")->IsRunning());
  EXPECT_TRUE(Get(L"titleGrpCtn")->IsVisible());
  EXPECT_EQ(wnd_->Facts().startupStyle, 2);
  EXPECT_TRUE(launched_.empty());
  // IsCheckNet is off by default: no network test before the job.
  EXPECT_EQ(networkTests_, 0);

  PumpFor(1200ms);
  EXPECT_FALSE(wnd_->GetPaintManager().HasTimer(&root, kTimerBringToFront));
  // On the finished page the close button does not ask.
  Click(L"closebtn");
  EXPECT_TRUE(PumpUntil([&] { return Closed(); }, 2s));
  EXPECT_TRUE(prompts_.empty());
}

TEST_F(MainWndTest, AlreadyInstalledPromptAnswers) {
  struct Case {
    const wchar_t* answer;
    bool installs;
    bool launches;
  } cases[] = {{L"okBtn", true, false}, {L"cancelBtn", false, true}, {L"closebtn", false, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(Narrow(c.answer));
    const auto folder = RecordEarlierInstallation();
    prompts_.clear();
    launched_.clear();
    Answer(c.answer);
    // "安装最新版本" runs the recorded (fake) uninstaller first; it fails, which
    // shows the running-product message and, being installed, closes.
    Answer(L"closebtn");
    Open();
    EXPECT_TRUE(wnd_->IsAlreadyInstalled());
    EXPECT_TRUE(PumpUntil([&] { return Closed(); }, 10s));
    ASSERT_EQ(prompts_.size(), c.installs ? 2u : 1u);
    EXPECT_EQ(prompts_[0].className, L"InstalledPathTipWnd");
    if (c.installs) {
      EXPECT_EQ(prompts_[1].className, L"MessageBox1Wnd");
      EXPECT_EQ(wnd_->Facts().targetFolder, Wide(folder));
      EXPECT_EQ(wnd_->CurrentPage(), 0);
    }
    if (c.launches) {
      EXPECT_EQ(launched_, std::vector<std::wstring>{Wide(folder / "Vantrel.exe")});
    } else {
      EXPECT_TRUE(launched_.empty());
    }
    wnd_.reset();
    qui::SkinWindowBase::ClearModalHooksForTesting();
  }
}

TEST_F(MainWndTest, RunningProductIsRefusedWithOneMessage) {
  StartProduct();
  // Not installed yet: the install click shows the message and closes.
  Open();
  Answer(L"closebtn");
  Click(L"defaultInstallBtn");
  EXPECT_TRUE(PumpUntil([&] { return Closed(); }, 2s));
  ASSERT_EQ(prompts_.size(), 1u);
  EXPECT_EQ(prompts_[0].className, L"MessageBox1Wnd");
  EXPECT_EQ(prompts_[0].text, L"安装程序检测到Quillon助手\r\n正在运行，请退出程序后再安装");
  EXPECT_EQ(prompts_[0].caption, L"温馨提示");

  // Installed and running: the message once, no already-installed prompt.
  RecordEarlierInstallation();
  prompts_.clear();
  Answer(L"closebtn");
  Open();
  EXPECT_TRUE(PumpUntil([&] { return Closed(); }, 2s));
  ASSERT_EQ(prompts_.size(), 1u);
  EXPECT_EQ(prompts_[0].className, L"MessageBox1Wnd");
}

TEST_F(MainWndTest, FolderChecksKeepThePageAndTheButton) {
  struct Case {
    std::wstring editText;
    uint64_t freeBytes;
    std::wstring message;
  } cases[] = {
      {L"/tmp/with\"quote", kPlentyOfSpace, L"无效路径"},
      {L"/proc/forbidden", kPlentyOfSpace, L"无效路径"},
      {L"", (1ull << 30) - 1, L"当前磁盘剩余空间低于1GB，请修改安装路径"},
  };
  Open();
  Click(L"customeBtn");
  auto* edit = Get<qui::Edit>(L"installDirEdit");
  const std::wstring defaultText = edit->GetText();
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.freeBytes);
    prompts_.clear();
    freeBytes_ = c.freeBytes;
    edit->SetText(c.editText.empty() ? defaultText : c.editText);
    Answer(L"closebtn");
    Click(L"customeInstallBtn");
    ASSERT_EQ(prompts_.size(), 1u);
    EXPECT_EQ(prompts_[0].className, L"MessageBox2Wnd");
    EXPECT_EQ(prompts_[0].text, c.message);
    EXPECT_EQ(wnd_->CurrentPage(), 1);
    EXPECT_TRUE(Get(L"customeInstallBtn")->IsEnabled());
  }
}

TEST_F(MainWndTest, NetworkTestRefusesAPoorConnectionAndStartsOtherwise) {
  config_.IsCheckNet = true;
  network_ = 0x00010000;  // status 1: no network
  Open();
  Answer(L"closebtn");
  Click(L"defaultInstallBtn");
  ASSERT_TRUE(PumpUntil([&] { return prompts_.size() == 1; }, 5s));
  EXPECT_EQ(prompts_[0].text, L"当前网络环境较差，请在网络通畅时进行安装");
  PumpFor(20ms);
  EXPECT_EQ(wnd_->CurrentPage(), 0);

  network_ = Utils::kNetFlagAvailable | Utils::kNetFlagInternet;
  Click(L"defaultInstallBtn");
  EXPECT_TRUE(PumpUntil([&] { return wnd_->CurrentPage() == 2; }, 5s));
  EXPECT_EQ(prompts_.size(), 1u);
  EXPECT_EQ(networkTests_, 2);
}

TEST_F(MainWndTest, ProgressTextAndBarFollowTheJob) {
  config_.AbGroup = L"B1";
  Open();
  auto* label = Get(L"progressLb");
  auto* bar = Get<qui::Progress>(L"installPrg");
  ASSERT_TRUE(label && bar);
  // The download start makes the downloader-started report with the
  // configured A/B group.
  Post(DL_CODE_START, 0);
  PumpFor(20ms);
  EXPECT_TRUE(wnd_->DownloaderStartedReported());
  EXPECT_EQ(wnd_->AbValue(), L"B1");
  Post(DL_CODE_PROGRESS, 0.5);
  PumpFor(20ms);
  EXPECT_EQ(label->GetText(), L"正在安装中:35%，请稍候...");
  EXPECT_EQ(bar->GetValue(), 35);

  wnd_->SetDownloadElapsedForTesting(61.0f);
  Post(DL_CODE_PROGRESS, 1.0);
  PumpFor(20ms);
  EXPECT_EQ(label->GetText(), L"正在安装中:70%，请耐心等待...");

  for (int expected : {74, 78, 83, 88, 92, 97, 98, 98}) {
    SCOPED_TRACE(expected);
    Post(IST_CODE_PROGRESS, 0.0);
    PumpFor(10ms);
    EXPECT_EQ(bar->GetValue(), expected);
  }
  Post(IST_CODE_PROGRESS, 0.99);
  PumpFor(10ms);
  EXPECT_EQ(bar->GetValue(), 99);

  label->SetUserData(L"已完成 %d%%");
  Post(DL_CODE_PROGRESS, 0.5);
  PumpFor(10ms);
  EXPECT_EQ(label->GetText(), L"已完成 35%");
}

TEST_F(MainWndTest, InstallFailureResetsTheBarOnlyFromSeventy) {
  struct Case {
    int barBefore;
    std::wstring message;
    std::wstring shown;
    bool reset;
  } cases[] = {{75, L"磁盘写入失败", L"磁盘写入失败", true}, {60, L"", L"安装失败", false}};
  Open();
  auto* label = Get(L"progressLb");
  auto* bar = Get<qui::Progress>(L"installPrg");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.barBefore);
    prompts_.clear();
    Get<qui::TabLayout>(L"mainTabLt")->SelectItem(2, true);
    bar->SetValue(c.barBefore);
    label->SetText(L"before");
    Answer(L"closebtn");
    Post(IST_CODE_FAIL, 1000, c.message);
    ASSERT_TRUE(PumpUntil([&] { return prompts_.size() == 1; }, 2s));
    PumpFor(10ms);
    EXPECT_EQ(prompts_[0].className, L"MessageBox2Wnd");
    EXPECT_EQ(prompts_[0].text, c.shown);
    EXPECT_EQ(bar->GetValue(), c.reset ? 0 : c.barBefore);
    EXPECT_EQ(label->GetText(), c.reset ? L"正在安装中:0%，请稍候..." : L"before");
    EXPECT_EQ(wnd_->CurrentPage(), 0);
  }
}

TEST_F(MainWndTest, DownloadFailurePromptAnswers) {
  Open();
  for (const wchar_t* answer : {L"cancelBtn", L"closebtn"}) {
    SCOPED_TRACE(Narrow(answer));
    prompts_.clear();
    Get<qui::TabLayout>(L"mainTabLt")->SelectItem(2, true);
    Answer(answer);
    Post(DL_CODE_FAIL, 7, L"Couldn't connect to server");
    ASSERT_TRUE(PumpUntil([&] { return prompts_.size() == 1; }, 2s));
    PumpFor(20ms);
    EXPECT_EQ(prompts_[0].className, L"NetworkTipWnd");
    EXPECT_EQ(wnd_->CurrentPage(), 0);
    EXPECT_FALSE(Closed());
  }
  // "重新安装" starts the job again from the start page, and it completes.
  prompts_.clear();
  Get<qui::TabLayout>(L"mainTabLt")->SelectItem(2, true);
  Answer(L"okBtn");
  Post(DL_CODE_FAIL, 7, L"Couldn't connect to server");
  ASSERT_TRUE(PumpUntil([&] { return wnd_->CurrentPage() == 3; }, 60s));
  EXPECT_EQ(prompts_.size(), 1u);
}

TEST_F(MainWndTest, DownloadFailureLaterClosesOnlyWhenAlreadyInstalled) {
  RecordEarlierInstallation();
  // "安装最新版本" is refused for lack of space, so the window stays on page 0
  // with an earlier installation known.
  freeBytes_ = 0;
  Answer(L"okBtn");
  Answer(L"closebtn");
  Open();
  ASSERT_TRUE(PumpUntil([&] { return prompts_.size() == 2; }, 5s));
  PumpFor(20ms);
  ASSERT_TRUE(wnd_->IsAlreadyInstalled());
  EXPECT_EQ(prompts_[1].text, L"当前磁盘剩余空间低于1GB，请修改安装路径");
  ASSERT_FALSE(Closed());
  freeBytes_ = kPlentyOfSpace;

  // Its close button: nothing happens.
  Get<qui::TabLayout>(L"mainTabLt")->SelectItem(2, true);
  Answer(L"closebtn");
  Post(DL_CODE_FAIL, 7, L"Couldn't connect to server");
  ASSERT_TRUE(PumpUntil([&] { return prompts_.size() == 3; }, 2s));
  PumpFor(30ms);
  EXPECT_EQ(prompts_[2].className, L"NetworkTipWnd");
  EXPECT_EQ(wnd_->CurrentPage(), 0);
  EXPECT_FALSE(Closed());

  // "稍后再试": the installer closes (leaving the progress page first, where a
  // close would be swallowed).
  Get<qui::TabLayout>(L"mainTabLt")->SelectItem(2, true);
  Answer(L"cancelBtn");
  Post(DL_CODE_FAIL, 7, L"Couldn't connect to server");
  EXPECT_TRUE(PumpUntil([&] { return Closed(); }, 5s));
  EXPECT_EQ(prompts_.size(), 4u);
}

TEST_F(MainWndTest, DownloadFailureRestartFromTheCustomPageKeepsItsChoices) {
  Open();
  Click(L"customeBtn");
  auto* edit = Get<qui::Edit>(L"installDirEdit");
  auto* desktop = Get<qui::CheckBox>(L"createDSCb");
  ASSERT_TRUE(edit && desktop);
  Click(L"createDSCb");
  ASSERT_FALSE(desktop->IsSelected());
  const auto first = home_->Root() / "first";
  const auto second = home_->Root() / "second";
  edit->SetText(Wide(first));

  // Every download request fails until the prompt is answered.
  package_server::Fault fault;
  fault.count = -1;
  fault.status = 503;
  server_->Server().AddFault(fault);
  qui::SkinWindowBase::PushModalHookForTesting([&](qui::SkinWindowBase& prompt) {
    prompts_.push_back({prompt.GetWindowClassName(), L"", L""});
    EXPECT_EQ(wnd_->Facts().targetFolder, Wide(first / "Quillon"));
    // The user edits the folder meanwhile: the restart reads the page anew.
    edit->SetText(Wide(second));
    server_->Server().ClearFaults();
    EXPECT_TRUE(prompt.ClickControlForTesting(L"okBtn"));
  });
  Answer(L"closebtn");  // a second failure would end here instead of hanging
  Click(L"customeInstallBtn");
  ASSERT_TRUE(PumpUntil([&] { return wnd_->CurrentPage() == 3; }, 60s));
  ASSERT_EQ(prompts_.size(), 1u);
  EXPECT_EQ(prompts_[0].className, L"NetworkTipWnd");
  EXPECT_EQ(wnd_->StartPage(), 1);
  EXPECT_EQ(wnd_->Facts().targetFolder, Wide(second / "Quillon"));
  EXPECT_TRUE(std::filesystem::is_regular_file(second / "Quillon" / "Vantrel.exe"));
  // The desktop shortcut box was cleared: the package made no desktop entry.
  EXPECT_FALSE(std::filesystem::exists(home_->Home() / ".local/share/applications" /
                                       "quillon-vantrel.desktop"));
}

TEST_F(MainWndTest, FolderPickerFillsTheEditOnlyWhenAFolderIsChosen) {
  std::vector<std::wstring> titles;
  std::optional<std::wstring> answer = L"/srv/apps";
  qui::SkinWindowBase::SetFolderPickerForTesting([&](const std::wstring& title) {
    titles.push_back(title);
    return answer;
  });
  Open();
  Click(L"customeBtn");
  auto* edit = Get<qui::Edit>(L"installDirEdit");
  ASSERT_NE(edit, nullptr);
  Click(L"chDirBtn");
  EXPECT_EQ(edit->GetText(), L"/srv/apps");
  answer.reset();
  Click(L"chDirBtn");
  EXPECT_EQ(edit->GetText(), L"/srv/apps");
  EXPECT_EQ(titles, (std::vector<std::wstring>{L"选择一个文件夹", L"选择一个文件夹"}));
}

TEST_F(MainWndTest, FinishStartsTheProductByItsStartupStyle) {
  const auto product = home_->Root() / "product";
  std::filesystem::create_directories(product);
  std::ofstream(product / "Vantrel.exe") << "#!/bin/sh\n";
  struct Case {
    int style;
    bool launchedAtFinish;
    bool launchedOnClick;
  } cases[] = {{0, false, false}, {1, true, false}, {2, false, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.style);
    platform::DeleteUserValue(L"Software\\LumoraSoft\\Quillon", L"InstallPath");
    opened_.clear();
    launched_.clear();
    Open();
    Post(IST_INFO_INSTPATH, 0, Wide(product));
    Post(IST_INFO_EXEPATH, 0, Wide(product / "Vantrel.exe"));
    Post(IST_INFO_STARTURL, 0, L"https://www.quillon.example/welcome");
    Post(IST_INFO_STARTUPSTYLE, c.style);
    Post(IST_INFO_TOPSHOWDETENTION, 0);
    Post(IST_CODE_SUCCESS, 0);
    ASSERT_TRUE(PumpUntil([&] { return wnd_->CurrentPage() == 3; }, 5s));
    EXPECT_FALSE(wnd_->GetPaintManager().HasTimer(wnd_->GetRoot(), kTimerBringToFront));
    const std::vector<std::wstring> exe{Wide(product / "Vantrel.exe")};
    const std::vector<std::wstring> page{L"https://www.quillon.example/welcome"};
    EXPECT_EQ(launched_, c.launchedAtFinish ? exe : std::vector<std::wstring>{});
    EXPECT_EQ(opened_, c.launchedAtFinish ? page : std::vector<std::wstring>{});
    launched_.clear();
    opened_.clear();
    Click(L"openProduceBtn");
    EXPECT_TRUE(PumpUntil([&] { return Closed(); }, 2s));
    EXPECT_EQ(launched_, c.launchedOnClick ? exe : std::vector<std::wstring>{});
    EXPECT_EQ(opened_, c.launchedOnClick ? page : std::vector<std::wstring>{});
    uint32_t type = 0;
    std::wstring recorded;
    EXPECT_TRUE(Utils::ReadRegistryString(L"InstallPath", &type, &recorded));
    EXPECT_EQ(recorded, Wide(product));
    wnd_.reset();
  }
}

TEST_F(MainWndTest, CloseTimerClosesAndTheNeverValueNeverStarts) {
  Open();
  Post(IST_INFO_FINISHCLOSEDETENTION, -1);
  Post(IST_CODE_SUCCESS, 0);
  ASSERT_TRUE(PumpUntil([&] { return wnd_->CurrentPage() == 3; }, 5s));
  EXPECT_FALSE(wnd_->GetPaintManager().HasTimer(wnd_->GetRoot(), kTimerClose));
  EXPECT_TRUE(wnd_->GetPaintManager().HasTimer(wnd_->GetRoot(), kTimerBringToFront));

  Open();
  Post(IST_INFO_TOPSHOWDETENTION, 30);
  Post(IST_INFO_FINISHCLOSEDETENTION, 150);
  Post(IST_CODE_SUCCESS, 0);
  ASSERT_TRUE(PumpUntil([&] { return wnd_->CurrentPage() == 3; }, 5s));
  EXPECT_TRUE(wnd_->GetPaintManager().HasTimer(wnd_->GetRoot(), kTimerClose));
  EXPECT_TRUE(PumpUntil([&] { return Closed(); }, 3s));
}

TEST_F(MainWndTest, OutsideMessageReportsOnceAndUnknownCodesAreDropped) {
  config_.AbGroup = L"B2";
  Open();
  EXPECT_FALSE(wnd_->DownloaderStartedReported());
  wnd_->PostMessage(kMsgDownloaderStarted);
  wnd_->PostMessage(kMsgDownloaderStarted);
  Post(4242, 1.0, L"unknown");
  Post(DL_CODE_RETRY, 0, L"LibCurl");
  PumpFor(30ms);
  EXPECT_TRUE(wnd_->DownloaderStartedReported());
  // The report was made by the message: a later download start keeps "IN".
  Post(DL_CODE_START, 0);
  PumpFor(20ms);
  EXPECT_EQ(wnd_->AbValue(), L"IN");
  EXPECT_EQ(wnd_->CurrentPage(), 0);

  Answer(L"closebtn");
  Post(IST_INFO_MESSAGE, 0, L"来自安装包的消息");
  ASSERT_TRUE(PumpUntil([&] { return prompts_.size() == 1; }, 2s));
  EXPECT_EQ(prompts_[0].className, L"MessageBox1Wnd");
  EXPECT_EQ(prompts_[0].text, L"来自安装包的消息");
  EXPECT_EQ(prompts_[0].caption, L"消息");

  EXPECT_NE(dynamic_cast<qui::CSequenceLabelUI*>(wnd_->CreateControl(L"sequencelabel").get()),
            nullptr);
  EXPECT_NE(dynamic_cast<qui::CSequenceButtonUI*>(wnd_->CreateControl(L"SEQUENCEBUTTON").get()),
            nullptr);
  EXPECT_EQ(wnd_->CreateControl(L"Fancy"), nullptr);
}

}  // namespace
}  // namespace app
