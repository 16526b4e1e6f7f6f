#include "download/curl_downloader.h"

#include <cstdio>

#include "utils/files.h"
#include "utils/log.h"
#include "utils/text.h"

CCurlDownloader::CCurlDownloader(DownloadEventCallback callback, const std::wstring& url,
                                 const std::wstring& destination)
    : CDownloader(std::move(callback)),
      destination_(destination),
      url_(url),
      client_(url, destination, this, &CCurlDownloader::ProgressAdapter) {
  std::string stale = Utils::WideToMultiByte(client_.GetPartPath(true), Utils::kCodePageAnsi);
  if (!destination_.empty() && !stale.empty()) std::remove(stale.c_str());
}

CCurlDownloader::~CCurlDownloader() {
  client_.Abort();
  threads_.StopAndJoin();
}

void CCurlDownloader::Start() {
  threads_.Launch([this] { dlThreadFun(); });
}

void CCurlDownloader::Emit(int32_t code, double value, const wchar_t* text) {
  if (threads_.Stopping()) return;
  Notify(code, value, text);
}

void CCurlDownloader::ProgressAdapter(void* owner, double speed, double, double percent) {
  if (speed > 0.0 && percent <= 100.0) {
    static_cast<CCurlDownloader*>(owner)->Emit(DL_CODE_PROGRESS, percent / 100.0, L"");
  }
}

void CCurlDownloader::dlThreadFun() {
  Emit(DL_CODE_START, 1.0, L"");
  if (destination_.empty()) {
    Emit(DL_CODE_FAIL, 1.0, L"");
    return;
  }
  int result = client_.Start();
  int budget = kRetryBudget;
  while (result != 0) {
    budget -= result == 18 /* CURLE_PARTIAL_FILE */ ? 1 : 2;
    if (budget <= 0) {
      Emit(DL_CODE_FAIL, static_cast<double>(result), kMechanismLibCurl);
      return;
    }
    QLOG(L"CurlDownLoader Code=%d\r\n", result);
    if (!threads_.SleepFor(std::chrono::milliseconds(kRetryPauseMs))) return;
    result = client_.Start();
  }

  const std::string expected = Utils::GetUrlParentSegment(client_.RealUrl());
  if (expected.size() == 32) {
    // The client hashed the bytes as it wrote them; read the file only when
    // it could not.
    std::string actual = client_.WrittenMd5();
    if (actual.size() != 32) {
      actual = Utils::GetFileMd5(Utils::WideToMultiByte(destination_, Utils::kCodePageAnsi));
    }
    if (actual.size() == 32 && actual != expected) {
      Emit(DL_CODE_MESSAGE, 0.0, kMessageCurlMd5Mismatch);
      if (!retriedOnce_) {
        retriedOnce_ = true;
        Emit(DL_CODE_RETRY, 0.0, kMechanismLibCurl);
      } else {
        Emit(DL_CODE_FAIL, 0.0, kMechanismLibCurl);
      }
      return;
    }
  } else {
    Emit(DL_CODE_MESSAGE, 0.0, kMessageCurlNoUrlMd5);
  }
  Emit(DL_CODE_SUCCESS, 0.0, kMechanismLibCurl);
}
