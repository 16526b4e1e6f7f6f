#include "utils/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "tests/utils/test_support.h"
#include "utils/text.h"

namespace fs = std::filesystem;

namespace {

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

TEST(GetFileMd5, Rfc1321Vectors) {
  quillon_test::TempDir dir;
  struct Case {
    std::string content;
    std::string md5;
  };
  const Case cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.content);
    WriteFile(dir.File("f"), c.content);
    EXPECT_EQ(Utils::GetFileMd5(dir.File("f")), c.md5);
  }
}

TEST(GetFileMd5, LargeFileAcrossChunkBoundariesMatchesMd5sum) {
  quillon_test::TempDir dir;
  std::string content;
  for (long long i = 0; content.size() < (3u << 20) + 12345; ++i) {
    content += std::to_string(i * 7919);
  }
  WriteFile(dir.File("big"), content);
  std::string command = "md5sum '" + dir.File("big") + "'";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char line[128] = {};
  ASSERT_NE(fgets(line, sizeof(line), pipe), nullptr);
  pclose(pipe);
  EXPECT_EQ(Utils::GetFileMd5(dir.File("big")), std::string(line, 32));
}

TEST(GetFileMd5, UnreadableInputsGiveEmptyText) {
  quillon_test::TempDir dir;
  EXPECT_EQ(Utils::GetFileMd5(""), "");
  EXPECT_EQ(Utils::GetFileMd5(dir.File("missing")), "");
  EXPECT_EQ(Utils::GetFileMd5(dir.path()), "");  // a folder
}

TEST(CreateDirectoryTree, CreatesEveryMissingLevel) {
  quillon_test::TempDir dir;
  struct Case {
    std::string relative;
  };
  const Case cases[] = {
      {"a/b/c"}, {"a/b/c/"}, {"x//y/"}, {"a/b/c/d/e"}, {"\xE4\xB8\xAD/\xE6\x96\x87"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.relative);
    std::wstring path = Utils::MultiByteToWide(dir.File(c.relative), Utils::kCodePageUtf8);
    EXPECT_TRUE(Utils::CreateDirectoryTree(path));
    EXPECT_TRUE(fs::is_directory(dir.File(c.relative)));
  }
  // An existing tree succeeds without change.
  auto before = fs::last_write_time(dir.File("a/b"));
  EXPECT_TRUE(Utils::CreateDirectoryTree(fs::path(dir.File("a/b/c")).wstring()));
  EXPECT_EQ(fs::last_write_time(dir.File("a/b")), before);
}

TEST(CreateDirectoryTree, Failures) {
  quillon_test::TempDir dir;
  WriteFile(dir.File("file"), "x");
  EXPECT_FALSE(Utils::CreateDirectoryTree(fs::path(dir.File("file/sub")).wstring()));
  EXPECT_FALSE(Utils::CreateDirectoryTree(fs::path(dir.File("file")).wstring()));
  EXPECT_FALSE(Utils::CreateDirectoryTree(L""));
  std::wstring tooLong = dir.wpath() + L"/" + std::wstring(261, L'x');
  EXPECT_FALSE(Utils::CreateDirectoryTree(tooLong));
  EXPECT_NE(access(Utils::WideToMultiByte(tooLong, Utils::kCodePageUtf8).c_str(), F_OK), 0);
  // Exactly 260 characters is still allowed.
  std::wstring base = dir.wpath() + L"/";
  std::wstring limit = base + std::wstring(260 - base.size(), L'y');
  ASSERT_EQ(limit.size(), 260u);
  EXPECT_TRUE(Utils::CreateDirectoryTree(limit));
}

class TempWorkDirTest : public testing::Test {
 protected:
  quillon_test::TempDir runtime_;
  quillon_test::ScopedEnv xdg_{"XDG_RUNTIME_DIR", runtime_.path()};
  std::string expected_ = runtime_.File("~LumoraTemp.92482B06FB471E17");
};

TEST_F(TempWorkDirTest, CreatedPrivateUnderThePerUserTempFolder) {
  std::wstring dir = Utils::GetTempWorkDir();
  EXPECT_EQ(dir, fs::path(expected_ + "/").wstring());
  struct stat st;
  ASSERT_EQ(lstat(expected_.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(st.st_uid, geteuid());
  // Found again, and a loosened mode is tightened.
  chmod(expected_.c_str(), 0777);
  EXPECT_EQ(Utils::GetTempWorkDir(), dir);
  ASSERT_EQ(lstat(expected_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(TempWorkDirTest, PlantedSymlinkOrFileIsRefused) {
  quillon_test::TempDir elsewhere;
  ASSERT_EQ(symlink(elsewhere.path().c_str(), expected_.c_str()), 0);
  EXPECT_EQ(Utils::GetTempWorkDir(), L"");
  unlink(expected_.c_str());
  WriteFile(expected_, "not a folder");
  EXPECT_EQ(Utils::GetTempWorkDir(), L"");
}

TEST_F(TempWorkDirTest, FolderOfAnotherUserIsRefused) {
  ASSERT_EQ(mkdir(expected_.c_str(), 0700), 0);
  if (geteuid() != 0) GTEST_SKIP() << "changing the owner needs root";
  ASSERT_EQ(chown(expected_.c_str(), 65534, 65534), 0);
  EXPECT_EQ(Utils::GetTempWorkDir(), L"");
}

TEST(TempWorkDir, FallsBackToTmpdirThenTmp) {
  quillon_test::TempDir tmp;
  quillon_test::ScopedEnv xdg("XDG_RUNTIME_DIR", std::nullopt);
  quillon_test::ScopedEnv tmpdir("TMPDIR", tmp.path());
  EXPECT_EQ(Utils::GetTempWorkDir(), fs::path(tmp.File("~LumoraTemp.92482B06FB471E17/")).wstring());
}

}  // namespace
