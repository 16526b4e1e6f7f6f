// The SDK's bounded queue of event records, its staging file and the batched
// upload.
//
// Records are compact JSON texts, oldest first, at most kCapacity of them: an
// add beyond that drops the oldest. Flushes upload the oldest kBatchSize
// records per request on the calling thread; a failed batch (also one whose
// send threw) goes back to the head of the queue as far as it fits. Close
// saves the queue to the staging file, which the next run reads at its first
// flush (or close). The file keeps those records until they are sent: a
// flush-all that sent something rewrites it with what is left, so a crash
// loses nothing (at worst a batch sent just before the crash is sent again).
// The staging file holds one record per line (CR LF) and is always replaced
// atomically (temporary file, fsync, rename), so a crash never leaves it
// half-written.
//
// Locks: the flush lock is taken before the records lock, and the records
// lock is never held during a request, so adds continue while a batch is in
// flight. Any thread may call every operation; Close waits for a running
// flush, and after Close adds and flushes do nothing.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "sdk/batch_sender.h"
#include "sdk/object_node.h"

namespace event_sdk {

class RecordStore {
 public:
  static constexpr size_t kCapacity = 1024;
  static constexpr size_t kBatchSize = 30;

  RecordStore(std::string stagingPath, std::string serverUrl);
  RecordStore(const RecordStore&) = delete;
  RecordStore& operator=(const RecordStore&) = delete;

  // Serialises the record and queues it; never waits for the network.
  void Add(const utils::ObjectNode& record);
  // Queues a ready JSON text (tests and benchmarks).
  void AddJson(std::string json);

  // Uploads up to kBatchSize of the oldest records. True when there was
  // nothing to send or the upload succeeded.
  bool FlushOneBatch();
  // Batches until the queue is empty; false at the first failed batch.
  bool FlushAll();
  // Saves the queue to the staging file. Later calls do nothing.
  void Close();

  const std::string& StagingPath() const { return stagingPath_; }

  // Copies of the queue, oldest first (tests and benchmarks).
  std::vector<std::string> QueuedRecordsForTesting() const;
  size_t QueueSizeForTesting() const;

  // Replaces the sender: the hook gets each batch text and answers whether it
  // was sent; it may throw. Set before the store is used from other threads.
  using SendHook = std::function<bool(const std::string& batchText)>;
  void SetSendHookForTesting(SendHook hook) { sendHook_ = std::move(hook); }

  // Builds "[" + records joined by "," + "]".
  static std::string JoinBatch(const std::vector<std::string>& records);

 private:
  // Reads the staging file into the head of the queue once, then empties the
  // file. Caller holds recordsMutex_.
  void LoadStagingLocked();
  // After a flush-all that sent something: the queue as staging-file
  // content, and true. Caller holds recordsMutex_.
  bool TakeStagingRewriteLocked(std::string* content);
  // Puts a failed batch back at the head, newest records first when the room
  // is short. Caller holds recordsMutex_.
  void PutBackLocked(std::vector<std::string>* batch);

  // Constant after construction.
  const std::string stagingPath_;
  const BatchSender sender_;
  SendHook sendHook_;

  // Serialises uploads and Close.
  std::mutex flushMutex_;

  // State below is guarded by recordsMutex_.
  mutable std::mutex recordsMutex_;
  std::deque<std::string> queue_;
  bool stagingPending_ = true;
  bool sentSinceRewrite_ = false;
  bool closed_ = false;
};

// Writes `content` to `path` through a temporary file in the same folder
// (mode 0600), fsync and rename. False when any step failed; the old file then
// stays as it was and no temporary file is left behind.
bool ReplaceFileAtomically(const std::string& path, const std::string& content);

}  // namespace event_sdk
