#include "utils/system.h"

#include <gtest/gtest.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>

#include "platform/user_store.h"
#include "tests/utils/test_support.h"
#include "utils/process.h"
#include "utils/text.h"

namespace {

TEST(CreateGuidText, ShapedAsVersion4WithOnlyTheThirdGroupLowerCase) {
  const std::wregex shape(L"[0-9A-F]{8}[0-9A-F]{4}4[0-9a-f]{3}[89AB][0-9A-F]{15}");
  std::set<std::wstring> seen;
  for (int i = 0; i < 200; ++i) {
    std::wstring guid = Utils::CreateGuidText();
    ASSERT_TRUE(std::regex_match(guid, shape)) << Utils::WideToMultiByte(guid, 65001);
    seen.insert(guid);
  }
  EXPECT_EQ(seen.size(), 200u);
}

TEST(Stopwatch, ElapsedSecondsAcrossTheTickWrap) {
  struct Case {
    uint32_t start;
    uint32_t now;
    float seconds;
  };
  const Case cases[] = {
      {1000, 3500, 2.5f},
      {0xFFFFFC18u, 1000, 2.0f},  // 1000 ms before the wrap, 1000 ms after
      {0xFFFFFFFFu, 0, 0.001f},
      {5, 5, 0.0f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.start);
    Utils::Stopwatch watch;
    watch.StartAtTickForTesting(c.start);
    EXPECT_FLOAT_EQ(watch.ElapsedAtTickForTesting(c.now), c.seconds);
  }
}

TEST(Stopwatch, NotRunningGivesZeroAndRealTicksAdvance) {
  Utils::Stopwatch watch;
  EXPECT_FALSE(watch.IsRunning());
  EXPECT_EQ(watch.Elapsed(), 0.0f);
  watch.Start();
  uint32_t first = Utils::Stopwatch::TickCount();
  while (Utils::Stopwatch::TickCount() - first < 20) {
  }
  EXPECT_GE(watch.Elapsed(), 0.02f);
  EXPECT_LT(watch.Elapsed(), 5.0f);
  watch.Stop();
  EXPECT_EQ(watch.Elapsed(), 0.0f);
}

TEST(HardDiskManager, FreeSpaceOfTheNearestExistingFolder) {
  quillon_test::TempDir dir;
  struct statvfs vfs;
  ASSERT_EQ(statvfs(dir.path().c_str(), &vfs), 0);
  for (const std::string& path : {dir.path(), dir.File("not/yet/created")}) {
    SCOPED_TRACE(path);
    Utils::HardDiskManager disk;
    EXPECT_EQ(disk.TotalBytes(), 0u);
    ASSERT_TRUE(disk.CheckFreeSpace(std::filesystem::path(path).wstring()));
    EXPECT_EQ(disk.TotalBytes(), static_cast<uint64_t>(vfs.f_blocks) * vfs.f_frsize);
    EXPECT_GT(disk.TotalFreeBytes(), 0u);
    EXPECT_LE(disk.FreeBytesAvailable(), disk.TotalFreeBytes());
    EXPECT_LE(disk.TotalFreeBytes(), disk.TotalBytes());
  }
}

TEST(HardDiskManager, FailureWritesRecordAndKeepsZeroes) {
  quillon_test::DebugCapture capture;
  Utils::HardDiskManager disk;
  EXPECT_FALSE(disk.CheckFreeSpace(L""));
  EXPECT_EQ(disk.TotalBytes(), 0u);
  auto records = capture.Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_NE(records[0].find("(Utils::HardDiskManager::CheckFreeSpace)<"), std::string::npos);
  EXPECT_NE(records[0].find(": HardDiskManager::CheckFreeSpace FAIL code=2\r\n"), std::string::npos)
      << records[0];
}

class RegistryTest : public testing::Test {
 protected:
  quillon_test::TempDir home_;
  quillon_test::ScopedEnv config_{"XDG_CONFIG_HOME", home_.File("config")};
};

TEST_F(RegistryTest, AnyTextWithoutNulRoundTrips) {
  const std::wstring values[] = {
      L"/opt/Quillon",
      L"line one\nline two\r\nthree",
      L"C:\\Program Files\\Quillon\\uninst.ep",
      L"  blanks kept  ",
      L"a=b=c # ; [section]",
      L"中文路径/安装",
      L"\\n is not a newline",
      L"",
  };
  for (const std::wstring& value : values) {
    SCOPED_TRACE(Utils::WideToMultiByte(value, 65001));
    ASSERT_TRUE(Utils::WriteRegistryString(L"InstallPath", value));
    uint32_t type = 0;
    std::wstring read;
    ASSERT_TRUE(Utils::ReadRegistryString(L"InstallPath", &type, &read));
    EXPECT_EQ(read, value);
    EXPECT_EQ(type, Utils::kRegSz);
  }
}

TEST_F(RegistryTest, ValuesAreIndependentAndNamesCaseInsensitive) {
  ASSERT_TRUE(Utils::WriteRegistryString(L"InstallPath", L"/a"));
  ASSERT_TRUE(Utils::WriteRegistryString(L"UnInstallEp", L"/a/uninst.ep"));
  ASSERT_TRUE(Utils::WriteRegistryString(L"installpath", L"/b"));
  std::wstring value;
  uint32_t type;
  ASSERT_TRUE(Utils::ReadRegistryString(L"InstallPath", &type, &value));
  EXPECT_EQ(value, L"/b");
  ASSERT_TRUE(Utils::ReadRegistryString(L"UnInstallEp", &type, &value));
  EXPECT_EQ(value, L"/a/uninst.ep");
  EXPECT_FALSE(Utils::ReadRegistryString(L"Missing", &type, &value));
  // The store lives where the documentation says, and no temporary is left.
  std::string store = home_.File("config/LumoraSoft/Quillon/registry");
  EXPECT_EQ(platform::UserStorePath(L"Software\\LumoraSoft\\Quillon"),
            std::filesystem::path(store).wstring());
  int files = 0;
  for (auto& entry : std::filesystem::directory_iterator(home_.File("config/LumoraSoft/Quillon"))) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, 1);
}

