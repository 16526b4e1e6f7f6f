#include "ui/skin_frame.h"

namespace qui {

CSkinFrame::~CSkinFrame() = default;

void CSkinFrame::InitWindow() {
  SetWindowStyle(GetWindowStyle() & ~(WS_CAPTION | WS_MAXIMIZEBOX));
  auto shadow = std::make_unique<CShadowWnd>();
  shadow->ReadAttributes(GetPaintManager().GetWindowAttributes().all);
  shadow->Create(this);
  shadow_ = std::move(shadow);
}

LRESULT CSkinFrame::MessageFilter(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) {
  if (msg == WM_KEYDOWN && wParam == VK_ESCAPE) {
    handled = true;
    return 0;
  }
  return SkinWindowBase::MessageFilter(msg, wParam, lParam, handled);
}

LRESULT CSkinFrame::OnSysCommand(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) {
  return SkinWindowBase::OnSysCommand(msg, wParam, lParam, handled);
}

}  // namespace qui
