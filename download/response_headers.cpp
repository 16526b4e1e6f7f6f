#include "download/response_headers.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>

namespace download_internal {
namespace {

std::string Trimmed(const std::string& text) {
  size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  size_t last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

}  // namespace

bool HeaderLine::Is(const char* fieldName) const {
  return kind == Kind::kField && strcasecmp(name.c_str(), fieldName) == 0;
}

HeaderLine ParseHeaderLine(const char* data, size_t bytes) {
  HeaderLine parsed;
  std::string line(data, bytes);
  if (line.rfind("HTTP/", 0) == 0) {
    parsed.kind = HeaderLine::Kind::kStatus;
    size_t space = line.find(' ');
    if (space != std::string::npos)
      parsed.status = std::strtol(line.c_str() + space + 1, nullptr, 10);
    return parsed;
  }
  std::string trimmed = Trimmed(line);
  if (trimmed.empty()) {
    parsed.kind = HeaderLine::Kind::kEnd;
    return parsed;
  }
  size_t colon = trimmed.find(':');
  if (colon == std::string::npos) return parsed;
  parsed.kind = HeaderLine::Kind::kField;
  parsed.name = trimmed.substr(0, colon);
  parsed.value = Trimmed(trimmed.substr(colon + 1));
  return parsed;
}

std::optional<ContentRange> ParseContentRange(const std::string& value) {
  ContentRange range;
  if (sscanf(value.c_str(), "bytes %lld-%lld/%lld", &range.first, &range.last, &range.total) != 3) {
    return std::nullopt;
  }
  return range;
}

long long ParseContentLength(const std::string& value) {
  return std::strtoll(value.c_str(), nullptr, 10);
}

size_t DiscardBody(char*, size_t size, size_t count, void*) { return size * count; }

int SetProbeOptions(CURL* handle, const std::string& url, Redirects follow) {
  int result = 0;
  result |= curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
  if (follow == Redirects::kFollow) result |= curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
  result |= curl_easy_setopt(handle, CURLOPT_NOBODY, 1L);
  result |= curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  result |= curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &DiscardBody);
  result |= curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, 60L);
  result |= curl_easy_setopt(handle, CURLOPT_TIMEOUT, 60L);
  return result;
}

std::string HeaderOf(CURL* handle, const char* name) {
  struct curl_header* header = nullptr;
  if (curl_easy_header(handle, name, 0, CURLH_HEADER, -1, &header) != CURLHE_OK || !header) {
    return "";
  }
  return header->value ? header->value : "";
}

std::string RangeValidator(const std::string& etag, const std::string& lastModified) {
  if (!etag.empty() && etag.rfind("W/", 0) != 0) return etag;
  return lastModified;
}

std::string RangeValidator(CURL* handle) {
  return RangeValidator(HeaderOf(handle, "ETag"), HeaderOf(handle, "Last-Modified"));
}

}  // namespace download_internal
