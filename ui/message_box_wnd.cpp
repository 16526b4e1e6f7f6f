#include "ui/message_box_wnd.h"

namespace {

std::wstring ClassNameOf(const PromptParams& params) {
  if (!params.className.empty()) return params.className;
  std::wstring name = params.skinFile;
  size_t slash = name.find_last_of(L"\\/");
  if (slash != std::wstring::npos) name.erase(0, slash + 1);
  size_t dot = name.rfind(L'.');
  if (dot != std::wstring::npos) name.resize(dot);
  return name;
}

}  // namespace

CMessageBoxWnd::CMessageBoxWnd(const PromptParams& params)
    : CSkinFrame(params.kind, params.resourceId, params.skinFolder, params.skinFile,
                 ClassNameOf(params)) {}

CMessageBoxWnd::~CMessageBoxWnd() = default;

void CMessageBoxWnd::InitWindow() {
  CSkinFrame::InitWindow();
  SetWindowStyle((GetWindowStyle() & ~(qui::WS_CAPTION | qui::WS_MAXIMIZEBOX)) |
                 qui::WS_CLIPSIBLINGS | qui::WS_CLIPCHILDREN);
  SetWindowExStyle(GetWindowExStyle() & ~qui::WS_EX_TOPMOST);
  okBtn_ = FindControl(L"okBtn");
  cancelBtn_ = FindControl(L"cancelBtn");
  textLbl_ = FindControl(L"textLbl");
  captionLbl_ = FindControl(L"captionLbl");
}

void CMessageBoxWnd::Notify(qui::Notification& msg) { CSkinFrame::Notify(msg); }

void CMessageBoxWnd::OnClick(qui::Notification& msg) {
  if (msg.sender && msg.sender == okBtn_) {
    result_ = kPromptOk;
    Close(1);
  } else if (msg.sender && msg.sender == cancelBtn_) {
    result_ = kPromptCancel;
    Close(1);
  } else {
    result_ = kPromptOther;
    CSkinFrame::OnClick(msg);
  }
}

qui::LRESULT CMessageBoxWnd::HandleMessage(qui::UINT msg, qui::WPARAM wParam, qui::LPARAM lParam) {
  return CSkinFrame::HandleMessage(msg, wParam, lParam);
}

int ShowPrompt(qui::SkinWindowBase* owner, const PromptParams& params,
               const std::optional<std::wstring>& text,
               const std::optional<std::wstring>& caption) {
  CMessageBoxWnd prompt(params);
  if (!prompt.Create(owner, L"消息框", qui::WS_VISIBLE | qui::WS_OVERLAPPEDWINDOW, 0)) {
    return prompt.GetResult();
  }
  if (text) {
    if (qui::Control* label = prompt.FindControl(L"textLbl")) label->SetText(*text);
  }
  if (caption) {
    if (qui::Control* label = prompt.FindControl(L"captionLbl")) label->SetText(*caption);
  }
  prompt.CenterWindow();
  prompt.ShowModal();
  return prompt.GetResult();
}

int ShowPrompt(qui::SkinWindowBase* owner, const std::wstring& skinFile,
               const std::optional<std::wstring>& text,
               const std::optional<std::wstring>& caption) {
  PromptParams params;
  params.skinFile = skinFile;
  return ShowPrompt(owner, params, text, caption);
}
