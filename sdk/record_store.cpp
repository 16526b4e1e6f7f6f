#include "sdk/record_store.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>

namespace event_sdk {

namespace {

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Makes the rename itself durable.
void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// Temporary files of ReplaceFileAtomically that a killed process left behind
// ("<staging>.XXXXXX"). Recent ones may belong to a writer still at work.
void RemoveStaleTemporaries(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path target(path);
  const std::string prefix = target.filename().string() + ".";
  const auto now = fs::file_time_type::clock::now();
  for (fs::directory_iterator it(target.parent_path().empty() ? "." : target.parent_path(), ec),
       end;
       !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) continue;
    std::error_code timeError;
    const auto written = fs::last_write_time(it->path(), timeError);
    if (timeError || now - written < std::chrono::minutes(1)) continue;
    fs::remove(it->path(), timeError);
  }
}

bool IsRecordLine(const std::string& line) {
  return !line.empty() && line.front() == '{' && line.back() == '}';
}

}  // namespace

bool ReplaceFileAtomically(const std::string& path, const std::string& content) {
  std::string temp = path + ".XXXXXX";
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, content.data(), content.size()) && ::fsync(fd) == 0;
  if (::close(fd) != 0) ok = false;
  if (ok && ::rename(temp.c_str(), path.c_str()) != 0) ok = false;
  if (!ok) {
    ::unlink(temp.c_str());
    return false;
  }
  SyncFolder(FolderOf(path));
  return true;
}

RecordStore::RecordStore(std::string stagingPath, std::string serverUrl)
    : stagingPath_(std::move(stagingPath)), sender_(std::move(serverUrl)) {}

void RecordStore::Add(const utils::ObjectNode& record) { AddJson(record.ToJson()); }

void RecordStore::AddJson(std::string json) {
  std::lock_guard<std::mutex> lock(recordsMutex_);
  if (closed_) return;
  queue_.push_back(std::move(json));
  if (queue_.size() > kCapacity) queue_.pop_front();
}

void RecordStore::LoadStagingLocked() {
  if (!stagingPending_) return;
  stagingPending_ = false;
  RemoveStaleTemporaries(stagingPath_);
  if (queue_.size() >= kCapacity) {
    // No room: the records of this run are newer. The file is emptied.
    ReplaceFileAtomically(stagingPath_, std::string());
    return;
  }
  const size_t room = kCapacity - queue_.size();
  std::deque<std::string> kept;
  std::ifstream in(stagingPath_, std::ios::binary);
  std::string line;
  while (in && std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!IsRecordLine(line)) continue;
    kept.push_back(std::move(line));
    if (kept.size() > room) kept.pop_front();
  }
  queue_.insert(queue_.begin(), std::make_move_iterator(kept.begin()),
                std::make_move_iterator(kept.end()));
  // The file keeps its records until they are sent (then it is rewritten
  // with what is left) or the store closes: a crash in between must not lose
  // them.
}

bool RecordStore::TakeStagingRewriteLocked(std::string* content) {
  if (!sentSinceRewrite_) return false;
  sentSinceRewrite_ = false;
  content->clear();
  for (const std::string& record : queue_) {
    content->append(record);
    content->append("\r\n");
  }
  return true;
}

void RecordStore::PutBackLocked(std::vector<std::string>* batch) {
  const size_t room = queue_.size() < kCapacity ? kCapacity - queue_.size() : 0;
  const size_t keep = batch->size() < room ? batch->size() : room;
  // The newest records of the batch are its last ones.
  queue_.insert(queue_.begin(), std::make_move_iterator(batch->end() - keep),
                std::make_move_iterator(batch->end()));
  batch->clear();
}

std::string RecordStore::JoinBatch(const std::vector<std::string>& records) {
  size_t total = 2 + records.size();
  for (const std::string& r : records) total += r.size();
  std::string text;
  text.reserve(total);
  text.push_back('[');
  for (size_t i = 0; i < records.size(); ++i) {
    if (i > 0) text.push_back(',');
    text.append(records[i]);
  }
  text.push_back(']');
  return text;
}

bool RecordStore::FlushOneBatch() {
  {
    std::lock_guard<std::mutex> lock(recordsMutex_);
    if (closed_) return false;
    LoadStagingLocked();
  }
  std::lock_guard<std::mutex> flushLock(flushMutex_);
  std::vector<std::string> batch;
  {
    std::lock_guard<std::mutex> lock(recordsMutex_);
    if (closed_) return false;
    const size_t n = queue_.size() < kBatchSize ? queue_.size() : kBatchSize;
    if (n == 0) return true;
    batch.assign(std::make_move_iterator(queue_.begin()),
                 std::make_move_iterator(queue_.begin() + static_cast<std::ptrdiff_t>(n)));
    queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(n));
  }
  bool sent = false;
  try {
    const std::string text = JoinBatch(batch);
    sent = sendHook_ ? sendHook_(text) : sender_.Send(text);
  } catch (const std::exception& e) {
    std::cerr << "Exception when flush failed: (" << e.what() << ") " << std::endl;
    sent = false;
  }
  if (sent) {
    std::lock_guard<std::mutex> lock(recordsMutex_);
    sentSinceRewrite_ = true;
    return true;
  }
  // A failed or thrown send keeps its records.
  try {
    std::lock_guard<std::mutex> lock(recordsMutex_);
    PutBackLocked(&batch);
  } catch (const std::exception& e) {
    std::cerr << "Exception when flush failed: (" << e.what() << ") " << std::endl;
  }
  return false;
}

bool RecordStore::FlushAll() {
  {
    std::lock_guard<std::mutex> lock(recordsMutex_);
    if (closed_) return false;
    LoadStagingLocked();
  }
  bool ok = true;
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(recordsMutex_);
      if (closed_) return false;
      if (queue_.empty()) break;
    }
    if (!FlushOneBatch()) {
      ok = false;
      break;
    }
  }
  // What was sent leaves the staging file; the rest (this run's records
  // included) stays on disk. Written under the flush lock only, so adds do
  // not wait for the disk.
  std::lock_guard<std::mutex> flushLock(flushMutex_);
  std::string content;
  bool rewrite = false;
  {
    std::lock_guard<std::mutex> lock(recordsMutex_);
    rewrite = !closed_ && TakeStagingRewriteLocked(&content);
  }
  if (rewrite) ReplaceFileAtomically(stagingPath_, content);
  return ok;
}

void RecordStore::Close() {
  std::lock_guard<std::mutex> flushLock(flushMutex_);
  std::lock_guard<std::mutex> lock(recordsMutex_);
  if (closed_) return;
  LoadStagingLocked();
  std::string content;
  for (const std::string& record : queue_) {
    content.append(record);
    content.append("\r\n");
  }
  ReplaceFileAtomically(stagingPath_, content);
  queue_.clear();
  closed_ = true;
}

std::vector<std::string> RecordStore::QueuedRecordsForTesting() const {
  std::lock_guard<std::mutex> lock(recordsMutex_);
  return std::vector<std::string>(queue_.begin(), queue_.end());
}

size_t RecordStore::QueueSizeForTesting() const {
  std::lock_guard<std::mutex> lock(recordsMutex_);
  return queue_.size();
}

}  // namespace event_sdk
