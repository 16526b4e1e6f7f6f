#include "platform/user_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/text_codec.h"
#include "tests/utils/test_support.h"

namespace {

class UserStoreTest : public testing::Test {
 protected:
  quillon_test::TempDir home_;
  quillon_test::ScopedEnv config_{"XDG_CONFIG_HOME", home_.File("cfg")};
  const std::wstring key_ = L"Software\\LumoraSoft\\Quillon";
};

TEST_F(UserStoreTest, KeyMapsToAFileBelowTheConfigFolder) {
  EXPECT_EQ(platform::UserStorePath(key_),
            std::filesystem::path(home_.File("cfg/LumoraSoft/Quillon/registry")).wstring());
  EXPECT_EQ(platform::UserStorePath(L"Other/Key"),
            std::filesystem::path(home_.File("cfg/Other/Key/registry")).wstring());
  EXPECT_EQ(platform::UserStorePath(L"Software\\..\\x"), L"");
  EXPECT_EQ(platform::UserStorePath(L"Software"), L"");
}

TEST_F(UserStoreTest, WrittenPrivatelyAndEscapedLineByLine) {
  ASSERT_TRUE(platform::WriteUserValue(key_, L"a=b", L"x\ny\\n=z"));
  std::string file = home_.File("cfg/LumoraSoft/Quillon/registry");
  struct stat st;
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0077, 0u);
  std::ifstream in(file);
  std::stringstream content;
  content << in.rdbuf();
  EXPECT_NE(content.str().find("a\\=b=x\\ny\\\\n\\=z\n"), std::string::npos) << content.str();
  std::wstring value;
  ASSERT_TRUE(platform::ReadUserValue(key_, L"A=B", &value));
  EXPECT_EQ(value, L"x\ny\\n=z");
}

TEST_F(UserStoreTest, NamesAndValuesOfAnyTextRoundTrip) {
  // Names too may hold what the line format uses: a leading "#" (the comment
  // mark), "=", backslashes, line breaks, blanks, non-ASCII text; and the
  // empty name (a key's default value).
  const std::wstring texts[] = {
      L"#hash",    L"# comment-like", L"a=b",    L"\\", L"trailing\\",
      L"x\ny\r\n", L" blanks ",       L"中文名", L"",
  };
  for (const std::wstring& name : texts) {
    SCOPED_TRACE(platform::WideToUtf8(name));
    const std::wstring value = L"value of " + name;
    ASSERT_TRUE(platform::WriteUserValue(key_, name, value));
    std::wstring read;
    ASSERT_TRUE(platform::ReadUserValue(key_, name, &read));
    EXPECT_EQ(read, value);
  }
  // Every record is still there after all the rewrites.
  for (const std::wstring& name : texts) {
    SCOPED_TRACE(platform::WideToUtf8(name));
    std::wstring read;
    ASSERT_TRUE(platform::ReadUserValue(key_, name, &read));
    EXPECT_EQ(read, L"value of " + name);
  }
}

TEST_F(UserStoreTest, DeleteRemovesOnlyThatValue) {
  ASSERT_TRUE(platform::WriteUserValue(key_, L"InstallPath", L"/a"));
  ASSERT_TRUE(platform::WriteUserValue(key_, L"UnInstallEp", L"/a/uninst.ep"));
  EXPECT_TRUE(platform::DeleteUserValue(key_, L"installpath"));
  EXPECT_FALSE(platform::DeleteUserValue(key_, L"installpath"));
  std::wstring value;
  EXPECT_FALSE(platform::ReadUserValue(key_, L"InstallPath", &value));
  EXPECT_TRUE(platform::ReadUserValue(key_, L"UnInstallEp", &value));
}

TEST_F(UserStoreTest, ConcurrentWritersLoseNothing) {
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t) {
    writers.emplace_back([this, t] {
      for (int i = 0; i < 20; ++i) {
        platform::WriteUserValue(key_, L"v" + std::to_wstring(t * 100 + i), std::to_wstring(i));
      }
    });
  }
  for (auto& w : writers) w.join();
  for (int t = 0; t < 4; ++t) {
    for (int i = 0; i < 20; ++i) {
      std::wstring value;
      ASSERT_TRUE(platform::ReadUserValue(key_, L"v" + std::to_wstring(t * 100 + i), &value));
      EXPECT_EQ(value, std::to_wstring(i));
    }
  }
}

}  // namespace
