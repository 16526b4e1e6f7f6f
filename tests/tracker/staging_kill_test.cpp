// Killing the process while it saves its queue never leaves a half-written
// staging file: the file holds whole records or is empty.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <thread>

#include "tests/tracker/tracker_test_env.h"
#include "tools/collector/collector.h"
#include "tracker/device_info.h"

namespace {

TEST(StagingKillTest, KilledWriterLeavesWholeRecords) {
  tracker_test::TempHome home;
  collector::Collector probe;
  ASSERT_TRUE(probe.Start());
  const std::string downUrl = probe.CollectUrl();
  probe.Stop();
  home.Env().Set("QUILLON_ANALYTICS_URL", downUrl);
  // The helper's own executable folder has no Set.ini; its data folder is the
  // default one under our temporary XDG_DATA_HOME.
  const std::string appName = "Quillon.downloader";
  const std::string staging =
      usage::lumora::device::StagingFilePath(home.DataFolder(appName), appName);

  std::mt19937 random(12345);
  std::uniform_int_distribution<int> delayMs(20, 400);
  int checkedNonEmpty = 0;
  for (int round = 0; round < 12; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      const int devnull = open("/dev/null", O_WRONLY);
      dup2(devnull, 1);
      dup2(devnull, 2);
      execl(QUILLON_STAGING_WRITER, QUILLON_STAGING_WRITER, static_cast<char*>(nullptr));
      _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs(random)));
    ASSERT_EQ(kill(pid, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status)) << "helper ended by itself: " << status;

    const std::string content = sdk_test::ReadFile(staging);
    if (content.empty()) continue;
    ++checkedNonEmpty;
    ASSERT_EQ(content.substr(content.size() - 2), "\r\n") << "cut at the end";
    const auto lines = sdk_test::SplitLines(content);
    EXPECT_LE(lines.size(), 1024u);
    for (const std::string& line : lines) {
      const auto record = nlohmann::json::parse(line, nullptr, false);
      ASSERT_FALSE(record.is_discarded()) << line.substr(0, 80);
      ASSERT_EQ(record["event"], "LmEventTask");
    }
  }
  // The rounds must have seen saved queues, or the test proved nothing.
  EXPECT_GT(checkedNonEmpty, 0);
}

}  // namespace
