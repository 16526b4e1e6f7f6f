#include "tools/package_server/package_server.h"

#include <fcntl.h>
#include <httplib.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <fstream>

namespace package_server {
namespace {

constexpr size_t kChunk = 256 * 1024;

// An open file shared by the response and its content provider.
struct OpenFile {
  int fd = -1;
  int64_t size = 0;
  int64_t mtimeNs = 0;
  ~OpenFile() {
    if (fd >= 0) close(fd);
  }
};

std::string HttpDate(int64_t seconds) {
  time_t t = static_cast<time_t>(seconds);
  struct tm tm {};
  gmtime_r(&t, &tm);
  char text[64];
  strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &tm);
  return text;
}

std::string ETagOf(const OpenFile& file) {
  char text[64];
  snprintf(text, sizeof text, "\"%" PRIx64 "-%" PRIx64 "\"", static_cast<uint64_t>(file.size),
           static_cast<uint64_t>(file.mtimeNs));
  return text;
}

// Parses one "bytes=first-last", "bytes=first-" or "bytes=-suffix" against a
// file of `size` bytes. False for anything else (multiple ranges included).
bool ParseRange(const std::string& header, int64_t size, int64_t* first, int64_t* last,
                bool* satisfiable) {
  const std::string prefix = "bytes=";
  if (header.compare(0, prefix.size(), prefix) != 0) return false;
  std::string rangeSet = header.substr(prefix.size());
  if (rangeSet.find(',') != std::string::npos) return false;
  size_t dash = rangeSet.find('-');
  if (dash == std::string::npos) return false;
  std::string a = rangeSet.substr(0, dash), b = rangeSet.substr(dash + 1);
  // Digits only; a number too large for 64 bits is refused, not thrown.
  auto number = [](const std::string& s, int64_t* out) {
    if (s.empty() || s.find_first_not_of("0123456789") != std::string::npos) return false;
    auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), *out);
    return error == std::errc() && end == s.data() + s.size();
  };
  int64_t x = 0, y = 0;
  if (a.empty()) {
    if (!number(b, &y)) return false;
    *first = std::max<int64_t>(0, size - y);
    *last = size - 1;
    *satisfiable = y > 0 && size > 0;
    return true;
  }
  if (!number(a, &x)) return false;
  *first = x;
  if (b.empty()) {
    *last = size - 1;
  } else {
    if (!number(b, &y) || y < x) return false;
    *last = std::min(y, size - 1);
  }
  *satisfiable = x < size;
  return true;
}

bool SafeRelativePath(const std::string& path) {
  if (path.empty() || path[0] != '/') return false;
  size_t start = 1;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string part = path.substr(start, end - start);
    if (part == ".." || part == ".") return false;
    start = end + 1;
  }
  return path.find('\0') == std::string::npos;
}

}  // namespace

PackageServer::PackageServer(Options options)
    : options_(std::move(options)), bytesPerSecond_(options_.bytesPerSecond) {}

PackageServer::~PackageServer() { Stop(); }

std::string PackageServer::BaseUrl() const {
  return "http://" + options_.host + ":" + std::to_string(port_);
}

std::string PackageServer::Md5Hex(const std::string& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr);
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  for (unsigned i = 0; i < length; ++i) {
    text += kHex[digest[i] >> 4];
    text += kHex[digest[i] & 15];
  }
  return text;
}

