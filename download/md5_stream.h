// Incremental MD5 over OpenSSL's EVP interface. Internal to the download
// folder. Not thread-safe: one owner thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct evp_md_ctx_st;

namespace download_internal {

class Md5Stream {
 public:
  Md5Stream();
  ~Md5Stream();
  Md5Stream(const Md5Stream&) = delete;
  Md5Stream& operator=(const Md5Stream&) = delete;

  // Starts over with no bytes hashed.
  void Reset();
  void Update(const void* data, size_t size);
  // Hashes the first `bytes` bytes of the file at `path` (narrow, locale
  // charset) after a Reset(). False (and the stream reset) when the file has
  // fewer bytes or cannot be read.
  bool ResetFromFile(const std::string& path, int64_t bytes);
  // Bytes hashed since the last reset.
  int64_t Bytes() const { return bytes_; }
  // The digest as 32 lower-case hex digits; the stream is reset afterwards.
  std::string Finish();

 private:
  evp_md_ctx_st* context_;
  int64_t bytes_ = 0;
};

}  // namespace download_internal
