#include "download/curl_client.h"

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <ctime>

#include "download/md5_stream.h"
#include "download/response_headers.h"
#include "tracker/analytics_bridge.h"
#include "utils/log.h"
#include "utils/text.h"

namespace {

std::wstring CurlErrorText(int code) {
  return Utils::MultiByteToWide(curl_easy_strerror(static_cast<CURLcode>(code)),
                                Utils::kCodePageUtf8);
}

// The status of the last response is usable: 200..399, or a file:/// read
// (libcurl reports no status for those).
bool StatusUsable(CURL* handle, long* code) {
  *code = 0;
  CURLcode query = curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, code);
  if (query != CURLE_OK) return false;
  if (*code >= 200 && *code <= 399) return true;
  char* scheme = nullptr;
  return *code == 0 && curl_easy_getinfo(handle, CURLINFO_SCHEME, &scheme) == CURLE_OK &&
         scheme != nullptr && strcasecmp(scheme, "file") == 0;
}

void ReportLengthFailure(long code) {
  char reason[201];
  snprintf(reason, sizeof reason, "1.获取文件大小的状态码为=%ld；", code);
  analytics::ReportTask(L"下载失败原因", 0.0f, Utils::MultiByteToWide(reason, Utils::kCodePageUtf8),
                        {{L"AB", L"IN"}});
}

int64_t FileSize(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return 0;
  return st.st_size > 0 ? static_cast<int64_t>(st.st_size) : 0;
}

}  // namespace

CurlClient::CurlClient(const std::wstring& url, const std::wstring& destination, void* owner,
                       ProgressFunction progress)
    : url_(url),
      destination_(destination),
      owner_(owner),
      progress_(progress),
      md5_(std::make_unique<download_internal::Md5Stream>()) {}

CurlClient::~CurlClient() {
  abort_ = true;
  part_.reset();
  std::string partPath = Utils::WideToMultiByte(GetPartPath(true), Utils::kCodePageAnsi);
  if (!partPath.empty()) std::remove(partPath.c_str());
}

std::wstring CurlClient::GetPartPath(bool withSuffix) const {
  return withSuffix ? destination_ + L".part" : destination_;
}

int CurlClient::Start() {
  QLOG(L"start download\r\n");
  const std::string partPath = Utils::WideToMultiByte(GetPartPath(true), Utils::kCodePageAnsi);
  const std::string destination = Utils::WideToMultiByte(GetPartPath(false), Utils::kCodePageAnsi);
  const bool isFile = url_.rfind(L"file:///", 0) == 0;
  const std::string url =
      Utils::WideToMultiByte(url_, isFile ? Utils::kCodePageAnsi : Utils::kCodePageUtf8);
  writtenMd5_.clear();

  if (realUrl_.empty() || fileLength_ < kMinimumLength) {
    if (CURL* head = Head(url)) {
      realUrl_ = GetRealUrl(head);
      fileLength_ = GetDownloadFileLength(head);
      validator_ = download_internal::RangeValidator(head);
      curl_easy_cleanup(head);
    }
  }
  if (realUrl_.empty() || fileLength_ < kMinimumLength) {
    realUrl_ = GetRealUrl_Str(url);
    if (!realUrl_.empty()) fileLength_ = GetDownloadFileLength_Str(realUrl_);
  }

  int result = kResultNoLength;
  if (fileLength_ >= kMinimumLength) result = Transfer(partPath);

  QLOG(L"error:%d:%ls\r\n", result, CurlErrorText(result).c_str());

  if (result == 0) {
    std::remove(destination.c_str());
    if (std::rename(partPath.c_str(), destination.c_str()) != 0) {
      QLOG(L"cannot rename the part file to %s\r\n", destination.c_str());
      result = kResultRenameFailed;
    } else {
      writtenMd5_ = md5_->Finish();
    }
  }
  QLOG(L"end download\r\n");
  return result;
}

