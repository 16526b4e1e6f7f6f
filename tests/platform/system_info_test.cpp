#include "platform/system_info.h"

#include <gtest/gtest.h>
#include <sys/utsname.h>

#include <fstream>

#include "platform/text_codec.h"
#include "tests/utils/test_support.h"

namespace {

TEST(OsVersionText, IdAndVersionIdFromOsRelease) {
  struct utsname uts;
  ASSERT_EQ(uname(&uts), 0);
  const std::wstring kernel = platform::Utf8ToWide(uts.release);
  struct Case {
    const char* label;
    const char* content;  // nullptr: no file
    std::wstring version;
  };
  const Case cases[] = {
      {"quoted", "NAME=\"Debian GNU/Linux\"\nID_LIKE=x\nVERSION_ID=\"12\"\nID=debian\n",
       L"debian 12"},
      {"single quotes, no final newline", "ID='fedora'\nVERSION_ID=40", L"fedora 40"},
      {"no VERSION_ID", "ID=arch\nBUILD_ID=rolling\n", L"arch"},
      {"no ID", "VERSION_ID=3.19\n", L"3.19"},
      {"neither key", "NAME=Something\n", kernel},
      {"no file", nullptr, kernel},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    quillon_test::TempDir dir;
    if (c.content) std::ofstream(dir.File("os-release")) << c.content;
    EXPECT_EQ(platform::OsVersionText(dir.File("os-release")), c.version);
  }
}

}  // namespace
