// Parsing of the response header lines libcurl hands to a header callback,
// shared by the download clients. Each caller keeps its own decisions (status
// checks, which fields it records); this only splits and reads the lines.
#pragma once

#include <curl/curl.h>

#include <cstddef>
#include <optional>
#include <string>

namespace download_internal {

// What one header line carries.
struct HeaderLine {
  enum class Kind {
    kStatus,  // "HTTP/..." : a new response starts; `status` is its code (0 if absent)
    kEnd,     // the empty line ending one response's headers
    kField,   // "Name: value": `name` as sent, `value` without surrounding blanks
    kOther,   // anything else (no colon)
  };
  Kind kind = Kind::kOther;
  long status = 0;
  std::string name;
  std::string value;

  // Whether this is the field `fieldName` (names compared ignoring case).
  bool Is(const char* fieldName) const;
};

HeaderLine ParseHeaderLine(const char* data, size_t bytes);

// A "Content-Range: bytes FIRST-LAST/TOTAL" value.
struct ContentRange {
  long long first = -1;
  long long last = -1;
  long long total = -1;
};
// Nothing when `value` is not of that form.
std::optional<ContentRange> ParseContentRange(const std::string& value);

// A Content-Length value (leading digits; 0 when there are none).
long long ParseContentLength(const std::string& value);

// Sets the options every header-only probe shares on `handle`: the URL, no
// body, no signals, a 60 s connect and total time-out (a probe that takes a
// minute will not answer). Redirects are followed when `follow` says so.
// Returns the OR of the curl_easy_setopt results (0 when all were taken).
enum class Redirects { kFollow, kStay };
int SetProbeOptions(CURL* handle, const std::string& url, Redirects follow);

// A libcurl write callback that drops the body (header-only requests).
size_t DiscardBody(char* data, size_t size, size_t count, void* unused);

// The value of header `name` of the last response `handle` received; "" when absent.
std::string HeaderOf(CURL* handle, const char* name);

// What a later range request sends as If-Range: the strong ETag, else the
// Last-Modified date; "" when neither (a weak ETag cannot validate a range).
std::string RangeValidator(const std::string& etag, const std::string& lastModified);
// The same, read from the last response of `handle`.
std::string RangeValidator(CURL* handle);

}  // namespace download_internal
