// A loopback package download server for tests, benchmarks and the demo.
//
// Serves the files under a root folder at their relative paths (the package
// layout is "packages/<md5>/<name>"), answers HEAD with Content-Length, honours
// a single "Range: bytes=..." (with "If-Range" against its strong ETag or its
// Last-Modified), sends 302 redirects from registered paths, and can be told to
// misbehave on chosen requests (see Fault). Every request is recorded.
//
// Threads: Start() serves on a background thread and a pool of connection
// threads; every public operation is safe from any thread. Stop() (also run by
// the destructor) ends the listener, interrupts stalls and pacing, and joins.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
}

namespace package_server {

// One way of misbehaving, applied to the next `count` requests that match
// `method` and `pathPrefix` (the first matching fault wins; count -1 = always).
struct Fault {
  std::string method = "";      // "GET", "HEAD" or "" for both
  std::string pathPrefix = "";  // "" matches every path
  int count = 1;

  int status = 0;                      // answer this status with a short text body
  int64_t cutAfter = -1;               // close the connection after this many body bytes
  std::chrono::milliseconds stall{0};  // pause this long ...
  int64_t stallAfter = -1;             // ... before the headers (-1) or after N body bytes
  bool ignoreRange = false;            // answer 200 with the whole file
  int64_t extraBytes = 0;              // send this many bytes past the requested range
  int64_t bytesPerSecond = 0;          // pace the body (per connection)
  std::string contentRange = "";       // replace the Content-Range header of a 206
};

// What the server saw. `range`, `ifRange` and `acceptEncoding` are the raw
// header values ("" when absent).
struct RequestRecord {
  std::string method;
  std::string target;  // the raw request target, percent escapes kept
  std::string path;    // the decoded path
  std::string range;
  std::string ifRange;
  std::string acceptEncoding;
};

struct Options {
  std::string host = "127.0.0.1";
  int port = 0;  // 0: any free port
  std::filesystem::path root = {};
  int64_t bytesPerSecond = 0;  // default pacing of every body (0: none)
  size_t threads = 32;         // connection threads
};

class PackageServer {
 public:
  explicit PackageServer(Options options);
  ~PackageServer();
  PackageServer(const PackageServer&) = delete;
  PackageServer& operator=(const PackageServer&) = delete;

  // Binds and starts serving. False (nothing running) when the address cannot be bound.
  bool Start();
  void Stop();

  int Port() const { return port_; }
  // "http://127.0.0.1:<port>"
  std::string BaseUrl() const;
  const std::filesystem::path& Root() const { return options_.root; }

  // Writes `bytes` to <root>/packages/<folder>/<name>; `folder` defaults to the
  // MD5 of the bytes. Returns the URL path ("/packages/<folder>/<name>").
  std::string AddPackage(const std::string& name, const std::string& bytes,
                         const std::string& folder = "");
  // Answers GET/HEAD of `from` with `status` and "Location: <to>".
  void AddRedirect(const std::string& from, const std::string& to, int status = 302);
  void AddFault(Fault fault);
  void ClearFaults();
  // Default pacing of every body; 0 turns it off.
  void SetBytesPerSecond(int64_t bytesPerSecond) { bytesPerSecond_ = bytesPerSecond; }

  std::vector<RequestRecord> Requests() const;
  // The records whose method is `method`.
  std::vector<RequestRecord> Requests(const std::string& method) const;
  void ClearRequests();

  // MD5 of `bytes` as 32 lower-case hex digits.
  static std::string Md5Hex(const std::string& bytes);

 private:
  struct Redirect {
    std::string to;
    int status;
  };
  class Handler;

  // Sleeps up to `duration`; false when the server is stopping.
  bool Pause(std::chrono::nanoseconds duration);
  bool TakeFault(const std::string& method, const std::string& path, Fault* fault);

  Options options_;
  std::unique_ptr<httplib::Server> server_;
  std::thread listener_;
  int port_ = 0;
  std::atomic<int64_t> bytesPerSecond_{0};

  mutable std::mutex mutex_;  // guards the members below
  std::condition_variable stopSignal_;
  bool stopping_ = false;
  std::vector<Fault> faults_;
  std::map<std::string, Redirect> redirects_;
  std::vector<RequestRecord> requests_;
};

}  // namespace package_server
