#include "tools/collector/collector.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <string>
#include <thread>

#include "sdk/batch_sender.h"
#include "tests/sdk/sdk_test_util.h"

namespace collector {
namespace {

std::string Body(const std::string& batchText) {
  std::string body;
  EXPECT_TRUE(event_sdk::BuildBatchBody(batchText, &body));
  return body;
}

std::string Gzip(const std::string& text) {
  std::string out;
  EXPECT_TRUE(event_sdk::GzipCompress(text, &out));
  return out;
}

std::string Form(const std::string& raw) {
  return "data_list=" + event_sdk::PercentEncode(event_sdk::Base64Encode(raw)) + "&gzip=1";
}

class CollectorTest : public testing::Test {
 protected:
  void SetUp() override {
    CollectorOptions options;
    options.eventsFile = dir_.File("events.jsonl");
    options.stallTime = std::chrono::milliseconds(200);
    server_ = std::make_unique<Collector>(options);
    ASSERT_TRUE(server_->Start());
    client_ = std::make_unique<httplib::Client>("127.0.0.1", server_->Port());
  }

  int Post(const std::string& body) {
    auto res = client_->Post("/collect?project=pc", body, "application/x-www-form-urlencoded");
    return res ? res->status : -1;
  }

  sdk_test::TempDir dir_;
  std::unique_ptr<Collector> server_;
  std::unique_ptr<httplib::Client> client_;
};

TEST_F(CollectorTest, AcceptedEventsGoToTheFileOnePerLine) {
  EXPECT_EQ(Post(Body(R"([{"event":"A","n":1},{"event":"B","s":"安装中"}])")), 200);
  EXPECT_EQ(Post(Body(R"([{"event":"C"}])")), 200);
  const auto lines = sdk_test::SplitLines(sdk_test::ReadFile(dir_.File("events.jsonl")));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(nlohmann::json::parse(lines[0]), nlohmann::json::parse(R"({"event":"A","n":1})"));
  EXPECT_EQ(nlohmann::json::parse(lines[1])["s"], "安装中");
  EXPECT_EQ(nlohmann::json::parse(lines[2])["event"], "C");
  EXPECT_EQ(server_->Events().size(), 3u);
  EXPECT_TRUE(server_->WaitForEvents(3, std::chrono::milliseconds(10)));
  EXPECT_FALSE(server_->WaitForEvents(4, std::chrono::milliseconds(10)));
}

TEST_F(CollectorTest, MalformedBodiesGet400AndNothingIsKept) {
  std::string cut = Gzip(R"([{"a":1}])");
  cut.resize(cut.size() - 6);
  struct Case {
    const char* label;
    std::string body;
  };
  const Case cases[] = {
      {"empty body", ""},
      {"no data_list", "gzip=1"},
      {"empty data_list", "data_list=&gzip=1"},
      {"bad percent escape", "data_list=%G1&gzip=1"},
      {"percent cut by the end", "data_list=abc%4&gzip=1"},
      {"not base64", "data_list=%21%21%21%21&gzip=1"},
      {"not gzip", Form("plain text, not gzip")},
      {"cut gzip", Form(cut)},
      {"gzip of non-JSON", Form(Gzip("[{\"a\":"))},
      {"JSON object, not array", Form(Gzip(R"({"a":1})"))},
      {"array of numbers", Form(Gzip("[1,2]"))},
      {"invalid UTF-8 in JSON", Form(Gzip("[{\"a\":\"\xff\"}]"))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(Post(c.body), 400);
  }
  EXPECT_TRUE(server_->Events().empty());
  EXPECT_EQ(server_->BatchCount(), std::size(cases));
  // Still serving.
  EXPECT_EQ(Post(Body("[]")), 200);
}

TEST_F(CollectorTest, ReplyModesAndControl) {
  struct Case {
    const char* mode;
    int status;
  };
  const Case cases[] = {{"204", 204}, {"500", 500}, {"stall", 503}, {"accept", 200}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    auto res = client_->Post(std::string("/control?mode=") + c.mode, "", "text/plain");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Post(Body(R"([{"a":1}])")), c.status);
    if (std::string(c.mode) == "stall") {
      EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
    }
  }
  // Only the accepted batch counts.
  EXPECT_EQ(server_->Events().size(), 1u);
  auto bad = client_->Post("/control?mode=404", "", "text/plain");
  ASSERT_TRUE(bad);
  EXPECT_EQ(bad->status, 400);
}

TEST(CollectorStopTest, StopEndsAStalledRequest) {
  CollectorOptions options;
  options.mode = ReplyMode::kStall;
  options.stallTime = std::chrono::minutes(5);
  Collector server(options);
  ASSERT_TRUE(server.Start());
  std::thread client([&] {
    httplib::Client c("127.0.0.1", server.Port());
    c.Post("/collect", Body("[]"), "application/x-www-form-urlencoded");
  });
  // Give the request time to reach the handler, where it is held.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const auto start = std::chrono::steady_clock::now();
  server.Stop();
  client.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(server.BatchCount(), 1u);
}

#ifdef QUILLON_COLLECTOR_PROGRAM
TEST(CollectorProgramTest, PrintsItsPortAndAppendsEvents) {
  sdk_test::TempDir dir;
  const std::string portFile = dir.File("port");
  const std::string events = dir.File("events.jsonl");
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    dup2(out[1], 1);
    close(out[0]);
    close(out[1]);
    execl(QUILLON_COLLECTOR_PROGRAM, QUILLON_COLLECTOR_PROGRAM, "--port-file", portFile.c_str(),
          "--events", events.c_str(), "--mode", "accept", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  std::string printed;
  char c;
  while (read(out[0], &c, 1) == 1 && c != '\n') printed.push_back(c);
  close(out[0]);
  const int port = std::atoi(printed.c_str());
  ASSERT_GT(port, 0) << printed;
  EXPECT_EQ(std::atoi(sdk_test::ReadFile(portFile).c_str()), port);

  httplib::Client client("127.0.0.1", port);
  auto res = client.Post("/collect?project=pc", Body(R"([{"event":"X"}])"),
                         "application/x-www-form-urlencoded");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  auto control = client.Post("/control?mode=500", "", "text/plain");
  ASSERT_TRUE(control);
  res = client.Post("/collect?project=pc", Body(R"([{"event":"Y"}])"),
                    "application/x-www-form-urlencoded");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 500);

  kill(pid, SIGTERM);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(sdk_test::ReadFile(events), "{\"event\":\"X\"}\n");
}

TEST(CollectorProgramTest, BadOptionsAreRefused) {
  const std::string command = std::string(QUILLON_COLLECTOR_PROGRAM) + " --mode 302 2>/dev/null";
  const int status = std::system(command.c_str());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << status;
}
#endif

}  // namespace
}  // namespace collector
