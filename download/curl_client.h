// CurlClient: downloads one file over HTTP(S) (or file:///) with libcurl into
// "<destination>.part", resumes that part file across calls of Start(), and
// renames it to the destination when a transfer succeeds.
//
// Before the first transfer Start() finds the real address (after redirects)
// and the length with header-only requests; both are kept for later calls.
//
// Resuming is safe against servers that ignore ranges and against a package
// replaced on the server: a resumed transfer appends only when the answer is
// 206 with a Content-Range that starts at the part file's size and states the
// known total; it carries the first response's strong ETag (or Last-Modified)
// as If-Range. Any other answer truncates the part file and the same Start()
// fetches the file again from byte 0. The body is asked for in the identity
// encoding and stored exactly as received. TLS certificates are verified.
//
// While it writes, the client hashes the file (MD5), seeded with the part
// file's bytes on a resume; WrittenMd5() gives the digest of the last
// successful transfer, equal to Utils::GetFileMd5 of the destination.
//
// Threads: one worker thread drives a client at a time (Start() blocks for the
// whole transfer). Abort() may be called from any thread; the transfer stops
// at its next progress callback with CURLE_ABORTED_BY_CALLBACK (42).
// Ownership: the client owns its part file while it exists; destruction
// removes it.
#pragma once

#include <curl/curl.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace download_internal {
class Md5Stream;
}

class CurlClient {
 public:
  // Receives (owner, average speed in bytes/s, reserved 0.0, percent done).
  using ProgressFunction = void (*)(void* owner, double speed, double reserved, double percent);

  // Results of Start() besides 0 and libcurl codes.
  static constexpr int kResultNoLength = -998;      // no length, or below 1 MiB
  static constexpr int kResultNoHandle = -997;      // no libcurl easy handle
  static constexpr int kResultPartFile = -996;      // the part file cannot be opened
  static constexpr int kResultRenameFailed = -995;  // the part file cannot become the destination

  static constexpr double kMinimumLength = 1048576.0;
  // Receive buffer of a transfer (libcurl's default of 16 KiB costs several
  // times the CPU per byte).
  static constexpr long kReceiveBufferBytes = 512 * 1024;

  CurlClient(const std::wstring& url, const std::wstring& destination, void* owner,
             ProgressFunction progress);
  ~CurlClient();
  CurlClient(const CurlClient&) = delete;
  CurlClient& operator=(const CurlClient&) = delete;

  // The destination path followed by ".part" (withSuffix) or the destination.
  std::wstring GetPartPath(bool withSuffix) const;

  // One transfer attempt: 0, a libcurl result code or one of the codes above.
  // On failure the bytes received stay in the part file for the next call.
  int Start();

  // Stops a running transfer at its next progress callback.
  void Abort() { abort_ = true; }

  // libcurl transfer-information callback; `client` is the CurlClient.
  static int ProgressCallback(void* client, curl_off_t total, curl_off_t now,
                              curl_off_t uploadTotal, curl_off_t uploadNow);

  // Header-only request that follows redirects. The caller reads the returned
  // handle and releases it with curl_easy_cleanup; nullptr when none exists.
  static CURL* Head(const std::string& url);
  // Length stated by the last response of `handle`, or -1.0 (then a task
  // report "下载失败原因" names the status code).
  static double GetDownloadFileLength(CURL* handle);
  // Effective URL of `handle`; empty when libcurl has none.
  static std::string GetRealUrl(CURL* handle);
  // A header-only request of `url` (no redirects): its length or -1.0.
  static double GetDownloadFileLength_Str(const std::string& url);
  // The effective URL of `url` after redirects; `url` itself when unknown.
  static std::string GetRealUrl_Str(const std::string& url);

  // State kept between calls of Start() (read on the worker thread).
  const std::string& RealUrl() const { return realUrl_; }
  double FileLength() const { return fileLength_; }
  // 32 lower-case hex digits after a successful Start(); empty otherwise.
  const std::string& WrittenMd5() const { return writtenMd5_; }

 private:
  enum class Answer { kPending, kAccepted, kStartOver };
  struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };

  int Transfer(const std::string& partPath);
  static size_t WriteBody(char* data, size_t size, size_t count, void* client);
  static size_t ReadHeader(char* data, size_t size, size_t count, void* client);
  bool CheckAnswer();
  void ResetResponse();

  // Constant after construction.
  const std::wstring url_;
  const std::wstring destination_;
  void* const owner_;
  const ProgressFunction progress_;

  // Worker-thread state.
  CURL* handle_ = nullptr;  // the transfer in progress
  double fileLength_ = -1.0;
  int64_t resumeOffset_ = -1;
  int64_t lastProgressTime_ = 0;
  std::string realUrl_;
  std::string validator_;  // strong ETag or Last-Modified of the package
  std::string writtenMd5_;
  std::unique_ptr<std::FILE, FileCloser> part_;
  std::unique_ptr<download_internal::Md5Stream> md5_;

  // The response being received.
  long status_ = 0;
  int64_t rangeFirst_ = -1, rangeLast_ = -1, rangeTotal_ = -1;
  int64_t contentLength_ = -1;
  std::string etag_, lastModified_;
  Answer answer_ = Answer::kPending;
  bool writeFailed_ = false;

  std::atomic<bool> abort_{false};
};
