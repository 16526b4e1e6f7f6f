// The event contract every libcurl downloader keeps, run against both of them,
// and the choice of downloader by download type.
#include "download/downloader.h"

#include <gtest/gtest.h>

#include "download/create_downloader.h"
#include "download/curl_downloader.h"
#include "download/mt_curl_downloader.h"
#include "download/win_downloader.h"
#include "tests/download/download_test_support.h"
#include "utils/files.h"

namespace {

using download_test::Event;
using download_test::EventLog;
using download_test::RandomBytes;
using download_test::ReadFile;

struct Flavour {
  const char* name;
  int downloadType;
  const wchar_t* mismatchMessage;
  const wchar_t* noMd5Message;
};

const Flavour kFlavours[] = {
    {"single", kDownloadTypeCurl, kMessageCurlMd5Mismatch, kMessageCurlNoUrlMd5},
    {"segmented", kDownloadTypeMtCurl, kMessageMtCurlMd5Mismatch, kMessageMtCurlNoUrlMd5},
};

class LibCurlDownloaderTest : public download_test::ServerFixture,
                              public ::testing::WithParamInterface<Flavour> {
 protected:
  // Restarts the downloader from inside DL_CODE_RETRY, as the installer does.
  void Create(const std::wstring& url, const std::wstring& destination) {
    log_.onEvent = [this](const Event& event) {
      if (event.code == DL_CODE_RETRY) downloader_->Start();
    };
    downloader_ = CreateDownloader(GetParam().downloadType, log_.Callback(), url, destination);
  }
  void TearDown() override {
    downloader_.reset();
    ServerFixture::TearDown();
  }

  EventLog log_;
  std::unique_ptr<CDownloader> downloader_;
};

TEST_P(LibCurlDownloaderTest, DownloadsThroughRedirectAndVerifies) {
  const std::string package = RandomBytes(3 << 20, 21);
  server_->SetBytesPerSecond(2 << 20);  // long enough for progress events
  Create(Publish(package), OutWide());
  downloader_->Start();
  ASSERT_TRUE(log_.WaitForFinals(1));

  EXPECT_EQ(log_.Codes(), (std::vector<int32_t>{DL_CODE_START, DL_CODE_SUCCESS}));
  auto events = log_.Events();
  EXPECT_EQ(events.front().value, 1.0);
  EXPECT_EQ(events.back().text, kMechanismLibCurl);
  EXPECT_EQ(events.back().value, 0.0);
  auto progress = log_.Only(DL_CODE_PROGRESS);
  ASSERT_FALSE(progress.empty());
  for (size_t i = 0; i < progress.size(); ++i) {
    EXPECT_GT(progress[i].value, 0.0);
    EXPECT_LE(progress[i].value, 1.0);
    if (i > 0) {
      EXPECT_GE(progress[i].value, progress[i - 1].value);
    }
  }
  EXPECT_EQ(ReadFile(Out()), package);
}

// The expected MD5 is case-sensitive: an upper-case folder never matches. The
// first mismatch asks for the one retry, the second fails.
TEST_P(LibCurlDownloaderTest, ChecksumMismatchRetriesOnceThenFails) {
  const std::string package = RandomBytes(1 << 20, 22);
  std::string upper = package_server::PackageServer::Md5Hex(package);
  for (char& c : upper) c = static_cast<char>(toupper(c));
  Create(Publish(package, upper), OutWide());
  downloader_->Start();
  ASSERT_TRUE(log_.WaitForFinals(2));

  EXPECT_EQ(log_.Codes(), (std::vector<int32_t>{DL_CODE_START, DL_CODE_MESSAGE, DL_CODE_RETRY,
                                                DL_CODE_START, DL_CODE_MESSAGE, DL_CODE_FAIL}));
  for (auto& message : log_.Only(DL_CODE_MESSAGE)) {
    EXPECT_EQ(message.text, GetParam().mismatchMessage);
    EXPECT_EQ(message.value, 0.0);
  }
  EXPECT_EQ(log_.Only(DL_CODE_RETRY).at(0).value, 0.0);
  EXPECT_EQ(log_.Only(DL_CODE_RETRY).at(0).text, kMechanismLibCurl);
  EXPECT_EQ(log_.Only(DL_CODE_FAIL).at(0).value, 0.0);
  // The second run reused the real URL and length: no second probe (one
  // probe is the redirect and its target).
  EXPECT_EQ(server_->Requests("HEAD").size(), 2u);
  EXPECT_EQ(server_->Requests("GET").size(), 2u);
  // No further event after the final one.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(log_.Codes().size(), 6u);
}

TEST_P(LibCurlDownloaderTest, UrlWithoutMd5FolderCountsAsVerified) {
  for (const char* folder : {"short", "0123456789abcdef0123456789abcdef0"}) {
    SCOPED_TRACE(folder);
    log_.onEvent = nullptr;
    EventLog log;
    const std::string package = RandomBytes(1 << 20, 23);
    auto downloader = CreateDownloader(GetParam().downloadType, log.Callback(),
                                       Publish(package, folder), OutWide(folder));
    downloader->Start();
    ASSERT_TRUE(log.WaitForFinals(1));
    EXPECT_EQ(log.Codes(), (std::vector<int32_t>{DL_CODE_START, DL_CODE_MESSAGE, DL_CODE_SUCCESS}));
    EXPECT_EQ(log.Only(DL_CODE_MESSAGE).at(0).text, GetParam().noMd5Message);
    EXPECT_EQ(ReadFile(Out(folder)), package);
  }
}

TEST_P(LibCurlDownloaderTest, EmptyDestinationFailsAndStops) {
  Create(Publish(RandomBytes(1 << 20, 24)), L"");
  downloader_->Start();
  ASSERT_TRUE(log_.WaitForFinals(1));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(log_.Codes(), (std::vector<int32_t>{DL_CODE_START, DL_CODE_FAIL}));
  EXPECT_EQ(log_.Only(DL_CODE_FAIL).at(0).value, 1.0);
  EXPECT_EQ(log_.Only(DL_CODE_FAIL).at(0).text, L"");
  EXPECT_TRUE(server_->Requests().empty());
}

// Destroying a running downloader stops its transfer at once and sends nothing
// more.
TEST_P(LibCurlDownloaderTest, DestructionStopsARunningTransfer) {
  server_->SetBytesPerSecond(256 << 10);
  Create(Publish(RandomBytes(4 << 20, 25)), OutWide());
  downloader_->Start();
  ASSERT_TRUE(log_.WaitFor([](const std::vector<Event>& events) {
    return !events.empty() && events.back().code == DL_CODE_PROGRESS;
  }));
  auto before = std::chrono::steady_clock::now();
  downloader_.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(2));
  for (auto& event : log_.Events()) EXPECT_FALSE(download_test::IsFinal(event.code));
  EXPECT_FALSE(std::filesystem::exists(Out()));
}

INSTANTIATE_TEST_SUITE_P(Downloaders, LibCurlDownloaderTest, ::testing::ValuesIn(kFlavours),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CreateDownloaderTest, TypeSelectsTheDownloader) {
  struct Case {
    int type;
    const char* expected;
  } cases[] = {{0, "curl"}, {1, "curl"}, {4, "curl"}, {-1, "curl"}, {2, "win"}, {3, "mt"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    auto downloader = CreateDownloader(
        c.type, [](int32_t, double, const wchar_t*) {}, L"http://127.0.0.1:1/x", L"");
    const char* actual = dynamic_cast<CCurlDownloader*>(downloader.get())     ? "curl"
                         : dynamic_cast<CWinDownloader*>(downloader.get())    ? "win"
                         : dynamic_cast<CMTCurlDownloader*>(downloader.get()) ? "mt"
                                                                              : "none";
    EXPECT_STREQ(actual, c.expected);
  }
}

}  // namespace
