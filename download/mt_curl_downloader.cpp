#include "download/mt_curl_downloader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <thread>
#include <vector>

#include "app/config/installer_config.h"
#include "download/md5_stream.h"
#include "download/response_headers.h"
#include "utils/files.h"
#include "utils/log.h"
#include "utils/text.h"

namespace {

std::wstring CurlErrorText(int code) {
  return Utils::MultiByteToWide(curl_easy_strerror(static_cast<CURLcode>(code)),
                                Utils::kCodePageUtf8);
}

// Size of a regular file, 0 for anything else.
int64_t RegularFileSize(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) return 0;
  return st.st_size;
}

// Appends all of `in` to `out` at `*outOffset`: in-kernel copy first, a large
// buffer where the file systems do not allow that.
bool AppendFile(int in, int out, off_t* outOffset) {
  off_t inOffset = 0;
  for (;;) {
    ssize_t copied = copy_file_range(in, &inOffset, out, outOffset, 64 << 20, 0);
    if (copied == 0) return true;
    if (copied > 0) continue;
    if (errno == EINTR) continue;
    if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP) return false;
    break;
  }
  std::vector<char> buffer(4 << 20);
  for (;;) {
    ssize_t got = pread(in, buffer.data(), buffer.size(), inOffset);
    if (got == 0) return true;
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    inOffset += got;
    for (ssize_t done = 0; done < got;) {
      ssize_t put = pwrite(out, buffer.data() + done, static_cast<size_t>(got - done), *outOffset);
      if (put < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      done += put;
      *outOffset += put;
    }
  }
}

}  // namespace

CMTCurlDownloader::CMTCurlDownloader(DownloadEventCallback callback, const std::wstring& url,
                                     const std::wstring& destination)
    : CDownloader(std::move(callback)), destination_(destination), url_(url) {
  if (destination_.empty()) return;
  std::string narrow = Utils::WideToMultiByte(destination_, Utils::kCodePageAnsi);
  if (!narrow.empty()) std::remove(narrow.c_str());
  RemovePartFiles();
}

CMTCurlDownloader::~CMTCurlDownloader() { threads_.StopAndJoin(); }

void CMTCurlDownloader::Start() {
  threads_.Launch([this] { Start_Down(); });
}

void CMTCurlDownloader::Emit(int32_t code, double value, const wchar_t* text) {
  if (threads_.Stopping()) return;
  Notify(code, value, text);
}

std::string CMTCurlDownloader::PartPath(int index) const {
  return Utils::WideToMultiByte(destination_, Utils::kCodePageAnsi) + "_" + std::to_string(index);
}

void CMTCurlDownloader::RemovePartFiles() {
  for (int i = 0; i < kMaxSegments; ++i) std::remove(PartPath(i).c_str());
}

