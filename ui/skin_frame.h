// CSkinFrame: the skinned window base of every installer window.
//
// How to write a window
// ---------------------
//   #include "ui/skin_frame.h"
//
//   class CMyWnd : public qui::CSkinFrame {
//    public:
//     CMyWnd() : CSkinFrame(qui::ResourceKind::kArchiveResource, qui::kSkinResourceId, L"",
//                           L"MyWnd.xml", L"MyWnd") {}
//     void InitWindow() override {
//       CSkinFrame::InitWindow();                  // style and drop shadow
//       okBtn_ = FindControlAs<qui::Button>(L"okBtn");  // null when absent
//     }
//     void Notify(qui::Notification& msg) override {
//       if (msg.type == L"selectchanged") { ... }
//       CSkinFrame::Notify(msg);                   // "click" -> OnClick
//     }
//     void OnClick(qui::Notification& msg) override {
//       if (msg.sender == okBtn_) return Close(1);  // posts WM_CLOSE, wParam 1
//       CSkinFrame::OnClick(msg);                  // closebtn/minbtn/maxbtn/restorebtn
//     }
//     qui::LRESULT HandleCustomMessage(qui::UINT msg, qui::WPARAM w, qui::LPARAM l,
//                                      bool& handled) override {
//       if (msg == qui::WM_USER + 1000) { handled = true; ...; return 0; }
//       return CSkinFrame::HandleCustomMessage(msg, w, l, handled);
//     }
//     std::unique_ptr<qui::Control> CreateControl(const std::wstring& tag) override {
//       if (EqualsNoCase(tag, L"SequenceLabel")) return std::make_unique<qui::CSequenceLabelUI>();
//       return nullptr;                            // the toolkit builds what it knows
//     }
//   };
//
//   qui::Toolkit::Initialize();               // once per process (ui/toolkit.h)
//   skin::RegisterEmbeddedSkin();             // the "ZIPRES" 147 / icon 145 resources
//   CMyWnd wnd;
//   if (wnd.Create(nullptr, L"Title", qui::WS_VISIBLE | qui::WS_OVERLAPPEDWINDOW)) {
//     wnd.CenterWindow();
//     qui::UINT result = wnd.ShowModal();     // wParam of the closing WM_CLOSE
//   }
//
// Worker threads talk to the window only through PostMessage (any thread)
// and GetPaintManager().SendNotify(sender, type, wParam, 0, /*async=*/true).
// Controls are found by layout name; a missing control is null.
//
// Tests drive windows without a display through the headless host
// (QUILLON_HEADLESS=1 or Toolkit::Initialize(HostKind::kHeadless)):
// ClickControlForTesting("okBtn"), PressKeyForTesting(VK_ESCAPE),
// AnswerNextPromptForTesting("cancelBtn") before code that shows a prompt,
// SetFolderPickerForTesting, SavePng("shot.png").
#pragma once

#include <memory>
#include <string>

#include "ui/resources.h"
#include "ui/shadow_wnd.h"
#include "ui/skin_window.h"

namespace qui {

class CSkinFrame : public SkinWindowBase {
 public:
  using SkinWindowBase::SkinWindowBase;
  ~CSkinFrame() override;

  // Base initialisation: removes WS_CAPTION and WS_MAXIMIZEBOX from the
  // style, reads the layout Window element's shadow attributes ("showshadow",
  // "shadowsize", "shadowsharpness", "shadowdarkness", "shadowposition",
  // "shadowcolor", "shadowimage", "shadowcorner") and sets up the shadow.
  void InitWindow() override;
  // Swallows the key-down of Escape.
  LRESULT MessageFilter(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;
  LRESULT OnSysCommand(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;

  // Null until InitWindow read the attributes.
  CShadowWnd* GetShadow() const { return shadow_.get(); }

 private:
  std::unique_ptr<CShadowWnd> shadow_;
};

}  // namespace qui
