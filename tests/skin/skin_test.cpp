// The built skin: archive lookups and the main layout's tree.
#include <gtest/gtest.h>

#include <cwchar>

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
  MainLayoutWnd()
      : CSkinFrame(qui::ResourceKind::kArchiveResource, qui::kSkinResourceId, L"", L"MainWnd.xml",
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

}  // namespace
