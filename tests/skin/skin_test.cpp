// The built skin: archive lookups and the main layout's tree.
#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <iterator>
#include <vector>

#include "skin/embedded_skin.h"
#include "ui/sequence_controls.h"
#include "ui/skin_archive.h"
#include "ui/skin_frame.h"
#include "ui/toolkit.h"

namespace {

class SkinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(qui::Toolkit::Initialize(qui::HostKind::kHeadless));
    skin::RegisterEmbeddedSkin();
  }
};

class MainLayoutWnd : public qui::CSkinFrame {
 public:
  explicit MainLayoutWnd(const wchar_t* file = L"MainWnd.xml")
      : CSkinFrame(qui::ResourceKind::kArchiveResource, qui::kSkinResourceId, L"", file,
                   L"MainWnd") {}
  std::unique_ptr<qui::Control> CreateControl(const std::wstring& tag) override {
    if (qui::EqualsNoCase(tag, L"SequenceLabel")) return std::make_unique<qui::CSequenceLabelUI>();
    return nullptr;
  }
};

TEST_F(SkinTest, ArchiveLookupsIgnoreCaseAndAcceptBothSlashes) {
  auto archive = qui::SkinArchive::FromResource(qui::kSkinResourceId);
  ASSERT_NE(archive, nullptr);
  EXPECT_GE(archive->GetCount(), 95u);
  struct Case {
    const wchar_t* path;
    bool found;
  } cases[] = {
      {L"mainWnd.xml", true},
      {L"MainWnd.xml", true},
      {L"ExitTipWnd.xml", true},
      {L"res\\mainWnd\\bg1.png", true},
      {L"res/mainWnd/chDirBtn1.png", true},
      {L"RES\\MAINWND\\INSTALLBTNANIMATE\\059.PNG", true},
      {L"res\\mainWnd\\installBtnAnimate\\060.png", false},
      {L"res\\mainWnd\\installPrg3.png", false},
      {L"", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::string(c.path, c.path + wcslen(c.path)));
    EXPECT_EQ(archive->Find(c.path) != nullptr, c.found);
  }
  // Every frame and layout is there and non-empty.
  for (const wchar_t* name : {L"exitTipWnd.xml", L"InstalledPathTipWnd.xml", L"MessageBox1Wnd.xml",
                              L"MessageBox2Wnd.xml", L"NetworkTipWnd.xml"}) {
    const std::string* bytes = archive->Find(name);
    ASSERT_NE(bytes, nullptr);
    EXPECT_NE(bytes->find("<Window"), std::string::npos);
  }
  // PNG signature of an image.
  const std::string* png = archive->Find(L"res\\common\\closebtnM_3.png");
  ASSERT_NE(png, nullptr);
  EXPECT_EQ(png->substr(1, 3), "PNG");
}

TEST_F(SkinTest, ArchiveFromBrokenBytesFails) {
  std::string error;
  const char junk[] = "this is not an archive";
  EXPECT_EQ(qui::SkinArchive::OpenFromMemory(junk, sizeof(junk), &error), nullptr);
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(qui::SkinArchive::OpenFromMemory(nullptr, 0, &error), nullptr);
}

