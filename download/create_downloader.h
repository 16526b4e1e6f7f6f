// Picks the downloader for a configured download type: 2 gives
// CWinDownloader, 3 CMTCurlDownloader, every other value CCurlDownloader.
// The caller owns the result; nothing is started.
#pragma once

#include <memory>
#include <string>

#include "download/downloader.h"

std::unique_ptr<CDownloader> CreateDownloader(int downloadType, DownloadEventCallback callback,
                                              const std::wstring& url,
                                              const std::wstring& destination);
