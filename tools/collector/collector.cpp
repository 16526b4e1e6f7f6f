#include "tools/collector/collector.h"

#include <httplib.h>
#include <openssl/evp.h>
#include <zlib.h>

#include <fstream>

namespace collector {

namespace {

// A batch holds at most 30 records of at most a few KB each; far larger
// bodies or inflated streams are refused rather than buffered.
constexpr size_t kMaxBodyBytes = 16 * 1024 * 1024;
constexpr size_t kMaxInflatedBytes = 64 * 1024 * 1024;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Strict form decoding: "%XX" must have two hex digits; "+" is a blank.
bool PercentDecode(const std::string& text, std::string* out) {
  out->clear();
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '%') {
      if (i + 2 >= text.size()) return false;
      const int hi = HexValue(text[i + 1]);
      const int lo = HexValue(text[i + 2]);
      if (hi < 0 || lo < 0) return false;
      out->push_back(static_cast<char>(hi * 16 + lo));
      i += 2;
    } else if (c == '+') {
      out->push_back(' ');
    } else {
      out->push_back(c);
    }
  }
  return true;
}

bool Base64Decode(const std::string& text, std::string* out) {
  out->assign(text.size() / 4 * 3 + 3, '\0');
  std::unique_ptr<EVP_ENCODE_CTX, decltype(&EVP_ENCODE_CTX_free)> ctx(EVP_ENCODE_CTX_new(),
                                                                      &EVP_ENCODE_CTX_free);
  if (!ctx) return false;
  EVP_DecodeInit(ctx.get());
  int produced = 0;
  if (EVP_DecodeUpdate(ctx.get(), reinterpret_cast<unsigned char*>(out->data()), &produced,
                       reinterpret_cast<const unsigned char*>(text.data()),
                       static_cast<int>(text.size())) < 0) {
    return false;
  }
  int tail = 0;
  if (EVP_DecodeFinal(ctx.get(), reinterpret_cast<unsigned char*>(out->data()) + produced, &tail) <
      0) {
    return false;
  }
  out->resize(static_cast<size_t>(produced + tail));
  return true;
}

bool Gunzip(const std::string& in, std::string* out, std::string* error) {
  out->clear();
  z_stream stream{};
  if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) {
    *error = "inflateInit2 failed";
    return false;
  }
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  stream.avail_in = static_cast<uInt>(in.size());
  char chunk[32768];
  int rc = Z_OK;
  while (rc == Z_OK) {
    stream.next_out = reinterpret_cast<Bytef*>(chunk);
    stream.avail_out = sizeof chunk;
    rc = inflate(&stream, Z_NO_FLUSH);
    out->append(chunk, sizeof chunk - stream.avail_out);
    if (out->size() > kMaxInflatedBytes) {
      rc = Z_MEM_ERROR;
      break;
    }
    if (rc == Z_BUF_ERROR && stream.avail_in == 0) break;  // cut-off stream
  }
  inflateEnd(&stream);
  if (rc != Z_STREAM_END) {
    *error = "gzip stream is broken or incomplete";
    return false;
  }
  return true;
}

}  // namespace

bool ParseReplyMode(const std::string& text, ReplyMode* mode) {
  if (text == "accept" || text == "200") {
    *mode = ReplyMode::kAccept;
  } else if (text == "204") {
    *mode = ReplyMode::kNoContent;
  } else if (text == "500") {
    *mode = ReplyMode::kServerError;
  } else if (text == "stall") {
    *mode = ReplyMode::kStall;
  } else {
    return false;
  }
  return true;
}

bool DecodeBatchBody(const std::string& body, std::string* json, std::string* error) {
  std::string dataList;
  bool haveData = false;
  std::string gzipFlag;
  size_t start = 0;
  while (start <= body.size()) {
    size_t end = body.find('&', start);
    if (end == std::string::npos) end = body.size();
    const std::string pair = body.substr(start, end - start);
    const size_t eq = pair.find('=');
    const std::string key = pair.substr(0, eq);
    const std::string value = eq == std::string::npos ? std::string() : pair.substr(eq + 1);
    if (key == "data_list") {
      if (!PercentDecode(value, &dataList)) {
        *error = "data_list is not percent-encoded";
        return false;
      }
      haveData = true;
    } else if (key == "gzip") {
      gzipFlag = value;
    }
    start = end + 1;
  }
  if (!haveData || dataList.empty()) {
    *error = "data_list is missing";
    return false;
  }
  std::string raw;
  if (!Base64Decode(dataList, &raw)) {
    *error = "data_list is not Base64";
    return false;
  }
  if (gzipFlag == "1") return Gunzip(raw, json, error);
  *json = std::move(raw);
  return true;
}

Collector::Collector(CollectorOptions options)
    : options_(std::move(options)), mode_(options_.mode) {}