std::string PackageServer::AddPackage(const std::string& name, const std::string& bytes,
                                      const std::string& folder) {
  std::string dir = folder.empty() ? Md5Hex(bytes) : folder;
  std::filesystem::path target = options_.root / "packages" / dir;
  std::filesystem::create_directories(target);
  std::ofstream out(target / name, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return "/packages/" + dir + "/" + name;
}

void PackageServer::AddRedirect(const std::string& from, const std::string& to, int status) {
  std::lock_guard lock(mutex_);
  redirects_[from] = Redirect{to, status};
}

void PackageServer::AddFault(Fault fault) {
  std::lock_guard lock(mutex_);
  faults_.push_back(std::move(fault));
}

void PackageServer::ClearFaults() {
  std::lock_guard lock(mutex_);
  faults_.clear();
}

std::vector<RequestRecord> PackageServer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::vector<RequestRecord> PackageServer::Requests(const std::string& method) const {
  std::vector<RequestRecord> out;
  for (auto& record : Requests()) {
    if (record.method == method) out.push_back(record);
  }
  return out;
}

void PackageServer::ClearRequests() {
  std::lock_guard lock(mutex_);
  requests_.clear();
}

bool PackageServer::Pause(std::chrono::nanoseconds duration) {
  std::unique_lock lock(mutex_);
  return !stopSignal_.wait_for(lock, duration, [this] { return stopping_; });
}

bool PackageServer::TakeFault(const std::string& method, const std::string& path, Fault* fault) {
  std::lock_guard lock(mutex_);
  for (auto it = faults_.begin(); it != faults_.end(); ++it) {
    if (!it->method.empty() && it->method != method) continue;
    if (path.compare(0, it->pathPrefix.size(), it->pathPrefix) != 0) continue;
    *fault = *it;
    if (it->count > 0 && --it->count == 0) faults_.erase(it);
    return true;
  }
  return false;
}

bool PackageServer::Start() {
  if (server_) return false;
  server_ = std::make_unique<httplib::Server>();
  size_t threads = options_.threads;
  // httplib takes ownership of the queue it is handed.
  server_->new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
  server_->set_keep_alive_timeout(2);

  // The handler answers ranges itself: httplib's own range handling would
  // slice every body and could not be told to misbehave.
  server_->set_pre_routing_handler([](const httplib::Request& req, httplib::Response&) {
    const_cast<httplib::Request&>(req).ranges.clear();
    return httplib::Server::HandlerResponse::Unhandled;
  });

  server_->Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
    RequestRecord record{req.method,
                         req.target,
                         req.path,
                         req.get_header_value("Range"),
                         req.get_header_value("If-Range"),
                         req.get_header_value("Accept-Encoding")};
    Fault fault;
    bool faulty = TakeFault(req.method, req.path, &fault);
    Redirect redirect{};
    bool redirected = false;
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(record);
      auto it = redirects_.find(req.path);
      if (it != redirects_.end()) {
        redirect = it->second;
        redirected = true;
      }
    }
    if (faulty && fault.stall.count() > 0 && fault.stallAfter < 0) {
      if (!Pause(fault.stall)) {
        res.status = 503;
        return;
      }
    }
    if (faulty && fault.status != 0) {
      res.status = fault.status;
      res.set_content("status " + std::to_string(fault.status) + "\n", "text/plain");
      return;
    }
    if (redirected) {
      res.status = redirect.status;
      res.set_header("Location", redirect.to);
      return;
    }

    auto file = std::make_shared<OpenFile>();
    if (SafeRelativePath(req.path)) {
      std::filesystem::path local = options_.root / req.path.substr(1);
      file->fd = open(local.c_str(), O_RDONLY | O_CLOEXEC);
    }
    struct stat st {};
    if (file->fd < 0 || fstat(file->fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      res.status = 404;
      res.set_content("not found\n", "text/plain");
      return;
    }
    file->size = st.st_size;
    file->mtimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    const std::string etag = ETagOf(*file);
    const std::string lastModified = HttpDate(st.st_mtim.tv_sec);
    res.set_header("Accept-Ranges", "bytes");
    res.set_header("ETag", etag);
    res.set_header("Last-Modified", lastModified);

    int64_t first = 0, last = file->size - 1;
    bool partial = false;
    if (!record.range.empty() && !(faulty && fault.ignoreRange)) {
      bool satisfiable = false;
      int64_t a = 0, b = 0;
      bool rangeApplies =
          record.ifRange.empty() || record.ifRange == etag || record.ifRange == lastModified;
      if (rangeApplies && ParseRange(record.range, file->size, &a, &b, &satisfiable)) {
        if (!satisfiable) {
          res.status = 416;
          res.set_header("Content-Range", "bytes */" + std::to_string(file->size));
          return;
        }
        first = a;
        last = b;
        partial = true;
      }
    }
    int64_t extra = faulty ? std::max<int64_t>(0, fault.extraBytes) : 0;
    int64_t length = last - first + 1 + extra;
    if (partial) {
      res.status = 206;
      std::string contentRange = "bytes " + std::to_string(first) + "-" + std::to_string(last) +
                                 "/" + std::to_string(file->size);
      if (faulty && !fault.contentRange.empty()) contentRange = fault.contentRange;
      res.set_header("Content-Range", contentRange);
    } else {
      res.status = 200;
    }
    if (length <= 0) {
      res.set_content("", "application/octet-stream");
      return;
    }

    int64_t rate =
        faulty && fault.bytesPerSecond > 0 ? fault.bytesPerSecond : bytesPerSecond_.load();
    int64_t cutAfter = faulty ? fault.cutAfter : -1;
    int64_t stallAfter = faulty && fault.stall.count() > 0 ? fault.stallAfter : -1;
    auto stall = fault.stall;
    auto started = std::chrono::steady_clock::now();
    auto buffer = std::make_shared<std::vector<char>>(kChunk);
    auto stalled = std::make_shared<bool>(false);
    res.set_content_provider(
        static_cast<size_t>(length), "application/octet-stream",
        [=, this](size_t offset, size_t remaining, httplib::DataSink& sink) {
          int64_t sent = static_cast<int64_t>(offset);
          if (cutAfter >= 0 && sent >= cutAfter) return false;
          if (stallAfter >= 0 && sent >= stallAfter && !*stalled) {
            *stalled = true;
            if (!Pause(stall)) return false;
          }
          int64_t chunk = std::min<int64_t>(static_cast<int64_t>(remaining), kChunk);
          if (cutAfter >= 0) chunk = std::min(chunk, cutAfter - sent);
          if (stallAfter > sent) chunk = std::min(chunk, stallAfter - sent);
          if (rate > 0) {
            chunk = std::min<int64_t>(chunk, std::max<int64_t>(rate / 50, 1));
            auto due = started + std::chrono::nanoseconds(sent * 1000000000 / rate);
            auto now = std::chrono::steady_clock::now();
            if (due > now && !Pause(due - now)) return false;
          }
          // Bytes past the end of the file (an oversized range) are zeros.
          int64_t at = first + sent;
          ssize_t got = 0;
          if (at < file->size) {
            got = pread(file->fd, buffer->data(),
                        static_cast<size_t>(std::min(chunk, file->size - at)), at);
            if (got <= 0) return false;
          } else {
            std::fill_n(buffer->data(), chunk, '\0');
            got = static_cast<ssize_t>(chunk);
          }
          return sink.write(buffer->data(), static_cast<size_t>(got));
        });
  });

  if (options_.port != 0) {
    port_ = server_->bind_to_port(options_.host, options_.port) ? options_.port : -1;
  } else {
    port_ = server_->bind_to_any_port(options_.host);
  }
  if (port_ <= 0) {
    server_.reset();
    return false;
  }
  listener_ = std::thread([this] { server_->listen_after_bind(); });
  // Stop() is a no-op until the listener runs: wait for it.
  while (!server_->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return true;
}

void PackageServer::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  stopSignal_.notify_all();
  if (server_) server_->stop();
  if (listener_.joinable()) listener_.join();
  server_.reset();
}

}  // namespace package_server