TEST_F(SkinTest, MainLayoutTreeHasKeyControlsAtTheirPlaces) {
  MainLayoutWnd wnd;
  ASSERT_TRUE(wnd.Create(nullptr, L"Quillon助手", qui::WS_OVERLAPPEDWINDOW));
  wnd.GetPaintManager().UpdateLayout();
  EXPECT_EQ(wnd.GetWindowClassName(), L"MainWnd");
  EXPECT_EQ(wnd.GetWindowRect().Width(), 600);
  EXPECT_EQ(wnd.GetWindowRect().Height(), 400);

  auto* install = wnd.FindControlAs<qui::Button>(L"defaultInstallBtn");
  ASSERT_NE(install, nullptr);
  qui::Rect r = install->GetPos();
  EXPECT_EQ(r.Width(), 234);
  EXPECT_EQ(r.Height(), 50);
  EXPECT_NEAR(r.left + r.Width() / 2.0, 300, 1.0);  // centred in the window
  EXPECT_EQ(install->GetText(), L"立即安装");

  auto* tabs = wnd.FindControlAs<qui::TabLayout>(L"mainTabLt");
  ASSERT_NE(tabs, nullptr);
  EXPECT_EQ(tabs->GetCount(), 4);
  EXPECT_EQ(tabs->GetCurSel(), 0);

  // Page 2: the progress bar and the animation.
  tabs->SelectItem(2, false);
  wnd.GetPaintManager().UpdateLayout();
  auto* prg = wnd.FindControlAs<qui::Progress>(L"installPrg");
  ASSERT_NE(prg, nullptr);
  EXPECT_EQ(prg->GetPos().Width(), 520);
  EXPECT_EQ(prg->GetPos().Height(), 8);
  EXPECT_NEAR(prg->GetPos().left + 260, 300, 1);
  auto* anim = wnd.FindControlAs<qui::CSequenceLabelUI>(L"progressAnLb");
  ASSERT_NE(anim, nullptr);
  EXPECT_EQ(anim->GetSequenceCount(), 60);
  EXPECT_EQ(anim->GetSequenceSpan(), 30);
  EXPECT_FALSE(anim->IsBackAndForth());
  EXPECT_TRUE(anim->IsRunning());  // autostart
  EXPECT_EQ(anim->GetPos().Width(), 200);

  struct Named {
    const wchar_t* name;
    const wchar_t* cls;
  } named[] = {{L"winCtn", L"VerticalLayout"},
               {L"titleTabLt", L"TabLayout"},
               {L"titleGrpCtn", L"HorizontalLayout"},
               {L"treatyCb", L"CheckBox"},
               {L"treatyBtn", L"CheckBox"},
               {L"customeBtn", L"Button"},
               {L"tipLbl", L"Label"},
               {L"backBtn", L"Button"},
               {L"installDirEdit", L"Edit"},
               {L"chDirBtn", L"Button"},
               {L"createDSCb", L"CheckBox"},
               {L"createQSCb", L"CheckBox"},
               {L"customeInstallBtn", L"Button"},
               {L"progressLb", L"Label"},
               {L"openProduceBtn", L"Button"},
               {L"minbtn", L"Button"},
               {L"closebtn", L"Button"}};
  for (const auto& n : named) {
    SCOPED_TRACE(testing::Message() << n.cls);
    qui::Control* c = wnd.FindControl(n.name);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->GetClass(), n.cls);
  }
  EXPECT_FALSE(wnd.FindControl(L"tipLbl")->IsVisible());
  EXPECT_TRUE(wnd.FindControlAs<qui::CheckBox>(L"treatyCb")->IsSelected());
  EXPECT_TRUE(wnd.FindControlAs<qui::CheckBox>(L"createQSCb")->IsSelected());
}

TEST_F(SkinTest, EveryLayoutBuildsAtItsSize) {
  struct Case {
    const wchar_t* file;
    int width, height;
  } cases[] = {{L"ExitTipWnd.xml", 360, 180},
               {L"InstalledPathTipWnd.xml", 400, 180},
               {L"MessageBox1Wnd.xml", 360, 180},
               {L"MessageBox2Wnd.xml", 360, 180},
               {L"NetworkTipWnd.xml", 360, 180}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width);
    qui::CSkinFrame wnd(qui::ResourceKind::kArchiveResource, qui::kSkinResourceId, L"", c.file,
                        L"Prompt");
    ASSERT_TRUE(wnd.Create(nullptr, L"t", 0));
    EXPECT_EQ(wnd.GetWindowRect().Width(), c.width);
    EXPECT_EQ(wnd.GetWindowRect().Height(), c.height);
    EXPECT_NE(wnd.FindControl(L"closebtn"), nullptr);
    ASSERT_NE(wnd.GetShadow(), nullptr);
    EXPECT_TRUE(wnd.GetShadow()->IsEnabled());
    EXPECT_EQ(wnd.GetShadow()->GetSize(), 6);
  }
}

// Every text in the tree, in tree order.
void CollectTexts(qui::Control* c, std::vector<std::wstring>& out) {
  if (!c) return;
  if (!c->GetText().empty()) out.push_back(c->GetText());
  if (auto* box = dynamic_cast<qui::Container*>(c)) {
    for (int i = 0; i < box->GetCount(); ++i) CollectTexts(box->GetItemAt(i), out);
  }
}

std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

