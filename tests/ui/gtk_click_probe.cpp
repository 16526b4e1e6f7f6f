// Run under Xvfb by the ui_xvfb_click test: opens the main layout in a real
// GTK window, clicks "defaultInstallBtn" with xdotool, checks that OnClick
// got it, and saves a screenshot of the screen.
//   gtk_click_probe <screenshot.png>
#include <gtk/gtk.h>

#include <cstdio>
#include <string>

#include "skin/embedded_skin.h"
#include "ui/sequence_controls.h"
#include "ui/skin_frame.h"
#include "ui/toolkit.h"

namespace {

class ProbeWnd : public qui::CSkinFrame {
 public:
  ProbeWnd()
      : CSkinFrame(qui::ResourceKind::kArchiveResource, qui::kSkinResourceId, L"", L"MainWnd.xml",
                   L"MainWnd") {}
  std::unique_ptr<qui::Control> CreateControl(const std::wstring& tag) override {
    if (qui::EqualsNoCase(tag, L"SequenceLabel")) return std::make_unique<qui::CSequenceLabelUI>();
    return nullptr;
  }
  void OnClick(qui::Notification& msg) override {
    if (msg.sender->GetName() == L"defaultInstallBtn") {
      std::printf("OnClick defaultInstallBtn\n");
      std::string cmd = "import -window root '" + screenshot + "'";
      int status = 0;
      g_spawn_command_line_sync(cmd.c_str(), nullptr, nullptr, &status, nullptr);
      shot = status == 0;
      Close(7);
      return;
    }
    CSkinFrame::OnClick(msg);
  }
  qui::LRESULT HandleCustomMessage(qui::UINT msg, qui::WPARAM w, qui::LPARAM l,
                                   bool& handled) override {
    if (msg == qui::WM_TIMER && w == 1) {  // give up
      handled = true;
      Close(99);
      return 0;
    }
    if (msg == qui::WM_TIMER && w == 2) {  // the window is up: click
      handled = true;
      KillTimer(2);
      CheckWindow();
      qui::Rect win = GetWindowRect();
      qui::Rect btn = FindControl(L"defaultInstallBtn")->GetPos();
      std::string cmd = "xdotool mousemove --sync " + std::to_string(win.left + btn.Center().x) +
                        " " + std::to_string(win.top + btn.Center().y) + " click 1";
      g_spawn_command_line_async(cmd.c_str(), nullptr);
      return 0;
    }
    return CSkinFrame::HandleCustomMessage(msg, w, l, handled);
  }
  void CheckWindow() {
    for (GList* l = gtk_window_list_toplevels(); l; l = l->next) {
      GtkWindow* w = GTK_WINDOW(l->data);
      if (!gtk_widget_get_visible(GTK_WIDGET(w))) continue;
      GdkWindow* gdk = gtk_widget_get_window(GTK_WIDGET(w));
      if (!gdk) continue;
      int x, y, width, height;
      gdk_window_get_geometry(gdk, &x, &y, &width, &height);
      std::printf("window %dx%d decorated=%d\n", width, height, gtk_window_get_decorated(w));
      geometryOk = width == 600 && height == 400 && !gtk_window_get_decorated(w);
    }
  }
  std::string screenshot;
  bool shot = false;
  bool geometryOk = false;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  if (!qui::Toolkit::Initialize(qui::HostKind::kGtk)) {
    std::fprintf(stderr, "no display\n");
    return 1;
  }
  std::printf("composited=%d\n", qui::Toolkit::IsComposited());
  skin::RegisterEmbeddedSkin();
  ProbeWnd wnd;
  wnd.screenshot = argv[1];
  if (!wnd.Create(nullptr, L"Quillon助手", qui::WS_VISIBLE | qui::WS_OVERLAPPEDWINDOW)) return 3;
  wnd.SetIcon(qui::kIconResourceId);
  wnd.CenterWindow();
  wnd.SetTimer(1, 20000);
  wnd.SetTimer(2, 800);
  qui::UINT result = wnd.ShowModal();
  std::printf("result=%u geometry=%d screenshot=%d\n", result, wnd.geometryOk, wnd.shot);
  return result == 7 && wnd.geometryOk && wnd.shot ? 0 : 4;
}