TEST_F(RegistryTest, RefusesTextWithNulAndReadsNothingWhenMissing) {
  std::wstring value;
  uint32_t type;
  EXPECT_FALSE(Utils::ReadRegistryString(L"InstallPath", &type, &value));
  EXPECT_FALSE(Utils::WriteRegistryString(L"InstallPath", std::wstring(L"a\0b", 3)));
  EXPECT_FALSE(Utils::ReadRegistryString(L"InstallPath", &type, &value));
}

TEST(CheckNetwork, ResultCombinesFlagsAndStatus) {
  uint32_t result = Utils::CheckNetwork();
  ASSERT_NE(result, 0u);  // GIO always has a monitor
  uint32_t flags = result & 0xFFFF;
  uint32_t status = result >> 16;
  ASSERT_LE(status, 2u);
  const uint32_t expectedFlags[] = {Utils::kNetFlagAvailable | Utils::kNetFlagInternet, 0,
                                    Utils::kNetFlagAvailable};
  EXPECT_EQ(flags, expectedFlags[status]);
}

// The netlink monitor sees no route inside a fresh network namespace
// (loopback only): no network at all. Runs the check in a real child.
TEST(CheckNetwork, NoNetworkInsideAnEmptyNetworkNamespace) {
  Utils::ChildProcess child;
  child.Start(L"unshare -n \"" QUILLON_NETWORK_PROBE "\"");
  std::string out, err;
  char buffer[256];
  for (ssize_t n; (n = child.ReadOutput(buffer, sizeof(buffer), 10000)) > 0;) out.append(buffer, n);
  for (ssize_t n; (n = read(child.ErrorFd(), buffer, sizeof(buffer))) > 0;) err.append(buffer, n);
  int status = child.Wait();
  if (status != 0 && out.empty()) GTEST_SKIP() << "unshare -n is not permitted here: " << err;
  EXPECT_EQ(out, "65536\n");  // status 1 << 16, no flags
  EXPECT_NE(err.find("(Utils::CheckNetwork)<"), std::string::npos) << err;
  EXPECT_NE(err.find(": GetConnectivity 0"), std::string::npos) << err;
}

}  // namespace
