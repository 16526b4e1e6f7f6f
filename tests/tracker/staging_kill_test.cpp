// Killing the process while it stops analytics (flushing to an unreachable
// collector, then saving its queue) never leaves a half-written staging file
// and never loses the records saved before.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <thread>

#include "tests/tracker/tracker_test_env.h"
#include "tools/collector/collector.h"
#include "tracker/device_info.h"

namespace {

// The helper, started with its standard output on a pipe.
class Helper {
 public:
  Helper() {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      const int devnull = open("/dev/null", O_WRONLY);
      dup2(fds[1], 1);
      dup2(devnull, 2);
      close(fds[0]);
      close(fds[1]);
      execl(QUILLON_STAGING_WRITER, QUILLON_STAGING_WRITER, static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    out_ = fdopen(fds[0], "r");
  }
  ~Helper() {
    Kill();
    if (out_ != nullptr) fclose(out_);
  }
  // The next line of output, empty at the end.
  std::string ReadLine() {
    char line[256];
    if (out_ == nullptr || fgets(line, sizeof line, out_) == nullptr) return std::string();
    return line;
  }
  // True when the helper was still running and died of the signal.
  bool Kill() {
    if (pid_ <= 0) return false;
    kill(pid_, SIGKILL);
    int status = 0;
    const bool reaped = waitpid(pid_, &status, 0) == pid_;
    pid_ = -1;
    return reaped && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
  }

 private:
  pid_t pid_ = -1;
  FILE* out_ = nullptr;
};

TEST(StagingKillTest, KilledDuringStopLeavesWholeRecordsAndLosesNone) {
  tracker_test::TempHome home;
  collector::Collector probe;
  ASSERT_TRUE(probe.Start());
  const std::string downUrl = probe.CollectUrl();
  probe.Stop();
  home.Env().Set("QUILLON_ANALYTICS_URL", downUrl);
  const std::string appName = "Quillon.downloader";
  const std::string staging =
      usage::lumora::device::StagingFilePath(home.DataFolder(appName), appName);

  std::mt19937 random(20261211);
  size_t saved = 0;  // records on disk after the previous round
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    Helper helper;
    // Let one cycle complete (it measures how long a stop takes), then kill
    // somewhere inside the second stop.
    long stopMs = 0;
    std::string line;
    while (!(line = helper.ReadLine()).empty()) {
      long cycle = 0, ms = 0;
      if (std::sscanf(line.c_str(), "stopped %ld %ld", &cycle, &ms) == 2) stopMs = ms;
      if (line.rfind("stopping 1", 0) == 0) break;
    }
    ASSERT_FALSE(line.empty()) << "helper ended early";
    std::uniform_int_distribution<long> delay(0, stopMs + stopMs / 4 + 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(delay(random)));
    ASSERT_TRUE(helper.Kill());

    const std::string content = sdk_test::ReadFile(staging);
    ASSERT_FALSE(content.empty()) << "the saved queue was lost";
    ASSERT_EQ(content.substr(content.size() - 2), "\r\n") << "cut at the end";
    const auto lines = sdk_test::SplitLines(content);
    EXPECT_LE(lines.size(), 1024u);
    // Nothing was sent, so the queue on disk only grows (up to its bound).
    EXPECT_GE(lines.size(), std::min<size_t>(saved, 1024u));
    for (const std::string& l : lines) {
      const auto record = nlohmann::json::parse(l, nullptr, false);
      ASSERT_FALSE(record.is_discarded()) << l.substr(0, 80);
      ASSERT_EQ(record["event"], "LmEventTask");
    }
    saved = lines.size();
  }
}

TEST(ProcessExitTest, TrackerStillHeldAtExitUploadsItsEvents) {
  tracker_test::TempHome home;
  collector::Collector server;
  ASSERT_TRUE(server.Start());
  home.Env().Set("QUILLON_ANALYTICS_URL", server.CollectUrl());
  const std::string command =
      std::string(QUILLON_STAGING_WRITER) + " --report-and-exit >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
  const auto events = server.Events();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0]["event"], "LmEventTask");
  EXPECT_EQ(events[1]["event"], "LmEventClick");
  EXPECT_EQ(events[2]["event"], "LmEventView");
}

}  // namespace
