// CCurlDownloader: the default downloader (download type 1 and every type
// other than 2 and 3). One HTTP transfer through a CurlClient, retried with a
// cost-based budget, then checked against the MD5 named by the parent folder
// of the package's real URL.
//
// Events (see download/downloader.h), per run:
//   DL_CODE_START; with an empty destination DL_CODE_FAIL 1.0 "" and the run
//   ends. Transfer attempts: a partial file (libcurl 18) costs 1 of a budget
//   of 12, every other failure 2, with a 500 ms pause and the record
//   "CurlDownLoader Code=<r>" between attempts; a spent budget ends the run
//   with DL_CODE_FAIL <r> "LibCurl". DL_CODE_PROGRESS (fraction) at most once
//   a second while bytes arrive. After the transfer: a URL without a
//   32-character parent folder gives DL_CODE_MESSAGE "curl获取url-md5失败" and
//   counts as verified; a mismatching MD5 gives DL_CODE_MESSAGE
//   "curl文件md5校验失败" and DL_CODE_RETRY 0.0 the first time in the
//   downloader's life, DL_CODE_FAIL 0.0 afterwards. Else DL_CODE_SUCCESS 0.0
//   "LibCurl" with the package at the destination.
//
// Between runs the client keeps its real URL, length and part file, so a
// restart resumes and sends no probes. Construction removes a stale part file.
// Threads: each run on its own worker thread (see CDownloader); destruction
// aborts the transfer, cuts pauses short and joins.
#pragma once

#include <string>

#include "download/curl_client.h"
#include "download/downloader.h"
#include "download/run_threads.h"

class CCurlDownloader : public CDownloader {
 public:
  CCurlDownloader(DownloadEventCallback callback, const std::wstring& url,
                  const std::wstring& destination);
  ~CCurlDownloader() override;

  void Start() override;

  // Turns a client progress report into DL_CODE_PROGRESS: only when the speed
  // is above 0 and the percent at most 100.
  static void ProgressAdapter(void* owner, double speed, double reserved, double percent);

  static constexpr int kRetryBudget = 12;
  static constexpr int kRetryPauseMs = 500;

 private:
  void dlThreadFun();
  void Emit(int32_t code, double value, const wchar_t* text);

  // Constant after construction.
  const std::wstring destination_;
  const std::wstring url_;

  // Used by one run at a time, on its worker thread.
  CurlClient client_;
  bool retriedOnce_ = false;

  download_internal::RunThreads threads_;  // last member: joined first
};
