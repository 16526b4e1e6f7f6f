#include "download/curl_client.h"

#include <gtest/gtest.h>

#include <mutex>

#include "tests/download/download_test_support.h"
#include "utils/files.h"

namespace {

using download_test::RandomBytes;
using download_test::ReadFile;
using download_test::Wide;
using package_server::Fault;

struct ProgressLog {
  std::mutex mutex;
  std::vector<double> percents;
  static void Record(void* owner, double, double reserved, double percent) {
    auto* self = static_cast<ProgressLog*>(owner);
    EXPECT_EQ(reserved, 0.0);
    std::lock_guard lock(self->mutex);
    self->percents.push_back(percent);
  }
};

class CurlClientTest : public download_test::ServerFixture {
 protected:
  std::unique_ptr<CurlClient> MakeClient(const std::wstring& url) {
    return std::make_unique<CurlClient>(url, OutWide(), &progress_, &ProgressLog::Record);
  }
  ProgressLog progress_;
};

TEST_F(CurlClientTest, DownloadsThroughRedirectAndHashesAsItWrites) {
  const std::string package = RandomBytes(3 << 20, 1);
  std::wstring url = Publish(package);
  std::ofstream(Out()) << "an older file";  // replaced on success

  auto client = MakeClient(url);
  ASSERT_EQ(client->Start(), 0);
  EXPECT_EQ(ReadFile(Out()), package);
  EXPECT_FALSE(std::filesystem::exists(Out().string() + ".part"));
  EXPECT_EQ(client->RealUrl(), server_->BaseUrl() + packagePath_);
  EXPECT_EQ(client->FileLength(), static_cast<double>(package.size()));
  EXPECT_EQ(client->WrittenMd5(), Utils::GetFileMd5(Out().string()));

  auto gets = server_->Requests("GET");
  ASSERT_EQ(gets.size(), 1u);
  EXPECT_EQ(gets[0].path, packagePath_);
  EXPECT_EQ(gets[0].range, "");
  // The body is stored as received: never ask for a compressed one.
  EXPECT_EQ(gets[0].acceptEncoding, "identity");
}

TEST_F(CurlClientTest, LengthLimitIsOneMebibyte) {
  struct Case {
    size_t size;
    int result;
  } cases[] = {{1048576, 0}, {1048575, CurlClient::kResultNoLength}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    server_->ClearRequests();
    auto client = MakeClient(Publish(RandomBytes(c.size, 2)));
    EXPECT_EQ(client->Start(), c.result);
    // Too short: nothing is transferred.
    EXPECT_EQ(server_->Requests("GET").size(), c.result == 0 ? 1u : 0u);
  }
}

TEST_F(CurlClientTest, ProbesAnswered404GiveNoLength) {
  server_->AddFault(Fault{.method = "HEAD", .count = -1, .status = 404});
  auto client = MakeClient(Publish(RandomBytes(2 << 20, 3)));
  EXPECT_EQ(client->Start(), CurlClient::kResultNoLength);
  EXPECT_TRUE(server_->Requests("GET").empty());
  EXPECT_TRUE(client->FileLength() < 0);
}

// A cut at 40 %, then a paced resume: the second transfer asks for the rest
// only, and its first progress report starts near 40 %, not at 0.
TEST_F(CurlClientTest, ResumesFromThePartFileAfterACut) {
  const std::string package = RandomBytes(4 << 20, 4);
  const int64_t cut = static_cast<int64_t>(package.size()) * 4 / 10;
  std::wstring url = Publish(package);
  auto client = MakeClient(url);

  server_->AddFault(Fault{.method = "GET", .cutAfter = cut});
  EXPECT_EQ(client->Start(), CURLE_PARTIAL_FILE);
  EXPECT_EQ(std::filesystem::file_size(Out().string() + ".part"), static_cast<uintmax_t>(cut));
  EXPECT_FALSE(std::filesystem::exists(Out()));

  progress_.percents.clear();
  server_->AddFault(Fault{.method = "GET", .bytesPerSecond = 1 << 20});
  ASSERT_EQ(client->Start(), 0);
  EXPECT_EQ(ReadFile(Out()), package);
  EXPECT_EQ(client->WrittenMd5(), Utils::GetFileMd5(Out().string()));

  auto gets = server_->Requests("GET");
  ASSERT_EQ(gets.size(), 2u);
  EXPECT_EQ(gets[1].range, "bytes=" + std::to_string(cut) + "-");
  // The first answer's strong ETag guards the resume.
  EXPECT_FALSE(gets[1].ifRange.empty());
  EXPECT_EQ(gets[1].ifRange.front(), '"');
  // The second transfer sent no probes (one probe: the redirect and its
  // target): real URL and length were kept.
  EXPECT_EQ(server_->Requests("HEAD").size(), 2u);
  ASSERT_FALSE(progress_.percents.empty());
  EXPECT_GE(progress_.percents.front(), 40.0);
  EXPECT_LT(progress_.percents.front(), 70.0);
}

// Answers to a resume that must not be appended to the part file. Each time
// the client fetches the whole file again within the same Start().
TEST_F(CurlClientTest, StartsOverWhenTheResumeIsRefused) {
  struct Case {
    const char* name;
    Fault refusal;
    bool replacePackage;
  } cases[] = {
      {"server ignores Range", Fault{.method = "GET", .ignoreRange = true}, false},
      {"Content-Range at the wrong offset",
       Fault{.method = "GET", .contentRange = "bytes 0-2516581/4194304"}, false},
      {"package replaced on the server", Fault{.method = "NONE"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(Out());
    server_->ClearRequests();
    server_->ClearFaults();
    const std::string original = RandomBytes(4 << 20, 5);
    std::string expected = original;
    std::wstring url = Publish(original, "plain");
    auto client = MakeClient(url);
    server_->AddFault(Fault{.method = "GET", .cutAfter = 1677721});
    ASSERT_EQ(client->Start(), CURLE_PARTIAL_FILE);

    if (c.replacePackage) {
      expected = RandomBytes(original.size(), 6);
      Publish(expected, "plain");
      auto file = server_->Root() / "packages" / "plain" / "pkg.exe";
      std::filesystem::last_write_time(
          file, std::filesystem::last_write_time(file) + std::chrono::seconds(5));
    }
    server_->AddFault(c.refusal);
    ASSERT_EQ(client->Start(), 0);
    EXPECT_TRUE(ReadFile(Out()) == expected) << "the package is not the server's file";
    EXPECT_EQ(client->WrittenMd5(), Utils::GetFileMd5(Out().string()));

    auto gets = server_->Requests("GET");
    ASSERT_EQ(gets.size(), 3u);
    EXPECT_EQ(gets[1].range, "bytes=1677721-");
    EXPECT_EQ(gets[2].range, "") << "the whole file is fetched again";
  }
}

TEST_F(CurlClientTest, OversizedPartFileIsNotResumed) {
  const std::string package = RandomBytes(2 << 20, 7);
  auto client = MakeClient(Publish(package));
  std::ofstream(Out().string() + ".part", std::ios::binary) << RandomBytes(3 << 20, 8);
  ASSERT_EQ(client->Start(), 0);
  EXPECT_EQ(ReadFile(Out()), package);
  EXPECT_EQ(server_->Requests("GET").at(0).range, "");
}

TEST_F(CurlClientTest, DestructionRemovesThePartFile) {
  const std::string package = RandomBytes(2 << 20, 9);
  auto client = MakeClient(Publish(package));
  server_->AddFault(Fault{.method = "GET", .cutAfter = 1000});
  EXPECT_EQ(client->Start(), CURLE_PARTIAL_FILE);
  ASSERT_TRUE(std::filesystem::exists(Out().string() + ".part"));
  client.reset();
  EXPECT_FALSE(std::filesystem::exists(Out().string() + ".part"));
}

// A local path with non-ASCII characters resolves (locale charset).
TEST_F(CurlClientTest, FileUrlIsCopied) {
  const std::string package = RandomBytes(1 << 20, 10);
  auto source = dir_ / "source-文件.bin";
  std::ofstream(source, std::ios::binary) << package;
  auto client = MakeClient(Wide("file://" + source.string()));
  ASSERT_EQ(client->Start(), 0);
  EXPECT_EQ(ReadFile(Out()), package);
}

TEST_F(CurlClientTest, ProbeHelpersReadTheFinalAnswer) {
  const std::string package = RandomBytes(1 << 20, 11);
  Publish(package);
  const std::string start = server_->BaseUrl() + "/software/277";
  EXPECT_EQ(CurlClient::GetRealUrl_Str(start), server_->BaseUrl() + packagePath_);
  EXPECT_EQ(CurlClient::GetDownloadFileLength_Str(server_->BaseUrl() + packagePath_),
            static_cast<double>(package.size()));
  EXPECT_EQ(CurlClient::GetDownloadFileLength_Str(server_->BaseUrl() + "/missing"), -1.0);
  // An address that cannot be reached is returned unchanged.
  EXPECT_EQ(CurlClient::GetRealUrl_Str("http://127.0.0.1:1/x"), "http://127.0.0.1:1/x");
}

}  // namespace
