#include "download/win_downloader.h"

#include <gtest/gtest.h>

#include "tests/download/download_test_support.h"

namespace {

using download_test::Event;
using download_test::EventLog;
using download_test::RandomBytes;
using download_test::ReadFile;
using download_test::RecordCapture;
using download_test::Wide;
using package_server::Fault;

class WinDownloaderTest : public download_test::ServerFixture {};

TEST_F(WinDownloaderTest, DownloadsThroughRedirectWithProgress) {
  const std::string package = RandomBytes(3 << 20, 51);
  EventLog log;
  CWinDownloader downloader(log.Callback(), Publish(package), OutWide());
  downloader.Start();
  ASSERT_TRUE(log.WaitForFinals(1));
  EXPECT_EQ(log.Codes(), (std::vector<int32_t>{DL_CODE_START, DL_CODE_SUCCESS}));
  EXPECT_EQ(log.Only(DL_CODE_SUCCESS).at(0).text, kMechanismSystem);
  auto progress = log.Only(DL_CODE_PROGRESS);
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.back().value, 1.0);
  EXPECT_EQ(ReadFile(Out()), package);
  EXPECT_EQ(server_->Requests("GET").at(1).acceptEncoding, "identity");
}

// Three attempts about a second apart, then DL_CODE_FAIL with the result of
// the last one; no file is left behind.
TEST_F(WinDownloaderTest, ThreeAttemptsThenFail) {
  struct Case {
    const char* name;
    bool serverDown;
    int32_t result;
  } cases[] = {{"server down", true, CWinDownloader::kResultCannotConnect},
               {"not found", false, CWinDownloader::kResultNotFound}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    server_->ClearRequests();
    std::wstring url = Wide(server_->BaseUrl() + "/packages/none/pkg.exe");
    if (c.serverDown) {
      package_server::PackageServer down(package_server::Options{.root = dir_});
      ASSERT_TRUE(down.Start());
      url = Wide(down.BaseUrl() + "/pkg.exe");
    }  // stopped: nothing listens there any more
    RecordCapture records;
    EventLog log;
    auto started = std::chrono::steady_clock::now();
    CWinDownloader downloader(log.Callback(), url, OutWide());
    downloader.Start();
    ASSERT_TRUE(log.WaitForFinals(1));
    auto elapsed = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(log.Codes(), (std::vector<int32_t>{DL_CODE_START, DL_CODE_FAIL}));
    EXPECT_EQ(log.Only(DL_CODE_FAIL).at(0).value, static_cast<double>(c.result));
    EXPECT_EQ(log.Only(DL_CODE_FAIL).at(0).text, kMechanismSystem);
    EXPECT_EQ(records.Count("URLDownloadToFile attempt"), 3u);
    EXPECT_GE(elapsed, std::chrono::milliseconds(2900));
    if (!c.serverDown) {
      EXPECT_EQ(server_->Requests("GET").size(), 3u);
    }
    EXPECT_FALSE(std::filesystem::exists(Out()));
  }
}

// The address is percent-encoded byte by byte: "+" for a blank, "%XX" for
// the UTF-8 bytes of other characters. The server decodes the escapes but
// keeps the "+", so only the encoded form finds the file.
TEST_F(WinDownloaderTest, PercentEncodesTheAddress) {
  const std::string package = RandomBytes(4096, 52);
  auto folder = dir_ / "root" / "dir+name";
  std::filesystem::create_directories(folder);
  std::ofstream(folder / "包.bin", std::ios::binary) << package;
  EventLog log;
  CWinDownloader downloader(log.Callback(), Wide(server_->BaseUrl() + "/dir name/包.bin"),
                            OutWide());
  downloader.Start();
  ASSERT_TRUE(log.WaitForFinals(1));
  EXPECT_EQ(log.Codes(), (std::vector<int32_t>{DL_CODE_START, DL_CODE_SUCCESS}));
  EXPECT_EQ(server_->Requests("GET").at(0).target, "/dir+name/%E5%8C%85.bin");
  EXPECT_EQ(ReadFile(Out()), package);
}

TEST_F(WinDownloaderTest, FileUrlIsUsedUnchanged) {
  const std::string package = RandomBytes(100000, 53);
  auto source = dir_ / "a b.bin";  // a blank that encoding would turn into "+"
  std::ofstream(source, std::ios::binary) << package;
  EventLog log;
  CWinDownloader downloader(log.Callback(), Wide("file://" + source.string()), OutWide());
  downloader.Start();
  ASSERT_TRUE(log.WaitForFinals(1));
  EXPECT_EQ(log.Codes(), (std::vector<int32_t>{DL_CODE_START, DL_CODE_SUCCESS}));
  EXPECT_EQ(ReadFile(Out()), package);
}

TEST_F(WinDownloaderTest, EmptyDestinationFailsAndStops) {
  EventLog log;
  CWinDownloader downloader(log.Callback(), Publish(RandomBytes(4096, 54)), L"");
  downloader.Start();
  ASSERT_TRUE(log.WaitForFinals(1));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(log.Codes(), (std::vector<int32_t>{DL_CODE_START, DL_CODE_FAIL}));
  EXPECT_EQ(log.Only(DL_CODE_FAIL).at(0).value, 1.0);
  EXPECT_EQ(log.Only(DL_CODE_FAIL).at(0).text, L"");
  EXPECT_TRUE(server_->Requests().empty());
}

TEST_F(WinDownloaderTest, DestructionAbortsARunningTransfer) {
  server_->SetBytesPerSecond(256 << 10);
  EventLog log;
  auto downloader = std::make_unique<CWinDownloader>(log.Callback(),
                                                     Publish(RandomBytes(4 << 20, 55)), OutWide());
  downloader->Start();
  ASSERT_TRUE(log.WaitFor([](const std::vector<Event>& events) {
    return !events.empty() && events.back().code == DL_CODE_PROGRESS;
  }));
  auto before = std::chrono::steady_clock::now();
  downloader.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(2));
  for (auto& event : log.Events()) EXPECT_FALSE(download_test::IsFinal(event.code));
  EXPECT_FALSE(std::filesystem::exists(Out()));
}

TEST(WinBindCallbackTest, ProgressNeedsAnExpectedSizeAndStopsWhenAborted) {
  EventLog log;
  CWinDownloader::CBindCallback callback;
  callback.SetCallback(log.Callback());
  EXPECT_EQ(callback.OnProgress(10, 0), CWinDownloader::kResultOk);
  EXPECT_TRUE(log.Events().empty());
  // 64-bit counts: sizes past 4 GiB keep their fraction.
  EXPECT_EQ(callback.OnProgress(3ull << 32, 6ull << 32), CWinDownloader::kResultOk);
  ASSERT_EQ(log.Only(DL_CODE_PROGRESS).size(), 1u);
  EXPECT_EQ(log.Only(DL_CODE_PROGRESS).at(0).value, 0.5);
  callback.Abort();
  EXPECT_EQ(callback.OnProgress(1, 2), CWinDownloader::kResultAborted);
  EXPECT_EQ(log.Events().size(), 1u);
}

}  // namespace