void CMTCurlDownloader::Start_Down() {
  Emit(DL_CODE_START, 1.0, L"");
  QLOG(L"start download\r\n");
  if (destination_.empty()) {
    Emit(DL_CODE_FAIL, 1.0, L"");
    return;
  }
  const std::string destination = Utils::WideToMultiByte(destination_, Utils::kCodePageAnsi);
  const bool isFile = url_.rfind(L"file:///", 0) == 0;
  const std::string url =
      Utils::WideToMultiByte(url_, isFile ? Utils::kCodePageAnsi : Utils::kCodePageUtf8);

  std::remove(destination.c_str());
  if (startOver_.exchange(false)) {
    // The server refused a range last time: the package may have changed.
    realUrl_.clear();
    fileLength_ = -1;
    std::lock_guard lock(lock_);
    lastPercent_ = 0.0;
  }
  double lastPercent = 0.0;
  {
    std::lock_guard lock(lock_);
    lastPercent = lastPercent_;
  }
  if (lastPercent == 0.0) RemovePartFiles();

  if (realUrl_.empty() || fileLength_ < kMinimumLength) {
    if (!getRealDownloadUrl(url)) {
      Emit(DL_CODE_FAIL, 0.0, kMechanismLibCurl);
      return;
    }
  }

  int64_t count = fileLength_ / kSegmentUnit;
  if (count == 0) count = 1;
  if (count > kMaxSegments) count = kMaxSegments;
  const int64_t size = fileLength_ / count;

  ReleaseSegments();
  int64_t offset = 0;
  for (int64_t i = 0; i < count; ++i) {
    int64_t segmentSize = i == count - 1 ? fileLength_ - offset : size;
    auto segment = std::make_unique<DownloadPartNode>();
    segment->owner = this;
    segment->partPath = PartPath(static_cast<int>(i));
    int64_t existing = RegularFileSize(segment->partPath);
    if (existing > segmentSize) {
      // Longer than the segment: not this package's bytes.
      std::remove(segment->partPath.c_str());
      existing = 0;
    }
    segment->received = existing;
    segment->firstByte = offset;
    segment->nextByte = offset + existing;
    segment->lastByte = offset + segmentSize - 1;
    segment->handle.reset(curl_easy_init());
    segment->realUrl = realUrl_;
    if (segment->nextByte > segment->lastByte) {
      segment->state = 0;
      segment->finished = true;
    } else {
      segment->state = kStatePending;
      segment->partFile.reset(std::fopen(segment->partPath.c_str(), "ab+"));
      if (!segment->partFile) {
        segment->state = kStatePartFile;
      } else {
        // Bytes go straight to the file, where the hashing thread reads them.
        std::setvbuf(segment->partFile.get(), nullptr, _IONBF, 0);
      }
    }
    segments_.push_back(std::move(segment));
    offset += segmentSize;
  }

  for (auto& segment : segments_) {
    if (segment->state != kStatePending) segment->finished = true;
  }
  streamedMd5_.clear();
  hasher_ = std::make_unique<Utils::Thread>(nullptr, download_internal::kWorkerThreadName,
                                            [this](void*) { HashWhileDownloading(); });
  hasher_->Start();

  std::vector<std::unique_ptr<Utils::Thread>> segmentThreads;
  for (auto& segment : segments_) {
    if (segment->state != kStatePending) continue;
    if (threads_.Stopping()) break;
    ++runningSegments_;
    DownloadPartNode* raw = segment.get();
    auto thread =
        std::make_unique<Utils::Thread>(nullptr, download_internal::kWorkerThreadName,
                                        [this, raw](void*) { downloadThreadFun(this, raw); });
    if (!thread->Start()) {
      --runningSegments_;
      segment->finished = true;
      continue;
    }
    segmentThreads.push_back(std::move(thread));
    threads_.SleepFor(std::chrono::milliseconds(kStaggerMs));
  }
  for (auto& thread : segmentThreads) thread->Join();
  waitForFinishThreadFun(this);
}

