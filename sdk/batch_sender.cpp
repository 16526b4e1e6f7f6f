#include "sdk/batch_sender.h"

#include <curl/curl.h>
#include <openssl/evp.h>
#include <zlib.h>

#include <iostream>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/debug_output.h"

namespace event_sdk {

namespace {

// Constant-initialised so that uploads made while the process exits (the
// tracker's last flush) still find them intact.
constinit std::mutex gLastSendMutex;
constinit bool gLastSendSucceeded = false;

constexpr size_t kDeflateChunk = 32768;
// A collector's answer is a short status text; more is not kept.
constexpr size_t kMaxResponseBytes = 64 * 1024;

struct CurlEasyDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyDeleter>;

size_t CollectResponse(char* data, size_t size, size_t count, void* user) {
  auto* response = static_cast<std::string*>(user);
  const size_t bytes = size * count;
  const size_t room =
      response->size() < kMaxResponseBytes ? kMaxResponseBytes - response->size() : 0;
  response->append(data, bytes < room ? bytes : room);
  return bytes;
}

}  // namespace

bool LastSendSucceeded() {
  std::lock_guard<std::mutex> lock(gLastSendMutex);
  return gLastSendSucceeded;
}

void SetLastSendSucceeded(bool succeeded) {
  std::lock_guard<std::mutex> lock(gLastSendMutex);
  gLastSendSucceeded = succeeded;
}

bool GzipCompress(const std::string& input, std::string* output) {
  output->clear();
  z_stream stream{};
  int rc = deflateInit2(&stream, 9, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
  if (rc != Z_OK) {
    std::cerr << "deflateInit2 failed while compressing." << std::endl;
    return false;
  }
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
  stream.avail_in = static_cast<uInt>(input.size());
  std::vector<char> chunk(kDeflateChunk);
  do {
    stream.next_out = reinterpret_cast<Bytef*>(chunk.data());
    stream.avail_out = static_cast<uInt>(chunk.size());
    rc = deflate(&stream, Z_FINISH);
    output->append(chunk.data(), chunk.size() - stream.avail_out);
  } while (rc == Z_OK);
  if (rc != Z_STREAM_END) {
    std::cerr << "Exception during zlib compression: (" << rc << ") "
              << (stream.msg != nullptr ? stream.msg : "") << std::endl;
    deflateEnd(&stream);
    output->clear();
    return false;
  }
  deflateEnd(&stream);
  return true;
}

std::string Base64Encode(const std::string& bytes) {
  std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                reinterpret_cast<const unsigned char*>(bytes.data()),
                                static_cast<int>(bytes.size()));
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return out;
}

std::string PercentEncode(const std::string& text) {
  // libcurl keeps exactly the unreserved characters and writes "%XX" in
  // upper case for every other byte.
  char* escaped = curl_easy_escape(nullptr, text.data(), static_cast<int>(text.size()));
  if (escaped == nullptr) return std::string();
  std::string out(escaped);
  curl_free(escaped);
  return out;
}

bool BuildBatchBody(const std::string& batchText, std::string* body) {
  std::string gzipped;
  if (!GzipCompress(batchText, &gzipped)) return false;
  body->assign("data_list=");
  body->append(PercentEncode(Base64Encode(gzipped)));
  body->append("&gzip=1");
  return true;
}

HttpResult BatchSender::Post(const std::string& body) const {
  HttpResult result;
  CurlEasy curl(curl_easy_init());
  if (!curl) {
    result.response = "Couldn't initialize curl handle";
    std::cerr << result.response << std::endl;
    return result;
  }
  CURL* h = curl.get();
  curl_easy_setopt(h, CURLOPT_URL, serverUrl_.c_str());
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_POST, 1L);
  curl_easy_setopt(h, CURLOPT_POSTFIELDS, body.data());
  curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  curl_easy_setopt(h, CURLOPT_USERAGENT, kSdkUserAgent);
  curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, kSendTimeoutMs);
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &CollectResponse);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &result.response);
  const CURLcode rc = curl_easy_perform(h);
  if (rc != CURLE_OK) {
    result.status = -1;
    result.response = curl_easy_strerror(rc);
    return result;
  }
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &result.status);
  return result;
}

bool BatchSender::Send(const std::string& batchText) const {
  std::string body;
  if (!BuildBatchBody(batchText, &body)) return false;
  const HttpResult result = Post(body);
  const bool ok = result.status == 200;
  if (!ok) {
    platform::WriteDebugOutput("[collector] EventCollector SDK send failed\n");
    std::cerr << "EventCollector SDK send failed: " << result.response << std::endl;
  }
  SetLastSendSucceeded(ok);
  return ok;
}

}  // namespace event_sdk
