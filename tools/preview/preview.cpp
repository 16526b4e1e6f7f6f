// Renders skin layouts to PNG through the headless host, for designers.
//
//   preview [--skin FOLDER] [--out FOLDER] [LAYOUT.xml ...]
//
// Without layouts every layout of the skin is rendered, and the main layout
// once per page of "mainTabLt" (mainWnd_page0.png ... mainWnd_page3.png).
// --skin reads an unpacked skin folder (layouts and res/) instead of the
// skin built into this program, so a changed picture or layout can be seen
// without rebuilding.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "skin/embedded_skin.h"
#include "ui/sequence_controls.h"
#include "ui/skin_frame.h"
#include "ui/toolkit.h"
#include "utils/text.h"

namespace {

const char* const kLayouts[] = {
    "mainWnd.xml",        "exitTipWnd.xml",     "InstalledPathTipWnd.xml",
    "MessageBox1Wnd.xml", "MessageBox2Wnd.xml", "NetworkTipWnd.xml"};

class PreviewWnd : public qui::CSkinFrame {
 public:
  PreviewWnd(qui::ResourceKind kind, const std::wstring& folder, const std::wstring& file)
      : CSkinFrame(kind, qui::kSkinResourceId, folder, file, L"Preview") {}
  std::unique_ptr<qui::Control> CreateControl(const std::wstring& tag) override {
    if (qui::EqualsNoCase(tag, L"SequenceLabel")) return std::make_unique<qui::CSequenceLabelUI>();
    if (qui::EqualsNoCase(tag, L"SequenceButton"))
      return std::make_unique<qui::CSequenceButtonUI>();
    return nullptr;
  }
};

// Shows the first frame of every animation, as the first timer tick would.
void FirstFrames(qui::Control* control) {
  if (!control) return;
  if (dynamic_cast<qui::CSequenceLabelUI*>(control) ||
      dynamic_cast<qui::CSequenceButtonUI*>(control)) {
    qui::EventArgs tick;
    tick.type = qui::EventType::kTimer;
    tick.wParam = qui::kAnimationTimerId;
    control->DoEvent(tick);
  }
  if (auto* c = dynamic_cast<qui::Container*>(control)) {
    for (int i = 0; i < c->GetCount(); ++i) FirstFrames(c->GetItemAt(i));
  }
}

bool Render(qui::ResourceKind kind, const std::wstring& folder, const std::string& layout,
            const std::string& out) {
  std::wstring file = Utils::MultiByteToWide(layout, Utils::kCodePageUtf8);
  PreviewWnd wnd(kind, folder, file);
  if (!wnd.Create(nullptr, L"preview", 0)) {
    std::fprintf(stderr, "preview: cannot build %s\n", layout.c_str());
    return false;
  }
  FirstFrames(wnd.GetRoot());
  std::string stem = layout.substr(0, layout.rfind('.'));
  bool ok = true;
  std::vector<std::string> written;
  if (auto* tabs = wnd.FindControlAs<qui::TabLayout>(L"mainTabLt")) {
    // A job under way on the progress page.
    if (auto* progress = wnd.FindControlAs<qui::Progress>(L"installPrg")) progress->SetValue(45);
    if (qui::Control* text = wnd.FindControl(L"progressLb")) {
      text->SetText(L"正在安装中:45%，请稍候...");
    }
    // A folder in the edit box, to see its text padding.
    if (qui::Control* dir = wnd.FindControl(L"installDirEdit")) {
      dir->SetText(L"/home/user/.local/share/Quillon");
    }
    std::wstring firstBackground;
    if (qui::Control* bg = wnd.FindControl(L"winCtn")) firstBackground = bg->GetBkImage();
    for (int page = 0; page < tabs->GetCount(); ++page) {
      tabs->SelectItem(page, false);
      // What the installer window shows on each page: its background, the
      // back button on page 1 only, no minimise and close during the job.
      if (auto* title = wnd.FindControlAs<qui::TabLayout>(L"titleTabLt")) {
        if (page != 2) title->SelectItem(page == 3 ? 2 : 1, false);
      }
      if (qui::Control* back = wnd.FindControl(L"backBtn")) back->SetVisible(page == 1);
      if (qui::Control* group = wnd.FindControl(L"titleGrpCtn")) group->SetVisible(page != 2);
      if (qui::Control* bg = wnd.FindControl(L"winCtn")) {
        bg->SetBkImage(L"res\\mainWnd\\bg" + std::to_wstring(page + 1) + L".png");
      }
      std::string path = out + "/" + stem + "_page" + std::to_string(page) + ".png";
      ok = wnd.SavePng(path) && ok;
      written.push_back(path);
    }
    tabs->SelectItem(0, false);
    // The layout as built for the plain picture.
    if (auto* title = wnd.FindControlAs<qui::TabLayout>(L"titleTabLt")) title->SelectItem(0, false);
    if (qui::Control* back = wnd.FindControl(L"backBtn")) back->SetVisible(true);
    if (qui::Control* group = wnd.FindControl(L"titleGrpCtn")) group->SetVisible(true);
    if (qui::Control* bg = wnd.FindControl(L"winCtn")) bg->SetBkImage(firstBackground);
  }
  std::string path = out + "/" + stem + ".png";
  ok = wnd.SavePng(path) && ok;
  written.push_back(path);
  for (const auto& p : written) std::printf("%s\n", p.c_str());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  std::string out = ".";
  std::string skinFolder;
  std::vector<std::string> layouts;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--out") == 0 && i + 1 < argc) {
      out = argv[++i];
    } else if (std::strcmp(argv[i], "--skin") == 0 && i + 1 < argc) {
      skinFolder = argv[++i];
    } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::printf("usage: preview [--skin FOLDER] [--out FOLDER] [LAYOUT.xml ...]\n");
      return 0;
    } else {
      layouts.push_back(argv[i]);
    }
  }
  if (layouts.empty()) layouts.assign(std::begin(kLayouts), std::end(kLayouts));
  std::error_code ec;
  std::filesystem::create_directories(out, ec);
  if (!qui::Toolkit::Initialize(qui::HostKind::kHeadless)) return 1;
  skin::RegisterEmbeddedSkin();
  qui::ResourceKind kind =
      skinFolder.empty() ? qui::ResourceKind::kArchiveResource : qui::ResourceKind::kFile;
  std::wstring folder = Utils::MultiByteToWide(skinFolder, Utils::kCodePageUtf8);
  int failures = 0;
  for (const auto& layout : layouts) {
    if (!Render(kind, folder, layout, out)) ++failures;
  }
  return failures == 0 ? 0 : 1;
}