void CMTCurlDownloader::HashWhileDownloading() {
  download_internal::Md5Stream md5;
  std::vector<char> buffer(1 << 20);
  // Every part file is opened now: the join may rename or remove them while
  // this thread still reads.
  std::vector<int> files;
  for (auto& segment : segments_) {
    files.push_back(open(segment->partPath.c_str(), O_RDONLY | O_CLOEXEC));
  }
  bool complete = true;
  for (size_t index = 0; index < segments_.size() && complete; ++index) {
    DownloadPartNode* segment = segments_[index].get();
    int64_t hashed = 0;
    const int64_t size = segment->lastByte - segment->firstByte + 1;
    while (hashed < size && !threads_.Stopping()) {
      // Read `finished` before the file: a segment that is finished and has
      // nothing more to read will never grow.
      bool finished = segment->finished;
      ssize_t got = files[index] < 0
                        ? 0
                        : pread(files[index], buffer.data(),
                                static_cast<size_t>(std::min<int64_t>(
                                    size - hashed, static_cast<int64_t>(buffer.size()))),
                                hashed);
      if (got > 0) {
        md5.Update(buffer.data(), static_cast<size_t>(got));
        hashed += got;
        continue;
      }
      if (finished) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    complete = hashed == size;
  }
  for (int fd : files) {
    if (fd >= 0) close(fd);
  }
  if (complete) streamedMd5_ = md5.Finish();
}

bool CMTCurlDownloader::getRealDownloadUrl(const std::string& url) {
  realUrl_.clear();
  expectedMd5_.clear();
  validator_.clear();
  fileLength_ = 0;
  if (!InstallerConfig::Instance().CurlReady) return false;

  CURL* handle = curl_easy_init();
  if (!handle) return false;
  struct curl_slist* headers = curl_slist_append(nullptr, "Connection: keep-alive");
  int options = 0;
  options |= curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers);
  options |= download_internal::SetProbeOptions(handle, url, download_internal::Redirects::kFollow);
  bool ok = options == 0 && curl_easy_perform(handle) == CURLE_OK;
  if (ok) {
    char* effective = nullptr;
    if (curl_easy_getinfo(handle, CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK && effective &&
        *effective) {
      realUrl_ = effective;
      QLOG(L"Download File real url %s\r\n", realUrl_.c_str());
      expectedMd5_ = Utils::GetUrlParentSegment(realUrl_);
    }
    curl_off_t length = -1;
    long code = 0;
    if (curl_easy_getinfo(handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK &&
        curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &code) == CURLE_OK && code >= 200 &&
        code <= 399) {
      fileLength_ = length;
      QLOG(L"Download File Length %lld\r\n", static_cast<long long>(fileLength_));
    }
    validator_ = download_internal::RangeValidator(handle);
  }
  curl_easy_cleanup(handle);
  curl_slist_free_all(headers);
  return !realUrl_.empty() && fileLength_ >= kMinimumLength;
}

int CMTCurlDownloader::downloadExe(DownloadPartNode* segment) {
  if (segment->nextByte > segment->lastByte) return segment->state = 0;
  CURL* handle = segment->handle.get();
  if (!handle) return segment->state = CURLE_FAILED_INIT;
  char range[64];
  snprintf(range, sizeof range, "%lld-%lld", static_cast<long long>(segment->nextByte),
           static_cast<long long>(segment->lastByte));
  struct curl_slist* headers = curl_slist_append(nullptr, "Accept-Encoding: identity");
  if (!validator_.empty()) {
    headers = curl_slist_append(headers, ("If-Range: " + validator_).c_str());
  }
  segment->status = 0;
  segment->answer = DownloadPartNode::Answer::kPending;
  int options = 0;
  options |= curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  options |= curl_easy_setopt(handle, CURLOPT_URL, segment->realUrl.c_str());
  options |= curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers);
  options |= curl_easy_setopt(handle, CURLOPT_TIMEOUT, 0L);
  options |= curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
  options |= curl_easy_setopt(handle, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
  options |=
      curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, &CMTCurlDownloader::ReadSegmentHeader);
  options |= curl_easy_setopt(handle, CURLOPT_HEADERDATA, segment);
  options |= curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &CMTCurlDownloader::WriteSegment);
  options |= curl_easy_setopt(handle, CURLOPT_WRITEDATA, segment);
  options |= curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
  options |=
      curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &CMTCurlDownloader::AggregateProgress);
  options |= curl_easy_setopt(handle, CURLOPT_XFERINFODATA, this);
  options |= curl_easy_setopt(handle, CURLOPT_FAILONERROR, 1L);
  options |= curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, 60L);
  options |= curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
  options |= curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, 5L);
  options |= curl_easy_setopt(handle, CURLOPT_RANGE, range);
  if (options != 0) {
    curl_easy_reset(handle);
    curl_slist_free_all(headers);
    return options;
  }
  int result = curl_easy_perform(handle);
  // A server that sent more than the range is stopped by the writer at the
  // range's end (a write error); the segment itself is complete.
  if (result == CURLE_WRITE_ERROR && segment->nextByte > segment->lastByte &&
      segment->answer == DownloadPartNode::Answer::kAccepted) {
    result = CURLE_OK;
  }
  if (segment->answer == DownloadPartNode::Answer::kRefused) result = CURLE_RANGE_ERROR;
  if (result != CURLE_OK) {
    QLOG(L"error:%d:%ls\r\n", result, CurlErrorText(result).c_str());
  } else {
    QLOG(L"curl_easy_cleanup\r\n");
  }
  curl_easy_reset(handle);
  curl_slist_free_all(headers);
  if (segment->partFile && std::fflush(segment->partFile.get()) != 0 && result == CURLE_OK) {
    result = CURLE_WRITE_ERROR;
  }
  if (result == CURLE_OK) segment->partFile.reset();
  segment->state = result;
  return result;
}

