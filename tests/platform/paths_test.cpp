#include "platform/paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "tests/utils/test_support.h"

namespace {

using quillon_test::ScopedEnv;

TEST(Paths, JoinDirAndBase) {
  struct Case {
    std::wstring a, b, joined;
  };
  const Case cases[] = {
      {L"a/", L"/b", L"a/b"},
      {L"a", L"b", L"a/b"},
      {L"", L"b", L"b"},
      {L"a", L"", L"a"},
      {L"/", L"b", L"/b"},
      {L"/x//", L"//y/z", L"/x/y/z"},
      {L"/opt/Quillon", L"__Package_Quillon.exe", L"/opt/Quillon/__Package_Quillon.exe"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::filesystem::path(c.joined).string());
    EXPECT_EQ(platform::JoinPath(c.a, c.b), c.joined);
  }
  EXPECT_EQ(platform::DirName(L"/x/y/z.ini"), L"/x/y");
  EXPECT_EQ(platform::BaseName(L"/x/y/z.ini"), L"z.ini");
  EXPECT_EQ(platform::DirName(L"/z"), L"/");
  EXPECT_EQ(platform::DirName(L"z"), L"");
  EXPECT_EQ(platform::BaseName(L"z"), L"z");
}

TEST(Paths, ExecutableIsThisTestBinary) {
  std::wstring exe = platform::ExecutablePath();
  EXPECT_EQ(platform::BaseName(exe), L"paths_test");
  EXPECT_TRUE(platform::IsRegularFile(exe));
  EXPECT_TRUE(platform::IsDirectory(platform::ExecutableDir()));
  EXPECT_FALSE(platform::IsDirectory(exe));
  EXPECT_FALSE(platform::PathExists(L"/no/such/path/at/all"));
}

TEST(Paths, NonAsciiNamesRoundTripThroughNativeForm) {
  quillon_test::TempDir dir;
  std::wstring name = dir.wpath() + L"/中文 名";
  ASSERT_EQ(platform::NativePath(name), dir.path() + "/\xE4\xB8\xAD\xE6\x96\x87 \xE5\x90\x8D");
  EXPECT_EQ(platform::FromNativePath(platform::NativePath(name)), name);
  EXPECT_TRUE(std::filesystem::create_directory(platform::NativePath(name)));
  EXPECT_TRUE(platform::IsDirectory(name));
}

TEST(Paths, PerUserTempFolder) {
  {
    ScopedEnv runtime("XDG_RUNTIME_DIR", "/run/user/4242");
    ScopedEnv tmp("TMPDIR", "/var/tmp/x");
    EXPECT_EQ(platform::PerUserTempDir(), L"/run/user/4242");
  }
  {
    ScopedEnv runtime("XDG_RUNTIME_DIR", std::nullopt);
    ScopedEnv tmp("TMPDIR", "/var/tmp/x");
    EXPECT_EQ(platform::PerUserTempDir(), L"/var/tmp/x");
  }
  {
    ScopedEnv runtime("XDG_RUNTIME_DIR", std::nullopt);
    ScopedEnv tmp("TMPDIR", std::nullopt);
    EXPECT_EQ(platform::PerUserTempDir(), L"/tmp");
  }
}

TEST(Paths, SpecialFolders) {
  using platform::SpecialFolder;
  const bool root = geteuid() == 0;
  {
    ScopedEnv home("HOME", "/home/q");
    ScopedEnv data("XDG_DATA_HOME", std::nullopt);
    ScopedEnv config("XDG_CONFIG_HOME", std::nullopt);
    ScopedEnv appData("APPDATA", std::nullopt);
    EXPECT_EQ(platform::GetSpecialFolder(SpecialFolder::kAppData), L"/home/q/.local/share");
    EXPECT_EQ(platform::GetSpecialFolder(SpecialFolder::kLocalAppData), L"/home/q/.local/share");
    EXPECT_EQ(platform::GetSpecialFolder(SpecialFolder::kCommonDocuments), L"/home/q/.local/share");
    EXPECT_EQ(platform::GetSpecialFolder(SpecialFolder::kConfig), L"/home/q/.config");
    EXPECT_EQ(platform::GetSpecialFolder(SpecialFolder::kDesktopEntries),
              L"/home/q/.local/share/applications");
    EXPECT_EQ(platform::GetSpecialFolder(SpecialFolder::kProgramFiles),
              root ? L"/opt" : L"/home/q/.local/share");
    EXPECT_EQ(platform::GetSpecialFolder(SpecialFolder::kProgramFilesX86),
              root ? L"/opt" : L"/home/q/.local/share");
  }
  {
    ScopedEnv home("HOME", "/home/q");
    ScopedEnv data("XDG_DATA_HOME", "/data");
    ScopedEnv config("XDG_CONFIG_HOME", "relative/ignored");
    ScopedEnv appData("APPDATA", "/appdata");
    EXPECT_EQ(platform::GetSpecialFolder(SpecialFolder::kAppData), L"/appdata");
    EXPECT_EQ(platform::GetSpecialFolder(SpecialFolder::kLocalAppData), L"/data");
    EXPECT_EQ(platform::GetSpecialFolder(SpecialFolder::kConfig), L"/home/q/.config");
  }
}

TEST(Paths, GetEnv) {
  ScopedEnv v("QUILLON_TEST_VALUE", "x y");
  EXPECT_EQ(platform::GetEnv("QUILLON_TEST_VALUE"), "x y");
  EXPECT_EQ(platform::GetEnv("QUILLON_TEST_UNSET_VALUE"), "");
}

}  // namespace
