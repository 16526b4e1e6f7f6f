#include "platform/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "tests/utils/test_support.h"

namespace {

class IniFileTest : public testing::Test {
 protected:
  quillon_test::TempDir dir_;
  std::wstring path_ = dir_.WFile("set.ini");

  void Write(const std::string& content) {
    std::ofstream out(dir_.File("set.ini"), std::ios::binary);
    out << content;
  }
  std::string Content() {
    std::ifstream in(dir_.File("set.ini"), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::wstring Read(const std::wstring& section, const std::wstring& key, size_t chars = 260) {
    return platform::ReadIniString(path_, section, key, L"<default>", chars);
  }
};

TEST_F(IniFileTest, ReadSemantics) {
  Write(
      "; comment line\n"
      "[Install]\n"
      "DownloadUrl =  http://h/a?x=1  \n"
      "Empty=\n"
      "Quoted= \"kept\" \r\n"
      "noequals\n"
      "Path=C:\\a=b\n"
      "\n"
      "[Uninstall]\n"
      "Path=second section\n"
      "[install]\n"
      "Late=duplicate section is not read\n");
  struct Case {
    std::wstring section;
    std::wstring key;
    std::wstring expected;
  };
  const Case cases[] = {
      {L"Install", L"DownloadUrl", L"http://h/a?x=1"},
      {L"INSTALL", L"downloadurl", L"http://h/a?x=1"},
      {L"Install", L"Empty", L""},
      {L"Install", L"Quoted", L"\"kept\""},
      {L"Install", L"Path", L"C:\\a=b"},
      {L"Uninstall", L"path", L"second section"},
      {L"Install", L"Missing", L"<default>"},
      {L"Missing", L"Path", L"<default>"},
      {L"Install", L"noequals", L"<default>"},
      {L"Install", L"Late", L"<default>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::filesystem::path(c.section + L"/" + c.key).string());
    EXPECT_EQ(Read(c.section, c.key), c.expected);
  }
}

TEST_F(IniFileTest, MissingFileGivesDefaults) {
  EXPECT_EQ(Read(L"Install", L"Key"), L"<default>");
  EXPECT_EQ(platform::ReadIniInt(path_, L"Install", L"Key", 17), 17);
}

TEST_F(IniFileTest, BufferKeepsAtMostOneCharacterLessThanItsSize) {
  Write("[s]\nk=0123456789\nu=\xE4\xB8\xAD\xE6\x96\x87\xE5\xAD\x97\n");
  EXPECT_EQ(Read(L"s", L"k", 5), L"0123");
  EXPECT_EQ(Read(L"s", L"k", 11), L"0123456789");
  EXPECT_EQ(Read(L"s", L"k", 10), L"012345678");
  EXPECT_EQ(Read(L"s", L"k", 1), L"");
  EXPECT_EQ(Read(L"s", L"k", 0), L"");
  EXPECT_EQ(Read(L"s", L"u", 3), L"中文");  // counted in characters, not bytes
  EXPECT_EQ(Read(L"s", L"missing", 4), L"<de");
}

TEST_F(IniFileTest, IntReadsLeadingDigits) {
  Write("[s]\na=3\nb=12abc\nc=abc\nd= -7\ne=\nf=99999999999\n");
  struct Case {
    const wchar_t* key;
    int expected;
  };
  const Case cases[] = {{L"a", 3}, {L"b", 12}, {L"c", 0}, {L"d", -7},
                        {L"e", 0}, {L"f", 5},  {L"zz", 5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::filesystem::path(c.key).string());
    EXPECT_EQ(platform::ReadIniInt(path_, L"s", c.key, 5), c.expected);
  }
}

TEST_F(IniFileTest, WriteKeepsEveryOtherLine) {
  const std::string original =
      "; installer records\r\n"
      "[Install]\r\n"
      "InstallPath=/old\r\n"
      "  # odd comment\r\n"
      "Other = kept as written \r\n"
      "\r\n"
      "[Uninstall]\r\n"
      "Flag=1\r\n";
  Write(original);
  ASSERT_TRUE(platform::WriteIniString(path_, L"install", L"installpath", L"/new path"));
  ASSERT_TRUE(platform::WriteIniString(path_, L"Install", L"Added", L"x"));
  ASSERT_TRUE(platform::WriteIniString(path_, L"Fresh", L"Key", L"中文"));
  EXPECT_EQ(Content(),
            "; installer records\r\n"
            "[Install]\r\n"
            "installpath=/new path\r\n"
            "  # odd comment\r\n"
            "Other = kept as written \r\n"
            "Added=x\r\n"
            "\r\n"
            "[Uninstall]\r\n"
            "Flag=1\r\n"
            "[Fresh]\r\n"
            "Key=\xE4\xB8\xAD\xE6\x96\x87\r\n");
  EXPECT_EQ(Read(L"Fresh", L"Key"), L"中文");
  EXPECT_EQ(Read(L"Install", L"InstallPath"), L"/new path");
}

TEST_F(IniFileTest, WriteCreatesFileAndSection) {
  ASSERT_TRUE(platform::WriteIniString(path_, L"Install", L"InstallPath", L"/opt/Quillon"));
  EXPECT_EQ(Content(), "[Install]\nInstallPath=/opt/Quillon\n");
  Write("no newline at end");
  ASSERT_TRUE(platform::WriteIniString(path_, L"S", L"k", L"v"));
  EXPECT_EQ(Content(), "no newline at end\n[S]\nk=v\n");
  // Nothing but the file itself remains in the folder.
  int entries = 0;
  for (auto& e : std::filesystem::directory_iterator(dir_.path())) {
    (void)e;
    ++entries;
  }
  EXPECT_EQ(entries, 1);
}

TEST_F(IniFileTest, WriteRefusesWhatTheFormatCannotHold) {
  Write("[s]\nk=v\n");
  EXPECT_FALSE(platform::WriteIniString(path_, L"s", L"k", L"two\nlines"));
  EXPECT_FALSE(platform::WriteIniString(path_, L"s", L"a=b", L"v"));
  EXPECT_FALSE(platform::WriteIniString(path_, L"s]", L"k", L"v"));
  EXPECT_FALSE(platform::WriteIniString(path_, L"", L"k", L"v"));
  EXPECT_FALSE(platform::WriteIniString(dir_.WFile("no/such/folder/x.ini"), L"s", L"k", L"v"));
  EXPECT_EQ(Content(), "[s]\nk=v\n");
}

TEST_F(IniFileTest, ModeOfAnExistingFileIsKept) {
  Write("[s]\n");
  chmod(dir_.File("set.ini").c_str(), 0640);
  ASSERT_TRUE(platform::WriteIniString(path_, L"s", L"k", L"v"));
  struct stat st;
  ASSERT_EQ(stat(dir_.File("set.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(IniFileTest, ConcurrentWritersLoseNothing) {
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t) {
    writers.emplace_back([this, t] {
      for (int i = 0; i < 25; ++i) {
        platform::WriteIniString(path_, L"S", L"k" + std::to_wstring(t) + L"_" + std::to_wstring(i),
                                 std::to_wstring(i));
      }
    });
  }
  for (auto& w : writers) w.join();
  for (int t = 0; t < 4; ++t) {
    for (int i = 0; i < 25; ++i) {
      EXPECT_EQ(Read(L"S", L"k" + std::to_wstring(t) + L"_" + std::to_wstring(i)),
                std::to_wstring(i));
    }
  }
}

}  // namespace