size_t CMTCurlDownloader::ReadSegmentHeader(char* data, size_t size, size_t count, void* part) {
  auto* segment = static_cast<DownloadPartNode*>(part);
  const size_t bytes = size * count;
  const download_internal::HeaderLine line = download_internal::ParseHeaderLine(data, bytes);
  using Kind = download_internal::HeaderLine::Kind;
  if (line.kind == Kind::kStatus) {
    segment->status = line.status;
    segment->rangeFirst = segment->rangeLast = segment->rangeTotal = segment->contentLength = -1;
    return bytes;
  }
  if (line.kind == Kind::kEnd) {
    if (segment->status < 200 || segment->status >= 300) return bytes;
    // The final answer's headers are complete: judge it before its body.
    const int64_t total = segment->owner->fileLength_;
    bool exact = segment->status == 206 && segment->rangeFirst == segment->nextByte &&
                 segment->rangeLast == segment->lastByte && segment->rangeTotal == total;
    bool wholeFile = segment->status == 200 && segment->nextByte == 0 &&
                     segment->lastByte == total - 1 && segment->contentLength == total;
    segment->answer = exact || wholeFile ? DownloadPartNode::Answer::kAccepted
                                         : DownloadPartNode::Answer::kRefused;
    return segment->answer == DownloadPartNode::Answer::kAccepted ? bytes : 0;
  }
  if (line.Is("Content-Range")) {
    if (auto range = download_internal::ParseContentRange(line.value)) {
      segment->rangeFirst = range->first;
      segment->rangeLast = range->last;
      segment->rangeTotal = range->total;
    }
  } else if (line.Is("Content-Length")) {
    segment->contentLength = download_internal::ParseContentLength(line.value);
  }
  return bytes;
}

size_t CMTCurlDownloader::WriteSegment(char* data, size_t size, size_t count, void* part) {
  auto* segment = static_cast<DownloadPartNode*>(part);
  const size_t n = size * count;
  if (segment->answer != DownloadPartNode::Answer::kAccepted) return 0;
  if (!segment->partFile || segment->nextByte > segment->lastByte) return 0;
  size_t wanted = n;
  if (segment->nextByte + static_cast<int64_t>(n) - 1 > segment->lastByte) {
    wanted = static_cast<size_t>(segment->lastByte - segment->nextByte + 1);
  }
  size_t written = std::fwrite(data, 1, wanted, segment->partFile.get());
  segment->nextByte += static_cast<int64_t>(written);
  segment->received += static_cast<int64_t>(written);
  return written;
}

int CMTCurlDownloader::AggregateProgress(void* downloader, curl_off_t, curl_off_t, curl_off_t,
                                         curl_off_t) {
  auto* self = static_cast<CMTCurlDownloader*>(downloader);
  if (self->threads_.Stopping()) return 1;
  double percent = 0.0;
  {
    std::lock_guard lock(self->lock_);
    int64_t now = static_cast<int64_t>(time(nullptr));
    if (now - self->lastProgressTime_ < 1) return 0;
    self->lastProgressTime_ = now;
    if (self->fileLength_ >= kMinimumLength) {
      for (auto& segment : self->segments_) {
        int64_t received = segment->received;
        if (received > 0) {
          percent += static_cast<double>(received) * 100.0 / static_cast<double>(self->fileLength_);
        }
      }
      if (percent > 100.0) return 0;
    }
    if (percent - self->lastPercent_ < 1.0) return 0;
    self->lastPercent_ = percent;
  }
  self->Emit(DL_CODE_PROGRESS, percent / 100.0, L"");
  return 0;
}

void CMTCurlDownloader::downloadThreadFun(CMTCurlDownloader* downloader,
                                          DownloadPartNode* segment) {
  int result = downloader->downloadExe(segment);
  int budget = kRetryBudget;
  while (result != 0 && budget > 0) {
    // A refused range will be refused again: the next run starts over.
    if (result == CURLE_RANGE_ERROR) {
      downloader->startOver_ = true;
      break;
    }
    budget -= result == CURLE_PARTIAL_FILE ? 1 : 2;
    QLOG(L"CurlDownLoader Code=%d\r\n", result);
    if (!downloader->threads_.SleepFor(std::chrono::milliseconds(kRetryPauseMs))) break;
    result = downloader->downloadExe(segment);
  }
  if (result == CURLE_RANGE_ERROR) downloader->startOver_ = true;
  segment->partFile.reset();
  segment->finished = true;
  --downloader->runningSegments_;
}

