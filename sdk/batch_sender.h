// Turns one batch of event records into the upload form body and posts it to
// the collection endpoint.
//
// Body: "data_list=" + percent-encoded Base64 of the gzip (level 9) of the
// batch text + "&gzip=1". One libcurl handle per request, user agent
// "EventCollector CPP SDK 0.9", 3 s for the whole transfer, redirects not
// followed, TLS peer and host verification on (the events carry identities).
// Only HTTP 200 counts as success.
#pragma once

#include <string>

namespace event_sdk {

inline constexpr char kSdkUserAgent[] = "EventCollector CPP SDK 0.9";
inline constexpr long kSendTimeoutMs = 3000;

// The outcome of the last send whose body could be built; false at start.
// Process-wide, guarded by its own mutex; any thread may call these.
bool LastSendSucceeded();
void SetLastSendSucceeded(bool succeeded);

// gzip (deflateInit2 level 9, window bits 31, memory level 8) of `input`.
// False, with a message on standard error, when zlib fails.
bool GzipCompress(const std::string& input, std::string* output);
// RFC 4648 Base64 with "=" padding, no line breaks.
std::string Base64Encode(const std::string& bytes);
// Letters, digits, "-", ".", "_" and "~" stay; every other byte is "%XX".
std::string PercentEncode(const std::string& text);
// The complete form body for a batch text; false when compression failed.
bool BuildBatchBody(const std::string& batchText, std::string* body);

// Result of one POST: the HTTP status (-1 when the transfer failed) and the
// response body or libcurl's error text.
struct HttpResult {
  long status = -1;
  std::string response;
};

class BatchSender {
 public:
  explicit BatchSender(std::string serverUrl) : serverUrl_(std::move(serverUrl)) {}

  // Builds the body and posts it; true only for status 200. Stores the
  // outcome in LastSendSucceeded, except when the body could not be built
  // (then no request is made and the flag is left as it was).
  bool Send(const std::string& batchText) const;

  // Posts a ready body to the server URL. Never throws.
  HttpResult Post(const std::string& body) const;

  const std::string& ServerUrl() const { return serverUrl_; }

 private:
  const std::string serverUrl_;
};

}  // namespace event_sdk
