#include "download/curl_downloader.h"

#include <gtest/gtest.h>

#include "tests/download/download_test_support.h"

namespace {

using download_test::EventLog;
using download_test::RandomBytes;
using download_test::ReadFile;
using download_test::RecordCapture;
using package_server::Fault;

class CurlDownloaderTest : public download_test::ServerFixture {};

// The retry budget of 12: a partial file costs 1, everything else 2, with a
// 500 ms pause and a record between attempts.
TEST_F(CurlDownloaderTest, RetryBudgetDependsOnTheFailure) {
  struct Case {
    const char* name;
    size_t packageSize;
    Fault fault;
    size_t gets;
    int result;
    const char* record;
    size_t records;
  } cases[] = {
      {"partial file", 2 << 20, Fault{.method = "GET", .count = -1, .cutAfter = 1000}, 12, 18,
       "CurlDownLoader Code=18\r\n", 11},
      {"HTTP error", 2 << 20, Fault{.method = "GET", .count = -1, .status = 500}, 6, 22,
       "CurlDownLoader Code=22\r\n", 5},
      {"package below 1 MiB", 1000000, Fault{.method = "NONE"}, 0, -998,
       "CurlDownLoader Code=-998\r\n", 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    server_->ClearFaults();
    server_->ClearRequests();
    server_->AddFault(c.fault);
    RecordCapture records;
    EventLog log;
    auto started = std::chrono::steady_clock::now();
    {
      CCurlDownloader downloader(log.Callback(), Publish(RandomBytes(c.packageSize, 31)),
                                 OutWide());
      downloader.Start();
      ASSERT_TRUE(log.WaitForFinals(1));
    }
    auto elapsed = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(log.Codes(), (std::vector<int32_t>{DL_CODE_START, DL_CODE_FAIL}));
    EXPECT_EQ(log.Only(DL_CODE_FAIL).at(0).value, static_cast<double>(c.result));
    EXPECT_EQ(log.Only(DL_CODE_FAIL).at(0).text, kMechanismLibCurl);
    EXPECT_EQ(server_->Requests("GET").size(), c.gets);
    EXPECT_EQ(records.Count(c.record), c.records);
    EXPECT_GE(elapsed, std::chrono::milliseconds(500) * c.records);
    EXPECT_FALSE(std::filesystem::exists(Out()));
  }
}

// A transfer cut at 40 % is resumed by the next attempt of the same run.
TEST_F(CurlDownloaderTest, ResumesACutTransferWithinTheRun) {
  const std::string package = RandomBytes(4 << 20, 32);
  server_->AddFault(Fault{.method = "GET", .cutAfter = 1677721});
  EventLog log;
  CCurlDownloader downloader(log.Callback(), Publish(package), OutWide());
  downloader.Start();
  ASSERT_TRUE(log.WaitForFinals(1));
  EXPECT_EQ(log.Codes(), (std::vector<int32_t>{DL_CODE_START, DL_CODE_SUCCESS}));
  EXPECT_EQ(ReadFile(Out()), package);
  auto gets = server_->Requests("GET");
  ASSERT_EQ(gets.size(), 2u);
  EXPECT_EQ(gets[1].range, "bytes=1677721-");
}

TEST_F(CurlDownloaderTest, ProgressAdapterDropsReportsWithoutSpeedOrAbove100) {
  struct Case {
    double speed, percent;
    bool sent;
  } cases[] = {
      {1000.0, 50.0, true}, {0.0, 50.0, false}, {1000.0, 100.5, false}, {1000.0, 100.0, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.percent);
    EventLog log;
    CCurlDownloader downloader(log.Callback(), L"http://127.0.0.1:1/x", OutWide());
    CCurlDownloader::ProgressAdapter(&downloader, c.speed, 0.0, c.percent);
    auto progress = log.Only(DL_CODE_PROGRESS);
    ASSERT_EQ(progress.size(), c.sent ? 1u : 0u);
    if (c.sent) {
      EXPECT_DOUBLE_EQ(progress[0].value, c.percent / 100.0);
    }
  }
}

TEST_F(CurlDownloaderTest, ConstructionRemovesAStalePartFile) {
  std::ofstream(Out().string() + ".part") << "stale";
  EventLog log;
  CCurlDownloader downloader(log.Callback(), L"http://127.0.0.1:1/x", OutWide());
  EXPECT_FALSE(std::filesystem::exists(Out().string() + ".part"));
}

}  // namespace
