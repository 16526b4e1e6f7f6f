#include "download/create_downloader.h"

#include "download/curl_downloader.h"
#include "download/mt_curl_downloader.h"
#include "download/win_downloader.h"

std::unique_ptr<CDownloader> CreateDownloader(int downloadType, DownloadEventCallback callback,
                                              const std::wstring& url,
                                              const std::wstring& destination) {
  switch (downloadType) {
    case kDownloadTypeSystem:
      return std::make_unique<CWinDownloader>(std::move(callback), url, destination);
    case kDownloadTypeMtCurl:
      return std::make_unique<CMTCurlDownloader>(std::move(callback), url, destination);
    default:
      return std::make_unique<CCurlDownloader>(std::move(callback), url, destination);
  }
}
