#include "download/mt_curl_downloader.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/download/download_test_support.h"

namespace {

using download_test::Event;
using download_test::EventLog;
using download_test::RandomBytes;
using download_test::ReadFile;
using download_test::RecordCapture;
using package_server::Fault;

constexpr int64_t kMiB = 1 << 20;

class MtCurlDownloaderTest : public download_test::ServerFixture {
 protected:
  // Builds the downloader; it restarts itself from inside DL_CODE_RETRY.
  void Create(const std::wstring& url) {
    log_.onEvent = [this](const Event& event) {
      if (event.code == DL_CODE_RETRY) downloader_->Start();
    };
    downloader_ = std::make_unique<CMTCurlDownloader>(log_.Callback(), url, OutWide());
  }
  void TearDown() override {
    downloader_.reset();
    ServerFixture::TearDown();
  }
  std::vector<std::string> Ranges() const {
    std::vector<std::string> ranges;
    for (auto& request : server_->Requests("GET")) ranges.push_back(request.range);
    std::sort(ranges.begin(), ranges.end());
    return ranges;
  }

  EventLog log_;
  std::unique_ptr<CMTCurlDownloader> downloader_;
};

// Below 20 MiB one segment covers the file; from 20 MiB on there are two, the
// remainder going to the last.
TEST_F(MtCurlDownloaderTest, SegmentBoundariesAtTwentyMebibytes) {
  struct Case {
    int64_t size;
    std::vector<std::string> ranges;
  } cases[] = {
      {20 * kMiB - 1, {"bytes=0-20971518"}},
      {20 * kMiB, {"bytes=0-10485759", "bytes=10485760-20971519"}},
      {20 * kMiB + 1, {"bytes=0-10485759", "bytes=10485760-20971520"}},
  };
  const std::string big = RandomBytes(20 * kMiB + 1, 41);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    server_->ClearRequests();
    const std::string package = big.substr(0, static_cast<size_t>(c.size));
    RecordCapture records;
    EventLog log;
    {
      CMTCurlDownloader downloader(log.Callback(), Publish(package), OutWide());
      downloader.Start();
      ASSERT_TRUE(log.WaitForFinals(1));
    }
    EXPECT_EQ(log.Codes(), (std::vector<int32_t>{DL_CODE_START, DL_CODE_SUCCESS}));
    EXPECT_EQ(Ranges(), c.ranges);
    EXPECT_TRUE(ReadFile(Out()) == package) << "joined package differs";
    // The MD5 came from the bytes as they arrived, not from reading the package.
    EXPECT_EQ(records.Count("md5 hashed while downloading"), 1u);
    EXPECT_FALSE(std::filesystem::exists(Out().string() + "_0"));
    EXPECT_FALSE(std::filesystem::exists(Out().string() + "_1"));
  }
}

// The first segment is cut halfway: its retry asks for the missing tail only
// and the joined package is right.
TEST_F(MtCurlDownloaderTest, ResumesASegmentCutHalfway) {
  const std::string package = RandomBytes(20 * kMiB, 42);
  server_->AddFault(Fault{.method = "GET", .cutAfter = 5 * kMiB});
  RecordCapture records;
  Create(Publish(package));
  downloader_->Start();
  ASSERT_TRUE(log_.WaitForFinals(1));
  EXPECT_EQ(log_.Codes(), (std::vector<int32_t>{DL_CODE_START, DL_CODE_SUCCESS}));
  EXPECT_EQ(Ranges(), (std::vector<std::string>{"bytes=0-10485759", "bytes=10485760-20971519",
                                                "bytes=5242880-10485759"}));
  EXPECT_EQ(records.Count("CurlDownLoader Code=18\r\n"), 1u);
  EXPECT_TRUE(ReadFile(Out()) == package);
}

// The second segment fails for good after its first bytes were already moved
// into the first part file: that file is cut back to its own segment, so the
// retry run keeps it and resumes only the second segment.
TEST_F(MtCurlDownloaderTest, FailedSecondSegmentLeavesFirstPartResumable) {
  const std::string package = RandomBytes(20 * kMiB, 48);
  server_->AddFault(Fault{.method = "GET"});  // the first segment: no fault
  server_->AddFault(Fault{.method = "GET", .cutAfter = 5 * kMiB, .bytesPerSecond = 4 * kMiB});
  server_->AddFault(Fault{.method = "GET", .count = 7, .status = 503});
  Create(Publish(package));
  downloader_->Start();
  ASSERT_TRUE(log_.WaitForFinals(2));
  EXPECT_EQ(log_.Codes(), (std::vector<int32_t>{DL_CODE_START, DL_CODE_RETRY, DL_CODE_START,
                                                DL_CODE_SUCCESS}));
  auto gets = server_->Requests("GET");
  ASSERT_EQ(gets.size(), 10u);  // 1 + 1 + 7 attempts, then the resume
  EXPECT_EQ(gets.back().range, "bytes=15728640-20971519");
  EXPECT_TRUE(ReadFile(Out()) == package) << "joined package differs";
}

