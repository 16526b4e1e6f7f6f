#include "install/status_lines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "utils/text.h"

namespace {

using install::StatusEvent;

struct LineCase {
  std::wstring line;
  std::vector<StatusEvent> events;
  install::StatusDecision decision;
};

std::string Describe(const std::wstring& line) {
  return Utils::WideToMultiByte(line, Utils::kCodePageUtf8);
}

TEST(PackageStatusLineTest, EveryKeyInTableOrder) {
  const std::wstring longValue(900, L'x');
  const LineCase cases[] = {
      {L"Progress=0.25", {{IST_CODE_PROGRESS, 0.25, L""}}, install::kStatusNone},
      {L"Progress= 1", {{IST_CODE_PROGRESS, 1.0, L""}}, install::kStatusNone},
      {L"Progress=abc", {}, install::kStatusNone},
      {L"InstPath=/opt/安装/Quillon",
       {{IST_INFO_INSTPATH, 0.0, L"/opt/安装/Quillon"}},
       install::kStatusNone},
      // An empty value is still a value: the event carries the empty text.
      {L"InstPath=", {{IST_INFO_INSTPATH, 0.0, L""}}, install::kStatusNone},
      {L"ExePath=", {{IST_INFO_EXEPATH, 0.0, L""}}, install::kStatusNone},
      {L"StartExe=", {{IST_INFO_EXEPATH, 0.0, L""}}, install::kStatusNone},
      {L"UninstExePath=", {{IST_INFO_UNINSTEXEPATH, 0.0, L""}}, install::kStatusNone},
      {L"UninstExe=", {{IST_INFO_UNINSTEXEPATH, 0.0, L""}}, install::kStatusNone},
      {L"UninstEp=", {{IST_INFO_UNINSTEP, 0.0, L""}}, install::kStatusNone},
      {L"Error=", {{IST_CODE_FAIL, 1000.0, L""}}, install::kStatusFailure},
      {L"StartUrl=", {{IST_INFO_STARTURL, 0.0, L""}}, install::kStatusNone},
      {L"Message=", {{IST_INFO_MESSAGE, 0.0, L""}}, install::kStatusNone},
      {L"StartupStyle=", {{IST_INFO_STARTUPSTYLE, 0.0, L""}}, install::kStatusNone},
      // Untrimmed values keep their blanks.
      {L"Message= a b ", {{IST_INFO_MESSAGE, 0.0, L" a b "}}, install::kStatusNone},
      {L"State=Success", {{IST_CODE_SUCCESS, 0.0, L""}}, install::kStatusSuccess},
      {L"State= Success \t", {{IST_CODE_SUCCESS, 0.0, L""}}, install::kStatusSuccess},
      {L"State=Fail", {{IST_CODE_FAIL, 0.0, L"安装包安装失败"}}, install::kStatusFailure},
      {L"State=Running", {}, install::kStatusNone},
      {L"State=success", {}, install::kStatusNone},
      {L"InstallVersion=1.0.0", {}, install::kStatusNone},
      {L"ExePath=/opt/Quillon/Vantrel.exe",
       {{IST_INFO_EXEPATH, 0.0, L"/opt/Quillon/Vantrel.exe"}},
       install::kStatusNone},
      {L"StartExe=/opt/Q/run", {{IST_INFO_EXEPATH, 0.0, L"/opt/Q/run"}}, install::kStatusNone},
      {L"UninstExePath=/opt/Q/u",
       {{IST_INFO_UNINSTEXEPATH, 0.0, L"/opt/Q/u"}},
       install::kStatusNone},
      {L"UninstExe=/opt/Q/u2", {{IST_INFO_UNINSTEXEPATH, 0.0, L"/opt/Q/u2"}}, install::kStatusNone},
      {L"UninstEp=/opt/Q/uninst.ep",
       {{IST_INFO_UNINSTEP, 0.0, L"/opt/Q/uninst.ep"}},
       install::kStatusNone},
      {L"Error=disk full", {{IST_CODE_FAIL, 1000.0, L"disk full"}}, install::kStatusFailure},
      {L"TopShowDetention=1500", {{IST_INFO_TOPSHOWDETENTION, 1500.0, L""}}, install::kStatusNone},
      {L"TopShowDetention=-1",
       {{IST_INFO_TOPSHOWDETENTION, 4294967295.0, L""}},
       install::kStatusNone},
      {L"TopShowDetention=", {{IST_INFO_TOPSHOWDETENTION, 0.0, L""}}, install::kStatusNone},
      {L"FinsihCloseDetention=-1",
       {{IST_INFO_FINISHCLOSEDETENTION, 4294967295.0, L""}},
       install::kStatusNone},
      {L"FinsihCloseDetention=250",
       {{IST_INFO_FINISHCLOSEDETENTION, 250.0, L""}},
       install::kStatusNone},
      // The correctly spelt key is not part of the protocol.
      {L"FinishCloseDetention=250", {}, install::kStatusNone},
      {L"StartUrl=https://q.example/a?b=c",
       {{IST_INFO_STARTURL, 0.0, L"https://q.example/a?b=c"}},
       install::kStatusNone},
      {L"StartupStyle=NonStartup", {{IST_INFO_STARTUPSTYLE, 0.0, L""}}, install::kStatusNone},
      {L"StartupStyle=AutoStartup", {{IST_INFO_STARTUPSTYLE, 1.0, L""}}, install::kStatusNone},
      {L"StartupStyle= UserStartup ", {{IST_INFO_STARTUPSTYLE, 2.0, L""}}, install::kStatusNone},
      {L"StartupStyle=Auto", {{IST_INFO_STARTUPSTYLE, 0.0, L""}}, install::kStatusNone},
      {L"Message=请重启", {{IST_INFO_MESSAGE, 0.0, L"请重启"}}, install::kStatusNone},
      {L"Unknown=1", {}, install::kStatusNone},
      {L" State=Success", {}, install::kStatusNone},
      {L"Message=" + longValue,
       {{IST_INFO_MESSAGE, 0.0, std::wstring(771, L'x')}},
       install::kStatusNone},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(Describe(c.line));
    unsigned codePage = 0;
    std::vector<StatusEvent> events;
    EXPECT_EQ(install::ParsePackageStatusLine(c.line, &codePage, &events), c.decision);
    EXPECT_EQ(events, c.events);
    EXPECT_EQ(codePage, 0u);
  }
}

TEST(PackageStatusLineTest, EncodeValuesSetTheCodePage) {
  const struct {
    const wchar_t* line;
    unsigned codePage;
  } cases[] = {
      {L"Encode=UTF8", 65001}, {L"Encode= UTF8\r", 65001}, {L"Encode=ACP", 0},
      {L"Encode=936", 936},    {L"Encode=utf8", 0},        {L"Encode=99999999999", 0},
      {L"Encode=12ab", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Describe(c.line));
    unsigned codePage = 12345;
    std::vector<StatusEvent> events;
    EXPECT_EQ(install::ParsePackageStatusLine(c.line, &codePage, &events), install::kStatusNone);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(codePage, c.codePage);
  }
}

TEST(UninstallStatusLineTest, EveryKey) {
  const LineCase cases[] = {
      {L"Progress=0.5", {{UNIST_CODE_PROGRESS, 0.5, L""}}, install::kStatusNone},
      {L"Error=in use", {{UNIST_CODE_ERROR, 0.0, L"in use"}}, install::kStatusFailure},
      {L"State=Success", {{UNIST_CODE_SUCCESS, 0.0, L""}}, install::kStatusSuccess},
      {L"State=Success\r", {{UNIST_CODE_SUCCESS, 0.0, L""}}, install::kStatusSuccess},
      {L"State=Fail", {{UNIST_CODE_ERROR, 0.0, L"安装包卸载失败"}}, install::kStatusFailure},
      {L"State=Other", {}, install::kStatusNone},
      {L"Error=", {{UNIST_CODE_ERROR, 0.0, L""}}, install::kStatusFailure},
      // Package-only keys mean nothing here.
      {L"InstPath=/x", {}, install::kStatusNone},
      {L"Message=hello", {}, install::kStatusNone},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(Describe(c.line));
    unsigned codePage = 0;
    std::vector<StatusEvent> events;
    EXPECT_EQ(install::ParseUninstallStatusLine(c.line, &codePage, &events), c.decision);
    EXPECT_EQ(events, c.events);
  }
}

TEST(UninstallStatusLineTest, OnlyUtf8SelectsACodePage) {
  const struct {
    const wchar_t* line;
    unsigned codePage;
  } cases[] = {{L"Encode=UTF8", 65001}, {L"Encode=936", 0}, {L"Encode=ACP", 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(Describe(c.line));
    unsigned codePage = 777;
    std::vector<StatusEvent> events;
    install::ParseUninstallStatusLine(c.line, &codePage, &events);
    EXPECT_EQ(codePage, c.codePage);
  }
}

TEST(StatusLineSplitterTest, JoinsLinesCutByReadBoundaries) {
  // "InstPath=/opt/安装\nState=Success\n" fed byte by byte must give the same
  // two lines as fed at once; a multi-byte character cut in two stays intact.
  const std::string text = "InstPath=/opt/\xE5\xAE\x89\xE8\xA3\x85\nState=Success\r\nTail";
  for (size_t piece : {size_t{1}, size_t{3}, size_t{7}, text.size()}) {
    SCOPED_TRACE(piece);
    install::StatusLineSplitter splitter;
    std::vector<std::string> lines;
    std::string line;
    for (size_t i = 0; i < text.size(); i += piece) {
      splitter.Append(text.data() + i, std::min(piece, text.size() - i));
      while (splitter.NextLine(&line)) lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(install::DecodeStatusLine(lines[0], 65001), L"InstPath=/opt/安装");
    EXPECT_EQ(install::DecodeStatusLine(lines[1], 65001), L"State=Success");
    ASSERT_TRUE(splitter.TakeRest(&line));
    EXPECT_EQ(line, "Tail");
    EXPECT_FALSE(splitter.TakeRest(&line));
  }
}

TEST(StatusLineSplitterTest, RunawayLineIsHandedOutCut) {
  install::StatusLineSplitter splitter;
  std::string big(install::StatusLineSplitter::kMaxLineBytes + 10, 'a');
  splitter.Append(big.data(), big.size());
  std::string line;
  ASSERT_TRUE(splitter.NextLine(&line));
  EXPECT_EQ(line.size(), install::StatusLineSplitter::kMaxLineBytes);
  EXPECT_FALSE(splitter.NextLine(&line));
}

TEST(DecodeStatusLineTest, CodePagesAndZeroBytes) {
  // "安装" in GBK.
  EXPECT_EQ(install::DecodeStatusLine("InstPath=/\xB0\xB2\xD7\xB0", 936), L"InstPath=/安装");
  EXPECT_EQ(install::DecodeStatusLine("InstPath=/\xE5\xAE\x89\xE8\xA3\x85", 65001),
            L"InstPath=/安装");
  EXPECT_EQ(install::DecodeStatusLine(std::string("State=Success\0junk", 18), 65001),
            L"State=Success");
  EXPECT_EQ(install::DecodeStatusLine("\r", 65001), L"");
  EXPECT_EQ(install::DecodeStatusLine("InstPath=/opt/Q\r", 65001), L"InstPath=/opt/Q");
}

TEST(DecodeStatusLineTest, UndecodableBytesKeepTheKey) {
  // GBK bytes read as UTF-8: the line is not lost, so the failure still counts.
  std::wstring line = install::DecodeStatusLine("Error=\xB4\xC5\xC5\xCC full", 65001);
  EXPECT_EQ(line, L"Error=\uFFFD\uFFFD\uFFFD\uFFFD full");
  unsigned codePage = 65001;
  std::vector<StatusEvent> events;
  EXPECT_EQ(install::ParsePackageStatusLine(line, &codePage, &events), install::kStatusFailure);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].code, IST_CODE_FAIL);
  EXPECT_EQ(events[0].value, 1000.0);
  events.clear();
  EXPECT_EQ(install::ParseUninstallStatusLine(install::DecodeStatusLine("State=Fail\xFF", 65001),
                                              &codePage, &events),
            install::kStatusNone);  // "Fail\uFFFD" is not a state word
  EXPECT_EQ(install::ParseUninstallStatusLine(install::DecodeStatusLine("Error=\xFF\xFE", 65001),
                                              &codePage, &events),
            install::kStatusFailure);
}

}  // namespace
