#include "tools/package_server/package_server.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>

namespace {

using package_server::Fault;
using package_server::PackageServer;

class PackageServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "quillon-ps-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    package_server::Options options;
    options.root = dir_;
    server_ = std::make_unique<PackageServer>(options);
    ASSERT_TRUE(server_->Start());
    for (int i = 0; i < 1000; ++i) body_ += static_cast<char>('a' + i % 26);
    path_ = server_->AddPackage("pkg.exe", body_);
    client_ = std::make_unique<httplib::Client>(server_->BaseUrl());
  }
  void TearDown() override {
    client_.reset();
    server_.reset();
    std::filesystem::remove_all(dir_);
  }

  std::filesystem::path dir_;
  std::unique_ptr<PackageServer> server_;
  std::unique_ptr<httplib::Client> client_;
  std::string body_;
  std::string path_;
};

TEST_F(PackageServerTest, ServesPackagesUnderTheirMd5Folder) {
  EXPECT_EQ(path_, "/packages/" + PackageServer::Md5Hex(body_) + "/pkg.exe");
  auto head = client_->Head(path_.c_str());
  ASSERT_TRUE(head);
  EXPECT_EQ(head->status, 200);
  EXPECT_EQ(head->get_header_value("Content-Length"), "1000");
  EXPECT_EQ(head->get_header_value("ETag").front(), '"');
  auto get = client_->Get(path_.c_str());
  ASSERT_TRUE(get);
  EXPECT_EQ(get->body, body_);
  for (const char* missing : {"/packages/x/none", "/../etc/passwd", "/packages"}) {
    auto answer = client_->Get(missing);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 404) << missing;
  }
}

TEST_F(PackageServerTest, RedirectsAndRecordsRequests) {
  server_->AddRedirect("/software/277", path_);
  auto answer = client_->Get("/software/277", {{"Range", "bytes=5-"}});
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, 302);
  EXPECT_EQ(answer->get_header_value("Location"), path_);
  auto records = server_->Requests();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].method, "GET");
  EXPECT_EQ(records[0].path, "/software/277");
  EXPECT_EQ(records[0].range, "bytes=5-");
}

TEST_F(PackageServerTest, RangesAndTheirFaults) {
  const std::string etag = client_->Head(path_.c_str())->get_header_value("ETag");
  struct Case {
    const char* name;
    httplib::Headers headers;
    Fault fault;
    int status;
    std::string body;
    std::string contentRange;
  } cases[] = {
      {"range", {{"Range", "bytes=10-19"}}, {}, 206, body_.substr(10, 10), "bytes 10-19/1000"},
      {"open range", {{"Range", "bytes=990-"}}, {}, 206, body_.substr(990), "bytes 990-999/1000"},
      {"suffix range", {{"Range", "bytes=-5"}}, {}, 206, body_.substr(995), "bytes 995-999/1000"},
      {"If-Range matches",
       {{"Range", "bytes=10-19"}, {"If-Range", etag}},
       {},
       206,
       body_.substr(10, 10),
       "bytes 10-19/1000"},
      {"If-Range differs", {{"Range", "bytes=10-19"}, {"If-Range", "\"old\""}}, {}, 200, body_, ""},
      {"unsatisfiable", {{"Range", "bytes=1000-"}}, {}, 416, "", "bytes */1000"},
      {"number beyond 64 bits", {{"Range", "bytes=99999999999999999999-"}}, {}, 416, "", ""},
      {"ignore range", {{"Range", "bytes=10-19"}}, Fault{.ignoreRange = true}, 200, body_, ""},
      {"more than the range",
       {{"Range", "bytes=10-19"}},
       Fault{.extraBytes = 5},
       206,
       body_.substr(10, 15),
       "bytes 10-19/1000"},
      {"bytes past the end are zeros",
       {{"Range", "bytes=995-"}},
       Fault{.extraBytes = 2},
       206,
       body_.substr(995) + std::string(2, '\0'),
       "bytes 995-999/1000"},
      {"wrong Content-Range",
       {{"Range", "bytes=10-19"}},
       Fault{.contentRange = "bytes 0-9/1000"},
       206,
       body_.substr(10, 10),
       "bytes 0-9/1000"},
      {"status", {}, Fault{.status = 503}, 503, "status 503\n", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    server_->AddFault(c.fault);
    auto answer = client_->Get(path_.c_str(), c.headers);
    server_->ClearFaults();
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, c.status);
    if (c.status != 416) {
      EXPECT_TRUE(answer->body == c.body);
    }
    EXPECT_EQ(answer->get_header_value("Content-Range"), c.contentRange);
  }
}

TEST_F(PackageServerTest, CutsStallsAndPacesBodies) {
  server_->AddFault(Fault{.method = "GET", .cutAfter = 100});
  EXPECT_FALSE(client_->Get(path_.c_str())) << "the body must end early";

  // A fault applies to its count of matching requests only.
  server_->AddFault(Fault{.method = "HEAD", .count = 2, .status = 404});
  EXPECT_EQ(client_->Head(path_.c_str())->status, 404);
  EXPECT_EQ(client_->Get(path_.c_str())->status, 200);
  EXPECT_EQ(client_->Head(path_.c_str())->status, 404);
  EXPECT_EQ(client_->Head(path_.c_str())->status, 200);

  struct Case {
    const char* name;
    Fault fault;
    std::chrono::milliseconds least;
  } cases[] = {
      {"stall before the headers", Fault{.stall = std::chrono::milliseconds(300)},
       std::chrono::milliseconds(300)},
      {"stall in the body", Fault{.stall = std::chrono::milliseconds(300), .stallAfter = 500},
       std::chrono::milliseconds(300)},
      {"pacing", Fault{.bytesPerSecond = 2000}, std::chrono::milliseconds(450)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    server_->AddFault(c.fault);
    auto started = std::chrono::steady_clock::now();
    auto answer = client_->Get(path_.c_str());
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->body, body_);
    EXPECT_GE(std::chrono::steady_clock::now() - started, c.least);
  }
}

TEST_F(PackageServerTest, StopInterruptsAStall) {
  server_->AddFault(Fault{.stall = std::chrono::milliseconds(30000)});
  std::thread request([this] { client_->Get(path_.c_str()); });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  auto started = std::chrono::steady_clock::now();
  server_->Stop();
  request.join();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
}

}  // namespace