// Answers that cannot be appended to a segment. A server sending more than
// the range is cut at the range's end; a refused range (200 to a range
// request, or a package replaced between runs) makes the run start over.
TEST_F(MtCurlDownloaderTest, AppendsOnlyTheRequestedRange) {
  const std::string package = RandomBytes(20 * kMiB, 43);
  struct Case {
    const char* name;
    Fault fault;
    std::vector<int32_t> codes;
  } cases[] = {
      {"more than the range",
       Fault{.method = "GET", .count = -1, .extraBytes = 4096},
       {DL_CODE_START, DL_CODE_SUCCESS}},
      {"range ignored",
       Fault{.method = "GET", .count = 2, .ignoreRange = true},
       {DL_CODE_START, DL_CODE_RETRY, DL_CODE_START, DL_CODE_SUCCESS}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    server_->ClearFaults();
    server_->ClearRequests();
    server_->AddFault(c.fault);
    EventLog log;
    std::unique_ptr<CMTCurlDownloader> downloader;
    log.onEvent = [&downloader](const Event& event) {
      if (event.code == DL_CODE_RETRY) downloader->Start();
    };
    downloader = std::make_unique<CMTCurlDownloader>(log.Callback(), Publish(package), OutWide());
    downloader->Start();
    ASSERT_TRUE(log.WaitForFinals(c.codes.size() / 2));
    downloader.reset();
    EXPECT_EQ(log.Codes(), c.codes);
    if (c.codes.size() > 2) {
      EXPECT_EQ(log.Only(DL_CODE_RETRY).at(0).value, CURLE_RANGE_ERROR);
    }
    EXPECT_TRUE(ReadFile(Out()) == package) << "joined package differs";
  }
}

TEST_F(MtCurlDownloaderTest, ProbeNeedsAtLeast256Bytes) {
  for (size_t size : {255u, 256u}) {
    SCOPED_TRACE(size);
    EventLog log;
    const std::string package = RandomBytes(size, 44);
    {
      CMTCurlDownloader downloader(log.Callback(), Publish(package), OutWide());
      downloader.Start();
      ASSERT_TRUE(log.WaitForFinals(1));
    }
    if (size == 255) {
      EXPECT_EQ(log.Codes(), (std::vector<int32_t>{DL_CODE_START, DL_CODE_FAIL}));
      EXPECT_EQ(log.Only(DL_CODE_FAIL).at(0).value, 0.0);
      EXPECT_EQ(log.Only(DL_CODE_FAIL).at(0).text, kMechanismLibCurl);
    } else {
      EXPECT_EQ(log.Codes(), (std::vector<int32_t>{DL_CODE_START, DL_CODE_SUCCESS}));
      EXPECT_EQ(ReadFile(Out()), package);
    }
  }
}

// A part file that cannot be opened gives the segment state -2: the run asks
// for its one retry with that value, and the next run fails with it.
TEST_F(MtCurlDownloaderTest, UnopenablePartFileEndsInRetryThenFail) {
  std::filesystem::create_directories(Out().string() + "_0/blocker");
  Create(Publish(RandomBytes(kMiB, 45)));
  downloader_->Start();
  ASSERT_TRUE(log_.WaitForFinals(2));
  EXPECT_EQ(log_.Codes(),
            (std::vector<int32_t>{DL_CODE_START, DL_CODE_RETRY, DL_CODE_START, DL_CODE_FAIL}));
  EXPECT_EQ(log_.Only(DL_CODE_RETRY).at(0).value, -2.0);
  EXPECT_EQ(log_.Only(DL_CODE_FAIL).at(0).value, -2.0);
  EXPECT_TRUE(server_->Requests("GET").empty());
}

// A segment whose server stops sending is given up after 5 seconds below one
// byte per second (libcurl 28) and tried again.
TEST_F(MtCurlDownloaderTest, StalledSegmentIsRetried) {
  const std::string package = RandomBytes(2 * kMiB, 46);
  server_->AddFault(
      Fault{.method = "GET", .stall = std::chrono::milliseconds(8000), .stallAfter = 0});
  RecordCapture records;
  Create(Publish(package));
  downloader_->Start();
  ASSERT_TRUE(log_.WaitForFinals(1));
  EXPECT_EQ(log_.Codes(), (std::vector<int32_t>{DL_CODE_START, DL_CODE_SUCCESS}));
  EXPECT_EQ(records.Count("CurlDownLoader Code=28\r\n"), 1u);
  EXPECT_EQ(Ranges(), (std::vector<std::string>{"bytes=0-2097151", "bytes=0-2097151"}));
  EXPECT_EQ(ReadFile(Out()), package);
}

// Part files of a run that reported progress survive for the next run, which
// resumes them; the If-Range of the probe guards that resume.
TEST_F(MtCurlDownloaderTest, RetryRunResumesPartFiles) {
  const std::string package = RandomBytes(3 * kMiB, 47);
  // The first attempt is paced and cut after 256 KiB, long enough for a
  // progress report; the segment's other attempts fail with an HTTP error.
  server_->AddFault(Fault{.method = "GET", .cutAfter = 256 << 10, .bytesPerSecond = 200 << 10});
  server_->AddFault(Fault{.method = "GET", .count = 7, .status = 503});
  RecordCapture records;
  Create(Publish(package));
  downloader_->Start();
  ASSERT_TRUE(log_.WaitForFinals(2));
  EXPECT_EQ(log_.Codes(),
            (std::vector<int32_t>{DL_CODE_START, DL_CODE_RETRY, DL_CODE_START, DL_CODE_SUCCESS}));
  EXPECT_EQ(log_.Only(DL_CODE_RETRY).at(0).value, CURLE_HTTP_RETURNED_ERROR);
  auto gets = server_->Requests("GET");
  ASSERT_EQ(gets.size(), 9u);  // 1 + 7 attempts, then the resume
  EXPECT_EQ(gets.back().range, "bytes=262144-3145727");
  EXPECT_FALSE(gets.back().ifRange.empty());
  EXPECT_EQ(ReadFile(Out()), package);
  // The resumed part file was hashed from disk, then followed as it grew.
  EXPECT_EQ(records.Count("md5 hashed while downloading"), 1u);
}

}  // namespace
