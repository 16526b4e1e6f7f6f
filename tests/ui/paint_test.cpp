// Painting checked by pixels at known points of the main layout.
#include <cstdlib>

#include "ui/controls.h"
#include "ui_test_support.h"

namespace {

using uitest::PixelAt;
using uitest::RecordingWnd;

// Colour distance, alpha ignored.
int Distance(uint32_t a, uint32_t b) {
  int d = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    d = std::max(d, std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)));
  }
  return d;
}

class PaintTest : public uitest::HeadlessTest {
 protected:
  void SetUp() override {
    uitest::HeadlessTest::SetUp();
    ASSERT_TRUE(wnd_.Create(nullptr, L"t", 0));
  }
  uint32_t At(int x, int y) {
    auto s = wnd_.RenderToSurface();
    return PixelAt(s.get(), x, y);
  }
  RecordingWnd wnd_;
};

TEST_F(PaintTest, BackgroundImageIsPainted) {
  cairo_surface_t* bg = wnd_.GetPaintManager().GetImage(L"res\\mainWnd\\bg1.png");
  ASSERT_NE(bg, nullptr);
  auto shot = wnd_.RenderToSurface();
  for (auto [x, y] : {std::pair{50, 200}, std::pair{580, 300}, std::pair{300, 60}}) {
    SCOPED_TRACE(testing::Message() << x << "," << y);
    EXPECT_LE(Distance(PixelAt(shot.get(), x, y), PixelAt(bg, x, y)), 2);
  }
}

TEST_F(PaintTest, ButtonImageFollowsTheMouseState) {
  wnd_.GetPaintManager().UpdateLayout();
  qui::Rect r = wnd_.FindControl(L"defaultInstallBtn")->GetPos();
  qui::Point probe{r.left + 30, r.top + 25};
  EXPECT_LE(Distance(At(probe.x, probe.y), 0xFF1675FE), 12) << "normal";
  wnd_.HostMouseMove(probe);
  EXPECT_LE(Distance(At(probe.x, probe.y), 0xFF5A9DFD), 12) << "hot";
  wnd_.HostButtonDown(probe);
  EXPECT_LE(Distance(At(probe.x, probe.y), 0xFF1365DB), 12) << "pushed";
  wnd_.HostButtonUp(probe);
  wnd_.HostMouseMove({5, 200});
  EXPECT_LE(Distance(At(probe.x, probe.y), 0xFF1675FE), 12) << "normal again";
  // The white caption is drawn over the image.
  auto shot = wnd_.RenderToSurface();
  int white = 0;
  for (int x = r.left + 60; x < r.right - 60; ++x) {
    for (int y = r.top + 10; y < r.bottom - 10; ++y) {
      if (Distance(PixelAt(shot.get(), x, y), 0xFFFFFFFF) < 40) ++white;
    }
  }
  EXPECT_GT(white, 100);
}

TEST_F(PaintTest, CheckImageFollowsTheSelection) {
  wnd_.GetPaintManager().UpdateLayout();
  auto* cb = wnd_.FindControlAs<qui::CheckBox>(L"treatyCb");
  qui::Rect r = cb->GetPos();
  qui::Point mid{r.left + 2, r.top + 3 + 7};  // inside the box, off the tick
  EXPECT_LE(Distance(At(mid.x, mid.y), 0xFF1675FE), 12) << "ticked";
  cb->Selected(false);
  EXPECT_LE(Distance(At(mid.x, mid.y), 0xFFFFFFFF), 12) << "empty";
  // Text "已同意" right of the box (text padding 26).
  auto shot = wnd_.RenderToSurface();
  int ink = 0;
  for (int x = r.left + 26; x < r.right; ++x) {
    for (int y = r.top; y < r.bottom; ++y) {
      if (Distance(PixelAt(shot.get(), x, y), 0xFF8991AF) < 40) ++ink;
    }
  }
  EXPECT_GT(ink, 20);
}

TEST_F(PaintTest, ProgressFillIsProportionalToTheValue) {
  wnd_.FindControlAs<qui::TabLayout>(L"mainTabLt")->SelectItem(2, false);
  wnd_.GetPaintManager().UpdateLayout();
  auto* prg = wnd_.FindControlAs<qui::Progress>(L"installPrg");
  qui::Rect r = prg->GetPos();
  const uint32_t track = 0xFFDCE6F5;
  int y = r.top + 4;
  struct Case {
    int value;
    double fillTo;  // fraction of the width that must be filled
  } cases[] = {{0, 0.0}, {25, 0.25}, {50, 0.5}, {100, 1.0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "value " << c.value);
    prg->SetValue(c.value);
    EXPECT_EQ(prg->GetValue(), c.value);
    auto shot = wnd_.RenderToSurface();
    for (double f : {0.1, 0.2, 0.4, 0.6, 0.9}) {
      int x = r.left + static_cast<int>(r.Width() * f);
      bool filled = Distance(PixelAt(shot.get(), x, y), track) > 30;
      EXPECT_EQ(filled, f < c.fillTo) << "at " << f;
    }
  }
  prg->SetValue(250);
  EXPECT_EQ(prg->GetValue(), 100);
}

TEST_F(PaintTest, MissingImageLeavesTheControlWithoutIt) {
  wnd_.GetPaintManager().UpdateLayout();
  auto* bg = wnd_.FindControl(L"winCtn");
  uint32_t before = At(50, 200);
  bg->SetBkImage(L"res\\mainWnd\\nothing.png");
  EXPECT_EQ(At(50, 200), 0xFFFFFFFFu);  // the white canvas shows through
  bg->SetBkImage(L"res/mainWnd/bg4.png");
  EXPECT_LE(Distance(At(50, 200), before), 2);
}

}  // namespace
