#include "utils/text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "tests/utils/test_support.h"
#include "utils/process.h"

namespace {

TEST(TextConversion, CodePages) {
  struct Case {
    const char* label;
    std::string narrow;
    unsigned codePage;
    std::wstring wide;
  };
  const Case cases[] = {
      {"utf8 ascii", "Quillon", 65001, L"Quillon"},
      {"utf8 cjk", "Quillon\xE5\x8A\xA9\xE6\x89\x8B", 65001, L"Quillon助手"},
      {"utf8 astral", "\xF0\x9F\x98\x80", 65001, L"\U0001F600"},
      {"gbk", "\xD6\xD0\xCE\xC4", 936, L"中文"},
      {"cp1252", "caf\xE9", 1252, L"café"},
      {"empty", "", 65001, L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(Utils::MultiByteToWide(c.narrow, c.codePage), c.wide);
    EXPECT_EQ(Utils::WideToMultiByte(c.wide, c.codePage), c.narrow);
  }
}

TEST(TextConversion, FailureGivesEmptyText) {
  struct Case {
    const char* label;
    std::string narrow;
    unsigned codePage;
  };
  const Case cases[] = {
      {"invalid utf8", "ab\xFF", 65001},
      {"truncated utf8", "ab\xE4\xB8", 65001},
      {"overlong", "\xC0\xAF", 65001},
      {"unknown code page", "abc", 12345},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(Utils::MultiByteToWide(c.narrow, c.codePage), L"");
  }
  // A lone surrogate is no character; Chinese text has no Latin-1 form.
  EXPECT_EQ(Utils::WideToMultiByte(std::wstring(1, static_cast<wchar_t>(0xD800)), 65001), "");
  EXPECT_EQ(Utils::WideToMultiByte(L"中文", 1252), "");
}

TEST(TextConversion, AnsiCodePageIsTheLocaleCharsetOrUtf8) {
  // The test environment runs in a UTF-8 or plain ASCII locale, both of
  // which give UTF-8 here.
  EXPECT_EQ(Utils::MultiByteToWide("\xC3\xA4", Utils::kCodePageAnsi), L"ä");
  EXPECT_EQ(Utils::WideToMultiByte(L"ä", Utils::kCodePageAnsi), "\xC3\xA4");
}

// Code page 0 in a fresh process under a given locale: "<hex of ä> <E4 reads as ä>".
std::string CodePageZeroIn(const std::string& locale, const std::string& locpath) {
  quillon_test::ScopedEnv all("LC_ALL", locale);
  quillon_test::ScopedEnv path(
      "LOCPATH", locpath.empty() ? std::nullopt : std::optional<std::string>(locpath));
  Utils::ChildProcess child;
  child.Start(L"\"" QUILLON_CODEPAGE_PROBE L"\"");
  std::string out;
  char buffer[64];
  for (ssize_t n; (n = child.ReadOutput(buffer, sizeof(buffer), 10000)) > 0;) {
    out.append(buffer, static_cast<size_t>(n));
  }
  EXPECT_EQ(child.Wait(), 0);
  return out;
}

TEST(TextConversion, AnsiCodePageFollowsTheLocaleCharset) {
  // Plain ASCII, UTF-8 and a locale that is not installed all give UTF-8.
  for (const char* locale : {"C", "POSIX", "C.UTF-8", "xx_NO.SUCH-LOCALE"}) {
    SCOPED_TRACE(locale);
    EXPECT_EQ(CodePageZeroIn(locale, ""), "c3a4 0\n");
  }
  // A Latin-1 locale, built for the test.
  quillon_test::TempDir locales;
  std::string build =
      "localedef -i en_US -f ISO-8859-1 '" + locales.File("latin1") + "' >/dev/null 2>&1";
  if (std::system(build.c_str()) != 0) GTEST_SKIP() << "localedef cannot build a Latin-1 locale";
  EXPECT_EQ(CodePageZeroIn("latin1", locales.path()), "e4 1\n");
}

// Destroyed after its thread's converter cache (it is built first), as
// static objects are at process exit: its destructor still converts text.
struct LateConverter {
  std::string* out = nullptr;
  ~LateConverter() {
    if (out) *out = Utils::WideToMultiByte(L"中文", Utils::kCodePageUtf8);
  }
};
thread_local LateConverter tLateConverter;

TEST(TextConversion, WorksAfterTheThreadsConverterCacheIsGone) {
  std::string late;
  std::thread([&late] {
    tLateConverter.out = &late;
    EXPECT_EQ(Utils::MultiByteToWide("x", Utils::kCodePageUtf8), L"x");  // builds the cache
  }).join();
  EXPECT_EQ(late, "\xE4\xB8\xAD\xE6\x96\x87");
}

TEST(Trim, RemovesTheSixWhiteSpaceCharacters) {
  const std::wstring text = L" \t\n\v\f\r a b \r\f\v\n\t ";
  EXPECT_EQ(Utils::TrimLeft(text), L"a b \r\f\v\n\t ");
  EXPECT_EQ(Utils::TrimRight(text), L" \t\n\v\f\r a b");
  EXPECT_EQ(Utils::Trim(text), L"a b");
  EXPECT_EQ(Utils::Trim(L" \t "), L"");
  EXPECT_EQ(Utils::Trim(L""), L"");
  EXPECT_EQ(Utils::Trim(L"\u3000x"), L"\u3000x");  // only the six ASCII blanks
}

TEST(UrlEncode, Vectors) {
  struct Case {
    std::string in;
    std::string out;
  };
  const Case cases[] = {
      {"a b&c", "a+b&c"},
      {"\t", "%09"},
      {"/:?&=%+~", "/:?&=%+~"},
      {"\xE4\xB8\xAD", "%E4%B8%AD"},
      {std::string("\x00\x7F\x80\xFF", 4), "%00%7F%80%FF"},
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.out);
    EXPECT_EQ(Utils::UrlEncode(c.in), c.out);
  }
  EXPECT_EQ(Utils::UrlEncodeWide(L"中 x"), L"%E4%B8%AD+x");
}

TEST(ReplaceAll, EveryOccurrence) {
  EXPECT_EQ(Utils::ReplaceAll(L"a${R}b${R}", L"${R}", L"x"), L"axbx");
  EXPECT_EQ(Utils::ReplaceAll(L"aaa", L"aa", L"b"), L"ba");
  EXPECT_EQ(Utils::ReplaceAll(L"abc", L"", L"x"), L"abc");
  EXPECT_EQ(Utils::ReplaceAll(L"abc", L"b", L"bb"), L"abbc");
}

TEST(ToDecimalText, Digits) {
  EXPECT_EQ(Utils::ToDecimalText(0), L"0");
  EXPECT_EQ(Utils::ToDecimalText(497), L"497");
  EXPECT_EQ(Utils::ToDecimalText(4294967295u), L"4294967295");
}

TEST(GetUrlParentSegment, Vectors) {
  struct Case {
    std::string url;
    std::string segment;
  };
  const Case cases[] = {
      {"http://h/packages/0123456789abcdef0123456789ABCDEF/Quillon.exe",
       "0123456789abcdef0123456789ABCDEF"},
      {"http://h/a/b/", "b"},
      {"no-slash-at-all", ""},
      {"only/one", ""},
      {"/file", ""},
      {"", ""},
      {"http://h/a//f", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    EXPECT_EQ(Utils::GetUrlParentSegment(c.url), c.segment);
  }
}

}  // namespace
