#include "app/job_events.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>

#include "platform/paths.h"

namespace app {
namespace {

TEST(ProgressModelTest, DownloadShareIsFractionTimesScale) {
  ProgressModel model(0.7);
  EXPECT_EQ(model.DownloadPercent(0.5), 35);
  EXPECT_EQ(model.DownloadPercent(1.0), 70);
  EXPECT_EQ(model.DownloadPercent(0.0), 0);
  EXPECT_EQ(model.DownloadPercent(std::nan("")), 0);
  EXPECT_EQ(model.DownloadPercent(-3.0), 0);
  EXPECT_EQ(ProgressModel(1.0).DownloadPercent(2.0), 100);
}

TEST(ProgressModelTest, InstallEventsReportingZeroAdvanceToNinetyEight) {
  ProgressModel model(0.7);
  const int expected[] = {74, 78, 83, 88, 92, 97, 98, 98, 98};
  for (size_t i = 0; i < std::size(expected); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(model.InstallPercent(0.0), expected[i]);
  }
  EXPECT_DOUBLE_EQ(model.Smoothed(), 0.95);
}

TEST(ProgressModelTest, LargerReportWinsAtOnce) {
  ProgressModel model(0.7);
  EXPECT_EQ(model.InstallPercent(0.99), 99);
  // The smoothed fraction never goes back.
  EXPECT_EQ(model.InstallPercent(0.1), 99);
  ProgressModel full(0.7);
  EXPECT_EQ(full.InstallPercent(1.0), 100);
  EXPECT_EQ(full.InstallPercent(5.0), 100);
}

TEST(ProgressTextTest, FormatsByElapsedTimeAndUserData) {
  struct Case {
    std::wstring custom;
    float seconds;
    int percent;
    std::wstring expected;
  } cases[] = {
      {L"", 0.0f, 35, L"正在安装中:35%，请稍候..."},
      {L"", 60.0f, 35, L"正在安装中:35%，请稍候..."},
      {L"", 60.5f, 35, L"正在安装中:35%，请耐心等待..."},
      {L"进度 %d%%", 90.0f, 7, L"进度 7%"},
      // Outside data never reaches printf: other conversions stay literal.
      {L"%s%n%d%", 0.0f, 12, L"%s%n12%"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.seconds << " " << c.percent);
    EXPECT_EQ(FormatProgressText(c.custom, c.seconds, c.percent), c.expected);
  }
}

TEST(FailureReasonTest, TextFailureFormatAndLimits) {
  EXPECT_EQ(FormatTextFailureReason(-998.7, L"文件太小 100%"),
            L":1.code=-998；2.msg=文件太小 100%");
  EXPECT_EQ(FormatTextFailureReason(std::nan(""), L""), L":1.code=0；2.msg=");
  EXPECT_EQ(FormatTextFailureReason(1e300, L"x"),
            L":1.code=" + std::to_wstring(std::numeric_limits<long>::max()) + L"；2.msg=x");
  const std::wstring longText(500, L'字');
  EXPECT_EQ(FormatTextFailureReason(1, longText).size(), 199u);
}

TEST(FailureReasonTest, DownloadFailureFormat) {
  EXPECT_EQ(FormatDownloadFailureReason(28, L"Timeout was reached", 12.345, L"可读", 0x40041),
            L"1.code=28；2.msg=Timeout was reached；3.缓存磁盘容量=12.35G；4.缓存读写权限=可读；5."
            L"服务器连接状态code=262209");
  EXPECT_EQ(FormatDownloadFailureReason(1, std::wstring(400, L'a'), 0, L"无权限", 0).size(), 199u);
}

class PermissionProbeTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("quillon_probe_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::wstring Wide(const std::filesystem::path& p) { return platform::FromNativePath(p.string()); }
  std::filesystem::path dir_;
};

TEST_F(PermissionProbeTest, AbsentAndDeletableFilesAreWritableAndLeaveNothing) {
  const auto package = dir_ / "__Package_Quillon.exe";
  EXPECT_EQ(ProbePackageWritePermission(Wide(package)), L"可读");
  EXPECT_FALSE(std::filesystem::exists(package));
  std::ofstream(package) << "partial";
  EXPECT_EQ(ProbePackageWritePermission(Wide(package)), L"可读");
  EXPECT_FALSE(std::filesystem::exists(package));
}

TEST_F(PermissionProbeTest, UndeletableOrUncreatableIsNoPermission) {
  // A non-empty folder in the package's place cannot be deleted.
  const auto blocker = dir_ / "__Package_Quillon.exe";
  std::filesystem::create_directories(blocker / "inner");
  EXPECT_EQ(ProbePackageWritePermission(Wide(blocker)), L"无权限");
  EXPECT_TRUE(std::filesystem::exists(blocker / "inner"));
  EXPECT_EQ(ProbePackageWritePermission(Wide(dir_ / "missing" / "p.exe")), L"无权限");
  EXPECT_EQ(ProbePackageWritePermission(L""), L"无权限");
}

TEST_F(PermissionProbeTest, FreeSpaceOfAnExistingVolumeIsPositive) {
  EXPECT_GT(FreeGigabytes(Wide(dir_ / "not-yet" / "p.exe")), 0.0);
  const std::wstring reason =
      BuildDownloadFailureReason(7, L"Couldn't connect", Wide(dir_ / "p.exe"), 0);
  EXPECT_NE(reason.find(L"1.code=7；2.msg=Couldn't connect；3.缓存磁盘容量="), std::wstring::npos);
  EXPECT_NE(reason.find(L"4.缓存读写权限=可读；5.服务器连接状态code=0"), std::wstring::npos);
}

TEST(PackageFactsTest, KeepsTheValuesThePackageReports) {
  PackageFacts facts;
  EXPECT_EQ(facts.productPageUrl, kProductPageUrl);
  EXPECT_EQ(facts.bringToFrontDelayMs, 3000u);
  EXPECT_EQ(facts.closeDelayMs, kNeverFires);
  struct Case {
    int32_t code;
    double number;
    std::wstring text;
    bool handled;
  } cases[] = {
      {IST_INFO_INSTPATH, 0, L"/opt/Quillon", true},
      {IST_INFO_EXEPATH, 0, L"/opt/Quillon/Vantrel.exe", true},
      {IST_INFO_UNINSTEP, 0, L"/opt/Quillon/uninst.ep", true},
      {IST_INFO_STARTURL, 0, L"https://x.example/s", true},
      {IST_INFO_STARTUPSTYLE, 1.9, L"", true},
      {IST_INFO_TOPSHOWDETENTION, 1500, L"", true},
      {IST_INFO_FINISHCLOSEDETENTION, -1, L"", true},
      {IST_INFO_UNINSTEXEPATH, 0, L"/ignored", false},
      {IST_INFO_MESSAGE, 0, L"hello", false},
      {DL_CODE_PROGRESS, 0.5, L"", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(facts.Apply(c.code, c.number, c.text), c.handled);
  }
  EXPECT_EQ(facts.targetFolder, L"/opt/Quillon");
  EXPECT_EQ(facts.productExePath, L"/opt/Quillon/Vantrel.exe");
  EXPECT_EQ(facts.uninstallerPath, L"/opt/Quillon/uninst.ep");
  EXPECT_EQ(facts.productPageUrl, L"https://x.example/s");
  EXPECT_EQ(facts.startupStyle, 1);
  EXPECT_EQ(facts.bringToFrontDelayMs, 1500u);
  EXPECT_EQ(facts.closeDelayMs, kNeverFires);
}

TEST(NumberConversionTest, NoUndefinedConversions) {
  EXPECT_EQ(ToDelayMs(std::nan("")), 0u);
  EXPECT_EQ(ToDelayMs(-1), 4294967295u);
  EXPECT_EQ(ToDelayMs(4294967295.0), 4294967295u);
  EXPECT_EQ(ToDelayMs(1e20), 4294967295u);
  EXPECT_EQ(ToDelayMs(3000.9), 3000u);
  EXPECT_EQ(CutToInt(-1e20), std::numeric_limits<int>::min());
  EXPECT_EQ(CutToInt(2.99), 2);
  EXPECT_EQ(CutToLong(-2.99), -2);
}

}  // namespace
}  // namespace app
