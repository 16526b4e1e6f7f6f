// Prompt windows: results, placeholders, Escape, and the modal loop that
// keeps the owner's posted messages flowing.
#include "ui/message_box_wnd.h"

#include <atomic>
#include <thread>

#include "ui_test_support.h"

namespace {

class PromptTest : public uitest::HeadlessTest {};

TEST_F(PromptTest, ResultsByButton) {
  struct Case {
    const wchar_t* layout;
    const wchar_t* click;
    int result;
  } cases[] = {
      {L"ExitTipWnd.xml", L"okBtn", 0},
      {L"ExitTipWnd.xml", L"cancelBtn", 1},
      {L"ExitTipWnd.xml", L"closebtn", 2},
      {L"InstalledPathTipWnd.xml", L"okBtn", 0},
      {L"InstalledPathTipWnd.xml", L"closebtn", 2},
      {L"NetworkTipWnd.xml", L"cancelBtn", 1},
      {L"MessageBox2Wnd.xml", L"closebtn", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::wstring(c.layout).size() << " " << c.result);
    qui::SkinWindowBase::AnswerNextPromptForTesting(c.click);
    EXPECT_EQ(ShowPrompt(nullptr, c.layout), c.result);
  }
}

TEST_F(PromptTest, ClosedWithoutAClickIsOneAndEscapeDoesNothing) {
  bool aliveAfterEscape = false;
  qui::SkinWindowBase::PushModalHookForTesting([&](qui::SkinWindowBase& w) {
    w.PressKeyForTesting(qui::VK_ESCAPE);
    uitest::RunUntil([] { return false; }, 30);
    aliveAfterEscape = w.IsWindow();
    w.RequestCloseForTesting();  // Alt+F4 / window manager close
  });
  EXPECT_EQ(ShowPrompt(nullptr, L"InstalledPathTipWnd.xml"), 1);
  EXPECT_TRUE(aliveAfterEscape);
  EXPECT_EQ(ShowPrompt(nullptr, L"NoSuchPrompt.xml"), 1);  // no window: at once
}

TEST_F(PromptTest, TextsReplacePlaceholdersOnlyWhenGiven) {
  std::wstring caption, text, className, title;
  uint32_t style = 0;
  auto inspect = [&](qui::SkinWindowBase& w) {
    caption = w.FindControl(L"captionLbl")->GetText();
    text = w.FindControl(L"textLbl")->GetText();
    className = w.GetWindowClassName();
    title = w.GetTitle();
    style = w.GetWindowStyle();
    w.ClickControlForTesting(L"closebtn");
  };
  qui::SkinWindowBase::PushModalHookForTesting(inspect);
  EXPECT_EQ(ShowPrompt(nullptr, L"MessageBox1Wnd.xml",
                       std::wstring(L"安装程序检测到Quillon助手\r\n正在运行，请退出程序后再安装")),
            2);
  EXPECT_EQ(caption, L"CAPTION");
  EXPECT_EQ(text, L"安装程序检测到Quillon助手\r\n正在运行，请退出程序后再安装");
  EXPECT_EQ(className, L"MessageBox1Wnd");
  EXPECT_EQ(title, L"消息框");
  // Created visible as an overlapped window, then without caption and maximise box.
  EXPECT_EQ(style & (qui::WS_VISIBLE | qui::WS_CAPTION | qui::WS_MAXIMIZEBOX | qui::WS_SYSMENU |
                     qui::WS_CLIPSIBLINGS | qui::WS_CLIPCHILDREN),
            qui::WS_VISIBLE | qui::WS_SYSMENU | qui::WS_CLIPSIBLINGS | qui::WS_CLIPCHILDREN);
  qui::SkinWindowBase::PushModalHookForTesting(inspect);
  ShowPrompt(nullptr, L"MessageBox2Wnd.xml", std::nullopt, std::wstring(L"温馨提示"));
  EXPECT_EQ(caption, L"温馨提示");
  EXPECT_EQ(text, L"TEXT");
}

TEST_F(PromptTest, ModalPromptKeepsHandlingMessagesPostedToTheOwner) {
  uitest::RecordingWnd owner;
  ASSERT_TRUE(owner.Create(nullptr, L"owner", qui::WS_VISIBLE));
  owner.MoveWindow(37, 41);
  qui::SkinWindowBase* prompt = nullptr;
  bool ownerClickable = true;
  std::thread worker;
  qui::Rect promptRect;
  qui::SkinWindowBase::PushModalHookForTesting([&](qui::SkinWindowBase& w) {
    prompt = &w;
    promptRect = w.GetWindowRect();
    ownerClickable = owner.ClickControlForTesting(L"minbtn");
    worker = std::thread([&] {
      for (int i = 0; i < 20; ++i) owner.PostMessage(qui::WM_USER + 1000, i, 0);
    });
  });
  owner.onMessage = [&](qui::UINT, qui::WPARAM w, qui::LPARAM) {
    if (w == 19 && prompt) prompt->Close(1);
  };
  int result = ShowPrompt(&owner, L"ExitTipWnd.xml");
  worker.join();
  EXPECT_EQ(result, 1);
  // Centred over its owner.
  qui::Rect ownerRect = owner.GetWindowRect();
  EXPECT_NEAR(promptRect.left + promptRect.Width() / 2, ownerRect.left + ownerRect.Width() / 2, 1);
  EXPECT_NEAR(promptRect.top + promptRect.Height() / 2, ownerRect.top + ownerRect.Height() / 2, 1);
  EXPECT_EQ(owner.messages.size(), 20u);
  EXPECT_FALSE(ownerClickable);  // the owner is disabled while the prompt runs
  EXPECT_TRUE(owner.IsWindowEnabled());
  EXPECT_TRUE(owner.ClickControlForTesting(L"minbtn"));
}

}  // namespace
