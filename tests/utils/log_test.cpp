#include "utils/log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "tests/utils/test_support.h"

namespace {

const std::wregex kRecord(
    LR"(<P(\d{5,})><T(\d{5,})><(\d{4})-(\d{2})-(\d{2}) (\d{2}):(\d{2}):(\d{2})\.(\d{3})>\(([^)]*)\)<(\d{4,})>: ([\s\S]*))");

std::wstring Record(int line, const wchar_t* format, const wchar_t* value) {
  return Utils::DiagnosticLogFormat("Utils::Sample::Run", line, format, value);
}

TEST(DiagnosticLog, RecordCarriesPaddedPrefixAndMessage) {
  struct Case {
    int line;
    const wchar_t* format;
    const wchar_t* value;
    std::wstring lineText;
    std::wstring message;
  };
  const Case cases[] = {
      {35, L"no placeholders", L"", L"0035", L"no placeholders"},
      {101, L"THREAD BEGIN\r\n", L"", L"0101", L"THREAD BEGIN\r\n"},
      {7, L"url=%ls\r\n", L"http://h/a%20b?x=%s&y=%d", L"0007",
       L"url=http://h/a%20b?x=%s&y=%d\r\n"},
      {12345, L"[%ls]", L"中文", L"12345", L"[中文]"},
      {0, L"%ls", L"", L"0000", L""},
  };
  char pid[32];
  std::snprintf(pid, sizeof(pid), "%05d", static_cast<int>(getpid()));
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "line " << c.line);
    std::wstring record = Record(c.line, c.format, c.value);
    std::wsmatch m;
    ASSERT_TRUE(std::regex_match(record, m, kRecord));
    EXPECT_EQ(m[1].str(), std::wstring(pid, pid + std::string(pid).size()));
    EXPECT_EQ(m[10].str(), L"Utils::Sample::Run");
    EXPECT_EQ(m[11].str(), c.lineText);
    // Nothing is added after the message.
    EXPECT_EQ(m[12].str(), c.message);
  }
}

TEST(DiagnosticLog, TimeIsLocalWithThreeDigitMilliseconds) {
  time_t before = time(nullptr);
  std::wstring record = Record(1, L"x", L"");
  std::wsmatch m;
  ASSERT_TRUE(std::regex_match(record, m, kRecord));
  struct tm local;
  localtime_r(&before, &local);
  EXPECT_EQ(std::stoi(m[3].str()), local.tm_year + 1900);
  EXPECT_EQ(std::stoi(m[4].str()), local.tm_mon + 1);
  EXPECT_EQ(m[9].str().size(), 3u);
  EXPECT_LT(std::stoi(m[9].str()), 1000);
}

TEST(DiagnosticLog, ThreadIdOfTheWritingThread) {
  std::wstring record;
  int tid = 0;
  std::thread worker([&] {
    tid = static_cast<int>(gettid());
    record = Record(1, L"x", L"");
  });
  worker.join();
  std::wsmatch m;
  ASSERT_TRUE(std::regex_match(record, m, kRecord));
  EXPECT_EQ(std::stoi(m[2].str()), tid);
  wchar_t padded[32];
  std::swprintf(padded, 32, L"%05d", tid);
  EXPECT_EQ(m[2].str(), padded);
}

TEST(DiagnosticLog, MacroWritesOneUtf8RecordWithQualifiedNameAndLine) {
  quillon_test::DebugCapture capture;
  const int line = __LINE__ + 1;
  QLOG(L"value %ls and %d%%\r\n", L"ä%s", 42);
  std::vector<std::string> records = capture.Records();
  ASSERT_EQ(records.size(), 1u);
  char expected[128];
  std::snprintf(expected, sizeof(expected), ")<%04d>: value \xC3\xA4%%s and 42%%\r\n", line);
  const std::string& record = records[0];
  ASSERT_GE(record.size(), std::string(expected).size());
  EXPECT_EQ(record.substr(record.size() - std::string(expected).size()), expected);
  // The test body is a method of a generated class in an unnamed namespace.
  EXPECT_NE(
      record.find(
          "({anonymous}::DiagnosticLog_MacroWritesOneUtf8RecordWithQualifiedNameAndLine_Test::"
          "TestBody)"),
      std::string::npos);
}

TEST(DiagnosticLog, RecordsOfManyThreadsNeverMix) {
  quillon_test::DebugCapture capture;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 200; ++i) QLOG(L"thread %d record %d\r\n", t, i);
    });
  }
  for (std::thread& thread : threads) thread.join();
  std::vector<std::string> records = capture.Records();
  ASSERT_EQ(records.size(), 800u);
  const std::regex tail(R"(: thread \d record \d+\r\n$)");
  for (const std::string& record : records) {
    EXPECT_TRUE(std::regex_search(record, tail)) << record;
    EXPECT_EQ(record.find("\r\n"), record.size() - 2);
  }
}

TEST(DiagnosticLog, WithoutHookGoesToStandardErrorInOneRecord) {
  testing::internal::CaptureStderr();
  QLOG(L"to stderr %ls\r\n", L"ok");
  std::string out = testing::internal::GetCapturedStderr();
  EXPECT_NE(out.find(": to stderr ok\r\n"), std::string::npos);
  EXPECT_EQ(out.rfind("<P", 0), 0u);
}

TEST(QualifiedFunctionName, StripsReturnTypeAndParameters) {
  struct Case {
    const char* pretty;
    const char* expected;
  };
  const Case cases[] = {
      {"void Utils::Thread::CallBack()", "Utils::Thread::CallBack"},
      {"Utils::Thread::Thread(void*, const std::wstring&, Work)", "Utils::Thread::Thread"},
      {"static InstallerConfig& InstallerConfig::Instance()", "InstallerConfig::Instance"},
      {"virtual int CCurlDownloader::Start(const wchar_t*) const", "CCurlDownloader::Start"},
      {"std::vector<std::__cxx11::basic_string<wchar_t> > Utils::SplitCommandLine(const "
       "std::wstring&)",
       "Utils::SplitCommandLine"},
      {"const char* CurlClient::Name()", "CurlClient::Name"},
      {"void Foo<T>::Bar(T) [with T = int]", "Foo<T>::Bar"},
      {"Utils::Thread::Start()::<lambda()>", "Utils::Thread::Start"},
      {"bool Holder::operator()(int)", "Holder::operator()"},
      {"int main()", "main"},
      {"main", "main"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pretty);
    EXPECT_EQ(Utils::QualifiedFunctionName(c.pretty), c.expected);
  }
}

}  // namespace