int CurlClient::Transfer(const std::string& partPath) {
  handle_ = curl_easy_init();
  if (!handle_) return kResultNoHandle;
  part_.reset(std::fopen(partPath.c_str(), "ab+"));
  if (!part_) {
    curl_easy_cleanup(handle_);
    handle_ = nullptr;
    return kResultPartFile;
  }

  int64_t partSize = FileSize(partPath);
  if (partSize > 0 && partSize >= static_cast<int64_t>(fileLength_)) {
    // A part file as long as the package (or longer) cannot be resumed: its
    // end was never confirmed by this client.
    if (ftruncate(fileno(part_.get()), 0) == 0) partSize = 0;
  }
  if (md5_->Bytes() != partSize) md5_->ResetFromFile(partPath, partSize);

  int result = 0;
  for (int pass = 0; pass < 2; ++pass) {
    resumeOffset_ = partSize;
    ResetResponse();
    struct curl_slist* headers = curl_slist_append(nullptr, "Connection: keep-alive");
    headers = curl_slist_append(headers, "Accept-Encoding: identity");
    if (resumeOffset_ > 0 && !validator_.empty()) {
      headers = curl_slist_append(headers, ("If-Range: " + validator_).c_str());
    }
    int options = 0;
    options |= curl_easy_setopt(handle_, CURLOPT_HTTPHEADER, headers);
    options |= curl_easy_setopt(handle_, CURLOPT_TCP_KEEPALIVE, 1L);
    options |= curl_easy_setopt(handle_, CURLOPT_TCP_KEEPIDLE, 10L);
    options |= curl_easy_setopt(handle_, CURLOPT_TCP_KEEPINTVL, 10L);
    options |= curl_easy_setopt(handle_, CURLOPT_TIMEOUT, 0L);
    // A server that stops sending must not hang the installer forever.
    options |= curl_easy_setopt(handle_, CURLOPT_LOW_SPEED_LIMIT, 1L);
    options |= curl_easy_setopt(handle_, CURLOPT_LOW_SPEED_TIME, 30L);
    options |= curl_easy_setopt(handle_, CURLOPT_NOSIGNAL, 1L);
    options |= curl_easy_setopt(handle_, CURLOPT_URL, realUrl_.c_str());
    options |= curl_easy_setopt(handle_, CURLOPT_FOLLOWLOCATION, 1L);
    options |= curl_easy_setopt(handle_, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
    options |= curl_easy_setopt(handle_, CURLOPT_HEADERFUNCTION, &CurlClient::ReadHeader);
    options |= curl_easy_setopt(handle_, CURLOPT_HEADERDATA, this);
    options |= curl_easy_setopt(handle_, CURLOPT_WRITEFUNCTION, &CurlClient::WriteBody);
    options |= curl_easy_setopt(handle_, CURLOPT_WRITEDATA, this);
    options |= curl_easy_setopt(handle_, CURLOPT_NOPROGRESS, 0L);
    options |= curl_easy_setopt(handle_, CURLOPT_XFERINFOFUNCTION, &CurlClient::ProgressCallback);
    options |= curl_easy_setopt(handle_, CURLOPT_XFERINFODATA, this);
    options |= curl_easy_setopt(handle_, CURLOPT_FAILONERROR, 1L);
    options |= curl_easy_setopt(handle_, CURLOPT_CONNECTTIMEOUT, 60L);
    if (resumeOffset_ > 0) {
      options |= curl_easy_setopt(handle_, CURLOPT_RESUME_FROM_LARGE,
                                  static_cast<curl_off_t>(resumeOffset_));
    }
    result = options != 0 ? options : curl_easy_perform(handle_);
    curl_slist_free_all(headers);
    if (std::fflush(part_.get()) != 0 && result == 0) result = CURLE_WRITE_ERROR;

    // The server ignored the range, or the package changed under it: nothing
    // was appended; fetch the whole file again instead of spending a retry.
    bool startOver =
        answer_ == Answer::kStartOver || (resumeOffset_ > 0 && result == CURLE_RANGE_ERROR);
    if (pass == 0 && startOver) {
      QLOG(L"resume from %lld refused (status %ld), starting over\r\n",
           static_cast<long long>(resumeOffset_), status_);
      if (ftruncate(fileno(part_.get()), 0) != 0) break;
      md5_->Reset();
      partSize = 0;
      curl_easy_reset(handle_);
      continue;
    }
    break;
  }
  curl_easy_cleanup(handle_);
  handle_ = nullptr;
  part_.reset();
  return result;
}

void CurlClient::ResetResponse() {
  status_ = 0;
  rangeFirst_ = rangeLast_ = rangeTotal_ = -1;
  contentLength_ = -1;
  etag_.clear();
  lastModified_.clear();
  answer_ = Answer::kPending;
  writeFailed_ = false;
}

size_t CurlClient::ReadHeader(char* data, size_t size, size_t count, void* client) {
  auto* self = static_cast<CurlClient*>(client);
  const size_t bytes = size * count;
  const download_internal::HeaderLine line = download_internal::ParseHeaderLine(data, bytes);
  using Kind = download_internal::HeaderLine::Kind;
  if (line.kind == Kind::kStatus) {
    self->ResetResponse();
    self->status_ = line.status;
    return bytes;
  }
  if (line.kind == Kind::kEnd) {
    // The end of one response's headers: judge the final one before its body.
    if (self->status_ >= 300 && self->status_ < 400) return bytes;
    if (self->status_ < 200 && self->status_ != 0) return bytes;
    return self->CheckAnswer() ? bytes : 0;
  }
  if (line.Is("Content-Range")) {
    if (auto range = download_internal::ParseContentRange(line.value)) {
      self->rangeFirst_ = range->first;
      self->rangeLast_ = range->last;
      self->rangeTotal_ = range->total;
    }
  } else if (line.Is("Content-Length")) {
    self->contentLength_ = download_internal::ParseContentLength(line.value);
  } else if (line.Is("ETag")) {
    self->etag_ = line.value;
  } else if (line.Is("Last-Modified")) {
    self->lastModified_ = line.value;
  }
  return bytes;
}

// Decides, before the first body byte, whether this response may be written.
bool CurlClient::CheckAnswer() {
  if (status_ == 0) {  // file:///: libcurl seeks for the resume itself
    answer_ = Answer::kAccepted;
    return true;
  }
  if (resumeOffset_ > 0) {
    const int64_t length = static_cast<int64_t>(fileLength_);
    bool matches = status_ == 206 && rangeFirst_ == resumeOffset_ &&
                   (length <= 0 || (rangeTotal_ == length && rangeLast_ == length - 1));
    if (!matches && (status_ < 400 || status_ == 416)) {
      answer_ = Answer::kStartOver;
      return false;
    }
  } else if (status_ == 200 && contentLength_ >= 0) {
    // A fresh transfer: the package's length is what this answer says.
    fileLength_ = static_cast<double>(contentLength_);
  }
  if (status_ < 400) {
    std::string validator = download_internal::RangeValidator(etag_, lastModified_);
    if (!validator.empty()) validator_ = validator;
  }
  answer_ = Answer::kAccepted;
  return true;
}

size_t CurlClient::WriteBody(char* data, size_t size, size_t count, void* client) {
  auto* self = static_cast<CurlClient*>(client);
  const size_t bytes = size * count;
  if (self->answer_ == Answer::kPending && !self->CheckAnswer()) return 0;
  if (self->answer_ != Answer::kAccepted || !self->part_) return 0;
  size_t written = std::fwrite(data, 1, bytes, self->part_.get());
  if (written != bytes) {
    // What reached the file is unknown: the next Start() hashes it again.
    self->writeFailed_ = true;
    self->md5_->Reset();
    return written;
  }
  self->md5_->Update(data, written);
  return written;
}

int CurlClient::ProgressCallback(void* client, curl_off_t total, curl_off_t now, curl_off_t,
                                 curl_off_t) {
  auto* self = static_cast<CurlClient*>(client);
  if (self->abort_) return 1;
  int64_t current = static_cast<int64_t>(time(nullptr));
  if (current - self->lastProgressTime_ < 1) return 0;
  self->lastProgressTime_ = current;

  curl_off_t speedBytes = 0;
  double speed = 0.0;
  if (self->handle_ &&
      curl_easy_getinfo(self->handle_, CURLINFO_SPEED_DOWNLOAD_T, &speedBytes) == CURLE_OK) {
    speed = static_cast<double>(speedBytes);
  }
  double percent = 0.0;
  if (self->fileLength_ > kMinimumLength) {
    percent = static_cast<double>(self->resumeOffset_ + now) / self->fileLength_ * 100.0;
  } else {
    if (now <= 0 || total <= 0) return 0;
    percent = static_cast<double>(now) * 100.0 / static_cast<double>(total);
  }
  if (percent == 0.0) return 0;
  if (self->progress_) self->progress_(self->owner_, speed, 0.0, percent);
  if (total != 0) {
    QLOG(L" %dM %dM   progress:%f%%  speed:%f \n", static_cast<int>(now / 1048576),
         static_cast<int>(total / 1048576), static_cast<double>(static_cast<float>(percent)),
         static_cast<double>(static_cast<float>(speed / 1024.0)));
  }
  return 0;
}

CURL* CurlClient::Head(const std::string& url) {
  CURL* handle = curl_easy_init();
  int result = 0;
  if (handle) {
    result |=
        download_internal::SetProbeOptions(handle, url, download_internal::Redirects::kFollow);
    if (result == 0) {
      result = curl_easy_perform(handle);
      if (result != 0) QLOG(L"error:%d:%ls\r\n", result, CurlErrorText(result).c_str());
    }
  }
  QLOG(L"error:%d:%ls\r\n", result, CurlErrorText(result).c_str());
  return handle;
}

double CurlClient::GetDownloadFileLength(CURL* handle) {
  curl_off_t length = -1;
  int query = curl_easy_getinfo(handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  QLOG(L"error:%d:%ls\r\n", query, CurlErrorText(query).c_str());
  long code = 0;
  if (StatusUsable(handle, &code)) return static_cast<double>(length);
  ReportLengthFailure(code);
  return -1.0;
}

std::string CurlClient::GetRealUrl(CURL* handle) {
  char* url = nullptr;
  if (curl_easy_getinfo(handle, CURLINFO_EFFECTIVE_URL, &url) != CURLE_OK || !url) return "";
  return url;
}

double CurlClient::GetDownloadFileLength_Str(const std::string& url) {
  double length = -1.0;
  int result = 0;
  CURL* handle = curl_easy_init();
  if (handle) {
    result |= download_internal::SetProbeOptions(handle, url, download_internal::Redirects::kStay);
    result |= curl_easy_setopt(handle, CURLOPT_HEADER, 1L);
    if (result == 0) {
      curl_easy_perform(handle);
      curl_off_t stated = -1;
      result = curl_easy_getinfo(handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &stated);
      length = static_cast<double>(stated);
      long code = 0;
      if (!StatusUsable(handle, &code)) {
        ReportLengthFailure(code);
        length = -1.0;
      }
    }
  }
  QLOG(L"error:%d:%ls\r\n", result, CurlErrorText(result).c_str());
  if (handle) curl_easy_cleanup(handle);
  return length;
}

std::string CurlClient::GetRealUrl_Str(const std::string& url) {
  std::string effective;
  CURL* handle = curl_easy_init();
  if (handle) {
    int result = 0;
    result |=
        download_internal::SetProbeOptions(handle, url, download_internal::Redirects::kFollow);
    if (result == 0) {
      result = curl_easy_perform(handle);
      if (result != 0) {
        QLOG(L"error:%d:%ls\r\n", result, CurlErrorText(result).c_str());
      } else {
        effective = GetRealUrl(handle);
      }
    }
    curl_easy_cleanup(handle);
  }
  return effective.empty() ? url : effective;
}