Collector::~Collector() { Stop(); }

bool Collector::Start() {
  if (server_) return false;
  server_ = std::make_unique<httplib::Server>();
  server_->set_payload_max_length(kMaxBodyBytes);
  server_->Post("/collect", [this](const httplib::Request& req, httplib::Response& res) {
    int status = 200;
    std::string reply;
    HandleCollect(req.target.find('?') == std::string::npos
                      ? std::string()
                      : req.target.substr(req.target.find('?') + 1),
                  req.get_header_value("User-Agent"), req.get_header_value("Content-Type"),
                  req.body, &status, &reply);
    res.status = status;
    if (status != 204) res.set_content(reply, "text/plain");
  });
  server_->Post("/control", [this](const httplib::Request& req, httplib::Response& res) {
    ReplyMode mode;
    if (!ParseReplyMode(req.get_param_value("mode"), &mode)) {
      res.status = 400;
      res.set_content("mode must be accept, 204, 500 or stall\n", "text/plain");
      return;
    }
    SetReplyMode(mode);
    res.set_content("ok\n", "text/plain");
  });
  if (options_.port > 0) {
    if (!server_->bind_to_port(options_.host, options_.port)) {
      server_.reset();
      return false;
    }
    port_ = options_.port;
  } else {
    port_ = server_->bind_to_any_port(options_.host);
    if (port_ <= 0) {
      server_.reset();
      return false;
    }
  }
  // bind_to_* leaves the socket listening, so clients can connect at once.
  listenEnded_ = false;
  thread_ = std::thread([this] {
    server_->listen_after_bind();
    listenEnded_ = true;
  });
  // stop() only acts on a running server: wait until the accept loop runs.
  for (int i = 0; i < 5000 && !server_->is_running(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

void Collector::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) {
    // Repeated, because a stop() that comes before the accept loop runs is
    // not noticed by the server.
    while (!listenEnded_) {
      server_->stop();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    thread_.join();
  }
  server_.reset();
}

std::string Collector::CollectUrl() const {
  return "http://" + options_.host + ":" + std::to_string(port_) + "/collect?project=pc";
}

void Collector::SetReplyMode(ReplyMode mode) {
  std::lock_guard<std::mutex> lock(mutex_);
  mode_ = mode;
}

void Collector::HandleCollect(const std::string& query, const std::string& userAgent,
                              const std::string& contentType, const std::string& body, int* status,
                              std::string* reply) {
  ReceivedBatch batch;
  batch.query = query;
  batch.userAgent = userAgent;
  batch.contentType = contentType;
  batch.body = body;

  std::string error;
  bool valid = DecodeBatchBody(body, &batch.batchText, &error);
  std::vector<nlohmann::json> events;
  if (valid) {
    nlohmann::json parsed = nlohmann::json::parse(batch.batchText, nullptr, false);
    if (parsed.is_discarded() || !parsed.is_array()) {
      valid = false;
      error = "batch is not a JSON array";
    } else {
      for (auto& item : parsed) {
        if (!item.is_object()) {
          valid = false;
          error = "batch holds a member that is not an object";
          break;
        }
        events.push_back(std::move(item));
      }
    }
  }

  std::unique_lock<std::mutex> lock(mutex_);
  const ReplyMode mode = mode_;
  if (!valid) {
    *status = 400;
    *reply = error + "\n";
  } else if (mode == ReplyMode::kNoContent) {
    *status = 204;
  } else if (mode == ReplyMode::kServerError) {
    *status = 500;
    *reply = "collector told to fail\n";
  } else if (mode == ReplyMode::kStall) {
    changed_.wait_for(lock, options_.stallTime, [this] { return stopping_; });
    *status = 503;
    *reply = "collector stalled\n";
  } else {
    *status = 200;
    *reply = "ok\n";
  }
  batch.status = *status;
  if (*status == 200) {
    batch.events = events;
    for (auto& e : events) events_.push_back(e);
    AppendToFile(events);
  }
  batches_.push_back(std::move(batch));
  lock.unlock();
  changed_.notify_all();
}

void Collector::AppendToFile(const std::vector<nlohmann::json>& events) {
  if (options_.eventsFile.empty()) return;
  std::ofstream out(options_.eventsFile, std::ios::app | std::ios::binary);
  for (const auto& e : events) out << e.dump() << '\n';
  out.flush();
}

std::vector<nlohmann::json> Collector::Events() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return events_;
}

std::vector<ReceivedBatch> Collector::Batches() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return batches_;
}

size_t Collector::BatchCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return batches_.size();
}

bool Collector::WaitForEvents(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return events_.size() >= count; });
}

void Collector::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  batches_.clear();
  events_.clear();
}

}  // namespace collector
