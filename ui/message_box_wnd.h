// CMessageBoxWnd: the installer's modal prompt windows, one class for the
// message layouts ("MessageBox1Wnd.xml", "MessageBox2Wnd.xml": caller text
// and caption) and the fixed dialogs ("InstalledPathTipWnd.xml",
// "NetworkTipWnd.xml", "ExitTipWnd.xml").
//
// Results: 0 "okBtn" clicked; 1 "cancelBtn" clicked or the prompt closed
// without a click (also when the layout cannot be loaded); 2 any other click
// (the prompt's "closebtn"). Escape does nothing. UI thread only.
#pragma once

#include <optional>
#include <string>

#include "ui/skin_frame.h"

constexpr int kPromptOk = 0;
constexpr int kPromptCancel = 1;
constexpr int kPromptOther = 2;

// What the caller gives for a prompt (the skin archive resource by default).
struct PromptParams {
  qui::ResourceKind kind = qui::ResourceKind::kArchiveResource;
  int resourceId = qui::kSkinResourceId;
  std::wstring skinFolder;
  std::wstring skinFile;   // e.g. L"MessageBox1Wnd.xml"
  std::wstring className;  // empty: the file name without its extension
};

class CMessageBoxWnd : public qui::CSkinFrame {
 public:
  explicit CMessageBoxWnd(const PromptParams& params);
  ~CMessageBoxWnd() override;

  void InitWindow() override;
  void Notify(qui::Notification& msg) override;
  void OnClick(qui::Notification& msg) override;
  qui::LRESULT HandleMessage(qui::UINT msg, qui::WPARAM wParam, qui::LPARAM lParam) override;

  int GetResult() const { return result_; }

 private:
  int result_ = kPromptCancel;
  qui::Control* okBtn_ = nullptr;
  qui::Control* cancelBtn_ = nullptr;
  qui::Control* textLbl_ = nullptr;
  qui::Control* captionLbl_ = nullptr;
};

// Shows one prompt modally over `owner` (may be null) and returns its result.
// `text` goes to "textLbl" and `caption` to "captionLbl" when given and the
// layout has the control; otherwise the layout's own texts stay. The owner is
// disabled while the prompt runs and enabled and focused again afterwards;
// the owner's posted messages and timers keep running.
int ShowPrompt(qui::SkinWindowBase* owner, const PromptParams& params,
               const std::optional<std::wstring>& text = std::nullopt,
               const std::optional<std::wstring>& caption = std::nullopt);
// Shorthand for the skin archive's layouts.
int ShowPrompt(qui::SkinWindowBase* owner, const std::wstring& skinFile,
               const std::optional<std::wstring>& text = std::nullopt,
               const std::optional<std::wstring>& caption = std::nullopt);
