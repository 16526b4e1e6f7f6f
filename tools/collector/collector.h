// A loopback analytics collector for tests and the demo: an HTTP server that
// accepts the SDK's upload form ("data_list=" + percent-encoded Base64 of a
// gzip'ed JSON array + "&gzip=1") on POST /collect, decodes each batch with a
// real JSON parser, appends one event per line to a file (when one is given),
// keeps what it received for inspection, and answers 200. Malformed bodies
// get 400. For tests it can be told to answer 204 or 500, or to stall (hold
// the request until stopped or the stall time passed).
//
// Control while running: POST /control?mode=accept|204|500|stall.
// All member functions are thread-safe.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

namespace httplib {
class Server;
}

namespace collector {

enum class ReplyMode { kAccept, kNoContent, kServerError, kStall };

// "accept", "204", "500", "stall"; false for any other text.
bool ParseReplyMode(const std::string& text, ReplyMode* mode);

// Decodes one upload body into the batch's JSON text. False and `error` set
// when the form, the percent or Base64 encoding or the gzip stream is broken.
bool DecodeBatchBody(const std::string& body, std::string* json, std::string* error);

// One request to /collect as received.
struct ReceivedBatch {
  std::string query;  // the raw query ("project=pc")
  std::string userAgent;
  std::string contentType;
  std::string body;
  int status = 0;                      // what the collector answered
  std::string batchText;               // decoded JSON text (empty when undecodable)
  std::vector<nlohmann::json> events;  // parsed events (accepted batches only)
};

struct CollectorOptions {
  std::string host = "127.0.0.1";
  int port = 0;            // 0: any free port
  std::string eventsFile;  // appended to for accepted batches; empty: none
  ReplyMode mode = ReplyMode::kAccept;
  std::chrono::milliseconds stallTime{30000};
};

class Collector {
 public:
  explicit Collector(CollectorOptions options = CollectorOptions());
  ~Collector();  // Stop()
  Collector(const Collector&) = delete;
  Collector& operator=(const Collector&) = delete;

  // Binds and starts serving on a thread of its own. False when the port
  // cannot be bound.
  bool Start();
  // Ends stalls, stops the server and joins its thread. Idempotent.
  void Stop();

  int Port() const { return port_; }
  // "http://127.0.0.1:<port>/collect?project=pc"
  std::string CollectUrl() const;

  void SetReplyMode(ReplyMode mode);

  // Events of accepted batches, in arrival order.
  std::vector<nlohmann::json> Events() const;
  // Every request to /collect, in arrival order.
  std::vector<ReceivedBatch> Batches() const;
  size_t BatchCount() const;
  // Waits until at least `count` events were accepted; false on time-out.
  bool WaitForEvents(size_t count, std::chrono::milliseconds timeout) const;
  void Clear();

 private:
  void HandleCollect(const std::string& query, const std::string& userAgent,
                     const std::string& contentType, const std::string& body, int* status,
                     std::string* reply);
  void AppendToFile(const std::vector<nlohmann::json>& events);

  const CollectorOptions options_;
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  std::atomic<bool> listenEnded_{true};
  int port_ = 0;

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  ReplyMode mode_;
  bool stopping_ = false;
  std::vector<ReceivedBatch> batches_;
  std::vector<nlohmann::json> events_;
};

}  // namespace collector
