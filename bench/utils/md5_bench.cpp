// Utils::GetFileMd5 against md5sum on the same 1 GiB file, in one run.
// Prints both throughputs and their ratio (target: at least 0.95).
//
//   build/<dir>/bench/utils/md5_bench [--size-mib=N] [benchmark flags]
//
// The file is written to $TMPDIR (else /tmp), read once to warm the page
// cache, and removed at the end. Both contenders hash the same cached bytes.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "utils/files.h"
#include "utils/process.h"
#include "utils/text.h"

namespace {

std::string gFile;
std::string gExpected;

std::string RunMd5sum() {
  Utils::ChildProcess child;
  child.Start(L"md5sum \"" + Utils::MultiByteToWide(gFile, Utils::kCodePageUtf8) + L"\"");
  std::string out;
  char buffer[256];
  for (ssize_t n; (n = child.ReadOutput(buffer, sizeof(buffer), -1)) > 0;) {
    out.append(buffer, static_cast<size_t>(n));
  }
  child.Wait();
  return out.substr(0, 32);
}

void BM_GetFileMd5(benchmark::State& state) {
  for (auto _ : state) {
    std::string digest = Utils::GetFileMd5(gFile);
    if (digest != gExpected) state.SkipWithError("digest differs from md5sum");
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_Md5sum(benchmark::State& state) {
  for (auto _ : state) {
    std::string digest = RunMd5sum();
    if (digest != gExpected) state.SkipWithError("md5sum failed");
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

// Keeps the real time per iteration of every run for the closing ratio.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
        seconds_[run.run_name.function_name] =
            run.real_accumulated_time / static_cast<double>(run.iterations);
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> seconds_;
};

bool WriteTestFile(const std::string& path, size_t mib) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  std::vector<unsigned char> block(1 << 20);
  uint32_t x = 0x12345678u;
  bool ok = true;
  for (size_t i = 0; i < mib && ok; ++i) {
    for (unsigned char& b : block) {
      x ^= x << 13;
      x ^= x >> 17;
      x ^= x << 5;
      b = static_cast<unsigned char>(x);
    }
    ok = write(fd, block.data(), block.size()) == static_cast<ssize_t>(block.size());
  }
  return close(fd) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  size_t mib = 1024;
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], "--size-mib=", 11) == 0) {
      mib = std::strtoul(argv[i] + 11, nullptr, 10);
    } else {
      args.push_back(argv[i]);
    }
  }
  const char* tmp = std::getenv("TMPDIR");
  gFile = std::string(tmp && *tmp ? tmp : "/tmp") + "/quillon_md5_bench." +
          std::to_string(getpid()) + ".bin";
  if (mib == 0 || !WriteTestFile(gFile, mib)) {
    std::fprintf(stderr, "cannot write %s\n", gFile.c_str());
    unlink(gFile.c_str());
    return 1;
  }
  gExpected = RunMd5sum();  // also warms the page cache
  const int64_t bytes = static_cast<int64_t>(mib) << 20;
  benchmark::RegisterBenchmark("GetFileMd5", BM_GetFileMd5)
      ->Arg(bytes)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->Iterations(3);
  benchmark::RegisterBenchmark("md5sum", BM_Md5sum)
      ->Arg(bytes)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->Iterations(3);

  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  unlink(gFile.c_str());

  auto ours = reporter.seconds_.find("GetFileMd5");
  auto peer = reporter.seconds_.find("md5sum");
  if (ours == reporter.seconds_.end() || peer == reporter.seconds_.end() || ours->second <= 0) {
    std::fprintf(stderr, "a run failed; no ratio\n");
    return 1;
  }
  const double mibs = static_cast<double>(mib);
  std::printf("file: %zu MiB\nGetFileMd5: %.0f MiB/s\nmd5sum:     %.0f MiB/s\n", mib,
              mibs / ours->second, mibs / peer->second);
  std::printf("ratio GetFileMd5/md5sum throughput: %.3f (target >= 0.95)\n",
              peer->second / ours->second);
  return 0;
}
