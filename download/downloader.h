// The downloader contract shared by the three package downloaders, and the
// job's event codes.
//
// A downloader is built with (event callback, source URL, destination path),
// started with Start(), restarted with Start() after DL_CODE_RETRY (also from
// inside that event, on the thread that delivered it), and destroyed by its
// owner when the job ends. Every run sends DL_CODE_START first, then any
// DL_CODE_PROGRESS and DL_CODE_MESSAGE events, and ends with exactly one of
// DL_CODE_SUCCESS, DL_CODE_FAIL or DL_CODE_RETRY (see the table below).
//
// Threads: events arrive on the downloader's worker threads, never on the
// thread that called Start(); the segmented downloader sends progress from
// several threads. The receiver must be callable from any thread and must not
// block for long. Texts handed to it live only for the call: copy to keep.
// Destruction stops a running transfer, joins every thread the downloader
// started, and sends no further events once it has begun.
#pragma once

#include <cstdint>
#include <functional>

// Event codes of the whole installation job (value and text meanings are
// where each is sent). The downloaders send 1001 to 1006:
//   DL_CODE_START     1.0, ""
//   DL_CODE_PROGRESS  fraction done 0..1, "" (a new attempt may go lower)
//   DL_CODE_SUCCESS   0.0, mechanism: "LibCurl" or "URLDownloadToFile"
//   DL_CODE_FAIL      result of the failed step (libcurl code, segment state,
//                     system result) or 1.0 with "" for an empty destination
//   DL_CODE_RETRY     result as for DL_CODE_FAIL, 0.0 after a checksum
//                     mismatch; "LibCurl"; at most once per downloader
//   DL_CODE_MESSAGE   0.0, a checksum message for the user
enum StageCode : int32_t {
  DL_CODE_START = 1001,
  DL_CODE_PROGRESS = 1002,
  DL_CODE_SUCCESS = 1003,
  DL_CODE_FAIL = 1004,
  DL_CODE_RETRY = 1005,
  DL_CODE_MESSAGE = 1006,

  IST_CODE_START = 2001,
  IST_CODE_PROGRESS = 2002,
  IST_CODE_SUCCESS = 2003,
  IST_CODE_FAIL = 2004,

  IST_INFO_INSTPATH = 3000,
  IST_INFO_EXEPATH = 3001,
  IST_INFO_UNINSTEXEPATH = 3002,
  IST_INFO_UNINSTEP = 3003,
  IST_INFO_STARTURL = 3004,
  IST_INFO_STARTUPSTYLE = 3005,
  IST_INFO_TOPSHOWDETENTION = 3007,
  IST_INFO_FINISHCLOSEDETENTION = 3008,
  IST_INFO_MESSAGE = 3009,

  UNIST_CODE_START = 5001,
  UNIST_CODE_PROGRESS = 5002,
  UNIST_CODE_SUCCESS = 5003,
  UNIST_CODE_FAIL = 5004,
  UNIST_CODE_ERROR = 5005,
};

// The job's event callback: (code, value, zero-terminated UTF-16 text).
using DownloadEventCallback = std::function<void(int32_t code, double value, const wchar_t* text)>;

// Mechanism names carried by DL_CODE_SUCCESS / DL_CODE_FAIL / DL_CODE_RETRY.
inline constexpr wchar_t kMechanismLibCurl[] = L"LibCurl";
inline constexpr wchar_t kMechanismSystem[] = L"URLDownloadToFile";

// Checksum messages (DL_CODE_MESSAGE).
inline constexpr wchar_t kMessageCurlMd5Mismatch[] = L"curl文件md5校验失败";
inline constexpr wchar_t kMessageCurlNoUrlMd5[] = L"curl获取url-md5失败";
inline constexpr wchar_t kMessageMtCurlMd5Mismatch[] = L"mtcurl文件md5校验失败";
inline constexpr wchar_t kMessageMtCurlNoUrlMd5[] = L"mtcurl获取url-md5失败";

// The configured download type: 2 selects CWinDownloader, 3 CMTCurlDownloader,
// every other value (default 1) CCurlDownloader.
enum DownloadTypeValue : int {
  kDownloadTypeCurl = 1,
  kDownloadTypeSystem = 2,
  kDownloadTypeMtCurl = 3
};

class CDownloader {
 public:
  // `callback` must hold a callable target; it is copied.
  explicit CDownloader(DownloadEventCallback callback) : callback_(std::move(callback)) {}
  virtual ~CDownloader() = default;
  CDownloader(const CDownloader&) = delete;
  CDownloader& operator=(const CDownloader&) = delete;

  // Begins (or, after DL_CODE_RETRY / DL_CODE_FAIL, restarts) the download on
  // a worker thread and returns at once. Callable from any thread, including
  // the downloader's own worker thread from inside an event. Calling it while
  // a run is in progress is not supported.
  virtual void Start() = 0;

 protected:
  void Notify(int32_t code, double value, const wchar_t* text) const {
    callback_(code, value, text);
  }

  DownloadEventCallback callback_;
};
