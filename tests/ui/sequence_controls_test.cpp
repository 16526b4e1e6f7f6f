// Image-sequence controls: frame orders, attribute rules, idle cases.
#include "ui/sequence_controls.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "ui_test_support.h"

namespace {

namespace fs = std::filesystem;

class SequenceTest : public uitest::HeadlessTest {
 protected:
  void SetUp() override {
    uitest::HeadlessTest::SetUp();
    dir_ = fs::temp_directory_path() / ("qseq_" + std::to_string(getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    fs::remove_all(dir_);
    uitest::HeadlessTest::TearDown();
  }
  fs::path dir_;
};

class FolderWnd : public qui::CSkinFrame {
 public:
  explicit FolderWnd(const std::wstring& folder)
      : CSkinFrame(qui::ResourceKind::kFile, 0, folder, L"Seq.xml", L"Seq") {}
  std::unique_ptr<qui::Control> CreateControl(const std::wstring& tag) override {
    if (qui::EqualsNoCase(tag, L"SequenceLabel")) return std::make_unique<qui::CSequenceLabelUI>();
    if (qui::EqualsNoCase(tag, L"SequenceButton"))
      return std::make_unique<qui::CSequenceButtonUI>();
    return nullptr;
  }
};

std::wstring W(const fs::path& p) { return p.wstring(); }

void WriteLayout(const fs::path& dir, const std::string& control) {
  std::ofstream(dir / "Seq.xml")
      << "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Window size=\"200,100\">"
      << "<VerticalLayout>" << control << "</VerticalLayout></Window>";
}

void Tick(qui::Control* c) {
  qui::EventArgs e;
  e.type = qui::EventType::kTimer;
  e.wParam = qui::kAnimationTimerId;
  c->DoEvent(e);
}

TEST_F(SequenceTest, FrameOrders) {
  struct Case {
    const char* round;
    const char* loop;
    std::vector<int> frames;  // image shown after each tick
    bool stops;               // the timer ends after the listed ticks
  } cases[] = {
      {"false", "true", {0, 1, 2, 3, 0, 1, 2, 3, 0}, false},
      {"false", "false", {0, 1, 2, 3}, true},
      {"true", "true", {0, 1, 2, 3, 2, 1, 0, 1, 2, 3, 2}, false},
      {"true", "false", {0, 1, 2, 3, 2, 1}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "round " << c.round << " loop " << c.loop);
    WriteLayout(dir_, std::string("<SequenceLabel name=\"s\" sequencebkimage=\"f%d.png\" "
                                  "sequencecount=\"4\" sequenceround=\"") +
                          c.round + "\" sequenceloop=\"" + c.loop + "\"/>");
    FolderWnd wnd(W(dir_));
    ASSERT_TRUE(wnd.Create(nullptr, L"t", 0));
    auto* s = wnd.FindControlAs<qui::CSequenceLabelUI>(L"s");
    ASSERT_NE(s, nullptr);
    EXPECT_FALSE(s->IsRunning());  // no autostart
    s->Start();
    EXPECT_TRUE(s->IsRunning());
    EXPECT_EQ(s->GetBkImage(), L"");  // first frame at the first tick
    for (size_t i = 0; i < c.frames.size(); ++i) {
      Tick(s);
      EXPECT_EQ(s->GetBkImage(), L"f" + std::to_wstring(c.frames[i]) + L".png") << "tick " << i;
    }
    std::wstring last = s->GetBkImage();
    Tick(s);
    EXPECT_EQ(!s->IsRunning(), c.stops);
    if (c.stops) {
      EXPECT_EQ(s->GetBkImage(), last);
      // Started again, it plays from frame 0 forwards.
      s->Start();
      Tick(s);
      Tick(s);
      EXPECT_EQ(s->GetBkImage(), L"f1.png");
    }
  }
}

TEST_F(SequenceTest, AttributeRules) {
  WriteLayout(dir_,
              "<SequenceLabel name=\"a\" sequencebkimage=\"p%03d\" SEQUENCECOUNT=\"7\" "
              "SequenceSpan=\"15\" sequenceloop=\"False\" AutoStart=\"false\"/>"
              "<SequenceLabel name=\"b\" SequenceBkImage=\"q%d\" sequencecount=\"3\"/>"
              "<SequenceButton name=\"c\" sequencebkimage=\"r%d\" sequencecount=\"3\" "
              "autostart=\"TRUE\"/>");
  FolderWnd wnd(W(dir_));
  ASSERT_TRUE(wnd.Create(nullptr, L"t", 0));
  auto* a = wnd.FindControlAs<qui::CSequenceLabelUI>(L"a");
  auto* b = wnd.FindControlAs<qui::CSequenceLabelUI>(L"b");
  auto* c = wnd.FindControlAs<qui::CSequenceButtonUI>(L"c");
  ASSERT_TRUE(a && b && c);
  EXPECT_EQ(a->GetSequenceImage(), L"p%03d");
  EXPECT_EQ(a->GetSequenceCount(), 7);
  EXPECT_EQ(a->GetSequenceSpan(), 15);
  EXPECT_TRUE(a->IsLoop());  // "False" is not "false"
  EXPECT_FALSE(a->IsAutoStart());
  EXPECT_EQ(b->GetSequenceImage(), L"");  // the pattern's name is case-sensitive
  EXPECT_EQ(b->GetSequenceSpan(), 30);
  EXPECT_FALSE(b->IsBackAndForth());
  EXPECT_TRUE(c->IsAutoStart());
  EXPECT_TRUE(c->IsRunning());
  EXPECT_TRUE(c->IsBackAndForth());  // button default
  EXPECT_EQ(c->GetSequenceSpan(), 60);
  EXPECT_EQ(a->GetClass(), L"SequenceLabel");
  EXPECT_EQ(c->GetClass(), L"SequenceButton");
  EXPECT_EQ(c->GetInterface(L"SequenceButton"), c);
  EXPECT_EQ(c->GetInterface(L"Button"), c);
  EXPECT_EQ(a->GetInterface(L"Button"), nullptr);
  Tick(a);
  EXPECT_EQ(a->GetBkImage(), L"p000");
}

TEST_F(SequenceTest, IdleCases) {
  WriteLayout(dir_,
              "<SequenceLabel name=\"zero\" sequencebkimage=\"z%d\" sequencecount=\"0\" "
              "autostart=\"true\"/>"
              "<SequenceLabel name=\"one\" sequencebkimage=\"o%d\" sequencecount=\"1\" "
              "sequenceround=\"true\"/>"
              "<SequenceLabel name=\"none\" bkimage=\"keep.png\" sequencecount=\"5\"/>"
              "<SequenceLabel name=\"bad\" bkimage=\"keep.png\" sequencebkimage=\"%s%n\" "
              "sequencecount=\"5\"/>");
  FolderWnd wnd(W(dir_));
  ASSERT_TRUE(wnd.Create(nullptr, L"t", 0));
  for (const wchar_t* name : {L"zero", L"one", L"none", L"bad"}) {
    SCOPED_TRACE(testing::Message() << (name[0] == L'z'   ? "zero"
                                        : name[0] == L'o' ? "one"
                                                          : "other"));
    auto* s = wnd.FindControlAs<qui::CSequenceLabelUI>(name);
    ASSERT_NE(s, nullptr);
    std::wstring before = s->GetBkImage();
    s->Start();
    for (int i = 0; i < 5; ++i) Tick(s);
    EXPECT_EQ(s->GetBkImage(), before);
    EXPECT_LT(s->GetFrame(), 5u);
  }
  EXPECT_FALSE(wnd.FindControlAs<qui::CSequenceLabelUI>(L"zero")->IsRunning());
  EXPECT_FALSE(wnd.FindControlAs<qui::CSequenceLabelUI>(L"one")->IsRunning());
}

TEST_F(SequenceTest, ProgressAnimationRunsOnItsTimerAndStopsWhenKilled) {
  uitest::RecordingWnd wnd;
  ASSERT_TRUE(wnd.Create(nullptr, L"t", 0));
  auto* s = wnd.FindControlAs<qui::CSequenceLabelUI>(L"progressAnLb");
  ASSERT_NE(s, nullptr);
  ASSERT_TRUE(uitest::RunUntil(
      [&] { return s->GetBkImage() == L"res\\mainWnd\\installBtnAnimate\\002.png"; }));
  s->KillTimer(qui::kAnimationTimerId);
  std::wstring stopped = s->GetBkImage();
  uitest::RunUntil([] { return false; }, 100);
  EXPECT_EQ(s->GetBkImage(), stopped);
  s->Start();
  EXPECT_EQ(s->GetFrame(), 0u);
}

}  // namespace
