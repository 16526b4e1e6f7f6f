// Windows: creation, messages from other threads, modal loop, timers,
// queued notifications, default clicks, Escape, folder picker, pump.
#include "ui/skin_window.h"

#include <algorithm>
#include <atomic>
#include <thread>

#include "ui/message_pump.h"
#include "ui_test_support.h"

namespace {

using uitest::RecordingWnd;
using uitest::RunUntil;

class SkinWindowTest : public uitest::HeadlessTest {};

TEST_F(SkinWindowTest, MissingLayoutOrResourceFailsCreation) {
  qui::CSkinFrame missingLayout(qui::ResourceKind::kArchiveResource, qui::kSkinResourceId, L"",
                                L"NoSuchWnd.xml", L"X");
  EXPECT_FALSE(missingLayout.Create(nullptr, L"t", qui::WS_VISIBLE));
  EXPECT_FALSE(missingLayout.IsWindow());
  EXPECT_EQ(missingLayout.ShowModal(), static_cast<qui::UINT>(-1));
  qui::CSkinFrame missingResource(qui::ResourceKind::kArchiveResource, 999, L"", L"MainWnd.xml",
                                  L"X");
  EXPECT_FALSE(missingResource.Create(nullptr, L"t", 0));
  EXPECT_FALSE(missingResource.PostMessage(qui::WM_USER + 1));
}

TEST_F(SkinWindowTest, CustomTagsGoToCreateControlAndStyleLosesCaption) {
  RecordingWnd wnd;
  ASSERT_TRUE(wnd.Create(nullptr, L"t", qui::WS_OVERLAPPEDWINDOW | qui::WS_VISIBLE));
  EXPECT_EQ(wnd.customTags, std::vector<std::wstring>{L"SequenceLabel"});
  EXPECT_EQ(wnd.GetWindowStyle() & (qui::WS_CAPTION | qui::WS_MAXIMIZEBOX), 0u);
  EXPECT_NE(wnd.GetWindowStyle() & qui::WS_VISIBLE, 0u);
  EXPECT_TRUE(wnd.SetIcon(qui::kIconResourceId));
  EXPECT_FALSE(wnd.SetIcon(4242));
}

TEST_F(SkinWindowTest, ShowModalReturnsTheClosingWParamAndKeepsHandlingPosts) {
  RecordingWnd wnd;
  ASSERT_TRUE(wnd.Create(nullptr, L"t", 0));
  wnd.CenterWindow();
  EXPECT_EQ(wnd.GetWindowRect().left, (1920 - 600) / 2);
  // Posts from worker threads arrive in order, then the close ends the loop.
  std::thread worker([&] {
    for (int i = 0; i < 50; ++i) EXPECT_TRUE(wnd.PostMessage(qui::WM_USER + 1000, i, 0));
    wnd.Close(42);
  });
  qui::UINT result = wnd.ShowModal();
  worker.join();
  EXPECT_EQ(result, 42u);
  ASSERT_EQ(wnd.messages.size(), 50u);
  for (int i = 0; i < 50; ++i) EXPECT_EQ(wnd.messages[i].second, static_cast<qui::WPARAM>(i));
  EXPECT_FALSE(wnd.IsWindow());
  EXPECT_FALSE(wnd.PostMessage(qui::WM_USER + 1000, 0, 0));
}

TEST_F(SkinWindowTest, WindowManagerCloseSendsWmCloseWithZeroAndCanBeRefused) {
  struct Refusing : RecordingWnd {
    bool refuse = true;
    qui::LRESULT HandleMessage(qui::UINT msg, qui::WPARAM w, qui::LPARAM l) override {
      if (msg == qui::WM_CLOSE && refuse) {
        ++refused;
        return 0;
      }
      return RecordingWnd::HandleMessage(msg, w, l);
    }
    int refused = 0;
  } wnd;
  ASSERT_TRUE(wnd.Create(nullptr, L"t", 0));
  wnd.RequestCloseForTesting();
  ASSERT_TRUE(RunUntil([&] { return wnd.refused == 1; }));
  EXPECT_TRUE(wnd.IsWindow());
  wnd.refuse = false;
  wnd.PushModalHookForTesting([](qui::SkinWindowBase& w) { w.RequestCloseForTesting(); });
  EXPECT_EQ(wnd.ShowModal(), 0u);
}

TEST_F(SkinWindowTest, DefaultClicksAndEscape) {
  RecordingWnd wnd;
  ASSERT_TRUE(wnd.Create(nullptr, L"t", qui::WS_VISIBLE));
  ASSERT_TRUE(wnd.ClickControlForTesting(L"minbtn"));
  EXPECT_TRUE(wnd.IsMinimized());
  wnd.Restore();
  wnd.PressKeyForTesting(qui::VK_ESCAPE);
  EXPECT_TRUE(RunUntil([] { return false; }, 50) == false);
  EXPECT_TRUE(wnd.IsWindow());  // Escape swallowed
  wnd.PushModalHookForTesting(
      [](qui::SkinWindowBase& w) { w.ClickControlForTesting(L"closebtn"); });
  EXPECT_EQ(wnd.ShowModal(), 1u);
  EXPECT_EQ(wnd.clicks, (std::vector<std::wstring>{L"minbtn", L"closebtn"}));
}

TEST_F(SkinWindowTest, ClickOnCheckBoxSendsClickThenSelectChanged) {
  RecordingWnd wnd;
  ASSERT_TRUE(wnd.Create(nullptr, L"t", 0));
  auto* cb = wnd.FindControlAs<qui::CheckBox>(L"treatyCb");
  ASSERT_TRUE(cb->IsSelected());
  wnd.notes.clear();
  ASSERT_TRUE(wnd.ClickControlForTesting(L"treatyCb"));
  EXPECT_FALSE(cb->IsSelected());
  auto click = std::find(wnd.notes.begin(), wnd.notes.end(), L"click:treatyCb");
  auto change = std::find(wnd.notes.begin(), wnd.notes.end(), L"selectchanged:treatyCb");
  ASSERT_NE(click, wnd.notes.end());
  ASSERT_NE(change, wnd.notes.end());
  EXPECT_LT(click, change);
  // Without notification: the state changes silently.
  wnd.notes.clear();
  cb->Selected(true, false);
  EXPECT_TRUE(wnd.notes.empty());
  // A disabled button sends nothing; a hidden one cannot be clicked.
  wnd.FindControl(L"customeBtn")->SetEnabled(false);
  wnd.ClickControlForTesting(L"customeBtn");
  EXPECT_TRUE(std::find(wnd.clicks.begin(), wnd.clicks.end(), L"customeBtn") == wnd.clicks.end());
  EXPECT_FALSE(wnd.ClickControlForTesting(L"tipLbl"));
}

TEST_F(SkinWindowTest, TabSelectionNotifiesAndHidesOtherPages) {
  RecordingWnd wnd;
  ASSERT_TRUE(wnd.Create(nullptr, L"t", 0));
  auto* tabs = wnd.FindControlAs<qui::TabLayout>(L"mainTabLt");
  EXPECT_FALSE(wnd.FindControl(L"installDirEdit")->IsReallyVisible());
  ASSERT_TRUE(tabs->SelectItem(1));
  EXPECT_EQ(wnd.lastNote.type, L"tabselect");
  EXPECT_EQ(wnd.lastNote.wParam, 1u);
  EXPECT_EQ(wnd.lastNote.lParam, 0);
  EXPECT_TRUE(wnd.FindControl(L"installDirEdit")->IsReallyVisible());
  EXPECT_FALSE(wnd.FindControl(L"defaultInstallBtn")->IsReallyVisible());
  EXPECT_FALSE(tabs->SelectItem(4));
  EXPECT_EQ(tabs->GetCurSel(), 1);
}

TEST_F(SkinWindowTest, ControlAndWindowTimers) {
  RecordingWnd wnd;
  ASSERT_TRUE(wnd.Create(nullptr, L"t", 0));
  qui::Control* root = wnd.GetRoot();
  ASSERT_TRUE(root->SetTimer(10, 5));
  ASSERT_TRUE(RunUntil([&] { return wnd.lastNote.type == L"timer" && wnd.lastNote.wParam == 10; }));
  EXPECT_EQ(wnd.lastNote.sender, root);
  root->KillTimer(10);
  EXPECT_FALSE(wnd.GetPaintManager().HasTimer(root, 10));
  ASSERT_TRUE(wnd.SetTimer(3, 5));
  ASSERT_TRUE(RunUntil([&] {
    return std::count(wnd.messages.begin(), wnd.messages.end(),
                      std::make_pair(qui::WM_TIMER, qui::WPARAM{3})) >= 2;
  }));
  wnd.KillTimer(3);
}

TEST_F(SkinWindowTest, QueuedNotificationsFromAnotherThreadArriveOnTheUiThread) {
  RecordingWnd wnd;
  ASSERT_TRUE(wnd.Create(nullptr, L"t", 0));
  std::thread::id uiThread = std::this_thread::get_id();
  std::thread::id seenOn;
  std::vector<qui::WPARAM> seen;
  struct Sink : qui::INotify {
    std::function<void(qui::Notification&)> fn;
    void Notify(qui::Notification& msg) override { fn(msg); }
  } sink;
  sink.fn = [&](qui::Notification& msg) {
    if (msg.type == L"checknet") {
      seen.push_back(msg.wParam);
      seenOn = std::this_thread::get_id();
    }
  };
  wnd.GetPaintManager().AddNotifier(&sink);
  std::thread worker([&] {
    for (int i = 0; i < 5; ++i) {
      wnd.GetPaintManager().SendNotify(nullptr, L"checknet", 0x10000 * i, 0, true);
    }
  });
  worker.join();
  EXPECT_TRUE(seen.empty());  // queued, not delivered yet
  ASSERT_TRUE(RunUntil([&] { return seen.size() == 5; }));
  EXPECT_EQ(seenOn, uiThread);
  EXPECT_EQ(seen[4], 0x40000u);
  wnd.GetPaintManager().RemoveNotifier(&sink);
}

TEST_F(SkinWindowTest, QueuedNotificationOfADestroyedControlIsDropped) {
  RecordingWnd wnd;
  ASSERT_TRUE(wnd.Create(nullptr, L"t", 0));
  auto* row = dynamic_cast<qui::Container*>(wnd.FindControl(L"titleGrpCtn"));
  ASSERT_NE(row, nullptr);
  qui::Control* minbtn = wnd.FindControl(L"minbtn");
  wnd.GetPaintManager().SendNotify(minbtn, L"late", 1, 0, true);
  ASSERT_TRUE(row->Remove(minbtn));
  RunUntil([] { return false; }, 30);
  EXPECT_TRUE(std::find(wnd.notes.begin(), wnd.notes.end(), L"late:minbtn") == wnd.notes.end());
}

TEST_F(SkinWindowTest, FolderPickerHookAndEditTyping) {
  RecordingWnd wnd;
  ASSERT_TRUE(wnd.Create(nullptr, L"t", 0));
  EXPECT_FALSE(wnd.BrowseForFolder(L"选择一个文件夹").has_value());
  std::wstring askedTitle;
  qui::SkinWindowBase::SetFolderPickerForTesting([&](const std::wstring& title) {
    askedTitle = title;
    return std::optional<std::wstring>(L"/opt/应用");
  });
  EXPECT_EQ(wnd.BrowseForFolder(L"选择一个文件夹").value_or(L""), L"/opt/应用");
  EXPECT_EQ(askedTitle, L"选择一个文件夹");

  wnd.FindControlAs<qui::TabLayout>(L"mainTabLt")->SelectItem(1, false);
  ASSERT_TRUE(wnd.ClickControlForTesting(L"installDirEdit"));
  EXPECT_TRUE(wnd.FindControl(L"installDirEdit")->IsFocused());
  ASSERT_TRUE(wnd.TypeTextForTesting(L"/home/u/Quillon"));
  EXPECT_EQ(wnd.FindControl(L"installDirEdit")->GetText(), L"/home/u/Quillon");
}

TEST_F(SkinWindowTest, PumpMessagesBrieflyRunsTheLoopForAboutATenthOfASecond) {
  RecordingWnd wnd;
  ASSERT_TRUE(wnd.Create(nullptr, L"t", 0));
  wnd.PostMessage(qui::WM_USER + 7, 1, 0);
  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(Utils::PumpMessagesBriefly(&wnd));
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                  start)
                .count();
  EXPECT_GE(ms, 95);
  EXPECT_LT(ms, 1000);  // an idle loop does not block
  ASSERT_EQ(wnd.messages.size(), 1u);
  wnd.Close(1);
  EXPECT_FALSE(Utils::PumpMessagesBriefly(&wnd));
  EXPECT_FALSE(Utils::PumpMessagesBriefly(&wnd));
}

}  // namespace