bool CMTCurlDownloader::JoinPartFiles(const std::string& destination) {
  int out = open(segments_.front()->partPath.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (out < 0) return false;
  off_t outOffset = lseek(out, 0, SEEK_END);
  bool ok = outOffset >= 0;
  for (size_t i = 1; ok && i < segments_.size(); ++i) {
    int in = open(segments_[i]->partPath.c_str(), O_RDONLY | O_CLOEXEC);
    ok = in >= 0 && AppendFile(in, out, &outOffset);
    if (in >= 0) close(in);
    QLOG(L"partPath::%s\r\n", segments_[i]->partPath.c_str());
  }
  if (close(out) != 0) ok = false;
  if (ok && outOffset != static_cast<off_t>(fileLength_)) ok = false;
  if (ok) ok = std::rename(segments_.front()->partPath.c_str(), destination.c_str()) == 0;
  RemovePartFiles();
  return ok;
}

void CMTCurlDownloader::waitForFinishThreadFun(CMTCurlDownloader* downloader) {
  CMTCurlDownloader* self = downloader;
  while (self->runningSegments_ > 0) {
    if (!self->threads_.SleepFor(std::chrono::milliseconds(200))) break;
  }
  if (self->threads_.Stopping()) {
    self->ReleaseSegments();
    return;
  }
  const std::string destination = Utils::WideToMultiByte(self->destination_, Utils::kCodePageAnsi);

  int failure = 0;
  for (auto& segment : self->segments_) {
    if (segment->state != 0) {
      failure = segment->state;
      break;
    }
  }
  if (failure == 0) {
    {
      std::lock_guard lock(self->lock_);
      self->lastPercent_ = 0.0;
    }
    for (auto& segment : self->segments_) segment->partFile.reset();
    if (!self->JoinPartFiles(destination)) {
      std::remove(destination.c_str());
      failure = kStateJoinFailed;
    }
  }
  if (failure == 0) {
    if (self->hasher_) self->hasher_->Join();
    if (self->expectedMd5_.size() == 32) {
      // Hashed while the segments arrived; read the file only when that fell short.
      std::string actual = self->streamedMd5_;
      if (actual.size() == 32) {
        QLOG(L"md5 hashed while downloading\r\n");
      } else {
        actual = Utils::GetFileMd5(destination);
      }
      if (actual.size() == 32 && actual != self->expectedMd5_) {
        self->Emit(DL_CODE_MESSAGE, 0.0, kMessageMtCurlMd5Mismatch);
        std::remove(destination.c_str());
        self->ReleaseSegments();
        if (!self->retriedOnce_) {
          self->retriedOnce_ = true;
          QLOG(L"finish recv, md5 chaek failed retry once.\r\n");
          self->Emit(DL_CODE_RETRY, 0.0, kMechanismLibCurl);
        } else {
          QLOG(L"finish recv, md5 chaek failed and retry failed.\r\n");
          self->Emit(DL_CODE_FAIL, 0.0, kMechanismLibCurl);
        }
        return;
      }
    } else {
      self->Emit(DL_CODE_MESSAGE, 0.0, kMessageMtCurlNoUrlMd5);
    }
    QLOG(L"finish recv\r\n");
    self->ReleaseSegments();
    self->Emit(DL_CODE_SUCCESS, 0.0, kMechanismLibCurl);
    return;
  }

  // Incomplete transfer.
  self->ReleaseSegments();
  bool nothingReported = false;
  {
    std::lock_guard lock(self->lock_);
    nothingReported = self->lastPercent_ == 0.0;
  }
  if (nothingReported || self->startOver_) self->RemovePartFiles();
  if (!self->retriedOnce_) {
    self->retriedOnce_ = true;
    self->Emit(DL_CODE_RETRY, static_cast<double>(failure), kMechanismLibCurl);
  } else {
    {
      std::lock_guard lock(self->lock_);
      self->lastPercent_ = 0.0;
    }
    self->Emit(DL_CODE_FAIL, static_cast<double>(failure), kMechanismLibCurl);
  }
}

void CMTCurlDownloader::ReleaseSegments() {
  if (hasher_) {
    hasher_->Join();
    hasher_.reset();
  }
  std::lock_guard lock(lock_);
  segments_.clear();
}