TEST_F(SkinTest, WindowElementsOfTheSixLayouts) {
  struct Case {
    const wchar_t* file;
    int width, height, caption, roundX, roundY;
    int shadowSize, sharpness, darkness;
    qui::Color shadowColor;
    std::vector<std::pair<int, int>> fonts;  // id, size
  } cases[] = {
      {L"MainWnd.xml",
       600,
       400,
       35,
       1,
       0,
       6,
       10,
       20,
       0x26003B76,
       {{0, 14}, {1, 18}, {2, 14}, {3, 12}, {4, 24}, {5, 32}, {6, 16}}},
      {L"ExitTipWnd.xml",
       360,
       180,
       30,
       2,
       2,
       6,
       10,
       20,
       0x26003B76,
       {{0, 14}, {1, 16}, {2, 14}, {3, 14}, {4, 12}, {5, 30}}},
      {L"InstalledPathTipWnd.xml", 400, 180, 30, 1, 0, 6, 10, 10, 0xFFEDF0F4, {{0, 16}, {1, 16}}},
      {L"MessageBox1Wnd.xml", 360, 180, 30, 2, 2, 6, 10, 20, 0x26003B76, {{0, 14}, {1, 16}}},
      {L"MessageBox2Wnd.xml", 360, 180, 30, 2, 2, 6, 10, 20, 0x26003B76, {{0, 14}, {1, 14}}},
      {L"NetworkTipWnd.xml", 360, 180, 30, 2, 2, 6, 10, 20, 0x26003B76, {{0, 14}, {1, 14}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Narrow(c.file));
    MainLayoutWnd wnd(c.file);
    ASSERT_TRUE(wnd.Create(nullptr, L"t", 0));
    EXPECT_EQ(wnd.GetWindowRect().Width(), c.width);
    EXPECT_EQ(wnd.GetWindowRect().Height(), c.height);
    const qui::WindowAttributes& wa = wnd.GetPaintManager().GetWindowAttributes();
    EXPECT_EQ(wa.caption.bottom, c.caption);
    EXPECT_EQ(wa.roundCorner.cx, c.roundX);
    EXPECT_EQ(wa.roundCorner.cy, c.roundY);
    const qui::CShadowWnd* shadow = wnd.GetShadow();
    ASSERT_NE(shadow, nullptr);
    EXPECT_TRUE(shadow->IsEnabled());
    EXPECT_EQ(shadow->GetSize(), c.shadowSize);
    EXPECT_EQ(shadow->GetSharpness(), c.sharpness);
    EXPECT_EQ(shadow->GetDarkness(), c.darkness);
    EXPECT_EQ(shadow->GetPosition().x, 1);
    EXPECT_EQ(shadow->GetPosition().y, 1);
    EXPECT_EQ(shadow->GetColor(), c.shadowColor);
    for (auto [id, size] : c.fonts) {
      EXPECT_EQ(wnd.GetPaintManager().GetFont(id).size, size) << "font " << id;
      EXPECT_EQ(wnd.GetPaintManager().GetFont(id).face, L"微软雅黑") << "font " << id;
    }
    if (c.fonts.size() == 6) {
      EXPECT_TRUE(wnd.GetPaintManager().GetFont(3).underline);
    }
    EXPECT_NE(wnd.FindControl(L"closebtn"), nullptr);
  }
  // The shadow colour reads the same with and without its "#".
  qui::CShadowWnd a, b;
  a.ReadAttributes({{L"shadowcolor", L"#26003B76"}});
  b.ReadAttributes({{L"shadowcolor", L"26003B76"}});
  EXPECT_EQ(a.GetColor(), 0x26003B76u);
  EXPECT_EQ(b.GetColor(), a.GetColor());
}

TEST_F(SkinTest, MainLayoutPagesPlaceTheirControlsAndTexts) {
  MainLayoutWnd wnd;
  ASSERT_TRUE(wnd.Create(nullptr, L"t", 0));
  qui::PaintManager& pm = wnd.GetPaintManager();
  auto* tabs = wnd.FindControlAs<qui::TabLayout>(L"mainTabLt");
  ASSERT_NE(tabs, nullptr);
  struct Placed {
    int page;
    const wchar_t* name;
    qui::Rect pos;
    const wchar_t* text;
  } placed[] = {
      {0, L"minbtn", {514, 12, 538, 36}, L""},
      {0, L"closebtn", {562, 12, 586, 36}, L""},
      {0, L"defaultInstallBtn", {183, 224, 417, 274}, L"立即安装"},
      {0, L"treatyCb", {21, 362, 89, 380}, L"已同意"},
      {0, L"treatyBtn", {89, 362, 0, 380}, L"《用户许可协议》"},
      {0, L"customeBtn", {489, 362, 589, 380}, L"自定义安装"},  // 20 high in a row of 18
      {1, L"installDirEdit", {129, 188, 469, 224}, L""},
      {1, L"chDirBtn", {479, 188, 560, 224}, L"修改"},
      {1, L"createDSCb", {125, 244, 263, 262}, L"创建桌面快捷方式"},
      {1, L"createQSCb", {283, 244, 421, 262}, L"添加到快速启动栏"},
      {1, L"customeInstallBtn", {183, 311, 417, 361}, L"立即安装"},
      {1, L"backBtn", {10, 11, 74, 41}, L""},
      {2, L"progressAnLb", {200, 78, 400, 278}, L""},
      {2, L"progressLb", {120, 300, 480, 326}, L"正在安装中:0%，请稍候..."},
      {2, L"installPrg", {40, 346, 560, 354}, L""},
      {3, L"openProduceBtn", {183, 296, 417, 346}, L"立即体验"},
  };
  for (const auto& p : placed) {
    SCOPED_TRACE(Narrow(p.name));
    tabs->SelectItem(p.page, false);
    if (p.page == 1) wnd.FindControlAs<qui::TabLayout>(L"titleTabLt")->SelectItem(1, false);
    pm.UpdateLayout();
    qui::Control* c = wnd.FindControl(p.name);
    ASSERT_NE(c, nullptr);
    qui::Rect r = c->GetPos();
    EXPECT_EQ(r.left, p.pos.left);
    EXPECT_EQ(r.top, p.pos.top);
    if (p.pos.right) {
      EXPECT_EQ(r.right, p.pos.right);
    }
    EXPECT_EQ(r.bottom, p.pos.bottom);
    EXPECT_EQ(c->GetText(), p.text);
    EXPECT_TRUE(c->IsReallyVisible());  // the selected page is shown
  }
  // Page texts without names.
  std::vector<std::wstring> texts;
  CollectTexts(wnd.GetRoot(), texts);
  for (const wchar_t* t : {L"安装路径：", L"其他选项：", L"安装完成"}) {
    EXPECT_NE(std::find(texts.begin(), texts.end(), t), texts.end()) << Narrow(t);
  }
  tabs->SelectItem(0, false);
  pm.UpdateLayout();
  EXPECT_FALSE(wnd.FindControl(L"installPrg")->IsReallyVisible());
  // The hint appears in its row above the agreement when shown.
  qui::Control* tip = wnd.FindControl(L"tipLbl");
  tip->SetVisible(true);
  pm.UpdateLayout();
  EXPECT_EQ(tip->GetPos().left, 11);
  EXPECT_EQ(tip->GetPos().top, 326);
  EXPECT_EQ(tip->GetPos().Width(), 116);
  EXPECT_EQ(tip->GetPos().Height(), 32);
  EXPECT_EQ(tip->GetBkImage(), L"res\\mainWnd\\tipLbl.png");
  EXPECT_EQ(wnd.FindControl(L"winCtn")->GetBkImage(), L"res\\mainWnd\\bg1.png");
}

TEST_F(SkinTest, FixedPromptsCarryTheirTextsAndButtons) {
  struct Case {
    const wchar_t* file;
    std::vector<std::wstring> texts;  // in tree order
    const wchar_t* ok;
    const wchar_t* cancel;
  } cases[] = {
      {L"InstalledPathTipWnd.xml",
       {L"温馨提示", L"检测到计算机中已存在此软件，是否为您更新为最新版本？", L"打开软件",
        L"安装最新版本"},
       L"安装最新版本",
       L"打开软件"},
      {L"NetworkTipWnd.xml",
       {L"温馨提示", L"当前网络环境较差，请在网络通畅时进行重试", L"稍后再试", L"重新安装"},
       L"重新安装",
       L"稍后再试"},
      {L"ExitTipWnd.xml", {L"温馨提示", L"您确定要退出安装吗？", L"是", L"否"}, L"是", L"否"},
      {L"MessageBox1Wnd.xml", {L"CAPTION", L"TEXT"}, nullptr, nullptr},
      {L"MessageBox2Wnd.xml", {L"CAPTION", L"TEXT"}, nullptr, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Narrow(c.file));
    MainLayoutWnd wnd(c.file);
    ASSERT_TRUE(wnd.Create(nullptr, L"t", 0));
    std::vector<std::wstring> texts;
    CollectTexts(wnd.GetRoot(), texts);
    EXPECT_EQ(texts, c.texts);
    qui::Control* ok = wnd.FindControl(L"okBtn");
    qui::Control* cancel = wnd.FindControl(L"cancelBtn");
    if (c.ok) {
      ASSERT_TRUE(ok && cancel);
      EXPECT_EQ(ok->GetText(), c.ok);
      EXPECT_EQ(cancel->GetText(), c.cancel);
    } else {
      EXPECT_FALSE(ok || cancel);
      EXPECT_NE(wnd.FindControl(L"captionLbl"), nullptr);
      EXPECT_NE(wnd.FindControl(L"textLbl"), nullptr);
    }
    auto* close = wnd.FindControlAs<qui::Button>(L"closebtn");
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(close->GetNormalImage(), L"res\\common\\closebtnM_1.png");
    wnd.GetPaintManager().UpdateLayout();
    EXPECT_EQ(close->GetPos().Width(), 24);
    EXPECT_EQ(close->GetPos().Height(), 24);
  }
}

TEST_F(SkinTest, EveryImageDecodesAtItsListedSize) {
  struct Group {
    std::wstring prefix;
    std::vector<std::wstring> names;
    int width, height;
  } groups[] = {
      {L"res\\common\\",
       {L"minbtn1", L"minbtn2", L"minbtn3", L"closebtn1", L"closebtn2", L"closebtn3",
        L"closebtnM_1", L"closebtnM_2", L"closebtnM_3"},
       24,
       24},
      {L"res\\mainWnd\\", {L"bg1", L"bg2", L"bg3", L"bg4"}, 600, 400},
      {L"res\\mainWnd\\", {L"logo"}, 348, 70},
      {L"res\\mainWnd\\", {L"installBtn1", L"installBtn2", L"installBtn3"}, 200, 46},
      {L"res\\mainWnd\\", {L"backBtn1", L"backBtn2", L"backBtn3"}, 64, 30},
      {L"res\\mainWnd\\", {L"Cb1", L"Cb2"}, 15, 14},
      {L"res\\mainWnd\\", {L"customeBtn1", L"customeBtn2"}, 16, 16},
      {L"res\\mainWnd\\", {L"tipLbl"}, 120, 36},
      {L"res\\mainWnd\\", {L"installDirEdit"}, 340, 36},
      {L"res\\mainWnd\\", {L"chDirBtn1", L"chDirBtn2", L"chDirBtn3"}, 80, 36},
      {L"res\\mainWnd\\", {L"installPrg1", L"installPrg2"}, 520, 8},
      {L"res\\mainWnd\\", {L"finished"}, 80, 80},
      {L"res\\MessageBoxWnd\\", {L"icoWarn", L"icoNetwork", L"icoQuest"}, 40, 40},
      {L"res\\mainWnd\\installBtnAnimate\\", {}, 200, 200},
  };
  for (int f = 0; f < 60; ++f) {
    wchar_t name[8];
    std::swprintf(name, 8, L"%03d", f);
    groups[std::size(groups) - 1].names.push_back(name);
  }
  MainLayoutWnd wnd;
  ASSERT_TRUE(wnd.Create(nullptr, L"t", 0));
  size_t images = 0;
  for (const auto& g : groups) {
    for (const auto& n : g.names) {
      std::wstring path = g.prefix + n + L".png";
      SCOPED_TRACE(Narrow(path));
      cairo_surface_t* image = wnd.GetPaintManager().GetImage(path);
      ASSERT_NE(image, nullptr);
      EXPECT_EQ(cairo_image_surface_get_width(image), g.width);
      EXPECT_EQ(cairo_image_surface_get_height(image), g.height);
      ++images;
    }
  }
  EXPECT_EQ(images, 95u);
  auto archive = qui::SkinArchive::FromResource(qui::kSkinResourceId);
  ASSERT_NE(archive, nullptr);
  EXPECT_EQ(archive->GetCount(), 101u);  // the images and the six layouts, nothing else
  // A ring frame keeps its look: the blue arc at the top of frame 45 (the
  // arcs start at 0 and turn 6 degrees a frame) and the white glyph.
  cairo_surface_t* frame =
      wnd.GetPaintManager().GetImage(L"res\\mainWnd\\installBtnAnimate\\045.png");
  ASSERT_NE(frame, nullptr);
  cairo_surface_flush(frame);
  auto at = [&](int x, int y) {
    const unsigned char* row =
        cairo_image_surface_get_data(frame) + y * cairo_image_surface_get_stride(frame);
    return reinterpret_cast<const uint32_t*>(row)[x];
  };
  EXPECT_EQ(at(100, 16) >> 24, 0xFFu);            // the leading arc, opaque
  EXPECT_EQ(at(100, 16) & 0xFFFFFFu, 0x1775FFu);  // in the mark's blue
  EXPECT_EQ(at(2, 2), 0u);                        // transparent corner
  EXPECT_EQ(at(100, 67), 0xFF1775FFu);            // the mark's top edge
}

}  // namespace
