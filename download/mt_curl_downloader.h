// CMTCurlDownloader: the segmented downloader (download type 3). The package
// is fetched as one range (below 20 MiB) or two ranges in parallel, each into
// its own part file "<destination>_0" / "_1", then joined into the
// destination and checked against the MD5 named by the parent folder of the
// package's real URL.
//
// Events (see download/downloader.h), per run:
//   DL_CODE_START; a failed probe (no real URL, length below 256, request
//   failed, HTTP library not ready) ends the run with DL_CODE_FAIL 0.0
//   "LibCurl". DL_CODE_PROGRESS from the segment threads, at most once a
//   second and in steps of at least one point. Each segment retries on its own
//   (budget 12: a partial file costs 1, other failures 2; 400 ms pauses,
//   record "CurlDownLoader Code=<r>"); a segment that still fails, or whose
//   part file cannot be opened (state -2), ends the run with DL_CODE_RETRY
//   <state> the first time in the downloader's life and DL_CODE_FAIL <state>
//   afterwards. After the join: "mtcurl获取url-md5失败" (verified) or
//   "mtcurl文件md5校验失败" followed by DL_CODE_RETRY 0.0 / DL_CODE_FAIL 0.0,
//   else DL_CODE_SUCCESS 0.0 "LibCurl".
//
// Each segment appends only when the server answers 206 with the segment's
// exact Content-Range and the package's total (a one-segment request from
// byte 0 also takes a 200 of the whole package); range requests carry the
// probe's strong ETag or Last-Modified as If-Range. Any other answer means the
// range was ignored or the package changed: the segment stops with
// CURLE_RANGE_ERROR (33), and the next run probes again and starts every part
// file over. Lengths are 64-bit. TLS certificates are verified.
//
// The package's MD5 is computed while the segments arrive: a hashing thread
// follows the part files in package order and reads each byte once, soon after
// it was written; only what it could not reach is read again after the join.
// The join of the part files runs alongside the end of that hashing.
//
// Between runs the real URL, length and expected MD5 are kept; part files
// survive a run that reported progress (the next run resumes them) and are
// removed otherwise.
//
// Threads: each run on its own worker thread, which also starts one thread
// per segment, joins them, joins the files and sends the final event.
// Destruction aborts the transfers, cuts pauses short and joins every thread.
#pragma once

#include <curl/curl.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "download/downloader.h"
#include "download/run_threads.h"

class CMTCurlDownloader : public CDownloader {
 public:
  // Segment states besides 0 (complete) and libcurl codes.
  static constexpr int kStatePending = -1;
  static constexpr int kStatePartFile = -2;    // the part file cannot be opened
  static constexpr int kStateJoinFailed = -3;  // the part files cannot be joined

  static constexpr int64_t kSegmentUnit = 10485760;  // 10 MiB
  static constexpr int kMaxSegments = 2;
  static constexpr int64_t kMinimumLength = 256;
  static constexpr int kRetryBudget = 12;
  static constexpr int kRetryPauseMs = 400;
  static constexpr int kStaggerMs = 100;
  static constexpr long kReceiveBufferBytes = 512 * 1024;

  struct DownloadPartNode {
    struct FileCloser {
      void operator()(std::FILE* file) const { std::fclose(file); }
    };
    struct HandleCleanup {
      void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
    };
    enum class Answer { kPending, kAccepted, kRefused };

    std::unique_ptr<std::FILE, FileCloser> partFile;
    int64_t nextByte = 0;  // absolute offset of the next byte to request
    int64_t lastByte = 0;  // absolute offset of the segment's last byte
    std::unique_ptr<CURL, HandleCleanup> handle;
    std::string realUrl;
    std::string partPath;  // narrow destination path + "_<index>"
    int state = kStatePending;
    std::atomic<int64_t> received{0};   // segment bytes on disk
    std::atomic<bool> finished{false};  // the segment's thread is done with it
    int64_t firstByte = 0;              // absolute offset of the segment's first byte

    // The response being received (segment thread only).
    CMTCurlDownloader* owner = nullptr;
    long status = 0;
    int64_t rangeFirst = -1, rangeLast = -1, rangeTotal = -1, contentLength = -1;
    Answer answer = Answer::kPending;
  };

  CMTCurlDownloader(DownloadEventCallback callback, const std::wstring& url,
                    const std::wstring& destination);
  ~CMTCurlDownloader() override;

  void Start() override;

  // Header-only probe of `url`: true when a real URL and a length of at least
  // 256 bytes were found (kept for later runs).
  bool getRealDownloadUrl(const std::string& url);
  // One transfer attempt of `segment`; returns libcurl's result (0 also when
  // the segment is complete although the server sent more than its range).
  int downloadExe(DownloadPartNode* segment);
  static void downloadThreadFun(CMTCurlDownloader* downloader, DownloadPartNode* segment);
  static void waitForFinishThreadFun(CMTCurlDownloader* downloader);

 private:
  void Start_Down();
  void Emit(int32_t code, double value, const wchar_t* text);
  void ReleaseSegments();
  void RemovePartFiles();
  bool JoinPartFiles(const std::string& destination);
  std::string PartPath(int index) const;
  static int AggregateProgress(void* downloader, curl_off_t, curl_off_t, curl_off_t, curl_off_t);
  static size_t WriteSegment(char* data, size_t size, size_t count, void* segment);
  static size_t ReadSegmentHeader(char* data, size_t size, size_t count, void* segment);
  // Hashes the part files in package order as they grow; stores the digest
  // in streamedMd5_ when it reached the package's end.
  void HashWhileDownloading();

  // Constant after construction.
  const std::wstring destination_;
  const std::wstring url_;

  // Run state: written by the run's thread; segment threads read the fields
  // below only while they run (the run joins them before writing again).
  std::vector<std::unique_ptr<DownloadPartNode>> segments_;
  std::string realUrl_;
  int64_t fileLength_ = -1;
  std::string expectedMd5_;
  std::string validator_;  // strong ETag or Last-Modified from the probe
  bool retriedOnce_ = false;
  std::atomic<bool> startOver_{false};  // a segment's range was refused
  std::atomic<int> runningSegments_{0};
  std::string streamedMd5_;                // written by the hashing thread, read after its join
  std::unique_ptr<Utils::Thread> hasher_;  // of the current run; joined by its end

  // Progress bookkeeping, shared by the segment threads.
  mutable std::mutex lock_;
  double lastPercent_ = 0.0;
  int64_t lastProgressTime_ = 0;

  download_internal::RunThreads threads_;  // last member: joined first
};
