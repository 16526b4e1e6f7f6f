// CWinDownloader: the system downloader (download type 2). Fetches the package
// with the system's HTTP service (libsoup for http and https, GIO for
// "file:///" addresses) straight into the destination: no resume, no probe, no
// checksum. Up to three attempts per run, each followed by a 1000 ms pause when
// it fails.
//
// The address is the source URL percent-encoded with Utils::UrlEncodeWide
// (bytes 33..126 kept, blank to "+", every other byte "%XX"); a "file:///"
// source URL is used unchanged. TLS certificates are verified; the body is
// asked for in the identity encoding.
//
// Events (see download/downloader.h), per run: DL_CODE_START; with an empty
// destination DL_CODE_FAIL 1.0 "" and the run ends. DL_CODE_PROGRESS (bytes so
// far / bytes expected) for every block the service delivers while the
// expected size is known. Then DL_CODE_SUCCESS 0.0 "URLDownloadToFile", or
// after the third failure DL_CODE_FAIL <result> "URLDownloadToFile" with one
// of the result codes below. Never DL_CODE_RETRY or DL_CODE_MESSAGE.
// A failed attempt leaves no file at the destination.
//
// Threads: each run on its own worker thread; progress is reported there.
// Destruction sets the bind callback's abort flag, which cancels a running
// transfer at once, cuts the pause short, and joins.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "download/downloader.h"
#include "download/run_threads.h"

typedef struct _GCancellable GCancellable;

class CWinDownloader : public CDownloader {
 public:
  // Result codes of an attempt (signed 32-bit, the system's values).
  static constexpr int32_t kResultOk = 0;
  static constexpr int32_t kResultAborted = static_cast<int32_t>(0x80004004);    // E_ABORT
  static constexpr int32_t kResultFileError = static_cast<int32_t>(0x80004005);  // E_FAIL
  static constexpr int32_t kResultInvalidUrl =
      static_cast<int32_t>(0x800C0002);  // INET_E_INVALID_URL
  static constexpr int32_t kResultCannotConnect =
      static_cast<int32_t>(0x800C0004);  // INET_E_CANNOT_CONNECT
  static constexpr int32_t kResultNotFound =
      static_cast<int32_t>(0x800C0005);  // INET_E_RESOURCE_NOT_FOUND
  static constexpr int32_t kResultDownloadFailure =
      static_cast<int32_t>(0x800C0008);  // INET_E_DOWNLOAD_FAILURE
  static constexpr int32_t kResultSecurityProblem =
      static_cast<int32_t>(0x800C000E);  // INET_E_SECURITY_PROBLEM

  static constexpr int kAttempts = 3;
  static constexpr int kRetryPauseMs = 1000;

  // Follows one transfer: turns its byte counts into progress events and
  // stops it when the downloader is being destroyed.
  class CBindCallback {
   public:
    CBindCallback() = default;
    ~CBindCallback();
    CBindCallback(const CBindCallback&) = delete;
    CBindCallback& operator=(const CBindCallback&) = delete;

    // Sends DL_CODE_PROGRESS progress/progressMax (none when progressMax is
    // 0). Returns kResultAborted once the abort flag is set, else kResultOk.
    int32_t OnProgress(uint64_t progress, uint64_t progressMax);

    void SetCallback(DownloadEventCallback callback);
    // Sets the abort flag and cancels the transfer in progress. Any thread.
    void Abort();
    bool Aborted() const { return abort_; }
    // The cancellable of the transfer in progress (owned by the caller).
    void Bind(GCancellable* cancellable);

   private:
    DownloadEventCallback callback_;
    std::atomic<bool> abort_{false};
    std::mutex mutex_;  // guards binding_
    GCancellable* binding_ = nullptr;
  };

  CWinDownloader(DownloadEventCallback callback, const std::wstring& url,
                 const std::wstring& destination);
  ~CWinDownloader() override;

  void Start() override;

 private:
  void WorkerProcedure();
  void Emit(int32_t code, double value, const wchar_t* text);
  int32_t DownloadToFile(const std::string& address, const std::string& destination);
  int32_t FetchHttp(const std::string& address, const std::string& destination,
                    GCancellable* cancellable);
  int32_t CopyLocal(const std::string& address, const std::string& destination,
                    GCancellable* cancellable);

  CBindCallback bindCallback_;
  const std::wstring destination_;
  const std::wstring url_;
  download_internal::RunThreads threads_;  // last member: joined first
};
