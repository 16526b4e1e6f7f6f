// quillon_download_bench TYPE URL DESTINATION
//
// One download with the downloader of download type TYPE (1 single-stream,
// 2 system, 3 segmented), the way the installer runs it. Prints one line:
//   seconds=<wall time> join_seconds=<segmented join> md5_after_seconds=<MD5 ready>
//   tail_seconds=<final event> maxrss_kib=<peak RSS> result=<code>
// (the *_seconds after the last segment's end; 0 for a single segment)
// and exits 0 when the run ended in DL_CODE_SUCCESS. Used by download_bench.sh.
#include <curl/curl.h>
#include <sys/resource.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "download/create_downloader.h"
#include "platform/debug_output.h"
#include "utils/text.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: quillon_download_bench TYPE URL DESTINATION\n");
    return 2;
  }
  using Clock = std::chrono::steady_clock;
  curl_global_init(CURL_GLOBAL_ALL);

  // Records are timestamps here: the last finished segment and the end of
  // the join bound the join's duration.
  std::mutex mutex;
  Clock::time_point lastSegment{}, joined{}, hashed{};
  platform::SetDebugOutputHook([&](const std::string& record) {
    std::lock_guard lock(mutex);
    if (record.find("curl_easy_cleanup") != std::string::npos) lastSegment = Clock::now();
    if (record.find("partPath::") != std::string::npos) joined = Clock::now();
    if (record.find("md5 hashed while downloading") != std::string::npos) hashed = Clock::now();
  });

  std::condition_variable done;
  int finalCode = 0;
  auto started = Clock::now();
  Clock::time_point finished;
  {
    auto downloader = CreateDownloader(
        std::atoi(argv[1]),
        [&](int32_t code, double, const wchar_t*) {
          if (code != DL_CODE_SUCCESS && code != DL_CODE_FAIL && code != DL_CODE_RETRY) return;
          std::lock_guard lock(mutex);
          finalCode = code;
          finished = Clock::now();
          done.notify_all();
        },
        Utils::MultiByteToWide(argv[2], Utils::kCodePageUtf8),
        Utils::MultiByteToWide(argv[3], Utils::kCodePageUtf8));
    downloader->Start();
    std::unique_lock lock(mutex);
    done.wait(lock, [&] { return finalCode != 0; });
  }
  platform::SetDebugOutputHook(nullptr);
  curl_global_cleanup();

  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  double seconds = std::chrono::duration<double>(finished - started).count();
  double join =
      joined > lastSegment ? std::chrono::duration<double>(joined - lastSegment).count() : 0.0;
  auto since = [&](Clock::time_point t) {
    return t > lastSegment ? std::chrono::duration<double>(t - lastSegment).count() : 0.0;
  };
  std::printf(
      "seconds=%.3f join_seconds=%.3f md5_after_seconds=%.3f tail_seconds=%.3f maxrss_kib=%ld "
      "result=%d\n",
      seconds, join, since(hashed), since(finished), usage.ru_maxrss, finalCode);
  return finalCode == DL_CODE_SUCCESS ? 0 : 1;
}
