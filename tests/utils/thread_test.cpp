#include "utils/thread.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <string>

#include "tests/utils/test_support.h"

namespace {

std::string KernelThreadName(uint32_t id) {
  std::ifstream comm("/proc/self/task/" + std::to_string(id) + "/comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

TEST(Thread, WorkWaitsForStartAndGetsItsArgument) {
  std::atomic<bool> ran{false};
  void* seen = nullptr;
  int owner = 0;
  Utils::Thread thread(&owner, L"worker", [&](void* argument) {
    seen = argument;
    ran = true;
  });
  EXPECT_NE(thread.Id(), 0xFFFFFFFFu);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(ran);  // created suspended
  ASSERT_TRUE(thread.Start());
  thread.Join();
  EXPECT_TRUE(ran);
  EXPECT_EQ(seen, &owner);
  EXPECT_EQ(thread.Id(), 0xFFFFFFFFu);
  thread.Join();  // a second join does nothing
}

TEST(Thread, NamedForDebuggers) {
  struct Case {
    std::wstring name;
    std::string expected;  // "" means "t" + id
  };
  const Case cases[] = {
      {L"downloader", "downloader"},
      {L"a-very-long-thread-name", "a-very-long-thr"},
      {L"", ""},
      {L"下载线程下载线程", "下载线程下"},  // cut to 15 bytes at a character boundary
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    Utils::Thread thread(nullptr, c.name, [](void*) {});
    std::string expected = c.expected.empty() ? "t" + std::to_string(thread.Id()) : c.expected;
    EXPECT_EQ(KernelThreadName(thread.Id()), expected);
    EXPECT_EQ(thread.Name(), c.name);
    thread.Start();
  }
}

TEST(Thread, WritesBeginAndEndRecords) {
  quillon_test::DebugCapture capture;
  {
    Utils::Thread thread(nullptr, L"rec", [](void*) {});
    thread.Start();
  }
  auto records = capture.Records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_NE(records[0].find("(Utils::Thread::CallBack)<"), std::string::npos);
  EXPECT_TRUE(records[0].ends_with(">: THREAD BEGIN\r\n")) << records[0];
  EXPECT_TRUE(records[1].ends_with(">: THREAD END\r\n")) << records[1];
  EXPECT_NE(records[1].find("(Utils::Thread::CallBack)<"), std::string::npos);
}

TEST(Thread, DestroyedWithoutStartNeverRunsTheWork) {
  quillon_test::DebugCapture capture;
  std::atomic<bool> ran{false};
  {
    Utils::Thread thread(nullptr, L"idle", [&](void*) { ran = true; });
  }
  EXPECT_FALSE(ran);
  EXPECT_TRUE(capture.Records().empty());
}

TEST(Thread, DestructorWaitsForTheWork) {
  std::atomic<int> state{0};
  {
    Utils::Thread thread(nullptr, L"slow", [&](void*) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      state = 1;
    });
    thread.Start();
  }
  EXPECT_EQ(state, 1);
}

TEST(Thread, EscapingExceptionIsContained) {
  quillon_test::DebugCapture capture;
  {
    Utils::Thread thread(nullptr, L"throws", [](void*) { throw std::runtime_error("boom"); });
    thread.Start();
  }
  auto records = capture.Records();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_NE(records[1].find("THREAD EXCEPTION boom"), std::string::npos);
  EXPECT_NE(records[2].find("THREAD END"), std::string::npos);
}

}  // namespace
